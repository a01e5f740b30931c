// The data-id map: borrowing, look-up, replacement, joined text and
// destruction of all elements.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DbDataId2DataMap.h"
#include "ReportCapture.h"
#include "TestValues.h"

using tarvex_test::narrow;

TEST(DbDataId2DataMapTest, AddKeepsTheFirstValueOfAnId) {
  DbDataId2DataMap map;
  tarvex_test::LongValue first(60010, 1), second(60010, 2);
  EXPECT_TRUE(map.addData(60010, &first));
  EXPECT_EQ(map.getData(60010), &first);
  EXPECT_FALSE(map.addData(60010, &second));
  EXPECT_EQ(map.getData(60010), &first);
  EXPECT_EQ(map.getData(60011), nullptr);
}

TEST(DbDataId2DataMapTest, NullEntryCountsAsAbsent) {
  DbDataId2DataMap map;
  map[60010] = nullptr;
  tarvex_test::LongValue value(60010);
  EXPECT_EQ(map.getData(60010), nullptr);
  EXPECT_EQ(map.replaceData(60010, &value), nullptr);
  EXPECT_EQ(map.getData(60010), nullptr);
  EXPECT_TRUE(map.addData(60010, &value));
  EXPECT_EQ(map.getData(60010), &value);
  EXPECT_EQ(map.size(), 1u);
}

TEST(DbDataId2DataMapTest, ReplaceSwapsOnlyExistingEntries) {
  DbDataId2DataMap map;
  tarvex_test::LongValue old(60010, 1), replacement(60010, 2), stranger(60011);
  EXPECT_EQ(map.replaceData(60011, &stranger), nullptr);
  EXPECT_EQ(map.count(60011), 0u);
  map.addData(60010, &old);
  EXPECT_EQ(map.replaceData(60010, &replacement), &old);
  EXPECT_EQ(map.getData(60010), &replacement);
}

TEST(DbDataId2DataMapTest, CopiesShareValuesAndDestroyingACopyLeavesThem) {
  DbDataId2DataMap map;
  auto* value = new tarvex_test::LongValue(60010, 42);
  map.addData(60010, value);
  {
    DbDataId2DataMap copy(map);
    EXPECT_EQ(copy.getData(60010), value);
    DbDataId2DataMap assigned;
    assigned = map;
    EXPECT_EQ(assigned.getData(60010), value);
    const DbDataId2DataMap& self = assigned;
    assigned = self;
    EXPECT_EQ(assigned.getData(60010), value);
  }
  EXPECT_EQ(map.getData(60010)->getLong(), 42);
  map.clearAndDestroyElements();
  EXPECT_TRUE(map.empty());
}

TEST(DbDataId2DataMapTest, AsStringJoinsAllValuesAndAndsTheirResults) {
  DbDataId2DataMap map;
  EString out("stale");
  EXPECT_TRUE(map.getAsString(out));
  EXPECT_TRUE(out.empty());

  tarvex_test::StringValue a(60010, EString("A")), b(60011, EString("B"));
  map.addData(60010, &a);
  map.addData(60011, &b);
  EXPECT_TRUE(map.getAsString(out));
  EXPECT_TRUE(narrow(out) == "AB" || narrow(out) == "BA") << narrow(out);

  // An entry without a value counts as absent: no text, no failure.
  map.addData(60012, nullptr);
  EXPECT_TRUE(map.getAsString(out));
  EXPECT_TRUE(narrow(out) == "AB" || narrow(out) == "BA") << narrow(out);

  a.setAsStringFails(true);
  EXPECT_FALSE(map.getAsString(out));
  EXPECT_EQ(out.size(), 2u) << "a failing value still contributes its text";
  // The other one failing: whichever the map visits first, a later success
  // does not undo the failure.
  a.setAsStringFails(false);
  b.setAsStringFails(true);
  EXPECT_FALSE(map.getAsString(out));
  // A null entry counts as absent: it adds no text and no failure.
  b.setAsStringFails(false);
  map[60012] = nullptr;
  EXPECT_TRUE(map.getAsString(out));
  EXPECT_EQ(out.size(), 2u);
}

TEST(DbDataId2DataMapTest, ClearAndDestroyClearsThenPurgesEachElement) {
  std::vector<std::string> log;
  DbDataId2DataMap map;
  map.addData(60001, new tarvex_test::LoggedValue(60001, &log));
  map.addData(60002, new tarvex_test::LoggedValue(60002, &log));
  map[60003] = nullptr;  // absent, owns nothing: skipped
  map.clearAndDestroyElements();
  EXPECT_TRUE(map.empty());
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].substr(0, 6), "clear:");
  EXPECT_EQ(log[1], "purge:" + log[0].substr(6));
}
