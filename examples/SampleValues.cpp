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
    {kDmBool, DbDatabaseType::kBoolean},
    {kDmChar, DbDatabaseType::kCharacter},
    {kDmShort, DbDatabaseType::kShort},
    {kDmLong, DbDatabaseType::kLong},
    {kDmFloat, DbDatabaseType::kFloat},
    {kDmDouble, DbDatabaseType::kDouble},
    {kDmPoint, DbDatabaseType::kPoint},
    {kDmPoint3D, DbDatabaseType::kPoint3D},
    {kDmString, 20},  // a kind the meta operations do not single out
    {kDmTime, 21},    // likewise
    {kDmObjectId, DbDatabaseType::kObjectId},
    {kDmReference15, DbDatabaseType::kReference15},
    {kDmReference16, DbDatabaseType::kReference16},
    {kDmReference18, DbDatabaseType::kReference18},
    {kDmReferenceContainer, DbDatabaseType::kContainer},
    {kDmEmbedded, DbDatabaseType::kEmbeddedObject},
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
