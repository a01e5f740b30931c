// Allocation of single values and metas. The one place that chooses the
// allocator: TBB's scalable allocator, or std::malloc in sanitizer builds,
// where the tools cannot see into the scalable allocator's pools.
#pragma once

#include <cstddef>

namespace tarvex::internal {

// Never returns null: failure throws std::bad_alloc, so a constructor never
// runs on a null object.
void* allocateObject(std::size_t size);
void freeObject(void* pointer) noexcept;

}  // namespace tarvex::internal
