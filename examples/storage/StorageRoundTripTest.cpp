// The storage layer's round trip: objects of the sample types saved through
// their metas and loaded into metas that never held them, every kind of
// value compared; a moved object; unknown data kept.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "DMMemberBase.h"
#include "ObjectStore.h"
#include "SampleMetas.h"
#include "TarvexKit.h"

namespace tarvex_store {
// Failures name the row, not its bytes.
void PrintTo(const StoredValue& row, std::ostream* out) {
  *out << "{" << row.scope << row.dataId << "[" << row.element << "] type " << int{row.databaseType}
       << ": " << row.integer << " " << row.real << " \"" << row.bytes << "\" #" << row.embeddedId
       << "}";
}
}  // namespace tarvex_store

using namespace tarvex_sample;
using tarvex_store::ObjectStore;
using tarvex_store::StoreConnection;

namespace {

constexpr unsigned short kDatabase = 3;
constexpr unsigned short kMoved = 7;

class StorageRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Tables = std::make_unique<tarvex::DbTablesScope>();
    markSampleBackPackedDataIds();
    DbMetaManager* registry = DbMetaManager::getInstance();
    registry->registerMeta(new PlacementMeta);  // before the assembly that embeds it
    registry->registerMeta(new BeamMeta);
    registry->registerMeta(new PlateMeta);
    registry->registerMeta(new AssemblyMeta);
    m_Path = ::testing::TempDir() + "storage-round-trip-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".db";
    std::remove(m_Path.c_str());
    tarvex_store::StoredKinds kinds;
    kinds.stringType = static_cast<unsigned char>(
        DbDataModel2DataBaseTypeMap::getDatabaseType(tarvex::DbValueModelType::kString));
    kinds.timeType = static_cast<unsigned char>(
        DbDataModel2DataBaseTypeMap::getDatabaseType(tarvex::DbValueModelType::kTime));
    m_Store = std::make_unique<ObjectStore>(m_Path, kinds);
    m_Connection = m_Store->connect();
  }
  void TearDown() override {
    m_Connection.reset();
    m_Store.reset();
    m_Tables.reset();
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((m_Path + suffix).c_str());
  }

  // Saves `object` through a working meta of its type, filled by `fill`.
  void save(DMMemberBase& object, const std::function<void(DbMetaBase&)>& fill) {
    tarvex::DbBorrowedMeta meta(object.getObjectId().getTypeId(), &object);
    ASSERT_TRUE(meta);
    fill(*meta);
    m_Connection->save(*meta);
  }

  // A meta that never held an object of `id`: made anew, so no value is
  // left over from a recycled one. Null when nothing is stored for `id`.
  std::unique_ptr<DbMetaBase> load(const DbObjectId& id, DMMemberBase& object) {
    std::unique_ptr<DbMetaBase> meta(
        DbMetaManager::getInstance()->getMeta(id.getTypeId())->createMeta());
    EXPECT_TRUE(meta->setObject(&object, 0));
    if (!m_Connection->load(*meta)) return nullptr;
    return meta;
  }

  std::unique_ptr<tarvex::DbTablesScope> m_Tables;
  std::string m_Path;
  std::unique_ptr<ObjectStore> m_Store;
  std::unique_ptr<StoreConnection> m_Connection;
};

DbObjectId beamId() { return DbObjectId(kBeamType, kDatabase, 11); }
DbObjectId plateId() { return DbObjectId(kPlateType, kDatabase, 12); }
DbObjectId assemblyId() { return DbObjectId(kAssemblyType, kDatabase, 13); }
DbObjectId part(std::uint32_t n, unsigned short database) {
  return DbObjectId(kBeamType, database, 100 + n);
}

void fillBeam(DbMetaBase& meta) {
  tarvex::set(meta, keys::kName, EString(L"Tr\u00e4ger \u2713 \U0001F529"));
  tarvex::set(meta, keys::kBeamStart, EPoint3D(1.0, -2.5, 1e300));
  tarvex::set(meta, keys::kBeamLength, 1.0 / 3.0);
  tarvex::set(meta, keys::kBeamLoadBearing, false);  // true when made
  tarvex::set(meta, keys::kBeamCreated, ebas::ETime(-86400));
  meta.setDataEmbeddedReference(data::kMaterial,
                                DbEmbeddedObjId(DbObjectId(90, kDatabase, 0xFFFFFFFFu), 0));
}

void fillPlate(DbMetaBase& meta) {
  tarvex::set(meta, keys::kPlateCorner, EPoint(1.5, -2.25));
  tarvex::set(meta, keys::kPlateThickness, 0.1f);
  tarvex::set(meta, keys::kPlateGrade, 'Q');
  tarvex::set(meta, keys::kPlateLayer, static_cast<short>(-1234));
  tarvex::set(meta, keys::kPlateHoles, -70000);
  meta.setDataEmbeddedReference(data::kPlateOwner,
                                DbEmbeddedObjId(DbObjectId(91, 4, 7), -3));  // reference 16
}

// Parts in two databases, in order, the second with an embedded id; a
// placement whose frame (reference 18) lies in the assembly's database.
void fillAssembly(DbMetaBase& meta) {
  for (std::uint32_t n = 0; n < 3; ++n) {
    DMMemberBase beam(part(n, n == 1 ? 4 : kDatabase));
    tarvex::DbBorrowedMeta bound(kBeamType, &beam);
    meta.addObject2Container(data::kAssemblyParts, *bound, -1);
  }
  auto* parts =
      dynamic_cast<tarvex::DbReferenceContainerValue*>(meta.getData(data::kAssemblyParts));
  parts->element(1)->setEmbeddedId(42);
  DbMetaBase* placement = meta.getMetaForEmbeddedObject(data::kAssemblyPlacement);
  tarvex::set(*placement, keys::kPlacementOrigin, EPoint3D(4, 5, 6));
  tarvex::set(*placement, keys::kPlacementAngle, -0.0);
  tarvex::set(*placement, keys::kPlacementFrame, DbObjectId(92, kDatabase, 5));
  tarvex::set(*placement, keys::kPlacementLevel, 9);
  placement->setObjectId(DbObjectId(kPlacementType, kDatabase, 77));
  tarvex::set(meta, keys::kAssemblyRevision, 3);
}

// One kind of value: which object holds it, and the check of what was loaded.
struct Kind {
  const char* name;
  DbObjectId (*object)();
  std::function<void(const DbMetaBase&)> check;
};

const DbMetaBase& placementOf(const DbMetaBase& assembly) {
  return *assembly.getMetaForEmbeddedObject(data::kAssemblyPlacement);
}

const std::vector<Kind>& kinds() {
  static const std::vector<Kind> table = {
      {"bool", beamId,
       [](auto& m) { EXPECT_EQ(tarvex::tryGet(m, keys::kBeamLoadBearing), false); }},
      {"char", plateId, [](auto& m) { EXPECT_EQ(tarvex::tryGet(m, keys::kPlateGrade), 'Q'); }},
      {"short", plateId,
       [](auto& m) { EXPECT_EQ(tarvex::tryGet(m, keys::kPlateLayer), short{-1234}); }},
      {"long", plateId, [](auto& m) { EXPECT_EQ(tarvex::tryGet(m, keys::kPlateHoles), -70000); }},
      {"float", plateId,
       [](auto& m) { EXPECT_EQ(tarvex::tryGet(m, keys::kPlateThickness), 0.1f); }},
      {"double", beamId,
       [](auto& m) { EXPECT_EQ(tarvex::tryGet(m, keys::kBeamLength), 1.0 / 3.0); }},
      {"string", beamId,
       [](auto& m) {
         EXPECT_EQ(tarvex::tryGet(m, keys::kName), EString(L"Tr\u00e4ger \u2713 \U0001F529"));
       }},
      {"point", plateId,
       [](auto& m) { EXPECT_EQ(tarvex::tryGet(m, keys::kPlateCorner), EPoint(1.5, -2.25)); }},
      {"3D point", beamId,
       [](auto& m) { EXPECT_EQ(tarvex::tryGet(m, keys::kBeamStart), EPoint3D(1.0, -2.5, 1e300)); }},
      {"time", beamId,
       [](auto& m) { EXPECT_EQ(tarvex::tryGet(m, keys::kBeamCreated), ebas::ETime(-86400)); }},
      {"object id", beamId,
       [](auto& m) { EXPECT_EQ(m.getData(data::kObjectId)->getDbObjectId(), beamId()); }},
      {"reference 15", beamId,
       [](auto& m) {
         EXPECT_EQ(m.getData(data::kMaterial)->getReference(),
                   DbObjectId(90, kDatabase, 0xFFFFFFFFu));
       }},
      {"reference 16, embedded id", plateId,
       [](auto& m) {
         EXPECT_EQ(m.getData(data::kPlateOwner)->getReference(), DbObjectId(91, 4, 7));
         EXPECT_EQ(m.getData(data::kPlateOwner)->getEmbeddedId(), -3);
       }},
      {"reference 18", assemblyId,
       [](auto& m) {
         EXPECT_EQ(tarvex::tryGet(placementOf(m), keys::kPlacementFrame),
                   DbObjectId(92, kDatabase, 5));
       }},
      {"container, embedded ids", assemblyId,
       [](auto& m) {
         auto* parts =
             dynamic_cast<tarvex::DbReferenceContainerValue*>(m.getData(data::kAssemblyParts));
         ASSERT_EQ(parts->getContainerCount(), 3u);
         for (std::uint32_t n = 0; n < 3; ++n) {
           EXPECT_EQ(parts->element(n)->getReference(), part(n, n == 1 ? 4 : kDatabase));
           EXPECT_EQ(parts->element(n)->getEmbeddedId(), n == 1 ? 42 : 0);
         }
       }},
      {"embedded object", assemblyId,
       [](auto& m) {
         const DbMetaBase& placement = placementOf(m);
         EXPECT_EQ(placement.getObjectId(), DbObjectId(kPlacementType, kDatabase, 77));
         EXPECT_EQ(tarvex::tryGet(placement, keys::kPlacementOrigin), EPoint3D(4, 5, 6));
         EXPECT_TRUE(std::signbit(*tarvex::tryGet(placement, keys::kPlacementAngle)));
         EXPECT_EQ(tarvex::tryGet(placement, keys::kPlacementLevel), 9);
         EXPECT_FALSE(placement.inUse());
       }},
  };
  return table;
}

TEST_F(StorageRoundTrip, EveryKindOfValueComesBackAsSaved) {
  DMMemberBase beam(beamId()), plate(plateId()), assembly(assemblyId());
  m_Connection->begin();
  save(beam, fillBeam);
  save(plate, fillPlate);
  save(assembly, fillAssembly);
  m_Connection->commit();

  for (const Kind& kind : kinds()) {
    SCOPED_TRACE(kind.name);
    DMMemberBase object(kind.object());
    std::unique_ptr<DbMetaBase> meta = load(kind.object(), object);
    ASSERT_NE(meta, nullptr);
    kind.check(*meta);
    EXPECT_FALSE(meta->isNewObject());
    EXPECT_FALSE(meta->getDeleteObject());  // handed over
    // Loaded and saved again, the object is stored exactly as before.
    const std::vector<tarvex_store::StoredValue> before = m_Connection->rows(kind.object());
    m_Connection->save(*meta);
    EXPECT_EQ(m_Connection->rows(kind.object()), before);
  }
}

TEST_F(StorageRoundTrip, UnknownDataIsKeptAndWrittenBackUnchanged) {
  DMMemberBase beam(beamId());
  save(beam, fillBeam);
  const std::vector<tarvex_store::StoredValue> before = m_Connection->rows(beamId());

  // A meta of a provider that no longer has the beam's length.
  omitSampleDataId(data::kBeamLength);
  std::unique_ptr<DbMetaBase> older(DbMetaManager::getInstance()->getMeta(kBeamType)->createMeta());
  omitSampleDataId(0);
  ASSERT_EQ(older->getData(data::kBeamLength), nullptr);
  ASSERT_TRUE(older->setObject(&beam, 0));
  ASSERT_TRUE(m_Connection->load(*older));
  const DbData* kept = older->getData(data::kBeamLength);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->getUnknownDataType(), DbUnknownDataNsp::eUnknownData);
  m_Connection->save(*older);
  EXPECT_EQ(m_Connection->rows(beamId()), before);

  StoreConnection::finish(*older);
  EXPECT_EQ(older->getData(data::kBeamLength), nullptr);
  EXPECT_EQ(older->getDataList(false).size(), older->getDataList(true).size());
  DMMemberBase again(beamId());
  std::unique_ptr<DbMetaBase> current = load(beamId(), again);
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(tarvex::tryGet(*current, keys::kBeamLength), 1.0 / 3.0);
}

TEST_F(StorageRoundTrip, AMovedObjectIsFoundUnderItsNewIdOnly) {
  DMMemberBase assembly(assemblyId());
  save(assembly, fillAssembly);
  {
    tarvex::DbBorrowedMeta meta(kAssemblyType, &assembly);
    ASSERT_TRUE(m_Connection->load(*meta));
    m_Connection->begin();
    m_Connection->move(*meta, kDatabase, kMoved);
    m_Connection->save(*meta);
    m_Connection->commit();
  }
  const DbObjectId moved(kAssemblyType, kMoved, assemblyId().getObjectNumber());
  EXPECT_EQ(m_Connection->objects(), std::vector<DbObjectId>{moved});
  DMMemberBase gone(assemblyId()), found(moved);
  EXPECT_EQ(load(assemblyId(), gone), nullptr);
  std::unique_ptr<DbMetaBase> meta = load(moved, found);
  ASSERT_NE(meta, nullptr);
  EXPECT_EQ(meta->getData(data::kObjectId)->getDbObjectId(), moved);
  auto* parts =
      dynamic_cast<tarvex::DbReferenceContainerValue*>(meta->getData(data::kAssemblyParts));
  ASSERT_EQ(parts->getContainerCount(), 3u);
  EXPECT_EQ(parts->element(0)->getReference(), part(0, kMoved));
  EXPECT_EQ(parts->element(1)->getReference(), part(1, 4));  // another database: stays
  EXPECT_EQ(parts->element(1)->getEmbeddedId(), 42);
  EXPECT_EQ(tarvex::tryGet(placementOf(*meta), keys::kPlacementFrame), DbObjectId(92, kMoved, 5));
}

}  // namespace
