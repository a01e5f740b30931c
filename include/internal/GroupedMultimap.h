/// GroupedMultimap: a multimap from 16-bit keys whose entries form one list in
/// which the entries of a key lie together, in the order they were added.
///
/// The entries are one std::list<std::pair<const K, V>>; an index maps each
/// key to the first and last entry of its group. A new entry goes behind the
/// existing ones of its key (a new key goes to the end of the list), so a walk
/// over equal_range(key) yields the entries of the key oldest first. List
/// iterators stay valid across insertions; clear() invalidates them.
///
/// The index is a page table, not a hash: the key's high bits pick a page,
/// its low bits a slot there, and the slot numbers the key's group. A look-up
/// is a bounds check and three array reads, with no hashing and no division.
/// Pages exist only for the ranges of keys in use, so a few dozen keys below
/// a few thousand take a few hundred bytes of pages; any set of 16-bit keys
/// takes at most kPages pages.
///
/// Lookups (find by key, count, equal_range) allocate nothing; insert
/// allocates a list node and, for a new key, possibly a page and group room.
///
/// Thread safety: none; one object is used by one thread at a time.
/// Exception safety: insert gives the strong guarantee (a page it allocated
/// may stay, empty, which no look-up can tell); pop_front and clear throw
/// nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <list>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace tarvex::internal {

template <typename K, typename V>
class GroupedMultimap {
  static_assert(std::is_unsigned_v<K> && sizeof(K) <= 2, "keys are 16-bit unsigned numbers");

 public:
  using key_type = K;
  using mapped_type = V;
  using value_type = std::pair<const K, V>;
  using List = std::list<value_type>;
  using iterator = typename List::iterator;
  using const_iterator = typename List::const_iterator;
  using size_type = std::size_t;

  GroupedMultimap() = default;
  /// The index refers into the list, so a copy rebuilds it.
  GroupedMultimap(const GroupedMultimap& other) {
    for (const value_type& entry : other.m_Entries) insert(entry.first, entry.second);
  }
  /// Swapping lists keeps their iterators valid, so the index can be taken over.
  GroupedMultimap(GroupedMultimap&& other) noexcept { swap(other); }
  GroupedMultimap& operator=(const GroupedMultimap& other) {
    if (this != &other) {
      GroupedMultimap copy(other);
      swap(copy);
    }
    return *this;
  }
  GroupedMultimap& operator=(GroupedMultimap&& other) noexcept {
    if (this != &other) {
      GroupedMultimap taken(std::move(other));
      swap(taken);
    }
    return *this;
  }
  ~GroupedMultimap() = default;

  void swap(GroupedMultimap& other) noexcept {
    m_Entries.swap(other.m_Entries);
    m_Pages.swap(other.m_Pages);
    m_Groups.swap(other.m_Groups);
  }

  /// Adds (key, value) behind the entries of `key`; returns the new entry.
  iterator insert(const K& key, const V& value) {
    if (Group* group = findGroup(key)) {
      iterator added = m_Entries.emplace(std::next(group->last), key, value);
      group->last = added;
      ++group->count;
      return added;
    }
    /// Everything that can throw comes before the first change anyone sees.
    std::uint32_t& slot = slotFor(key);
    if (m_Groups.size() == m_Groups.capacity()) m_Groups.reserve(2 * m_Groups.size() + 4);
    m_Entries.emplace_back(key, value);
    iterator added = std::prev(m_Entries.end());
    m_Groups.push_back(Group{added, added, 1});
    slot = static_cast<std::uint32_t>(m_Groups.size());
    return added;
  }
  iterator insert(const value_type& entry) { return insert(entry.first, entry.second); }

  /// Removes the first entry of the list, which is the oldest of its key.
  /// REQUIRES: !empty().
  void pop_front() noexcept {
    const K key = m_Entries.front().first;
    Group& group = *findGroup(key);
    if (--group.count != 0) {
      ++group.first;
    } else {
      /// The last group takes the freed place, so the groups stay dense.
      std::uint32_t& slot = (*m_Pages[pageOf(key)])[key & kSlotMask];
      const std::uint32_t freed = slot;
      slot = 0;
      if (freed != m_Groups.size()) {
        m_Groups[freed - 1] = m_Groups.back();
        const K moved = m_Groups.back().first->first;
        (*m_Pages[pageOf(moved)])[moved & kSlotMask] = freed;
      }
      m_Groups.pop_back();
    }
    m_Entries.pop_front();
  }

  /// The entries of `key`, oldest first; an empty range at end() if none.
  std::pair<iterator, iterator> equal_range(const K& key) {
    Group* group = findGroup(key);
    if (group == nullptr) return {m_Entries.end(), m_Entries.end()};
    return {group->first, std::next(group->last)};
  }
  std::pair<const_iterator, const_iterator> equal_range(const K& key) const {
    const Group* group = findGroup(key);
    if (group == nullptr) return {m_Entries.cend(), m_Entries.cend()};
    return {const_iterator(group->first), std::next(const_iterator(group->last))};
  }

  /// The oldest entry of `key` and the number of its entries; (end(), 0) if
  /// none. The entries are that one and the count - 1 following it.
  std::pair<iterator, size_type> group(const K& key) noexcept {
    const std::uint32_t number = groupNumber(key);
    if (number == 0) return {m_Entries.end(), 0};
    const Group& found = m_Groups[number - 1];
    return {found.first, found.count};
  }
  std::pair<const_iterator, size_type> group(const K& key) const noexcept {
    const std::uint32_t number = groupNumber(key);
    if (number == 0) return {m_Entries.cend(), 0};
    const Group& found = m_Groups[number - 1];
    return {const_iterator(found.first), found.count};
  }

  size_type count(const K& key) const {
    const Group* group = findGroup(key);
    return group == nullptr ? 0 : group->count;
  }

  size_type size() const { return m_Entries.size(); }
  bool empty() const { return m_Entries.empty(); }

  const_iterator begin() const { return m_Entries.cbegin(); }
  const_iterator end() const { return m_Entries.cend(); }
  const_iterator cbegin() const { return m_Entries.cbegin(); }
  const_iterator cend() const { return m_Entries.cend(); }
  iterator begin() { return m_Entries.begin(); }
  iterator end() { return m_Entries.end(); }

  void clear() noexcept {
    m_Pages.clear();
    m_Groups.clear();
    m_Entries.clear();
  }

 private:
  /// 64 slots of 4 bytes: one page covers 64 consecutive keys in 256 bytes.
  static constexpr unsigned kSlotBits = 6;
  static constexpr std::size_t kSlotMask = (std::size_t{1} << kSlotBits) - 1;
  static constexpr std::size_t kPages = std::size_t{1} << (16 - kSlotBits);

  struct Group {
    iterator first;
    iterator last;  // inclusive, so that insertion behind it needs no search
    size_type count;
  };
  /// Slot value: 0 for a key without entries, else its group's number + 1.
  using Page = std::array<std::uint32_t, std::size_t{1} << kSlotBits>;

  static std::size_t pageOf(K key) { return static_cast<std::size_t>(key) >> kSlotBits; }

  Group* findGroup(K key) noexcept {
    return const_cast<Group*>(static_cast<const GroupedMultimap*>(this)->findGroup(key));
  }
  const Group* findGroup(K key) const noexcept {
    const std::uint32_t number = groupNumber(key);
    return number == 0 ? nullptr : &m_Groups[number - 1];
  }
  /// The key's slot value: 0 for a key without entries.
  std::uint32_t groupNumber(K key) const noexcept {
    const std::size_t page = pageOf(key);
    if (page >= m_Pages.size()) return 0;
    const Page* slots = m_Pages[page].get();
    return slots == nullptr ? 0 : (*slots)[key & kSlotMask];
  }
  /// The key's slot, making its page (and the directory up to it) if need be.
  std::uint32_t& slotFor(K key) {
    const std::size_t page = pageOf(key);
    if (page >= m_Pages.size()) m_Pages.resize(page + 1);
    if (m_Pages[page] == nullptr) m_Pages[page] = std::make_unique<Page>();
    return (*m_Pages[page])[key & kSlotMask];
  }

  List m_Entries;
  /// Directory of pages, as long as the highest page in use (at most kPages).
  std::vector<std::unique_ptr<Page>> m_Pages;
  std::vector<Group> m_Groups;
};

}  // namespace tarvex::internal
