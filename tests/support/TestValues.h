// Concrete value classes for tests: one per database type the library tells
// apart, plus a container and an embedded-object value. Register their
// data-model types with registerTestDataModelTypes() before relying on
// database types.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DbData.h"
#include "DbMetaBase.h"

namespace tarvex_test {

// Data-model types, each mapped to the database type in the comment.
enum : unsigned char {
  kDmBool = 21,       // 1
  kDmChar = 22,       // 2
  kDmShort = 23,      // 3
  kDmLong = 24,       // 4
  kDmFloat = 25,      // 5
  kDmDouble = 26,     // 6
  kDmPoint = 27,      // 7
  kDmContainer = 31,  // 11
  kDmEmbedded = 33,   // 13
  kDmObjectId = 34,   // 14
  kDmRef15 = 35,      // 15
  kDmRef16 = 36,      // 16
  kDmRef18 = 38,      // 18
  kDmPoint3D = 39,    // 19
  kDmString = 40,     // 20 (a code the meta operations do not single out)
  kDmTime = 41,       // 21 (likewise)
};

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

// A scalar value: getter and setter of one type, with a write counter.
#define TARVEX_TEST_SCALAR_VALUE(Name, Type, ParamType, DataModel, Getter, Setter) \
  class Name : public TestValue {                                                  \
   public:                                                                         \
    explicit Name(unsigned short dataId, ParamType value = Type())                 \
        : TestValue(dataId, DataModel), m_Value(value) {}                          \
    ParamType Getter() const override { return m_Value; }                          \
    void Setter(ParamType value) override {                                        \
      m_Value = value;                                                             \
      ++m_WriteCount;                                                              \
    }                                                                              \
    ParamType value() const { return m_Value; }                                    \
    int writeCount() const { return m_WriteCount; }                                \
    std::wstring text() const override;                                            \
                                                                                   \
   private:                                                                        \
    Type m_Value;                                                                  \
    int m_WriteCount = 0;                                                          \
  }

TARVEX_TEST_SCALAR_VALUE(BoolValue, bool, bool, kDmBool, getBool, setBool);
TARVEX_TEST_SCALAR_VALUE(CharValue, char, char, kDmChar, getChar, setChar);
TARVEX_TEST_SCALAR_VALUE(ShortValue, short, short, kDmShort, getShort, setShort);
TARVEX_TEST_SCALAR_VALUE(LongValue, std::int32_t, std::int32_t, kDmLong, getLong, setLong);
TARVEX_TEST_SCALAR_VALUE(FloatValue, float, float, kDmFloat, getFloat, setFloat);
TARVEX_TEST_SCALAR_VALUE(DoubleValue, double, double, kDmDouble, getDouble, setDouble);
TARVEX_TEST_SCALAR_VALUE(PointValue, EPoint, const EPoint&, kDmPoint, getPoint, setPoint);
TARVEX_TEST_SCALAR_VALUE(Point3DValue, EPoint3D, const EPoint3D&, kDmPoint3D, getPoint3D,
                         setPoint3D);
TARVEX_TEST_SCALAR_VALUE(StringValue, EString, const EString&, kDmString, getString, setString);
TARVEX_TEST_SCALAR_VALUE(TimeValue, ebas::ETime, const ebas::ETime&, kDmTime, getTime, setTime);
TARVEX_TEST_SCALAR_VALUE(ObjectIdValue, DbObjectId, const DbObjectId&, kDmObjectId, getDbObjectId,
                         setDbObjectId);

#undef TARVEX_TEST_SCALAR_VALUE

// An object reference (database types 15, 16, 18) with an embedded id.
class ReferenceValue : public TestValue {
 public:
  ReferenceValue(unsigned short dataId, const DbObjectId& reference,
                 unsigned char dataModelType = kDmRef15)
      : TestValue(dataId, dataModelType), m_Reference(reference) {}

  DbObjectId getReference() const override { return m_Reference; }
  void setReference(const DbObjectId& reference) override;
  std::int32_t getEmbeddedId() const override { return m_EmbeddedId; }
  void setEmbeddedId(const std::int32_t& embeddedId) override { m_EmbeddedId = embeddedId; }
  int writeCount() const { return m_WriteCount; }
  std::wstring text() const override;

 private:
  DbObjectId m_Reference;
  std::int32_t m_EmbeddedId = 0;
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
