// The provider kit: the meta template against the base's behaviour, the
// kit's values, typed keys (for values, embedded objects and containers),
// the borrowed-meta handle, the schema base and the recording schema, the
// tables' and the framework's scopes and meta-table registration. What the
// kit refuses to compile is KitMisuse.cpp's.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "AfInterfaceManager.h"
#include "DbDataId2DataMap.h"
#include "RegistryTestSupport.h"
#include "TarvexKit.h"
#include "TestMetas.h"
#include "TestSchema.h"
#include "TestValues.h"

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
constexpr unsigned short kEmbeddingType = 63;
constexpr unsigned short kThrowingType = 64;
constexpr unsigned short kName = 61030;
constexpr unsigned short kPlacement = 61031;
constexpr tarvex::DataKey<std::int32_t> kCountKey{kCount};
constexpr tarvex::DataKey<EString> kNameKey{kName};

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

// Embeds a PlainKitMeta, asking `registry` (null: the process-wide one).
class EmbeddingKitMeta final : public tarvex::DbMetaImpl<EmbeddingKitMeta, kEmbeddingType> {
 public:
  explicit EmbeddingKitMeta(const DbMetaManagerBase* registry = nullptr) {
    addData(new tarvex::DbStringValue(kName, EString(L"unnamed")));
    addData(new tarvex::DbEmbeddedValue(kPlacement, std::make_unique<PlainKitMeta>(), registry));
  }
};

// Binding fails with an exception after the base marked the meta in use.
class ThrowingBindMeta final : public tarvex::DbMetaImpl<ThrowingBindMeta, kThrowingType> {
 public:
  bool setObject(DMMemberBase* object, unsigned short mode) override {
    DbMetaImpl::setObject(object, mode);
    throw std::runtime_error("bind");
  }
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

  // The limits travel with every meta made from one, so working metas made
  // by a pool's fill on another thread, or by a grown pool, have them too.
  plain.setStringLimitMap({{kCount, 8}});
  std::unique_ptr<DbMetaBase> limited(plain.createMeta());
  ASSERT_NE(limited->getStringLimitMap(), nullptr);
  EXPECT_EQ(*limited->getStringLimitMap(), *plain.getStringLimitMap());

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

TEST_F(ProviderKit, EveryValueWritesItsValueAsText) {
  auto embedded = std::make_unique<PlainKitMeta>();
  embedded->setObjectId(DbObjectId(kPlainType, 2, 8));
  tarvex::DbReferenceContainerValue parts(5, tarvex::DbValueModelType::kReference16);
  parts.addReference(DbObjectId(1, 2, 3));
  parts.addReference(DbObjectId(1, 2, 4));
  tarvex::DbReferenceValue<> inner(6, DbObjectId(7, 8, 9));
  inner.setEmbeddedId(2);

  std::vector<std::pair<std::unique_ptr<DbData>, std::wstring>> values;
  values.emplace_back(new tarvex::DbBoolValue(1, true), L"true");
  values.emplace_back(new tarvex::DbCharValue(1, 'x'), L"x");
  values.emplace_back(new tarvex::DbShortValue(1, -3), L"-3");
  values.emplace_back(new tarvex::DbLongValue(1, 60101), L"60101");
  values.emplace_back(new tarvex::DbFloatValue(1, 0.1F), L"0.1");
  values.emplace_back(new tarvex::DbDoubleValue(1, -2.5), L"-2.5");
  values.emplace_back(new tarvex::DbPointValue(1, EPoint(1.0, 0.25)), L"(1, 0.25)");
  values.emplace_back(new tarvex::DbPoint3DValue(1, EPoint3D(1.0, 2.0, 3.5)), L"(1, 2, 3.5)");
  values.emplace_back(new tarvex::DbStringValue(1, EString(L"bolt")), L"bolt");
  values.emplace_back(new tarvex::DbTimeValue(1, ebas::ETime(86400)), L"86400");
  values.emplace_back(new tarvex::DbObjectIdValue(1, DbObjectId(4, 5, 6)), L"4/5/6");
  values.emplace_back(new tarvex::DbReferenceValue<>(1, DbObjectId(1, 2, 3)), L"1/2/3");
  values.emplace_back(new tarvex::DbEmbeddedValue(1, std::move(embedded)), L"61/2/8");
  ReportCapture capture;
  EString text(L"stale");
  for (const auto& [value, expected] : values) {
    EXPECT_TRUE(value->getAsString(text));
    EXPECT_EQ(std::wstring(text), expected);
  }
  EXPECT_TRUE(parts.getAsString(text));
  EXPECT_EQ(std::wstring(text), L"[1/2/3, 1/2/4]");
  EXPECT_TRUE(inner.getAsString(text));
  EXPECT_EQ(std::wstring(text), L"7/8/9#2");

  // The map that joins the texts of a meta's values reports nothing.
  DbDataId2DataMap map;
  map.addData(1, values[3].first.get());
  map.addData(5, &parts);
  EXPECT_TRUE(map.getAsString(text));
  EXPECT_EQ(text.size(), std::wstring(L"60101[1/2/3, 1/2/4]").size());
  EXPECT_TRUE(capture.records().empty());
}

TEST_F(ProviderKit, ResetValuesPutsBackTheConstructionDefaults) {
  EmbeddingKitMeta meta;
  PlainKitMeta& placement = *static_cast<PlainKitMeta*>(meta.getMetaForEmbeddedObject(kPlacement));
  meta.setDataString(kName, EString(L"pump"));
  placement.setDataLong(kCount, 9);
  ASSERT_TRUE(tarvex::addReference(placement, kParts, DbObjectId(1, 1, 1)));
  meta.setModified(true);

  tarvex::resetValues(meta);
  EXPECT_EQ(meta.getData(kName)->getString(), EString(L"unnamed"));
  EXPECT_EQ(placement.getData(kCount)->getLong(), 5);
  EXPECT_EQ(placement.getContainerSize(kParts), 0u);
  EXPECT_TRUE(meta.isModified());  // values only

  // A value of another class keeps its datum; setDatas2Default leaves the
  // kit's values as they are (the schema map is opaque).
  tarvex_test::PlainTestMeta other(kPlainType);
  other.addData(new tarvex_test::LongValue(kCount, 3));
  other.setDataLong(kCount, 4);
  tarvex::resetValues(other);
  EXPECT_EQ(other.getData(kCount)->getLong(), 4);
  tarvex_test::TestSchema schema;
  const DbDataSchemaMap* anyMap = reinterpret_cast<const DbDataSchemaMap*>(&schema);
  schema.setSchemaMap(anyMap);
  meta.setDataString(kName, EString(L"pump"));
  meta.setDatas2Default(1);
  EXPECT_EQ(meta.getData(kName)->getString(), EString(L"pump"));
}

TEST_F(ProviderKit, TypedKeysReadAndWriteAndAnswerForMissingValues) {
  PlainKitMeta meta;
  EXPECT_EQ(tarvex::get(meta, kCountKey), 5);
  EXPECT_TRUE(tarvex::set(meta, kCountKey, 12));
  EXPECT_EQ(meta.getData(kCount)->getLong(), 12);
  EXPECT_EQ(tarvex::tryGet(meta, kCountKey), std::optional<std::int32_t>(12));
  static_assert(std::is_same_v<decltype(tarvex::get(meta, kNameKey)), const EString&>);

  ReportCapture capture;
  EXPECT_EQ(tarvex::get(meta, kNameKey), EString());  // missing: a result, not a crash
  EXPECT_EQ(tarvex::tryGet(meta, kNameKey), std::nullopt);
  EXPECT_FALSE(tarvex::set(meta, kNameKey, L"x"));
  EXPECT_TRUE(capture.records().empty());

  DbMetaManager::getInstance()->registerMeta(new EmbeddingKitMeta);
  tarvex::DbBorrowedMeta handle(kEmbeddingType, testObject(1));
  ASSERT_TRUE(handle);
  EXPECT_TRUE(handle.set(kNameKey, L"valve"));
  EXPECT_EQ(handle.get(kNameKey), EString(L"valve"));
  EXPECT_EQ(handle.tryGet(kCountKey), std::nullopt);
  EXPECT_EQ(handle.get(kCountKey), 0);
  handle.resetValues();
  EXPECT_EQ(handle.get(kNameKey), EString(L"unnamed"));
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

TEST_F(BorrowedMeta, UnboundHandleKeepsItsMetaUntilGivenBack) {
  CountingMeta* working = workingMeta();
  {
    tarvex::DbBorrowedMeta unbound(kPlainType);
    ASSERT_EQ(unbound.get(), working);
    EXPECT_TRUE(working->inUse());
    EXPECT_EQ(working->getObject(), nullptr);
    tarvex::DbBorrowedMeta next(kPlainType);
    EXPECT_NE(next.get(), working);
    next.giveBack();
    EXPECT_TRUE(working->inUse());
    EXPECT_FALSE(DbMetaManager::getInstance()->check());
    EXPECT_FALSE(unbound.bind(nullptr));  // reported, and still held
    EXPECT_TRUE(working->inUse());
    EXPECT_TRUE(unbound.bind(testObject(1)));
    EXPECT_EQ(working->getObject(), testObject(1));
  }
  EXPECT_FALSE(working->inUse());
  EXPECT_TRUE(DbMetaManager::getInstance()->check());
}

TEST_F(BorrowedMeta, BindingThatThrowsGivesTheMetaBack) {
  DbMetaManager::getInstance()->registerMeta(new ThrowingBindMeta);
  EXPECT_THROW(tarvex::DbBorrowedMeta(kThrowingType, testObject(1)), std::runtime_error);
  EXPECT_TRUE(DbMetaManager::getInstance()->check());
  tarvex::DbBorrowedMeta later(kThrowingType);
  DbMetaBase* meta = later.get();
  EXPECT_THROW(later.bind(testObject(2)), std::runtime_error);
  EXPECT_FALSE(later);
  EXPECT_FALSE(meta->inUse());
  EXPECT_TRUE(DbMetaManager::getInstance()->check());
}

TEST_F(BorrowedMeta, UnregisteredTypeGivesAnEmptyHandleWithoutReport) {
  tarvex::DbBorrowedMeta meta(kPlainType + 1, testObject(1));
  EXPECT_FALSE(meta);
  EXPECT_TRUE(m_Capture.records().empty());
}

// --- Tables and registration -----------------------------------------------------

TEST(TablesScope, ScopeThatFindsTheTablesJoinsThem) {
  for (const bool outerIsScope : {true, false}) {
    std::optional<tarvex::DbTablesScope> outer;
    if (outerIsScope) {
      outer.emplace();
    } else {
      DbData::init();  // an application that sets the sort-id table up itself
    }
    DbData::insertBackPackedDatatId(60020, true);
    DbData::setLastEntryDataId(60012);
    DirectKitMeta direct;
    DbMetaManager::getInstance()->registerMeta(new PlainKitMeta);
    tarvex::DbBorrowedMeta held(kPlainType, testObject(1));
    {
      tarvex::DbTablesScope inner;
      EXPECT_TRUE(inner.joined());
      EXPECT_TRUE(DbMetaManager::getInstance()->isMetaRegistered(kPlainType));
      EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(tarvex::DbValueModelType::kLong),
                DbDatabaseType::kLong);
    }
    EXPECT_TRUE(DbData::isBackPackedDatatId(60020));
    EXPECT_TRUE(DbData::isLastEntryDataId(60012));
    EXPECT_NE(DbMetaBase::getPackedDataId(kDirectCount), 0);
    EXPECT_TRUE(DbMetaManager::getInstance()->isMetaRegistered(kPlainType));
    EXPECT_EQ(held->getTypeId(), kPlainType);
    held.giveBack();
    // Without an outer scope the joining one made the type map, and freed it.
    EXPECT_EQ(DbDataModel2DataBaseTypeMap::s_pInstance != nullptr, outerIsScope);
    if (!outerIsScope) {
      DbMetaManager::deinit();
      DbData::deinit();
    }
  }
}

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

TEST_F(ProviderKit, EmbeddedValueAsksTheRegistryItIsGiven) {
  tarvex_test::TestSchema schema;
  ReportCapture capture;
  DbMetaManagerBase local;
  ASSERT_TRUE(local.registerMeta(new PlainKitMeta));
  ASSERT_TRUE(local.registerMeta(new EmbeddingKitMeta(&local)));
  EXPECT_TRUE(capture.assertions().empty());  // no "register the embedded type first"
  const auto& entries = schema.entries();
  EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                          [](const auto& entry) { return entry.dataId == kParts; }),
            2);  // the embedded meta's container, announced for each registration
  EXPECT_FALSE(DbMetaManager::getInstance()->isMetaRegistered(kPlainType));

  // A meta that is null at run time: reported, no embedded object, no crash.
  tarvex::DbEmbeddedValue empty(kPlacement, std::unique_ptr<DbMetaBase>());
  const auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(tarvex_test::narrow(reports[0].text), "VORASSERT (meta) failed");
  EXPECT_EQ(tarvex_test::narrow(reports[0].file), ".\\DbEmbeddedValue");
  EXPECT_EQ(empty.getMeta(), nullptr);
  EXPECT_EQ(empty.getMetaForEmbeddedObject(), nullptr);
}

// Installed-schema pointer after each end, for every order three schemas
// can end in: always the newest living schema, else what was there first.
TEST(SchemaBase, EndingInAnyOrderNeverLeavesAnEndedSchemaInstalled) {
  IDbDataSchema* const before = IDbDataSchema::getSmallInstance();
  std::array<int, 3> order = {0, 1, 2};
  do {
    std::array<std::optional<tarvex_test::TestSchema>, 3> schemas;
    for (auto& schema : schemas) schema.emplace();
    for (int ending : order) {
      schemas[ending].reset();
      IDbDataSchema* expected = before;
      for (auto& schema : schemas) {
        if (schema) expected = &*schema;
      }
      EXPECT_EQ(IDbDataSchema::getSmallInstance(), expected)
          << order[0] << order[1] << order[2] << " after " << ending;
    }
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(IDbDataSchema::getSmallInstance(), before);
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

// --- Keys for embedded objects and containers -------------------------------------

// One report of a value of another kind than its key's.
void expectKindReport(const ReportCapture& capture) {
  const auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(tarvex_test::narrow(reports[0].text), "VORASSERT (value of the key's kind) failed");
  EXPECT_EQ(tarvex_test::narrow(reports[0].file), ".\\DbStructureKeys");
  EXPECT_EQ(reports[0].line, tarvex::kStructureKeyKindLine);
}

TEST_F(ProviderKit, EmbeddedKeyReachesTheEmbeddedMetaOrAnswersNull) {
  constexpr tarvex::EmbeddedKey<PlainKitMeta> kPlacementKey{kPlacement};
  EmbeddingKitMeta meta;
  PlainKitMeta* placement = tarvex::embedded(meta, kPlacementKey);
  ASSERT_NE(placement, nullptr);
  EXPECT_EQ(placement, meta.getMetaForEmbeddedObject(kPlacement));
  EXPECT_EQ(tarvex::embedded(meta, tarvex::EmbeddedKey<>{kPlacement}), placement);
  EXPECT_EQ(tarvex::get(meta, kPlacementKey, kCountKey), 5);
  EXPECT_TRUE(tarvex::set(meta, kPlacementKey, kCountKey, 9));
  EXPECT_EQ(placement->getData(kCount)->getLong(), 9);
  EXPECT_EQ(tarvex::tryGet(meta, kPlacementKey, kCountKey), std::optional<std::int32_t>(9));

  {  // No value of that data id, or none of that id in the embedded meta: results.
    ReportCapture capture;
    constexpr tarvex::EmbeddedKey<PlainKitMeta> kMissing{60999};
    EXPECT_EQ(tarvex::embedded(meta, kMissing), nullptr);
    EXPECT_EQ(tarvex::get(meta, kMissing, kCountKey), 0);
    EXPECT_EQ(tarvex::tryGet(meta, kMissing, kCountKey), std::nullopt);
    EXPECT_FALSE(tarvex::set(meta, kMissing, kCountKey, 1));
    EXPECT_EQ(tarvex::tryGet(meta, kPlacementKey, kNameKey), std::nullopt);
    EXPECT_TRUE(capture.records().empty());
  }
  {  // A value of another kind.
    ReportCapture capture;
    EXPECT_FALSE(tarvex::set(meta, tarvex::EmbeddedKey<>{kName}, kCountKey, 1));
    expectKindReport(capture);
  }
  {  // An embedded meta of another class.
    ReportCapture capture;
    EXPECT_EQ(tarvex::get(meta, tarvex::EmbeddedKey<DirectKitMeta>{kPlacement}, kCountKey), 0);
    expectKindReport(capture);
  }
  {  // An embedded value without a meta: reported once, where it was made.
    ReportCapture capture;
    PlainKitMeta owner;
    owner.addData(new tarvex::DbEmbeddedValue(tarvex::EmbeddedKey<>{kPlacement},
                                              std::unique_ptr<PlainKitMeta>()));
    EXPECT_EQ(tarvex::embedded(owner, tarvex::EmbeddedKey<>{kPlacement}), nullptr);
    EXPECT_EQ(capture.assertions().size(), 1u);
  }
}

TEST_F(ProviderKit, ContainerKeyAddsRemovesCountsAndWalksInOrder) {
  constexpr tarvex::ContainerKey kPartsKey{kParts};
  PlainKitMeta meta;
  const auto id = [](std::uint32_t number) { return DbObjectId(kPlainType, 1, number); };
  EXPECT_TRUE(tarvex::addReference(meta, kPartsKey, id(2)));
  EXPECT_TRUE(tarvex::addReference(meta, kPartsKey, id(4), 1));  // at the end, as count
  EXPECT_TRUE(tarvex::addReference(meta, kPartsKey, id(3), 1));  // in the middle
  EXPECT_TRUE(tarvex::addReference(meta, kPartsKey, id(1), 0));  // in front
  EXPECT_TRUE(tarvex::addReference(meta, kPartsKey, id(5), 9));  // beyond: appended
  EXPECT_EQ(tarvex::references(meta, kPartsKey),
            (std::vector<DbObjectId>{id(1), id(2), id(3), id(4), id(5)}));
  EXPECT_EQ(tarvex::referenceCount(meta, kPartsKey), 5u);
  EXPECT_FALSE(tarvex::removeReference(meta, kPartsKey, -1));
  EXPECT_FALSE(tarvex::removeReference(meta, kPartsKey, 5));
  EXPECT_TRUE(tarvex::removeReference(meta, kPartsKey, 2));
  EXPECT_EQ(tarvex::references(meta, kPartsKey),
            (std::vector<DbObjectId>{id(1), id(2), id(4), id(5)}));

  // A visit that changes the container moves by position and stays inside.
  std::vector<DbObjectId> seen;
  EXPECT_TRUE(tarvex::forEachReference(meta, kPartsKey, [&](const DbObjectId& part) {
    seen.push_back(part);
    tarvex::removeReference(meta, kPartsKey, 0);
  }));
  EXPECT_EQ(seen, (std::vector<DbObjectId>{id(1), id(4)}));
  EXPECT_EQ(tarvex::referenceCount(meta, kPartsKey), 2u);
  // A visit that throws: the exception passes, the container stays.
  EXPECT_THROW(tarvex::forEachReference(meta, kPartsKey,
                                        [](const DbObjectId&) { throw std::runtime_error("x"); }),
               std::runtime_error);
  EXPECT_EQ(tarvex::referenceCount(meta, kPartsKey), 2u);

  ReportCapture capture;
  constexpr tarvex::ContainerKey kMissing{60999};
  bool visited = false;
  EXPECT_FALSE(
      tarvex::forEachReference(meta, kMissing, [&](const DbObjectId&) { visited = true; }));
  EXPECT_FALSE(tarvex::addReference(meta, kMissing, id(1)));
  EXPECT_FALSE(tarvex::removeReference(meta, kMissing, 0));
  EXPECT_EQ(tarvex::referenceCount(meta, kMissing), 0u);
  EXPECT_TRUE(capture.records().empty());
  EXPECT_FALSE(tarvex::addReference(meta, tarvex::ContainerKey{kCount}, id(1)));
  expectKindReport(capture);
  EXPECT_FALSE(visited);
  EXPECT_EQ(meta.getData(kCount)->getLong(), 5);

  // Built from its key: references of database type 15 unless named.
  tarvex::DbReferenceContainerValue plain(kPartsKey);
  EXPECT_EQ(plain.getDataId(), kParts);
  EXPECT_EQ(plain.getDataBaseTypeOfElements(), DbDatabaseType::kReference15);
  tarvex::DbReferenceContainerValue named(kPartsKey, tarvex::DbValueModelType::kReference18);
  EXPECT_EQ(named.getDataBaseTypeOfElements(), DbDatabaseType::kReference18);
}

// --- The recording schema ----------------------------------------------------------

TEST_F(ProviderKit, RecordingSchemaKeepsEachEntryOnceWithItsDefault) {
  tarvex::DbRecordingSchema schema;
  EXPECT_EQ(IDbDataSchema::getSmallInstance(), &schema);
  DbMetaManagerBase local;
  ASSERT_TRUE(local.registerMeta(new PlainKitMeta));
  ASSERT_TRUE(local.registerMeta(new EmbeddingKitMeta(&local)));  // announces PlainKitMeta again
  EXPECT_EQ(schema.getDataEntryCount(kPlainType), 2u);
  EXPECT_EQ(schema.getDataEntryCount(kEmbeddingType), 2u);
  EXPECT_EQ(schema.getDataEntryCount(kPlainType + 1), 0u);
  EXPECT_EQ(schema.entries().size(), 4u);
  const auto& count = schema.entries().at({kPlainType, kCount});
  EXPECT_EQ(count.dataModelType, tarvex::DbValueModelType::kLong);
  ASSERT_TRUE(std::holds_alternative<std::int32_t>(count.defaultValue));
  EXPECT_EQ(std::get<std::int32_t>(count.defaultValue), 5);

  PlainKitMeta meta;
  schema.addDataEntry(&meta, kCount, tarvex::DbValueModelType::kLong, std::int32_t{7});
  EXPECT_EQ(std::get<std::int32_t>(schema.entries().at({kPlainType, kCount}).defaultValue), 7);
  meta.declareOldDataId(61099);
  schema.declareOldDataId(nullptr, 61098);  // no type to keep it under
  schema.recordEntry(nullptr, 61097, 0, tarvex::DbSchemaDefault());
  EXPECT_EQ(schema.oldDataIds(), (std::set<tarvex::DbRecordingSchema::Key>{{kPlainType, 61099}}));
  EXPECT_EQ(schema.entries().size(), 4u);
  EXPECT_EQ(schema.getDataSchemaMap(1), nullptr);

  // Closed, it is told nothing.
  schema.setSchemaClosed(true);
  ASSERT_TRUE(local.registerMeta(new DirectKitMeta));
  EXPECT_EQ(schema.getDataEntryCount(kDirectType), 0u);
}

// --- The framework's life and meta-table registration --------------------------------

// Counts its calls; told to throw from either.
class CountingTable : public IDbMetaTable {
 public:
  bool initTable() override {
    ++s_Inits;
    if (s_ThrowInInit) throw std::bad_alloc();
    return false;  // the framework's answer does not depend on it
  }
  bool exitTable() override {
    ++s_Exits;
    if (s_ThrowInExit) throw std::runtime_error("exit");
    return true;
  }
  static void reset() { s_Inits = s_Exits = 0, s_ThrowInInit = s_ThrowInExit = false; }

  inline static int s_Inits = 0;
  inline static int s_Exits = 0;
  inline static bool s_ThrowInInit = false;
  inline static bool s_ThrowInExit = false;
};

class FrameworkScope : public ProviderKit {
 protected:
  void SetUp() override { CountingTable::reset(); }
  void TearDown() override { EXPECT_FALSE(tarvex::DbFrameworkScope::running()); }
  tarvex::DbMetaTableScope<CountingTable> m_Table{L"CountingTable"};
};

TEST_F(FrameworkScope, StartsOnceAndShutsDownAtItsEndOrEarlyOnce) {
  ASSERT_TRUE(m_Table.registered());
  {
    tarvex::DbFrameworkScope framework(m_Tables);
    EXPECT_TRUE(framework.started());  // although initTable answered false
    EXPECT_FALSE(framework.joined());
    EXPECT_TRUE(tarvex::DbFrameworkScope::running());
    EXPECT_EQ(CountingTable::s_Inits, 1);
    {
      tarvex::DbFrameworkScope inner(m_Tables);
      EXPECT_TRUE(inner.joined());
      EXPECT_TRUE(inner.started());
      EXPECT_TRUE(inner.shutDown());  // the outer one's to do
    }
    EXPECT_EQ(CountingTable::s_Inits, 1);
    EXPECT_EQ(CountingTable::s_Exits, 0);
  }
  EXPECT_EQ(CountingTable::s_Exits, 1);

  tarvex::DbFrameworkScope early(m_Tables);
  EXPECT_TRUE(early.shutDown());
  EXPECT_TRUE(early.shutDown());
  EXPECT_FALSE(tarvex::DbFrameworkScope::running());
  EXPECT_EQ(CountingTable::s_Exits, 2);
}

TEST_F(FrameworkScope, AnExceptionCannotSkipTheShutDown) {
  try {
    tarvex::DbFrameworkScope framework(m_Tables);
    throw std::runtime_error("work");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(CountingTable::s_Exits, 1);

  // From the start-up itself: shut down, then the exception passes.
  CountingTable::s_ThrowInInit = true;
  EXPECT_THROW(tarvex::DbFrameworkScope{m_Tables}, std::bad_alloc);
  EXPECT_EQ(CountingTable::s_Exits, 2);
  EXPECT_FALSE(tarvex::DbFrameworkScope::running());
  CountingTable::s_ThrowInInit = false;

  // From the shut-down: passed by shutDown(), reported at the end.
  CountingTable::s_ThrowInExit = true;
  {
    tarvex::DbFrameworkScope framework(m_Tables);
    EXPECT_THROW(framework.shutDown(), std::runtime_error);
    EXPECT_FALSE(tarvex::DbFrameworkScope::running());
  }
  EXPECT_EQ(CountingTable::s_Exits, 3);
  ReportCapture capture;
  { tarvex::DbFrameworkScope framework(m_Tables); }
  EXPECT_EQ(CountingTable::s_Exits, 4);
  const auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(tarvex_test::narrow(reports[0].text), "VORASSERT (shut-down without exception) failed");
  EXPECT_EQ(tarvex_test::narrow(reports[0].file), ".\\DbFrameworkScope");
  EXPECT_EQ(reports[0].line, tarvex::DbFrameworkScope::kShutDownThrewLine);
}

TEST_F(FrameworkScope, OuterEndingFirstLeavesTheJoinedOneNothingToDo) {
  std::optional<tarvex::DbFrameworkScope> outer(std::in_place, m_Tables);
  tarvex::DbFrameworkScope inner(m_Tables);
  outer.reset();
  EXPECT_EQ(CountingTable::s_Exits, 1);
  EXPECT_FALSE(tarvex::DbFrameworkScope::running());
  EXPECT_TRUE(inner.shutDown());
  EXPECT_EQ(CountingTable::s_Exits, 1);
}

TEST(FrameworkScopeAfterItsTables, ShutsDownAllTheSame) {
  CountingTable::reset();
  tarvex::DbMetaTableScope<CountingTable> table(L"CountingTable");
  std::optional<tarvex::DbTablesScope> tables(std::in_place);
  {
    tarvex::DbFrameworkScope framework(*tables);
    tables.reset();  // the registry and the tables go first
  }
  EXPECT_EQ(CountingTable::s_Exits, 1);
  EXPECT_FALSE(tarvex::DbFrameworkScope::running());
}

// A meta whose registration is refused: its createMeta makes nothing.
class UncopiableKitMeta final : public tarvex::DbMetaImpl<UncopiableKitMeta, kThrowingType + 1> {
 public:
  DbMetaBase* createMeta() override { return nullptr; }
};

std::vector<EString> metaTableNames() {
  std::vector<EString> names;
  AfInterfaceNameManager::instance()->getRegisterdInterfaceNames(L"IDbMetaTable", names);
  return names;
}

TEST(MetaTableRegistration, RefusesATakenOrEmptyNameAndRegistrationWhileRunning) {
  const std::vector<EString> before = metaTableNames();
  std::optional<tarvex::DbMetaTableScope<CountingTable>> first(std::in_place, L"KitTable");
  EXPECT_TRUE(first->registered());
  EXPECT_EQ(first->name(), EString(L"KitTable"));
  {
    ReportCapture capture;
    tarvex::DbMetaTableScope<KitTable> second(L"KitTable");
    EXPECT_FALSE(second.registered());
    EXPECT_FALSE(tarvex::registerMetaTable<KitTable>(L""));
    const auto reports = capture.assertions();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(tarvex_test::narrow(reports[1].text),
              "VORASSERT (meta table name new, framework not running) failed");
    EXPECT_EQ(tarvex_test::narrow(reports[1].file), ".\\DbMetaTableRegistration");
    EXPECT_EQ(reports[1].line, tarvex::kMetaTableRefusedLine);
  }
  // The refused scope's end took nothing away: the first table is made.
  std::unique_ptr<IAfInterface> table(
      AfInterfaceManager::getInstance()->createInstance(L"KitTable", L"", 0));
  EXPECT_NE(dynamic_cast<CountingTable*>(table.get()), nullptr);
  EXPECT_EQ(metaTableNames().size(), before.size() + 1);
  {
    tarvex::DbTablesScope tables;
    tarvex::DbFrameworkScope framework(tables);
    ReportCapture capture;
    EXPECT_FALSE(tarvex::registerMetaTable<KitTable>(L"LateTable"));
    EXPECT_EQ(capture.assertions().size(), 1u);
  }
  EXPECT_FALSE(AfInterfaceManager::getInstance()->isKnown(L"LateTable", false, true));
  first.reset();
  EXPECT_FALSE(AfInterfaceManager::getInstance()->isKnown(L"KitTable", false, true));
  EXPECT_EQ(metaTableNames(), before);
  EXPECT_FALSE(tarvex::unregisterMetaTable(L"KitTable"));
}

TEST_F(ProviderKit, ReadyMetaTableRegistersInOrderAndAnswersForEveryMeta) {
  ReportCapture capture;
  tarvex::DbMetaTable<PlainKitMeta, EmbeddingKitMeta> table;
  EXPECT_TRUE(table.initTable());
  EXPECT_TRUE(capture.assertions().empty());  // the embedded type came first
  EXPECT_TRUE(DbMetaManager::getInstance()->isMetaRegistered(kEmbeddingType));
  EXPECT_TRUE(table.exitTable());
  tarvex::DbMetaTable<UncopiableKitMeta, DirectKitMeta> refusing;
  EXPECT_FALSE(refusing.initTable());
  EXPECT_TRUE(DbMetaManager::getInstance()->isMetaRegistered(kDirectType));  // the rest goes on
}

}  // namespace
