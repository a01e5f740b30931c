// The grouped multimap under the meta pools: entries of a key kept together
// in insertion order on a hashed index, copies and moves with a working
// index, removal from the front against a model, the strong guarantee of
// insert, and the memory the index costs against std::unordered_multimap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <unordered_map>
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

// Neighbouring keys (0..4, 63, 64) and keys far apart, up to the highest.
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

  // Keys that the index's hash puts into one slot stay apart.
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
  // New keys, which make the index grow (two keys fill four slots to half),
  // and a known key: each fails on its entry's copy, after the index has
  // made room for it.
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

// Random insertions, removals from the front and clears, keys over the whole
// 16-bit range and from a few crowded ones, against a plain list in which
// each key's entries are kept together by hand.
TEST(GroupedMultimap, RandomOperationsMatchAModel) {
  std::mt19937 random(2718);
  std::uniform_int_distribution<unsigned> anyKey(0, 0xFFFF);
  std::uniform_int_distribution<unsigned> percent(0, 99);
  std::uniform_int_distribution<unsigned> rare(0, 4999);
  const std::vector<Key> crowded{0, 1, 64, 0xFFFF, 0x8000, 0x9E37};
  GroupedMultimap<Key, int> map;
  Insertions model;  // in list order
  std::vector<Key> seen;
  for (int step = 0; step < 20000; ++step) {
    // Phases of growth and shrinking, so the index grows large and empties.
    const bool growing = (step / 2500) % 2 == 0;
    const unsigned roll = percent(random);
    if (rare(random) == 0) {
      map.clear();
      model.clear();
    } else if (roll < (growing ? 75u : 25u) || model.empty()) {
      Key key;
      if (roll % 5 == 0 && !seen.empty()) {
        key = seen[anyKey(random) % seen.size()];
      } else if (roll % 5 == 1) {
        key = crowded[anyKey(random) % crowded.size()];
      } else {
        key = static_cast<Key>(anyKey(random));
      }
      seen.push_back(key);
      const auto last = std::find_if(model.rbegin(), model.rend(),
                                     [key](const auto& entry) { return entry.first == key; });
      model.emplace(last == model.rend() ? model.end() : last.base(), key, step);
      map.insert(key, step);
    } else {
      ASSERT_EQ(map.begin()->first, model.front().first);
      ASSERT_EQ(map.begin()->second, model.front().second);
      map.pop_front();
      model.erase(model.begin());
    }
    ASSERT_TRUE(std::equal(
        map.begin(), map.end(), model.begin(), model.end(),
        [](const auto& a, const auto& b) { return a.first == b.first && a.second == b.second; }))
        << "step " << step;
    if (step % 97 == 0) {
      expectMatchesInsertions(map, model);
      for (int probe = 0; probe < 64; ++probe) {
        const Key key = static_cast<Key>(anyKey(random));
        const auto inModel = static_cast<std::size_t>(std::count_if(
            model.begin(), model.end(), [key](const auto& entry) { return entry.first == key; }));
        ASSERT_EQ(map.count(key), inModel) << key;
        ASSERT_EQ(map.find(key) == map.end(), inModel == 0) << key;
      }
    }
  }
}

// Bytes held through an allocator, whatever type it is rebound to.
std::size_t g_LiveBytes = 0;

template <typename T>
struct CountingAllocator {
  using value_type = T;
  CountingAllocator() = default;
  template <typename U>
  CountingAllocator(const CountingAllocator<U>&) noexcept {}  // NOLINT: converting
  T* allocate(std::size_t n) {
    g_LiveBytes += n * sizeof(T);
    return std::allocator<T>().allocate(n);
  }
  void deallocate(T* pointer, std::size_t n) noexcept {
    g_LiveBytes -= n * sizeof(T);
    std::allocator<T>().deallocate(pointer, n);
  }
  template <typename U>
  bool operator==(const CountingAllocator<U>&) const noexcept {
    return true;
  }
  template <typename U>
  bool operator!=(const CountingAllocator<U>&) const noexcept {
    return false;
  }
};

template <typename Map>
std::size_t bytesHolding(const std::vector<Key>& keys) {
  const std::size_t before = g_LiveBytes;
  Map map;
  for (Key key : keys) map.insert({key, nullptr});
  return g_LiveBytes - before;
}

// The index grows with the number of keys, not their spread: a pool costs
// at most half as much again as the standard hash multimap of its entries.
TEST(GroupedMultimap, MemoryStaysWithinHalfAgainOfTheStandardHashMultimap) {
  using Entry = std::pair<const Key, const void*>;
  using Ours = GroupedMultimap<Key, const void*, CountingAllocator<Entry>>;
  using Standard = std::unordered_multimap<Key, const void*, std::hash<Key>, std::equal_to<Key>,
                                           CountingAllocator<Entry>>;
  std::vector<Key> onePerPage;
  for (unsigned key = 0; key <= 0xFFFF; key += 64) onePerPage.push_back(static_cast<Key>(key));
  std::vector<Key> spread;
  for (unsigned i = 0; i < 5000; ++i) spread.push_back(static_cast<Key>(i * 13 % 0x10000));
  // A pool of one meta per type, as the registry holds at 10, 1,000 and
  // 60,000 types.
  auto firstTypes = [](unsigned count) {
    std::vector<Key> keys;
    for (unsigned key = 1; key <= count; ++key) keys.push_back(static_cast<Key>(key));
    return keys;
  };
  const std::pair<const char*, std::vector<Key>> cases[] = {
      {"one key 65535", {0xFFFF}},
      {"10 types", firstTypes(10)},
      {"1,000 types", firstTypes(1000)},
      {"60,000 types", firstTypes(60000)},
      {"1,024 keys, one per 64 ids", onePerPage},
      {"5,000 spread keys", spread},
      {"5,000 spread keys, two entries each", [&] {
         std::vector<Key> twice = spread;
         twice.insert(twice.end(), spread.begin(), spread.end());
         return twice;
       }()}};
  for (const auto& [name, keys] : cases) {
    const std::size_t ours = bytesHolding<Ours>(keys);
    const std::size_t standard = bytesHolding<Standard>(keys);
    std::cout << "[ memory  ] " << name << ": " << ours << " bytes, std::unordered_multimap "
              << standard << "\n";
    EXPECT_LE(2 * ours, 3 * standard) << name;
    EXPECT_EQ(g_LiveBytes, 0u) << name;
  }
}

}  // namespace
