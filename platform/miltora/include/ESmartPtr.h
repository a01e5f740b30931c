/// @class ESmartPtr
/// Shared-ownership pointer with a virtual destructor.
///
/// Same semantics as boost::shared_ptr (atomic reference count); the virtual
/// destructor lets holders be handled polymorphically.
#pragma once

#include <boost/shared_ptr.hpp>

template <typename T>
class ESmartPtr : public boost::shared_ptr<T> {
 public:
  ESmartPtr() = default;
  /// Takes ownership of `owned` (may be null).
  explicit ESmartPtr(T* owned) : boost::shared_ptr<T>(owned) {}
  ///@{
  /// Shares or hands over ownership as boost::shared_ptr does.
  ESmartPtr(const ESmartPtr&) = default;
  ESmartPtr(ESmartPtr&&) noexcept = default;
  ESmartPtr& operator=(const ESmartPtr&) = default;
  ESmartPtr& operator=(ESmartPtr&&) noexcept = default;
  ///@}
  virtual ~ESmartPtr() = default;
};
