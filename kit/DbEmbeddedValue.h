/// @file
/// DbEmbeddedValue: the provider kit's embedded object.
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>

#include "DbMetaBase.h"
#include "DbMetaManager.h"
#include "DbMetaManagerBase.h"
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
        m_pRegistry(registry) {
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
  DbEmbeddedValue(const DbEmbeddedValue&) = delete;
  DbEmbeddedValue& operator=(const DbEmbeddedValue&) = delete;

  /// A working meta of the embedded type from the registry, or null.
  DbMetaBase* getMeta() override {
    if (m_pMeta == nullptr) return nullptr;
    const unsigned short typeId = m_pMeta->getTypeId();
    return m_pRegistry != nullptr ? m_pRegistry->getMeta(typeId)
                                  : DbMetaManager::getInstance()->getMeta(typeId);
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
  /// Resets the embedded object's values (resetValues on its meta).
  void resetValue() override {
    if (m_pMeta != nullptr) resetValues(*m_pMeta);
  }

 private:
  std::unique_ptr<DbMetaBase> m_pMeta;
  const DbMetaManagerBase* m_pRegistry;
};

}  // namespace tarvex
