/// @file
/// DataKey: a data id together with the kind of its value, declared once by
/// the provider, and the typed reads and writes through it.
#pragma once

#include <cstdint>
#include <optional>
#include <type_traits>

#include "DbData.h"
#include "DbMetaBase.h"
#include "DbObjectId.h"
#include "EPoint.h"
#include "EString.h"
#include "ETime.h"

namespace tarvex {

/// @cond TARVEX_INTERNAL
namespace internal {

/// The accessor pair of each kind a DataKey may name. `Result` is what a
/// read gives: the value itself for the small kinds, a reference for the
/// others (to a shared default object when the meta lacks the value).
template <class T>
struct DataKind {
  static constexpr bool kSupported = false;
};

#define TARVEX_DATA_KIND(Type, ResultType, Getter, Setter)                  \
  template <>                                                               \
  struct DataKind<Type> {                                                   \
    static constexpr bool kSupported = true;                                \
    using Result = ResultType;                                              \
    static Result read(const DbData& value) { return value.Getter(); }      \
    static bool write(DbMetaBase& meta, unsigned short id, const Type& v) { \
      return meta.Setter(id, v);                                            \
    }                                                                       \
  }

TARVEX_DATA_KIND(bool, bool, getBool, setDataBool);
TARVEX_DATA_KIND(char, char, getChar, setDataChar);
TARVEX_DATA_KIND(short, short, getShort, setDataShort);
TARVEX_DATA_KIND(std::int32_t, std::int32_t, getLong, setDataLong);
TARVEX_DATA_KIND(float, float, getFloat, setDataFloat);
TARVEX_DATA_KIND(double, double, getDouble, setDataDouble);
TARVEX_DATA_KIND(EString, const EString&, getString, setDataString);
TARVEX_DATA_KIND(EPoint, const EPoint&, getPoint, setDataPoint);
TARVEX_DATA_KIND(EPoint3D, const EPoint3D&, getPoint3D, setDataPoint3D);
TARVEX_DATA_KIND(ebas::ETime, const ebas::ETime&, getTime, setDataTime);
TARVEX_DATA_KIND(DbObjectId, DbObjectId, getReference, setDataReference);

#undef TARVEX_DATA_KIND

}  // namespace internal
/// @endcond

/// The data id of one value together with the kind `T` of that value:
/// bool, char, short, std::int32_t, float, double, EString, EPoint,
/// EPoint3D, ebas::ETime, or DbObjectId for a reference (a
/// DbReferenceValue; the object's own id is the meta's getObjectId()).
/// Declared once by the provider,
///
///     constexpr tarvex::DataKey<std::int32_t> kBoltCount{60101};
///
/// it reads and writes through the accessor of its kind, so a value of
/// another kind does not compile, and it converts to the plain data id
/// wherever one is expected (`new tarvex::DbLongValue(kBoltCount)`).
template <class T>
class DataKey {
  static_assert(internal::DataKind<T>::kSupported,
                "DataKey names the kind of a value: bool, char, short, std::int32_t, float, "
                "double, EString, EPoint, EPoint3D, ebas::ETime or DbObjectId");

 public:
  /// The kind of the value.
  using Value = T;
  /// What a read gives: the value, or a reference to it for the larger kinds.
  using Result = typename internal::DataKind<T>::Result;

  /// The key of data id `dataId`.
  constexpr explicit DataKey(unsigned short dataId) noexcept : m_DataId(dataId) {}
  /// The data id.
  constexpr unsigned short dataId() const noexcept { return m_DataId; }
  /// The data id, where a plain one is expected.
  constexpr operator unsigned short() const noexcept { return m_DataId; }  // NOLINT

 private:
  unsigned short m_DataId;
};

/// The value of `key` in `meta`; T() (for the larger kinds a reference to a
/// shared default object) when the meta has no value of that data id.
template <class T>
typename DataKey<T>::Result get(const DbMetaBase& meta, DataKey<T> key) {
  const DbData* value = meta.getData(key.dataId());
  if (value == nullptr) {
    static const T kMissing{};
    return kMissing;
  }
  return internal::DataKind<T>::read(*value);
}

/// The value of `key` in `meta`, or none when the meta has no value of that
/// data id.
template <class T>
std::optional<T> tryGet(const DbMetaBase& meta, DataKey<T> key) {
  const DbData* value = meta.getData(key.dataId());
  if (value == nullptr) return std::nullopt;
  return std::optional<T>(internal::DataKind<T>::read(*value));
}

/// Writes `value` as the value of `key` in `meta` (the meta's typed setter
/// of the kind); false when the meta has no value of that data id. A value
/// that does not convert to the key's kind does not compile.
template <class T, class U>
bool set(DbMetaBase& meta, DataKey<T> key, const U& value) {
  static_assert(std::is_convertible_v<const U&, T>,
                "tarvex::set: the value is not of the key's kind (DataKey<T> takes a T)");
  if constexpr (std::is_same_v<U, T>) {
    return internal::DataKind<T>::write(meta, key.dataId(), value);
  } else {
    return internal::DataKind<T>::write(meta, key.dataId(), T(value));
  }
}

}  // namespace tarvex
