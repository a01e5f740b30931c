// Value classes of the sample provider: one per database type the metas tell
// apart, plus string and time values, a container of object references and
// an embedded object with a meta of its own.
//
// Each class overrides only the typed accessors of its own kind; every other
// accessor keeps the base behaviour, which reports the misuse. Values are
// valid while their valid flag is set (DbData::clear takes it away).
//
// Register the data-model types once, before the first meta is registered:
// registerSampleDataModelTypes().
#pragma once

#include <cstdint>
#include <vector>

#include "DbData.h"
#include "DbMetaBase.h"

namespace tarvex_sample {

// Data-model types of the sample values. They are deliberately not the
// database type codes: the type map translates one into the other.
enum SampleDataModelType : unsigned char {
  kDmBool = 40,
  kDmChar = 41,
  kDmShort = 42,
  kDmLong = 43,
  kDmFloat = 44,
  kDmDouble = 45,
  kDmPoint = 46,
  kDmPoint3D = 47,
  kDmString = 48,
  kDmTime = 49,
  kDmObjectId = 50,
  kDmReference15 = 51,
  kDmReference16 = 52,
  kDmReference18 = 53,
  kDmReferenceContainer = 54,
  kDmEmbedded = 55,
};

// Fills DbDataModel2DataBaseTypeMap with the sample's data-model types.
void registerSampleDataModelTypes();
// Number of data-model types registerSampleDataModelTypes() registers.
unsigned sampleDataModelTypeCount();

class SampleValue : public DbData {
 public:
  SampleValue(unsigned short dataId, unsigned char dataModelType)
      : DbData(dataId), m_DataModelType(dataModelType) {}

  unsigned char getDataModelType() const override { return m_DataModelType; }
  bool valid() const override { return isBitOn(kValidFlag); }

 private:
  unsigned char m_DataModelType;
};

// One value of a plain type: the getter and setter pair of that type.
class BoolValue final : public SampleValue {
 public:
  explicit BoolValue(unsigned short dataId, bool value = false)
      : SampleValue(dataId, kDmBool), m_Value(value) {}
  bool getBool() const override { return m_Value; }
  void setBool(bool value) override { m_Value = value; }

 private:
  bool m_Value;
};

class CharValue final : public SampleValue {
 public:
  explicit CharValue(unsigned short dataId, char value = ' ')
      : SampleValue(dataId, kDmChar), m_Value(value) {}
  char getChar() const override { return m_Value; }
  void setChar(char value) override { m_Value = value; }

 private:
  char m_Value;
};

class ShortValue final : public SampleValue {
 public:
  explicit ShortValue(unsigned short dataId, short value = 0)
      : SampleValue(dataId, kDmShort), m_Value(value) {}
  short getShort() const override { return m_Value; }
  void setShort(short value) override { m_Value = value; }

 private:
  short m_Value;
};

class LongValue final : public SampleValue {
 public:
  explicit LongValue(unsigned short dataId, std::int32_t value = 0)
      : SampleValue(dataId, kDmLong), m_Value(value) {}
  std::int32_t getLong() const override { return m_Value; }
  void setLong(std::int32_t value) override { m_Value = value; }

 private:
  std::int32_t m_Value;
};

class FloatValue final : public SampleValue {
 public:
  explicit FloatValue(unsigned short dataId, float value = 0.0f)
      : SampleValue(dataId, kDmFloat), m_Value(value) {}
  float getFloat() const override { return m_Value; }
  void setFloat(float value) override { m_Value = value; }

 private:
  float m_Value;
};

class DoubleValue final : public SampleValue {
 public:
  explicit DoubleValue(unsigned short dataId, double value = 0.0)
      : SampleValue(dataId, kDmDouble), m_Value(value) {}
  double getDouble() const override { return m_Value; }
  void setDouble(double value) override { m_Value = value; }

 private:
  double m_Value;
};

class PointValue final : public SampleValue {
 public:
  explicit PointValue(unsigned short dataId, const EPoint& value = EPoint())
      : SampleValue(dataId, kDmPoint), m_Value(value) {}
  const EPoint& getPoint() const override { return m_Value; }
  void setPoint(const EPoint& value) override { m_Value = value; }
  EPoint& getPointToSet() override { return m_Value; }

 private:
  EPoint m_Value;
};

class Point3DValue final : public SampleValue {
 public:
  explicit Point3DValue(unsigned short dataId, const EPoint3D& value = EPoint3D())
      : SampleValue(dataId, kDmPoint3D), m_Value(value) {}
  const EPoint3D& getPoint3D() const override { return m_Value; }
  void setPoint3D(const EPoint3D& value) override { m_Value = value; }
  EPoint3D& getPoint3DToSet() override { return m_Value; }

 private:
  EPoint3D m_Value;
};

class StringValue final : public SampleValue {
 public:
  explicit StringValue(unsigned short dataId, const EString& value = EString())
      : SampleValue(dataId, kDmString), m_Value(value) {}
  const EString& getString() const override { return m_Value; }
  void setString(const EString& value) override { m_Value = value; }
  EString& getStringToSet() override { return m_Value; }
  void finishStringToSet() override {}
  std::uint32_t getStringLength() const override {
    return static_cast<std::uint32_t>(m_Value.size());
  }
  bool getAsString(EString& out) const override {
    out = m_Value;
    return true;
  }

 private:
  EString m_Value;
};

class TimeValue final : public SampleValue {
 public:
  explicit TimeValue(unsigned short dataId, const ebas::ETime& value = ebas::ETime())
      : SampleValue(dataId, kDmTime), m_Value(value) {}
  const ebas::ETime& getTime() const override { return m_Value; }
  void setTime(const ebas::ETime& value) override { m_Value = value; }
  ebas::ETime& getTimeToSet() override { return m_Value; }

 private:
  ebas::ETime m_Value;
};

// The id of the object itself (database type 14).
class ObjectIdValue final : public SampleValue {
 public:
  explicit ObjectIdValue(unsigned short dataId, const DbObjectId& value = DbObjectId())
      : SampleValue(dataId, kDmObjectId), m_Value(value) {}
  const DbObjectId& getDbObjectId() const override { return m_Value; }
  void setDbObjectId(const DbObjectId& value) override { m_Value = value; }

 private:
  DbObjectId m_Value;
};

// A reference to another object, optionally to an object embedded in it.
// The data-model type picks the kind of reference (database type 15, 16 or
// 18); they behave alike here.
class ReferenceValue final : public SampleValue {
 public:
  ReferenceValue(unsigned short dataId, unsigned char dataModelType,
                 const DbObjectId& reference = DbObjectId())
      : SampleValue(dataId, dataModelType), m_Reference(reference) {}
  DbObjectId getReference() const override { return m_Reference; }
  void setReference(const DbObjectId& reference) override { m_Reference = reference; }
  std::int32_t getEmbeddedId() const override { return m_EmbeddedId; }
  void setEmbeddedId(const std::int32_t& embeddedId) override { m_EmbeddedId = embeddedId; }

 private:
  DbObjectId m_Reference;
  std::int32_t m_EmbeddedId = 0;
};

// A container of references (database type 11). It owns its elements, which
// all carry the container's data id. addObject2Container inserts a reference
// to the object bound to the given meta.
class ReferenceContainerValue final : public SampleValue {
 public:
  ReferenceContainerValue(unsigned short dataId, unsigned char elementDataModelType)
      : SampleValue(dataId, kDmReferenceContainer), m_ElementDataModelType(elementDataModelType) {}
  ReferenceContainerValue(const ReferenceContainerValue&) = delete;
  ReferenceContainerValue& operator=(const ReferenceContainerValue&) = delete;
  ~ReferenceContainerValue() override;

  std::uint32_t getContainerCount() const override {
    return static_cast<std::uint32_t>(m_Elements.size());
  }
  void prepareContainerAccess() override {}
  void unprepareContainerAccess() override {}
  bool getFirstElement(DbData** element) override;
  bool getNextElement(DbData** element) override;
  unsigned char getDataModelTypeOfElements() const override { return m_ElementDataModelType; }
  // A position outside 0..count appends.
  bool addObject2Container(DbMetaBase& meta, int position) override;

  // Destroys the element at `position`; false if there is none.
  bool removeElement(int position);
  // The element at `position`, or null.
  ReferenceValue* element(std::size_t position) const {
    return position < m_Elements.size() ? m_Elements[position] : nullptr;
  }

 private:
  unsigned char m_ElementDataModelType;
  std::vector<ReferenceValue*> m_Elements;
  std::size_t m_Cursor = 0;
};

// An embedded object (database type 13): a part of the owning object that is
// described by a meta of its own type.
//
// getMeta borrows a working meta of the embedded type from the registry (so
// the embedded type must be registered first) and ungetMeta gives it back.
// getMetaForEmbeddedObject answers with the value's own meta, which holds the
// embedded object's values and which the value owns.
class EmbeddedValue final : public SampleValue {
 public:
  // Takes ownership of `meta` (REQUIRES: non-null, of `embeddedTypeId`).
  EmbeddedValue(unsigned short dataId, unsigned short embeddedTypeId, DbMetaBase* meta)
      : SampleValue(dataId, kDmEmbedded), m_EmbeddedTypeId(embeddedTypeId), m_pMeta(meta) {}
  EmbeddedValue(const EmbeddedValue&) = delete;
  EmbeddedValue& operator=(const EmbeddedValue&) = delete;
  ~EmbeddedValue() override;

  DbMetaBase* getMeta() override;
  bool ungetMeta(DbMetaBase* meta) override;
  DbMetaBase* getMetaForEmbeddedObject() const override { return m_pMeta; }

 private:
  unsigned short m_EmbeddedTypeId;
  DbMetaBase* m_pMeta;
};

}  // namespace tarvex_sample
