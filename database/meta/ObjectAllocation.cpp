#include "ObjectAllocation.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#include "Reporting.h"
#include "internal/AllocationHook.h"
#include "internal/CacheAlignedAllocator.h"

#ifndef TARVEX_SYSTEM_ALLOCATOR
#include <tbb/scalable_allocator.h>
#endif

namespace tarvex::internal {

namespace {
AllocationHook s_pAllocationHook = nullptr;
ReleaseHook s_pReleaseHook = nullptr;

// A cache line, the padding enumerable_thread_specific gives each slot.
constexpr std::align_val_t kSlotAlignment{128};
constexpr ReportSite kNoSlotStorage{files::kDbMetaManagerBase, 150};
}  // namespace

AllocationHook setAllocationHook(AllocationHook hook) noexcept {
  const AllocationHook previous = s_pAllocationHook;
  s_pAllocationHook = hook;
  return previous;
}

ReleaseHook setReleaseHook(ReleaseHook hook) noexcept {
  const ReleaseHook previous = s_pReleaseHook;
  s_pReleaseHook = hook;
  return previous;
}

void* allocateObject(std::size_t size) {
  if (s_pAllocationHook != nullptr) s_pAllocationHook(AllocationKind::kObject, size);
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
  if (s_pReleaseHook != nullptr) s_pReleaseHook();
}

namespace {
// GCOVR_EXCL_START: run only by a death test, whose process ends before its
// counters are written
[[noreturn]] void endForWantOfSlotStorage() noexcept {
  try {
    reportAssert(texts::kNoSlotStorage, kNoSlotStorage);
  } catch (...) {  // NOLINT(bugprone-empty-catch): the process ends either way
  }
  std::abort();
}
// GCOVR_EXCL_STOP
}  // namespace

namespace {
void* tryAllocateSlotStorage(std::size_t bytes) noexcept {
  void* block = nullptr;
  try {
    if (s_pAllocationHook != nullptr) s_pAllocationHook(AllocationKind::kSlots, bytes);
    block = ::operator new(bytes, kSlotAlignment, std::nothrow);
  } catch (...) {  // NOLINT(bugprone-empty-catch) GCOVR_EXCL_LINE: a failure, as null is
  }
  return block;
}

// A segment for the slot table when memory has run out. The report cannot
// be made while the table waits for the segment: a trace sink asking the
// registry would wait with it for ever. Only touched on the way to the end
// of the process.
alignas(128) unsigned char s_SlotReserve[256 * 1024];

bool isInSlotReserve(const void* pointer) noexcept {
  const auto address = reinterpret_cast<std::uintptr_t>(pointer);
  const auto start = reinterpret_cast<std::uintptr_t>(s_SlotReserve);
  return address - start < sizeof s_SlotReserve;  // below the start wraps round
}
}  // namespace

void* allocateSlotStorage(std::size_t bytes) noexcept {
  void* block = tryAllocateSlotStorage(bytes);
  if (block == nullptr) endForWantOfSlotStorage();  // GCOVR_EXCL_BR_LINE: death tests only
  return block;
}

void* allocateSlotSegment(std::size_t bytes) noexcept {
  void* block = tryAllocateSlotStorage(bytes);
  // GCOVR_EXCL_START: run only by death tests, as endForWantOfSlotStorage
  if (block == nullptr) {
    if (bytes > sizeof s_SlotReserve) endForWantOfSlotStorage();
    block = s_SlotReserve;
  }
  // GCOVR_EXCL_STOP
  return block;
}

void endIfSlotIsReserve(const void* slot) noexcept {
  if (isInSlotReserve(slot)) endForWantOfSlotStorage();  // GCOVR_EXCL_BR_LINE: death tests only
}

void freeSlotStorage(void* block) noexcept {
  // The reserve is never freed: the process ends before its table goes.
  if (isInSlotReserve(block)) return;  // GCOVR_EXCL_BR_LINE: the process never gets here
  ::operator delete(block, kSlotAlignment);
}

#ifdef _WIN32
void* allocateStorage(std::size_t size, bool array) {
  if (s_pAllocationHook != nullptr) {
    s_pAllocationHook(array ? AllocationKind::kArray : AllocationKind::kStorage, size);
  }
  if (void* pointer = std::malloc(size == 0 ? 1 : size)) return pointer;
  throw std::bad_alloc();
}

void freeStorage(void* pointer) noexcept { std::free(pointer); }
#endif

}  // namespace tarvex::internal
