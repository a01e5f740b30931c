/// @file
/// DbBorrowedMeta: a working meta borrowed from a registry for one scope.
#pragma once

#include <type_traits>

#include "DbMetaBase.h"
#include "DbMetaManager.h"
#include "DbMetaManagerBase.h"

namespace tarvex {

/// Holds a free working meta from a registry and gives it back with clear()
/// when the handle goes out of scope, is given back early (giveBack()) or
/// is assigned another meta; a meta is never given back twice. Moving
/// passes the meta on and leaves the source empty.
///
/// The handle follows the borrowing rule of the registry: use it, and give
/// it back, on the thread that obtained it, before the registry's teardown.
/// It adds nothing to the request cycle but one pointer test.
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
  /// own class, so a DbMetaManager is asked without virtual dispatch.
  template <class Registry,
            class = std::enable_if_t<std::is_base_of_v<DbMetaManagerBase, Registry>>>
  DbBorrowedMeta(const Registry& registry, unsigned short typeId, DMMemberBase* object = nullptr,
                 unsigned short mode = 0)
      : m_pMeta(registry.getMeta(typeId)) {
    if (m_pMeta != nullptr && object != nullptr) m_pMeta->setObject(object, mode);
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

  /// The meta, or null.
  DbMetaBase* get() const noexcept { return m_pMeta; }
  /// The meta. REQUIRES: the handle is not empty.
  DbMetaBase* operator->() const noexcept { return m_pMeta; }
  /// The meta. REQUIRES: the handle is not empty.
  DbMetaBase& operator*() const noexcept { return *m_pMeta; }
  /// Whether the handle holds a meta.
  explicit operator bool() const noexcept { return m_pMeta != nullptr; }

 private:
  DbMetaBase* m_pMeta = nullptr;
};

}  // namespace tarvex
