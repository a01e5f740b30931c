// The data-model to database type map: lazily created table, overwrites,
// teardown, and data-model types beyond the table.
#include <gtest/gtest.h>

#include "DbDataModel2DataBaseTypeMap.h"
#include "ReportCapture.h"

using tarvex_test::narrow;
using tarvex_test::ReportCapture;

namespace {

class TypeMap : public ::testing::Test {
 protected:
  void SetUp() override { DbDataModel2DataBaseTypeMap::deinit(); }
  void TearDown() override { DbDataModel2DataBaseTypeMap::deinit(); }
};

}  // namespace

TEST_F(TypeMap, LookupsWithoutTableAreUndefinedAndCreateNothing) {
  for (int type = 0; type < 256; ++type) {
    ASSERT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(static_cast<unsigned char>(type)), 127);
  }
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::s_pInstance, nullptr);
}

TEST_F(TypeMap, RegistrationSetsOneEntryAndOverwrites) {
  DbDataModel2DataBaseTypeMap::addDataModelType(3, 2);
  ASSERT_NE(DbDataModel2DataBaseTypeMap::s_pInstance, nullptr);
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::s_pInstance->size(), 127u);
  for (int type = 0; type < 127; ++type) {
    ASSERT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(static_cast<unsigned char>(type)),
              type == 3 ? 2 : 127);
  }
  DbDataModel2DataBaseTypeMap::addDataModelType(3, 5);
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(3), 5);
  DbDataModel2DataBaseTypeMap::addDataModelType(3, 127);
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(3), 127);
  DbDataModel2DataBaseTypeMap::addDataModelType(126, 9);
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(126), 9);
}

TEST_F(TypeMap, InitChangesNothingAndDeinitStartsOver) {
  DbDataModel2DataBaseTypeMap::init();
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::s_pInstance, nullptr);
  DbDataModel2DataBaseTypeMap::addDataModelType(3, 2);
  DbDataModel2DataBaseTypeMap::init();
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(3), 2);
  DbDataModel2DataBaseTypeMap::deinit();
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(3), 127);
  DbDataModel2DataBaseTypeMap::deinit();
  DbDataModel2DataBaseTypeMap::addDataModelType(4, 6);
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(3), 127);
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(4), 6);
}

TEST_F(TypeMap, TypesBeyondTheTableAreReportedAndNeverStored) {
  DbDataModel2DataBaseTypeMap::addDataModelType(3, 2);
  ReportCapture capture;
  DbDataModel2DataBaseTypeMap::addDataModelType(127, 4);
  DbDataModel2DataBaseTypeMap::addDataModelType(255, 4);
  auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(narrow(reports[0].text), "VORASSERT (dataModelType < 127) failed");
  EXPECT_EQ(narrow(reports[0].file), ".\\DbDataModel2DataBaseTypeMap");
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::s_pInstance->size(), 127u);
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(127), 127);
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(255), 127);
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(3), 2);
}
