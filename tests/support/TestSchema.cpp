#include "TestSchema.h"

#include <algorithm>

namespace tarvex_test {

TestSchema::TestSchema() : m_pPrevious(sm_pInstance) { sm_pInstance = this; }

TestSchema::~TestSchema() { sm_pInstance = m_pPrevious; }

template <typename Value>
void TestSchema::record(Overload overload, DbMetaBase* meta, unsigned short dataId,
                        unsigned char dataModelType, Value value) {
  const unsigned short typeId = meta != nullptr ? meta->getTypeId() : 0;
  Entry entry{overload, meta, typeId, dataId, dataModelType, {}};
  entry.value.emplace<Value>(value);
  m_Entries.push_back(entry);
}

void TestSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                              const EPoint3D& defaultValue) {
  record(Overload::Point3D, meta, dataId, dataModelType, defaultValue);
}

void TestSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                              const EPoint& defaultValue) {
  record(Overload::Point, meta, dataId, dataModelType, defaultValue);
}

void TestSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                              double defaultValue) {
  record(Overload::Double, meta, dataId, dataModelType, defaultValue);
}

void TestSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                              float defaultValue) {
  record(Overload::Float, meta, dataId, dataModelType, defaultValue);
}

void TestSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                              std::int32_t defaultValue) {
  record(Overload::Long, meta, dataId, dataModelType, defaultValue);
}

void TestSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                              short defaultValue) {
  record(Overload::Short, meta, dataId, dataModelType, defaultValue);
}

void TestSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                              char defaultValue) {
  record(Overload::Char, meta, dataId, dataModelType, defaultValue);
}

void TestSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                              bool defaultValue) {
  record(Overload::Bool, meta, dataId, dataModelType, defaultValue);
}

void TestSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId,
                              unsigned char dataModelType) {
  record(Overload::Plain, meta, dataId, dataModelType, std::monostate());
}

const DbDataSchemaMap* TestSchema::getDataSchemaMap(unsigned short key) {
  m_SchemaMapKeys.push_back(key);
  return m_pSchemaMap;
}

std::uint32_t TestSchema::getDataEntryCount(unsigned short typeId) const {
  return static_cast<std::uint32_t>(
      std::count_if(m_Entries.begin(), m_Entries.end(),
                    [typeId](const Entry& entry) { return entry.typeId == typeId; }));
}

void TestSchema::declareOldDataId(DbMetaBase* meta, unsigned short dataId) {
  m_OldDataIds.emplace_back(meta, dataId);
}

void TestSchema::clearRecords() {
  m_Entries.clear();
  m_OldDataIds.clear();
  m_SchemaMapKeys.clear();
}

TestSchema::NoSchema::NoSchema() : m_pPrevious(sm_pInstance) { sm_pInstance = nullptr; }

TestSchema::NoSchema::~NoSchema() { sm_pInstance = m_pPrevious; }

}  // namespace tarvex_test
