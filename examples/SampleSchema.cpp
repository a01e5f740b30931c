#include "SampleSchema.h"

#include <variant>

#include "DbMetaBase.h"

namespace tarvex_sample {

void SampleSchema::recordEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                               const tarvex::DbSchemaDefault& defaultValue) {
  if (meta == nullptr) return;
  const bool hasDefault = !std::holds_alternative<std::monostate>(defaultValue);
  m_Entries[Key(meta->getTypeId(), dataId)] = Entry{dataModelType, hasDefault};
}

const DbDataSchemaMap* SampleSchema::getDataSchemaMap(unsigned short /*key*/) { return nullptr; }

std::uint32_t SampleSchema::getDataEntryCount(unsigned short typeId) const {
  std::uint32_t count = 0;
  for (auto it = m_Entries.lower_bound(Key(typeId, 0));
       it != m_Entries.end() && it->first.first == typeId; ++it) {
    ++count;
  }
  return count;
}

void SampleSchema::declareOldDataId(DbMetaBase* meta, unsigned short dataId) {
  if (meta != nullptr) m_OldDataIds[Key(meta->getTypeId(), dataId)] = true;
}

}  // namespace tarvex_sample
