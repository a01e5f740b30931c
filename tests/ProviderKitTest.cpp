// The provider kit: the meta template against the base's behaviour, the
// kit's values, the borrowed-meta handle, the tables' scope and meta-table
// registration.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "AfInterfaceManager.h"
#include "RegistryTestSupport.h"
#include "TarvexKit.h"
#include "TestMetas.h"

// The application's object class, as a provider defines it.
class DMMemberBase {
 public:
  explicit DMMemberBase(const DbObjectId& objectId) : m_ObjectId(objectId) {}
  const DbObjectId& getObjectId() const { return m_ObjectId; }

 private:
  DbObjectId m_ObjectId;
};

namespace {

using tarvex_test::CountingMeta;
using tarvex_test::ReportCapture;
using tarvex_test::testObject;

constexpr unsigned short kPlainType = 61;
constexpr unsigned short kDirectType = 62;
constexpr unsigned short kCount = 61010;
constexpr unsigned short kParts = 61011;
constexpr unsigned short kDirectCount = 61020;

class PlainKitMeta final : public tarvex::DbMetaImpl<PlainKitMeta, kPlainType> {
 public:
  PlainKitMeta() {
    addData(new tarvex::DbLongValue(kCount, 5));
    addData(new tarvex::DbReferenceContainerValue(kParts, tarvex::DbValueModelType::kReference16));
  }
};

class DirectKitMeta final
    : public tarvex::DbMetaImpl<DirectKitMeta, kDirectType, true, DMMemberBase> {
 public:
  DirectKitMeta() { addData(new tarvex::DbLongValue(kDirectCount)); }
};

class ProviderKit : public ::testing::Test {
 protected:
  tarvex::DbTablesScope m_Tables;
};

// --- The meta template ---------------------------------------------------------

TEST_F(ProviderKit, MetaBindsAndGivesBackAsTheBase) {
  PlainKitMeta meta;
  EXPECT_EQ(meta.getTypeId(), kPlainType);
  meta.setObjectId(DbObjectId(kPlainType, 0, 0));
  EXPECT_EQ(meta.getObjectId(), DbObjectId(kPlainType, 0, 0));
  EXPECT_EQ(meta.getObject(), nullptr);
  EXPECT_EQ(meta.createObject(), nullptr);

  EXPECT_TRUE(meta.setObject(testObject(1), 7));
  EXPECT_TRUE(meta.inUse());
  EXPECT_EQ(meta.getObject(), testObject(1));
  EXPECT_EQ(meta.getObjectId(), DbObjectId(kPlainType, 0, 0));  // the object is opaque
  meta.setModified(true);
  EXPECT_TRUE(meta.isModified());
  meta.releaseObject();
  EXPECT_EQ(meta.getObject(), nullptr);
  EXPECT_TRUE(meta.inUse());
  meta.setObject(testObject(2), 0);
  meta.clear();
  EXPECT_FALSE(meta.inUse());
  EXPECT_EQ(meta.getObject(), nullptr);
  EXPECT_FALSE(meta.isModified());

  // A null object: the base's report, naming the kit's class, and its result.
  tarvex_test::PlainTestMeta base(kPlainType);
  ReportCapture capture;
  const bool kitResult = meta.setObject(nullptr, 0);
  EXPECT_EQ(kitResult, base.setObject(nullptr, 0));
  const auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].file, reports[1].file);
  EXPECT_EQ(reports[0].line, reports[1].line);
  EXPECT_NE(tarvex_test::narrow(reports[0].text).find("PlainKitMeta )!"), std::string::npos);
  EXPECT_FALSE(meta.inUse());
}

TEST_F(ProviderKit, MetaWithAnObjectClassTakesOverItsIdAndCreatesObjects) {
  DirectKitMeta meta;
  DMMemberBase object(DbObjectId(kDirectType, 3, 9));
  EXPECT_TRUE(meta.setObject(&object, 0));
  EXPECT_EQ(meta.getObjectId(), DbObjectId(kDirectType, 3, 9));
  EXPECT_EQ(meta.getObject(), &object);
  meta.clear();

  DMMemberBase* created = meta.createObject();
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(created->getObjectId(), DbObjectId(kDirectType, 0, 0));
  delete created;
}

TEST_F(ProviderKit, CreateMetaMakesAFreshMetaOfTheClassAndDirectSwitchPacks) {
  PlainKitMeta plain;
  plain.setDataLong(kCount, 99);
  std::unique_ptr<DbMetaBase> copy(plain.createMeta());
  ASSERT_NE(dynamic_cast<PlainKitMeta*>(copy.get()), nullptr);
  EXPECT_EQ(copy->getData(kCount)->getLong(), 5);
  EXPECT_EQ(DbMetaBase::getPackedDataId(kCount), 0);  // map only

  DirectKitMeta direct;
  EXPECT_NE(DbMetaBase::getPackedDataId(kDirectCount), 0);
  std::unique_ptr<DbMetaBase> directCopy(direct.createMeta());
  EXPECT_EQ(directCopy->getTypeId(), kDirectType);
  EXPECT_NE(directCopy->getData(kDirectCount), direct.getData(kDirectCount));
}

TEST_F(ProviderKit, ContainerOperationsReachOnlyTheKitsContainer) {
  PlainKitMeta meta;
  PlainKitMeta element;
  element.setObjectId(DbObjectId(kPlainType, 1, 1));
  EXPECT_TRUE(meta.addObject2Container(kParts, element, 0));
  element.setObjectId(DbObjectId(kPlainType, 1, 2));
  EXPECT_TRUE(meta.addObject2Container(kParts, element, 0));  // inserted in front
  EXPECT_EQ(meta.getContainerSize(kParts), 2u);
  auto* parts = dynamic_cast<tarvex::DbReferenceContainerValue*>(meta.getData(kParts));
  ASSERT_NE(parts, nullptr);
  EXPECT_EQ(parts->element(0)->getReference(), DbObjectId(kPlainType, 1, 2));
  EXPECT_EQ(parts->getDataBaseTypeOfElements(), DbDatabaseType::kReference16);

  ReportCapture capture;
  EXPECT_EQ(meta.getContainerSize(kCount), 0u);  // not a container
  EXPECT_EQ(meta.getContainerSize(60999), 0u);   // no such value
  EXPECT_FALSE(meta.removeObjectFromContainer(kCount, 0));
  EXPECT_FALSE(meta.removeObjectFromContainer(kParts, 2));
  EXPECT_TRUE(capture.records().empty());
  EXPECT_TRUE(meta.removeObjectFromContainer(kParts, 0));
  EXPECT_EQ(meta.getContainerSize(kParts), 1u);
  EXPECT_EQ(parts->element(0)->getReference(), DbObjectId(kPlainType, 1, 1));
}

// --- Values --------------------------------------------------------------------

TEST_F(ProviderKit, ValuesCarryTheirKindAndDatabaseType) {
  const EPoint3D corner(1.0, 2.0, 3.0);
  tarvex::DbPoint3DValue point(1, corner);
  EXPECT_EQ(point.getPoint3D(), corner);
  point.getPoint3DToSet() = EPoint3D();
  EXPECT_EQ(point.getPoint3D(), EPoint3D());
  tarvex::DbStringValue text(2, EString(L"abc"));
  EXPECT_EQ(text.getStringLength(), 3u);
  tarvex::DbReferenceValue<> reference(3, DbObjectId(1, 2, 3),
                                       tarvex::DbValueModelType::kReference18);
  reference.setEmbeddedId(4);
  EXPECT_EQ(reference.getEmbeddedId(), 4);

  const std::pair<const DbData*, unsigned char> expected[] = {
      {&point, DbDatabaseType::kPoint3D},
      {&reference, DbDatabaseType::kReference18},
  };
  for (const auto& [value, databaseType] : expected) {
    EXPECT_EQ(value->getDatabaseType(), databaseType);
    EXPECT_TRUE(value->valid());
  }
  EXPECT_EQ(tarvex::DbCharValue(4).getDatabaseType(), DbDatabaseType::kCharacter);
  EXPECT_EQ(tarvex::DbObjectIdValue(5).getDatabaseType(), DbDatabaseType::kObjectId);
  point.clear();
  EXPECT_FALSE(point.valid());
}

// --- Borrowed metas --------------------------------------------------------------

class BorrowedMeta : public tarvex_test::RegistryFixture {
 protected:
  void SetUp() override {
    RegistryFixture::SetUp();
    DbMetaManager::getInstance()->registerMeta(new CountingMeta(kPlainType));
  }
  // The calling thread's working meta, obtained and given back directly.
  static CountingMeta* workingMeta() {
    auto* meta = static_cast<CountingMeta*>(DbMetaManager::getInstance()->getMeta(kPlainType));
    meta->clear();
    return meta;
  }
};

TEST_F(BorrowedMeta, GivesBackOnceAtScopeExitOrEarly) {
  CountingMeta* working = workingMeta();
  const int before = working->clearCount();
  {
    tarvex::DbBorrowedMeta meta(kPlainType, testObject(3));
    ASSERT_EQ(meta.get(), working);
    EXPECT_TRUE(working->inUse());
    EXPECT_EQ(working->getObject(), testObject(3));
  }
  EXPECT_FALSE(working->inUse());
  EXPECT_EQ(working->clearCount(), before + 1);

  tarvex::DbBorrowedMeta early(kPlainType, testObject(4));
  ASSERT_EQ(early.get(), working);
  early.giveBack();
  EXPECT_FALSE(early);
  EXPECT_EQ(working->clearCount(), before + 2);
  early.giveBack();
  EXPECT_EQ(working->clearCount(), before + 2);

  // Through a local registry that holds nothing: served by the fallback.
  const DbMetaManagerBase local;
  EXPECT_EQ(tarvex::DbBorrowedMeta(local, kPlainType, testObject(5)).get(), working);
  EXPECT_EQ(working->clearCount(), before + 3);
}

TEST_F(BorrowedMeta, MovedHandleGivesBackOnce) {
  CountingMeta* working = workingMeta();
  const int before = working->clearCount();
  CountingMeta* other = nullptr;
  int otherBefore = 0;
  {
    tarvex::DbBorrowedMeta first(kPlainType, testObject(1));
    tarvex::DbBorrowedMeta second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), working);
    tarvex::DbBorrowedMeta third;
    third = std::move(second);
    EXPECT_EQ(working->clearCount(), before);
    // Bound while `working` is still held, so the pool hands out another.
    third = tarvex::DbBorrowedMeta(kPlainType, testObject(2));
    EXPECT_EQ(working->clearCount(), before + 1);
    EXPECT_FALSE(working->inUse());
    other = static_cast<CountingMeta*>(third.get());
    ASSERT_NE(other, working);
    otherBefore = other->clearCount();
  }
  EXPECT_EQ(working->clearCount(), before + 1);
  EXPECT_EQ(other->clearCount(), otherBefore + 1);
  EXPECT_FALSE(other->inUse());
}

TEST_F(BorrowedMeta, UnregisteredTypeGivesAnEmptyHandleWithoutReport) {
  tarvex::DbBorrowedMeta meta(kPlainType + 1, testObject(1));
  EXPECT_FALSE(meta);
  EXPECT_TRUE(m_Capture.records().empty());
}

// --- Tables and registration -----------------------------------------------------

TEST(TablesScope, LeavesTheTablesAsTheLibraryStarts) {
  {
    tarvex::DbTablesScope tables;
    EXPECT_NE(DbData::sm_pArrayDataId2SortId, nullptr);
    EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(tarvex::DbValueModelType::kLong),
              DbDatabaseType::kLong);
    DbData::insertBackPackedDatatId(60020, true);
    DbData::setLastEntryDataId(60012);
    DirectKitMeta meta;
    DbMetaManager::getInstance()->registerMeta(new PlainKitMeta);
  }
  EXPECT_EQ(DbData::sm_pArrayDataId2SortId, nullptr);
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::s_pInstance, nullptr);
  EXPECT_TRUE(DbData::isLastEntryDataId(DbData::kDefaultLastEntryDataId));
  EXPECT_EQ(DbMetaBase::getLastUsedPackedDataId(), 0);
  EXPECT_EQ(DbMetaBase::getPackedDataId(kDirectCount), 0);
  EXPECT_FALSE(DbMetaManager::getInstance()->isMetaRegistered(kPlainType));
  DbMetaManager::deinit();

  tarvex::DbTablesScope next;
  EXPECT_FALSE(DbData::isBackPackedDatatId(60020));
  EXPECT_EQ(DbData::getSortId(60012), 60012u);
  EXPECT_EQ(DbData::getSortId(DbData::kDefaultLastEntryDataId), DbData::kLastEntrySortId);
}

class KitTable : public IDbMetaTable {
 public:
  bool initTable() override { return true; }
  bool exitTable() override { return true; }
};

TEST(MetaTableRegistration, OneCallRegistersUnderIDbMetaTable) {
  std::vector<EString> names;
  tarvex::registerMetaTable<KitTable>(L"KitTable");
  AfInterfaceNameManager::instance()->getRegisterdInterfaceNames(L"IDbMetaTable", names);
  EXPECT_EQ(std::count(names.begin(), names.end(), EString(L"KitTable")), 1);
  std::unique_ptr<IAfInterface> table(
      AfInterfaceManager::getInstance()->createInstance(L"KitTable", L"", 0));
  EXPECT_NE(dynamic_cast<KitTable*>(table.get()), nullptr);

  tarvex::unregisterMetaTable(L"KitTable");
  names.clear();
  AfInterfaceNameManager::instance()->getRegisterdInterfaceNames(L"IDbMetaTable", names);
  EXPECT_EQ(std::count(names.begin(), names.end(), EString(L"KitTable")), 0);
  EXPECT_FALSE(AfInterfaceManager::getInstance()->isKnown(L"KitTable", false, true));
}

}  // namespace
