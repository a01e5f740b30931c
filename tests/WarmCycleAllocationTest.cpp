// The warm request cycle getMeta -> setObject -> clear() must not allocate:
// once a thread's pool holds a free meta of the type, handing it out and
// taking it back touches no allocator. Counted here by replacing the global
// operator new, by the library's hook of value and meta allocations, by
// interposing the scalable allocator's entry point and, in AddressSanitizer
// builds (where metas live on std::malloc), by the sanitizer's allocation
// hook. Only the calling thread is counted, only inside a counting window. A
// Windows program can neither interpose a DLL's entry point nor replace the
// operator new the DLLs call: there the library's hook and the allocations
// of the inline request path in this program are what is counted.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "DbMetaManager.h"
#include "TestMetas.h"
#include "TestValues.h"
#include "internal/AllocationHook.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime; its header is not installed everywhere.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             std::size_t),
                                                         void (*free_hook)(const volatile void*));
#endif

namespace {

thread_local bool t_bCounting = false;
thread_local std::size_t t_Allocations = 0;

void noteAllocation() {
  if (t_bCounting) ++t_Allocations;
}

// Allocations made by `work` on the calling thread.
template <typename Work>
std::size_t allocationsOf(Work work) {
  t_Allocations = 0;
  t_bCounting = true;
  work();
  t_bCounting = false;
  return t_Allocations;
}

void* allocate(std::size_t size) {
  noteAllocation();
  if (void* pointer = std::malloc(size == 0 ? 1 : size)) return pointer;
  throw std::bad_alloc();
}

#if defined(__SANITIZE_ADDRESS__)
void countMalloc(const volatile void*, std::size_t) { noteAllocation(); }
void ignoreFree(const volatile void*) {}
const int kHooksInstalled = __sanitizer_install_malloc_and_free_hooks(countMalloc, ignoreFree);
#endif

[[maybe_unused]] const bool kObjectHookInstalled =
    (tarvex::internal::setAllocationHook(
         [](tarvex::internal::AllocationKind, std::size_t) { noteAllocation(); }),
     true);

constexpr unsigned short kPlainType = 41;
constexpr unsigned short kDirectType = 42;
constexpr unsigned short kSingletonOnlyType = 43;

std::vector<tarvex_test::TestMeta::ValueFactory> values() {
  return {[] { return new tarvex_test::LongValue(60100, 1); },
          [] { return new tarvex_test::DoubleValue(60101, 2.0); },
          [] { return new tarvex_test::StringValue(60102, EString("x")); }};
}

class WarmCycleAllocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DbMetaManager* registry = DbMetaManager::getInstance();
    registry->registerMeta(new tarvex_test::PlainTestMeta(kPlainType, values()));
    registry->registerMeta(new tarvex_test::DirectTestMeta(kDirectType, values()));
  }
  void TearDown() override { DbMetaManager::deinit(); }

  // Runs `body` on a thread that has never used the registry.
  template <typename Body>
  static void onFreshThread(Body body) {
    std::thread thread(body);
    thread.join();
  }
};

void cycle(const DbMetaManagerBase& registry, unsigned short typeId, DbMetaBase*& handedOut) {
  handedOut = registry.getMeta(typeId);
  if (handedOut == nullptr) return;
  handedOut->setObject(tarvex_test::testObject(0), 0);
  handedOut->clear();
}

}  // namespace

// The global replacements count every allocation of the counted thread.
void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  noteAllocation();
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  noteAllocation();
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* pointer) noexcept { std::free(pointer); }
void operator delete[](void* pointer) noexcept { std::free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { std::free(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { std::free(pointer); }

#if !defined(_WIN32)
// Values and metas come from here unless the library was built for the
// system allocator; the executable's definition takes precedence over the
// allocator library's for every caller.
extern "C" void* scalable_malloc(std::size_t size) {
  using Malloc = void* (*)(std::size_t);
  static const auto next = reinterpret_cast<Malloc>(dlsym(RTLD_NEXT, "scalable_malloc"));
  noteAllocation();
  return next != nullptr ? next(size) : nullptr;
}
#endif

TEST_F(WarmCycleAllocationTest, FirstRequestFillsThePoolLaterOnesAllocateNothing) {
  onFreshThread([] {
    DbMetaManager* registry = DbMetaManager::getInstance();
    DbMetaBase* first = nullptr;
    // The counters must see the pool being built, or a zero below means nothing.
    EXPECT_GT(allocationsOf([&] { cycle(*registry, kPlainType, first); }), 0u);
    ASSERT_NE(first, nullptr);

    for (unsigned short typeId : {kPlainType, kDirectType}) {
      DbMetaBase* warm = nullptr;
      cycle(*registry, typeId, warm);
      DbMetaBase* handedOut = nullptr;
      bool sameMeta = true;
      const std::size_t allocations = allocationsOf([&] {
        for (int i = 0; i < 1000; ++i) {
          cycle(*registry, typeId, handedOut);
          sameMeta = sameMeta && handedOut == warm;
        }
      });
      EXPECT_EQ(allocations, 0u) << "type " << typeId;
      EXPECT_TRUE(sameMeta) << "type " << typeId;
    }
    EXPECT_TRUE(registry->check());
  });
}

TEST_F(WarmCycleAllocationTest, GrowingIsCountedAndTheGrownPoolIsWarmAgain) {
  onFreshThread([] {
    DbMetaManager* registry = DbMetaManager::getInstance();
    DbMetaBase* first = registry->getMeta(kDirectType);
    ASSERT_NE(first, nullptr);
    first->setObject(tarvex_test::testObject(1), 0);
    DbMetaBase* second = nullptr;
    // All metas of the type busy: the pool grows by one meta with its values.
    EXPECT_GT(allocationsOf([&] { second = registry->getMeta(kDirectType); }), 0u);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);

    // Two requests in flight at once now fit into the pool.
    first->clear();
    const std::size_t allocations = allocationsOf([&] {
      for (int i = 0; i < 500; ++i) {
        DbMetaBase* busy = registry->getMeta(kDirectType);
        busy->setObject(tarvex_test::testObject(2), 0);
        DbMetaBase* other = registry->getMeta(kDirectType);
        other->setObject(tarvex_test::testObject(3), 0);
        busy->clear();
        other->clear();
      }
    });
    EXPECT_EQ(allocations, 0u);
    EXPECT_TRUE(registry->check());
  });
}

TEST_F(WarmCycleAllocationTest, LocalRegistryFallingBackToTheSingletonAllocatesNothingWhenWarm) {
  DbMetaManager::getInstance()->registerMeta(
      new tarvex_test::PlainTestMeta(kSingletonOnlyType, values()));
  DbMetaManagerBase local;
  local.registerMeta(new tarvex_test::PlainTestMeta(kPlainType, values()));
  onFreshThread([&local] {
    DbMetaBase* warm = nullptr;
    cycle(local, kSingletonOnlyType, warm);
    ASSERT_NE(warm, nullptr);
    DbMetaBase* fromLocal = nullptr;
    cycle(local, kPlainType, fromLocal);
    ASSERT_NE(fromLocal, nullptr);

    DbMetaBase* handedOut = nullptr;
    bool sameMeta = true;
    const std::size_t allocations = allocationsOf([&] {
      for (int i = 0; i < 1000; ++i) {
        cycle(local, kSingletonOnlyType, handedOut);
        sameMeta = sameMeta && handedOut == warm;
        cycle(local, kPlainType, handedOut);
        sameMeta = sameMeta && handedOut == fromLocal;
      }
    });
    EXPECT_EQ(allocations, 0u);
    EXPECT_TRUE(sameMeta);
  });
}
