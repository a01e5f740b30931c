/// CacheAlignedAllocator: a standard allocator whose blocks start on a cache
/// line (128 bytes, the padding enumerable_thread_specific gives each slot),
/// taken from the global aligned operator new.
///
/// The registry's per-thread slots use it instead of TBB's own cache-aligned
/// allocator, which draws on the scalable allocator's pools when that library
/// is loaded: there, a block one thread frees and another reuses is invisible
/// to the sanitizers, which then mistake the reuse for a race or miss a real
/// one. Slot storage is allocated once per growth of the slot table, so the
/// allocator's speed does not matter.
#pragma once

#include <cstddef>
#include <new>

namespace tarvex::internal {

template <typename T>
class CacheAlignedAllocator {
 public:
  using value_type = T;
  static constexpr std::size_t kAlignment = 128;

  CacheAlignedAllocator() noexcept = default;
  template <typename U>
  CacheAlignedAllocator(const CacheAlignedAllocator<U>&) noexcept {}  // NOLINT: rebinding

  T* allocate(std::size_t count) {
    return static_cast<T*>(::operator new (count * sizeof(T), std::align_val_t{kAlignment}));
  }
  void deallocate(T* pointer, std::size_t /*count*/) noexcept {
    ::operator delete (pointer, std::align_val_t{kAlignment});
  }

  template <typename U>
  bool operator==(const CacheAlignedAllocator<U>&) const noexcept {
    return true;
  }
  template <typename U>
  bool operator!=(const CacheAlignedAllocator<U>&) const noexcept {
    return false;
  }
};

}  // namespace tarvex::internal
