// The provider kit: the meta template against the base's behaviour, the
// kit's values, typed keys (for values, embedded objects and containers),
// the borrowed-meta handle, the schema base and the recording schema, the
// tables' and the framework's scopes and meta-table registration. What the
// kit refuses to compile is KitMisuse.cpp's.
#include <gtest/gtest.h>

#if defined(TARVEX_TEST_KIT_PLUGIN)
#include <dlfcn.h>
#endif

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
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
constexpr unsigned short kAllKindsType = 65;
constexpr std::array<unsigned short, 14> kKindIds = {61100, 61101, 61102, 61103, 61104,
                                                     61105, 61106, 61107, 61108, 61109,
                                                     61110, 61111, 61112, 61113};

// A value's text, for comparing values of any kind.
EString text(const DbData& value) {
  EString out;
  value.getAsString(out);
  return out;
}

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
  static inline unsigned short s_LastMode = 0xFFFF;
  bool setObject(DMMemberBase* object, unsigned short mode) override {
    s_LastMode = mode;
    DbMetaImpl::setObject(object, mode);
    throw std::runtime_error("bind");
  }
};

class ProviderKit : public ::testing::Test {
 protected:
  tarvex::DbTablesScope m_Tables;
};

// The capture holds exactly one report, of `text` from `file`, `line`.
void expectReport(const ReportCapture& capture, const char* text, const char* file, int line) {
  const auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(tarvex_test::narrow(reports[0].text), text);
  EXPECT_EQ(tarvex_test::narrow(reports[0].file), file);
  EXPECT_EQ(reports[0].line, line);
}
void expectLostWriteReport(const ReportCapture& capture) {
  expectReport(capture, "VORASSERT (meta with a value of the key's data id) failed", ".\\DbDataKey",
               180);  // the guide's line
}

// --- The meta template ---------------------------------------------------------

TEST_F(ProviderKit, MetaBindsAndGivesBackAsTheBase) {
  PlainKitMeta meta;
  EXPECT_EQ(meta.getTypeId(), kPlainType);
  EXPECT_FALSE(meta.isModified());
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

  // A class that names another of its type id as Derived makes no copy of
  // that other class.
  class CopiedMeta final : public tarvex::DbMetaImpl<PlainKitMeta, kPlainType> {};
  CopiedMeta copied;
  ReportCapture capture;
  EXPECT_EQ(copied.createMeta(), nullptr);
  expectReport(capture, "VORASSERT (meta of the class it names as Derived) failed", ".\\DbMetaImpl",
               60);  // the guide's line
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
  EXPECT_EQ(parts->element(1), nullptr);  // past the end, where the removed one was
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
  values.emplace_back(new tarvex::DbDoubleValue(1, -1234.56789012345), L"-1234.56789012345");
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
  placement.setObjectId(DbObjectId(kPlainType, 1, 77));
  ASSERT_TRUE(tarvex::addReference(placement, kParts, DbObjectId(1, 1, 1)));
  meta.setModified(true);

  tarvex::resetValues(meta);
  EXPECT_EQ(meta.getData(kName)->getString(), EString(L"unnamed"));
  EXPECT_EQ(placement.getObjectId(), DbObjectId());
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
  // Built from a key with a value that converts, as from a plain data id.
  EXPECT_EQ(tarvex::DbStringValue(kNameKey, L"bolt").value(), EString(L"bolt"));
  EXPECT_EQ(tarvex::DbShortValue(tarvex::DataKey<short>{1}, short{3}).value(), 3);
  EXPECT_EQ(tarvex::DbDoubleValue(tarvex::DataKey<double>{1}, 1.5F).value(), 1.5);
  // A reference on a provider's own base, of each reference type: by its
  // database type, written whole (no embedded id of an earlier object).
  for (const unsigned char type :
       {tarvex::DbValueModelType::kReference15, tarvex::DbValueModelType::kReference16,
        tarvex::DbValueModelType::kReference18}) {
    const tarvex::DataKey<DbObjectId> key(60980 + type);
    auto* reference = new tarvex_test::ReferenceValue(key.dataId(), DbObjectId(), type);
    reference->setEmbeddedId(4);
    meta.addData(reference);
    EXPECT_TRUE(tarvex::set(meta, key, DbObjectId(1, 2, type)));
    EXPECT_EQ(tarvex::get(meta, key), DbObjectId(1, 2, type));
    EXPECT_EQ(reference->getEmbeddedId(), 0);
  }

  ReportCapture capture;
  EXPECT_EQ(tarvex::get(meta, kNameKey), EString());  // missing: a result, not a crash
  EXPECT_EQ(tarvex::tryGet(meta, kNameKey), std::nullopt);
  EXPECT_TRUE(capture.records().empty());
  EXPECT_FALSE(tarvex::set(meta, kNameKey, L"x"));  // a lost write is no silent one
  expectLostWriteReport(capture);
  capture.clear();
  const tarvex::DbBorrowedMeta empty(kPlainType + 900);
  EXPECT_FALSE(empty.set(kCountKey, 1));
  expectLostWriteReport(capture);
  EXPECT_EQ(empty.tryGet(kCountKey), std::nullopt);
  EXPECT_EQ(empty.get(kNameKey), EString());

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

// Every key kind against a value of every kind: only the key's own kind
// reads and writes; any other reports, writes nothing and answers nothing.
class AllKindsMeta final : public tarvex::DbMetaImpl<AllKindsMeta, kAllKindsType> {
 public:
  AllKindsMeta() {
    addData(new tarvex::DbBoolValue(kKindIds[0]));
    addData(new tarvex::DbCharValue(kKindIds[1]));
    addData(new tarvex::DbShortValue(kKindIds[2]));
    addData(new tarvex::DbLongValue(kKindIds[3]));
    addData(new tarvex::DbFloatValue(kKindIds[4]));
    addData(new tarvex::DbDoubleValue(kKindIds[5]));
    addData(new tarvex::DbStringValue(kKindIds[6]));
    addData(new tarvex::DbPointValue(kKindIds[7]));
    addData(new tarvex::DbPoint3DValue(kKindIds[8]));
    addData(new tarvex::DbTimeValue(kKindIds[9]));
    addData(new tarvex::DbObjectIdValue(kKindIds[10]));
    addData(new tarvex::DbReferenceValue<>(kKindIds[11]));
    addData(new tarvex::DbReferenceValue<>(kKindIds[12], DbObjectId(),
                                           tarvex::DbValueModelType::kReference16));
    addData(new tarvex::DbReferenceValue<>(kKindIds[13], DbObjectId(),
                                           tarvex::DbValueModelType::kReference18));
  }
};

// One sample of each key kind, in the order of kKindIds (the three
// references share the last).
const auto kSamples = std::make_tuple(
    std::make_pair(tarvex::DataKey<bool>(0), true), std::make_pair(tarvex::DataKey<char>(0), 'q'),
    std::make_pair(tarvex::DataKey<short>(0), short{-7}),
    std::make_pair(tarvex::DataKey<std::int32_t>(0), std::int32_t{70000}),
    std::make_pair(tarvex::DataKey<float>(0), 0.5F),
    std::make_pair(tarvex::DataKey<double>(0), 2.25),
    std::make_pair(tarvex::DataKey<EString>(0), EString(L"nut")),
    std::make_pair(tarvex::DataKey<EPoint>(0), EPoint(1.0, 2.0)),
    std::make_pair(tarvex::DataKey<EPoint3D>(0), EPoint3D(1.0, 2.0, 3.0)),
    std::make_pair(tarvex::DataKey<ebas::ETime>(0), ebas::ETime(99)),
    std::make_pair(tarvex::DataKey<tarvex::OwnObjectId>(0), DbObjectId(5, 6, 7)),
    std::make_pair(tarvex::DataKey<DbObjectId>(0), DbObjectId(8, 9, 10)));

TEST_F(ProviderKit, KeysReadAndWriteOnlyValuesOfTheirKind) {
  AllKindsMeta meta;
  std::size_t kind = 0;
  std::size_t mismatches = 0;
  auto tryEveryValue = [&](const auto& sample) {
    using Key = std::decay_t<decltype(sample.first)>;
    for (std::size_t valueIndex = 0; valueIndex < kKindIds.size(); ++valueIndex) {
      const Key key(kKindIds[valueIndex]);
      const bool ownKind = valueIndex == kind || (kind == 11 && valueIndex > 11);
      SCOPED_TRACE(testing::Message() << "key kind " << kind << ", value " << valueIndex);
      const auto before = std::wstring(text(*meta.getData(key.dataId())));
      EXPECT_EQ(tarvex::set(meta, key, sample.second), ownKind);
      EXPECT_EQ(tarvex::tryGet(meta, key).has_value(), ownKind);
      if (ownKind) {
        EXPECT_TRUE(tarvex::get(meta, key) == sample.second);
        EXPECT_TRUE(*tarvex::tryGet(meta, key) == sample.second);
      } else {
        EXPECT_TRUE(tarvex::get(meta, key) == typename Key::Value());
        EXPECT_EQ(std::wstring(text(*meta.getData(key.dataId()))), before);  // nothing written
        ++mismatches;
      }
      tarvex::resetValues(meta);
    }
    ++kind;
  };
  ReportCapture capture;
  std::apply([&](const auto&... samples) { (tryEveryValue(samples), ...); }, kSamples);
  // A kit value's kind follows from its class, whatever the type map says.
  for (unsigned char type = 0; type < 127; ++type) {
    DbDataModel2DataBaseTypeMap::addDataModelType(type, DbDatabaseType::kLong);
  }
  kind = 0;
  std::apply([&](const auto&... samples) { (tryEveryValue(samples), ...); }, kSamples);
  struct OwnDouble final : tarvex::DbValueBase {  // a provider's own class, by its kit type
    OwnDouble() : DbValueBase(60999, tarvex::DbValueModelType::kDouble) {}
    double getDouble() const override { return 2.5; }
  };
  meta.addData(new OwnDouble);
  EXPECT_EQ(tarvex::get(meta, tarvex::DataKey<double>{60999}), 2.5);
  const auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 3 * mismatches);  // set, tryGet, get
  for (std::size_t i = 0; i < reports.size(); ++i) {
    EXPECT_EQ(tarvex_test::narrow(reports[i].text), "VORASSERT (value of the key's kind) failed");
    EXPECT_EQ(tarvex_test::narrow(reports[i].file), ".\\DbDataKey");
  }
  ASSERT_GE(reports.size(), 3u);
  EXPECT_EQ(reports[0].line, 170);  // the glossary's lines
  EXPECT_EQ(reports[1].line, 160);
  EXPECT_EQ(reports[2].line, 150);
}

// Registration announces each kit value to the schema with the default of
// its kind (the schema base passes every overload on).
TEST_F(ProviderKit, RegistrationAnnouncesEveryKindWithItsOverload) {
  using Overload = tarvex_test::TestSchema::Overload;
  tarvex_test::TestSchema schema;
  DbMetaManagerBase local;
  ASSERT_TRUE(local.registerMeta(new AllKindsMeta));
  std::vector<Overload> overloads;
  for (const auto& entry : schema.entries()) overloads.push_back(entry.overload);
  EXPECT_EQ(overloads, (std::vector<Overload>{Overload::Bool, Overload::Char, Overload::Short,
                                              Overload::Long, Overload::Float, Overload::Double,
                                              Overload::Plain, Overload::Point, Overload::Point3D,
                                              Overload::Plain, Overload::Plain, Overload::Plain,
                                              Overload::Plain, Overload::Plain}));
}

// Each kit value's data-model type is its database type plus 20.
TEST_F(ProviderKit, EveryKitKindHasTheDataModelTypeOfItsDatabaseType) {
  AllKindsMeta meta;
  std::vector<int> databaseTypes;
  for (const DbData* value : meta.getDataList(false)) {
    databaseTypes.push_back(value->getDatabaseType());
    EXPECT_EQ(value->getDataModelType(), value->getDatabaseType() + 20) << value->getDataId();
  }
  EXPECT_EQ(databaseTypes, (std::vector<int>{1, 2, 3, 4, 5, 6, 20, 7, 19, 21, 14, 15, 16, 18}));
  tarvex::DbReferenceContainerValue parts(1, tarvex::DbValueModelType::kReference16);
  tarvex::DbEmbeddedValue placement(2, std::make_unique<PlainKitMeta>());
  EXPECT_EQ(parts.getDatabaseType(), DbDatabaseType::kContainer);
  EXPECT_EQ(placement.getDatabaseType(), DbDatabaseType::kEmbeddedObject);
  EXPECT_EQ(parts.getDataModelType(), parts.getDatabaseType() + 20);
  EXPECT_EQ(placement.getDataModelType(), placement.getDatabaseType() + 20);
}

TEST_F(ProviderKit, WritingAReferenceThroughItsKeySetsTheWholeReference) {
  AllKindsMeta meta;
  DbData& reference = *meta.getData(kKindIds[11]);
  reference.setReference(DbObjectId(46, 1, 9));
  reference.setEmbeddedId(3);
  EXPECT_EQ(std::wstring(text(reference)), L"46/1/9#3");
  ASSERT_TRUE(tarvex::set(meta, tarvex::DataKey<DbObjectId>(kKindIds[11]), DbObjectId(46, 1, 10)));
  EXPECT_EQ(reference.getEmbeddedId(), 0);
  EXPECT_EQ(std::wstring(text(reference)), L"46/1/10");
}

// After DbData::clear() a value is invalid, and changeDatabaseIds skips it,
// until a kit write or resetValues() makes it valid again.
TEST_F(ProviderKit, ClearedValuesAreValidAgainAfterAWriteOrAReset) {
  for (const bool throughReset : {false, true}) {
    SCOPED_TRACE(throughReset ? "resetValues" : "writes");
    AllKindsMeta meta;
    for (DbData* value : meta.getDataList(false)) value->clear();
    if (throughReset) {
      tarvex::resetValues(meta);
    } else {
      std::size_t kind = 0;
      auto write = [&](const auto& sample) {
        using Key = std::decay_t<decltype(sample.first)>;
        EXPECT_TRUE(tarvex::set(meta, Key(kKindIds[kind++]), sample.second));
      };
      std::apply([&](const auto&... samples) { (write(samples), ...); }, kSamples);
      meta.getData(kKindIds[12])->setReference(DbObjectId(8, 3, 1));
      meta.getData(kKindIds[13])->setEmbeddedId(0);
    }
    for (DbData* value : meta.getDataList(false)) {
      EXPECT_TRUE(value->valid()) << value->getDataId();
    }
    meta.getData(kKindIds[11])->setReference(DbObjectId(8, 3, 2));
    meta.changeDatabaseIds(3, 4);
    EXPECT_EQ(meta.getData(kKindIds[11])->getReference(), DbObjectId(8, 4, 2));
  }
  // The value's own in-place writers count as writes.
  tarvex::DbPointValue point(1);
  point.clear();
  point.getPointToSet() = EPoint(1.0, 1.0);
  EXPECT_TRUE(point.valid());
  tarvex::DbStringValue name(2);
  name.clear();
  name.getStringToSet() = EString(L"x");
  EXPECT_TRUE(name.valid());
  tarvex::DbPoint3DValue corner(3);
  corner.clear();
  corner.getPoint3DToSet() = EPoint3D(1.0, 1.0, 1.0);
  EXPECT_TRUE(corner.valid());
  tarvex::DbTimeValue time(4);
  time.clear();
  time.getTimeToSet() = ebas::ETime(5);
  EXPECT_TRUE(time.valid());
  // On a provider's own base that has no valid(): by the same flag.
  struct OwnBase : DbData {
    OwnBase(unsigned short dataId, unsigned char /*dataModelType*/) : DbData(dataId) {}
  };
  tarvex::DbValue<std::int32_t, OwnBase> count(5);
  tarvex::DbReferenceValue<OwnBase> anchor(6);
  EXPECT_TRUE(count.valid() && anchor.valid());
  count.clear();
  anchor.clear();
  EXPECT_FALSE(count.valid() || anchor.valid());
  count.setLong(1);
  anchor.setReference(DbObjectId(8, 3, 1));
  EXPECT_TRUE(count.valid() && anchor.valid());
}

// Insertion into a reference container at each position: inside 0..count
// at that position, anywhere else at the end.
TEST_F(ProviderKit, ContainerInsertsAtThePositionOrAppends) {
  const std::pair<int, const wchar_t*> expected[] = {{0, L"[1/1/3, 1/1/1, 1/1/2]"},
                                                     {1, L"[1/1/1, 1/1/3, 1/1/2]"},
                                                     {2, L"[1/1/1, 1/1/2, 1/1/3]"},
                                                     {3, L"[1/1/1, 1/1/2, 1/1/3]"},
                                                     {-1, L"[1/1/1, 1/1/2, 1/1/3]"}};
  for (const auto& [position, text] : expected) {
    PlainKitMeta meta;
    ASSERT_TRUE(tarvex::addReference(meta, kParts, DbObjectId(1, 1, 1)));
    ASSERT_TRUE(tarvex::addReference(meta, kParts, DbObjectId(1, 1, 2)));
    PlainKitMeta third;
    third.setObjectId(DbObjectId(1, 1, 3));
    EXPECT_TRUE(meta.addObject2Container(kParts, third, position));
    EXPECT_EQ(std::wstring(::text(*meta.getData(kParts))), text) << position;
    EXPECT_FALSE(tarvex::addReference(meta, kCount, DbObjectId(1, 1, 4)));  // not a container
  }
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

// A handle can be neither emptied, moved nor assigned (KitMisuse.cpp); what
// moved metas between handles before is a temporary's give-back now.
TEST_F(BorrowedMeta, TemporaryHandleGivesBackOnce) {
  CountingMeta* working = workingMeta();
  const int before = working->clearCount();
  {
    tarvex::DbBorrowedMeta held(kPlainType, testObject(1));
    EXPECT_EQ(held.get(), working);
    // Made while `working` is held, so the pool hands out another.
    auto* other =
        static_cast<CountingMeta*>(tarvex::DbBorrowedMeta(kPlainType, testObject(2)).get());
    ASSERT_NE(other, working);
    EXPECT_FALSE(other->inUse());
    EXPECT_EQ(working->clearCount(), before);
  }
  EXPECT_EQ(working->clearCount(), before + 1);
  EXPECT_FALSE(working->inUse());
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
  EXPECT_EQ(ThrowingBindMeta::s_LastMode, 0);  // the default mode, as setObject's
  DbMetaManagerBase& registry = *DbMetaManager::getInstance();
  EXPECT_THROW(tarvex::DbBorrowedMeta(registry, kThrowingType, testObject(1)), std::runtime_error);
  EXPECT_EQ(ThrowingBindMeta::s_LastMode, 0);
  EXPECT_TRUE(DbMetaManager::getInstance()->check());
  tarvex::DbBorrowedMeta later(kThrowingType);
  DbMetaBase* meta = later.get();
  EXPECT_THROW(later.bind(testObject(2)), std::runtime_error);
  EXPECT_EQ(ThrowingBindMeta::s_LastMode, 0);  // bind's too
  EXPECT_FALSE(later);
  EXPECT_FALSE(meta->inUse());
  EXPECT_TRUE(DbMetaManager::getInstance()->check());
}

TEST_F(BorrowedMeta, UnregisteredTypeGivesAnEmptyHandleWithoutReport) {
  tarvex::DbBorrowedMeta meta(kPlainType + 1, testObject(1));
  EXPECT_FALSE(meta);
  EXPECT_FALSE(meta.bind(testObject(2)));  // nothing to bind
  EXPECT_TRUE(m_Capture.records().empty());
}

// The handle's losses of a kit meta: each ends neutral, reported once.
std::vector<std::string> handleReports(const ReportCapture& capture) {
  std::vector<std::string> out;
  for (const auto& report : capture.assertions()) {
    if (tarvex_test::narrow(report.file) != ".\\DbBorrowedMeta") continue;
    out.push_back(std::to_string(report.line) + " " + tarvex_test::narrow(report.text));
  }
  return out;
}

TEST_F(ProviderKit, HandleWhoseRegistryIsGoneOnlyReports) {
  ReportCapture capture;
  std::optional<tarvex::DbBorrowedMeta> handle;
  {
    DbMetaManagerBase local;
    ASSERT_TRUE(local.registerMeta(new PlainKitMeta));
    handle.emplace(local, kPlainType, testObject(1));
    ASSERT_TRUE(*handle);
  }  // deletes the meta the handle holds
  EXPECT_FALSE(*handle);
  EXPECT_EQ(handle->get(kCountKey), 0);
  EXPECT_FALSE(handle->set(kCountKey, 1));
  handle.reset();  // touches nothing
  EXPECT_EQ(
      handleReports(capture),
      std::vector<std::string>{"70 The borrowed meta was deleted with its registry before the "
                               "handle gave it back!"});

  // The same through the process-wide registry's teardown.
  DbMetaManager::getInstance()->registerMeta(new PlainKitMeta);
  handle.emplace(kPlainType);
  DbMetaManager::deinit();
  EXPECT_FALSE(*handle);
  handle->giveBack();
  handle->giveBack();  // reported once
  EXPECT_EQ(handleReports(capture).size(), 2u);
}

TEST_F(ProviderKit, MetaGivenBackBehindTheHandleIsNotGivenBackAgain) {
  DbMetaManager::getInstance()->registerMeta(new PlainKitMeta);
  for (int way = 0; way < 9; ++way) {  // bound, unbound, bound later
    SCOPED_TRACE(way);
    ReportCapture capture;
    std::optional<tarvex::DbBorrowedMeta> next;
    DbMetaBase* meta = nullptr;
    {
      tarvex::DbBorrowedMeta first(kPlainType, way < 3 ? testObject(1) : nullptr);
      if (way >= 6) first.bind(testObject(1));
      meta = first.get();
      if (way % 3 == 0) first->clear();
      if (way % 3 == 1) first->setObject(nullptr, 0);
      if (way % 3 == 2) DbMetaManager::getInstance()->clearAllMetas(true);
      EXPECT_FALSE(first);
      next.emplace(kPlainType, testObject(2));
      ASSERT_EQ(next->get(), meta);  // the pool hands the same meta out again
    }                                // `first` ends: it must not give back what `next` holds
    EXPECT_TRUE(meta->inUse());
    EXPECT_EQ(meta->getObject(), testObject(2));
    EXPECT_EQ(handleReports(capture),
              std::vector<std::string>{"80 The borrowed meta was given back behind the handle!"});
    next.reset();
    EXPECT_FALSE(meta->inUse());
    EXPECT_TRUE(DbMetaManager::getInstance()->check());
  }
  // Through the handle, a refused object is no give-back, nor is an early
  // give-back followed by the handle's end.
  ReportCapture capture;
  {
    tarvex::DbBorrowedMeta handle(kPlainType);
    EXPECT_FALSE(handle.bind(nullptr));
    ASSERT_TRUE(handle);
    EXPECT_TRUE(handle->inUse());
    EXPECT_TRUE(handle.bind(testObject(3)));
    handle.giveBack();
  }
  EXPECT_TRUE(handleReports(capture).empty());
  EXPECT_TRUE(DbMetaManager::getInstance()->check());
  // A throwing trace sink: giveBack() passes its exception, the handle's end
  // drops it; neither ends the process.
  {
    tarvex::DbBorrowedMeta lost(kPlainType, testObject(4));
    lost->clear();
    const tarvex_test::ThrowingSink sink;
    EXPECT_THROW(lost.giveBack(), std::runtime_error);
    EXPECT_FALSE(lost);
  }
  {
    const tarvex_test::ThrowingSink sink;
    const tarvex::DbBorrowedMeta lost(kPlainType, testObject(4));
    lost->clear();
  }
  EXPECT_TRUE(DbMetaManager::getInstance()->check());
}

// Moving a handle does not compile; a handle reached from another thread
// gives nothing back there: the meta stays in use, and the borrowing
// thread's pool goes on undisturbed (a data race under ThreadSanitizer
// otherwise).
TEST_F(ProviderKit, GiveBackOnAnotherThreadIsReportedAndLeavesTheMetaInUse) {
  DbMetaManager::getInstance()->registerMeta(new PlainKitMeta);
  ReportCapture capture;
  // In storage of the test's own, to see that the handle's end let go.
  alignas(tarvex::DbBorrowedMeta) std::array<unsigned char, sizeof(tarvex::DbBorrowedMeta)>
      storage{};
  auto* handle = new (storage.data()) tarvex::DbBorrowedMeta(kPlainType, testObject(1));
  DbMetaBase* meta = handle->get();
  std::thread other([handle] {
    handle->giveBack();
    handle->~DbBorrowedMeta();
  });
  for (int i = 0; i < 100; ++i) tarvex::DbBorrowedMeta(kPlainType, testObject(2));
  other.join();
  EXPECT_TRUE(meta->inUse());
  EXPECT_FALSE(DbMetaManager::getInstance()->check());
  const std::string text =
      "90 The borrowed meta was to be given back on another thread than the one that borrowed it!";
  EXPECT_EQ(handleReports(capture), (std::vector<std::string>{text, text}));
  storage.fill(0xA5);
  meta->clear();
  EXPECT_EQ(std::count(storage.begin(), storage.end(), 0xA5), storage.size());
}

// A meta given back answers no id of the object it held: neither an unbound
// handle nor a container it is added to sees the old object (or any).
TEST_F(ProviderKit, RecycledMetaAnswersNoIdOfAnEarlierObject) {
  DbMetaManager::getInstance()->registerMeta(new PlainKitMeta);
  DbMetaBase* recycled = nullptr;
  {
    tarvex::DbBorrowedMeta bound(kPlainType, testObject(1));
    bound->setObjectId(DbObjectId(kPlainType, 1, 9));
    recycled = bound.get();
  }
  tarvex::DbBorrowedMeta unbound(kPlainType);
  ASSERT_EQ(unbound.get(), recycled);
  EXPECT_EQ(unbound->getObjectId(), DbObjectId());
  // Nor its flags: a recycled meta starts as a new one.
  {
    tarvex::DbBorrowedMeta flagged(kPlainType, testObject(1));
    flagged->setNewObject(true);
    flagged->setDeleteObject(false);
    flagged->setCreated(nullptr, true);
    flagged->set3DObjectFlag(true);
    flagged->setBuildStamp(7);
    flagged->setModified(true);
    flagged->setObject(nullptr, 0);  // given back so, too
  }
  const PlainKitMeta newMeta;
  const tarvex::DbBorrowedMeta again(kPlainType, testObject(2));
  EXPECT_EQ(std::make_tuple(again->isNewObject(), again->getDeleteObject(), again->getCreated(),
                            again->is3DObject(), again->getBuildStamp(), again->isModified()),
            std::make_tuple(newMeta.isNewObject(), newMeta.getDeleteObject(), newMeta.getCreated(),
                            newMeta.is3DObject(), newMeta.getBuildStamp(), newMeta.isModified()));
  // A meta without an object id (given back, or never bound) is refused by
  // the container: no reference to 0/0/0.
  PlainKitMeta holder;
  PlainKitMeta fresh;
  ReportCapture capture;
  EXPECT_FALSE(holder.addObject2Container(kParts, *unbound, 0));
  EXPECT_FALSE(holder.addObject2Container(kParts, fresh, -1));
  EXPECT_FALSE(holder.getData(kParts)->addObject2Container(fresh, 0));
  EXPECT_EQ(holder.getContainerSize(kParts), 0u);
  const auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 3u);
  for (const auto& report : reports) {
    EXPECT_EQ(tarvex_test::narrow(report.text), "VORASSERT (meta with an object id) failed");
    EXPECT_EQ(tarvex_test::narrow(report.file), ".\\DbReferenceContainerValue");
    EXPECT_EQ(report.line, 70);
  }
  // Given back by a null object (reported) before clear(): refused all the same.
  PlainKitMeta misused;
  ASSERT_TRUE(misused.setObject(testObject(2), 0));
  misused.setObjectId(DbObjectId(kPlainType, 1, 10));
  EXPECT_FALSE(misused.setObject(nullptr, 0));
  misused.clear();
  EXPECT_FALSE(holder.addObject2Container(kParts, misused, 0));
  EXPECT_EQ(holder.getContainerSize(kParts), 0u);
  // A registered meta keeps its id through clearAllMetas: only a meta in use
  // is given back.
  PlainKitMeta registered;
  registered.setObjectId(DbObjectId(kPlainType, 0, 0));
  registered.clear();
  EXPECT_EQ(registered.getObjectId(), DbObjectId(kPlainType, 0, 0));
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

// A type map made on demand before the scope: the scope makes the sort-id
// table it lacks, keeps the map, and at its end tears down what it made.
TEST(TablesScope, ScopeOverAHalfSetUpMakesWhatIsMissingAndTearsDownWhatItMade) {
  constexpr unsigned char kOwnModelType = 100;
  {  // before any sort-id table, the kit walks values unsorted: no report of a sorted read
    ReportCapture capture;
    EmbeddingKitMeta meta;
    tarvex::resetValues(meta);
    EXPECT_TRUE((tarvex::DbMetaTable<EmbeddingKitMeta>().initTable()));
    EXPECT_EQ(capture.assertions().size(), 1u);  // only the embedded type not registered yet
    DbMetaManager::deinit();
  }
  DbDataModel2DataBaseTypeMap::addDataModelType(kOwnModelType, DbDatabaseType::kLong);
  {
    tarvex::DbTablesScope tables;
    ASSERT_NE(DbData::sm_pArrayDataId2SortId, nullptr);
    EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(kOwnModelType), DbDatabaseType::kLong);
    EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(tarvex::DbValueModelType::kLong),
              DbDatabaseType::kLong);
    PlainKitMeta meta;
    EXPECT_EQ(meta.getDataList(true).size(), 2u);  // sorted: reads the sort-id table
    DbMetaManager::getInstance()->registerMeta(new PlainKitMeta);
  }
  EXPECT_EQ(DbData::sm_pArrayDataId2SortId, nullptr);
  EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(kOwnModelType), DbDatabaseType::kLong);
  EXPECT_FALSE(DbMetaManager::getInstance()->isMetaRegistered(kPlainType));  // registry torn down
  DbMetaManager::deinit();
  DbDataModel2DataBaseTypeMap::deinit();
}

// Tables set up after a registry and type-map entries the application made:
// the packed ids of live direct arrays and the application's entries stay.
TEST(TablesScope, KeepsLiveDirectArraysPackedAndTheApplicationsTypes) {
  constexpr unsigned short kWidth = 61021;
  class LaterMeta final : public tarvex::DbMetaImpl<LaterMeta, kDirectType + 10, true> {
   public:
    LaterMeta() {
      addData(new tarvex::DbLongValue(kWidth));
      addData(new tarvex::DbLongValue(kDirectCount));
    }
  };
  DbMetaManager::getInstance()->registerMeta(new DirectKitMeta);
  DbDataModel2DataBaseTypeMap::addDataModelType(tarvex::DbValueModelType::kChar,
                                                DbDatabaseType::kDouble);
  {  // a scope whose set-up throws (its report's sink) leaves the registry it found
    const tarvex_test::ThrowingSink sink;
    EXPECT_THROW(tarvex::DbTablesScope{}, std::runtime_error);
  }
  EXPECT_TRUE(DbMetaManager::getInstance()->isMetaRegistered(kDirectType));
  {
    ReportCapture capture;
    tarvex::DbTablesScope tables;
    const auto reports = capture.assertions();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(tarvex_test::narrow(reports[0].text),
              "The data-id packing was kept: 2 metas with direct data pointers still exist!");
    EXPECT_EQ(tarvex_test::narrow(reports[1].text),
              "Data-model type 22 is database type 6 in the type map, not 2 as the kit's value "
              "kind: the entry is kept!");
    EXPECT_EQ(tarvex_test::narrow(reports[1].file), ".\\DbKitState");
    EXPECT_EQ(reports[1].line, 60);  // the guide's line
    const LaterMeta later;
    DMMemberBase object(DbObjectId(kDirectType, 1, 1));
    tarvex::DbBorrowedMeta held(kDirectType, &object);
    EXPECT_EQ(held->getData(kWidth), nullptr);
    EXPECT_TRUE(held.set(tarvex::DataKey<std::int32_t>{kDirectCount}, 7));
    EXPECT_EQ(held->getData(kDirectCount)->getLong(), 7);
    // The application's own double of data-model type 22 keeps its kind.
    PlainKitMeta meta;
    meta.addData(new tarvex_test::DoubleValue(kWidth, 2.5, tarvex::DbValueModelType::kChar));
    EXPECT_EQ(tarvex::get(meta, tarvex::DataKey<double>{kWidth}), 2.5);
    EXPECT_EQ(capture.assertions().size(), 2u);
  }
  DbDataModel2DataBaseTypeMap::deinit();
  DbMetaManager::deinit();
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
  // A meta lent by getMeta and bound goes back to its pool through ungetMeta.
  EmbeddingKitMeta owner(&local);
  DbData* value = owner.getData(kPlacement);
  DbMetaBase* lent = value->getMeta();
  ASSERT_NE(lent, nullptr);
  lent->setObject(testObject(1), 0);
  EXPECT_TRUE(value->ungetMeta(lent));
  EXPECT_FALSE(lent->inUse());

  // A meta that is null at run time: reported, no embedded object, no crash.
  tarvex::DbEmbeddedValue empty(kPlacement, std::unique_ptr<DbMetaBase>());
  const auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(tarvex_test::narrow(reports[0].text), "VORASSERT (meta) failed");
  EXPECT_EQ(tarvex_test::narrow(reports[0].file), ".\\DbEmbeddedValue");
  EXPECT_EQ(empty.getMeta(), nullptr);
  EXPECT_EQ(empty.getMetaForEmbeddedObject(), nullptr);
  EXPECT_FALSE(empty.embeddedTypeRegistered());
  EXPECT_FALSE(empty.ungetMeta(nullptr));
  empty.resetValue();
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

  // An application's own schema, installed by hand, that ends while a kit
  // schema replaces it: it is not put back.
  struct OwnSchema final : IDbDataSchema {
    OwnSchema() { sm_pInstance = this; }
    using E = EPoint3D;
    void addDataEntry(DbMetaBase*, unsigned short, unsigned char, const E&) override {}
    void addDataEntry(DbMetaBase*, unsigned short, unsigned char, const EPoint&) override {}
    void addDataEntry(DbMetaBase*, unsigned short, unsigned char, double) override {}
    void addDataEntry(DbMetaBase*, unsigned short, unsigned char, float) override {}
    void addDataEntry(DbMetaBase*, unsigned short, unsigned char, std::int32_t) override {}
    void addDataEntry(DbMetaBase*, unsigned short, unsigned char, short) override {}
    void addDataEntry(DbMetaBase*, unsigned short, unsigned char, char) override {}
    void addDataEntry(DbMetaBase*, unsigned short, unsigned char, bool) override {}
    void addDataEntry(DbMetaBase*, unsigned short, unsigned char) override {}
    const DbDataSchemaMap* getDataSchemaMap(unsigned short) override { return nullptr; }
    std::uint32_t getDataEntryCount(unsigned short) const override { return 0; }
    bool isSchemaClosed() override { return false; }
    void setSchemaClosed(bool) override {}
    void declareOldDataId(DbMetaBase*, unsigned short) override {}
  };
  auto own = std::make_unique<OwnSchema>();
  {
    const tarvex::DbRecordingSchema kit;
    own.reset();
  }
  EXPECT_EQ(IDbDataSchema::getSmallInstance(), nullptr);
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
  expectReport(capture, "VORASSERT (value of the key's kind) failed", ".\\DbStructureKeys",
               60);  // the guide's line
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

  // A refill after DbData::clear() makes the embedded object's value valid.
  meta.getData(kPlacement)->clear();
  EXPECT_TRUE(tarvex::set(meta, kPlacementKey, kCountKey, 10));
  EXPECT_TRUE(meta.getData(kPlacement)->valid());
  // The object's own id through the embedded object, by get and tryGet.
  constexpr tarvex::DataKey<tarvex::OwnObjectId> kOwnId{61032};
  placement->addData(new tarvex::DbObjectIdValue(kOwnId, DbObjectId(kPlainType, 1, 2)));
  EXPECT_EQ(tarvex::get(meta, kPlacementKey, kOwnId), DbObjectId(kPlainType, 1, 2));
  EXPECT_EQ(tarvex::tryGet(meta, kPlacementKey, kOwnId), DbObjectId(kPlainType, 1, 2));
  EXPECT_EQ(tarvex::get(meta, tarvex::EmbeddedKey<PlainKitMeta>{60999}, kOwnId), DbObjectId());

  {  // No value of that data id, or none of that id in the embedded meta: results;
     // only a write is lost, and reported.
    ReportCapture capture;
    constexpr tarvex::EmbeddedKey<PlainKitMeta> kMissing{60999};
    EXPECT_EQ(tarvex::embedded(meta, kMissing), nullptr);
    EXPECT_EQ(tarvex::get(meta, kMissing, kCountKey), 0);
    EXPECT_EQ(tarvex::tryGet(meta, kMissing, kCountKey), std::nullopt);
    EXPECT_EQ(tarvex::tryGet(meta, kPlacementKey, kNameKey), std::nullopt);
    EXPECT_TRUE(capture.records().empty());
    EXPECT_FALSE(tarvex::set(meta, kMissing, kCountKey, 1));
    expectLostWriteReport(capture);
    capture.clear();
    EXPECT_FALSE(tarvex::set(meta, kPlacementKey, kNameKey, L"x"));
    expectLostWriteReport(capture);
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

  // Embedded ids go in and come out; DbData::clear() empties the container,
  // and a refill makes it valid with only the new elements.
  meta.getData(kParts)->clear();
  EXPECT_TRUE(tarvex::addReference(meta, kPartsKey, DbEmbeddedObjId(id(6), 3), 0));
  EXPECT_TRUE(tarvex::addReference(meta, kPartsKey, id(4)));
  EXPECT_TRUE(meta.getData(kParts)->valid());
  const std::vector<DbEmbeddedObjId> full = tarvex::referencesWithEmbeddedIds(meta, kPartsKey);
  ASSERT_EQ(full.size(), 2u);
  EXPECT_EQ(full[0].getObjectId(), id(6));
  EXPECT_EQ(full[0].getEmbeddedId(), 3);
  EXPECT_EQ(full[1].getEmbeddedId(), 0);
  EXPECT_EQ(tarvex::references(meta, kPartsKey), (std::vector<DbObjectId>{id(6), id(4)}));

  ReportCapture capture;
  constexpr tarvex::ContainerKey kMissing{60999};
  bool visited = false;
  EXPECT_FALSE(
      tarvex::forEachReference(meta, kMissing, [&](const DbObjectId&) { visited = true; }));
  EXPECT_EQ(tarvex::referenceCount(meta, kMissing), 0u);
  EXPECT_TRUE(capture.records().empty());
  EXPECT_FALSE(tarvex::addReference(meta, kMissing, id(1)));  // a lost write
  expectLostWriteReport(capture);
  capture.clear();
  EXPECT_FALSE(tarvex::removeReference(meta, kMissing, 0));  // and another
  expectLostWriteReport(capture);
  capture.clear();
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
  tarvex::DbFrameworkScope bypassed(m_Tables);
  AfFramework::shutDown();  // another way: the scope has nothing left to do, and says true
  EXPECT_TRUE(bypassed.shutDown());
  EXPECT_EQ(CountingTable::s_Exits, 3);
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
  EXPECT_EQ(reports[0].line, 70);  // the guide's line
  {  // That report to a throwing sink: the scope's end lets nothing out.
    const tarvex_test::ThrowingSink sink;
    const tarvex::DbFrameworkScope framework(m_Tables);
  }
  EXPECT_EQ(CountingTable::s_Exits, 5);
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

#if defined(TARVEX_TEST_KIT_PLUGIN)
// A provider library loaded at run time has its own copy of every header
// static: the kit's schemas and the framework's state must still be one.
TEST(KitAcrossImages, SchemasAndTheRunningFrameworkAreOnePerProcess) {
  void* plugin = dlopen(TARVEX_TEST_KIT_PLUGIN, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(plugin, nullptr) << dlerror();
  const auto entry = [plugin](const char* name) { return dlsym(plugin, name); };
  auto* makeSchema = reinterpret_cast<void* (*)()>(entry("tarvexPluginMakeSchema"));
  auto* endSchema = reinterpret_cast<void (*)(void*)>(entry("tarvexPluginEndSchema"));
  auto* registerTable = reinterpret_cast<bool (*)()>(entry("tarvexPluginRegisterTable"));
  ASSERT_TRUE(makeSchema != nullptr && endSchema != nullptr && registerTable != nullptr);
  auto application = std::make_unique<tarvex::DbRecordingSchema>();
  void* provider = makeSchema();
  application.reset();  // the application's schema ends first
  endSchema(provider);
  EXPECT_EQ(IDbDataSchema::getSmallInstance(), nullptr);  // not the ended one
  {
    tarvex::DbTablesScope tables;
    const tarvex::DbFrameworkScope framework(tables);
    ReportCapture capture;
    EXPECT_FALSE(registerTable());
    EXPECT_EQ(capture.assertions().size(), 1u);
  }
  dlclose(plugin);
}
#endif

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
    EXPECT_EQ(reports[1].line, 40);  // the guide's line
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
    EXPECT_FALSE(tarvex::unregisterMetaTable(L"KitTable"));  // its exitTable is to come
    ASSERT_EQ(capture.assertions().size(), 2u);
    EXPECT_EQ(capture.assertions()[1].line, 45);  // the glossary's line
  }
  {  // Started by the application itself: refused all the same, and a scope joins.
    tarvex::DbTablesScope tables;
    AfFramework::startUp();
    ReportCapture capture;
    EXPECT_FALSE(tarvex::registerMetaTable<KitTable>(L"LateTable"));
    EXPECT_EQ(capture.assertions().size(), 1u);
    EXPECT_TRUE(tarvex::DbFrameworkScope(tables).joined());
    EXPECT_TRUE(tarvex::DbFrameworkScope::running());
    AfFramework::shutDown();
  }
  EXPECT_FALSE(AfInterfaceManager::getInstance()->isKnown(L"LateTable", false, true));
  first.reset();
  EXPECT_FALSE(AfInterfaceManager::getInstance()->isKnown(L"KitTable", false, true));
  EXPECT_EQ(metaTableNames(), before);
  EXPECT_FALSE(tarvex::unregisterMetaTable(L"KitTable"));
  // Known to the framework without its interface name: taken away, true.
  AfInterfaceManager::getInstance()->registerImplementation(
      L"HalfTable", [] { return static_cast<IAfInterface*>(new KitTable); });
  EXPECT_TRUE(tarvex::unregisterMetaTable(L"HalfTable"));
  EXPECT_FALSE(AfInterfaceManager::getInstance()->isKnown(L"HalfTable", false, true));
}

TEST_F(ProviderKit, ReadyMetaTableRegistersInOrderAndAnswersForEveryMeta) {
  ReportCapture capture;
  tarvex::DbMetaTable<PlainKitMeta, EmbeddingKitMeta> table;
  EXPECT_TRUE(table.initTable());
  EXPECT_TRUE(capture.assertions().empty());  // the embedded type came first
  EXPECT_TRUE(DbMetaManager::getInstance()->isMetaRegistered(kEmbeddingType));
  EXPECT_TRUE(table.exitTable());
  EXPECT_TRUE(table.initTable());  // a start-up after a shut-down: no second meta
  const auto entries = std::distance(DbMetaManager::getInstance()->getMetasBegin(),
                                     DbMetaManager::getInstance()->getMetasEnd());
  EXPECT_EQ(entries, 2);
  // A type held by another provider's meta class: reported and refused.
  class TwinMeta final : public tarvex::DbMetaImpl<TwinMeta, kPlainType> {};
  EXPECT_FALSE(tarvex::DbMetaTable<TwinMeta>().initTable());
  expectReport(capture, "VORASSERT (type id free or held by the same meta class) failed",
               ".\\DbMetaTableRegistration", 60);  // the glossary's line
  tarvex::DbMetaTable<UncopiableKitMeta, DirectKitMeta> refusing;
  EXPECT_FALSE(refusing.initTable());
  EXPECT_TRUE(DbMetaManager::getInstance()->isMetaRegistered(kDirectType));  // the rest goes on

  // Listed before the type it embeds: reported with both types, schema or not.
  DbMetaManager::deinit();
  capture.clear();
  EXPECT_TRUE((tarvex::DbMetaTable<EmbeddingKitMeta, PlainKitMeta>().initTable()));
  expectReport(capture,
               "The meta of type 63 embeds type 61, which is not registered yet: register type 61 "
               "first!",
               ".\\DbMetaTableRegistration", 50);  // the guide's line

  // The embedded type's defaults are its new meta's, not those a recycled
  // working meta was last given.
  DbMetaManager::deinit();
  tarvex::DbRecordingSchema schema;
  DbMetaManager::getInstance()->registerMeta(new PlainKitMeta);
  EXPECT_TRUE(tarvex::DbBorrowedMeta(kPlainType, testObject(1)).set(kCountKey, 90));
  EXPECT_TRUE(DbKitState::isKitMetaClass(kPlainType, typeid(PlainKitMeta)));  // no dynamic_cast
  DbMetaManager::getInstance()->registerMeta(new EmbeddingKitMeta);
  EXPECT_EQ(schema.entries().at({kPlainType, kCount}).defaultValue,
            tarvex::DbSchemaDefault(std::int32_t{5}));
}

}  // namespace
