// Every broken contract the library reports and every unsafe input it must
// survive, one row each: the exact reports (text, file, line) and the
// neutral result the operation goes on with. The row count is printed so
// that a dropped row shows in the output.
#include <gtest/gtest.h>
#include <optional>

#include <algorithm>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DbData.h"
#include "DbDataModel2DataBaseTypeMap.h"
#include "DbEmbeddedValue.h"
#include "DbMetaManager.h"
#include "DbTablesScope.h"
#include "DbType2MetaMap.h"
#include "RegistryTestSupport.h"
#include "TestMetas.h"
#include "TestSchema.h"
#include "TestValues.h"

using namespace tarvex_test;

namespace {

const std::string kImplement = "VORASSERT (implement_in_subclasses) failed";
const std::string kFalse = "VORASSERT (false) failed";
const std::string kDbData = ".\\DbData";
const std::string kMetaBase = ".\\DbMetaBase";
const std::string kManager = ".\\DbMetaManagerBase";
const std::string kPool = ".\\DbType2MetaMap";
const std::string kTypeMap = ".\\DbDataModel2DataBaseTypeMap";

// getDataModelType reports from the class's header, named by its full path
// in the source tree. The build passes that path to this file as it passes
// it to the library: __FILE__ may be relative (ccache with a base directory).
std::string dbDataHeaderPath() { return TARVEX_DBDATA_HEADER_PATH; }

std::string render(const TraceRecord& record) {
  return narrow(record.text) + "|" + narrow(record.file) + "|" + std::to_string(record.line);
}

struct Row {
  std::string name;
  std::vector<std::string> reports;  // as report(text, file, line)
  std::function<void()> run;         // acts and checks the neutral result
  std::vector<std::string> traces = {};
};

// A base value the row works on: afterwards it must still carry exactly what
// it was made with.
struct BaseValue {
  DbData value{60010};
  ~BaseValue() {
    EXPECT_EQ(value.getDataId(), 60010);
    EXPECT_TRUE(value.isBitOn(DbData::kValidFlag));
    EXPECT_FALSE(value.isBitOn(static_cast<unsigned short>(~DbData::kValidFlag)));
    EXPECT_EQ(value.getUnknownDataType(), DbUnknownDataNsp::eNoUnknownData);
  }
};

// A value of a data-model type the type map has no entry for.
class OddTypeValue : public TestValue {
 public:
  using TestValue::TestValue;
  std::wstring text() const override { return L"odd"; }
};

// A meta whose createMeta makes a meta of another type.
class OtherTypeMaker final : public TestMeta {
 public:
  OtherTypeMaker(unsigned short typeId, unsigned short madeType)
      : TestMeta(typeId, {}), m_MadeType(madeType) {
    fill();
  }
  DbMetaBase* createMeta() override { return new CountingMeta(m_MadeType); }

 private:
  unsigned short m_MadeType;
};

std::string className(const DbMetaBase& meta) {
  EString name;
  meta.getClassName(name);
  return name.toUtf8();
}

std::unique_ptr<TestMeta> makeMeta(bool direct) {
  if (direct) return std::make_unique<DirectTestMeta>(1);
  return std::make_unique<PlainTestMeta>(1);
}

// A container of at most one element, which it borrows: the next link of a
// chain, or itself. Counts the walks' calls on it.
class LinkValue : public TestValue {
 public:
  explicit LinkValue(unsigned short dataId) : TestValue(dataId, kDmContainer) {}
  void setNext(DbData* next) { m_pNext = next; }
  void prepareContainerAccess() override { ++m_Prepared; }
  void unprepareContainerAccess() override { ++m_Unprepared; }
  bool getFirstElement(DbData** element) override {
    m_bAtFirst = true;
    return getNextElement(element);
  }
  bool getNextElement(DbData** element) override {
    if (!m_bAtFirst || m_pNext == nullptr) return false;
    m_bAtFirst = false;
    *element = m_pNext;
    return true;
  }
  std::wstring text() const override { return L"link"; }
  int prepared() const { return m_Prepared; }
  int unprepared() const { return m_Unprepared; }

 private:
  DbData* m_pNext = nullptr;
  bool m_bAtFirst = false;
  int m_Prepared = 0;
  int m_Unprepared = 0;
};

// An embedded object whose getMeta hands out a new meta, embedding another
// such object, every time: a chain no path check sees the end of.
class EndlessEmbeddedValue : public TestValue {
 public:
  explicit EndlessEmbeddedValue(unsigned short dataId) : TestValue(dataId, kDmEmbedded) {}
  DbMetaBase* getMeta() override {
    return new PlainTestMeta(1, {[] { return make(); }});
  }
  bool ungetMeta(DbMetaBase* meta) override {
    delete meta;
    return true;
  }
  std::wstring text() const override { return L"endless"; }
  static DbData* make() { return new EndlessEmbeddedValue(60010); }
};

// Runs `onDestroy` when destroyed.
class DestroyHookValue : public LongValue {
 public:
  DestroyHookValue(unsigned short dataId, std::function<void()> onDestroy)
      : LongValue(dataId), m_OnDestroy(std::move(onDestroy)) {}
  ~DestroyHookValue() override { m_OnDestroy(); }

 private:
  std::function<void()> m_OnDestroy;
};

// The three walks, in the order of their reports.
void walkAll(DbMetaBase& meta) {
  meta.prepareContainerAccess();
  meta.unprepareContainerAccess();
  meta.changeDatabaseIds(1, 2);
}

// A chain of `levels` nested containers below a meta's value, with an
// object id in database 1 at the bottom, walked by all three walks. Up to
// the nesting bound every container is entered once per walk and the id
// moves to database 2; deeper, the walks enter the bound's worth and stop.
void walkChain(std::size_t levels) {
  const std::size_t bound = DbMetaBase::kMaxNestingDepth;
  PlainTestMeta meta(1);
  auto* outer = new LinkValue(60010);
  meta.addData(outer);
  std::vector<LinkValue*> links{outer};
  std::vector<std::unique_ptr<LinkValue>> inner;
  for (std::size_t i = 1; i < levels; ++i) {
    inner.push_back(std::make_unique<LinkValue>(60010));
    links.back()->setNext(inner.back().get());
    links.push_back(inner.back().get());
  }
  ObjectIdValue bottom(60011, DbObjectId(5, 1, 9));
  links.back()->setNext(&bottom);
  walkAll(meta);
  for (std::size_t i : {std::size_t{0}, bound - 1, bound, levels - 1}) {
    if (i >= levels) continue;
    SCOPED_TRACE(::testing::Message() << "link " << i);
    EXPECT_EQ(links[i]->prepared(), i < bound ? 1 : 0);
    EXPECT_EQ(links[i]->unprepared(), i < bound ? 1 : 0);
  }
  EXPECT_EQ(bottom.value().getDatabaseId(), levels <= bound ? 2 : 1);
}

Row implementRow(const std::string& name, int line, std::function<void(DbData&)> act) {
  return {name, {report(kImplement, kDbData, line)}, [act] {
            BaseValue base;
            act(base.value);
          }};
}

// Rows for every base operation of a value that has a report.
std::vector<Row> valueRows() {
  std::vector<Row> rows;
  auto getter = [&rows](const std::string& name, int line, std::function<bool(DbData&)> neutral) {
    rows.push_back(implementRow(name, line, [neutral](DbData& v) { EXPECT_TRUE(neutral(v)); }));
  };
  getter("getBool", 113, [](DbData& v) { return v.getBool() == false; });
  getter("getChar", 120, [](DbData& v) { return v.getChar() == 0; });
  getter("getShort", 127, [](DbData& v) { return v.getShort() == 0; });
  getter("getLong", 134, [](DbData& v) { return v.getLong() == 0; });
  getter("getFloat", 141, [](DbData& v) { return v.getFloat() == 0.0F; });
  getter("getDouble", 148, [](DbData& v) { return v.getDouble() == 0.0; });
  getter("getTime", 155, [](DbData& v) { return v.getTime() == ebas::ETime(); });
  getter("getString", 163, [](DbData& v) { return v.getString().empty(); });
  getter("getDbObjectId", 171, [](DbData& v) { return v.getDbObjectId() == DbObjectId(); });
  getter("getPoint", 179, [](DbData& v) { return v.getPoint() == EPoint(0.0, 0.0); });
  getter("getPoint3D", 187, [](DbData& v) { return v.getPoint3D() == EPoint3D(0.0, 0.0, 0.0); });
  getter("getPropList", 196, [](DbData& v) { return v.getPropList().empty(); });
  getter("getStreamableObject", 529, [](DbData& v) { return v.getStreamableObject() == nullptr; });
  getter("getReference", 258, [](DbData& v) { return v.getReference() == DbObjectId(); });
  getter("getEmbeddedId", 266, [](DbData& v) { return v.getEmbeddedId() == 0; });
  getter("getDTString", 274, [](DbData& v) { return v.getDTString() == DbDTString(); });
  getter("getPropertyType", 448, [](DbData& v) { return v.getPropertyType() == 255; });
  getter("getMeta", 455, [](DbData& v) { return v.getMeta() == nullptr; });
  getter("ungetMeta", 462, [](DbData& v) {
    PlainTestMeta meta(1);
    return !v.ungetMeta(&meta) && !meta.inUse();
  });
  getter("getContainerCount", 282, [](DbData& v) { return v.getContainerCount() == 0; });
  getter("prepareContainerAccess", 289, [](DbData& v) {
    v.prepareContainerAccess();
    return true;
  });
  getter("unprepareContainerAccess", 295, [](DbData& v) {
    v.unprepareContainerAccess();
    return true;
  });
  auto untouchedOut = [](bool (DbData::*walk)(DbData**)) {
    return [walk](DbData& v) {
      DbData sentinel(1);
      DbData* out = &sentinel;
      return !(v.*walk)(&out) && out == &sentinel;
    };
  };
  getter("getFirstElement", 301, untouchedOut(&DbData::getFirstElement));
  getter("getNextElement", 308, untouchedOut(&DbData::getNextElement));
  rows.push_back({"getUnknownData", {report(kFalse, kDbData, 323)}, [] {
                    BaseValue base;
                    unsigned char byte = 7;
                    unsigned char* data = &byte;
                    std::uint32_t size = 99;
                    EXPECT_FALSE(base.value.getUnknownData(&data, &size));
                    EXPECT_EQ(data, &byte);
                    EXPECT_EQ(size, 99u);
                  }});

  auto setter = [&rows](const std::string& name, int line, std::function<void(DbData&)> act) {
    rows.push_back(implementRow(name, line, act));
  };
  setter("setBool", 330, [](DbData& v) { v.setBool(true); });
  setter("setChar", 336, [](DbData& v) { v.setChar('x'); });
  setter("setShort", 342, [](DbData& v) { v.setShort(-3); });
  setter("setLong", 348, [](DbData& v) { v.setLong(-70000); });
  setter("setFloat", 354, [](DbData& v) { v.setFloat(1.5F); });
  setter("setDouble", 360, [](DbData& v) { v.setDouble(2.5); });
  setter("setTime", 366, [](DbData& v) { v.setTime(ebas::ETime()); });
  setter("setString", 372, [](DbData& v) { v.setString(EString("text")); });
  setter("setDbObjectId", 378, [](DbData& v) { v.setDbObjectId(DbObjectId()); });
  setter("setPoint", 384, [](DbData& v) { v.setPoint(EPoint(1.0, 2.0)); });
  setter("setPoint3D", 390, [](DbData& v) { v.setPoint3D(EPoint3D(1.0, 2.0, 3.0)); });
  setter("setReference", 408, [](DbData& v) { v.setReference(DbObjectId()); });
  setter("setEmbeddedId", 414, [](DbData& v) { v.setEmbeddedId(5); });
  setter("setDTString", 421, [](DbData& v) { v.setDTString(DbDTString()); });
  setter("setPropertyList", 396, [](DbData& v) { v.setPropertyList(EPropertyList()); });
  setter("setUnknownData(blob)", 435, [](DbData& v) {
    const unsigned char bytes[] = {1, 2, 3};
    DbPtBlobConstIterator blob(bytes, sizeof bytes);
    v.setUnknownData(blob, "context");
    EXPECT_FALSE(v.hasUnknownData());
  });
  setter("setUnknownData(bytes)", 428, [](DbData& v) {
    const unsigned char bytes[] = {1, 2, 3};
    v.setUnknownData(bytes, sizeof bytes, 1);
    EXPECT_FALSE(v.hasUnknownData());
  });
  setter("setStreamableObject", 402, [](DbData& v) { v.setStreamableObject(nullptr); });
  setter("addObject2Container", 441, [](DbData& v) {
    PlainTestMeta meta(1);
    EXPECT_FALSE(v.addObject2Container(meta, 0));
  });

  setter("getPropertyListToSet", 204, [](DbData& v) { (void)v.getPropertyListToSet(); });
  setter("getStringToSet", 212, [](DbData& v) { (void)v.getStringToSet(); });
  setter("finishStringToSet", 220, [](DbData& v) { v.finishStringToSet(); });
  setter("getTimeToSet", 226, [](DbData& v) { (void)v.getTimeToSet(); });
  setter("getPointToSet", 234, [](DbData& v) { (void)v.getPointToSet(); });
  setter("getPoint3DToSet", 242, [](DbData& v) { (void)v.getPoint3DToSet(); });
  setter("getDbDTStringToSet", 250, [](DbData& v) { (void)v.getDbDTStringToSet(); });

  rows.push_back({"getDataModelType", {report(kFalse, dbDataHeaderPath(), 174)}, [] {
                    BaseValue base;
                    EXPECT_EQ(base.value.getDataModelType(), 255);
                  }});
  rows.push_back({"getStringLength", {report(kFalse, kDbData, 470)}, [] {
                    BaseValue base;
                    EXPECT_EQ(base.value.getStringLength(), 0u);
                  }});
  rows.push_back({"getAsString", {report(kFalse, kDbData, 507)}, [] {
                    BaseValue base;
                    EString out("stale");
                    EXPECT_FALSE(base.value.getAsString(out));
                    EXPECT_TRUE(out.empty());
                  }});
  rows.push_back({"getDataList on a value", {report(kImplement, kDbData, 315)}, [] {
                    BaseValue base;
                    EXPECT_EQ(base.value.getDataList(), nullptr);
                  }});
  rows.push_back({"doDelayedDataLoad on a base value",
                  {report("delayed loading of data while there is nothing to load", kDbData, 589),
                   report("delayed loading of data while there is nothing to load", kDbData, 589)},
                  [] {
                    BaseValue base;
                    PlainTestMeta meta(1);
                    EXPECT_FALSE(base.value.doDelayedDataLoad(1, 60010, &meta));
                    EXPECT_FALSE(base.value.doDelayedDataLoad(0, 0, nullptr));
                  }});
  // Reading past the base types needs no report: the type has no entry.
  rows.push_back({"getDataBaseTypeOfElements of the base's 255", {}, [] {
                    BaseValue base;
                    EXPECT_EQ(base.value.getDataModelTypeOfElements(), 255);
                    EXPECT_EQ(base.value.getDataBaseTypeOfElements(), 127);
                  }});
  return rows;
}

// Rows for the process-wide tables.
std::vector<Row> tableRows() {
  std::vector<Row> rows;
  rows.push_back({"data ids outside the sort-id table", {}, [] {
                    // Below 60000 and 65535 itself sort by their own number,
                    // read from memory the table owns.
                    for (unsigned short id : {0, 1, 59999}) {
                      EXPECT_EQ(DbData::getSortId(id), id);
                      EXPECT_FALSE(DbData::isBackPackedDatatId(id));
                    }
                    EXPECT_EQ(DbData::getSortId(65535), 65535u);
                    EXPECT_TRUE(DbData(59999) < DbData(60000));
                    EXPECT_TRUE(DbData(65534) < DbData(65535));
                    EXPECT_TRUE(DbData(65535) < DbData(DbData::kDefaultLastEntryDataId));
                    // Marking an id outside the table is kept by the backing.
                    DbData::insertBackPackedDatatId(100, true);
                    EXPECT_TRUE(DbData::isBackPackedDatatId(100));
                    DbData::insertBackPackedDatatId(100, false);
                    EXPECT_EQ(DbData::getSortId(100), 100u);
                  }});
  // An id below the table sorts by its own number again once the role moves
  // on, not as a second last entry.
  rows.push_back({"last-entry role moved on from an id below the table", {}, [] {
                    DbData::setLastEntryDataId(100);
                    EXPECT_EQ(DbData::getSortId(100), DbData::kLastEntrySortId);
                    DbData::setLastEntryDataId(60010);
                    EXPECT_EQ(DbData::getSortId(100), 100u);
                    EXPECT_FALSE(DbData::isBackPackedDatatId(100));
                    DbData first(60001);
                    DbData last(60010);
                    DbData low(100);
                    std::vector<DbData*> values{&last, &low, &first};
                    std::sort(values.begin(), values.end(), DbData::sortDbData);
                    EXPECT_EQ(values, (std::vector<DbData*>{&low, &first, &last}));
                    DbData::setLastEntryDataId(DbData::kDefaultLastEntryDataId);
                  }});
  // Without a table nothing is written or recorded, and init starts afresh.
  const std::string noTable = "VORASSERT (sm_pArrayDataId2SortId) failed";
  rows.push_back({"setLastEntryDataId before init", {report(noTable, kDbData, 631)}, [] {
                    DbData::deinit();
                    DbData::setLastEntryDataId(60010);
                    EXPECT_TRUE(DbData::isLastEntryDataId(DbData::kDefaultLastEntryDataId));
                    DbData::init();
                    EXPECT_EQ(DbData::getSortId(60010), 60010u);
                    EXPECT_TRUE(DbData::isLastEntryDataId(DbData::kDefaultLastEntryDataId));
                  }});
  rows.push_back({"insertBackPackedDatatId before init", {report(noTable, kDbData, 653)}, [] {
                    DbData::deinit();
                    DbData::insertBackPackedDatatId(60020, true);
                    DbData::init();
                    EXPECT_FALSE(DbData::isBackPackedDatatId(60020));
                  }});
  rows.push_back({"data-model type 127 registered",
                  {report("VORASSERT (dataModelType < 127) failed", kTypeMap, 40)},
                  [] {
                    DbDataModel2DataBaseTypeMap::addDataModelType(127, 4);
                    EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(127), 127);
                    EXPECT_EQ(DbDataModel2DataBaseTypeMap::getInstance()->size(), 127u);
                  }});
  rows.push_back({"data-model type 255 registered",
                  {report("VORASSERT (dataModelType < 127) failed", kTypeMap, 40)},
                  [] {
                    DbDataModel2DataBaseTypeMap::addDataModelType(255, 4);
                    EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(255), 127);
                    EXPECT_EQ(DbDataModel2DataBaseTypeMap::getDatabaseType(126), 127);
                  }});
  rows.push_back({"value of data-model type 200 described to the schema", {}, [] {
                    TestSchema schema;
                    PlainTestMeta meta(4);
                    meta.addData(new LongValue(60010, 5));
                    auto* odd = new OddTypeValue(60011, 200);
                    meta.addData(odd);
                    meta.addDataEntry2DbMap(true);
                    ASSERT_EQ(schema.entries().size(), 2u);
                    EXPECT_EQ(schema.entries()[1].overload, TestSchema::Overload::Plain);
                    EXPECT_EQ(schema.entries()[1].dataModelType, 200);
                  }});
  return rows;
}

// Rows for a meta's own contracts.
std::vector<Row> metaRows() {
  std::vector<Row> rows;
  {
    PlainTestMeta probe(1);
    const std::string name = className(probe);
    rows.push_back(
        {"duplicate addData",
         {report("Die DataId 60010 wurde doppelt vergeben ( " + name + " )!", kMetaBase, 193)},
         [] {
           // Listed but not owned: the meta leaves it to us.
           auto* second = new LongValue(60010, 2);
           {
             PlainTestMeta meta(1);
             auto* first = new LongValue(60010, 1);
             meta.addData(first);
             meta.addData(second);
             EXPECT_EQ(meta.getData(60010), first);
             EXPECT_EQ(meta.getDataList(false), (DbDataList{first, second}));
           }
           EXPECT_EQ(second->value(), 2);
           delete second;
         }});
    rows.push_back(
        {"replaceData of an absent id",
         {report("The DataId 60011 was not found, while trying to replace ( " + name + " )!",
                 kMetaBase, 224)},
         [] {
           PlainTestMeta meta(1);
           auto* kept = new LongValue(60010, 1);
           meta.addData(kept);
           LongValue stranger(60011, 2);
           EXPECT_EQ(meta.replaceData(&stranger), nullptr);
           EXPECT_EQ(meta.getData(60011), nullptr);
           EXPECT_EQ(meta.getDataList(false), DbDataList{kept});
         }});
    // Insertion order is the one order known without a table; each call
    // reports, also when a list sorted earlier is cached.
    const std::string noTable = "VORASSERT (sm_pArrayDataId2SortId) failed";
    rows.push_back({"sorted list without a sort-id table",
                    {report(noTable, kMetaBase, 128), report(noTable, kMetaBase, 128),
                     report(noTable, kMetaBase, 128)},
                    [] {
                      PlainTestMeta meta(1);
                      auto* later = new LongValue(60020);
                      auto* earlier = new LongValue(60010);
                      meta.addData(later);
                      meta.addData(earlier);
                      DbData::deinit();
                      EXPECT_EQ(meta.getDataList(true), (DbDataList{later, earlier}));
                      EXPECT_EQ(meta.getDataList(true), (DbDataList{later, earlier}));
                      DbData::init();
                      EXPECT_EQ(meta.getDataList(true), (DbDataList{earlier, later}));
                      DbData::deinit();
                      EXPECT_EQ(meta.getDataList(true), (DbDataList{later, earlier}));
                      DbData::init();
                    }});
    // A list sorted earlier follows the table as it is now.
    rows.push_back({"sorted list after the sort ids changed", {}, [] {
                      PlainTestMeta meta(1);
                      auto* back = new LongValue(60001);
                      auto* plain = new LongValue(60020);
                      meta.addData(plain);
                      meta.addData(back);
                      DbData::insertBackPackedDatatId(60001, true);
                      EXPECT_EQ(meta.getDataList(true), (DbDataList{plain, back}));
                      DbData::deinit();
                      DbData::init();
                      EXPECT_EQ(meta.getDataList(true), (DbDataList{back, plain}));
                      DbData::setLastEntryDataId(60001);
                      EXPECT_EQ(meta.getDataList(true), (DbDataList{plain, back}));
                      DbData::setLastEntryDataId(DbData::kDefaultLastEntryDataId);
                      DbData::deinit();
                      DbData::init();
                    }});
    // The only invalid stamps of this process: a trace the sink threw on is
    // written by the next one.
    rows.push_back({"invalid-stamp trace that throws",
                    {},
                    [] {
                      PlainTestMeta meta(1);
                      {
                        ThrowingSink sink;
                        EXPECT_THROW(meta.takeOverObject(0), std::runtime_error);
                      }
                      meta.takeOverObject(0);
                      meta.takeOverObject(0);
                    },
                    {report("At least one invalid build stamp.", kMetaBase, 335)}});
    rows.push_back(
        {"setObject(nullptr)",
         {report("Es wurde versucht im Meat das Objekt mit einem NULL-Pointer zu setzen ( " + name +
                     " )!",
                 kMetaBase, 320)},
         [] {
           PlainTestMeta meta(1);
           ASSERT_TRUE(meta.setObject(testObject(0), 0));
           EXPECT_FALSE(meta.setObject(nullptr, 0));
           EXPECT_FALSE(meta.inUse());
         }});
  }
  {
    rows.push_back({"embedded value whose meta is not registered",
                    {report("Metareihenfolge \xC3\xBC"
                            "berarbeiten. Diese Meta muss vorher registriert werden!",
                            kMetaBase, 476)},
                    [] {
                      TestSchema schema;
                      LocalRegistry registry;
                      auto* meta =
                          new CountingMeta(5, {[] { return new EmbeddedValue(60010, nullptr); }});
                      EXPECT_TRUE(registry.registerMeta(meta));
                      EXPECT_TRUE(registry.isMetaRegistered(5));
                      ASSERT_EQ(schema.entries().size(), 1u);
                      EXPECT_EQ(schema.entries()[0].overload, TestSchema::Overload::Plain);
                      EXPECT_EQ(schema.entries()[0].dataModelType, kDmEmbedded);
                    }});
  }
  // Null, and a value the meta lists already, on both kinds of meta: the
  // meta never lists a value twice, never hands out one it still lists and
  // never destroys one it holds.
  const std::string nullData = "VORASSERT (pData) failed";
  for (bool direct : {false, true}) {
    const std::string name = className(*makeMeta(direct));
    const std::string kind = direct ? " (direct)" : " (plain)";
    const std::string held =
        "The value of DataId 60010 is held by this meta already ( " + name + " )!";
    rows.push_back({"addData and replaceData of null" + kind,
                    {report(nullData, kMetaBase, 186), report(nullData, kMetaBase, 216)},
                    [direct] {
                      auto meta = makeMeta(direct);
                      auto* kept = new LongValue(60010, 1);
                      meta->addData(kept);
                      meta->addData(nullptr);
                      EXPECT_EQ(meta->replaceData(nullptr), nullptr);
                      EXPECT_EQ(meta->getDataList(false), DbDataList{kept});
                      EXPECT_EQ(meta->getData(60010), kept);
                    }});
    rows.push_back({"the same value added twice" + kind, {report(held, kMetaBase, 197)}, [direct] {
                      auto meta = makeMeta(direct);
                      auto* value = new ObjectIdValue(60010, DbObjectId(5, 1, 9));
                      meta->addData(value);
                      meta->addData(value);
                      EXPECT_EQ(meta->getDataList(false), DbDataList{value});
                      // Replaced, it is ours and out of the meta's reach.
                      auto* replacement = new ObjectIdValue(60010, DbObjectId(5, 1, 8));
                      EXPECT_EQ(meta->replaceData(replacement), value);
                      value->purge();
                      EXPECT_EQ(meta->getDataList(false), DbDataList{replacement});
                      meta->changeDatabaseIds(1, 2);
                      EXPECT_EQ(replacement->value().getDatabaseId(), 2);
                      EXPECT_TRUE(meta->setDbObjectId(60010, DbObjectId(5, 3, 7)));
                      EXPECT_EQ(replacement->value(), DbObjectId(5, 3, 7));
                    }});
    rows.push_back(
        {"a listed duplicate given again" + kind,
         {report("Die DataId 60010 wurde doppelt vergeben ( " + name + " )!", kMetaBase, 193),
          report(held, kMetaBase, 228), report(held, kMetaBase, 197)},
         [direct] {
           auto* first = new LongValue(60010, 1);
           auto* later = new LongValue(60010, 2);
           {
             auto meta = makeMeta(direct);
             meta->addData(first);
             meta->addData(later);  // listed, not owned
             EXPECT_EQ(meta->replaceData(later), nullptr);
             EXPECT_EQ(meta->getDataList(false), (DbDataList{first, later}));
             // With the first value out, the map has no value of the id.
             first->setUnknownDataType(DbUnknownDataNsp::eUnknownData);
             meta->removeUnknownDataFromDataLists();
             first->purge();
             meta->addData(later);
             EXPECT_EQ(meta->getDataList(false), DbDataList{later});
           }
           EXPECT_EQ(later->value(), 2);
           later->purge();
         }});
  }
  rows.push_back({"no schema installed", {}, [] {
                    TestSchema::NoSchema none;
                    PlainTestMeta meta(1);
                    auto* value = new LongValue(60010, 3);
                    meta.addData(value);
                    ASSERT_TRUE(meta.setObject(testObject(1), 0));
                    meta.addDataEntry2DbMap(true);
                    EXPECT_TRUE(meta.objectIds().empty());
                    EXPECT_TRUE(meta.inUse());
                    meta.setDatas2Default(7);
                    EXPECT_EQ(value->defaultCount(), 0);
                    meta.declareOldDataId(60010);
                    meta.clear();

                    LocalRegistry registry;
                    EXPECT_TRUE(registry.registerMeta(new CountingMeta(2)));
                    EXPECT_NE(registry.getMetaLocal(2), nullptr);
                  }});
  return rows;
}

// Rows for the recursive walks: a value that contains itself ends the walk
// with one report; so does a chain deeper than the nesting bound.
std::vector<Row> walkRows() {
  std::vector<Row> rows;
  auto tooDeepText = [](const std::string& name) {
    return "Containers and embedded metas nested deeper than " +
           std::to_string(DbMetaBase::kMaxNestingDepth) + " levels ( " + name +
           " ): the walk stopped there!";
  };
  auto tooDeep = [tooDeepText](const std::string& name) {
    const std::string text = tooDeepText(name);
    return std::vector<std::string>{report(text, kMetaBase, 352), report(text, kMetaBase, 371),
                                    report(text, kMetaBase, 418)};
  };
  const std::string name = className(PlainTestMeta(1));
  rows.push_back({"a container that contains itself", tooDeep(name), [] {
                    PlainTestMeta meta(1);
                    auto* link = new LinkValue(60010);
                    link->setNext(link);
                    meta.addData(link);
                    walkAll(meta);
                    // Entered once per level, alike by both walks.
                    EXPECT_EQ(link->prepared(), static_cast<int>(DbMetaBase::kMaxNestingDepth));
                    EXPECT_EQ(link->unprepared(), link->prepared());
                  }});
  // Twice embedded in itself: without the stop, the walk would branch out.
  rows.push_back({"a meta embedded in itself twice", tooDeep(name), [] {
                    PlainTestMeta meta(1);
                    auto* id = new ObjectIdValue(60010, DbObjectId(5, 1, 9));
                    meta.addData(id);
                    meta.addData(new EmbeddedValue(60011, &meta));
                    meta.addData(new EmbeddedValue(60012, &meta));
                    walkAll(meta);
                    EXPECT_EQ(id->value().getDatabaseId(), 2);
                  }});
  // Stopped, the walk enters no further element of the container it is in.
  rows.push_back({"a container whose first element goes too deep", tooDeep(name), [] {
                    PlainTestMeta meta(1);
                    auto* container = new ContainerValue(60010, kDmContainer);
                    auto* link = new LinkValue(60011);
                    link->setNext(link);
                    auto* id = new ObjectIdValue(60012, DbObjectId(5, 1, 9));
                    container->add(link);
                    container->add(id);
                    meta.addData(container);
                    walkAll(meta);
                    EXPECT_EQ(id->value().getDatabaseId(), 1);
                  }});
  rows.push_back({"embedded metas without end at registration",
                  {report(tooDeepText(name), kMetaBase, 478)},
                  [] {
                    TestSchema schema;
                    PlainTestMeta meta(1, {[] { return EndlessEmbeddedValue::make(); },
                                           [] { return new LongValue(60011); }});
                    meta.addDataEntry2DbMap(true);
                    EXPECT_EQ(schema.entries().size(), DbMetaBase::kMaxNestingDepth + 1);
                  }});
  rows.push_back({"containers nested as deep as the bound", {}, [] {
                    walkChain(DbMetaBase::kMaxNestingDepth);
                  }});
  rows.push_back({"containers nested 100000 deep", tooDeep(name), [] { walkChain(100000); }});
  return rows;
}

// Rows for the registry and its pools.
std::vector<Row> registryRows() {
  const std::string noMeta = "VORASSERT (pMeta) failed";
  const std::string noPool = "VORASSERT (pMetas) failed";
  const std::string noNewMeta = "VORASSERT (pNewMeta) failed";
  std::vector<Row> rows;
  rows.push_back({"registerMeta(nullptr)", {report(noMeta, kManager, 72)}, [] {
                    LocalRegistry registry;
                    EXPECT_FALSE(registry.registerMeta(nullptr));
                    EXPECT_EQ(registry.getMetasBegin(), registry.getMetasEnd());
                    EXPECT_TRUE(registry.check());
                  }});
  // Registered twice, a meta would be deleted twice: the second call leaves
  // the registry, the pool and the schema as they were.
  const std::string twice =
      "Die Meta wurde doppelt registriert ( " + className(CountingMeta(0)) + " )!";
  rows.push_back({"the same meta registered twice", {report(twice, kManager, 76)}, [] {
                    TestSchema schema;
                    LocalRegistry registry;
                    auto* meta = new CountingMeta(3, {[] { return new LongValue(60010, 5); }});
                    EXPECT_TRUE(registry.registerMeta(meta));
                    EXPECT_FALSE(registry.registerMeta(meta));
                    EXPECT_EQ(schema.entries().size(), 1u);
                    EXPECT_EQ(meta->createCalls(), 1);
                    EXPECT_EQ(std::distance(registry.getMetasBegin(), registry.getMetasEnd()), 1);
                    DbMetaBase* working = registry.getMetaLocal(3);
                    ASSERT_NE(working, nullptr);
                    // The pool holds one working meta, so a busy one makes it grow.
                    working->setObject(testObject(0), 0);
                    DbMetaBase* grown = registry.getMetaLocal(3);
                    ASSERT_NE(grown, nullptr);
                    EXPECT_EQ(static_cast<CountingMeta*>(grown)->madeFrom(), working);
                    working->clear();
                  }});
  rows.push_back({"createMeta returns null at registration", {report(noNewMeta, kManager, 84)}, [] {
                    LocalRegistry registry;
                    auto* meta = new CountingMeta(3);
                    meta->setFactory(CountingMeta::Factory::ReturnsNull);
                    EXPECT_FALSE(registry.registerMeta(meta));
                    EXPECT_TRUE(registry.isMetaRegistered(3));
                    EXPECT_EQ(registry.getMetaLocal(3), nullptr);
                  }});
  rows.push_back({"createMeta returns null while a new pool is filled",
                  {report(noNewMeta, kManager, 121)},
                  [] {
                    LocalRegistry registry;
                    auto* broken = new CountingMeta(3);
                    registry.registerMeta(broken);
                    registry.registerMeta(new CountingMeta(4));
                    broken->setFactory(CountingMeta::Factory::ReturnsNull);
                    Worker thread;
                    thread.run([&] {
                      EXPECT_EQ(registry.getMetaLocal(3), nullptr);
                      EXPECT_NE(registry.getMetaLocal(4), nullptr);
                    });
                  }});
  rows.push_back({"createMeta returns null when a pool grows", {report(noNewMeta, kPool, 48)}, [] {
                    DbType2MetaMap pool;
                    auto* meta = new CountingMeta(3);
                    pool.adoptMeta(3, meta);
                    meta->setObject(testObject(0), 0);
                    meta->setFactory(CountingMeta::Factory::ReturnsNull);
                    EXPECT_EQ(pool.getFreeMeta(3), nullptr);
                    EXPECT_EQ(pool.size(), 1u);
                    meta->clear();
                    EXPECT_EQ(pool.getFreeMeta(3), meta);
                  }});
  // A working meta of another type than the registered one joins its own
  // type's group, not the registering type's.
  rows.push_back({"createMeta makes another type at registration", {}, [] {
                    LocalRegistry registry;
                    registry.registerMeta(new CountingMeta(3));
                    EXPECT_TRUE(registry.registerMeta(new OtherTypeMaker(3, 4)));
                    DbMetaBase* made = registry.getMetaLocal(4);
                    ASSERT_NE(made, nullptr);
                    EXPECT_EQ(made->getTypeId(), 4);
                    DbMetaBase* three = registry.getMetaLocal(3);
                    ASSERT_NE(three, nullptr);
                    EXPECT_EQ(three->getTypeId(), 3);
                  }});
  rows.push_back(
      {"createMeta returns null when a registry is copied", {report(noNewMeta, kManager, 296)}, [] {
         LocalRegistry registry;
         auto* broken = new CountingMeta(3);
         registry.registerMeta(broken);
         registry.registerMeta(new CountingMeta(4));
         broken->setFactory(CountingMeta::Factory::ReturnsNull);
         DbMetaManagerBase copy(registry);
         EXPECT_FALSE(copy.isMetaRegistered(3));
         EXPECT_TRUE(copy.isMetaRegistered(4));
       }});

  // An empty slot is left by a thread whose pool could not be filled.
  auto emptySlot = [](const std::function<void(LocalRegistry&)>& walk) {
    return [walk] {
      LocalRegistry registry;
      auto* meta = new CountingMeta(2);
      registry.registerMeta(meta);
      meta->setFactory(CountingMeta::Factory::Throws);
      Worker thread;
      EXPECT_THROW(thread.run([&] { registry.getMetaLocal(2); }), std::bad_alloc);
      meta->setFactory(CountingMeta::Factory::Works);
      walk(registry);
    };
  };
  rows.push_back({"empty pool slot in check",
                  {report(noPool, kManager, 172)},
                  emptySlot([](LocalRegistry& r) { EXPECT_TRUE(r.check()); })});
  rows.push_back({"empty pool slot in dump",
                  {report(noPool, kManager, 213)},
                  emptySlot([](LocalRegistry& r) { r.dump(); }),
                  {report("DbMetaManager-recycled Metacount 2\n", kManager, 234),
                   report("DbMetaManager-InUseCount 0\n", kManager, 236)}});
  rows.push_back({"empty pool slot in clearAllMetas",
                  {report(noPool, kManager, 270)},
                  emptySlot([](LocalRegistry& r) { r.clearAllMetas(true); })});

  // The registered pool is reachable through the registry's iterators; a
  // null written there stands for a pool entry that lost its meta.
  rows.push_back({"registered entry without a meta",
                  {report(noMeta, kManager, 259)},
                  [] {
                    LocalRegistry registry;
                    auto* meta = new CountingMeta(6);
                    registry.registerMeta(meta);
                    meta->setObject(testObject(1), 0);
                    auto& slot = const_cast<DbMetaBase*&>(registry.getMetasBegin()->second);
                    slot = nullptr;
                    EXPECT_TRUE(registry.check());
                    registry.clearAllMetas(false);
                    EXPECT_TRUE(meta->inUse());
                    delete meta;
                    // A copy, a new thread's pool and the dump pass over it.
                    DbMetaManagerBase copy(registry);
                    EXPECT_FALSE(copy.isMetaRegistered(6));
                    Worker thread;
                    thread.run([&] { EXPECT_EQ(registry.getMetaLocal(6), nullptr); });
                    registry.dump();
                  },
                  {report("DbMetaManager-recycled Metacount 2\n", kManager, 234),
                   report("DbMetaManager-InUseCount 0\n", kManager, 236)}});
  // A pool's own entries are as reachable; growing from a null one makes
  // nothing.
  rows.push_back(
      {"pool entry without a meta when the pool grows", {report(noNewMeta, kPool, 48)}, [] {
         DbType2MetaMap pool;
         auto* meta = new CountingMeta(3);
         pool.adoptMeta(3, meta);
         pool.begin()->second = nullptr;
         EXPECT_EQ(pool.getFreeMeta(3), nullptr);
         EXPECT_EQ(pool.size(), 1u);
         pool.begin()->second = meta;
       }});
  // Each registration describes a type embedding its own once: the working
  // meta its embedded object is described by is not entered again.
  rows.push_back({"a type embedding its own registered again",
                  {report("Metareihenfolge \xC3\xBC"
                          "berarbeiten. Diese Meta muss vorher registriert werden!",
                          kMetaBase, 476)},
                  [] {
                    TestSchema schema;
                    auto make = [] {
                      return new CountingMeta(5, {[] {
                                                return new tarvex::DbEmbeddedValue(
                                                    60010, std::make_unique<PlainTestMeta>(5));
                                              }});
                    };
                    DbMetaManager::deinit();
                    EXPECT_TRUE(DbMetaManager::getInstance()->registerMeta(make()));
                    EXPECT_TRUE(DbMetaManager::getInstance()->registerMeta(make()));
                    LocalRegistry local;
                    EXPECT_TRUE(local.registerMeta(make()));
                    // The later two describe the working meta they embed as well.
                    EXPECT_EQ(schema.entries().size(), 5u);
                    DbMetaManager::deinit();
                  }});
  // A thread whose first call fails to register is left without a pool,
  // which is no broken one: its next request fills one as a new thread's.
  rows.push_back({"a thread's first registerMeta fails",
                  {},
                  [] {
                    LocalRegistry registry;
                    auto* one = new CountingMeta(1);
                    registry.registerMeta(one);
                    DbMetaManager::getInstance()->registerMeta(new CountingMeta(1));
                    auto* failing = new CountingMeta(2);
                    failing->setFactory(CountingMeta::Factory::Throws);
                    Worker thread;
                    thread.run(
                        [&] { EXPECT_THROW(registry.registerMeta(failing), std::bad_alloc); });
                    EXPECT_TRUE(registry.check());
                    registry.dump();
                    registry.clearAllMetas(true);
                    thread.run([&] {
                      DbMetaBase* meta = registry.getMeta(1);
                      ASSERT_NE(meta, nullptr);
                      EXPECT_EQ(static_cast<CountingMeta*>(meta)->madeFrom(), one);
                    });
                    DbMetaManager::deinit();
                  },
                  {report("DbMetaManager-recycled Metacount 2\n", kManager, 234),
                   report("DbMetaManager-InUseCount 0\n", kManager, 236)}});
  // Teardown takes no meta, also when saying so throws.
  rows.push_back({"registerMeta in teardown whose report throws", {}, [] {
                    auto* registry = new LocalRegistry;
                    registry->registerMeta(new CountingMeta(
                        3, {[registry] {
                          return new DestroyHookValue(60010, [registry] {
                            ThrowingSink sink;
                            EXPECT_THROW(registry->registerMeta(new CountingMeta(4)),
                                         std::runtime_error);
                          });
                        }}));
                    delete registry;
                  }});
  rows.push_back({"in-use metas of type ids 127 and 128 in dump",
                  {},
                  [] {
                    LocalRegistry registry;
                    registry.registerMeta(new CountingMeta(127));
                    registry.registerMeta(new CountingMeta(128));
                    registry.registerMeta(new CountingMeta(0xFFFF));
                    for (unsigned short type : {127, 128, 0xFFFF}) {
                      registry.getMetaLocal(type)->setObject(testObject(2), 0);
                    }
                    registry.dump();
                    EXPECT_FALSE(registry.check());
                    registry.clearAllMetas(true);
                  },
                  {report("DbMetaManager-recycled Metacount 6\n", kManager, 234),
                   report("DbMetaManager-InUseCount 3\n", kManager, 236),
                   report("DbMetaManager-TypeInUseCount Type127Count1\n", kManager, 246)}});
  return rows;
}

class BadInput : public ::testing::Test {
 protected:
  void SetUp() override { m_Tables.emplace(); }
  void TearDown() override { m_Tables.reset(); }

  std::optional<tarvex::DbTablesScope> m_Tables;
};

TEST_F(BadInput, EveryBrokenContractIsReportedExactlyAndEndsNeutral) {
  std::vector<Row> rows;
  for (auto part : {valueRows, tableRows, metaRows, walkRows, registryRows}) {
    for (Row& row : part()) rows.push_back(std::move(row));
  }
  const int liveBefore = CountingMeta::live();
  TraceSwitch traceOn(true);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ReportCapture capture;
    row.run();
    std::vector<std::string> assertions;
    for (const TraceRecord& record : capture.assertions()) assertions.push_back(render(record));
    std::vector<std::string> traces;
    for (const TraceRecord& record : capture.traces()) traces.push_back(render(record));
    EXPECT_EQ(assertions, row.reports);
    EXPECT_EQ(traces, row.traces);
    EXPECT_EQ(CountingMeta::live(), liveBefore) << "metas leaked or deleted twice";
  }
  std::cout << "[ bad input ] " << rows.size() << " rows checked\n";
  RecordProperty("rows", static_cast<int>(rows.size()));
}

}  // namespace
