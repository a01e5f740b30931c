/// @file
/// DbRecordingSchema: a ready data schema that records what metas announce.
#pragma once

#include <cstdint>
#include <iterator>
#include <map>
#include <set>
#include <utility>

#include "DbMetaBase.h"
#include "DbSchemaBase.h"

namespace tarvex {

/// A schema to install as it is: it keeps every data entry the metas
/// announce, keyed by (type id, data id), with its data-model type and the
/// default it was announced with, and every old data id they declare.
/// A meta announced again (an embedded meta visited while its owner
/// registers, a second registration of its type) replaces the entries it
/// announces again instead of adding duplicates; an entry of the type that
/// the later announcement leaves out stays (the schema is told of entries,
/// not of where a type's announcement begins); an entry or old data id of a null meta has
/// no type to be kept under and is left out. It holds no defaults to hand
/// out: getDataSchemaMap answers null, so DbMetaBase::setDatas2Default
/// changes nothing.
///
/// Installed for its lifetime as DbSchemaBase describes. Thread safety:
/// none; metas are registered on one thread.
class DbRecordingSchema : public DbSchemaBase {
 public:
  /// (type id, data id).
  using Key = std::pair<unsigned short, unsigned short>;
  /// One data entry as announced.
  struct Entry {
    unsigned char dataModelType;   ///< The value's data-model type.
    DbSchemaDefault defaultValue;  ///< std::monostate: announced without one.
  };

  /// Keeps the entry under (the meta's type id, `dataId`).
  void recordEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                   const DbSchemaDefault& defaultValue) override {
    if (meta == nullptr) return;
    m_Entries.insert_or_assign(Key(meta->getTypeId(), dataId), Entry{dataModelType, defaultValue});
  }
  /// Null: the schema has no defaults to hand out.
  const DbDataSchemaMap* getDataSchemaMap(unsigned short /*key*/) override { return nullptr; }
  /// The number of entries kept for `typeId`.
  std::uint32_t getDataEntryCount(unsigned short typeId) const override {
    const auto first = m_Entries.lower_bound(Key(typeId, 0));
    const auto last = m_Entries.upper_bound(Key(typeId, 0xFFFF));
    return static_cast<std::uint32_t>(std::distance(first, last));
  }
  /// Keeps (the meta's type id, `dataId`) as an old data id.
  void declareOldDataId(DbMetaBase* meta, unsigned short dataId) override {
    if (meta != nullptr) m_OldDataIds.insert(Key(meta->getTypeId(), dataId));
  }

  /// Every entry kept.
  const std::map<Key, Entry>& entries() const noexcept { return m_Entries; }
  /// Every old data id kept.
  const std::set<Key>& oldDataIds() const noexcept { return m_OldDataIds; }

 private:
  std::map<Key, Entry> m_Entries;
  std::set<Key> m_OldDataIds;
};

}  // namespace tarvex
