/// @file
/// DataKey: a data id together with the kind of its value, declared once by
/// the provider, and the typed reads and writes through it.
#pragma once

#include <cstdint>
#include <optional>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "DbData.h"
#include "DbDataModel2DataBaseTypeMap.h"
#include "DbMetaBase.h"
#include "DbObjectId.h"
#include "DbValueBase.h"
#include "EAssertAndTrace.h"
#include "EPoint.h"
#include "EString.h"
#include "ETime.h"

namespace tarvex {

/// The kind of a DataKey that names a DbObjectIdValue: the id of the object
/// itself (database type 14), read with getDbObjectId. A reference to
/// another object is a DataKey<DbObjectId>.
struct OwnObjectId {};

template <class T, class Base>
class DbValue;
template <class Base>
class DbReferenceValue;

/// @cond TARVEX_INTERNAL
namespace internal {

/// False for every `T`: a static_assert that fires only when instantiated.
template <class>
constexpr bool kNever = false;

/// The accessor pair of each kind a DataKey may name, the kit's value class
/// of that kind (`Exact`), and the database types of the values it may be
/// used on. `Result` is what a read gives: the value itself for the small
/// kinds, a reference for the others (to a shared default object when the
/// meta lacks the value). readExact and writeExact call the accessors of
/// `Exact` without virtual dispatch, for a value of exactly that class.
template <class T>
struct DataKind {
  static constexpr bool kSupported = false;
};

#define TARVEX_DATA_KIND(Type, ValueType, ResultType, Getter, Setter, DatabaseType) \
  template <>                                                                       \
  struct DataKind<Type> {                                                           \
    static constexpr bool kSupported = true;                                        \
    using Value = ValueType;                                                        \
    using Result = ResultType;                                                      \
    using Exact = DbValue<ValueType, DbValueBase>;                                  \
    static bool fits(int databaseType) { return databaseType == (DatabaseType); }   \
    static Result read(const DbData& value) { return value.Getter(); }              \
    static void write(DbData& value, const Value& v) { value.Setter(v); }           \
    template <class E = Exact>                                                      \
    static Result readExact(const DbData& value) {                                  \
      return static_cast<const E&>(value).E::Getter();                              \
    }                                                                               \
    template <class E = Exact>                                                      \
    static void writeExact(DbData& value, const Value& v) {                         \
      static_cast<E&>(value).E::Setter(v);                                          \
    }                                                                               \
  }

TARVEX_DATA_KIND(bool, bool, bool, getBool, setBool, DbDatabaseType::kBoolean);
TARVEX_DATA_KIND(char, char, char, getChar, setChar, DbDatabaseType::kCharacter);
TARVEX_DATA_KIND(short, short, short, getShort, setShort, DbDatabaseType::kShort);
TARVEX_DATA_KIND(std::int32_t, std::int32_t, std::int32_t, getLong, setLong, DbDatabaseType::kLong);
TARVEX_DATA_KIND(float, float, float, getFloat, setFloat, DbDatabaseType::kFloat);
TARVEX_DATA_KIND(double, double, double, getDouble, setDouble, DbDatabaseType::kDouble);
TARVEX_DATA_KIND(EString, EString, const EString&, getString, setString,
                 internal::kStringDatabaseType);
TARVEX_DATA_KIND(EPoint, EPoint, const EPoint&, getPoint, setPoint, DbDatabaseType::kPoint);
TARVEX_DATA_KIND(EPoint3D, EPoint3D, const EPoint3D&, getPoint3D, setPoint3D,
                 DbDatabaseType::kPoint3D);
TARVEX_DATA_KIND(ebas::ETime, ebas::ETime, const ebas::ETime&, getTime, setTime,
                 internal::kTimeDatabaseType);
TARVEX_DATA_KIND(OwnObjectId, DbObjectId, const DbObjectId&, getDbObjectId, setDbObjectId,
                 DbDatabaseType::kObjectId);

#undef TARVEX_DATA_KIND

/// A reference: any of the three reference types; a write sets the whole
/// reference, so no embedded id of an earlier object survives it.
template <>
struct DataKind<DbObjectId> {
  static constexpr bool kSupported = true;
  using Value = DbObjectId;
  using Result = DbObjectId;
  static bool fits(int databaseType) {
    return databaseType == DbDatabaseType::kReference15 ||
           databaseType == DbDatabaseType::kReference16 ||
           databaseType == DbDatabaseType::kReference18;
  }
  using Exact = DbReferenceValue<DbValueBase>;
  static Result read(const DbData& value) { return value.getReference(); }
  static void write(DbData& value, const Value& v) {
    value.setReference(v);
    value.setEmbeddedId(0);
  }
  template <class E = Exact>
  static Result readExact(const DbData& value) {
    return static_cast<const E&>(value).E::getReference();
  }
  template <class E = Exact>
  static void writeExact(DbData& value, const Value& v) {
    static_cast<E&>(value).E::setReference(v);
    static_cast<E&>(value).E::setEmbeddedId(0);
  }
};

/// Whether `T{u}` compiles for a `const U& u`: a conversion without
/// narrowing.
template <class T, class U, class = void>
struct ConvertsInBraces : std::false_type {};
template <class T, class U>
struct ConvertsInBraces<T, U, std::void_t<decltype(T{std::declval<const U&>()})>> : std::true_type {
};

/// Whether a `U` is written into a key of value type `T` without loss: T
/// itself, or a type that converts to it without narrowing. Booleans and
/// characters take only their own type: a pointer or a number is no truth
/// value, a number no character.
template <class T, class U>
constexpr bool writesLosslessly() {
  using V = std::remove_cv_t<U>;
  if constexpr (std::is_same_v<T, V>) {
    return true;
  } else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, char> ||
                       std::is_same_v<V, bool> || std::is_same_v<V, char>) {
    return false;
  } else {
    return ConvertsInBraces<T, U>::value;
  }
}

/// Reports a key used on a value of another kind.
inline void reportKindMismatch(int line) {
  EAssertAndTrace().outputAssertMsgAct(L"VORASSERT (value of the key's kind) failed",
                                       EString(L".\\DbDataKey"), line);
}

/// Reports a write through a key to a meta without a value of its data id:
/// the write is lost.
inline void reportMissingValue(int line) {
  EAssertAndTrace().outputAssertMsgAct(L"VORASSERT (meta with a value of the key's data id) failed",
                                       EString(L".\\DbDataKey"), line);
}

/// Whether `value` is of exactly the kit's class of the kind: the kind then
/// follows from the class, and the accessors need no virtual dispatch.
template <class Kind>
bool isExactKind(const DbData& value) {
  return typeid(value) == typeid(typename Kind::Exact);
}

/// The database type of `value`: for a kit value (derived from
/// DbValueBase) of one of the kit's data-model types (DbValueModelType) the
/// one that type stands for, whatever the type map says, so that a kit
/// value's kind follows from its class; the type map's for any other (an
/// application's value keeps the kind its entry gives).
inline int databaseTypeOf(const DbData& value) {
  const unsigned char modelType = value.getDataModelType();
  const int kitType =
      dynamic_cast<const DbValueBase*>(&value) != nullptr ? kitDatabaseType(modelType) : -1;
  return kitType >= 0 ? kitType : DbDataModel2DataBaseTypeMap::getDatabaseType(modelType);
}

/// Whether `value`, of another class than isExactKind's, is of the kind: a
/// class derived from the kit's, or a value of one of the kind's database
/// types (databaseTypeOf). Reported at `line` when not.
template <class Kind>
bool isOfKind(const DbData& value, int line) {
  if (dynamic_cast<const typename Kind::Exact*>(&value) != nullptr ||
      Kind::fits(databaseTypeOf(value))) {
    return true;
  }
  reportKindMismatch(line);
  return false;
}

/// A shared default object of the kind, for a read that finds no value.
template <class Kind>
const typename Kind::Value& missingValue() {
  static const typename Kind::Value kMissing{};
  return kMissing;
}

}  // namespace internal
/// @endcond

/// The data id of one value together with the kind `T` of that value:
/// bool, char, short, std::int32_t, float, double, EString, EPoint,
/// EPoint3D, ebas::ETime, DbObjectId for a reference (a DbReferenceValue),
/// or OwnObjectId for the object's own id (a DbObjectIdValue). Declared
/// once by the provider,
///
///     constexpr tarvex::DataKey<std::int32_t> kBoltCount{60101};
///
/// it builds the value of its kind (`new tarvex::DbLongValue(kBoltCount)`)
/// and reads and writes through the accessor of its kind. It does not
/// convert to a plain data id (dataId() gives one), so it builds no value
/// of another kind, and a write that could lose information does not
/// compile.
template <class T>
class DataKey {
  static_assert(internal::DataKind<T>::kSupported,
                "DataKey names the kind of a value: bool, char, short, std::int32_t, float, "
                "double, EString, EPoint, EPoint3D, ebas::ETime, DbObjectId or OwnObjectId");

 public:
  /// The kind of the value.
  using Kind = T;
  /// The type of the value: T, or DbObjectId for OwnObjectId.
  using Value = typename internal::DataKind<T>::Value;
  /// What a read gives: the value, or a reference to it for the larger kinds.
  using Result = typename internal::DataKind<T>::Result;

  /// The key of data id `dataId`.
  constexpr explicit DataKey(unsigned short dataId) noexcept : m_DataId(dataId) {}
  /// The data id.
  constexpr unsigned short dataId() const noexcept { return m_DataId; }
  /// Refused: a key is no plain data id, so that it builds no value of
  /// another kind; dataId() gives the id where a plain one is wanted.
  template <class Id, class = std::enable_if_t<std::is_arithmetic_v<Id>>>
  operator Id() const noexcept {  // NOLINT(google-explicit-constructor)
    static_assert(internal::kNever<Id>,
                  "a DataKey is no plain data id: write key.dataId() where one is wanted");
    return Id();
  }

 private:
  unsigned short m_DataId;
};

/// The line of get's report of a key used on a value of another kind.
constexpr int kKeyKindGetLine = 150;
/// The line of tryGet's report of a key used on a value of another kind.
constexpr int kKeyKindTryGetLine = 160;
/// The line of set's report of a key used on a value of another kind.
constexpr int kKeyKindSetLine = 170;

/// The line of set's report of a write to a meta without a value of the
/// key's data id.
constexpr int kKeyMissingSetLine = 180;

/// The value of `key` in `meta`; Value() (for the larger kinds a reference
/// to a shared default object) when the meta has no value of that data id,
/// or, after a report ("VORASSERT (value of the key's kind) failed", file
/// ".\\DbDataKey", line kKeyKindGetLine), when that value is of another kind.
/// The kind of a value of the kit's own class follows from its class; that
/// of any other by its database type.
template <class T>
typename DataKey<T>::Result get(const DbMetaBase& meta, DataKey<T> key) {
  using Kind = internal::DataKind<T>;
  const DbData* value = meta.getData(key.dataId());
  if (value == nullptr) return internal::missingValue<Kind>();
  if (internal::isExactKind<Kind>(*value)) return Kind::readExact(*value);
  if (!internal::isOfKind<Kind>(*value, kKeyKindGetLine)) return internal::missingValue<Kind>();
  return Kind::read(*value);
}

/// The value of `key` in `meta`, or none when the meta has no value of that
/// data id, or (reported as by get, line kKeyKindTryGetLine) when that value
/// is of another kind.
template <class T>
std::optional<typename DataKey<T>::Value> tryGet(const DbMetaBase& meta, DataKey<T> key) {
  using Kind = internal::DataKind<T>;
  const DbData* value = meta.getData(key.dataId());
  if (value == nullptr) return std::nullopt;
  if (internal::isExactKind<Kind>(*value)) {
    return std::optional<typename Kind::Value>(Kind::readExact(*value));
  }
  if (!internal::isOfKind<Kind>(*value, kKeyKindTryGetLine)) return std::nullopt;
  return std::optional<typename Kind::Value>(Kind::read(*value));
}

/// Writes `value` as the value of `key` in `meta`, through the value's
/// setter of the kind (for a reference the whole reference: embedded id 0);
/// the value is valid afterwards. False, nothing written, after a report:
/// when the meta has no value of that data id ("VORASSERT (meta with a value
/// of the key's data id) failed", file ".\\DbDataKey", line
/// kKeyMissingSetLine), or when that value is of another kind (as by get,
/// line kKeyKindSetLine). A value that could lose information on the way to
/// the key's type (a double into an integer key, a number or a pointer into
/// a bool key, a wider integer into a narrower one, a literal 3 into a short
/// key among them) does not compile.
template <class T, class U>
bool set(DbMetaBase& meta, DataKey<T> key, const U& value) {
  using Kind = internal::DataKind<T>;
  static_assert(internal::writesLosslessly<typename Kind::Value, U>(),
                "tarvex::set: the value is not of the key's kind, or would lose information "
                "on the way (DataKey<T> takes a T)");
  DbData* data = meta.getData(key.dataId());
  if (data == nullptr) {
    internal::reportMissingValue(kKeyMissingSetLine);
    return false;
  }
  if (internal::isExactKind<Kind>(*data)) {
    Kind::writeExact(*data, typename Kind::Value(value));
    return true;
  }
  if (!internal::isOfKind<Kind>(*data, kKeyKindSetLine)) return false;
  Kind::write(*data, typename Kind::Value(value));
  return true;
}

}  // namespace tarvex

// The kit's value classes, which the typed accesses above name; included
// last, as they use DataKey themselves.
#include "DbReferenceValue.h"  // NOLINT(misc-header-include-cycle)
#include "DbValue.h"           // NOLINT(misc-header-include-cycle)
