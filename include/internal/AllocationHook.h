// Observer of the library's value and meta allocations, for programs that
// count or fail them (a test of the allocation behaviour). One process-wide
// hook, set while no other thread allocates a value or meta.
#pragma once

#include <cstddef>

#include "TarvexExport.h"

namespace tarvex::internal {

// Called on the allocating thread before each value or meta allocation with
// its size; throwing std::bad_alloc from it fails that allocation.
using ObjectAllocationHook = void (*)(std::size_t size);

// Installs `hook` (null: none) and returns the one it replaces.
TARVEX_EXPORT ObjectAllocationHook setObjectAllocationHook(ObjectAllocationHook hook) noexcept;

}  // namespace tarvex::internal
