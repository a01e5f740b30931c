// Observer of the library's allocations, for programs that count or fail
// them (a test of the allocation behaviour). One process-wide hook, set while
// no other thread allocates through the library; the release hook, while none
// frees either.
#pragma once

#include <cstddef>

#include "TarvexExport.h"

namespace tarvex::internal {

enum class AllocationKind {
  // A value or meta (the class-specific operator new).
  kObject,
  // Any other block the library allocates through operator new, and one it
  // allocates through operator new[]. Reported where the library has an
  // operator new of its own: a Windows DLL, whose calls reach no other
  // module's replacement. Elsewhere the process-wide operator new serves the
  // library; a program replaces it to see these.
  kStorage,
  kArray,
  // The storage of per-thread slots (a registry's pools, the count of
  // metas holding a direct array), reported everywhere. Its failure ends
  // the process (CacheAlignedAllocator.h says why).
  kSlots
};

// Called on the allocating thread before each reported allocation; throwing
// std::bad_alloc from it fails that allocation.
using AllocationHook = void (*)(AllocationKind kind, std::size_t size);

// Installs `hook` (null: none) and returns the one it replaces.
TARVEX_EXPORT AllocationHook setAllocationHook(AllocationHook hook) noexcept;

// Called on the freeing thread after each value or meta (kObject) is freed,
// so that a program can count the live ones; must not throw.
using ReleaseHook = void (*)();

// Installs `hook` (null: none) and returns the one it replaces. Every free
// reads the hook without a lock, so it is set while no other thread frees a
// value or meta through the library (destroys a meta, purges a value, lets
// a registry go), not only while none allocates.
TARVEX_EXPORT ReleaseHook setReleaseHook(ReleaseHook hook) noexcept;

}  // namespace tarvex::internal
