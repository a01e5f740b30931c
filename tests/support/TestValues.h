// Value classes for tests: the kit's plain values and references on a
// recording base (validity, defaults, text, write counts), plus a container
// and an embedded-object value that log what the library does with them. Register their
// data-model types with registerTestDataModelTypes() before relying on
// database types.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DbData.h"
#include "DbMetaBase.h"
#include "DbReferenceValue.h"
#include "DbValue.h"

namespace tarvex_test {

// Data-model types: the kit's, each mapped to the database type in the
// comment.
enum : unsigned char {
  kDmBool = tarvex::DbValueModelType::kBool,                // 1
  kDmChar = tarvex::DbValueModelType::kChar,                // 2
  kDmShort = tarvex::DbValueModelType::kShort,              // 3
  kDmLong = tarvex::DbValueModelType::kLong,                // 4
  kDmFloat = tarvex::DbValueModelType::kFloat,              // 5
  kDmDouble = tarvex::DbValueModelType::kDouble,            // 6
  kDmPoint = tarvex::DbValueModelType::kPoint,              // 7
  kDmContainer = tarvex::DbValueModelType::kContainer,      // 11
  kDmEmbedded = tarvex::DbValueModelType::kEmbeddedObject,  // 13
  kDmObjectId = tarvex::DbValueModelType::kObjectId,        // 14
  kDmRef15 = tarvex::DbValueModelType::kReference15,        // 15
  kDmRef16 = tarvex::DbValueModelType::kReference16,        // 16
  kDmRef18 = tarvex::DbValueModelType::kReference18,        // 18
  kDmPoint3D = tarvex::DbValueModelType::kPoint3D,          // 19
  kDmString = tarvex::DbValueModelType::kString,            // 20 (not singled out)
  kDmTime = tarvex::DbValueModelType::kTime,                // 21 (likewise)
};

// tarvex::registerValueModelTypes().
void registerTestDataModelTypes();

// Per-thread log of container walks and other observable calls.
std::vector<std::string>& events();

// Common part: validity, unknown-data type, default handling.
class TestValue : public DbData {
 public:
  TestValue(unsigned short dataId, unsigned char dataModelType)
      : DbData(dataId), m_DataModelType(dataModelType) {}

  bool valid() const override { return m_bValid; }
  void setValid(bool valid) { m_bValid = valid; }
  unsigned char getDataModelType() const override { return m_DataModelType; }
  void setUnknownDataType(DbUnknownDataNsp::DbUnknownDataType type) { m_UnknownDataType = type; }

  bool isDefault(const DbDataSchemaMap* schemaMap) const override;
  void setDefault(const DbDataSchemaMap* schemaMap) override;
  void setIsDefault(bool isDefault) { m_bIsDefault = isDefault; }
  const DbDataSchemaMap* defaultedWith() const { return m_pDefaultedWith; }
  int defaultCount() const { return m_DefaultCount; }

  bool getAsString(EString& out) const override;
  // Text that getAsString yields.
  virtual std::wstring text() const = 0;
  // Makes getAsString fail (still writing the text).
  void setAsStringFails(bool fails) { m_bAsStringFails = fails; }

 private:
  unsigned char m_DataModelType;
  bool m_bValid = true;
  bool m_bIsDefault = false;
  bool m_bAsStringFails = false;
  mutable const DbDataSchemaMap* m_pDefaultedWith = nullptr;
  int m_DefaultCount = 0;
};

// The kit's value of one kind on TestValue, counting setter calls.
#define TARVEX_TEST_SCALAR_VALUE(Name, Type, ParamType, Setter) \
  class Name : public tarvex::DbValue<Type, TestValue> {        \
   public:                                                      \
    using tarvex::DbValue<Type, TestValue>::DbValue;            \
    void Setter(ParamType value) override {                     \
      tarvex::DbValue<Type, TestValue>::Setter(value);          \
      ++m_WriteCount;                                           \
    }                                                           \
    int writeCount() const { return m_WriteCount; }             \
    std::wstring text() const override;                         \
                                                                \
   private:                                                     \
    int m_WriteCount = 0;                                       \
  }

TARVEX_TEST_SCALAR_VALUE(BoolValue, bool, bool, setBool);
TARVEX_TEST_SCALAR_VALUE(CharValue, char, char, setChar);
TARVEX_TEST_SCALAR_VALUE(ShortValue, short, short, setShort);
TARVEX_TEST_SCALAR_VALUE(LongValue, std::int32_t, std::int32_t, setLong);
TARVEX_TEST_SCALAR_VALUE(FloatValue, float, float, setFloat);
TARVEX_TEST_SCALAR_VALUE(DoubleValue, double, double, setDouble);
TARVEX_TEST_SCALAR_VALUE(PointValue, EPoint, const EPoint&, setPoint);
TARVEX_TEST_SCALAR_VALUE(Point3DValue, EPoint3D, const EPoint3D&, setPoint3D);
TARVEX_TEST_SCALAR_VALUE(StringValue, EString, const EString&, setString);
TARVEX_TEST_SCALAR_VALUE(TimeValue, ebas::ETime, const ebas::ETime&, setTime);
TARVEX_TEST_SCALAR_VALUE(ObjectIdValue, DbObjectId, const DbObjectId&, setDbObjectId);

#undef TARVEX_TEST_SCALAR_VALUE

// The kit's object reference (database types 15, 16, 18) on TestValue,
// counting setReference calls.
class ReferenceValue : public tarvex::DbReferenceValue<TestValue> {
 public:
  using tarvex::DbReferenceValue<TestValue>::DbReferenceValue;

  void setReference(const DbObjectId& reference) override;
  int writeCount() const { return m_WriteCount; }
  std::wstring text() const override;

 private:
  int m_WriteCount = 0;
};

// A container that owns its elements and logs its walks to events().
class ContainerValue : public TestValue {
 public:
  ContainerValue(unsigned short dataId, unsigned char elementDataModelType)
      : TestValue(dataId, kDmContainer), m_ElementDataModelType(elementDataModelType) {}
  ~ContainerValue() override;

  // Takes ownership of `element`.
  void add(DbData* element) { m_Elements.push_back(element); }
  const std::vector<DbData*>& elements() const { return m_Elements; }

  unsigned char getDataModelTypeOfElements() const override { return m_ElementDataModelType; }
  std::uint32_t getContainerCount() const override {
    return static_cast<std::uint32_t>(m_Elements.size());
  }
  void prepareContainerAccess() override;
  void unprepareContainerAccess() override;
  bool getFirstElement(DbData** element) override;
  bool getNextElement(DbData** element) override;
  bool addObject2Container(DbMetaBase& meta, int position) override;
  void setAddObjectResult(bool result) { m_bAddObjectResult = result; }
  // (meta, position) of every addObject2Container call.
  const std::vector<std::pair<DbMetaBase*, int>>& addedObjects() const { return m_Added; }
  std::wstring text() const override;

 private:
  unsigned char m_ElementDataModelType;
  std::vector<DbData*> m_Elements;
  std::size_t m_Cursor = 0;
  bool m_bAddObjectResult = true;
  std::vector<std::pair<DbMetaBase*, int>> m_Added;
};

// An embedded object described by a meta of its own (borrowed, may be null).
class EmbeddedValue : public TestValue {
 public:
  EmbeddedValue(unsigned short dataId, DbMetaBase* meta)
      : TestValue(dataId, kDmEmbedded), m_pMeta(meta) {}

  DbMetaBase* getMetaForEmbeddedObject() const override { return m_pMeta; }
  DbMetaBase* getMeta() override { return m_pMeta; }
  bool ungetMeta(DbMetaBase* meta) override;
  int ungetCount() const { return m_UngetCount; }
  void setMeta(DbMetaBase* meta) { m_pMeta = meta; }
  std::wstring text() const override;

 private:
  DbMetaBase* m_pMeta;
  int m_UngetCount = 0;
};

// Logs clear and purge, so the order in which a container destroys its
// elements can be checked.
class LoggedValue : public LongValue {
 public:
  LoggedValue(unsigned short dataId, std::vector<std::string>* log)
      : LongValue(dataId), m_pLog(log) {}
  bool clear() override {
    m_pLog->push_back("clear:" + std::to_string(getDataId()));
    return LongValue::clear();
  }
  void purge() override {
    m_pLog->push_back("purge:" + std::to_string(getDataId()));
    LongValue::purge();
  }

 private:
  std::vector<std::string>* m_pLog;
};

}  // namespace tarvex_test
