/// GroupedMultimap: a multimap from 16-bit keys whose entries form one list in
/// which the entries of a key lie together, in the order they were added.
///
/// The entries are one std::list<std::pair<const K, V>>; an index maps each
/// key to the first entry of its group. A new entry goes behind the existing
/// ones of its key (a new key goes to the end of the list), so a walk from
/// find(key) while the key stays the same yields the entries of the key
/// oldest first. List iterators stay valid across insertions; clear()
/// invalidates them.
///
/// The index is an open-addressing hash table of list iterators, one slot
/// per key present: a multiplicative hash picks the first slot, linear
/// probing the next ones, and a slot's key is read from the entry it names,
/// which the caller reads next anyway. Its capacity is the smallest power of
/// two that keeps it at most three quarters full: with one entry per key the
/// whole map then stays within half as much again as a standard hash
/// multimap of the same entries, also for a few keys. Its memory thus
/// follows the number of keys, never their spread: 8 bytes and one bit per
/// slot, at most 2^17 slots for all 65536 keys. A look-up allocates nothing.
///
/// Every allocation, list nodes and index alike, goes through `Allocator`
/// (rebound with std::allocator_traits).
///
/// Thread safety: none; one object is used by one thread at a time.
/// Exception safety: insert gives the strong guarantee (a larger index is
/// allocated before anything changes); pop_front and clear throw nothing.
/// Complexity: insert of a known key walks that key's entries to its last;
/// insertBehind walks only from the entry it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <list>
#include <memory>
#include <type_traits>
#include <utility>

namespace tarvex::internal {

template <typename K, typename V, typename Allocator = std::allocator<std::pair<const K, V>>>
class GroupedMultimap {
  static_assert(std::is_unsigned_v<K> && sizeof(K) <= 2, "keys are 16-bit unsigned numbers");

 public:
  using key_type = K;
  using mapped_type = V;
  using value_type = std::pair<const K, V>;
  using allocator_type =
      typename std::allocator_traits<Allocator>::template rebind_alloc<value_type>;
  using List = std::list<value_type, allocator_type>;
  using iterator = typename List::iterator;
  using const_iterator = typename List::const_iterator;
  using size_type = std::size_t;

  GroupedMultimap() = default;
  explicit GroupedMultimap(const allocator_type& allocator) : m_Entries(allocator) {}
  /// The index refers into the list, so a copy builds one of its own.
  GroupedMultimap(const GroupedMultimap& other) : m_Entries(other.m_Entries) {
    Index index = Index::forKeys(other.m_Index.keys, m_Entries.get_allocator());
    for (iterator entry = m_Entries.begin(); entry != m_Entries.end(); ++entry) {
      if (entry == m_Entries.begin() || std::prev(entry)->first != entry->first) {
        index.add(entry);
      }
    }
    m_Index.swap(index);
  }
  /// Swapping lists keeps their iterators valid, so the index can be taken over.
  GroupedMultimap(GroupedMultimap&& other) noexcept : m_Entries(other.m_Entries.get_allocator()) {
    swap(other);
  }
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
  ~GroupedMultimap() { m_Index.release(m_Entries.get_allocator()); }

  /// REQUIRES: both use equal allocators.
  void swap(GroupedMultimap& other) noexcept {
    m_Entries.swap(other.m_Entries);
    m_Index.swap(other.m_Index);
  }

  /// Adds (key, value) behind the entries of `key`; returns the new entry.
  iterator insert(const K& key, const V& value) {
    const iterator first = find(key);
    if (first != m_Entries.end()) {
      return m_Entries.emplace(groupEnd(first, m_Entries.end()), key, value);
    }
    // Everything that can throw comes before the first change anyone sees.
    Index grown;
    if (m_Index.full()) {
      grown = Index::forKeys(m_Index.keys + 1, m_Entries.get_allocator());
    }
    try {
      m_Entries.emplace_back(key, value);
    } catch (...) {
      grown.release(m_Entries.get_allocator());
      throw;
    }
    if (grown.capacity != 0) {
      m_Index.moveInto(grown);
      m_Index.release(m_Entries.get_allocator());
      m_Index.swap(grown);
    }
    const iterator added = std::prev(m_Entries.end());
    m_Index.add(added);
    return added;
  }
  iterator insert(const value_type& entry) { return insert(entry.first, entry.second); }

  /// Adds (key, value) behind the entries of `key`, walking to the group's
  /// end from `hint` instead of from its oldest entry: a caller that holds
  /// the newest entry (or one near it) adds without a walk.
  /// REQUIRES: `hint` is an entry of `key`.
  iterator insertBehind(iterator hint, const K& key, const V& value) {
    return m_Entries.emplace(groupEnd(hint, m_Entries.end()), key, value);
  }

  /// Removes `entry`; the other entries keep their order and stay found.
  void erase(iterator entry) noexcept {
    const std::size_t slot = m_Index.slotOf(entry->first);
    if (m_Index.slots[slot] == entry) {
      const iterator next = std::next(entry);
      if (next != m_Entries.end() && next->first == entry->first) {
        m_Index.slots[slot] = next;
      } else {
        m_Index.erase(slot);
      }
    }
    m_Entries.erase(entry);
  }

  /// Removes the first entry of the list, which is the oldest of its key.
  /// REQUIRES: !empty().
  void pop_front() noexcept { erase(m_Entries.begin()); }

  /// The oldest entry of `key`, or end() if none.
  iterator find(const K& key) noexcept {
    const std::size_t slot = m_Index.slotOf(key);
    return slot == Index::kNone ? m_Entries.end() : m_Index.slots[slot];
  }
  const_iterator find(const K& key) const noexcept {
    const std::size_t slot = m_Index.slotOf(key);
    return slot == Index::kNone ? m_Entries.cend() : const_iterator(m_Index.slots[slot]);
  }

  /// The entries of `key`, oldest first; an empty range at end() if none.
  std::pair<iterator, iterator> equal_range(const K& key) {
    const iterator first = find(key);
    return {first, groupEnd(first, m_Entries.end())};
  }
  std::pair<const_iterator, const_iterator> equal_range(const K& key) const {
    const const_iterator first = find(key);
    return {first, groupEnd(first, m_Entries.cend())};
  }

  /// The oldest entry of `key` and the number of its entries; (end(), 0) if
  /// none. The entries are that one and the count - 1 following it.
  std::pair<iterator, size_type> group(const K& key) noexcept {
    const iterator first = find(key);
    return {first, static_cast<size_type>(std::distance(first, groupEnd(first, m_Entries.end())))};
  }
  std::pair<const_iterator, size_type> group(const K& key) const noexcept {
    const const_iterator first = find(key);
    return {first, static_cast<size_type>(std::distance(first, groupEnd(first, m_Entries.cend())))};
  }

  size_type count(const K& key) const { return group(key).second; }

  size_type size() const { return m_Entries.size(); }
  bool empty() const { return m_Entries.empty(); }

  const_iterator begin() const { return m_Entries.cbegin(); }
  const_iterator end() const { return m_Entries.cend(); }
  const_iterator cbegin() const { return m_Entries.cbegin(); }
  const_iterator cend() const { return m_Entries.cend(); }
  iterator begin() { return m_Entries.begin(); }
  iterator end() { return m_Entries.end(); }

  /// Removes every entry and gives the index's memory back.
  void clear() noexcept {
    m_Index.release(m_Entries.get_allocator());
    m_Entries.clear();
  }

 private:
  /// Slots of list iterators, with a bit per slot saying whether it is in
  /// use: every key is a valid key, and a default iterator compares with
  /// nothing, so neither can mark a free slot.
  struct Index {
    static constexpr std::size_t kNone = ~std::size_t{0};
    using Word = std::uint64_t;
    static constexpr std::size_t kWordBits = 64;

    iterator* slots = nullptr;
    Word* used = nullptr;
    std::size_t capacity = 0;  ///< 0 or a power of two.
    std::size_t keys = 0;
    unsigned shift = 32;  ///< 32 - log2 of the capacity.

    Index() = default;
    Index(Index&& other) noexcept { swap(other); }
    Index(const Index&) = delete;
    Index& operator=(const Index&) = delete;

    void swap(Index& other) noexcept {
      std::swap(slots, other.slots);
      std::swap(used, other.used);
      std::swap(capacity, other.capacity);
      std::swap(keys, other.keys);
      std::swap(shift, other.shift);
    }

    /// How many keys an index of `capacity` slots may hold.
    static constexpr std::size_t room(std::size_t capacity) noexcept { return capacity / 4 * 3; }
    /// Whether one more key needs a larger index.
    bool full() const noexcept { return keys + 1 > room(capacity); }

    /// An empty index with room for `count` keys.
    static Index forKeys(std::size_t count, const allocator_type& allocator) {
      Index index;
      if (count == 0) return index;
      unsigned bits = 1;
      while (count > room(std::size_t{1} << bits)) ++bits;
      const std::size_t capacity = std::size_t{1} << bits;
      const std::size_t words = (capacity + kWordBits - 1) / kWordBits;
      SlotAllocator slotAllocator(allocator);
      WordAllocator wordAllocator(allocator);
      Word* used = WordTraits::allocate(wordAllocator, words);
      iterator* slots;
      try {
        slots = SlotTraits::allocate(slotAllocator, capacity);
      } catch (...) {
        WordTraits::deallocate(wordAllocator, used, words);
        throw;
      }
      // Iterators and words need no cleanup should their construction throw
      // (neither does): both are plain values.
      for (std::size_t i = 0; i < capacity; ++i) SlotTraits::construct(slotAllocator, slots + i);
      for (std::size_t i = 0; i < words; ++i) WordTraits::construct(wordAllocator, used + i, 0u);
      index.slots = slots;
      index.used = used;
      index.capacity = capacity;
      index.shift = 32 - bits;
      return index;
    }

    void release(const allocator_type& allocator) noexcept {
      if (capacity == 0) return;
      const std::size_t words = (capacity + kWordBits - 1) / kWordBits;
      SlotAllocator slotAllocator(allocator);
      WordAllocator wordAllocator(allocator);
      for (std::size_t i = 0; i < capacity; ++i) SlotTraits::destroy(slotAllocator, slots + i);
      for (std::size_t i = 0; i < words; ++i) WordTraits::destroy(wordAllocator, used + i);
      SlotTraits::deallocate(slotAllocator, slots, capacity);
      WordTraits::deallocate(wordAllocator, used, words);
      *this = Index();
    }
    Index& operator=(Index&& other) noexcept {
      swap(other);
      return *this;
    }

    bool inUse(std::size_t slot) const noexcept {
      return ((used[slot / kWordBits] >> (slot % kWordBits)) & 1u) != 0;
    }
    void mark(std::size_t slot, bool inUse) noexcept {
      const Word bit = Word{1} << (slot % kWordBits);
      used[slot / kWordBits] = inUse ? used[slot / kWordBits] | bit : used[slot / kWordBits] & ~bit;
    }
    /// Fibonacci hashing: the high bits of the product spread the ids of
    /// neighbouring types over the table.
    std::size_t home(K key) const noexcept {
      return static_cast<std::size_t>((std::uint32_t{key} * 0x9E3779B1u) >> shift);
    }

    /// The slot of `key`, or kNone.
    std::size_t slotOf(K key) const noexcept {
      if (capacity == 0) return kNone;
      const std::size_t mask = capacity - 1;
      // Never full, so the probe meets a free slot.
      for (std::size_t slot = home(key);; slot = (slot + 1) & mask) {
        if (!inUse(slot)) return kNone;
        if (slots[slot]->first == key) return slot;
      }
    }
    /// Adds the group that starts at `first`, whose key has no slot yet.
    /// REQUIRES: !full() before the call.
    void add(iterator first) noexcept {
      const std::size_t mask = capacity - 1;
      std::size_t slot = home(first->first);
      while (inUse(slot)) slot = (slot + 1) & mask;
      slots[slot] = first;
      mark(slot, true);
      ++keys;
    }
    /// Adds every group of this index to `target`.
    void moveInto(Index& target) const noexcept {
      for (std::size_t slot = 0; slot < capacity; ++slot) {
        if (inUse(slot)) target.add(slots[slot]);
      }
    }
    /// Frees `slot`; later slots of its probe run move back, so that no key
    /// is left behind a free slot on its probe sequence.
    void erase(std::size_t slot) noexcept {
      const std::size_t mask = capacity - 1;
      std::size_t free = slot;
      for (std::size_t next = (free + 1) & mask; inUse(next); next = (next + 1) & mask) {
        const std::size_t wanted = home(slots[next]->first);
        // The entry may fill the gap unless its home lies after the gap,
        // up to its own slot (cyclically).
        if (((next - wanted) & mask) >= ((next - free) & mask)) {
          slots[free] = slots[next];
          free = next;
        }
      }
      slots[free] = iterator();
      mark(free, false);
      --keys;
    }
  };
  using SlotAllocator = typename std::allocator_traits<Allocator>::template rebind_alloc<iterator>;
  using SlotTraits = std::allocator_traits<SlotAllocator>;
  using WordAllocator =
      typename std::allocator_traits<Allocator>::template rebind_alloc<typename Index::Word>;
  using WordTraits = std::allocator_traits<WordAllocator>;

  /// Behind the last entry of the group that starts at `first`.
  template <typename It>
  static It groupEnd(It first, It last) noexcept {
    if (first == last) return first;
    const K key = first->first;
    It next = first;
    while (++next != last && next->first == key) {
    }
    return next;
  }

  List m_Entries;
  Index m_Index;
};

}  // namespace tarvex::internal
