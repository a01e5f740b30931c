// Value base: identity, flags, neutral results with their exact reports, the
// shared default objects, allocation, and the sort-id table.
#include <gtest/gtest.h>
#include <optional>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <vector>

#include "DbData.h"
#include "DbTablesScope.h"
#include "ReportCapture.h"
#include "TestValues.h"

using tarvex_test::narrow;
using tarvex_test::ReportCapture;

namespace {

const char* const kImplement = "VORASSERT (implement_in_subclasses) failed";
const char* const kFalse = "VORASSERT (false) failed";

void expectSingleReport(const ReportCapture& capture, const std::string& text, int line,
                        const std::string& file = ".\\DbData") {
  auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 1u) << "expected exactly one report for line " << line;
  EXPECT_EQ(narrow(reports[0].text), text);
  EXPECT_EQ(narrow(reports[0].file), file);
  EXPECT_EQ(reports[0].line, line);
}

class SortTable : public ::testing::Test {
 protected:
  void SetUp() override { m_Tables.emplace(); }
  void TearDown() override { m_Tables.reset(); }

  std::optional<tarvex::DbTablesScope> m_Tables;
};

}  // namespace

TEST(DbDataValue, NewValueCarriesItsIdAndOnlyTheValidBit) {
  DbData value(60010);
  EXPECT_EQ(value.getDataId(), 60010);
  EXPECT_TRUE(value.isBitOn(0x0001));
  EXPECT_FALSE(value.isBitOn(0xFFFE));
  EXPECT_FALSE(value.hasUnknownData());
  EXPECT_EQ(value.getUnknownDataType(), DbUnknownDataNsp::eNoUnknownData);
}

TEST(DbDataValue, FlagOperationsTouchOnlyTheirBits) {
  DbData value(60010);
  value.switchBitOn(0x0004);
  EXPECT_TRUE(value.clear());
  EXPECT_FALSE(value.isBitOn(0x0001));
  EXPECT_TRUE(value.isBitOn(0x0004));
  EXPECT_TRUE(value.isBitOn(0x0006));
  EXPECT_FALSE(value.isBitOn(0x0002));
  EXPECT_FALSE(value.isBitOn(0));
  value.switchBitOff(0x0004);
  EXPECT_FALSE(value.isBitOn(0xFFFF));
}

TEST(DbDataValue, CopyAndAssignmentCarryAllThreeFields) {
  tarvex_test::LongValue source(60011, 5);
  source.setUnknownDataType(static_cast<DbUnknownDataNsp::DbUnknownDataType>(2));
  source.switchBitOn(0x0100);
  source.switchBitOff(0x0001);

  DbData copy(source);
  EXPECT_EQ(copy.getDataId(), 60011);
  EXPECT_EQ(copy.getUnknownDataType(), 2);
  EXPECT_TRUE(copy.isBitOn(0x0100));
  EXPECT_FALSE(copy.isBitOn(0x0001));

  DbData assigned(60099);
  DbData& result = (assigned = source);
  EXPECT_EQ(&result, &assigned);
  EXPECT_EQ(assigned.getDataId(), 60011);
  EXPECT_EQ(assigned.getUnknownDataType(), 2);
  EXPECT_TRUE(assigned.isBitOn(0x0100));
  EXPECT_FALSE(assigned.isBitOn(0x0001));

  DbData& self = assigned;
  assigned = self;
  EXPECT_EQ(assigned.getDataId(), 60011);
}

TEST(DbDataValue, EqualityComparesDataIdsOnly) {
  tarvex_test::LongValue a(60010, 1);
  tarvex_test::BoolValue b(60010, true);
  tarvex_test::LongValue c(60011, 1);
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a == c);
}

TEST(DbDataValue, DumpWritesIdAndOneBlankWithoutLineEnd) {
  DbData value(60012);
  std::ostringstream out;
  value.dump(out);
  EXPECT_EQ(out.str(), "DataId:60012 ");
}

TEST(DbDataValue, DatabaseTypeComesFromTheTypeMap) {
  DbDataModel2DataBaseTypeMap::deinit();
  tarvex_test::LongValue value(60010);
  EXPECT_EQ(value.getDatabaseType(), 127);
  tarvex_test::registerTestDataModelTypes();
  EXPECT_EQ(value.getDatabaseType(), 4);
  tarvex_test::ContainerValue container(60011, tarvex_test::kDmRef16);
  EXPECT_EQ(container.getDataBaseTypeOfElements(), 16);
  DbDataModel2DataBaseTypeMap::deinit();
  EXPECT_EQ(container.getDataBaseTypeOfElements(), 127);
}

TEST(DbDataValue, BaseTypeOfElementsIsUndefinedWithAndWithoutTable) {
  DbData value(60010);
  EXPECT_EQ(value.getDataModelTypeOfElements(), 255);
  EXPECT_EQ(value.getDataBaseTypeOfElements(), 127);
  tarvex_test::registerTestDataModelTypes();
  EXPECT_EQ(value.getDataBaseTypeOfElements(), 127);
  DbDataModel2DataBaseTypeMap::deinit();
}

// A neutral reference names one object shared by every value, not a part of
// the value it was asked of.
template <typename T>
bool isSharedDefault(const DbData& value, const T& object) {
  const auto begin = reinterpret_cast<std::uintptr_t>(&value);
  const auto at = reinterpret_cast<std::uintptr_t>(&object);
  return at < begin || at >= begin + sizeof(DbData);
}

// Every base operation that a subclass must override: its report and its
// neutral result.
TEST(DbDataBaseOperations, ReportAndReturnNeutralResults) {
  struct Row {
    const char* name;
    const char* text;
    int line;
    std::function<bool(DbData&)> callAndCheck;  // true when the result is neutral
  };
  const DbObjectId defaultId;
  const std::vector<Row> rows = {
      {"getBool", kImplement, 113, [](DbData& v) { return v.getBool() == false; }},
      {"getChar", kImplement, 120, [](DbData& v) { return v.getChar() == 0; }},
      {"getShort", kImplement, 127, [](DbData& v) { return v.getShort() == 0; }},
      {"getLong", kImplement, 134, [](DbData& v) { return v.getLong() == 0; }},
      {"getFloat", kImplement, 141, [](DbData& v) { return v.getFloat() == 0.0F; }},
      {"getDouble", kImplement, 148, [](DbData& v) { return v.getDouble() == 0.0; }},
      {"getTime", kImplement, 155, [](DbData& v) { return v.getTime() == ebas::ETime(); }},
      {"getString", kImplement, 163, [](DbData& v) { return v.getString().empty(); }},
      {"getDbObjectId", kImplement, 171, [&](DbData& v) { return v.getDbObjectId() == defaultId; }},
      {"getPoint", kImplement, 179, [](DbData& v) { return v.getPoint() == EPoint(0, 0); }},
      {"getPoint3D", kImplement, 187,
       [](DbData& v) { return v.getPoint3D() == EPoint3D(0, 0, 0); }},
      {"getPropList", kImplement, 196, [](DbData& v) { return v.getPropList().empty(); }},
      {"getStreamableObject", kImplement, 529,
       [](DbData& v) { return v.getStreamableObject() == nullptr; }},
      {"getReference", kImplement, 258, [&](DbData& v) { return v.getReference() == defaultId; }},
      {"getEmbeddedId", kImplement, 266, [](DbData& v) { return v.getEmbeddedId() == 0; }},
      {"getDTString", kImplement, 274, [](DbData& v) { return v.getDTString().getText().empty(); }},
      {"getPropertyType", kImplement, 448, [](DbData& v) { return v.getPropertyType() == 255; }},
      {"getMeta", kImplement, 455, [](DbData& v) { return v.getMeta() == nullptr; }},
      {"ungetMeta", kImplement, 462, [](DbData& v) { return !v.ungetMeta(nullptr); }},
      {"getContainerCount", kImplement, 282, [](DbData& v) { return v.getContainerCount() == 0; }},
      {"prepareContainerAccess", kImplement, 289,
       [](DbData& v) {
         v.prepareContainerAccess();
         return true;
       }},
      {"unprepareContainerAccess", kImplement, 295,
       [](DbData& v) {
         v.unprepareContainerAccess();
         return true;
       }},
      {"getFirstElement", kImplement, 301,
       [](DbData& v) {
         DbData* untouched = &v;
         return !v.getFirstElement(&untouched) && untouched == &v;
       }},
      {"getNextElement", kImplement, 308,
       [](DbData& v) {
         DbData* untouched = &v;
         return !v.getNextElement(&untouched) && untouched == &v;
       }},
      {"getUnknownData", kFalse, 323,
       [](DbData& v) {
         unsigned char marker = 7;
         unsigned char* data = &marker;
         std::uint32_t size = 99;
         return !v.getUnknownData(&data, &size) && data == &marker && size == 99;
       }},
      {"setBool", kImplement, 330,
       [](DbData& v) {
         v.setBool(true);
         return true;
       }},
      {"setChar", kImplement, 336,
       [](DbData& v) {
         v.setChar('x');
         return true;
       }},
      {"setShort", kImplement, 342,
       [](DbData& v) {
         v.setShort(1);
         return true;
       }},
      {"setLong", kImplement, 348,
       [](DbData& v) {
         v.setLong(1);
         return true;
       }},
      {"setFloat", kImplement, 354,
       [](DbData& v) {
         v.setFloat(1);
         return true;
       }},
      {"setDouble", kImplement, 360,
       [](DbData& v) {
         v.setDouble(1);
         return true;
       }},
      {"setTime", kImplement, 366,
       [](DbData& v) {
         v.setTime(ebas::ETime(5));
         return true;
       }},
      {"setString", kImplement, 372,
       [](DbData& v) {
         v.setString(EString("x"));
         return true;
       }},
      {"setDbObjectId", kImplement, 378,
       [](DbData& v) {
         v.setDbObjectId(DbObjectId(1, 2, 3));
         return true;
       }},
      {"setPoint", kImplement, 384,
       [](DbData& v) {
         v.setPoint(EPoint(1, 2));
         return true;
       }},
      {"setPoint3D", kImplement, 390,
       [](DbData& v) {
         v.setPoint3D(EPoint3D(1, 2, 3));
         return true;
       }},
      {"setReference", kImplement, 408,
       [](DbData& v) {
         v.setReference(DbObjectId(1, 2, 3));
         return true;
       }},
      {"setEmbeddedId", kImplement, 414,
       [](DbData& v) {
         v.setEmbeddedId(4);
         return true;
       }},
      {"setDTString", kImplement, 421,
       [](DbData& v) {
         v.setDTString(DbDTString(L"x"));
         return true;
       }},
      {"setPropertyList", kImplement, 396,
       [](DbData& v) {
         v.setPropertyList(EPropertyList());
         return true;
       }},
      {"setUnknownData(blob)", kImplement, 435,
       [](DbData& v) {
         const unsigned char bytes[] = {1, 2};
         DbPtBlobConstIterator blob(bytes, sizeof bytes);
         v.setUnknownData(blob, "ctx");
         return blob.remaining() == 2;
       }},
      {"setUnknownData(bytes)", kImplement, 428,
       [](DbData& v) {
         const unsigned char bytes[] = {1, 2};
         v.setUnknownData(bytes, 2, 1);
         return !v.hasUnknownData();
       }},
      {"setStreamableObject", kImplement, 402,
       [](DbData& v) {
         v.setStreamableObject(nullptr);
         return true;
       }},
      {"getPropertyListToSet", kImplement, 204,
       [](DbData& v) { return isSharedDefault(v, v.getPropertyListToSet()); }},
      {"getStringToSet", kImplement, 212,
       [](DbData& v) { return isSharedDefault(v, v.getStringToSet()); }},
      {"finishStringToSet", kImplement, 220,
       [](DbData& v) {
         v.finishStringToSet();
         return true;
       }},
      {"getTimeToSet", kImplement, 226,
       [](DbData& v) { return isSharedDefault(v, v.getTimeToSet()); }},
      {"getPointToSet", kImplement, 234,
       [](DbData& v) { return isSharedDefault(v, v.getPointToSet()); }},
      {"getPoint3DToSet", kImplement, 242,
       [](DbData& v) { return isSharedDefault(v, v.getPoint3DToSet()); }},
      {"getDbDTStringToSet", kImplement, 250,
       [](DbData& v) { return isSharedDefault(v, v.getDbDTStringToSet()); }},
      {"getDataList", kImplement, 315, [](DbData& v) { return v.getDataList() == nullptr; }},
      {"getStringLength", kFalse, 470, [](DbData& v) { return v.getStringLength() == 0; }},
      {"doDelayedDataLoad", "delayed loading of data while there is nothing to load", 589,
       [](DbData& v) { return !v.doDelayedDataLoad(1, 60010, nullptr); }},
  };

  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DbData value(60010);
    ReportCapture capture;
    EXPECT_TRUE(row.callAndCheck(value));
    expectSingleReport(capture, row.text, row.line);
    EXPECT_EQ(value.getDataId(), 60010);
    EXPECT_TRUE(value.isBitOn(0x0001));
  }
  std::cout << "[ base operations ] " << rows.size() << " rows checked\n";
}

TEST(DbDataBaseOperations, SilentDefaults) {
  DbData value(60010);
  ReportCapture capture;
  EXPECT_FALSE(value.valid());
  EXPECT_EQ(value.getMetaForEmbeddedObject(), nullptr);
  EXPECT_EQ(value.asDMSimpleData(), nullptr);
  EXPECT_FALSE(value.isDefault(nullptr));
  value.setDefault(nullptr);
  EXPECT_TRUE(capture.records().empty());
}

TEST(DbDataBaseOperations, DataModelTypeReportsFromTheHeader) {
  DbData value(60010);
  ReportCapture capture;
  EXPECT_EQ(value.getDataModelType(), 255);
  auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(narrow(reports[0].text), kFalse);
  EXPECT_EQ(reports[0].line, 174);
  const std::string file = narrow(reports[0].file);
  EXPECT_EQ(file.substr(file.size() - std::string("include/DbData.h").size()), "include/DbData.h");
}

TEST(DbDataBaseOperations, GetAsStringEmptiesItsOutput) {
  DbData value(60010);
  ReportCapture capture;
  EString out("stale text");
  EXPECT_FALSE(value.getAsString(out));
  EXPECT_TRUE(out.empty());
  expectSingleReport(capture, kFalse, 507);
}

TEST(DbDataBaseOperations, ToSetObjectsAreSharedPerOperationOnly) {
  DbData a(60010);
  DbData b(60011);
  ReportCapture capture;
  EString& first = a.getStringToSet();
  first = EString("written");
  EString& second = b.getStringToSet();
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(narrow(second), "written");
  EXPECT_NE(static_cast<const void*>(&a.getString()), static_cast<const void*>(&second));
  EXPECT_TRUE(a.getString().empty());
  first.makeEmpty();

  EXPECT_NE(static_cast<const void*>(&a.getPoint()), static_cast<const void*>(&a.getPointToSet()));
  EXPECT_NE(static_cast<const void*>(&a.getTime()), static_cast<const void*>(&a.getTimeToSet()));
}

// A static destructor may run after everything the library built on its
// first report is gone; its report must still read only live memory. Run in
// a fresh process, so that this report is the first; the sanitizer build
// turns a read of a destroyed file name into a failed exit.
TEST(DbDataBaseOperations, ReportFromAStaticDestructorAtExitIsSafe) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static struct LateReporter {
          ~LateReporter() { DbData(60010).getBool(); }
        } late;
        DbData(60010).getChar();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0),
      "VORASSERT \\(implement_in_subclasses\\) failed \\(\\.\\\\DbData:113\\)");
}

TEST(DbDataAllocation, ValuesComeFromTheClassAllocatorAndPurgeReleasesThem) {
  // Run under the sanitizer build, a purge that skipped the class's
  // operator delete or freed twice is reported by the tools.
  for (int round = 0; round < 1000; ++round) {
    DbData* value = new tarvex_test::LongValue(60010, round);
    EXPECT_EQ(value->getLong(), round);
    value->purge();
  }
}

TEST_F(SortTable, FreshTableGivesEveryIdItsOwnNumberAndTheLastEntryTheTop) {
  EXPECT_EQ(DbData::getSortId(60000), 60000u);
  EXPECT_EQ(DbData::getSortId(65534), 65534u);
  EXPECT_EQ(DbData::getSortId(60005), 0xFFFFFFFFu);
  EXPECT_TRUE(DbData::isLastEntryDataId(60005));
  EXPECT_TRUE(DbData::isBackPackedDatatId(60005));
  EXPECT_FALSE(DbData::isBackPackedDatatId(60004));
}

TEST_F(SortTable, SecondInitKeepsMarks) {
  DbData::insertBackPackedDatatId(60020, true);
  DbData::init();
  EXPECT_TRUE(DbData::isBackPackedDatatId(60020));
}

TEST_F(SortTable, MovingTheLastEntryGivesTheOldIdTheNewNumber) {
  DbData::setLastEntryDataId(60010);
  EXPECT_EQ(DbData::getSortId(60005), 60010u);
  EXPECT_EQ(DbData::getSortId(60010), 0xFFFFFFFFu);
  EXPECT_FALSE(DbData::isLastEntryDataId(60005));
  EXPECT_TRUE(DbData::isLastEntryDataId(60010));

  DbData::setLastEntryDataId(60010);
  EXPECT_EQ(DbData::getSortId(60010), 0xFFFFFFFFu);
  EXPECT_EQ(DbData::getSortId(60005), 60010u);
}

TEST_F(SortTable, BackPackingMarksAndUnmarks) {
  DbData::insertBackPackedDatatId(60020, true);
  EXPECT_EQ(DbData::getSortId(60020), 125555u);
  EXPECT_TRUE(DbData::isBackPackedDatatId(60020));
  DbData::insertBackPackedDatatId(60020, false);
  EXPECT_EQ(DbData::getSortId(60020), 60020u);
  EXPECT_FALSE(DbData::isBackPackedDatatId(60020));

  // The last entry stays last whichever way it is marked.
  DbData::insertBackPackedDatatId(60005, true);
  EXPECT_EQ(DbData::getSortId(60005), 0xFFFFFFFFu);
  DbData::insertBackPackedDatatId(60005, false);
  EXPECT_EQ(DbData::getSortId(60005), 0xFFFFFFFFu);
  EXPECT_TRUE(DbData::isLastEntryDataId(60005));
}

TEST_F(SortTable, SortingFollowsBandsNotIds) {
  DbData::insertBackPackedDatatId(60020, true);
  tarvex_test::LongValue v10(60010), v20(60020), v05(60005), v01(60001);
  std::vector<DbData*> values = {&v10, &v20, &v05, &v01};
  std::sort(values.begin(), values.end(), DbData::sortDbData);
  std::vector<unsigned short> ids;
  for (DbData* v : values) ids.push_back(v->getDataId());
  EXPECT_EQ(ids, (std::vector<unsigned short>{60001, 60010, 60020, 60005}));

  DbData::setLastEntryDataId(60003);
  tarvex_test::LongValue v03(60003);
  EXPECT_TRUE(v10 < v03);
  EXPECT_FALSE(v03 < v10);
}

TEST_F(SortTable, DeinitForgetsMarksButKeepsTheLastEntryRole) {
  DbData::insertBackPackedDatatId(60020, true);
  DbData::setLastEntryDataId(60012);
  DbData::deinit();
  EXPECT_EQ(DbData::sm_pArrayDataId2SortId, nullptr);
  EXPECT_TRUE(DbData::isLastEntryDataId(60012));
  DbData::deinit();  // harmless without a table

  DbData::init();
  EXPECT_EQ(DbData::getSortId(60020), 60020u);
  EXPECT_EQ(DbData::getSortId(60012), 60005u);
  EXPECT_EQ(DbData::getSortId(60005), 0xFFFFFFFFu);
  EXPECT_TRUE(DbData::isLastEntryDataId(60005));
}

TEST_F(SortTable, IdsOutsideTheBandStayInBoundsAndSortByTheirNumber) {
  // Before 60000 and the one id above the table: no read outside the table.
  EXPECT_EQ(DbData::getSortId(0), 0u);
  EXPECT_EQ(DbData::getSortId(59999), 59999u);
  EXPECT_EQ(DbData::getSortId(65535), 65535u);
  tarvex_test::LongValue low(100), high(60001);
  EXPECT_TRUE(low < high);
  DbData::insertBackPackedDatatId(100, true);
  EXPECT_TRUE(DbData::isBackPackedDatatId(100));
  EXPECT_TRUE(high < low);
  // The table's own entries are untouched by writes outside the band.
  for (unsigned id = 60000; id < 65535; ++id) {
    if (id == 60005) continue;
    ASSERT_EQ(DbData::getSortId(static_cast<unsigned short>(id)), id);
  }
}
