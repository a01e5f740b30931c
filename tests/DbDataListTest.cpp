// The value list: it borrows its values, and destroys them all on request.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DbDataList.h"
#include "TestValues.h"

TEST(DbDataList, ClearAndDestroyClearsThenPurgesEachElementInOrder) {
  std::vector<std::string> log;
  DbDataList list;
  list.clearAndDestroyElements();
  EXPECT_TRUE(log.empty());

  list.push_back(new tarvex_test::LoggedValue(60001, &log));
  list.push_back(new tarvex_test::LoggedValue(60003, &log));
  list.push_back(new tarvex_test::LoggedValue(60002, &log));
  DbDataList copy(list);
  list.clearAndDestroyElements();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(log, (std::vector<std::string>{"clear:60001", "purge:60001", "clear:60003",
                                           "purge:60003", "clear:60002", "purge:60002"}));
  copy.clear();  // its pointers dangle now; emptied without touching them
}
