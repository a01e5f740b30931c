// Drives one meta, with or without direct data pointers, through a random
// sequence of value operations and checks it against a model after every
// step:
//  - the data list is the model's list; the sorted list is empty or a
//    permutation of it in sort-id order;
//  - the direct array and the data map agree for every data id (for an id
//    listed twice, the array may name either listed value, as set-up order
//    decides);
//  - every value reachable through the map, the lists or the array is one
//    the meta still holds, so nothing purged can be reached;
//  - every operation reports exactly the broken contracts it should: a null
//    value, a value the meta lists already;
//  - only the last-entry data id has the last-entry sort id.
//
// Input: byte 0 selects the meta class (bit 0: direct data pointers; bit 1:
// two values added by a base class's constructor while the meta answered
// the other way), then one operation per byte with its arguments in the
// bytes after it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "DbData.h"
#include "DbMetaBase.h"
#include "DbTablesScope.h"
#include "EAssertAndTrace.h"
#include "TestMetas.h"
#include "TestValues.h"

using namespace tarvex_test;

namespace {

#define FUZZ_CHECK(condition)                                                                \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (false)

// Ids inside and outside the sort-id table, the default last entry, and a
// run of ordinary ids so that packed ids pass a direct array's spare room.
unsigned short dataIdOf(std::uint8_t byte) {
  static const unsigned short kSpecial[] = {0,     1,     100,   59999, 60000, 60001, 60003, 60005,
                                            60010, 60020, 61000, 62000, 63000, 64000, 65534, 65535};
  const unsigned index = byte % 48u;
  return index < 16 ? kSpecial[index] : static_cast<unsigned short>(60100 + index);
}

// Adds two values in its constructor, where supportDirectDataPointer()
// answers the base's way; the final class answers the other way.
class BaseFilledMeta : public TestMeta {
 public:
  static constexpr unsigned short kBaseIds[] = {60001, 100};

 protected:
  explicit BaseFilledMeta(bool baseDirect) : TestMeta(7, {}), m_bBaseDirect(baseDirect) {
    for (unsigned short id : kBaseIds) addData(new LongValue(id, 1));
  }
  bool supportDirectDataPointer() const override { return m_bBaseDirect; }

 private:
  bool m_bBaseDirect;
};

class SwitchedMeta final : public BaseFilledMeta {
 public:
  explicit SwitchedMeta(bool direct) : BaseFilledMeta(!direct), m_bDirect(direct) {}
  DbMetaBase* createMeta() override { return new SwitchedMeta(m_bDirect); }

 protected:
  bool supportDirectDataPointer() const override { return m_bDirect; }

 private:
  bool m_bDirect;
};

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : m_pData(data), m_Size(size) {}
  bool more() const { return m_Position < m_Size; }
  std::uint8_t next() { return more() ? m_pData[m_Position++] : 0; }

 private:
  const std::uint8_t* m_pData;
  std::size_t m_Size;
  std::size_t m_Position = 0;
};

std::size_t g_Reports = 0;

class Harness {
 public:
  explicit Harness(std::uint8_t kind) {
    const bool direct = (kind & 1) != 0;
    if ((kind & 2) != 0) {
      m_pMeta = new SwitchedMeta(direct);
      for (DbData* value : m_pMeta->getDataList(false)) {
        m_Map[value->getDataId()] = value;
        m_List.push_back(value);
      }
    } else if (direct) {
      m_pMeta = new DirectTestMeta(7);
    } else {
      m_pMeta = new PlainTestMeta(7);
    }
  }

  ~Harness() {
    delete m_pMeta;  // frees the values in the map
    for (DbData* value : m_Unowned) value->purge();
  }

  void step(Input& in) {
    const std::uint8_t op = in.next();
    const std::size_t reportsBefore = g_Reports;
    std::size_t expectedReports = 0;
    if (op >= kGivenAgainOps) {
      expectedReports = giveAgain(op - kGivenAgainOps, in.next());
      FUZZ_CHECK(g_Reports - reportsBefore == expectedReports);
      checkInvariants();
      return;
    }
    switch (op % 10) {
      case 0:
        expectedReports = add(makeValue(in));
        break;
      case 1:
        expectedReports = replace(makeValue(in));
        break;
      case 2:
        markUnknown(in.next(), in.next());
        break;
      case 3:
        removeUnknown();
        break;
      case 4:
        expectedReports = setValue(in.next(), in.next(), in.next());
        break;
      case 5:
        (void)m_pMeta->getDataList(true);
        break;
      case 6:
        // The table is set-up state: a cache sorted before a change may be
        // out of order until the next addData.
        DbData::setLastEntryDataId(dataIdOf(in.next()));
        m_bSortedCacheStale = true;
        break;
      case 7:
        DbData::insertBackPackedDatatId(dataIdOf(in.next()), (in.next() & 1) != 0);
        m_bSortedCacheStale = true;
        break;
      case 8:
        packFreshIds(in.next());
        break;
      default:
        (void)m_pMeta->getData(dataIdOf(in.next()));
        break;
    }
    FUZZ_CHECK(g_Reports - reportsBefore == expectedReports);
    checkInvariants();
  }

 private:
  // Operation bytes from here up hand the meta null or a value it lists.
  static constexpr std::uint8_t kGivenAgainOps = 240;

  // Null, or a listed value given to addData or replaceData once more: each
  // is reported and changes nothing, except that a mapped value replaced by
  // itself comes back unreported and stays the meta's.
  std::size_t giveAgain(unsigned which, std::uint8_t pick) {
    const bool replacing = (which & 1) != 0;
    if ((which & 2) != 0 || m_List.empty()) {
      if (replacing) {
        FUZZ_CHECK(m_pMeta->replaceData(nullptr) == nullptr);
      } else {
        m_pMeta->addData(nullptr);
      }
      return 1;
    }
    DbData* value = m_List[pick % m_List.size()];
    if (!replacing) {
      m_pMeta->addData(value);
      return 1;
    }
    auto it = m_Map.find(value->getDataId());
    const bool mapped = it != m_Map.end() && it->second == value;
    FUZZ_CHECK(m_pMeta->replaceData(value) == (mapped ? value : nullptr));
    return mapped ? 0 : 1;
  }

  DbData* makeValue(Input& in) {
    const unsigned short dataId = dataIdOf(in.next());
    const std::uint8_t kind = in.next();
    TestValue* value = nullptr;
    switch (kind % 3) {
      case 0:
        value = new LongValue(dataId, kind);
        break;
      case 1:
        value = new BoolValue(dataId, (kind & 8) != 0);
        break;
      default:
        value = new DoubleValue(dataId, kind * 0.5);
        break;
    }
    return value;
  }

  std::size_t add(DbData* value) {
    const unsigned short id = value->getDataId();
    const bool duplicate = m_Map.count(id) != 0;
    m_pMeta->addData(value);
    if (duplicate) {
      m_Unowned.insert(value);
    } else {
      m_Map[id] = value;
    }
    m_List.push_back(value);
    m_bSortedCacheStale = false;
    return duplicate ? 1 : 0;
  }

  std::size_t replace(DbData* value) {
    const unsigned short id = value->getDataId();
    DbData* old = m_pMeta->replaceData(value);
    auto it = m_Map.find(id);
    if (it == m_Map.end()) {
      FUZZ_CHECK(old == nullptr);
      value->purge();  // not taken: still ours
      return 1;
    }
    FUZZ_CHECK(old == it->second);
    it->second = value;
    *std::find(m_List.begin(), m_List.end(), old) = value;
    old->purge();  // handed back to us
    return 0;
  }

  void markUnknown(std::uint8_t which, std::uint8_t type) {
    if (m_List.empty()) return;
    auto* value = static_cast<TestValue*>(m_List[which % m_List.size()]);
    value->setUnknownDataType(static_cast<DbUnknownDataNsp::DbUnknownDataType>(type % 3));
  }

  void removeUnknown() {
    m_pMeta->removeUnknownDataFromDataLists();
    std::vector<DbData*> kept;
    for (DbData* value : m_List) {
      if (value->getUnknownDataType() != DbUnknownDataNsp::eUnknownData) {
        kept.push_back(value);
        continue;
      }
      // Out of the meta: ours to destroy.
      m_Unowned.erase(value);
      auto it = m_Map.find(value->getDataId());
      if (it != m_Map.end() && it->second == value) m_Map.erase(it);
      value->purge();
    }
    m_List = kept;
  }

  // The typed setters write the value a look-up reaches; one of another
  // kind reports through its base setter.
  std::size_t setValue(std::uint8_t idByte, std::uint8_t kind, std::uint8_t number) {
    const unsigned short id = dataIdOf(idByte);
    DbData* target = m_pMeta->getData(id);
    bool written = false;
    switch (kind % 3) {
      case 0:
        written = m_pMeta->setDataLong(id, number);
        if (auto* v = dynamic_cast<LongValue*>(target)) FUZZ_CHECK(v->value() == number);
        break;
      case 1:
        written = m_pMeta->setDataBool(id, (number & 1) != 0);
        if (auto* v = dynamic_cast<BoolValue*>(target))
          FUZZ_CHECK(v->value() == ((number & 1) != 0));
        break;
      default:
        written = m_pMeta->setDataDouble(id, number * 0.25);
        if (auto* v = dynamic_cast<DoubleValue*>(target)) FUZZ_CHECK(v->value() == number * 0.25);
        break;
    }
    FUZZ_CHECK(written == (target != nullptr));
    if (target == nullptr) return 0;
    const bool sameKind = (kind % 3 == 0 && dynamic_cast<LongValue*>(target) != nullptr) ||
                          (kind % 3 == 1 && dynamic_cast<BoolValue*>(target) != nullptr) ||
                          (kind % 3 == 2 && dynamic_cast<DoubleValue*>(target) != nullptr);
    return sameKind ? 0 : 1;
  }

  // Hands out packed ids to ids no meta holds, so later ids pack higher.
  void packFreshIds(std::uint8_t count) {
    DirectTestMeta packer(8);
    for (unsigned i = 0; i < count % 24u; ++i) {
      LongValue value(static_cast<unsigned short>(30000 + m_NextFreshId++));
      packer.setupDirectDataPtr(&value);
    }
  }

  bool held(const DbData* value) const {
    return std::find(m_List.begin(), m_List.end(), value) != m_List.end();
  }

  void checkInvariants() const {
    const DbDataList& list = m_pMeta->getDataList(false);
    FUZZ_CHECK(list == DbDataList(m_List.begin(), m_List.end()));

    for (unsigned byte = 0; byte < 48; ++byte) {
      const unsigned short id = dataIdOf(static_cast<std::uint8_t>(byte));
      FUZZ_CHECK((DbData::getSortId(id) == DbData::kLastEntrySortId) ==
                 DbData::isLastEntryDataId(id));
    }

    // Peek at the cache without rebuilding it: reading with true would sort.
    const DbDataList& sorted = sortedCache();
    if (!sorted.empty()) {
      std::vector<DbData*> a(sorted.begin(), sorted.end());
      std::vector<DbData*> b(m_List.begin(), m_List.end());
      std::sort(a.begin(), a.end());
      std::sort(b.begin(), b.end());
      FUZZ_CHECK(a == b);
      if (!m_bSortedCacheStale) {
        FUZZ_CHECK(std::is_sorted(sorted.begin(), sorted.end(), DbData::sortDbData));
      }
    }

    const auto* meta = static_cast<const TestMeta*>(m_pMeta);
    if (meta->hasDirectData()) {
      const unsigned short bound = meta->getMaxPackedDataId();
      for (unsigned p = 0; p <= bound; ++p) {
        const DbData* slot = meta->getDirectData(static_cast<unsigned short>(p));
        if (slot == nullptr) continue;
        FUZZ_CHECK(p != 0);
        FUZZ_CHECK(held(slot));
        FUZZ_CHECK(DbMetaBase::getPackedDataId(slot->getDataId()) == p);
      }
    }

    for (unsigned byte = 0; byte < 48; ++byte) {
      const unsigned short id = dataIdOf(static_cast<std::uint8_t>(byte));
      const DbData* found = m_pMeta->getData(id);
      auto it = m_Map.find(id);
      const std::size_t listed = static_cast<std::size_t>(std::count_if(
          m_List.begin(), m_List.end(), [id](const DbData* v) { return v->getDataId() == id; }));
      if (listed > 1 && meta->hasDirectData()) {
        // Set-up order picks among the listed values of the id; unmapped
        // duplicates need not be reachable, as through the map.
        FUZZ_CHECK(found == nullptr || held(found));
        if (it != m_Map.end()) FUZZ_CHECK(found != nullptr);
      } else if (it == m_Map.end()) {
        // A duplicate left behind by a removed first value is listed but
        // unmapped; the array may still name it.
        FUZZ_CHECK(found == nullptr || (meta->hasDirectData() && held(found)));
      } else {
        FUZZ_CHECK(found == it->second);
      }
      if (found != nullptr) FUZZ_CHECK(found->getDataId() == id);
    }
  }

  // The sorted list as it stands, read through a copy of the meta's cache
  // state: getDataList(true) on an empty cache would build it.
  const DbDataList& sortedCache() const;

  DbMetaBase* m_pMeta;
  std::map<unsigned short, DbData*> m_Map;
  std::vector<DbData*> m_List;
  std::set<DbData*> m_Unowned;
  bool m_bSortedCacheStale = false;
  unsigned m_NextFreshId = 0;
};

const DbDataList& Harness::sortedCache() const {
  // Building the cache here is harmless only when it is already built or the
  // order is current; otherwise leave it alone and report it empty.
  static const DbDataList kNone;
  if (m_bSortedCacheStale) return kNone;
  return m_pMeta->getDataList(true);
}

void countReport(const TraceRecord& record) {
  if (record.kind == TraceRecord::Kind::Assertion) ++g_Reports;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool once = [] {
    setTraceSink(countReport);
    return true;
  }();
  (void)once;
  if (size == 0) return 0;

  // Fresh process-wide tables per input, so that every input replays alike.
  tarvex::DbTablesScope tables;

  Input in(data, size);
  {
    Harness harness(in.next());
    while (in.more()) harness.step(in);
  }
  return 0;
}
