#include "TestSchema.h"

#include <algorithm>

namespace tarvex_test {

void TestSchema::recordEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                             const tarvex::DbSchemaDefault& defaultValue) {
  // The default's alternatives follow the overloads' order, the one without
  // a value first.
  const Overload overload =
      defaultValue.index() == 0 ? Overload::Plain : static_cast<Overload>(defaultValue.index() - 1);
  const unsigned short typeId = meta != nullptr ? meta->getTypeId() : 0;
  m_Entries.push_back(Entry{overload, meta, typeId, dataId, dataModelType, defaultValue});
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
