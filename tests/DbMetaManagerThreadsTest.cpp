// The registry across real threads: one pool per thread, what each pool
// learns, fallback from other threads, per-thread counts, and a stress run
// of many threads handing out, using and giving back metas at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "DbMetaManager.h"
#include "RegistryTestSupport.h"
#include "TestValues.h"

using tarvex_test::CountingMeta;
using tarvex_test::LocalRegistry;
using tarvex_test::report;
using tarvex_test::TraceSwitch;
using tarvex_test::Worker;

namespace {

const CountingMeta* origin(const DbMetaBase* meta) {
  return static_cast<const CountingMeta*>(meta)->madeFrom();
}

// Lets threads start their work together, so that first uses overlap.
class StartLine {
 public:
  explicit StartLine(int threads) : m_Waiting(threads) {}
  void arriveAndWait() {
    m_Waiting.fetch_sub(1);
    while (m_Waiting.load() > 0) std::this_thread::yield();
  }

 private:
  std::atomic<int> m_Waiting;
};

using RegistryThreads = tarvex_test::RegistryFixture;

TEST_F(RegistryThreads, ConcurrentThreadsNeverShareAWorkingMeta) {
  DbMetaManager* registry = DbMetaManager::getInstance();
  auto* registeredMeta = new CountingMeta(1);
  registry->registerMeta(registeredMeta);

  constexpr int kThreads = 8;
  StartLine start(kThreads);
  StartLine holding(kThreads);
  std::vector<std::vector<DbMetaBase*>> taken(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arriveAndWait();
      // Two at once, so each thread's pool also has to grow.
      for (int n = 0; n < 2; ++n) {
        DbMetaBase* meta = registry->getMeta(1);
        if (meta == nullptr) break;  // still arrive below, or the others wait forever
        meta->setObject(tarvex_test::testObject(n), 0);
        taken[t].push_back(meta);
      }
      holding.arriveAndWait();  // every thread holds its metas now
      for (DbMetaBase* meta : taken[t]) meta->clear();
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::set<DbMetaBase*> all;
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(taken[t].size(), 2u) << "thread " << t;
    EXPECT_EQ(origin(taken[t][0]), registeredMeta);
    EXPECT_EQ(origin(taken[t][1]), taken[t][0]);  // grown in its own pool
    all.insert(taken[t].begin(), taken[t].end());
  }
  EXPECT_EQ(all.size(), 2u * kThreads);
  EXPECT_EQ(all.count(registeredMeta), 0u);
  EXPECT_TRUE(registry->check());
}

TEST_F(RegistryThreads, PoolsKnowOnlyWhatTheyStartedWithOrRegistered) {
  DbMetaManager* registry = DbMetaManager::getInstance();
  registry->registerMeta(new CountingMeta(1));

  Worker early;
  Worker registering;
  EXPECT_NE(early.get([&] { return registry->getMeta(1); }), nullptr);

  // This thread's first call registers: its pool holds only its own type.
  registering.run([&] { registry->registerMeta(new CountingMeta(2)); });
  EXPECT_NE(registering.get([&] { return registry->getMeta(2); }), nullptr);
  EXPECT_EQ(registering.get([&] { return registry->getMeta(1); }), nullptr);

  // The earlier pool never learns of the new type, nor does this thread's.
  EXPECT_EQ(early.get([&] { return registry->getMeta(2); }), nullptr);
  EXPECT_EQ(registry->getMeta(2), nullptr);
  EXPECT_TRUE(registry->isMetaRegistered(2));

  Worker late;
  EXPECT_NE(late.get([&] { return registry->getMeta(1); }), nullptr);
  EXPECT_NE(late.get([&] { return registry->getMeta(2); }), nullptr);
}

TEST_F(RegistryThreads, LocalRegistryFallsBackToTheCallingThreadsSingletonPool) {
  auto* shared = new CountingMeta(11);
  DbMetaManager::getInstance()->registerMeta(shared);
  LocalRegistry local;
  local.registerMeta(new CountingMeta(12));

  Worker worker;
  DbMetaBase* onWorker = worker.get([&] {
    DbMetaBase* meta = local.getMeta(11);
    if (meta != nullptr) meta->setObject(tarvex_test::testObject(0), 0);
    return meta;
  });
  ASSERT_NE(onWorker, nullptr);
  EXPECT_EQ(origin(onWorker), shared);
  DbMetaBase* onMain = local.getMeta(11);
  ASSERT_NE(onMain, nullptr);
  EXPECT_NE(onMain, onWorker);
  EXPECT_EQ(origin(onMain), shared);
  worker.run([&] { onWorker->clear(); });
}

TEST_F(RegistryThreads, DumpCountsEveryThreadsPool) {
  TraceSwitch on(true);
  LocalRegistry registry;
  registry.registerMeta(new CountingMeta(3));
  registry.registerMeta(new CountingMeta(4));
  const unsigned types = 2;
  // Registered metas, plus this thread's pool from registering.
  unsigned held = types + types;

  auto dumpedCounts = [&]() {
    m_Capture.clear();
    registry.dump();
    return traces();
  };
  auto line = [](const std::string& text, int number) {
    return report(text + "\n", ".\\DbMetaManagerBase", number);
  };

  std::vector<std::unique_ptr<Worker>> workers;
  for (int n = 0; n < 3; ++n) {
    workers.push_back(std::make_unique<Worker>());
    const unsigned short type = n == 0 ? 3 : 4;
    workers.back()->run([&] { registry.getMeta(type)->setObject(tarvex_test::testObject(n), 0); });
    held += types;
    const unsigned inUse = static_cast<unsigned>(n + 1);
    std::vector<std::string> expected{
        line("DbMetaManager-recycled Metacount " + std::to_string(held), 234),
        line("DbMetaManager-InUseCount " + std::to_string(inUse), 236),
        line("DbMetaManager-TypeInUseCount Type3Count1", 246)};
    if (n > 0)
      expected.push_back(line("DbMetaManager-TypeInUseCount Type4Count" + std::to_string(n), 246));
    EXPECT_EQ(dumpedCounts(), expected) << "after thread " << n;
  }

  workers.clear();  // ended threads' pools still count
  registry.clearAllMetas(true);
  EXPECT_EQ(dumpedCounts(),
            (std::vector<std::string>{
                line("DbMetaManager-recycled Metacount " + std::to_string(held), 234),
                line("DbMetaManager-InUseCount 0", 236)}));
}

TEST_F(RegistryThreads, StressHandOutUseAndGiveBack) {
  using tarvex_test::DirectTestMeta;
  using tarvex_test::LongValue;
  using tarvex_test::PlainTestMeta;
  constexpr unsigned short kDirectType = 21;
  constexpr unsigned short kPlainType = 22;
  constexpr unsigned short kValueId = 601;
  constexpr unsigned short kOtherValueId = 602;
  constexpr int kThreads = 8;
  constexpr int kCycles = 100000;
  constexpr int kNested = 3;  // metas of the direct type in use at once

  const std::vector<PlainTestMeta::ValueFactory> values{
      [] { return new LongValue(kValueId); }, [] { return new LongValue(kOtherValueId); }};
  const std::uint32_t directBefore = DbMetaBase::getPackingMetaCount();
  DbMetaManager* registry = DbMetaManager::getInstance();
  registry->registerMeta(new DirectTestMeta(kDirectType, values));
  registry->registerMeta(new PlainTestMeta(kPlainType, values));
  const unsigned types = 2;

  struct Outcome {
    long wrongValues = 0;
    long unexpectedMetas = 0;
    long missing = 0;
    std::set<DbMetaBase*> used;
  };
  std::vector<Outcome> outcomes(kThreads);
  StartLine start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Outcome& out = outcomes[t];
      start.arriveAndWait();
      for (int cycle = 0; cycle < kCycles; ++cycle) {
        DbMetaBase* taken[kNested + 1] = {};
        std::int32_t written[kNested + 1] = {};
        for (int depth = 0; depth <= kNested; ++depth) {
          const unsigned short type = depth < kNested ? kDirectType : kPlainType;
          DbMetaBase* meta = registry->getMeta(type);
          if (meta == nullptr || meta->inUse()) {
            ++out.missing;
            break;
          }
          meta->setObject(tarvex_test::testObject(depth), 0);
          written[depth] = t * 10000000 + cycle * 10 + depth;
          meta->setDataLong(kValueId, written[depth]);
          meta->setDataLong(kOtherValueId, -written[depth]);
          taken[depth] = meta;
          if (cycle == 0) out.used.insert(meta);
        }
        for (int depth = kNested; depth >= 0; --depth) {
          DbMetaBase* meta = taken[depth];
          if (meta == nullptr) continue;
          const DbData* value = meta->getData(kValueId);
          const DbData* other = meta->getData(kOtherValueId);
          if (value == nullptr || other == nullptr || value->getLong() != written[depth] ||
              other->getLong() != -written[depth]) {
            ++out.wrongValues;
          }
          meta->clear();
        }
        // Later cycles must reuse the metas of the first one.
        if (cycle != 0 && taken[0] != nullptr && out.used.count(taken[0]) == 0)
          ++out.unexpectedMetas;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::set<DbMetaBase*> all;
  std::size_t perThreadTotal = 0;
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(outcomes[t].missing, 0) << "thread " << t;
    EXPECT_EQ(outcomes[t].wrongValues, 0) << "thread " << t;
    EXPECT_EQ(outcomes[t].unexpectedMetas, 0) << "thread " << t;
    EXPECT_EQ(outcomes[t].used.size(), static_cast<std::size_t>(kNested + 1));
    all.insert(outcomes[t].used.begin(), outcomes[t].used.end());
    perThreadTotal += outcomes[t].used.size();
  }
  EXPECT_EQ(all.size(), perThreadTotal);  // no meta served two threads
  EXPECT_TRUE(registry->check());
  // Every direct array made on a worker counted: the registered meta, this
  // thread's copy and each worker's nested ones.
  EXPECT_EQ(DbMetaBase::getPackingMetaCount() - directBefore, 2u + kThreads * kNested);

  // Registered metas, this thread's pool from registering, and per worker
  // one meta per type plus those grown for the nested use.
  const unsigned held = types + types + kThreads * (types + kNested - 1);
  TraceSwitch on(true);
  registry->dump();
  EXPECT_EQ(traces(), (std::vector<std::string>{
                          report("DbMetaManager-recycled Metacount " + std::to_string(held) + "\n",
                                 ".\\DbMetaManagerBase", 234),
                          report("DbMetaManager-InUseCount 0\n", ".\\DbMetaManagerBase", 236)}));
  // The workers' metas are destroyed here, on this thread: the count comes
  // back all the same.
  DbMetaManager::deinit();
  EXPECT_EQ(DbMetaBase::getPackingMetaCount(), directBefore);
}

}  // namespace
