// A recording data schema for tests.
//
// Constructing a TestSchema installs it as the process-wide schema;
// destroying it puts back whatever was installed before, so schemas nest
// like scopes. NoSchema removes the installed schema for its lifetime.
//
// Each addDataEntry call is kept as an Entry naming the overload taken, the
// meta (and its type id at the time), data id, data-model type and value.
// declareOldDataId calls and getDataSchemaMap keys are kept likewise. The
// closed flag (setSchemaClosed) and the map getDataSchemaMap answers
// (setSchemaMap) are settable.
//
// Not thread-safe: use it from one thread, as registration does.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "DbMetaBase.h"
#include "DbSchemaBase.h"
#include "EPoint.h"

namespace tarvex_test {

class TestSchema : public tarvex::DbSchemaBase {
 public:
  // In the interface's slot order; Plain is the overload without a value.
  enum class Overload { Point3D, Point, Double, Float, Long, Short, Char, Bool, Plain };

  struct Entry {
    Overload overload;
    DbMetaBase* meta;
    unsigned short typeId;
    unsigned short dataId;
    unsigned char dataModelType;
    // std::monostate for Plain, else the value in the overload's own type.
    tarvex::DbSchemaDefault value;
  };

  void recordEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                   const tarvex::DbSchemaDefault& defaultValue) override;

  const DbDataSchemaMap* getDataSchemaMap(unsigned short key) override;
  std::uint32_t getDataEntryCount(unsigned short typeId) const override;
  void declareOldDataId(DbMetaBase* meta, unsigned short dataId) override;

  void setSchemaMap(const DbDataSchemaMap* schemaMap) { m_pSchemaMap = schemaMap; }
  const std::vector<Entry>& entries() const { return m_Entries; }
  const std::vector<std::pair<DbMetaBase*, unsigned short>>& oldDataIds() const {
    return m_OldDataIds;
  }
  const std::vector<unsigned short>& schemaMapKeys() const { return m_SchemaMapKeys; }
  void clearRecords();

  // Removes the installed schema for its lifetime.
  class NoSchema {
   public:
    NoSchema();
    ~NoSchema();
    NoSchema(const NoSchema&) = delete;
    NoSchema& operator=(const NoSchema&) = delete;

   private:
    IDbDataSchema* m_pPrevious;
  };

 private:
  const DbDataSchemaMap* m_pSchemaMap = nullptr;
  std::vector<Entry> m_Entries;
  std::vector<std::pair<DbMetaBase*, unsigned short>> m_OldDataIds;
  std::vector<unsigned short> m_SchemaMapKeys;
};

using NoSchema = TestSchema::NoSchema;

}  // namespace tarvex_test
