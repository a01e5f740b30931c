// Allocation of single values and metas. The one place that chooses the
// allocator: TBB's scalable allocator, or std::malloc in sanitizer builds,
// where the tools cannot see into the scalable allocator's pools. Both kinds
// of allocation pass the allocation hook (internal/AllocationHook.h).
#pragma once

#include <cstddef>

namespace tarvex::internal {

// Never returns null: failure throws std::bad_alloc, so a constructor never
// runs on a null object.
void* allocateObject(std::size_t size);
void freeObject(void* pointer) noexcept;

// Ends the process with the slot-memory report if `slot` lies in a segment
// allocateSlotSegment took from its reserve. Every place where the library
// finds a thread's slot new calls it before using the slot.
void endIfSlotIsReserve(const void* slot) noexcept;

// The library's operator new where it has one of its own (a Windows DLL,
// ModuleAllocation.cpp; defined there only, declared everywhere so that
// every build checks the callers):
// std::malloc, as the standard library's operator new uses, so a block may
// be freed by another module's operator delete. Throws std::bad_alloc.
void* allocateStorage(std::size_t size, bool array);
void freeStorage(void* pointer) noexcept;

}  // namespace tarvex::internal
