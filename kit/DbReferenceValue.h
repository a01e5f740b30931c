/// @file
/// DbReferenceValue: the provider kit's reference to another object.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "DbDataKey.h"
#include "DbObjectId.h"
#include "DbValueBase.h"

namespace tarvex {

/// The stored reference of DbReferenceValue. On the kit's own base it also
/// keeps the construction reference for resetValue() and writes the
/// reference as text for getAsString ("type/database/number", followed by
/// "#" and the embedded id when that is not 0); on a provider's other base
/// both stay that base's.
template <class Base, bool kOnKitBase = std::is_base_of_v<DbValueBase, Base>>
class DbReferenceStorage : public internal::ValidByFlag<Base> {
 protected:
  /// A reference of `dataId` to `reference`.
  DbReferenceStorage(unsigned short dataId, const DbObjectId& reference,
                     unsigned char dataModelType)
      : internal::ValidByFlag<Base>(dataId, dataModelType), m_Reference(reference) {}

  DbObjectId m_Reference;         ///< The referenced object.
  std::int32_t m_EmbeddedId = 0;  ///< The embedded object within it.
};

/// @copydoc DbReferenceStorage
template <class Base>
class DbReferenceStorage<Base, true> : public DbReferenceStorage<Base, false> {
 public:
  /// The reference as text. Always true.
  bool getAsString(EString& out) const override {
    out = internal::toText(this->m_Reference);
    if (this->m_EmbeddedId != 0) out += L"#" + std::to_wstring(this->m_EmbeddedId);
    return true;
  }
  /// Back to the construction reference and embedded id 0.
  void resetValue() override {
    this->m_Reference = m_Initial;
    this->m_EmbeddedId = 0;
  }

 protected:
  /// As the primary template, remembering `reference`.
  DbReferenceStorage(unsigned short dataId, const DbObjectId& reference,
                     unsigned char dataModelType)
      : DbReferenceStorage<Base, false>(dataId, reference, dataModelType), m_Initial(reference) {}

 private:
  DbObjectId m_Initial;
};

/// A reference to another object, and optionally to an object embedded in
/// it. The data-model type picks the kind of reference (database type 15,
/// 16 or 18); the meta operations treat all three alike.
/// `Base` as for DbValue.
template <class Base = DbValueBase>
class DbReferenceValue : public DbReferenceStorage<Base> {
 public:
  /// A reference of data id `dataId` to `reference`.
  explicit DbReferenceValue(unsigned short dataId, const DbObjectId& reference = DbObjectId(),
                            unsigned char dataModelType = DbValueModelType::kReference15)
      : DbReferenceStorage<Base>(dataId, reference, dataModelType) {}
  /// The same for the data id of `key`, a reference key; a key of another
  /// kind does not compile.
  explicit DbReferenceValue(DataKey<DbObjectId> key, const DbObjectId& reference = DbObjectId(),
                            unsigned char dataModelType = DbValueModelType::kReference15)
      : DbReferenceStorage<Base>(key.dataId(), reference, dataModelType) {}
  /// Refused: a key of another kind.
  template <class Other, class... Rest,
            class = std::enable_if_t<!std::is_same_v<Other, DbObjectId>>>
  explicit DbReferenceValue(DataKey<Other> /*key*/, const Rest&... /*rest*/)
      : DbReferenceStorage<Base>(0, DbObjectId(), DbValueModelType::kReference15) {
    static_assert(internal::kNever<Other>,
                  "a DataKey builds only a value of its own kind (OwnObjectId for "
                  "DbObjectIdValue, DbObjectId for DbReferenceValue)");
  }

  /// The referenced object.
  DbObjectId getReference() const override { return this->m_Reference; }
  /// Refers to `reference`; the embedded id stays. The value is valid
  /// afterwards.
  void setReference(const DbObjectId& reference) override {
    this->m_Reference = reference;
    this->switchBitOn(DbData::kValidFlag);
  }
  /// The embedded object within the referenced one; 0 for the object itself.
  std::int32_t getEmbeddedId() const override { return this->m_EmbeddedId; }
  /// Sets the embedded id. The value is valid afterwards.
  void setEmbeddedId(const std::int32_t& embeddedId) override {
    this->m_EmbeddedId = embeddedId;
    this->switchBitOn(DbData::kValidFlag);
  }
};

}  // namespace tarvex
