/// @file
/// DbValue: the provider kit's value class for one plain kind of datum.
#pragma once

#include <cstdint>
#include <type_traits>

#include "DbDataKey.h"
#include "DbObjectId.h"
#include "DbValueBase.h"
#include "EPoint.h"
#include "EString.h"
#include "ETime.h"

namespace tarvex {

/// A value holding one datum of type `T`: bool, char, short, std::int32_t,
/// float, double, EPoint, EPoint3D, EString, ebas::ETime or DbObjectId (the
/// id of the object itself). It overrides the getter and setter of its
/// kind, and the in-place writer where DbData has one; every other accessor
/// keeps the base behaviour, which reports the misuse.
///
/// Construct it as DbValue<T>(key, initialValue, dataModelType), from a
/// DataKey of its own kind (OwnObjectId for DbObjectIdValue) or a plain
/// data id; the last two are optional (T() and the kind's
/// DbValueModelType). A key of another kind does not compile, nor, with a
/// key, an initial value that tarvex::set would refuse (one that could
/// lose information on the way to T: write `short{3}` for a short). Every write
/// through the value's setters leaves it valid (see DbValueBase).
/// `Base` is DbValueBase unless the provider brings its own (see there).
template <class T, class Base = DbValueBase>
class DbValue;

/// Storage shared by every DbValue specialisation. On the kit's own base
/// (DbValueBase or a class derived from it) it also keeps the construction
/// value for resetValue() and writes the datum as text for getAsString; on
/// a provider's other base, both stay that base's.
template <class T, class Base, bool kOnKitBase = std::is_base_of_v<DbValueBase, Base>>
class DbValueStorage : public internal::ValidByFlag<Base> {
 public:
  /// The current datum.
  const T& value() const { return m_Value; }

 protected:
  /// A value of `dataId` holding `value`, reporting `dataModelType`.
  DbValueStorage(unsigned short dataId, const T& value, unsigned char dataModelType)
      : internal::ValidByFlag<Base>(dataId, dataModelType), m_Value(value) {}

  T m_Value;  ///< The datum.
};

/// @copydoc DbValueStorage
template <class T, class Base>
class DbValueStorage<T, Base, true> : public DbValueStorage<T, Base, false> {
 public:
  /// The datum as text: a number, "true" or "false", the character, the
  /// string, a point as "(x, y)" or "(x, y, z)", a time as seconds since
  /// the epoch, an object id as "type/database/number". Always true.
  bool getAsString(EString& out) const override {
    out = internal::toText(this->m_Value);
    return true;
  }
  /// Back to the construction value.
  void resetValue() override { this->m_Value = m_Initial; }

 protected:
  /// As the primary template, remembering `value` as the construction value.
  DbValueStorage(unsigned short dataId, const T& value, unsigned char dataModelType)
      : DbValueStorage<T, Base, false>(dataId, value, dataModelType), m_Initial(value) {}

 private:
  T m_Initial;
};

// One specialisation per kind; the macros only spell out the overrides.
// The reference documents them through the primary template above.
/// @cond TARVEX_VALUE_SPECIALISATIONS
#define TARVEX_DB_VALUE_HEAD_KEYED(Type, KeyKind, Param, ModelType, Getter, Setter)    \
  template <class Base>                                                                \
  class DbValue<Type, Base> : public DbValueStorage<Type, Base> {                      \
   public:                                                                             \
    explicit DbValue(unsigned short dataId, Param value = Type(),                      \
                     unsigned char dataModelType = ModelType)                          \
        : DbValueStorage<Type, Base>(dataId, value, dataModelType) {}                  \
    template <class Given = Type>                                                      \
    explicit DbValue(DataKey<KeyKind> key, const Given& value = Type(),                \
                     unsigned char dataModelType = ModelType)                          \
        : DbValueStorage<Type, Base>(key.dataId(), Type(value), dataModelType) {       \
      static_assert(internal::writesLosslessly<Type, Given>(),                         \
                    "the initial value is not of the key's kind, or would lose "       \
                    "information on the way (DataKey<T> builds a value holding a T)"); \
    }                                                                                  \
    template <class Other, class... Rest,                                              \
              class = std::enable_if_t<!std::is_same_v<Other, KeyKind>>>               \
    explicit DbValue(DataKey<Other> /*key*/, const Rest&... /*rest*/)                  \
        : DbValueStorage<Type, Base>(0, Type(), ModelType) {                           \
      static_assert(internal::kNever<Other>,                                           \
                    "a DataKey builds only a value of its own kind (OwnObjectId for "  \
                    "DbObjectIdValue, DbObjectId for DbReferenceValue)");              \
    }                                                                                  \
    Param Getter() const override { return this->m_Value; }                            \
    void Setter(Param value) override {                                                \
      this->m_Value = value;                                                           \
      this->switchBitOn(DbData::kValidFlag);                                           \
    }

#define TARVEX_DB_VALUE_HEAD(Type, Param, ModelType, Getter, Setter) \
  TARVEX_DB_VALUE_HEAD_KEYED(Type, Type, Param, ModelType, Getter, Setter)

#define TARVEX_DB_VALUE(Type, Param, ModelType, Getter, Setter) \
  TARVEX_DB_VALUE_HEAD(Type, Param, ModelType, Getter, Setter)  \
  }

#define TARVEX_DB_VALUE_TO_SET(Type, ModelType, Getter, Setter, ToSet) \
  TARVEX_DB_VALUE_HEAD(Type, const Type&, ModelType, Getter, Setter)   \
  Type& ToSet() override {                                             \
    this->switchBitOn(DbData::kValidFlag);                             \
    return this->m_Value;                                              \
  }                                                                    \
  }

TARVEX_DB_VALUE(bool, bool, DbValueModelType::kBool, getBool, setBool);
TARVEX_DB_VALUE(char, char, DbValueModelType::kChar, getChar, setChar);
TARVEX_DB_VALUE(short, short, DbValueModelType::kShort, getShort, setShort);
TARVEX_DB_VALUE(std::int32_t, std::int32_t, DbValueModelType::kLong, getLong, setLong);
TARVEX_DB_VALUE(float, float, DbValueModelType::kFloat, getFloat, setFloat);
TARVEX_DB_VALUE(double, double, DbValueModelType::kDouble, getDouble, setDouble);
TARVEX_DB_VALUE_HEAD_KEYED(DbObjectId, OwnObjectId, const DbObjectId&, DbValueModelType::kObjectId,
                           getDbObjectId, setDbObjectId)
};
TARVEX_DB_VALUE_TO_SET(EPoint, DbValueModelType::kPoint, getPoint, setPoint, getPointToSet);
TARVEX_DB_VALUE_TO_SET(EPoint3D, DbValueModelType::kPoint3D, getPoint3D, setPoint3D,
                       getPoint3DToSet);
TARVEX_DB_VALUE_TO_SET(ebas::ETime, DbValueModelType::kTime, getTime, setTime, getTimeToSet);
TARVEX_DB_VALUE_HEAD(EString, const EString&, DbValueModelType::kString, getString, setString)
EString& getStringToSet() override {
  this->switchBitOn(DbData::kValidFlag);
  return this->m_Value;
}
void finishStringToSet() override {}
std::uint32_t getStringLength() const override {
  return static_cast<std::uint32_t>(this->m_Value.size());
}
}
;

#undef TARVEX_DB_VALUE_TO_SET
#undef TARVEX_DB_VALUE
#undef TARVEX_DB_VALUE_HEAD
#undef TARVEX_DB_VALUE_HEAD_KEYED
/// @endcond

using DbBoolValue = DbValue<bool>;            ///< database type 1
using DbCharValue = DbValue<char>;            ///< database type 2
using DbShortValue = DbValue<short>;          ///< database type 3
using DbLongValue = DbValue<std::int32_t>;    ///< database type 4
using DbFloatValue = DbValue<float>;          ///< database type 5
using DbDoubleValue = DbValue<double>;        ///< database type 6
using DbPointValue = DbValue<EPoint>;         ///< database type 7
using DbObjectIdValue = DbValue<DbObjectId>;  ///< database type 14
using DbPoint3DValue = DbValue<EPoint3D>;     ///< database type 19
using DbStringValue = DbValue<EString>;       ///< a string
using DbTimeValue = DbValue<ebas::ETime>;     ///< a point in time

}  // namespace tarvex
