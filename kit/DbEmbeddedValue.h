/// @file
/// DbEmbeddedValue: the provider kit's embedded object, and the access to
/// an embedded object through an EmbeddedKey.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "DbDataKey.h"
#include "DbMetaBase.h"
#include "DbMetaManager.h"
#include "DbMetaManagerBase.h"
#include "DbStructureKeys.h"
#include "DbValueBase.h"
#include "EAssertAndTrace.h"
#include "EString.h"

namespace tarvex {

/// An embedded object (database type 13): a part of the owning object,
/// described by a meta of its own type.
///
/// getMetaForEmbeddedObject answers with the value's own meta, which holds
/// the embedded object's values and which the value owns. getMeta borrows
/// a working meta of the embedded type from the registry the value was
/// given (the process-wide one unless another is named), so that type must
/// be registered there before any type embedding it; ungetMeta gives it
/// back.
class DbEmbeddedValue : public DbValueBase {
 public:
  /// The line of the report of a null meta.
  static constexpr int kNullMetaLine = 40;

  /// Takes ownership of `meta`; the embedded type is the meta's type id.
  /// Registration asks `registry` for metas of that type, the process-wide
  /// one when null (REQUIRES: a named registry outlives the value). A null
  /// `meta` is refused at compile time when written as nullptr; one that
  /// is null at run time is reported ("VORASSERT (meta) failed", file
  /// ".\\DbEmbeddedValue", line kNullMetaLine) and leaves the value without
  /// an embedded object: getMeta and getMetaForEmbeddedObject answer null.
  DbEmbeddedValue(unsigned short dataId, std::unique_ptr<DbMetaBase> meta,
                  const DbMetaManagerBase* registry = nullptr)
      : DbValueBase(dataId, DbValueModelType::kEmbeddedObject),
        m_pMeta(std::move(meta)),
        m_pRegistry(registry),
        m_InitialObjectId(m_pMeta != nullptr ? m_pMeta->getObjectId() : DbObjectId()) {
    if (m_pMeta == nullptr) {
      EAssertAndTrace().outputAssertMsgAct(L"VORASSERT (meta) failed",
                                           EString(L".\\DbEmbeddedValue"), kNullMetaLine);
    }
  }
  /// Refuses a null meta where it is written.
  template <class Null, class = std::enable_if_t<std::is_same_v<Null, std::nullptr_t>>>
  DbEmbeddedValue(unsigned short dataId, Null meta, const DbMetaManagerBase* registry = nullptr)
      : DbEmbeddedValue(dataId, std::unique_ptr<DbMetaBase>(meta), registry) {
    static_assert(!std::is_same_v<Null, std::nullptr_t>,
                  "DbEmbeddedValue needs the embedded type's meta: pass "
                  "std::make_unique<YourEmbeddedMeta>(), not nullptr");
  }
  /// As the constructor by data id, for the data id of `key`; `meta` must
  /// be of the key's class (another does not compile).
  template <class Meta, class Given>
  DbEmbeddedValue(EmbeddedKey<Meta> key, std::unique_ptr<Given> meta,
                  const DbMetaManagerBase* registry = nullptr)
      : DbEmbeddedValue(key.dataId(), std::unique_ptr<DbMetaBase>(std::move(meta)), registry) {
    static_assert(std::is_base_of_v<Meta, Given>,
                  "DbEmbeddedValue: the meta is not of the class its EmbeddedKey names");
  }
  /// Refuses a null meta where it is written.
  template <class Meta>
  DbEmbeddedValue(EmbeddedKey<Meta> key, std::nullptr_t /*meta*/,
                  const DbMetaManagerBase* registry = nullptr)
      : DbEmbeddedValue(key.dataId(), std::unique_ptr<DbMetaBase>(), registry) {
    static_assert(!std::is_same_v<Meta, Meta>,
                  "DbEmbeddedValue needs the embedded type's meta: pass "
                  "std::make_unique<YourEmbeddedMeta>(), not nullptr");
  }
  DbEmbeddedValue(const DbEmbeddedValue&) = delete;
  DbEmbeddedValue& operator=(const DbEmbeddedValue&) = delete;

  /// A working meta of the embedded type from the registry, or null. Its
  /// kit values are put back to their construction state (resetValues):
  /// registration announces them as the embedded type's defaults, which an
  /// earlier user of the recycled meta must not have changed.
  DbMetaBase* getMeta() override {
    if (m_pMeta == nullptr) return nullptr;
    const unsigned short typeId = m_pMeta->getTypeId();
    DbMetaBase* meta = m_pRegistry != nullptr ? m_pRegistry->getMeta(typeId)
                                              : DbMetaManager::getInstance()->getMeta(typeId);
    if (meta != nullptr) resetValues(*meta);
    return meta;
  }
  /// Whether the registry the value asks (or, for a local one, the
  /// process-wide one it falls back to) has the embedded type registered;
  /// false without a meta.
  bool embeddedTypeRegistered() const {
    if (m_pMeta == nullptr) return false;
    const unsigned short typeId = m_pMeta->getTypeId();
    return (m_pRegistry != nullptr && m_pRegistry->isMetaRegistered(typeId)) ||
           DbMetaManager::getInstance()->isMetaRegistered(typeId);
  }
  /// Gives back a meta obtained with getMeta; false for null.
  bool ungetMeta(DbMetaBase* meta) override {
    if (meta == nullptr) return false;
    meta->clear();
    return true;
  }
  /// The value's own meta.
  DbMetaBase* getMetaForEmbeddedObject() const override { return m_pMeta.get(); }
  /// What identifies the embedded object: its meta's object id, as
  /// "type/database/number". False, with an empty text, without a meta.
  bool getAsString(EString& out) const override {
    if (m_pMeta == nullptr) {
      out.makeEmpty();
      return false;
    }
    out = internal::toText(m_pMeta->getObjectId());
    return true;
  }
  /// Puts the embedded object back as constructed: its meta's object id
  /// and values (resetValues on its meta).
  void resetValue() override {
    if (m_pMeta == nullptr) return;
    m_pMeta->setObjectId(m_InitialObjectId);
    resetValues(*m_pMeta);
  }

 private:
  std::unique_ptr<DbMetaBase> m_pMeta;
  const DbMetaManagerBase* m_pRegistry;
  DbObjectId m_InitialObjectId;  // the embedded meta's when the value was made
};

/// The meta of the object embedded under `key` in `owner`: the embedded
/// value's own, which lives as long as `owner` holds the value. Null when
/// `owner` has no value of that data id or the value holds no meta. A value
/// that is no embedded object, or whose meta is not a `Meta`, is reported
/// ("VORASSERT (value of the key's kind) failed", file ".\\DbStructureKeys",
/// line kStructureKeyKindLine) and answers null.
template <class Meta>
Meta* embedded(const DbMetaBase& owner, EmbeddedKey<Meta> key) {
  const DbData* value = owner.getData(key.dataId());
  if (value == nullptr) return nullptr;
  DbMetaBase* meta = value->getMetaForEmbeddedObject();
  if (meta == nullptr) {
    // Only embedded objects answer with a meta; a kit value without one
    // was reported when it was made.
    if (dynamic_cast<const DbEmbeddedValue*>(value) == nullptr &&
        value->getDatabaseType() != DbDatabaseType::kEmbeddedObject) {
      internal::reportStructureKeyKind();
    }
    return nullptr;
  }
  if constexpr (std::is_same_v<Meta, DbMetaBase>) {
    return meta;
  } else {
    auto* typed = dynamic_cast<Meta*>(meta);
    if (typed == nullptr) internal::reportStructureKeyKind();
    return typed;
  }
}

/// The value of `key` in the object embedded under `where` in `owner`, as
/// tarvex::get on the embedded meta; without an embedded meta Value() (for
/// the larger kinds a reference to a shared default object).
template <class Meta, class T>
typename DataKey<T>::Result get(const DbMetaBase& owner, EmbeddedKey<Meta> where, DataKey<T> key) {
  const Meta* meta = embedded(owner, where);
  if (meta == nullptr) return internal::missingValue<internal::DataKind<T>>();
  return tarvex::get(*meta, key);
}

/// The value of `key` in the object embedded under `where` in `owner`, as
/// tarvex::tryGet on the embedded meta; none without an embedded meta.
template <class Meta, class T>
std::optional<typename DataKey<T>::Value> tryGet(const DbMetaBase& owner, EmbeddedKey<Meta> where,
                                                 DataKey<T> key) {
  const Meta* meta = embedded(owner, where);
  if (meta == nullptr) return std::nullopt;
  return tarvex::tryGet(*meta, key);
}

/// Writes `value` as the value of `key` in the object embedded under
/// `where` in `owner`, as tarvex::set on the embedded meta; the embedded
/// object's value in `owner` is valid afterwards too. False without an
/// embedded meta, after a report when `owner` has no value of that data id
/// (as tarvex::set's, line kKeyMissingSetLine).
template <class Meta, class T, class U>
bool set(DbMetaBase& owner, EmbeddedKey<Meta> where, DataKey<T> key, const U& value) {
  Meta* meta = embedded(owner, where);
  if (meta == nullptr) {
    if (owner.getData(where.dataId()) == nullptr) internal::reportMissingValue(kKeyMissingSetLine);
    return false;
  }
  if (!tarvex::set(*meta, key, value)) return false;
  owner.getData(where.dataId())->switchBitOn(DbData::kValidFlag);
  return true;
}

}  // namespace tarvex
