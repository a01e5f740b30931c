/// @file
/// DbBorrowedMeta: a working meta borrowed from a registry for one scope.
#pragma once

#include <optional>
#include <type_traits>

#include "DbDataKey.h"
#include "DbMetaBase.h"
#include "DbMetaManager.h"
#include "DbMetaManagerBase.h"
#include "DbValueBase.h"

namespace tarvex {

/// Holds a free working meta from a registry and gives it back with clear()
/// when the handle goes out of scope, is given back early (giveBack()) or
/// is assigned another meta; a meta is never given back twice. Moving
/// passes the meta on and leaves the source empty.
///
/// The meta is the handle's own until it is given back, bound to an object
/// or not: a handle made without an object marks its meta in use all the
/// same (through the base's setObject body, so the concrete class binds
/// nothing), and the registry hands it to no one else. Bind it later with
/// bind(), or use it unbound to describe the type.
///
/// A borrowed meta still carries the values of the object it held last;
/// resetValues() puts the kit's values back to their construction defaults
/// for a caller that does not fill every value itself.
///
/// The handle follows the borrowing rule of the registry: use it, and give
/// it back, on the thread that obtained it, before the registry's teardown.
/// It adds nothing to the request cycle but a pointer test and a test of
/// the in-use flag.
class DbBorrowedMeta {
 public:
  /// An empty handle.
  DbBorrowedMeta() noexcept = default;
  /// A meta of `typeId` from the process-wide registry, bound to `object`
  /// (with `mode`) unless `object` is null. Empty if the type is not
  /// registered (no report).
  explicit DbBorrowedMeta(unsigned short typeId, DMMemberBase* object = nullptr,
                          unsigned short mode = 0)
      : DbBorrowedMeta(*DbMetaManager::getInstance(), typeId, object, mode) {}
  /// The same, from `registry` (a local one falls back to the process-wide
  /// one as DbMetaManagerBase::getMeta does). Asks through the registry's
  /// own class, so a DbMetaManager is asked without virtual dispatch. The
  /// registry must outlive the handle: a temporary one does not compile.
  /// When binding throws, the meta is given back and the exception passes.
  template <class Registry,
            class = std::enable_if_t<std::is_base_of_v<
                DbMetaManagerBase, std::remove_cv_t<std::remove_reference_t<Registry>>>>>
  DbBorrowedMeta(Registry&& registry, unsigned short typeId, DMMemberBase* object = nullptr,
                 unsigned short mode = 0)
      : m_pMeta(registry.getMeta(typeId)) {
    static_assert(std::is_lvalue_reference_v<Registry>,
                  "DbBorrowedMeta borrows from a registry that must outlive it: "
                  "pass a named registry, not a temporary");
    if (m_pMeta == nullptr) return;
    if (object == nullptr) {
      reserve(*m_pMeta);
      return;
    }
    bindOrGiveBack(object, mode);
  }
  DbBorrowedMeta(const DbBorrowedMeta&) = delete;
  DbBorrowedMeta& operator=(const DbBorrowedMeta&) = delete;
  /// Takes over `other`'s meta; `other` is left empty.
  DbBorrowedMeta(DbBorrowedMeta&& other) noexcept : m_pMeta(other.m_pMeta) {
    other.m_pMeta = nullptr;
  }
  /// Gives back the meta held, then takes over `other`'s.
  DbBorrowedMeta& operator=(DbBorrowedMeta&& other) noexcept {
    if (this != &other) {
      giveBack();
      m_pMeta = other.m_pMeta;
      other.m_pMeta = nullptr;
    }
    return *this;
  }
  /// Gives the meta back, if any.
  ~DbBorrowedMeta() { giveBack(); }

  /// Gives the meta back now (clear()); the handle is empty afterwards.
  /// Nothing happens on an empty handle.
  void giveBack() noexcept {
    if (m_pMeta == nullptr) return;
    DbMetaBase* meta = m_pMeta;
    m_pMeta = nullptr;
    meta->clear();
  }

  /// Binds `object` to the meta held, as setObject does (which reports a
  /// null object); false on an empty handle. A refused object leaves the
  /// meta held; when binding throws, the meta is given back and the
  /// exception passes.
  bool bind(DMMemberBase* object, unsigned short mode = 0) {
    return m_pMeta != nullptr && bindOrGiveBack(object, mode);
  }

  /// Puts every kit value of the meta back to its construction default
  /// (containers empty, embedded objects' values reset too); values of
  /// other classes stay as they are. Nothing happens on an empty handle.
  void resetValues() const {
    if (m_pMeta != nullptr) tarvex::resetValues(*m_pMeta);
  }

  ///@{
  /// Typed access through `key`, as the free get, tryGet and set.
  /// REQUIRES: the handle is not empty.
  template <class T>
  typename DataKey<T>::Result get(DataKey<T> key) const {
    return tarvex::get(*m_pMeta, key);
  }
  template <class T>
  std::optional<T> tryGet(DataKey<T> key) const {
    return tarvex::tryGet(*m_pMeta, key);
  }
  template <class T, class U>
  bool set(DataKey<T> key, const U& value) const {
    return tarvex::set(*m_pMeta, key, value);
  }
  ///@}

  /// The meta, or null.
  DbMetaBase* get() const noexcept { return m_pMeta; }
  /// The meta. REQUIRES: the handle is not empty.
  DbMetaBase* operator->() const noexcept { return m_pMeta; }
  /// The meta. REQUIRES: the handle is not empty.
  DbMetaBase& operator*() const noexcept { return *m_pMeta; }
  /// Whether the handle holds a meta.
  explicit operator bool() const noexcept { return m_pMeta != nullptr; }

 private:
  // Marks `meta` in use without binding an object: the base body only tests
  // the pointer, and the concrete class's setObject is not called.
  static void reserve(DbMetaBase& meta) {
    static char marker;
    meta.DbMetaBase::setObject(reinterpret_cast<DMMemberBase*>(&marker), 0);
  }
  // Binds; a meta whose binding refused the object stays held all the same.
  bool bindOrGiveBack(DMMemberBase* object, unsigned short mode) {
    bool bound = false;
    try {
      bound = m_pMeta->setObject(object, mode);
    } catch (...) {
      giveBack();
      throw;
    }
    if (!m_pMeta->inUse()) reserve(*m_pMeta);
    return bound;
  }

  DbMetaBase* m_pMeta = nullptr;
};
}  // namespace tarvex
