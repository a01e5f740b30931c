// Data-id packing and direct arrays: packed ids, array bounds and rebuilds,
// look-ups through the array, and the fall-back to the data map whenever a
// value cannot have a slot.
#include <gtest/gtest.h>
#include <optional>

#include <cstdlib>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "DbMetaBase.h"
#include "DbTablesScope.h"
#include "ReportCapture.h"
#include "TestMetas.h"
#include "TestValues.h"
#include "internal/AllocationHook.h"

using namespace tarvex_test;

namespace {

// When set, the next array new-expression anywhere in the process throws.
bool g_FailNextArrayNew = false;

void failIfArmed() {
  if (g_FailNextArrayNew) {
    g_FailNextArrayNew = false;
    throw std::bad_alloc();
  }
}

// Where the library has an operator new[] of its own (a Windows DLL), its
// direct-array allocations come here instead.
[[maybe_unused]] const bool kArrayHookInstalled =
    (tarvex::internal::setAllocationHook([](tarvex::internal::AllocationKind kind, std::size_t) {
       if (kind == tarvex::internal::AllocationKind::kArray) failIfArmed();
     }),
     true);

}  // namespace

// Replaced process-wide, so the library's direct-array allocations come here.
__attribute__((visibility("default"))) void* operator new[](std::size_t size) {
  failIfArmed();
  if (void* pointer = std::malloc(size == 0 ? 1 : size)) return pointer;
  throw std::bad_alloc();
}
__attribute__((visibility("default"))) void operator delete[](void* pointer) noexcept {
  std::free(pointer);
}
__attribute__((visibility("default"))) void operator delete[](void* pointer,
                                                              std::size_t /*size*/) noexcept {
  std::free(pointer);
}

namespace {

const std::wstring kFile = L".\\DbMetaBase";

// A second class with direct data pointers.
class OtherDirectMeta final : public TestMeta {
 public:
  explicit OtherDirectMeta(unsigned short typeId) : TestMeta(typeId, {}) { fill(); }
  DbMetaBase* createMeta() override { return new OtherDirectMeta(m_TypeId); }

 protected:
  bool supportDirectDataPointer() const override { return true; }
};

// Adds its values in the constructor of an intermediate base, where
// supportDirectDataPointer() still answers false: they are listed unpacked.
class ListedEarlyBase : public TestMeta {
 protected:
  explicit ListedEarlyBase(unsigned short typeId) : TestMeta(typeId, {}) {
    addData(new LongValue(700, 1));
    addData(new LongValue(701, 2));
  }
};

class ListedEarlyMeta final : public ListedEarlyBase {
 public:
  explicit ListedEarlyMeta(unsigned short typeId) : ListedEarlyBase(typeId) {}
  DbMetaBase* createMeta() override { return new ListedEarlyMeta(m_TypeId); }

 protected:
  bool supportDirectDataPointer() const override { return true; }
};

// The mirror: a base class with direct pointers fills its array in its own
// constructor; the final class answers false and may add values of its own.
class DirectBase : public TestMeta {
 protected:
  explicit DirectBase(unsigned short typeId) : TestMeta(typeId, {}) {
    addData(new LongValue(800, 1));
    addData(new LongValue(801, 2));
  }
  bool supportDirectDataPointer() const override { return true; }
};

class MapAfterDirectBase final : public DirectBase {
 public:
  MapAfterDirectBase(unsigned short typeId, unsigned short ownValues)
      : DirectBase(typeId), m_OwnValues(ownValues) {
    for (unsigned short id = 802; id < 802 + ownValues; ++id) addData(new LongValue(id, id));
  }
  DbMetaBase* createMeta() override { return new MapAfterDirectBase(m_TypeId, m_OwnValues); }

 protected:
  bool supportDirectDataPointer() const override { return false; }

 private:
  unsigned short m_OwnValues;
};

// Packs data ids first .. first+count-1 (wrapping in 16 bits) without keeping
// any value: a meta without values only packs.
void packDataIds(unsigned first, unsigned count) {
  DirectTestMeta packer(1);
  for (unsigned i = 0; i < count; ++i) {
    LongValue value(static_cast<unsigned short>(first + i));
    packer.setupDirectDataPtr(&value);
  }
  ASSERT_FALSE(packer.hasDirectData());
}

class PackingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Tables.emplace();
    g_FailNextArrayNew = false;
  }
  void TearDown() override { m_Tables.reset(); }

  std::optional<tarvex::DbTablesScope> m_Tables;
};

TEST_F(PackingTest, InitClearsTheWholeTableAndTheCounter) {
  packDataIds(0, 300);
  packDataIds(65500, 36);
  ASSERT_EQ(DbMetaBase::getLastUsedPackedDataId(), 336);
  DbMetaBase::initDataIdPacking();
  EXPECT_EQ(DbMetaBase::getLastUsedPackedDataId(), 0);
  for (unsigned id = 0; id <= 0xFFFF; ++id) {
    ASSERT_EQ(DbMetaBase::getPackedDataId(static_cast<unsigned short>(id)), 0) << id;
  }
}

TEST_F(PackingTest, FirstValueGetsPackedIdOneAndAnArrayWithSixteenSpareSlots) {
  DirectTestMeta meta(100);
  auto* value = new LongValue(4711);
  meta.addData(value);
  EXPECT_EQ(DbMetaBase::getPackedDataId(4711), 1);
  EXPECT_EQ(DbMetaBase::getLastUsedPackedDataId(), 1);
  ASSERT_TRUE(meta.hasDirectData());
  EXPECT_EQ(meta.getMaxPackedDataId(), 17);
  EXPECT_EQ(meta.getDirectData(1), value);
  for (unsigned short p = 0; p <= 17; ++p) {
    if (p != 1) {
      EXPECT_EQ(meta.getDirectData(p), nullptr) << p;
    }
  }
  EXPECT_EQ(meta.getData(4711), value);
}

TEST_F(PackingTest, PackedIdsAreSharedAcrossClassesAndHandedOutOnce) {
  DirectTestMeta first(100);
  first.addData(new LongValue(4711));
  OtherDirectMeta second(101);
  second.addData(new LongValue(4711));
  second.addData(new LongValue(12));
  first.addData(new LongValue(12));
  first.addData(new LongValue(13));
  EXPECT_EQ(DbMetaBase::getPackedDataId(4711), 1);
  EXPECT_EQ(DbMetaBase::getPackedDataId(12), 2);
  EXPECT_EQ(DbMetaBase::getPackedDataId(13), 3);
  EXPECT_EQ(DbMetaBase::getLastUsedPackedDataId(), 3);
  EXPECT_EQ(second.getDirectData(1), second.getData(4711));
  EXPECT_EQ(second.getDirectData(2), second.getData(12));
}

TEST_F(PackingTest, ArrayGrowsFromBound17To34WhenAPackedIdPassesTheSpareRoom) {
  DirectTestMeta meta(100);
  std::vector<DbData*> values;
  for (unsigned short id = 1000; id < 1017; ++id) {
    values.push_back(new LongValue(id));
    meta.addData(values.back());
    ASSERT_EQ(meta.getMaxPackedDataId(), 17) << id;
  }
  values.push_back(new LongValue(1017));  // packed id 18
  meta.addData(values.back());
  EXPECT_EQ(DbMetaBase::getPackedDataId(1017), 18);
  EXPECT_EQ(meta.getMaxPackedDataId(), 34);
  EXPECT_EQ(meta.getDirectData(0), nullptr);
  for (unsigned short p = 1; p <= 18; ++p) EXPECT_EQ(meta.getDirectData(p), values[p - 1]) << p;
  for (unsigned short p = 19; p <= 34; ++p) EXPECT_EQ(meta.getDirectData(p), nullptr) << p;
}

TEST_F(PackingTest, LookUpThroughTheArrayAnswersOnlyForTheMetasOwnValues) {
  DirectTestMeta meta(100);
  meta.addData(new LongValue(50));       // packed 1, bound 17
  packDataIds(60, 30);                   // 60..89 packed 2..31
  EXPECT_EQ(meta.getData(60), nullptr);  // packed below the bound
  EXPECT_EQ(meta.getData(89), nullptr);  // packed above the bound
  EXPECT_EQ(meta.getData(7), nullptr);   // never packed
  EXPECT_FALSE(meta.setDataLong(89, 1));
}

TEST_F(PackingTest, ClassWithoutDirectPointersNeverPacks) {
  PlainTestMeta meta(100);
  auto* value = new LongValue(77, 3);
  meta.addData(value);
  meta.replaceData(new LongValue(77, 4))->purge();
  EXPECT_EQ(DbMetaBase::getPackedDataId(77), 0);
  EXPECT_EQ(DbMetaBase::getLastUsedPackedDataId(), 0);
  EXPECT_FALSE(meta.hasDirectData());
  EXPECT_TRUE(meta.setDataLong(77, 5));
  EXPECT_EQ(static_cast<LongValue*>(meta.getData(77))->value(), 5);
}

TEST_F(PackingTest, RemovingUnknownDataClearsDirectSlotsUpToTheBound) {
  DirectTestMeta meta(100);
  auto* kept = new LongValue(500);  // packed 1, bound 17
  meta.addData(kept);
  packDataIds(501, 15);  // packed 2..16
  auto* atBound = new LongValue(517);
  atBound->setUnknownDataType(DbUnknownDataNsp::eUnknownData);
  meta.addData(atBound);  // packed 17 == bound: placed without rebuild
  ASSERT_EQ(DbMetaBase::getPackedDataId(517), 17);
  ASSERT_EQ(meta.getMaxPackedDataId(), 17);
  ASSERT_EQ(meta.getDirectData(17), atBound);

  meta.removeUnknownDataFromDataLists();
  EXPECT_EQ(meta.getDirectData(17), nullptr);
  EXPECT_EQ(meta.getData(517), nullptr);
  EXPECT_EQ(meta.getData(500), kept);
  EXPECT_EQ(meta.getDataList(false).size(), 1u);
  delete atBound;
}

TEST_F(PackingTest, RemovedDuplicateDoesNotLingerInItsSlot) {
  DirectTestMeta meta(100);
  auto* first = new LongValue(5, 1);
  auto* later = new LongValue(5, 2);
  meta.addData(first);
  {
    ReportCapture quiet;
    meta.addData(later);
  }
  ASSERT_EQ(meta.getData(5), later);  // the later one keeps the slot
  later->setUnknownDataType(DbUnknownDataNsp::eUnknownData);
  meta.removeUnknownDataFromDataLists();
  delete later;
  EXPECT_EQ(meta.getData(5), first);  // back to the value the map keeps
  EXPECT_EQ(meta.getDirectData(DbMetaBase::getPackedDataId(5)), first);
}

// The bound is the highest packed id plus 16; near the top of the 16-bit range
// it saturates at 65535 instead of wrapping below the meta's own ids.
TEST_F(PackingTest, BoundSaturatesSoHighPackedIdsStayReachable) {
  packDataIds(20000, 65519);  // ids 20000..65535, 0..19982 packed 1..65519
  ASSERT_EQ(DbMetaBase::getLastUsedPackedDataId(), 65519);
  DirectTestMeta meta(100);
  auto* high = new LongValue(19983);  // packed 65520
  ReportCapture capture;
  meta.addData(high);
  EXPECT_TRUE(capture.assertions().empty());
  EXPECT_EQ(DbMetaBase::getPackedDataId(19983), 65520);
  ASSERT_TRUE(meta.hasDirectData());
  EXPECT_EQ(meta.getMaxPackedDataId(), 65535);
  EXPECT_EQ(meta.getData(19983), high);

  auto* top = new LongValue(19984);
  packDataIds(19985, 14);  // packed 65521..65534
  meta.addData(top);       // packed 65535, within the bound
  EXPECT_EQ(DbMetaBase::getPackedDataId(19984), 65535);
  EXPECT_EQ(meta.getData(19984), top);
  EXPECT_EQ(meta.getMaxPackedDataId(), 65535);
  EXPECT_TRUE(capture.assertions().empty());
}

// After 65535 packed ids no id is handed out again (0 means "not packed"); a
// value without a packed id is reported and its meta answers from the map.
TEST_F(PackingTest, ExhaustedPackingDropsTheArrayAndKeepsEveryValueReachable) {
  DirectTestMeta meta(100);
  auto* packed = new LongValue(1, 11);
  meta.addData(packed);
  packDataIds(2, 65534);
  ASSERT_EQ(DbMetaBase::getLastUsedPackedDataId(), 65535);
  ASSERT_TRUE(meta.hasDirectData());

  ReportCapture capture;
  auto* unpacked = new LongValue(0, 22);
  meta.addData(unpacked);
  EXPECT_EQ(DbMetaBase::getPackedDataId(0), 0);
  EXPECT_EQ(DbMetaBase::getLastUsedPackedDataId(), 65535);
  const auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, L"VORASSERT (false) failed");
  EXPECT_EQ(reports[0].file, kFile);
  EXPECT_EQ(reports[0].line, 145);
  EXPECT_FALSE(meta.hasDirectData());
  EXPECT_EQ(meta.getMaxPackedDataId(), 0);
  EXPECT_EQ(meta.getData(0), unpacked);
  EXPECT_EQ(meta.getData(1), packed);
  EXPECT_TRUE(meta.setDataLong(0, 5));
  EXPECT_EQ(unpacked->value(), 5);

  // Nothing can change while every packed id stays taken: further values
  // are neither reported again nor make the meta rebuild (an array
  // allocation would throw here).
  g_FailNextArrayNew = true;
  for (unsigned short id = 2; id < 40; ++id) meta.addData(new LongValue(id, id));
  meta.addData(new LongValue(60000, 6));  // unpacked as well
  EXPECT_TRUE(g_FailNextArrayNew);
  g_FailNextArrayNew = false;
  EXPECT_EQ(capture.assertions().size(), 1u);
  EXPECT_FALSE(meta.hasDirectData());
  EXPECT_EQ(static_cast<LongValue*>(meta.getData(39))->value(), 39);
  EXPECT_EQ(static_cast<LongValue*>(meta.getData(60000))->value(), 6);
  EXPECT_EQ(DbMetaBase::getPackingMetaCount(), 0u);  // it holds no array

  // A copy reports once for itself, however many of its values miss a slot.
  {
    std::unique_ptr<DbMetaBase> copy(
        DirectTestMeta(100, {[] { return new LongValue(0); }, [] { return new LongValue(60000); },
                             [] { return new LongValue(1); }})
            .createMeta());
    EXPECT_EQ(capture.assertions().size(), 3u);  // the original, then its copy
    EXPECT_FALSE(static_cast<DirectTestMeta*>(copy.get())->hasDirectData());
  }

  // A new meta whose only value cannot be packed never builds an array.
  DirectTestMeta fresh(101);
  fresh.addData(new LongValue(0, 33));
  EXPECT_FALSE(fresh.hasDirectData());
  EXPECT_EQ(static_cast<LongValue*>(fresh.getData(0))->value(), 33);

  // Once the table is cleared, the next value rebuilds a complete array.
  DbMetaBase::initDataIdPacking();
  meta.addData(new LongValue(50, 50));
  ASSERT_TRUE(meta.hasDirectData());
  EXPECT_EQ(static_cast<LongValue*>(meta.getData(60000))->value(), 6);
  EXPECT_EQ(static_cast<LongValue*>(meta.getData(0))->value(), 5);
  EXPECT_EQ(DbMetaBase::getPackingMetaCount(), 1u);
}

// A report that throws (from the trace sink) leaves the meta on its map,
// without an array and without the value, and reported: the next value
// neither reports nor builds.
TEST_F(PackingTest, ThrowingReportOfAValueWithoutSlotLeavesTheMetaOnItsMap) {
  DirectTestMeta meta(100);
  meta.addData(new LongValue(1, 11));
  packDataIds(2, 65534);
  auto* unpacked = new LongValue(0, 22);
  const TraceSink previous =
      setTraceSink([](const TraceRecord&) { throw std::runtime_error("sink"); });
  EXPECT_THROW(meta.addData(unpacked), std::runtime_error);
  setTraceSink(previous);
  EXPECT_FALSE(meta.hasDirectData());
  EXPECT_EQ(meta.getData(0), nullptr);
  EXPECT_EQ(meta.getDataList(false).size(), 1u);

  ReportCapture capture;
  g_FailNextArrayNew = true;
  meta.addData(new LongValue(60000, 6));
  EXPECT_TRUE(g_FailNextArrayNew);
  g_FailNextArrayNew = false;
  EXPECT_TRUE(capture.assertions().empty());
  EXPECT_EQ(static_cast<LongValue*>(meta.getData(60000))->value(), 6);
}

// Clearing the table while a meta with an array lives breaks its contract;
// removing the meta's values still writes nothing beyond its array, also
// where the data id was packed again above the array's bound.
TEST_F(PackingTest, RemovingUnknownDataAfterAClearedTableStaysInsideTheArray) {
  auto* value = new LongValue(500);
  {
    DirectTestMeta meta(100);
    meta.addData(value);  // packed 1, bound 17
    DbMetaBase::initDataIdPacking();
    packDataIds(1000, 20);  // packed 1..20
    packDataIds(500, 1);
    ASSERT_EQ(DbMetaBase::getPackedDataId(500), 21);
    value->setUnknownDataType(DbUnknownDataNsp::eUnknownData);
    meta.removeUnknownDataFromDataLists();
    EXPECT_TRUE(meta.getDataList(false).empty());
    EXPECT_EQ(meta.getData(500), nullptr);
  }
  delete value;
}

// Values listed before the class's direct pointers were on get packed ids and
// slots when the array is first built, whether by an add or a replace.
TEST_F(PackingTest, ValuesListedUnpackedArePackedWhenTheArrayIsBuilt) {
  for (bool byReplace : {false, true}) {
    SCOPED_TRACE(byReplace ? "replaceData" : "addData");
    DbMetaBase::initDataIdPacking();
    ListedEarlyMeta meta(100);
    ASSERT_EQ(DbMetaBase::getPackedDataId(700), 0);
    ASSERT_FALSE(meta.hasDirectData());

    ReportCapture capture;
    auto* replacement = new LongValue(700, 9);
    if (byReplace) {
      meta.replaceData(replacement)->purge();
    } else {
      replacement->purge();
    }
    for (unsigned short id = 710; id < 720; ++id) meta.addData(new LongValue(id));
    EXPECT_TRUE(capture.assertions().empty());
    ASSERT_TRUE(meta.hasDirectData());
    ASSERT_EQ(meta.getDataList(false).size(), 12u);
    for (DbData* value : meta.getDataList(false)) {
      const unsigned short id = value->getDataId();
      EXPECT_NE(DbMetaBase::getPackedDataId(id), 0) << id;
      EXPECT_EQ(meta.getDirectData(DbMetaBase::getPackedDataId(id)), value) << id;
      EXPECT_EQ(meta.getData(id), value) << id;
    }
  }
}

// An array built while a base class answered true no longer applies once the
// final class answers false: at the next set-up it is dropped and the map
// serves every value, the base's, the final class's and a replacement.
TEST_F(PackingTest, ArrayOfADirectBaseGivesWayToTheMapOfAClassWithout) {
  for (unsigned short ownValues : {0, 3}) {
    SCOPED_TRACE(ownValues);
    DbMetaBase::initDataIdPacking();
    MapAfterDirectBase meta(100, ownValues);
    for (unsigned short id = 802; id < 802 + ownValues; ++id) {
      ASSERT_NE(meta.getData(id), nullptr) << id;
      EXPECT_TRUE(meta.setDataLong(id, -id));
      EXPECT_EQ(static_cast<LongValue*>(meta.getData(id))->value(), -id);
    }
    auto* replacement = new LongValue(801, 20);
    DbData* old = meta.replaceData(replacement);
    ASSERT_NE(old, replacement);
    old->purge();
    EXPECT_FALSE(meta.hasDirectData());
    EXPECT_EQ(meta.getData(801), replacement);
    EXPECT_TRUE(meta.setDataLong(801, 21));
    EXPECT_EQ(replacement->value(), 21);
    for (DbData* value : meta.getDataList(false)) {
      EXPECT_EQ(meta.getData(value->getDataId()), value) << value->getDataId();
    }
  }
}

// The count a start-up consults before it clears the table: live metas that
// hold a direct array, copies made by createMeta (which pack nothing) too.
TEST_F(PackingTest, MetasHoldingDirectArraysAreCountedWhileTheyLive) {
  ASSERT_EQ(DbMetaBase::getPackingMetaCount(), 0u);
  {
    DirectTestMeta packer(100, {[] { return new LongValue(4711); }});
    EXPECT_EQ(DbMetaBase::getPackingMetaCount(), 1u);
    std::unique_ptr<DbMetaBase> working(packer.createMeta());  // finds its id packed
    EXPECT_EQ(DbMetaBase::getPackingMetaCount(), 2u);
    PlainTestMeta plain(101, {[] { return new LongValue(4712); }});
    EXPECT_EQ(DbMetaBase::getPackingMetaCount(), 2u);

    // A failed array allocation leaves no array, so nothing to count.
    DirectTestMeta failing(102);
    g_FailNextArrayNew = true;
    EXPECT_THROW(failing.addData(new LongValue(4713)), std::bad_alloc);
    EXPECT_EQ(DbMetaBase::getPackingMetaCount(), 2u);
    failing.addData(new LongValue(4714));
    EXPECT_EQ(DbMetaBase::getPackingMetaCount(), 3u);

    // Clearing the table does not make the live metas' arrays go away.
    DbMetaBase::initDataIdPacking();
    EXPECT_EQ(DbMetaBase::getPackingMetaCount(), 3u);
    working.reset();
    EXPECT_EQ(DbMetaBase::getPackingMetaCount(), 2u);
  }
  EXPECT_EQ(DbMetaBase::getPackingMetaCount(), 0u);
}

TEST_F(PackingTest, FailedRebuildLeavesTheMetaAnsweringFromTheMap) {
  DirectTestMeta meta(100);
  auto* first = new LongValue(100);
  meta.addData(first);  // packed 1, bound 17
  packDataIds(101, 20);
  auto* beyond = new LongValue(200);  // packed 22: needs a rebuild

  g_FailNextArrayNew = true;
  EXPECT_THROW(meta.addData(beyond), std::bad_alloc);
  ASSERT_FALSE(g_FailNextArrayNew);
  EXPECT_FALSE(meta.hasDirectData());
  EXPECT_EQ(meta.getMaxPackedDataId(), 0);
  EXPECT_EQ(meta.getData(100), first);
  // The value that could not be set up is gone, as the call threw.
  EXPECT_EQ(meta.getData(200), nullptr);
  EXPECT_EQ(meta.getDataList(false).size(), 1u);
  // So is a duplicate, and the first value keeps its data id.
  ReportCapture quiet;
  g_FailNextArrayNew = true;
  EXPECT_THROW(meta.addData(new LongValue(100)), std::bad_alloc);
  EXPECT_EQ(meta.getData(100), first);
  EXPECT_EQ(meta.getDataList(false).size(), 1u);

  auto* next = new LongValue(300);
  meta.addData(next);  // the next set-up builds a complete array again
  ASSERT_TRUE(meta.hasDirectData());
  EXPECT_EQ(meta.getData(100), first);
  EXPECT_EQ(meta.getData(200), nullptr);
  EXPECT_EQ(meta.getData(300), next);
}

}  // namespace
