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
#include <variant>
#include <vector>

#include "DbMetaBase.h"
#include "EPoint.h"
#include "IDbDataSchema.h"

namespace tarvex_test {

class TestSchema : public IDbDataSchema {
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
    std::variant<std::monostate, EPoint3D, EPoint, double, float, std::int32_t, short, char, bool>
        value;
  };

  TestSchema();
  ~TestSchema() override;
  TestSchema(const TestSchema&) = delete;
  TestSchema& operator=(const TestSchema&) = delete;

  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    const EPoint3D& defaultValue) override;
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    const EPoint& defaultValue) override;
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    double defaultValue) override;
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    float defaultValue) override;
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    std::int32_t defaultValue) override;
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    short defaultValue) override;
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    char defaultValue) override;
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    bool defaultValue) override;
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType) override;

  const DbDataSchemaMap* getDataSchemaMap(unsigned short key) override;
  std::uint32_t getDataEntryCount(unsigned short typeId) const override;
  bool isSchemaClosed() override { return m_bClosed; }
  void setSchemaClosed(bool closed) override { m_bClosed = closed; }
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
  template <typename Value>
  void record(Overload overload, DbMetaBase* meta, unsigned short dataId,
              unsigned char dataModelType, Value value);

  IDbDataSchema* m_pPrevious;
  bool m_bClosed = false;
  const DbDataSchemaMap* m_pSchemaMap = nullptr;
  std::vector<Entry> m_Entries;
  std::vector<std::pair<DbMetaBase*, unsigned short>> m_OldDataIds;
  std::vector<unsigned short> m_SchemaMapKeys;
};

using NoSchema = TestSchema::NoSchema;

}  // namespace tarvex_test
