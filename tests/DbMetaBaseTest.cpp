// DbMetaBase: value access, lists, adding and replacing, describing values to
// the schema, container walks, database-id changes and the object hand-over.
// Packing and direct arrays have their own suite (DbMetaBasePackingTest).
#include <gtest/gtest.h>
#include <optional>

#include <thread>

#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "DbMetaBase.h"
#include "DbTablesScope.h"
#include "ETraceState.h"
#include "IDbDataSchema.h"
#include "IDbUnknownObjectMeta.h"
#include "ReportCapture.h"
#include "TestMetas.h"
#include "TestSchema.h"
#include "TestValues.h"

using namespace tarvex_test;

static_assert(!std::is_copy_constructible_v<DbMetaBase>, "a copy would share owned values");
static_assert(!std::is_copy_assignable_v<DbMetaBase>, "a copy would share owned values");

namespace {

const std::wstring kFile = L".\\DbMetaBase";

std::vector<unsigned short> idsOf(const DbDataList& list) {
  std::vector<unsigned short> ids;
  for (const DbData* value : list) ids.push_back(value->getDataId());
  return ids;
}

template <typename Meta>
std::wstring classNameOf(const Meta& meta) {
  EString name;
  meta.getClassName(name);
  return name;
}

// A value of a data-model type the type map has no entry for.
class UnmappedValue : public TestValue {
 public:
  explicit UnmappedValue(unsigned short dataId) : TestValue(dataId, 200) {}
  std::wstring text() const override { return L"?"; }
};

// A container whose every operation that the walks call throws.
class ThrowingContainer : public TestValue {
 public:
  explicit ThrowingContainer(unsigned short dataId) : TestValue(dataId, kDmContainer) {}
  void prepareContainerAccess() override { throw std::runtime_error("prepare"); }
  void unprepareContainerAccess() override { throw std::runtime_error("unprepare"); }
  bool getFirstElement(DbData** /*element*/) override { throw std::runtime_error("first"); }
  unsigned char getDataModelTypeOfElements() const override {
    throw std::runtime_error("element type");
  }
  std::wstring text() const override { return L"[!]"; }
};

// A meta whose clear() throws once it has given the meta back.
class ClearThrowsMeta final : public TestMeta {
 public:
  explicit ClearThrowsMeta(unsigned short typeId) : TestMeta(typeId, {}) { fill(); }
  DbMetaBase* createMeta() override { return new ClearThrowsMeta(m_TypeId); }
  void clear() override {
    TestMeta::clear();
    throw std::logic_error("clear");
  }
};

class MetaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Tables.emplace();
    events().clear();
  }
  void TearDown() override { m_Tables.reset(); }

  std::optional<tarvex::DbTablesScope> m_Tables;
};

template <typename Meta>
class BothMetasTest : public MetaTest {};
using MetaKinds = ::testing::Types<PlainTestMeta, DirectTestMeta>;
TYPED_TEST_SUITE(BothMetasTest, MetaKinds);

// --- Core -------------------------------------------------------------------

TEST_F(MetaTest, FreshMetaStartsFreeWithoutValuesAndWithBaseHooks) {
  std::unique_ptr<PlainTestMeta> meta(new PlainTestMeta(100));
  EXPECT_TRUE(meta->getDeleteObject());
  EXPECT_FALSE(meta->inUse());
  EXPECT_FALSE(meta->isNewObject());
  EXPECT_FALSE(meta->getCreated());
  EXPECT_FALSE(meta->is3DObject());
  EXPECT_EQ(meta->getBuildStamp(), 0);
  EXPECT_EQ(meta->getLimitMap(), nullptr);
  EXPECT_TRUE(meta->getDataList(false).empty());
  EXPECT_TRUE(meta->getDataList(true).empty());
  EXPECT_EQ(meta->getObject(), nullptr);
  EXPECT_EQ(meta->adaptMeta(3), nullptr);
  EXPECT_TRUE(meta->getDoNotify());
  EXPECT_FALSE(meta->baseIndicateStringOverflow(1));
  std::set<unsigned short> overflowing{4};
  DbMetaBase::StringLimitMap limits{{4, 2}};
  EXPECT_FALSE(meta->check4StringOverflow(overflowing, &limits));
  EXPECT_EQ(overflowing, std::set<unsigned short>{4});
  std::int32_t mask = 0x55;
  meta->prepareIndexMask(mask);
  EXPECT_EQ(mask, 0x55);

  meta->setCreated(nullptr, true);
  meta->set3DObjectFlag(true);
  meta->setNewObject(true);
  meta->setBuildStamp(-9);
  meta->setDeleteObject(false);
  EXPECT_TRUE(meta->getCreated());
  EXPECT_TRUE(meta->is3DObject());
  EXPECT_TRUE(meta->isNewObject());
  EXPECT_EQ(meta->getBuildStamp(), -9);
  EXPECT_FALSE(meta->getDeleteObject());
}

TEST_F(MetaTest, ListsKeepInsertionOrderAndTheSortedListFollowsTheSortIds) {
  PlainTestMeta meta(100);
  meta.addData(new LongValue(60005));  // the last-entry id: sorts last
  meta.addData(new LongValue(60020));
  meta.addData(new LongValue(60010));
  EXPECT_EQ(idsOf(meta.getDataList(false)), (std::vector<unsigned short>{60005, 60020, 60010}));
  const DbDataList& sorted = meta.getDataList(true);
  EXPECT_EQ(idsOf(sorted), (std::vector<unsigned short>{60010, 60020, 60005}));

  // A sort-id change reorders the list in place...
  DbData::insertBackPackedDatatId(60010, true);
  EXPECT_EQ(&meta.getDataList(true), &sorted);
  EXPECT_EQ(idsOf(sorted), (std::vector<unsigned short>{60020, 60010, 60005}));

  // ...and addData drops it.
  meta.addData(new LongValue(60001));
  EXPECT_EQ(idsOf(meta.getDataList(true)),
            (std::vector<unsigned short>{60001, 60020, 60010, 60005}));
  EXPECT_EQ(idsOf(meta.getDataList(false)),
            (std::vector<unsigned short>{60005, 60020, 60010, 60001}));
}

TYPED_TEST(BothMetasTest, TypedSettersWriteOnlyPresentValues) {
  TypeParam meta(100);
  auto* b = new BoolValue(1);
  auto* c = new CharValue(2);
  auto* s = new ShortValue(3);
  auto* l = new LongValue(4);
  auto* f = new FloatValue(5);
  auto* d = new DoubleValue(6);
  auto* p = new PointValue(7);
  auto* p3 = new Point3DValue(8);
  auto* str = new StringValue(9);
  auto* t = new TimeValue(10);
  auto* oid = new ObjectIdValue(11);
  auto* ref = new ReferenceValue(12, DbObjectId());
  for (DbData* v : std::vector<DbData*>{b, c, s, l, f, d, p, p3, str, t, oid, ref}) meta.addData(v);

  ReportCapture capture;
  EXPECT_FALSE(meta.setDataLong(99, 5));
  EXPECT_FALSE(meta.setDataString(99, EString("x")));
  EXPECT_TRUE(capture.records().empty());

  EXPECT_TRUE(meta.setDataBool(1, true));
  EXPECT_TRUE(meta.setDataChar(2, 'q'));
  EXPECT_TRUE(meta.setDataShort(3, -3));
  EXPECT_TRUE(meta.setDataLong(4, 123456));
  EXPECT_TRUE(meta.setDataFloat(5, 1.5f));
  EXPECT_TRUE(meta.setDataDouble(6, 2.25));
  EXPECT_TRUE(meta.setDataPoint(7, EPoint(1, 2)));
  EXPECT_TRUE(meta.setDataPoint3D(8, EPoint3D(1, 2, 3)));
  EXPECT_TRUE(meta.setDataString(9, EString("abc")));
  EXPECT_TRUE(meta.setDataTime(10, ebas::ETime(77)));
  EXPECT_TRUE(meta.setDbObjectId(11, DbObjectId(5, 6, 7)));
  EXPECT_TRUE(meta.setDataReference(12, DbObjectId(8, 9, 10)));
  EXPECT_TRUE(capture.records().empty());
  EXPECT_TRUE(b->value());
  EXPECT_EQ(c->value(), 'q');
  EXPECT_EQ(s->value(), -3);
  EXPECT_EQ(l->value(), 123456);
  EXPECT_EQ(f->value(), 1.5f);
  EXPECT_EQ(d->value(), 2.25);
  EXPECT_EQ(p->value(), EPoint(1, 2));
  EXPECT_EQ(p3->value(), EPoint3D(1, 2, 3));
  EXPECT_EQ(str->value(), L"abc");
  EXPECT_EQ(t->value(), ebas::ETime(77));
  EXPECT_EQ(oid->value(), DbObjectId(5, 6, 7));
  EXPECT_EQ(ref->getReference(), DbObjectId(8, 9, 10));

  EXPECT_TRUE(meta.setDataEmbeddedReference(12, DbEmbeddedObjId(DbObjectId(1, 2, 3), -44)));
  EXPECT_EQ(ref->getReference(), DbObjectId(1, 2, 3));
  EXPECT_EQ(ref->getEmbeddedId(), -44);

  // A present value answers true even when its own setter refuses the type.
  EXPECT_TRUE(meta.setDataDTString(4, DbDTString(L"t")));
  EXPECT_TRUE(meta.setPropertyList(4, EPropertyList()));
  EXPECT_TRUE(meta.setDataStreamableObject(4, nullptr));
  ASSERT_EQ(capture.assertions().size(), 3u);
  EXPECT_EQ(l->value(), 123456);
}

// --- Adding and replacing -------------------------------------------------------

TYPED_TEST(BothMetasTest, DuplicateDataIdIsReportedAndTheMapKeepsTheFirstValue) {
  auto* meta = new TypeParam(100);
  auto* first = new LongValue(7, 1);
  auto* second = new LongValue(7, 2);
  meta->addData(first);
  ReportCapture capture;
  meta->addData(second);

  const auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text,
            L"Die DataId 7 wurde doppelt vergeben ( " + classNameOf(*meta) + L" )!");
  EXPECT_EQ(reports[0].file, kFile);
  EXPECT_EQ(reports[0].line, 193);
  EXPECT_EQ(idsOf(meta->getDataList(false)), (std::vector<unsigned short>{7, 7}));
  EXPECT_EQ(meta->getDataList(false)[1], second);
  // Map look-up keeps the first; a direct array gives the slot to the later one.
  EXPECT_EQ(meta->getData(7), meta->directDataSupported() ? second : first);
  delete meta;
  delete second;  // listed but never owned by the meta
}

TEST_F(MetaTest, DuplicateMessageNamesTheConcreteClass) {
  PlainTestMeta meta(100);
  meta.addData(new LongValue(65535));
  ReportCapture capture;
  auto* duplicate = new LongValue(65535);
  meta.addData(duplicate);
  ASSERT_EQ(capture.assertions().size(), 1u);
  EXPECT_EQ(capture.assertions()[0].text,
            L"Die DataId 65535 wurde doppelt vergeben ( tarvex_test::PlainTestMeta )!");
  EXPECT_EQ(capture.assertions()[0].line, 193);
  delete duplicate;  // the meta's destructor releases only the mapped value
}

TYPED_TEST(BothMetasTest, ReplaceDataSwapsTheValueInMapListsAndDirectSlot) {
  TypeParam meta(100);
  meta.addData(new LongValue(60020));
  auto* old = new LongValue(60010, 1);
  meta.addData(old);
  meta.addData(new LongValue(60030));
  ASSERT_EQ(idsOf(meta.getDataList(true)), (std::vector<unsigned short>{60010, 60020, 60030}));

  auto* replacement = new LongValue(60010, 2);
  ReportCapture capture;
  EXPECT_EQ(meta.replaceData(replacement), old);
  EXPECT_TRUE(capture.records().empty());
  EXPECT_EQ(meta.getData(60010), replacement);
  EXPECT_EQ(meta.getDataList(false)[1], replacement);
  EXPECT_EQ(meta.getDataList(true)[0], replacement);
  EXPECT_EQ(meta.getDataList(true).size(), 3u);
  if (meta.directDataSupported()) {
    EXPECT_EQ(meta.getDirectData(DbMetaBase::getPackedDataId(60010)), replacement);
  }
  EXPECT_TRUE(meta.setDataLong(60010, 5));
  EXPECT_EQ(replacement->value(), 5);
  EXPECT_EQ(old->value(), 1);
  delete old;  // handed back to the caller
}

TYPED_TEST(BothMetasTest, ReplaceDataOfAnAbsentIdReportsAndTakesNothing) {
  TypeParam meta(100);
  meta.addData(new LongValue(3));
  const unsigned short lastPacked = DbMetaBase::getLastUsedPackedDataId();
  auto* stranger = new LongValue(9);
  ReportCapture capture;
  EXPECT_EQ(meta.replaceData(stranger), nullptr);

  const auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text,
            L"The DataId 9 was not found, while trying to replace ( " + classNameOf(meta) + L" )!");
  EXPECT_EQ(reports[0].file, kFile);
  EXPECT_EQ(reports[0].line, 224);
  EXPECT_EQ(idsOf(meta.getDataList(false)), std::vector<unsigned short>{3});
  EXPECT_EQ(meta.getData(9), nullptr);
  EXPECT_EQ(DbMetaBase::getLastUsedPackedDataId(), lastPacked);
  delete stranger;  // the caller still owns it; the meta keeps no pointer to it
  EXPECT_EQ(meta.getData(9), nullptr);
}

TYPED_TEST(BothMetasTest, RemoveUnknownDataKeepsTheOthersInOrderEverywhere) {
  TypeParam meta(100);
  auto* known = new LongValue(60030);
  auto* unknown = new LongValue(60010);
  auto* other = new LongValue(60020);
  unknown->setUnknownDataType(DbUnknownDataNsp::eUnknownData);
  other->setUnknownDataType(static_cast<DbUnknownDataNsp::DbUnknownDataType>(2));
  meta.addData(known);
  meta.addData(unknown);
  meta.addData(other);
  ASSERT_EQ(idsOf(meta.getDataList(true)), (std::vector<unsigned short>{60010, 60020, 60030}));

  meta.removeUnknownDataFromDataLists();
  EXPECT_EQ(idsOf(meta.getDataList(false)), (std::vector<unsigned short>{60030, 60020}));
  EXPECT_EQ(idsOf(meta.getDataList(true)), (std::vector<unsigned short>{60020, 60030}));
  EXPECT_EQ(meta.getData(60010), nullptr);
  EXPECT_EQ(meta.getData(60020), other);
  EXPECT_EQ(meta.getData(60030), known);
  EXPECT_FALSE(meta.setDataLong(60010, 1));
  delete unknown;  // no longer the meta's
}

TEST_F(MetaTest, StringLimitMapIsReplacedNotMerged) {
  PlainTestMeta meta(100);
  meta.setStringLimitMap({{1, 10}, {2, 20}});
  const DbMetaBase::StringLimitMap* first = meta.getLimitMap();
  ASSERT_NE(first, nullptr);
  meta.setStringLimitMap({{3, 30}});
  EXPECT_EQ(meta.getLimitMap(), first);
  EXPECT_EQ(*meta.getLimitMap(), (DbMetaBase::StringLimitMap{{3, 30}}));
  meta.setStringLimitMap(*meta.getLimitMap());
  EXPECT_EQ(*meta.getLimitMap(), (DbMetaBase::StringLimitMap{{3, 30}}));
}

// --- Describing values to the schema ---------------------------------------------

TEST_F(MetaTest, EachDatabaseTypeIsDescribedThroughItsOverload) {
  TestSchema schema;
  PlainTestMeta meta(321);
  meta.addData(new BoolValue(1, true));
  meta.addData(new CharValue(2, 'c'));
  meta.addData(new ShortValue(3, -7));
  meta.addData(new LongValue(4, 5));
  meta.addData(new FloatValue(5, 0.5f));
  meta.addData(new DoubleValue(6, 1.25));
  meta.addData(new PointValue(7, EPoint(1, 2)));
  meta.addData(new Point3DValue(8, EPoint3D(3, 4, 5)));
  meta.addData(new ContainerValue(9, kDmShort));
  meta.addData(new ObjectIdValue(10, DbObjectId(1, 2, 3)));
  meta.addData(new StringValue(11, EString("s")));
  meta.addData(new UnmappedValue(12));
  auto* invalid = new LongValue(13, 99);
  invalid->setValid(false);
  meta.addData(invalid);
  meta.setObject(testObject(0), 0);

  ReportCapture capture;
  meta.addDataEntry2DbMap(true);
  EXPECT_TRUE(capture.records().empty());

  using O = TestSchema::Overload;
  const auto& e = schema.entries();
  ASSERT_EQ(e.size(), 13u);
  const O expected[] = {O::Bool,    O::Char,  O::Short, O::Long,  O::Float, O::Double, O::Point,
                        O::Point3D, O::Plain, O::Plain, O::Plain, O::Plain, O::Plain};
  for (std::size_t i = 0; i < e.size(); ++i) {
    EXPECT_EQ(e[i].overload, expected[i]) << "entry " << i;
    EXPECT_EQ(e[i].dataId, i + 1);
    EXPECT_EQ(e[i].meta, &meta);
  }
  EXPECT_EQ(std::get<bool>(e[0].value), true);
  EXPECT_EQ(std::get<char>(e[1].value), 'c');
  EXPECT_EQ(std::get<short>(e[2].value), -7);
  EXPECT_EQ(std::get<std::int32_t>(e[3].value), 5);
  EXPECT_EQ(std::get<float>(e[4].value), 0.5f);
  EXPECT_EQ(std::get<double>(e[5].value), 1.25);
  EXPECT_EQ(std::get<EPoint>(e[6].value), EPoint(1, 2));
  EXPECT_EQ(std::get<EPoint3D>(e[7].value), EPoint3D(3, 4, 5));
  EXPECT_EQ(e[3].dataModelType, kDmLong);
  EXPECT_EQ(e[7].dataModelType, kDmPoint3D);
  EXPECT_EQ(e[8].dataModelType, kDmShort);  // a container goes with its elements' type
  EXPECT_EQ(e[9].dataModelType, kDmObjectId);
  EXPECT_EQ(e[11].dataModelType, 200);
  EXPECT_EQ(e[12].dataModelType, kDmLong);  // invalid: no value read

  ASSERT_EQ(meta.objectIds().size(), 1u);
  EXPECT_EQ(meta.objectIds()[0], DbObjectId(321, 0, 0));
  EXPECT_FALSE(meta.inUse());
}

TEST_F(MetaTest, EmbeddedMetaIsDescribedInPlaceWithoutRegistrationAndHandedBack) {
  TestSchema schema;
  PlainTestMeta inner(200);
  inner.addData(new ShortValue(10, 4));
  inner.setObject(testObject(1), 0);
  PlainTestMeta outer(100);
  outer.addData(new LongValue(1, 1));
  auto* embedded = new EmbeddedValue(2, &inner);
  outer.addData(embedded);
  outer.addData(new LongValue(3, 3));

  outer.addDataEntry2DbMap(true);
  const auto& e = schema.entries();
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ(e[0].meta, &outer);
  EXPECT_EQ(e[0].dataId, 1);
  EXPECT_EQ(e[1].meta, &inner);
  EXPECT_EQ(e[1].dataId, 10);
  EXPECT_EQ(e[1].overload, TestSchema::Overload::Short);
  EXPECT_EQ(e[2].meta, &outer);
  EXPECT_EQ(e[2].dataId, 2);
  EXPECT_EQ(e[2].overload, TestSchema::Overload::Plain);
  EXPECT_EQ(e[2].dataModelType, kDmEmbedded);
  EXPECT_EQ(e[3].dataId, 3);
  EXPECT_EQ(embedded->ungetCount(), 1);
  EXPECT_TRUE(inner.objectIds().empty());
  EXPECT_FALSE(inner.inUse());
  EXPECT_EQ(outer.objectIds().size(), 1u);
  EXPECT_EQ(schema.getDataEntryCount(200), 1u);
  EXPECT_EQ(schema.getDataEntryCount(100), 3u);
}

TEST_F(MetaTest, EmbeddedValueWithoutMetaAsksForTheRegistrationOrder) {
  TestSchema schema;
  PlainTestMeta meta(100);
  meta.addData(new EmbeddedValue(5, nullptr));
  ReportCapture capture;
  meta.addDataEntry2DbMap(true);
  const auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text,
            L"Metareihenfolge \u00fcberarbeiten. Diese Meta muss vorher registriert werden!");
  EXPECT_EQ(reports[0].file, kFile);
  EXPECT_EQ(reports[0].line, 476);
  ASSERT_EQ(schema.entries().size(), 1u);
  EXPECT_EQ(schema.entries()[0].overload, TestSchema::Overload::Plain);
  EXPECT_EQ(schema.entries()[0].dataModelType, kDmEmbedded);
}

TEST_F(MetaTest, ClosedOrMissingSchemaIsNeitherToldNorTouchesTheMeta) {
  PlainTestMeta meta(100);
  meta.addData(new LongValue(1, 5));
  meta.setObject(testObject(0), 0);
  {
    TestSchema schema;
    schema.setSchemaClosed(true);
    meta.addDataEntry2DbMap(true);
    meta.declareOldDataId(1);
    EXPECT_TRUE(schema.entries().empty());
    EXPECT_TRUE(schema.oldDataIds().empty());
  }
  {
    NoSchema none;
    ASSERT_EQ(IDbDataSchema::getSmallInstance(), nullptr);
    meta.addDataEntry2DbMap(true);
    meta.declareOldDataId(1);
    meta.setDatas2Default(4);
  }
  EXPECT_TRUE(meta.objectIds().empty());
  EXPECT_TRUE(meta.inUse());
  EXPECT_EQ(meta.clearCount(), 0);

  TestSchema open;
  meta.declareOldDataId(17);
  ASSERT_EQ(open.oldDataIds().size(), 1u);
  EXPECT_EQ(open.oldDataIds()[0].first, &meta);
  EXPECT_EQ(open.oldDataIds()[0].second, 17);
}

TEST_F(MetaTest, SetDatas2DefaultResetsOnlyNonDefaultValues) {
  TestSchema schema;
  PlainTestMeta meta(100);
  auto* atDefault = new LongValue(1);
  auto* changed = new LongValue(2);
  atDefault->setIsDefault(true);
  meta.addData(atDefault);
  meta.addData(changed);

  meta.setDatas2Default(42);  // no map for the key
  EXPECT_EQ(schema.schemaMapKeys(), std::vector<unsigned short>{42});
  EXPECT_EQ(changed->defaultCount(), 0);

  static int mapStandIn;
  const auto* map = reinterpret_cast<const DbDataSchemaMap*>(&mapStandIn);
  schema.setSchemaMap(map);
  meta.setDatas2Default(43);
  EXPECT_EQ(atDefault->defaultCount(), 0);
  EXPECT_EQ(changed->defaultCount(), 1);
  EXPECT_EQ(changed->defaultedWith(), map);
}

TEST_F(MetaTest, SchemaPointerIsTheInstalledSchemaAndNestsLikeScopes) {
  NoSchema none;
  EXPECT_EQ(IDbDataSchema::getSmallInstance(), nullptr);
  {
    TestSchema outer;
    EXPECT_EQ(IDbDataSchema::getSmallInstance(), &outer);
    {
      TestSchema inner;
      EXPECT_EQ(IDbDataSchema::getSmallInstance(), &inner);
    }
    EXPECT_EQ(IDbDataSchema::getSmallInstance(), &outer);
  }
  EXPECT_EQ(IDbDataSchema::getSmallInstance(), nullptr);
}

class RawObjectMeta : public IDbUnknownObjectMeta {
 public:
  explicit RawObjectMeta(int* destroyed) : m_pDestroyed(destroyed) {}
  ~RawObjectMeta() override { ++*m_pDestroyed; }
  unsigned short getStoredTypeId() const override { return 12; }
  bool getRawObject(const unsigned char** /*data*/, std::uint32_t* /*size*/) const override {
    return false;
  }

 private:
  int* m_pDestroyed;
};

TEST_F(MetaTest, UnknownObjectMetaIsDestroyedThroughItsInterface) {
  int destroyed = 0;
  std::unique_ptr<IDbUnknownObjectMeta> meta(new RawObjectMeta(&destroyed));
  EXPECT_EQ(meta->getStoredTypeId(), 12);
  RawObjectMeta copy(*static_cast<RawObjectMeta*>(meta.get()));
  copy = *static_cast<RawObjectMeta*>(meta.get());
  meta.reset();
  EXPECT_EQ(destroyed, 1);
}

// --- Containers, embedded metas, id changes -------------------------------------

TEST_F(MetaTest, ContainerWalksVisitContainerAndElementsInMirroredOrder) {
  PlainTestMeta inner(200);
  inner.setLogEvents(true);
  inner.addData(new ContainerValue(20, kDmLong));
  PlainTestMeta meta(100);
  auto* outer = new ContainerValue(1, kDmContainer);
  auto* nested = new ContainerValue(12, kDmLong);
  nested->add(new LongValue(121));
  outer->add(new LongValue(11));
  outer->add(nested);
  meta.addData(outer);
  meta.addData(new EmbeddedValue(2, &inner));
  meta.addData(new LongValue(3));
  auto* invalid = new ContainerValue(4, kDmContainer);
  invalid->add(new ContainerValue(41, kDmLong));
  invalid->setValid(false);
  meta.addData(invalid);
  // Neither a null element nor an embedded value without a meta is walked.
  nested->add(nullptr);
  meta.addData(new EmbeddedValue(5, nullptr));

  meta.prepareContainerAccess();
  EXPECT_EQ(events(),
            (std::vector<std::string>{"prepare:1", "prepare:12", "prepare:20", "clear:200"}));
  events().clear();
  meta.unprepareContainerAccess();
  EXPECT_EQ(events(),
            (std::vector<std::string>{"unprepare:12", "unprepare:1", "unprepare:20", "clear:200"}));

  // The walks of one value go through that value only, and take null as no
  // value at all.
  events().clear();
  meta.prepareContainerAccess(nested);
  meta.unprepareContainerAccess(nested);
  EXPECT_EQ(events(), (std::vector<std::string>{"prepare:12", "unprepare:12"}));
  events().clear();
  meta.prepareContainerAccess(nullptr);
  meta.unprepareContainerAccess(nullptr);
  meta.changeDatabaseIds(nullptr, 3, 7);
  EXPECT_TRUE(events().empty());
  DirectTestMeta direct(101);
  direct.setupDirectDataPtr(nullptr);
  EXPECT_FALSE(direct.hasDirectData());
}

TEST_F(MetaTest, ContainerAndEmbeddedLookUpsByDataId) {
  PlainTestMeta inner(200);
  PlainTestMeta meta(100);
  auto* container = new ContainerValue(1, kDmLong);
  container->setAddObjectResult(false);
  meta.addData(container);
  meta.addData(new EmbeddedValue(2, &inner));
  meta.addData(new LongValue(3));

  EXPECT_TRUE(meta.addObject2Container(1, inner, 6));
  ASSERT_EQ(container->addedObjects().size(), 1u);
  EXPECT_EQ(container->addedObjects()[0].first, &inner);
  EXPECT_EQ(container->addedObjects()[0].second, 6);
  EXPECT_FALSE(meta.addObject2Container(9, inner, 0));

  EXPECT_EQ(meta.getMetaForEmbeddedObject(2), &inner);
  EXPECT_EQ(meta.getMetaForEmbeddedObject(3), nullptr);
  EXPECT_EQ(meta.getMetaForEmbeddedObject(9), nullptr);
}

TEST_F(MetaTest, ChangeDatabaseIdsWritesBackOnlyMatchingIds) {
  PlainTestMeta inner(200);
  auto* innerId = new ObjectIdValue(30, DbObjectId(1, 3, 300));
  inner.addData(innerId);
  inner.setObject(testObject(1), 0);

  PlainTestMeta meta(100);
  auto* matching = new ObjectIdValue(1, DbObjectId(9, 3, 100));
  auto* foreign = new ObjectIdValue(2, DbObjectId(9, 4, 101));
  auto* references = new ContainerValue(3, kDmRef15);
  auto* r15 = new ReferenceValue(31, DbObjectId(2, 3, 1), kDmRef15);
  auto* r16 = new ReferenceValue(32, DbObjectId(2, 3, 2), kDmRef16);
  auto* r18 = new ReferenceValue(33, DbObjectId(2, 3, 3), kDmRef18);
  auto* rForeign = new ReferenceValue(34, DbObjectId(2, 5, 4), kDmRef16);
  for (DbData* r : {r15, r16, r18, rForeign, static_cast<ReferenceValue*>(nullptr)}) {
    references->add(r);
  }
  auto* invalid = new ReferenceValue(4, DbObjectId(2, 3, 5));
  invalid->setValid(false);
  meta.addData(matching);
  meta.addData(foreign);
  meta.addData(references);
  meta.addData(new EmbeddedValue(5, &inner));
  meta.addData(invalid);
  meta.addData(new LongValue(6, 3));
  meta.addData(new EmbeddedValue(7, nullptr));

  meta.changeDatabaseIds(3, 7);
  EXPECT_EQ(matching->value(), DbObjectId(9, 7, 100));
  EXPECT_EQ(matching->writeCount(), 1);
  EXPECT_EQ(foreign->value(), DbObjectId(9, 4, 101));
  EXPECT_EQ(foreign->writeCount(), 0);
  EXPECT_EQ(r15->getReference(), DbObjectId(2, 7, 1));
  EXPECT_EQ(r16->getReference(), DbObjectId(2, 7, 2));
  EXPECT_EQ(r18->getReference(), DbObjectId(2, 7, 3));
  EXPECT_EQ(rForeign->getReference(), DbObjectId(2, 5, 4));
  EXPECT_EQ(rForeign->writeCount(), 0);
  EXPECT_EQ(innerId->value(), DbObjectId(1, 7, 300));
  EXPECT_FALSE(inner.inUse());
  EXPECT_EQ(invalid->getReference(), DbObjectId(2, 3, 5));
  EXPECT_EQ(invalid->writeCount(), 0);

  // The walk of one value, here one the meta does not hold, writes that one.
  ObjectIdValue single(8, DbObjectId(9, 7, 5));
  meta.changeDatabaseIds(&single, 7, 8);
  EXPECT_EQ(single.value(), DbObjectId(9, 8, 5));
  EXPECT_EQ(matching->value(), DbObjectId(9, 7, 100));
}

TEST_F(MetaTest, WalksHandTheEmbeddedMetaBackWhenAValueThrows) {
  TestSchema schema;
  const std::vector<std::pair<std::string, std::function<void(PlainTestMeta&)>>> walks{
      {"prepareContainerAccess", [](PlainTestMeta& m) { m.prepareContainerAccess(); }},
      {"unprepareContainerAccess", [](PlainTestMeta& m) { m.unprepareContainerAccess(); }},
      {"changeDatabaseIds", [](PlainTestMeta& m) { m.changeDatabaseIds(3, 7); }},
      {"addDataEntry2DbMap", [](PlainTestMeta& m) { m.addDataEntry2DbMap(true); }},
  };
  for (const auto& [name, walk] : walks) {
    SCOPED_TRACE(name);
    PlainTestMeta inner(200);
    inner.addData(new ThrowingContainer(20));
    inner.setObject(testObject(1), 0);
    PlainTestMeta outer(100);
    auto* embedded = new EmbeddedValue(2, &inner);
    outer.addData(embedded);

    EXPECT_THROW(walk(outer), std::runtime_error);
    EXPECT_FALSE(inner.inUse());
    EXPECT_EQ(inner.clearCount(), 1);
    EXPECT_EQ(embedded->ungetCount(), name == "addDataEntry2DbMap" ? 1 : 0);
  }
  // A hand-back that throws as well must neither replace the exception on
  // its way nor end the process.
  for (const auto& [name, walk] : walks) {
    SCOPED_TRACE(name + ", clear() throwing too");
    ClearThrowsMeta inner(200);
    inner.addData(new ThrowingContainer(20));
    inner.setObject(testObject(1), 0);
    PlainTestMeta outer(100);
    outer.addData(new EmbeddedValue(2, &inner));

    EXPECT_THROW(walk(outer), std::runtime_error);
    EXPECT_FALSE(inner.inUse());
    EXPECT_EQ(inner.clearCount(), 1);
  }
}

// --- Binding and handing over the object -------------------------------------

TEST_F(MetaTest, SetObjectMarksInUseAndReportsANullObject) {
  PlainTestMeta meta(100);
  auto* value = new LongValue(1, 8);
  meta.addData(value);
  EXPECT_TRUE(meta.setObject(testObject(2), 0));
  EXPECT_TRUE(meta.inUse());

  ReportCapture capture;
  EXPECT_FALSE(meta.setObject(nullptr, 0));
  EXPECT_FALSE(meta.inUse());
  const auto reports = capture.assertions();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text,
            L"Es wurde versucht im Meat das Objekt mit einem NULL-Pointer zu setzen ( "
            L"tarvex_test::PlainTestMeta )!");
  EXPECT_EQ(reports[0].file, kFile);
  EXPECT_EQ(reports[0].line, 320);

  meta.setObject(testObject(2), 0);
  meta.clear();
  EXPECT_FALSE(meta.inUse());
  EXPECT_EQ(meta.getData(1), value);
  EXPECT_EQ(value->value(), 8);
}

TEST_F(MetaTest, TakeOverObjectHandsTheObjectOverAndFinishesTheRead) {
  PlainTestMeta meta(100);
  meta.setObject(testObject(3), 0);
  ReportCapture capture;
  EXPECT_EQ(meta.takeOverObject(1), testObject(3));
  EXPECT_FALSE(meta.getDeleteObject());
  ASSERT_EQ(meta.postReads().size(), 1u);
  EXPECT_EQ(meta.postReads()[0], std::make_pair(1, false));
  EXPECT_TRUE(capture.records().empty());
}

// The invalid-stamp flag is process-wide, so each case runs in a fresh
// process of its own.
class BuildStampTraceTest : public MetaTest {
 protected:
  void SetUp() override {
    MetaTest::SetUp();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
};

std::vector<TraceRecord> stampTraces(const ReportCapture& capture) {
  std::vector<TraceRecord> matching;
  for (const TraceRecord& record : capture.traces()) {
    if (record.text == L"At least one invalid build stamp.") matching.push_back(record);
  }
  return matching;
}

TEST_F(BuildStampTraceTest, InvalidStampIsTracedOncePerProcess) {
  EXPECT_EXIT(
      {
        ReportCapture capture;
        bool ok = ETraceState::switchTrace(L"Meta", true) > 0;
        PlainTestMeta meta(100);
        meta.takeOverObject(1);
        ok = ok && stampTraces(capture).empty();
        meta.takeOverObject(0);
        meta.takeOverObject(0);
        PlainTestMeta other(101);
        other.takeOverObject(0);
        const auto traces = stampTraces(capture);
        ok = ok && traces.size() == 1 && traces[0].category == L"Meta" && traces[0].file == kFile &&
             traces[0].line == 335;
        ok = ok && meta.postReads().size() == 3 && meta.postReads()[1] == std::make_pair(0, false);
        ok = ok && !meta.getDeleteObject() && !other.getDeleteObject();
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// A trace sink that hands over again while the one trace is written is
// served at once: no second trace, no wait, no failure.
TEST_F(BuildStampTraceTest, SinkThatHandsOverAgainIsServed) {
  EXPECT_EXIT(
      {
        ETraceState::switchTrace(L"Meta", true);
        PlainTestMeta inner(101);
        int traced = 0;
        const auto previous = setTraceSink([&](const TraceRecord& record) {
          if (record.text == L"At least one invalid build stamp." && traced++ == 0) {
            inner.takeOverObject(0);
          }
        });
        PlainTestMeta meta(100);
        meta.takeOverObject(0);
        setTraceSink(previous);
        const bool ok =
            traced == 1 && inner.postReads().size() == 1 && meta.postReads().size() == 1;
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(BuildStampTraceTest, StampReportedWhileTracingIsOffIsNotTracedLater) {
  EXPECT_EXIT(
      {
        ReportCapture capture;
        ETraceState::switchTrace(L"Meta", false);
        PlainTestMeta meta(100);
        meta.takeOverObject(0);
        bool ok = ETraceState::switchTrace(L"Meta", true) > 0;
        meta.takeOverObject(0);
        ok = ok && capture.traces().empty();
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(BuildStampTraceTest, ThreadsMeetingInvalidStampsTogetherTraceOnce) {
  EXPECT_EXIT(
      {
        ReportCapture capture;
        bool ok = ETraceState::switchTrace(L"Meta", true) > 0;
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t) {
          threads.emplace_back([t] {
            PlainTestMeta meta(static_cast<unsigned short>(100 + t));
            for (int round = 0; round < 100; ++round) meta.takeOverObject(0);
          });
        }
        for (std::thread& thread : threads) thread.join();
        ok = ok && stampTraces(capture).size() == 1;
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
