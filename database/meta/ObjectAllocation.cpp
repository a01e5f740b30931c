#include "ObjectAllocation.h"

#include <cstdlib>
#include <new>

#ifndef TARVEX_SYSTEM_ALLOCATOR
#include <tbb/scalable_allocator.h>
#endif

namespace tarvex::internal {

void* allocateObject(std::size_t size) {
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
