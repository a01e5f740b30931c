// Windows only: the DLL's own operator new and delete. A DLL's calls reach
// no other module's replacement of them, so this is where the library's
// allocations pass its allocation hook. They use std::malloc and std::free,
// as the standard library's do, so blocks cross module boundaries either way.
#include <new>

#include "ObjectAllocation.h"

using tarvex::internal::allocateStorage;
using tarvex::internal::freeStorage;

void* operator new(std::size_t size) { return allocateStorage(size, false); }
void* operator new[](std::size_t size) { return allocateStorage(size, true); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocateStorage(size, false);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocateStorage(size, true);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* pointer) noexcept { freeStorage(pointer); }
void operator delete[](void* pointer) noexcept { freeStorage(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { freeStorage(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { freeStorage(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { freeStorage(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { freeStorage(pointer); }
