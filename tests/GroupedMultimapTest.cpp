// The grouped multimap under the meta pools: entries of a key kept together
// in insertion order on a paged index, copies and moves with a working
// index, removal from the front, and the strong guarantee of insert.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

#include "internal/GroupedMultimap.h"

using tarvex::internal::GroupedMultimap;

namespace {

using Key = unsigned short;
using Insertions = std::vector<std::pair<Key, int>>;

// A value whose copy throws once its countdown runs out, to fail an
// insertion after the index has made room for a new key.
struct FailingValue {
  static int s_CopiesLeft;
  int value;
  explicit FailingValue(int v) : value(v) {}
  FailingValue(const FailingValue& other) : value(other.value) {
    if (s_CopiesLeft >= 0 && s_CopiesLeft-- == 0) throw std::runtime_error("copy");
  }
  FailingValue& operator=(const FailingValue&) = default;
  bool operator==(const FailingValue& other) const { return value == other.value; }
};
int FailingValue::s_CopiesLeft = -1;

int plain(int value) { return value; }
int plain(const FailingValue& value) { return value.value; }

// Checks the multimap against the insertion sequence: entries of one key lie
// together, in insertion order, and equal_range and count agree with that.
template <typename Map>
void expectMatchesInsertions(const Map& map, const Insertions& inserted) {
  std::map<Key, std::vector<int>> expected;
  for (const auto& entry : inserted) expected[entry.first].push_back(entry.second);

  ASSERT_EQ(map.size(), inserted.size());
  std::set<Key> closedKeys;
  Key currentKey = 0;
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
      found.push_back(plain(it->second));
    }
    EXPECT_EQ(found, group.second) << "key " << group.first;
    const auto [oldest, count] = map.group(group.first);
    EXPECT_EQ(oldest, range.first);
    EXPECT_EQ(count, group.second.size());
  }
}

// Keys interleaved on one page (0..4), on neighbouring pages (63, 64) and
// far apart, up to the highest key.
Insertions interleavedInsertions() {
  const Key keys[] = {0, 1, 2, 3, 4, 63, 64, 4095, 40000, 65535};
  Insertions inserted;
  for (int i = 0; i < 60; ++i) inserted.emplace_back(keys[(i * 7) % 10], i);
  return inserted;
}

template <typename Map>
void insertAll(Map& map, const Insertions& inserted) {
  for (const auto& entry : inserted) map.insert(entry.first, entry.second);
}

TEST(GroupedMultimap, GroupsEqualKeysInInsertionOrder) {
  const auto inserted = interleavedInsertions();
  GroupedMultimap<Key, int> map;
  insertAll(map, inserted);
  expectMatchesInsertions(map, inserted);

  // Keys that share a slot number on different pages stay apart.
  GroupedMultimap<Key, int> sameSlot;
  const Insertions aliases{{5, 1}, {69, 2}, {5, 3}, {65477, 4}, {69, 5}};
  insertAll(sameSlot, aliases);
  expectMatchesInsertions(sameSlot, aliases);

  for (Key missing : {Key{99}, Key{65}, Key{65534}}) {
    auto range = map.equal_range(missing);
    EXPECT_EQ(range.first, map.end());
    EXPECT_EQ(range.second, map.end());
    EXPECT_EQ(map.count(missing), 0u);
    EXPECT_EQ(map.group(missing), std::make_pair(map.end(), std::size_t{0}));
  }
  EXPECT_EQ(map.size(), inserted.size());
}

TEST(GroupedMultimap, CopiesAndMovesKeepAWorkingIndex) {
  const auto inserted = interleavedInsertions();
  GroupedMultimap<Key, int> original;
  insertAll(original, inserted);

  // A copy whose index still pointed into the original would put these
  // entries into the original's list.
  GroupedMultimap<Key, int> copy(original);
  auto more = inserted;
  for (Key key : {0, 1, 2, 3, 4, 5, 4095}) {
    copy.insert(key, 100 + key);
    more.emplace_back(key, 100 + key);
  }
  expectMatchesInsertions(original, inserted);
  expectMatchesInsertions(copy, more);

  GroupedMultimap<Key, int> assigned;
  assigned.insert(9, 9);
  assigned = copy;
  expectMatchesInsertions(assigned, more);

  GroupedMultimap<Key, int> moved(std::move(copy));
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

TEST(GroupedMultimap, FailedInsertionLeavesMapUnchanged) {
  GroupedMultimap<Key, FailingValue> map;
  map.insert(1, FailingValue(1));
  map.insert(2, FailingValue(2));
  // A new key on a new page, a new key on a known page, a known key: each
  // fails on its entry's copy, after the index has made room for it.
  for (Key key : {Key{30000}, Key{3}, Key{1}}) {
    FailingValue::s_CopiesLeft = 0;
    EXPECT_THROW(map.insert(key, FailingValue(7)), std::runtime_error);
    FailingValue::s_CopiesLeft = -1;
    expectMatchesInsertions(map, {{1, 1}, {2, 2}});
  }
  map.insert(30000, FailingValue(3));
  expectMatchesInsertions(map, {{1, 1}, {2, 2}, {30000, 3}});
}

TEST(GroupedMultimap, PopFrontRemovesTheOldestEntryAndKeepsTheRestFound) {
  // Whole groups leave from anywhere in the index, which moves another
  // group into their place; keys that left come back as new groups.
  auto remaining = interleavedInsertions();
  GroupedMultimap<Key, int> map;
  insertAll(map, remaining);
  for (int popped = 0; !map.empty(); ++popped) {
    const Key key = map.begin()->first;
    const int value = map.begin()->second;
    map.pop_front();
    auto oldest = std::find_if(remaining.begin(), remaining.end(),
                               [key](const auto& entry) { return entry.first == key; });
    ASSERT_NE(oldest, remaining.end());
    EXPECT_EQ(oldest->second, value);
    remaining.erase(oldest);
    if (popped < 12 && map.count(key) == 0) {
      map.insert(key, 1000 + popped);
      remaining.emplace_back(key, 1000 + popped);
    }
    expectMatchesInsertions(map, remaining);
  }
}

}  // namespace
