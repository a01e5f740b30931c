/// @file
/// EmbeddedKey and ContainerKey: typed keys for an embedded object and for
/// a container of references. What they reach is declared with their
/// values: tarvex::embedded and the get, tryGet and set through an embedded
/// object in DbEmbeddedValue.h; the walk over a container's references, and
/// adding, removing and counting them, in DbReferenceContainerValue.h.
#pragma once

#include <type_traits>

#include "DbMetaBase.h"
#include "EAssertAndTrace.h"
#include "EString.h"

namespace tarvex {

/// The line of the report of a value that is not of its key's kind.
inline constexpr int kStructureKeyKindLine = 60;

/// @cond TARVEX_INTERNAL
namespace internal {

template <class>
inline constexpr bool kNoPlainDataId = false;

// A structure key converts to no number: the conversion exists only to
// stop where one is attempted, with a message (a value class built from
// it, an id where a data id is expected).
#define TARVEX_NO_PLAIN_DATA_ID(Key)                                                      \
  template <class Number, class = std::enable_if_t<std::is_arithmetic_v<Number>>>         \
  operator Number() const noexcept { /* NOLINT(google-explicit-constructor) */            \
    static_assert(internal::kNoPlainDataId<Number>, #Key                                  \
                  " is no plain data id: build its value with the key (DbEmbeddedValue, " \
                  "DbReferenceContainerValue) or pass key.dataId()");                     \
    return Number();                                                                      \
  }

inline void reportStructureKeyKind() {
  EAssertAndTrace().outputAssertMsgAct(L"VORASSERT (value of the key's kind) failed",
                                       EString(L".\\DbStructureKeys"), kStructureKeyKindLine);
}

}  // namespace internal
/// @endcond

/// The data id of an embedded object whose meta is of class `Meta`
/// (DbMetaBase when any meta will do). Builds its DbEmbeddedValue, which
/// then takes only a `Meta`, and reaches the embedded meta through
/// tarvex::embedded, or one value in it through get, tryGet and set with a
/// DataKey of the embedded type:
///
///     constexpr tarvex::EmbeddedKey<PlacementMeta> kPlacement{60124};
///     tarvex::set(frame, kPlacement, kAngle, 90.0);
template <class Meta = DbMetaBase>
class EmbeddedKey {
  static_assert(std::is_base_of_v<DbMetaBase, Meta>,
                "EmbeddedKey names the embedded type's meta class (derived from DbMetaBase)");

 public:
  /// The class of the embedded meta.
  using EmbeddedMeta = Meta;
  /// The key of data id `dataId`.
  constexpr explicit EmbeddedKey(unsigned short dataId) noexcept : m_DataId(dataId) {}
  /// The data id.
  constexpr unsigned short dataId() const noexcept { return m_DataId; }
  /// @cond TARVEX_INTERNAL
  TARVEX_NO_PLAIN_DATA_ID(EmbeddedKey)
  /// @endcond

 private:
  unsigned short m_DataId;
};

/// The data id of a container of references (a DbReferenceContainerValue).
/// Builds its value, and adds, removes, counts and walks its references:
///
///     constexpr tarvex::ContainerKey kBolts{60125};
///     tarvex::addReference(frame, kBolts, DbObjectId(46, 1, 7));
///     for (const DbObjectId& bolt : tarvex::references(frame, kBolts)) ...
class ContainerKey {
 public:
  /// The key of data id `dataId`.
  constexpr explicit ContainerKey(unsigned short dataId) noexcept : m_DataId(dataId) {}
  /// The data id.
  constexpr unsigned short dataId() const noexcept { return m_DataId; }
  /// @cond TARVEX_INTERNAL
  TARVEX_NO_PLAIN_DATA_ID(ContainerKey)
  /// @endcond

 private:
  unsigned short m_DataId;
};

#undef TARVEX_NO_PLAIN_DATA_ID

}  // namespace tarvex
