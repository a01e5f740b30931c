// The pool of metas: which meta is handed out, how the pool grows, and how it
// releases its metas.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "DbType2MetaMap.h"
#include "RegistryTestSupport.h"

using tarvex_test::CountingMeta;
using tarvex_test::report;
using tarvex_test::TraceSwitch;

namespace {

class Pool : public tarvex_test::RegistryFixture {
 protected:
  // Adds a CountingMeta of `typeId` under `key` and returns it.
  CountingMeta* add(DbType2MetaMap& pool, unsigned short key, unsigned short typeId) {
    auto* meta = new CountingMeta(typeId);
    pool.adoptMeta(key, meta);
    return meta;
  }
  static std::vector<DbMetaBase*> metasOf(const DbType2MetaMap& pool, unsigned short key) {
    std::vector<DbMetaBase*> metas;
    auto range = pool.equal_range(key);
    for (auto it = range.first; it != range.second; ++it) metas.push_back(it->second);
    return metas;
  }
};

TEST_F(Pool, HandsOutOldestFreeAndGrowsFromNewestWhenAllBusy) {
  DbType2MetaMap pool;
  CountingMeta* m1 = add(pool, 4, 4);
  CountingMeta* m2 = add(pool, 4, 4);
  add(pool, 6, 6);

  EXPECT_EQ(pool.getFreeMeta(4), m1);
  EXPECT_EQ(pool.getFreeMeta(4), m1);  // handing out does not mark it
  m1->setObject(tarvex_test::testObject(1), 0);
  EXPECT_EQ(pool.getFreeMeta(4), m2);
  m2->setObject(tarvex_test::testObject(2), 0);

  auto* m3 = static_cast<CountingMeta*>(pool.getFreeMeta(4));
  ASSERT_NE(m3, nullptr);
  EXPECT_EQ(m3->madeFrom(), m2);
  EXPECT_EQ(m1->createCalls(), 0);
  EXPECT_EQ(metasOf(pool, 4), (std::vector<DbMetaBase*>{m1, m2, m3}));
  EXPECT_EQ(pool.size(), 4u);

  m1->clear();
  EXPECT_EQ(pool.getFreeMeta(4), m1);
  EXPECT_EQ(pool.size(), 4u);
}

TEST_F(Pool, GrowsOnlyForHeldTypesUnderTheKeyAskedFor) {
  DbType2MetaMap pool;
  EXPECT_EQ(pool.getFreeMeta(9), nullptr);
  CountingMeta* foreign = add(pool, 9, 5);
  foreign->setObject(tarvex_test::testObject(0), 0);
  EXPECT_EQ(pool.getFreeMeta(5), nullptr);  // its meta's type, but never a key
  EXPECT_EQ(pool.size(), 1u);
  EXPECT_EQ(foreign->createCalls(), 0);

  DbMetaBase* grown = pool.getFreeMeta(9);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(grown->getTypeId(), 5);
  EXPECT_EQ(pool.count(9), 2u);
  EXPECT_EQ(pool.count(5), 0u);
}

TEST_F(Pool, FailingFactoryLeavesPoolUnchanged) {
  DbType2MetaMap pool;
  CountingMeta* busy = add(pool, 4, 4);
  busy->setObject(tarvex_test::testObject(0), 0);

  busy->setFactory(CountingMeta::Factory::ReturnsNull);
  EXPECT_EQ(pool.getFreeMeta(4), nullptr);
  EXPECT_EQ(
      assertions(),
      (std::vector<std::string>{report("VORASSERT (pNewMeta) failed", ".\\DbType2MetaMap", 48)}));
  EXPECT_EQ(pool.size(), 1u);

  busy->setFactory(CountingMeta::Factory::Throws);
  EXPECT_THROW(pool.getFreeMeta(4), std::bad_alloc);
  EXPECT_EQ(pool.size(), 1u);

  busy->setFactory(CountingMeta::Factory::Works);
  EXPECT_NE(pool.getFreeMeta(4), nullptr);
  EXPECT_EQ(pool.size(), 2u);
}

TEST_F(Pool, DeleteAllMetasTracesMetasNotGivenBackAndDeletesAll) {
  TraceSwitch on(true);
  const int liveBefore = CountingMeta::live();
  DbType2MetaMap pool;
  add(pool, 1, 1);                          // free
  CountingMeta* bound = add(pool, 2, 2);    // in use, holding an object
  CountingMeta* dropped = add(pool, 3, 3);  // in use, object released
  CountingMeta* kept = add(pool, 4, 4);     // given back, object still held
  bound->setObject(tarvex_test::testObject(1), 0);
  dropped->setObject(tarvex_test::testObject(2), 0);
  dropped->releaseObject();
  kept->setObject(tarvex_test::testObject(3), 0);
  kept->TestMeta::clear();

  // The expected order follows the pool's order of types, which is its own.
  std::vector<std::string> expected;
  const std::string name = tarvex_test::narrow(tarvex_test::countingMetaClassName());
  for (const auto& entry : pool) {
    if (entry.second->inUse()) {
      expected.push_back(
          report("Meta " + name + " wurde nicht freigegeben!", ".\\DbType2MetaMap", 61));
    }
    if (entry.second->getObject() != nullptr) {
      expected.push_back(
          report("Objekt in Meta " + name + " wurde nicht freigegeben!", ".\\DbType2MetaMap", 67));
    }
  }
  ASSERT_EQ(expected.size(), 4u);

  pool.deleteAllMetas();
  EXPECT_EQ(traces(), expected);
  for (const TraceRecord& record : m_Capture.traces()) EXPECT_EQ(record.category, L"Meta");
  EXPECT_EQ(CountingMeta::live(), liveBefore);
  EXPECT_EQ(pool.size(), 0u);
  for (unsigned short type = 0; type < 8; ++type) EXPECT_EQ(pool.getFreeMeta(type), nullptr);

  // Still usable afterwards.
  CountingMeta* again = add(pool, 1, 1);
  EXPECT_EQ(pool.getFreeMeta(1), again);
}

TEST_F(Pool, ReleasesSilentlyWithTraceOffAndOnDestruction) {
  const int liveBefore = CountingMeta::live();
  {
    DbType2MetaMap pool;
    add(pool, 1, 1)->setObject(tarvex_test::testObject(0), 0);
    add(pool, 1, 1);
    pool.deleteAllMetas();
    EXPECT_EQ(CountingMeta::live(), liveBefore);
    add(pool, 2, 2)->setObject(tarvex_test::testObject(1), 0);
  }
  EXPECT_EQ(CountingMeta::live(), liveBefore);
  EXPECT_TRUE(m_Capture.records().empty());

  // A pool destroyed on its own, not through a registry, traces as well.
  TraceSwitch on(true);
  {
    DbType2MetaMap pool;
    add(pool, 1, 1)->setObject(tarvex_test::testObject(0), 0);
    add(pool, 1, 1);
    add(pool, 2, 2)->setObject(tarvex_test::testObject(1), 0);
  }
  const std::string name = tarvex_test::narrow(tarvex_test::countingMetaClassName());
  const auto notGivenBack =
      report("Meta " + name + " wurde nicht freigegeben!", ".\\DbType2MetaMap", 61);
  const auto objectHeld =
      report("Objekt in Meta " + name + " wurde nicht freigegeben!", ".\\DbType2MetaMap", 67);
  EXPECT_EQ(traces(),
            (std::vector<std::string>{notGivenBack, objectHeld, notGivenBack, objectHeld}));
  EXPECT_EQ(CountingMeta::live(), liveBefore);
}

TEST_F(Pool, ThrowingTraceLeavesEveryMetaOwnedOnce) {
  TraceSwitch on(true);
  const int liveBefore = CountingMeta::live();
  {
    DbType2MetaMap pool;
    add(pool, 1, 1);  // free: deleted before the first trace
    CountingMeta* busy = add(pool, 2, 2);
    CountingMeta* behind = add(pool, 3, 3);
    busy->setObject(tarvex_test::testObject(1), 0);
    tarvex_test::ThrowingSink sink;
    EXPECT_THROW(pool.deleteAllMetas(), std::runtime_error);
    // What was deleted left the pool; the rest is still held, exactly once.
    EXPECT_EQ(CountingMeta::live(), liveBefore + 2);
    EXPECT_EQ(metasOf(pool, 1), std::vector<DbMetaBase*>{});
    EXPECT_EQ(metasOf(pool, 2), std::vector<DbMetaBase*>{busy});
    EXPECT_EQ(metasOf(pool, 3), std::vector<DbMetaBase*>{behind});
    // The destructor meets the throwing sink too and lets nothing escape.
  }
  EXPECT_EQ(CountingMeta::live(), liveBefore);
}

}  // namespace
