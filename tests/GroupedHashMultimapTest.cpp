// The grouped hash multimap under the meta pools: entries of a key kept
// together in insertion order, copies and moves with a working index, and
// the strong guarantee of insert.
#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

#include "internal/GroupedHashMultimap.h"

using tarvex::internal::GroupedHashMultimap;

namespace {

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

}  // namespace
