/// GroupedHashMultimap: a hash multimap whose entries form one list in which
/// the entries of a key lie together, in the order they were added.
///
/// The entries are one std::list<std::pair<const K, V>>; a hash index maps
/// each key to the first and last entry of its group. A new entry goes behind
/// the existing ones of its key (a new key goes to the end of the list), so a
/// walk over equal_range(key) yields the entries of the key oldest first.
/// List iterators stay valid across insertions; clear() invalidates them.
///
/// Lookups (find by key, count, equal_range) allocate nothing; insert
/// allocates a list node and, for a new key, an index node.
///
/// Thread safety: none; one object is used by one thread at a time.
/// Exception safety: insert gives the strong guarantee.
///
/// REQUIRES: Hash agrees with K's operator== (equal keys, equal hashes).
#pragma once

#include <cstddef>
#include <functional>
#include <iterator>
#include <list>
#include <unordered_map>
#include <utility>

namespace tarvex::internal {

template <typename K, typename V, typename Hash = std::hash<K>>
class GroupedHashMultimap {
 public:
  using key_type = K;
  using mapped_type = V;
  using value_type = std::pair<const K, V>;
  using List = std::list<value_type>;
  using iterator = typename List::iterator;
  using const_iterator = typename List::const_iterator;
  using size_type = std::size_t;

  GroupedHashMultimap() = default;
  /// The index refers into the list, so a copy rebuilds it.
  GroupedHashMultimap(const GroupedHashMultimap& other) {
    for (const value_type& entry : other.m_Entries) insert(entry.first, entry.second);
  }
  /// Swapping lists keeps their iterators valid, so the index can be taken over.
  GroupedHashMultimap(GroupedHashMultimap&& other) noexcept { swap(other); }
  GroupedHashMultimap& operator=(const GroupedHashMultimap& other) {
    if (this != &other) {
      GroupedHashMultimap copy(other);
      swap(copy);
    }
    return *this;
  }
  GroupedHashMultimap& operator=(GroupedHashMultimap&& other) noexcept {
    if (this != &other) {
      GroupedHashMultimap taken(std::move(other));
      swap(taken);
    }
    return *this;
  }
  ~GroupedHashMultimap() = default;

  void swap(GroupedHashMultimap& other) noexcept {
    m_Entries.swap(other.m_Entries);
    m_Index.swap(other.m_Index);
  }

  /// Adds (key, value) behind the entries of `key`; returns the new entry.
  iterator insert(const K& key, const V& value) {
    auto group = m_Index.find(key);
    if (group != m_Index.end()) {
      iterator added = m_Entries.emplace(std::next(group->second.last), key, value);
      group->second.last = added;
      ++group->second.count;
      return added;
    }
    m_Entries.emplace_back(key, value);
    iterator added = std::prev(m_Entries.end());
    try {
      m_Index.emplace(key, Group{added, added, 1});
    } catch (...) {
      m_Entries.pop_back();
      throw;
    }
    return added;
  }
  iterator insert(const value_type& entry) { return insert(entry.first, entry.second); }

  /// The entries of `key`, oldest first; an empty range at end() if none.
  std::pair<iterator, iterator> equal_range(const K& key) {
    auto group = m_Index.find(key);
    if (group == m_Index.end()) return {m_Entries.end(), m_Entries.end()};
    return {group->second.first, std::next(group->second.last)};
  }
  std::pair<const_iterator, const_iterator> equal_range(const K& key) const {
    auto group = m_Index.find(key);
    if (group == m_Index.end()) return {m_Entries.cend(), m_Entries.cend()};
    return {const_iterator(group->second.first), std::next(const_iterator(group->second.last))};
  }

  size_type count(const K& key) const {
    auto group = m_Index.find(key);
    return group == m_Index.end() ? 0 : group->second.count;
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
    m_Index.clear();
    m_Entries.clear();
  }

 private:
  struct Group {
    iterator first;
    iterator last;  // inclusive, so that insertion behind it needs no search
    size_type count;
  };

  List m_Entries;
  std::unordered_map<K, Group, Hash> m_Index;
};

}  // namespace tarvex::internal
