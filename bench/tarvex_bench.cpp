// tarvex-bench: measures the hot paths of the meta layer side by side with
// their alternatives, on the sample provider's metas, and checks the ratios
// the design promises.
//
//   Cycle/*     the warm request cycle getMeta -> setObject -> clear():
//               Registry        DbMetaManager::getInstance()->getMeta
//               ThreadLocal     lower bound: the same DbType2MetaMap::getFreeMeta
//                               reached through a plain thread_local pointer
//               EtsNoKey        the registry's mechanism rebuilt here: the
//                               slot found through an enumerable_thread_specific
//                               with default key usage, then the same pool
//               EtsKeyPerInstance  the same with one pthread key per table
//               KeyCache        candidate: the registry's table plus a pthread
//                               key of its own that caches the slot's pool,
//                               falling back to the table if no key is left
//               MutexPool       one pool for all threads behind a std::mutex
//               Handle          Registry's cycle through tarvex::DbBorrowedMeta
//   Floor/*     the same cycle without the library's registry or pool: a
//               thread_local pointer to a pool of the thread's own, indexed
//               by a flat open-addressing table, then the meta's real
//               virtual setObject and clear()
//   GetData/*   look-up by data id, direct data pointers against the data map
//   SortedList/*, AddData/*  first sort, cached re-read and filling a meta
//   Alloc/*     creating and destroying a meta with its values on the
//               scalable allocator, std::malloc and the library's own choice
//   Keys/*      reading and writing values through typed data keys against
//               the direct calls they stand for
//   Growth/*    pools of many metas of one type: registering one more, a
//               thread's first-use fill, and binding k metas at once
//
// Times are wall-clock ("real") times; for threaded runs Google Benchmark
// divides the wall time by the cycles of all threads together.
#include <pthread.h>
#include <tbb/enumerable_thread_specific.h>
#include <tbb/scalable_allocator.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "AfModule.h"
#include "DMMemberBase.h"
#include "DbData.h"
#include "DbMetaManager.h"
#include "DbType2MetaMap.h"
#include "ESmartPtr.h"
#include "SampleMetaTable.h"
#include "SampleMetas.h"
#include "SampleSchema.h"
#include "TarvexKit.h"

using namespace tarvex_sample;

namespace {

// The cycle runs on two metas: the sample's beam, whose setObject also writes
// the object id into a value, and a lean meta on the kit's DbMetaImpl, whose
// setObject and clear() add a pointer store to the base's, which leaves the
// registry's own cost most exposed.
constexpr unsigned short kLeanType = 100;
unsigned short cycleType(const benchmark::State& state) {
  return state.range(0) == 0 ? kLeanType : static_cast<unsigned short>(kBeamType);
}

// A new pool holding one working meta per registered meta, as a thread's
// first getMeta builds it.
DbType2MetaMap* newFilledPool() {
  auto pool = std::make_unique<DbType2MetaMap>();
  DbMetaManager* registry = DbMetaManager::getInstance();
  for (auto it = registry->getMetasBegin(); it != registry->getMetasEnd(); ++it) {
    pool->adoptMeta(it->first, it->second->createMeta());
  }
  return pool.release();
}

// One request of the cycle on `meta`; the object stands for the caller's.
inline void bindAndGiveBack(DbMetaBase* meta, DMMemberBase& object) {
  meta->setObject(&object, 0);
  benchmark::DoNotOptimize(meta);
  meta->clear();
}

// --- 1. Warm request cycle -----------------------------------------------------

void Cycle_Registry(benchmark::State& state) {
  const unsigned short type = cycleType(state);
  DMMemberBase object(DbObjectId(type, 1, 1));
  DbMetaManager* registry = DbMetaManager::getInstance();
  bindAndGiveBack(registry->getMeta(type), object);  // warm: the pool exists
  for (auto _ : state) bindAndGiveBack(registry->getMeta(type), object);
  state.SetItemsProcessed(state.iterations());
}

// The same cycle through the kit's handle, which must add nothing to it.
void Cycle_Handle(benchmark::State& state) {
  const unsigned short type = cycleType(state);
  DMMemberBase object(DbObjectId(type, 1, 1));
  const DbMetaManager& registry = *DbMetaManager::getInstance();
  { tarvex::DbBorrowedMeta warm(registry, type, &object); }
  for (auto _ : state) {
    tarvex::DbBorrowedMeta meta(registry, type, &object);
    benchmark::DoNotOptimize(meta.get());
  }
  state.SetItemsProcessed(state.iterations());
}

// External linkage, so the compiler has to read it on every cycle.
thread_local DbType2MetaMap* t_pPool = nullptr;

void Cycle_ThreadLocal(benchmark::State& state) {
  const unsigned short type = cycleType(state);
  DMMemberBase object(DbObjectId(type, 1, 1));
  t_pPool = newFilledPool();
  for (auto _ : state) bindAndGiveBack(t_pPool->getFreeMeta(type), object);
  delete t_pPool;
  t_pPool = nullptr;
  state.SetItemsProcessed(state.iterations());
}

template <typename Slots>
DbType2MetaMap& slotPool(Slots& slots) {
  auto& slot = slots.local();
  if (!slot) slot = ESmartPtr<DbType2MetaMap>(newFilledPool());
  return *slot;
}

using EtsNoKey = tbb::enumerable_thread_specific<ESmartPtr<DbType2MetaMap>>;
using EtsKeyPerInstance =
    tbb::enumerable_thread_specific<ESmartPtr<DbType2MetaMap>,
                                    tbb::cache_aligned_allocator<ESmartPtr<DbType2MetaMap>>,
                                    tbb::ets_key_per_instance>;

EtsNoKey* g_pEtsNoKey = nullptr;
EtsKeyPerInstance* g_pEtsKeyPerInstance = nullptr;

template <typename Slots>
void cycleThroughSlots(benchmark::State& state, Slots& slots) {
  const unsigned short type = cycleType(state);
  DMMemberBase object(DbObjectId(type, 1, 1));
  bindAndGiveBack(slotPool(slots).getFreeMeta(type), object);
  for (auto _ : state) bindAndGiveBack(slotPool(slots).getFreeMeta(type), object);
  state.SetItemsProcessed(state.iterations());
}

void Cycle_EtsNoKey(benchmark::State& state) { cycleThroughSlots(state, *g_pEtsNoKey); }
void Cycle_EtsKeyPerInstance(benchmark::State& state) {
  cycleThroughSlots(state, *g_pEtsKeyPerInstance);
}

// Candidate for the registry: TBB's table keeps owning and enumerating the
// pools; a pthread key of the registry's own caches the calling thread's
// pool. Unlike ets_key_per_instance, a failing pthread_key_create is seen and
// the registry then simply takes the table's path, so any number of
// registries stays correct. glibc does not hand a deleted key's old values
// to a new key of the same number.
class KeyCachedSlots {
 public:
  KeyCachedSlots() : m_bKey(pthread_key_create(&m_Key, nullptr) == 0) {}
  ~KeyCachedSlots() {
    if (m_bKey) pthread_key_delete(m_Key);
  }
  KeyCachedSlots(const KeyCachedSlots&) = delete;
  KeyCachedSlots& operator=(const KeyCachedSlots&) = delete;

  DbType2MetaMap& local() {
    if (m_bKey) {
      if (void* cached = pthread_getspecific(m_Key)) return *static_cast<DbType2MetaMap*>(cached);
    }
    DbType2MetaMap& pool = slotPool(m_Slots);
    if (m_bKey) pthread_setspecific(m_Key, &pool);
    return pool;
  }
  bool hasKey() const { return m_bKey; }

 private:
  EtsNoKey m_Slots;
  pthread_key_t m_Key;
  bool m_bKey;
};

KeyCachedSlots* g_pKeyCached = nullptr;

void Cycle_KeyCache(benchmark::State& state) {
  const unsigned short type = cycleType(state);
  DMMemberBase object(DbObjectId(type, 1, 1));
  bindAndGiveBack(g_pKeyCached->local().getFreeMeta(type), object);
  for (auto _ : state) bindAndGiveBack(g_pKeyCached->local().getFreeMeta(type), object);
  state.SetItemsProcessed(state.iterations());
}

// The earlier design: one pool shared by all threads. Handing out and marking
// in use must be one step under the lock, or two threads could take the same
// free meta; giving back writes the flag others read, so it locks too.
struct SharedPool {
  std::mutex mutex;
  std::unique_ptr<DbType2MetaMap> pool;
};
SharedPool* g_pSharedPool = nullptr;

void Cycle_MutexPool(benchmark::State& state) {
  const unsigned short type = cycleType(state);
  DMMemberBase object(DbObjectId(type, 1, 1));
  SharedPool& shared = *g_pSharedPool;
  for (auto _ : state) {
    DbMetaBase* meta;
    {
      std::lock_guard<std::mutex> lock(shared.mutex);
      meta = shared.pool->getFreeMeta(type);
      meta->setObject(&object, 0);
    }
    benchmark::DoNotOptimize(meta);
    std::lock_guard<std::mutex> lock(shared.mutex);
    meta->clear();
  }
  state.SetItemsProcessed(state.iterations());
}

// --- 1b. The floor: the cycle without the library -----------------------------------

// A pool of (type id, meta) entries in one flat open-addressing table:
// multiplicative hash, linear probing, no deletion. The metas of one type
// follow each other along the probe sequence in the order they were added,
// so the first free one found is the oldest, as in the library's pool.
class FloorPool {
 public:
  // One working meta per registered meta of the singleton, as the
  // registry's fill makes them.
  FloorPool() {
    DbMetaManager* registry = DbMetaManager::getInstance();
    std::size_t count = 0;
    for (auto it = registry->getMetasBegin(); it != registry->getMetasEnd(); ++it) ++count;
    while ((std::size_t{1} << m_Bits) < 2 * count) ++m_Bits;
    m_Slots.resize(std::size_t{1} << m_Bits);
    for (auto it = registry->getMetasBegin(); it != registry->getMetasEnd(); ++it) {
      m_Owned.emplace_back(it->second->createMeta());
      add(it->first, m_Owned.back().get());
    }
  }

  DbMetaBase* getFreeMeta(unsigned short type) const {
    const std::size_t mask = m_Slots.size() - 1;
    for (std::size_t i = slotOf(type);; i = (i + 1) & mask) {
      const Slot& slot = m_Slots[i];
      if (slot.meta == nullptr) return nullptr;
      if (slot.type == type && !slot.meta->inUse()) return slot.meta;
    }
  }

 private:
  struct Slot {
    unsigned short type = 0;
    DbMetaBase* meta = nullptr;
  };

  std::size_t slotOf(unsigned short type) const {
    return (static_cast<std::uint32_t>(type) * 0x9E3779B1u) >> (32 - m_Bits);
  }
  void add(unsigned short type, DbMetaBase* meta) {
    const std::size_t mask = m_Slots.size() - 1;
    std::size_t i = slotOf(type);
    while (m_Slots[i].meta != nullptr) i = (i + 1) & mask;
    m_Slots[i] = Slot{type, meta};
  }

  unsigned m_Bits = 1;
  std::vector<Slot> m_Slots;
  std::vector<std::unique_ptr<DbMetaBase>> m_Owned;
};

thread_local FloorPool* t_pFloorPool = nullptr;

void Floor_Cycle(benchmark::State& state) {
  const unsigned short type = cycleType(state);
  DMMemberBase object(DbObjectId(type, 1, 1));
  t_pFloorPool = new FloorPool;
  for (auto _ : state) bindAndGiveBack(t_pFloorPool->getFreeMeta(type), object);
  delete t_pFloorPool;
  t_pFloorPool = nullptr;
  state.SetItemsProcessed(state.iterations());
}

// --- Metas of any size, for groups 2 to 4 ----------------------------------------

// Where a class's objects come from: the library's own choice, TBB's scalable
// allocator or std::malloc.
struct LibraryAllocator {
  template <typename Base>
  static void* allocate(std::size_t size) {
    return Base::operator new(size);
  }
  template <typename Base>
  static void release(void* pointer) {
    Base::operator delete(pointer);
  }
};
struct ScalableAllocator {
  template <typename Base>
  static void* allocate(std::size_t size) {
    if (void* pointer = scalable_malloc(size)) return pointer;
    throw std::bad_alloc();
  }
  template <typename Base>
  static void release(void* pointer) {
    scalable_free(pointer);
  }
};
struct MallocAllocator {
  template <typename Base>
  static void* allocate(std::size_t size) {
    if (void* pointer = std::malloc(size)) return pointer;
    throw std::bad_alloc();
  }
  template <typename Base>
  static void release(void* pointer) {
    std::free(pointer);
  }
};

template <typename Allocator>
class BenchDouble final : public tarvex::DbDoubleValue {
 public:
  explicit BenchDouble(unsigned short dataId) : tarvex::DbDoubleValue(dataId) {}
  static void* operator new(std::size_t size) { return Allocator::template allocate<DbData>(size); }
  static void operator delete(void* pointer) { Allocator::template release<DbData>(pointer); }
};

// A meta with values of the given data ids, added in the given order.
template <bool Direct, typename Allocator = LibraryAllocator>
class BenchMeta final : public tarvex::DbMetaImpl<BenchMeta<Direct, Allocator>, kLeanType, Direct> {
 public:
  explicit BenchMeta(const std::vector<unsigned short>& dataIds = {}) {
    for (unsigned short dataId : dataIds) this->addData(new BenchDouble<Allocator>(dataId));
  }
  static void* operator new(std::size_t size) {
    return Allocator::template allocate<DbMetaBase>(size);
  }
  static void operator delete(void* pointer) { Allocator::template release<DbMetaBase>(pointer); }
};

// Data ids of the sized metas; kMissBase upward is never used by any meta.
constexpr unsigned short kSizedBase = 61000;
constexpr unsigned short kMissBase = 63000;

std::vector<unsigned short> consecutiveIds(std::size_t count, unsigned short base) {
  std::vector<unsigned short> ids(count);
  std::iota(ids.begin(), ids.end(), base);
  return ids;
}

std::vector<unsigned short> shuffled(std::vector<unsigned short> ids, unsigned seed) {
  std::mt19937 random(seed);
  std::shuffle(ids.begin(), ids.end(), random);
  return ids;
}

// --- 2. Value look-up by data id -------------------------------------------------

template <bool Direct>
void GetData(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const bool hits = state.range(1) != 0;
  BenchMeta<Direct> meta(consecutiveIds(count, kSizedBase));
  // 1024 probes in random order, so neither the caches nor the branch
  // predictor learn a single id.
  std::vector<unsigned short> probes;
  const std::vector<unsigned short> pool = consecutiveIds(count, hits ? kSizedBase : kMissBase);
  while (probes.size() < 1024) probes.insert(probes.end(), pool.begin(), pool.end());
  probes = shuffled(std::vector<unsigned short>(probes.begin(), probes.begin() + 1024), 7);
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(meta.getData(probes[next]));
    next = (next + 1) & 1023;
  }
  state.SetLabel(hits ? "hits" : "misses");
}
void GetData_Direct(benchmark::State& state) { GetData<true>(state); }
void GetData_Map(benchmark::State& state) { GetData<false>(state); }

// --- 3. Sorted data list and adding values ------------------------------------------

// Ids added in random order, one in eight of them back-packed.
std::vector<unsigned short> sortIds(std::size_t count) {
  return shuffled(consecutiveIds(count, kSizedBase), 11);
}

void SortedList_FirstSort(benchmark::State& state) {
  const std::vector<unsigned short> ids = sortIds(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    BenchMeta<false> meta(ids);
    const auto begin = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(&meta.getDataList(true));
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
  }
}

void SortedList_CachedReread(benchmark::State& state) {
  BenchMeta<false> meta(sortIds(static_cast<std::size_t>(state.range(0))));
  meta.getDataList(true);
  for (auto _ : state) benchmark::DoNotOptimize(&meta.getDataList(true));
}

template <bool Direct>
void AddData(benchmark::State& state) {
  const std::vector<unsigned short> ids = sortIds(static_cast<std::size_t>(state.range(0)));
  std::vector<DbData*> values(ids.size());
  for (auto _ : state) {
    auto* meta = new BenchMeta<Direct>;
    for (std::size_t i = 0; i < ids.size(); ++i)
      values[i] = new BenchDouble<LibraryAllocator>(ids[i]);
    const auto begin = std::chrono::steady_clock::now();
    for (DbData* value : values) meta->addData(value);
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
    delete meta;
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
void AddData_Map(benchmark::State& state) { AddData<false>(state); }
void AddData_Direct(benchmark::State& state) { AddData<true>(state); }

// --- 4. Allocation -------------------------------------------------------------------

// A meta of 16 values, about the size of the sample's, created and destroyed.
template <typename Allocator>
void Alloc(benchmark::State& state) {
  const std::vector<unsigned short> ids = consecutiveIds(16, kSizedBase);
  for (auto _ : state) {
    auto* meta = new BenchMeta<false, Allocator>(ids);
    benchmark::DoNotOptimize(meta);
    delete meta;
  }
  state.SetItemsProcessed(state.iterations() * 17);
}
void Alloc_Scalable(benchmark::State& state) { Alloc<ScalableAllocator>(state); }
void Alloc_Malloc(benchmark::State& state) { Alloc<MallocAllocator>(state); }
void Alloc_Library(benchmark::State& state) { Alloc<LibraryAllocator>(state); }

// --- 5. Pool growth ------------------------------------------------------------------

// A local registry with `count` lean metas registered, all of one type.
std::unique_ptr<DbMetaManagerBase> registryOfOneType(std::int64_t count) {
  auto registry = std::make_unique<DbMetaManagerBase>();
  for (std::int64_t i = 0; i < count; ++i) registry->registerMeta(new BenchMeta<false>);
  return registry;
}

// Registering one more meta of a type that has `metas` already (on the
// registering thread, whose pool holds as many working metas).
void Growth_RegisterMeta(benchmark::State& state) {
  const std::unique_ptr<DbMetaManagerBase> registry = registryOfOneType(state.range(0));
  for (auto _ : state) registry->registerMeta(new BenchMeta<false>);
}

// A thread's first getMeta, which fills its pool with one working meta per
// registered meta; a new thread per iteration, only the call timed.
void Growth_FirstUseFill(benchmark::State& state) {
  const std::unique_ptr<DbMetaManagerBase> registry = registryOfOneType(state.range(0));
  for (auto _ : state) {
    double seconds = 0;
    std::thread([&] {
      const auto begin = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(registry->getMeta(kLeanType));
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    }).join();
    state.SetIterationTime(seconds);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A caller that keeps k metas of one type bound at once: k hand-outs, each
// walking past the busy ones, then k give-backs. The pool has grown to k in
// a first round, untimed.
void Growth_KeepBound(benchmark::State& state) {
  const std::unique_ptr<DbMetaManagerBase> registry = registryOfOneType(1);
  DMMemberBase object(DbObjectId(kLeanType, 1, 1));
  std::vector<DbMetaBase*> bound(static_cast<std::size_t>(state.range(0)));
  auto round = [&] {
    for (DbMetaBase*& meta : bound) {
      meta = registry->getMeta(kLeanType);
      meta->setObject(&object, 0);
    }
    for (DbMetaBase* meta : bound) meta->clear();
  };
  round();
  for (auto _ : state) round();
}

void registerBenchmarks() {
  const std::pair<const char*, void (*)(benchmark::State&)> cycles[] = {
      {"Cycle/Registry", Cycle_Registry},
      {"Cycle/ThreadLocal", Cycle_ThreadLocal},
      {"Cycle/EtsNoKey", Cycle_EtsNoKey},
      {"Cycle/EtsKeyPerInstance", Cycle_EtsKeyPerInstance},
      {"Cycle/KeyCache", Cycle_KeyCache},
      {"Cycle/MutexPool", Cycle_MutexPool},
      {"Cycle/Handle", Cycle_Handle},
      // The floor next to the cycles, in the same conditions.
      {"Floor/Cycle", Floor_Cycle},
  };
  for (const auto& [name, function] : cycles) {
    benchmark::RegisterBenchmark(name, function)
        ->ArgName("beam")
        ->Arg(0)
        ->Arg(1)
        ->Threads(1)
        ->Threads(2)
        ->Threads(4)
        ->UseRealTime();
  }
  for (const auto& [name, function] :
       {std::pair{"GetData/Direct", &GetData_Direct}, std::pair{"GetData/Map", &GetData_Map}}) {
    benchmark::RegisterBenchmark(name, function)
        ->ArgNames({"values", "hit"})
        ->ArgsProduct({{8, 64, 512}, {1, 0}});
  }
  benchmark::RegisterBenchmark("SortedList/FirstSort", SortedList_FirstSort)
      ->ArgName("values")
      ->Arg(64)
      ->Arg(1024)
      ->UseManualTime();
  benchmark::RegisterBenchmark("SortedList/CachedReread", SortedList_CachedReread)
      ->ArgName("values")
      ->Arg(64)
      ->Arg(1024);
  benchmark::RegisterBenchmark("AddData/Map", AddData_Map)
      ->ArgName("values")
      ->Arg(64)
      ->Arg(1024)
      ->UseManualTime();
  benchmark::RegisterBenchmark("AddData/Direct", AddData_Direct)
      ->ArgName("values")
      ->Arg(64)
      ->Arg(1024)
      ->UseManualTime();
  for (const auto& [name, function] :
       {std::pair{"Alloc/Scalable", &Alloc_Scalable}, std::pair{"Alloc/Malloc", &Alloc_Malloc},
        std::pair{"Alloc/Library", &Alloc_Library}}) {
    benchmark::RegisterBenchmark(name, function)->Threads(1)->Threads(2)->UseRealTime();
  }
  // Few iterations: every one leaves its metas in the registry, and the
  // quadratic walks these rows watch take up to seconds.
  benchmark::RegisterBenchmark("Growth/RegisterMeta", Growth_RegisterMeta)
      ->ArgName("metas")
      ->Arg(1000)
      ->Arg(20000)
      ->Iterations(200)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("Growth/FirstUseFill", Growth_FirstUseFill)
      ->ArgName("metas")
      ->Arg(1000)
      ->Arg(20000)
      ->Iterations(3)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Growth/KeepBound", Growth_KeepBound)
      ->ArgName("k")
      ->Arg(1000)
      ->Arg(16000)
      ->Iterations(3)
      ->Unit(benchmark::kMillisecond);
}

// --- Ratios against the targets ----------------------------------------------------

// Keeps the time per iteration of every run while printing as usual. With
// --benchmark_repetitions the median of the repetitions stands for the run:
// it arrives after them and replaces what they left.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const bool single = run.run_type == Run::RT_Iteration && run.iterations > 0;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (single || median) m_Times[run.run_name.str()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // Time per iteration of the named run, or a negative number if it did not run.
  double time(const std::string& name) const {
    auto it = m_Times.find(name);
    return it == m_Times.end() ? -1.0 : it->second;
  }

 private:
  std::map<std::string, double> m_Times;
};

// Prints one ratio line; returns false if the target is missed. A target of
// 0 prints the ratio alone.
bool checkRatio(const RecordingReporter& reporter, const char* what, const std::string& numerator,
                const std::string& denominator, bool atMost, double target) {
  const double top = reporter.time(numerator);
  const double bottom = reporter.time(denominator);
  if (top <= 0 || bottom <= 0) {
    std::printf("  %-58s not measured (filtered out)\n", what);
    return true;
  }
  const double ratio = top / bottom;
  if (target <= 0) {
    std::printf("  %-58s %6.2f\n", what, ratio);
    return true;
  }
  const bool met = atMost ? ratio <= target : ratio >= target;
  std::printf("  %-58s %6.2f  target %s %.2f  %s\n", what, ratio, atMost ? "<=" : ">=", target,
              met ? "met" : "MISSED");
  return met;
}

// The warm cycle against the mechanism it is built on, and the mutex pool
// against the warm cycle: the targets of the request cycle.
bool printCycleRatios(const RecordingReporter& reporter) {
  bool met = true;
  for (const char* threads : {"1", "2", "4"}) {
    const std::string suffix = std::string("/real_time/threads:") + threads;
    const std::string label =
        std::string("cycle: Registry / EtsNoKey, lean meta, ") + threads + " threads";
    met = checkRatio(reporter, label.c_str(), "Cycle/Registry/beam:0" + suffix,
                     "Cycle/EtsNoKey/beam:0" + suffix, true, 1.1) &&
          met;
  }
  for (const auto& [threads, target] : {std::pair{"1", 1.2}, std::pair{"2", 8.0}}) {
    const std::string suffix = std::string("/real_time/threads:") + threads;
    const std::string label =
        std::string("cycle: MutexPool / Registry, lean meta, ") + threads + " threads";
    met = checkRatio(reporter, label.c_str(), "Cycle/MutexPool/beam:0" + suffix,
                     "Cycle/Registry/beam:0" + suffix, false, target) &&
          met;
  }
  return met;
}

bool printKeyRatios(const RecordingReporter& reporter);

bool printRatios(const RecordingReporter& reporter) {
  std::printf("\nRatios (time / time, same run):\n");
  bool met = printCycleRatios(reporter);
  met = checkRatio(reporter, "look-up: Direct / Map, 64 values, hits",
                   "GetData/Direct/values:64/hit:1", "GetData/Map/values:64/hit:1", true, 0.5) &&
        met;
  std::printf("  (informative)\n");
  for (const char* threads : {"1", "2", "4"}) {
    const std::string suffix = std::string("/real_time/threads:") + threads;
    const std::string bound =
        std::string("cycle: Registry / ThreadLocal, lean meta, ") + threads + " threads";
    checkRatio(reporter, bound.c_str(), "Cycle/Registry/beam:0" + suffix,
               "Cycle/ThreadLocal/beam:0" + suffix, true, 0);
    const std::string floor =
        std::string("cycle: Registry / floor, lean meta, ") + threads + " threads";
    checkRatio(reporter, floor.c_str(), "Cycle/Registry/beam:0" + suffix,
               "Floor/Cycle/beam:0" + suffix, true, 0);
  }
  for (const char* threads : {"1", "2"}) {
    const std::string suffix = std::string("/real_time/threads:") + threads;
    for (const char* other : {"EtsNoKey", "EtsKeyPerInstance", "KeyCache", "MutexPool"}) {
      const std::string label =
          std::string("cycle: ") + other + " / ThreadLocal, lean meta, " + threads + " threads";
      checkRatio(reporter, label.c_str(), std::string("Cycle/") + other + "/beam:0" + suffix,
                 "Cycle/ThreadLocal/beam:0" + suffix, true, 0);
    }
    const std::string handle =
        std::string("cycle: Handle / Registry, lean meta, ") + threads + " threads";
    met = checkRatio(reporter, handle.c_str(), "Cycle/Handle/beam:0" + suffix,
                     "Cycle/Registry/beam:0" + suffix, true, 1.15) &&
          met;
    const std::string beam =
        std::string("cycle: Registry / ThreadLocal, beam, ") + threads + " threads";
    checkRatio(reporter, beam.c_str(), "Cycle/Registry/beam:1" + suffix,
               "Cycle/ThreadLocal/beam:1" + suffix, true, 0);
    const std::string bound =
        std::string("cycle: ThreadLocal / floor, lean meta, ") + threads + " threads";
    checkRatio(reporter, bound.c_str(), "Cycle/ThreadLocal/beam:0" + suffix,
               "Floor/Cycle/beam:0" + suffix, true, 0);
    const std::string label = std::string("alloc: Malloc / Scalable, ") + threads + " threads";
    checkRatio(reporter, label.c_str(), "Alloc/Malloc" + suffix, "Alloc/Scalable" + suffix, false,
               0);
  }
  checkRatio(reporter, "look-up: Direct / Map, 64 values, misses", "GetData/Direct/values:64/hit:0",
             "GetData/Map/values:64/hit:0", true, 0);
  met = printKeyRatios(reporter) && met;
  return met;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  bool strict = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--strict") == 0) {
      strict = true;
    } else {
      std::fprintf(stderr,
                   "tarvex-bench: unknown option '%s'\n"
                   "Google Benchmark's options, plus --strict (exit 1 if a target is missed)\n",
                   argv[i]);
      return 2;
    }
  }

  // The application's set-up, as in tarvex-demo.
  auto tables = std::make_unique<tarvex::DbTablesScope>();
  markSampleBackPackedDataIds();
  auto schema = std::make_unique<SampleSchema>();
  registerSampleMetaTable();
  DbMetaManager* registry = DbMetaManager::getInstance();
  AfFramework::startUp();
  registry->registerMeta(new BenchMeta<false>);

  g_pEtsNoKey = new EtsNoKey;
  g_pEtsKeyPerInstance = new EtsKeyPerInstance;
  g_pKeyCached = new KeyCachedSlots;
  g_pSharedPool = new SharedPool;
  g_pSharedPool->pool.reset(newFilledPool());
  registerBenchmarks();

  std::printf("Pools per registry: TBB enumerable_thread_specific; KeyCache key %s\n",
              g_pKeyCached->hasKey() ? "created" : "NOT created (table path)");
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const bool met = printRatios(reporter);
  benchmark::Shutdown();

  // Every thread's pool is torn down with its owner, on this thread, after
  // all benchmark threads have ended.
  delete g_pSharedPool;
  delete g_pKeyCached;
  delete g_pEtsKeyPerInstance;
  delete g_pEtsNoKey;
  AfFramework::shutDown();
  tables.reset();
  unregisterSampleMetaTable();
  return strict && !met ? 1 : 0;
}

// --- Typed data keys -----------------------------------------------------------------

namespace {

constexpr unsigned short kKeyType = 120;
constexpr tarvex::DataKey<std::int32_t> kKeyCount{60130};
constexpr tarvex::DataKey<double> kKeyLength{60131};

// A meta with direct data pointers, so that the key's cost is not hidden
// behind a hash look-up.
class KeyMeta final : public tarvex::DbMetaImpl<KeyMeta, kKeyType, true> {
 public:
  KeyMeta() {
    addData(new tarvex::DbLongValue(kKeyCount));
    addData(new tarvex::DbDoubleValue(kKeyLength));
  }
};

// One read and one write of each value per iteration.
template <bool Typed>
void Keys(benchmark::State& state) {
  KeyMeta meta;
  DbMetaBase& base = meta;
  std::int32_t count = 0;
  for (auto _ : state) {
    if constexpr (Typed) {
      tarvex::set(base, kKeyCount, tarvex::get(base, kKeyCount) + 1);
      tarvex::set(base, kKeyLength, tarvex::get(base, kKeyLength) + 0.5);
      count = tarvex::get(base, kKeyCount);
    } else {
      base.setDataLong(kKeyCount.dataId(), base.getData(kKeyCount.dataId())->getLong() + 1);
      base.setDataDouble(kKeyLength.dataId(), base.getData(kKeyLength.dataId())->getDouble() + 0.5);
      count = base.getData(kKeyCount.dataId())->getLong();
    }
    benchmark::DoNotOptimize(count);
  }
}

const bool kKeysRegistered = [] {
  benchmark::RegisterBenchmark("Keys/Typed", Keys<true>);
  benchmark::RegisterBenchmark("Keys/Direct", Keys<false>);
  return true;
}();

bool printKeyRatios(const RecordingReporter& reporter) {
  return checkRatio(reporter, "keys: Typed / Direct, read and write", "Keys/Typed", "Keys/Direct",
                    true, 1.05);
}

}  // namespace
