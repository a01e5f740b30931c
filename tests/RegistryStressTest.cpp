// Sixteen threads hand out, bind, write, read and give back metas of several
// types at once, nesting their requests at random, on the singleton and on a
// local registry that falls back to it. Run under ThreadSanitizer as well.
//
// Each thread keeps a ledger of its own: the metas it holds right now and
// every meta it was ever handed. A meta handed out while its holder still
// has it, or handed to two threads, breaks the promise that no working meta
// has two live users; a value that reads back other than written was lost.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "DbMetaManager.h"
#include "RegistryTestSupport.h"
#include "TestValues.h"

using namespace tarvex_test;

namespace {

constexpr int kThreads = 16;
constexpr int kRounds = 1500;
constexpr int kMaxHeld = 4;
constexpr unsigned short kLongId = 60100;
constexpr unsigned short kDoubleId = 60101;

struct Held {
  DbMetaBase* meta;
  std::int32_t written;
};

struct Ledger {
  std::set<const DbMetaBase*> everHanded;
  int handOuts = 0;
  int failures = 0;  // counted here, asserted on the main thread
};

// The registered metas' createMeta runs on every thread that fills a pool,
// so everything it touches besides the new meta is atomic.
class StressMeta final : public TestMeta {
 public:
  explicit StressMeta(unsigned short typeId)
      : TestMeta(typeId, {[] { return new LongValue(kLongId); },
                          [] { return new DoubleValue(kDoubleId); }}) {
    fill();
    s_Live.fetch_add(1);
  }
  ~StressMeta() override { s_Live.fetch_sub(1); }
  DbMetaBase* createMeta() override { return new StressMeta(m_TypeId); }
  static int live() { return s_Live.load(); }

 private:
  inline static std::atomic<int> s_Live{0};
};

// Reads back what was written and gives the meta back.
void release(std::vector<Held>& held, std::size_t index, Ledger& ledger) {
  Held entry = held[index];
  held.erase(held.begin() + static_cast<std::ptrdiff_t>(index));
  if (!entry.meta->inUse() || entry.meta->getData(kLongId)->getLong() != entry.written ||
      entry.meta->getData(kDoubleId)->getDouble() != entry.written * 0.5) {
    ++ledger.failures;
  }
  entry.meta->clear();
}

void work(int index, const DbMetaManagerBase& local, Ledger& ledger) {
  std::mt19937 random(static_cast<std::uint32_t>(index) + 1);
  std::vector<Held> held;
  for (int round = 0; round < kRounds; ++round) {
    const unsigned choice = random() % 8;
    if (choice < 4 && held.size() < static_cast<std::size_t>(kMaxHeld)) {
      // Types 1..3 belong to the local registry, 4..6 only to the singleton.
      const auto type = static_cast<unsigned short>(1 + random() % 6);
      const bool viaSingleton = (random() & 1) != 0;
      DbMetaBase* meta =
          viaSingleton ? DbMetaManager::getInstance()->getMeta(type) : local.getMeta(type);
      if (viaSingleton && type <= 3) {
        if (meta != nullptr) ++ledger.failures;  // the singleton has no such type
        continue;
      }
      if (meta == nullptr || meta->getTypeId() != type || meta->inUse()) {
        ++ledger.failures;
        continue;
      }
      for (const Held& entry : held) {
        if (entry.meta == meta) ++ledger.failures;  // handed out while held
      }
      ledger.everHanded.insert(meta);
      ++ledger.handOuts;
      meta->setObject(testObject(index % 16), 0);
      const std::int32_t written = index * 1000000 + round;
      meta->setDataLong(kLongId, written);
      meta->setDataDouble(kDoubleId, written * 0.5);
      held.push_back({meta, written});
    } else if (choice < 7 && !held.empty()) {
      release(held, random() % held.size(), ledger);
    } else if (!held.empty()) {
      // Re-read a held meta: nobody else may have written it meanwhile.
      const Held& entry = held[random() % held.size()];
      if (entry.meta->getData(kLongId)->getLong() != entry.written) ++ledger.failures;
    }
  }
  while (!held.empty()) release(held, held.size() - 1, ledger);
}

unsigned countIn(const std::vector<std::string>& traces, const std::string& prefix) {
  for (const std::string& line : traces) {
    if (line.rfind(prefix, 0) == 0)
      return static_cast<unsigned>(std::stoul(line.substr(prefix.size())));
  }
  ADD_FAILURE() << "no trace line " << prefix;
  return 0;
}

class RegistryStress : public RegistryFixture {
 protected:
  void SetUp() override {
    RegistryFixture::SetUp();
    m_StressLiveBefore = StressMeta::live();
  }
  void TearDown() override {
    RegistryFixture::TearDown();
    EXPECT_EQ(StressMeta::live(), m_StressLiveBefore) << "metas leaked or deleted twice";
  }
  int m_StressLiveBefore = 0;
};

TEST_F(RegistryStress, SixteenThreadsNeverShareAMetaAndLoseNoValue) {
  registerTestDataModelTypes();
  // Registration is complete before any worker starts.
  DbMetaManagerBase local;
  DbMetaManager* singleton = DbMetaManager::getInstance();
  for (unsigned short type = 1; type <= 3; ++type) local.registerMeta(new StressMeta(type));
  for (unsigned short type = 4; type <= 6; ++type) singleton->registerMeta(new StressMeta(type));
  const int liveBefore = StressMeta::live();

  std::vector<Ledger> ledgers(kThreads);
  {
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([i, &local, &ledgers] { work(i, local, ledgers[i]); });
    }
    for (std::thread& thread : threads) thread.join();
  }

  std::set<const DbMetaBase*> all;
  std::size_t handedTotal = 0;
  for (const Ledger& ledger : ledgers) {
    EXPECT_EQ(ledger.failures, 0);
    EXPECT_GT(ledger.handOuts, kRounds / 8);
    handedTotal += ledger.everHanded.size();
    all.insert(ledger.everHanded.begin(), ledger.everHanded.end());
  }
  EXPECT_EQ(all.size(), handedTotal) << "a meta was handed to two threads";

  EXPECT_TRUE(local.check());
  EXPECT_TRUE(singleton->check());

  // The two registries hold every meta alive, each exactly once: the
  // registered ones and every working meta any thread's pool made.
  TraceSwitch on(true);
  m_Capture.clear();
  local.dump();
  const std::vector<std::string> localTraces = traces();
  m_Capture.clear();
  singleton->dump();
  const std::vector<std::string> singletonTraces = traces();
  const unsigned held = countIn(localTraces, "DbMetaManager-recycled Metacount ") +
                        countIn(singletonTraces, "DbMetaManager-recycled Metacount ");
  EXPECT_EQ(held, static_cast<unsigned>(StressMeta::live() - m_StressLiveBefore));
  EXPECT_GT(StressMeta::live(), liveBefore);
  EXPECT_EQ(countIn(localTraces, "DbMetaManager-InUseCount "), 0u);
  EXPECT_EQ(countIn(singletonTraces, "DbMetaManager-InUseCount "), 0u);
  EXPECT_EQ(localTraces.size(), 2u);
  EXPECT_EQ(singletonTraces.size(), 2u);
}

// Registries come and go while threads keep asking: every round a thread
// makes a local registry in the same place on its stack (a copy of a shared
// prototype, so no registration runs on the workers), asks it and the
// singleton, assigns to it and lets it go. Between phases, with every
// worker waiting, the singleton is torn down and made anew; some threads
// end after each phase and new ones, which may reuse their ids, take over.
class Phases {
 public:
  explicit Phases(int workers) : m_Workers(workers) {}
  // Worker side: waits until phase `phase` is opened; false when stopped.
  bool awaitPhase(int phase) {
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Wake.wait(lock, [&] { return m_Open >= phase || m_bStop; });
    return !m_bStop;
  }
  void finishPhase() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    ++m_Finished;
    m_Wake.notify_all();
  }
  // Main side.
  void open(int phase) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Open = phase;
    m_Finished = 0;
    m_Wake.notify_all();
  }
  void awaitFinished() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Wake.wait(lock, [&] { return m_Finished == m_Workers; });
  }
  void stop() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_bStop = true;
    m_Wake.notify_all();
  }

 private:
  std::mutex m_Mutex;
  std::condition_variable m_Wake;
  int m_Workers;
  int m_Open = -1;
  int m_Finished = 0;
  bool m_bStop = false;
};

void churn(int index, const DbMetaManagerBase& prototype, Ledger& ledger) {
  for (int round = 0; round < 40; ++round) {
    DbMetaManagerBase local(prototype);
    for (int pass = 0; pass < 2; ++pass) {
      for (unsigned short type = 1; type <= 6; ++type) {
        DbMetaBase* meta = local.getMeta(type);
        // After the assignment the registry's own types are not served any
        // more, and the singleton has none of them.
        const bool expected = type > 3 || pass == 0;
        if ((meta != nullptr) != expected) {
          ++ledger.failures;
          continue;
        }
        if (meta == nullptr) continue;
        if (meta->getTypeId() != type || meta->inUse()) {
          ++ledger.failures;
          continue;
        }
        ++ledger.handOuts;
        meta->setObject(testObject(index % 16), 0);
        meta->setDataLong(kLongId, index * 1000 + round);
        if (meta->getData(kLongId)->getLong() != index * 1000 + round) ++ledger.failures;
        meta->clear();
      }
      if (pass == 0) local = prototype;
    }
  }
}

TEST_F(RegistryStress, RegistriesComeAndGoWhileThreadsKeepAsking) {
  registerTestDataModelTypes();
  DbMetaManagerBase prototype;
  for (unsigned short type = 1; type <= 3; ++type) prototype.registerMeta(new StressMeta(type));
  auto registerSingletonTypes = [] {
    DbMetaManager* singleton = DbMetaManager::getInstance();
    for (unsigned short type = 4; type <= 6; ++type) singleton->registerMeta(new StressMeta(type));
  };
  registerSingletonTypes();

  constexpr int kStaying = 4;
  constexpr int kPhases = 4;
  std::vector<Ledger> ledgers(kStaying + kPhases * kStaying);
  Phases phases(kStaying);
  std::vector<std::thread> staying;
  for (int i = 0; i < kStaying; ++i) {
    staying.emplace_back([&, i] {
      for (int phase = 0; phases.awaitPhase(phase); ++phase) {
        churn(i, prototype, ledgers[i]);
        phases.finishPhase();
      }
    });
  }
  for (int phase = 0; phase < kPhases; ++phase) {
    std::vector<std::thread> passing;
    for (int i = 0; i < kStaying; ++i) {
      const int slot = kStaying + phase * kStaying + i;
      passing.emplace_back([&, slot] { churn(slot, prototype, ledgers[slot]); });
    }
    phases.open(phase);
    phases.awaitFinished();
    for (std::thread& thread : passing) thread.join();
    // Nobody uses the singleton now: tear it down and make it anew.
    EXPECT_TRUE(DbMetaManager::getInstance()->check());
    DbMetaManager::deinit();
    registerSingletonTypes();
  }
  phases.stop();
  for (std::thread& thread : staying) thread.join();

  for (const Ledger& ledger : ledgers) {
    EXPECT_EQ(ledger.failures, 0);
    EXPECT_GT(ledger.handOuts, 0);
  }
  EXPECT_TRUE(prototype.check());
}

}  // namespace
