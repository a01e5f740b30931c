/// @class AfInterfaceSmartPtr
/// Holder of one created interface instance.
///
/// A shared instance (isSharedInstance() true) is held as a plain pointer and
/// never deleted; any other is owned through an ESmartPtr and deleted when
/// the last holder goes.
#pragma once

#include "ESmartPtr.h"

template <typename T>
class AfInterfaceSmartPtr {
 public:
  AfInterfaceSmartPtr() = default;
  /// Takes `instance` (may be null): shared ones are borrowed, others owned.
  explicit AfInterfaceSmartPtr(T* instance) { reset(instance); }

  /// Lets go of the held instance, then holds `instance` as the constructor does.
  void reset(T* instance = nullptr) {
    m_Owned = ESmartPtr<T>();
    m_pShared = nullptr;
    if (instance == nullptr) return;
    if (instance->isSharedInstance()) {
      m_pShared = instance;
    } else {
      m_Owned = ESmartPtr<T>(instance);
    }
  }

  /// The held instance, or null.
  T* get() const { return m_pShared != nullptr ? m_pShared : m_Owned.get(); }
  /// The held instance. REQUIRES: one is held.
  T* operator->() const { return get(); }
  /// Whether an instance is held.
  explicit operator bool() const { return get() != nullptr; }
  /// Whether the held instance is shared (borrowed, never deleted).
  bool isShared() const { return m_pShared != nullptr; }

 private:
  T* m_pShared = nullptr;
  ESmartPtr<T> m_Owned;
};
