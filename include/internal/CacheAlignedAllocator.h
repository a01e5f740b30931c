/// CacheAlignedAllocator: a standard allocator whose blocks start on a cache
/// line (128 bytes, the padding enumerable_thread_specific gives each slot),
/// taken from the global aligned operator new.
///
/// The registry's per-thread slots, and the per-thread count of metas
/// holding a direct array, use it instead of TBB's own cache-aligned
/// allocator, which draws on the scalable allocator's pools when that library
/// is loaded: there, a block one thread frees and another reuses is invisible
/// to the sanitizers, which then mistake the reuse for a race or miss a real
/// one. Slot storage is allocated once per growth of the slot table, so the
/// allocator's speed does not matter.
///
/// A failed allocation ends the process, after a report: the slot table
/// marks a segment whose allocation failed as failed for the table's life,
/// so every later call of a thread whose slot lies there would throw, and
/// destroying the table would touch the marked segment. No later call can
/// succeed and no teardown can be clean, so none is attempted.
#pragma once

#include <cstddef>

#include "TarvexExport.h"

namespace tarvex::internal {

/// `bytes` on a cache line, from the global aligned operator new; reports
/// and ends the process when there is no memory. Never returns null.
TARVEX_EXPORT void* allocateSlotStorage(std::size_t bytes) noexcept;
/// allocateSlotStorage for a segment of slots. When there is no memory, a
/// segment of up to 256 KiB (2048 slots) is taken from a reserve instead,
/// and the process ends with its report when the library first meets a slot
/// there: the slot table is whole again by then, so a trace sink that asks
/// the registry for a meta meanwhile is answered or ends the process too,
/// instead of waiting for the segment for ever.
TARVEX_EXPORT void* allocateSlotSegment(std::size_t bytes) noexcept;
/// Frees a block of allocateSlotStorage or allocateSlotSegment.
TARVEX_EXPORT void freeSlotStorage(void* block) noexcept;

template <typename T>
class CacheAlignedAllocator {
 public:
  using value_type = T;

  CacheAlignedAllocator() noexcept = default;
  template <typename U>
  CacheAlignedAllocator(const CacheAlignedAllocator<U>&) noexcept {}  // NOLINT: rebinding

  T* allocate(std::size_t count) {
    // Slots are padded to whole cache lines; the slot table's other blocks
    // (its index and segment table) are not.
    if constexpr (sizeof(T) % 128 == 0) {
      return static_cast<T*>(allocateSlotSegment(count * sizeof(T)));
    } else {
      return static_cast<T*>(allocateSlotStorage(count * sizeof(T)));
    }
  }
  void deallocate(T* pointer, std::size_t /*count*/) noexcept { freeSlotStorage(pointer); }

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
