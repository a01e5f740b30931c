#include "SampleValues.h"

#include <iterator>
#include <utility>

#include "DbDataModel2DataBaseTypeMap.h"
#include "DbMetaManager.h"

namespace tarvex_sample {

namespace {

// Data-model type to database type. String and time are stored types the
// metas do not single out; their codes only need to be defined.
constexpr std::pair<unsigned char, char> kDataModelTypes[] = {
    {kDmBool, 1},           {kDmChar, 2},          {kDmShort, 3},
    {kDmLong, 4},           {kDmFloat, 5},         {kDmDouble, 6},
    {kDmPoint, 7},          {kDmPoint3D, 19},      {kDmString, 20},
    {kDmTime, 21},          {kDmObjectId, 14},     {kDmReference15, 15},
    {kDmReference16, 16},   {kDmReference18, 18},  {kDmReferenceContainer, 11},
    {kDmEmbedded, 13},
};

}  // namespace

void registerSampleDataModelTypes() {
  for (const auto& [dataModelType, databaseType] : kDataModelTypes) {
    DbDataModel2DataBaseTypeMap::addDataModelType(dataModelType, databaseType);
  }
}

unsigned sampleDataModelTypeCount() { return static_cast<unsigned>(std::size(kDataModelTypes)); }

// --- ReferenceContainerValue -------------------------------------------------

ReferenceContainerValue::~ReferenceContainerValue() {
  for (ReferenceValue* element : m_Elements) element->purge();
}

bool ReferenceContainerValue::getFirstElement(DbData** element) {
  m_Cursor = 0;
  return getNextElement(element);
}

bool ReferenceContainerValue::getNextElement(DbData** element) {
  if (m_Cursor >= m_Elements.size()) return false;
  *element = m_Elements[m_Cursor++];
  return true;
}

bool ReferenceContainerValue::addObject2Container(DbMetaBase& meta, int position) {
  auto* element = new ReferenceValue(getDataId(), m_ElementDataModelType, meta.getObjectId());
  const bool inside = position >= 0 && static_cast<std::size_t>(position) <= m_Elements.size();
  auto where = inside ? m_Elements.begin() + position : m_Elements.end();
  try {
    m_Elements.insert(where, element);
  } catch (...) {
    element->purge();
    throw;
  }
  return true;
}

bool ReferenceContainerValue::removeElement(int position) {
  if (position < 0 || static_cast<std::size_t>(position) >= m_Elements.size()) return false;
  m_Elements[static_cast<std::size_t>(position)]->purge();
  m_Elements.erase(m_Elements.begin() + position);
  return true;
}

// --- EmbeddedValue -----------------------------------------------------------

EmbeddedValue::~EmbeddedValue() { delete m_pMeta; }

DbMetaBase* EmbeddedValue::getMeta() {
  return DbMetaManager::getInstance()->getMeta(m_EmbeddedTypeId);
}

bool EmbeddedValue::ungetMeta(DbMetaBase* meta) {
  if (meta == nullptr) return false;
  meta->clear();
  return true;
}

}  // namespace tarvex_sample
