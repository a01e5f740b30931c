#include "SampleSchema.h"

#include "DbMetaBase.h"

namespace tarvex_sample {

SampleSchema::SampleSchema() : m_pPrevious(sm_pInstance) { sm_pInstance = this; }

SampleSchema::~SampleSchema() {
  if (sm_pInstance == this) sm_pInstance = m_pPrevious;
}

void SampleSchema::record(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                          bool hasDefault) {
  if (meta == nullptr) return;
  m_Entries[Key(meta->getTypeId(), dataId)] = Entry{dataModelType, hasDefault};
}

void SampleSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId,
                                unsigned char dataModelType, const EPoint3D& /*defaultValue*/) {
  record(meta, dataId, dataModelType, true);
}

void SampleSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId,
                                unsigned char dataModelType, const EPoint& /*defaultValue*/) {
  record(meta, dataId, dataModelType, true);
}

void SampleSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId,
                                unsigned char dataModelType, double /*defaultValue*/) {
  record(meta, dataId, dataModelType, true);
}

void SampleSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId,
                                unsigned char dataModelType, float /*defaultValue*/) {
  record(meta, dataId, dataModelType, true);
}

void SampleSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId,
                                unsigned char dataModelType, std::int32_t /*defaultValue*/) {
  record(meta, dataId, dataModelType, true);
}

void SampleSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId,
                                unsigned char dataModelType, short /*defaultValue*/) {
  record(meta, dataId, dataModelType, true);
}

void SampleSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId,
                                unsigned char dataModelType, char /*defaultValue*/) {
  record(meta, dataId, dataModelType, true);
}

void SampleSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId,
                                unsigned char dataModelType, bool /*defaultValue*/) {
  record(meta, dataId, dataModelType, true);
}

void SampleSchema::addDataEntry(DbMetaBase* meta, unsigned short dataId,
                                unsigned char dataModelType) {
  record(meta, dataId, dataModelType, false);
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
