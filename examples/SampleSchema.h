// SampleSchema: a data schema that records the data entries metas announce.
//
// Constructing it installs it as the process-wide schema; destroying it
// uninstalls it (putting back whatever was installed before). An entry is
// keyed by (type id, data id): a meta announced again, for example an
// embedded meta visited while its owner registers, replaces its entries
// instead of adding duplicates. There are no defaults to hand out, so
// getDataSchemaMap answers null.
//
// Thread safety: none; metas are registered on one thread.
#pragma once

#include <cstdint>
#include <map>
#include <utility>

#include "DbSchemaBase.h"

namespace tarvex_sample {

class SampleSchema : public tarvex::DbSchemaBase {
 public:
  struct Entry {
    unsigned char dataModelType;
    bool hasDefault;  // announced with its current value
  };
  using Key = std::pair<unsigned short, unsigned short>;  // (type id, data id)

  void recordEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                   const tarvex::DbSchemaDefault& defaultValue) override;

  const DbDataSchemaMap* getDataSchemaMap(unsigned short key) override;
  std::uint32_t getDataEntryCount(unsigned short typeId) const override;
  void declareOldDataId(DbMetaBase* meta, unsigned short dataId) override;

  const std::map<Key, Entry>& entries() const { return m_Entries; }
  std::uint32_t oldDataIdCount() const { return static_cast<std::uint32_t>(m_OldDataIds.size()); }

 private:
  std::map<Key, Entry> m_Entries;
  std::map<Key, bool> m_OldDataIds;
};

}  // namespace tarvex_sample
