// The grouped hash multimap, and the pool of metas built on it: which meta is
// handed out, how the pool grows, and how it releases its metas.
#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "DbType2MetaMap.h"
#include "RegistryTestSupport.h"
#include "internal/GroupedHashMultimap.h"

using tarvex::internal::GroupedHashMultimap;
using tarvex_test::CountingMeta;
using tarvex_test::report;
using tarvex_test::TraceSwitch;

namespace {

// ---------------------------------------------------------------------------
// GroupedHashMultimap

// Puts every key in one bucket, so grouping cannot lean on the hash.
struct CollidingHash {
  std::size_t operator()(int) const { return 7; }
};

// Throws once its countdown runs out, to fail an insertion half-way.
struct FailingHash {
  static int s_CallsLeft;
  std::size_t operator()(int key) const {
    if (s_CallsLeft >= 0 && s_CallsLeft-- == 0) throw std::runtime_error("hash");
    return std::hash<int>()(key);
  }
};
int FailingHash::s_CallsLeft = -1;

// Checks the multimap against the insertion sequence: entries of one key lie
// together, in insertion order, and equal_range and count agree with that.
template <typename Map>
void expectMatchesInsertions(const Map& map, const std::vector<std::pair<int, int>>& inserted) {
  std::map<int, std::vector<int>> expected;
  for (const auto& entry : inserted) expected[entry.first].push_back(entry.second);

  ASSERT_EQ(map.size(), inserted.size());
  std::set<int> closedKeys;
  int currentKey = 0;
  bool first = true;
  for (const auto& entry : map) {
    if (first || entry.first != currentKey) {
      EXPECT_EQ(closedKeys.count(entry.first), 0u) << "key " << entry.first << " split";
      if (!first) closedKeys.insert(currentKey);
      currentKey = entry.first;
      first = false;
    }
  }
  for (const auto& group : expected) {
    EXPECT_EQ(map.count(group.first), group.second.size());
    std::vector<int> found;
    auto range = map.equal_range(group.first);
    for (auto it = range.first; it != range.second; ++it) {
      EXPECT_EQ(it->first, group.first);
      found.push_back(it->second);
    }
    EXPECT_EQ(found, group.second) << "key " << group.first;
  }
}

std::vector<std::pair<int, int>> interleavedInsertions() {
  std::vector<std::pair<int, int>> inserted;
  for (int i = 0; i < 40; ++i) inserted.emplace_back((i * 7) % 5, i);
  return inserted;
}

template <typename Map>
void insertAll(Map& map, const std::vector<std::pair<int, int>>& inserted) {
  for (const auto& entry : inserted) map.insert(entry.first, entry.second);
}

TEST(GroupedHashMultimap, GroupsEqualKeysInInsertionOrder) {
  const auto inserted = interleavedInsertions();
  GroupedHashMultimap<int, int> map;
  insertAll(map, inserted);
  expectMatchesInsertions(map, inserted);

  GroupedHashMultimap<int, int, CollidingHash> colliding;
  insertAll(colliding, inserted);
  expectMatchesInsertions(colliding, inserted);

  auto missing = map.equal_range(99);
  EXPECT_EQ(missing.first, map.end());
  EXPECT_EQ(missing.second, map.end());
  EXPECT_EQ(map.count(99), 0u);
  EXPECT_EQ(map.size(), inserted.size());
}

TEST(GroupedHashMultimap, CopiesAndMovesKeepAWorkingIndex) {
  const auto inserted = interleavedInsertions();
  GroupedHashMultimap<int, int> original;
  insertAll(original, inserted);

  // A copy whose index still pointed into the original would put these
  // entries into the original's list.
  GroupedHashMultimap<int, int> copy(original);
  auto more = inserted;
  for (int key = 0; key < 6; ++key) {
    copy.insert(key, 100 + key);
    more.emplace_back(key, 100 + key);
  }
  expectMatchesInsertions(original, inserted);
  expectMatchesInsertions(copy, more);

  GroupedHashMultimap<int, int> assigned;
  assigned.insert(9, 9);
  assigned = copy;
  expectMatchesInsertions(assigned, more);

  GroupedHashMultimap<int, int> moved(std::move(copy));
  moved.insert(2, 500);
  more.emplace_back(2, 500);
  expectMatchesInsertions(moved, more);
  EXPECT_EQ(copy.size(), 0u);  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_EQ(copy.count(2), 0u);

  moved.clear();
  EXPECT_EQ(moved.count(2), 0u);
  moved.insert(2, 1);
  expectMatchesInsertions(moved, {{2, 1}});
}

TEST(GroupedHashMultimap, FailedInsertionLeavesMapUnchanged) {
  GroupedHashMultimap<int, int, FailingHash> map;
  map.insert(1, 1);
  map.insert(2, 2);
  // Fail each hashing step of the insertion in turn, until one gets through.
  int failures = 0;
  for (int callsLeft = 0;; ++callsLeft) {
    FailingHash::s_CallsLeft = callsLeft;
    try {
      map.insert(3, 3);
      break;
    } catch (const std::runtime_error&) {
      ++failures;
      expectMatchesInsertions(map, {{1, 1}, {2, 2}});
    }
  }
  FailingHash::s_CallsLeft = -1;
  EXPECT_GE(failures, 2);  // the lookup and the indexing of the new key
  expectMatchesInsertions(map, {{1, 1}, {2, 2}, {3, 3}});
}

// ---------------------------------------------------------------------------
// DbType2MetaMap

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
}

}  // namespace
