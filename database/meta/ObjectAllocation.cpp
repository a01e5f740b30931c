#include "ObjectAllocation.h"

#include "internal/AllocationHook.h"

#include <cstdlib>
#include <new>

#ifndef TARVEX_SYSTEM_ALLOCATOR
#include <tbb/scalable_allocator.h>
#endif

namespace tarvex::internal {

namespace {
ObjectAllocationHook s_pObjectAllocationHook = nullptr;
}  // namespace

ObjectAllocationHook setObjectAllocationHook(ObjectAllocationHook hook) noexcept {
  const ObjectAllocationHook previous = s_pObjectAllocationHook;
  s_pObjectAllocationHook = hook;
  return previous;
}

void* allocateObject(std::size_t size) {
  if (s_pObjectAllocationHook != nullptr) s_pObjectAllocationHook(size);
#ifdef TARVEX_SYSTEM_ALLOCATOR
  void* pointer = std::malloc(size);
#else
  void* pointer = scalable_malloc(size);
#endif
  if (pointer == nullptr) throw std::bad_alloc();
  return pointer;
}

void freeObject(void* pointer) noexcept {
#ifdef TARVEX_SYSTEM_ALLOCATOR
  std::free(pointer);
#else
  scalable_free(pointer);
#endif
}

}  // namespace tarvex::internal
