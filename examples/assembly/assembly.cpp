// A provider's second hour: an embedded object and a container of
// references on the kit, written, walked, emptied, moved to another
// database, and recycled by the registry.
#include <cstdio>
#include <vector>

#include "AfModule.h"
#include "DMMemberBase.h"
#include "TarvexKit.h"

//! [ids]
constexpr unsigned short kPlacementType = 44;  // embedded in frames
constexpr unsigned short kFrameType = 45;
constexpr unsigned short kBoltType = 46;  // referenced only

constexpr tarvex::DataKey<EPoint3D> kOrigin{60120};
constexpr tarvex::DataKey<double> kAngle{60121};
constexpr tarvex::DataKey<DbObjectId> kAnchor{60122};  // a reference
constexpr tarvex::DataKey<EString> kFrameName{60123};
constexpr unsigned short kFramePlacement = 60124;  // the embedded placement
constexpr unsigned short kFrameBolts = 60125;      // references to bolts
//! [ids]

//! [metas]
class PlacementMeta final : public tarvex::DbMetaImpl<PlacementMeta, kPlacementType> {
 public:
  PlacementMeta() {
    addData(new tarvex::DbPoint3DValue(kOrigin));
    addData(new tarvex::DbDoubleValue(kAngle));
    addData(new tarvex::DbReferenceValue<>(kAnchor));
  }
};

class FrameMeta final : public tarvex::DbMetaImpl<FrameMeta, kFrameType, false, DMMemberBase> {
 public:
  FrameMeta() {
    addData(new tarvex::DbStringValue(kFrameName));
    // The value owns the placement's meta, which holds the placement's values.
    addData(new tarvex::DbEmbeddedValue(kFramePlacement, std::make_unique<PlacementMeta>()));
    addData(
        new tarvex::DbReferenceContainerValue(kFrameBolts, tarvex::DbValueModelType::kReference16));
  }
};

class AssemblyTable : public IDbMetaTable {
 public:
  bool initTable() override {
    // The embedded type first: registering a frame describes its placement.
    DbMetaManager* registry = DbMetaManager::getInstance();
    return registry->registerMeta(new PlacementMeta) && registry->registerMeta(new FrameMeta);
  }
  bool exitTable() override { return true; }
};
//! [metas]

//! [embedded]
bool place(DbMetaBase& frame, const EPoint3D& origin, double angle, const DbObjectId& anchor) {
  DbMetaBase* placement = frame.getMetaForEmbeddedObject(kFramePlacement);
  if (placement == nullptr) return false;
  return tarvex::set(*placement, kOrigin, origin) && tarvex::set(*placement, kAngle, angle) &&
         tarvex::set(*placement, kAnchor, anchor);
}
//! [embedded]

//! [container]
void addBolts(DbMetaBase& frame, std::uint32_t first, std::uint32_t count) {
  for (std::uint32_t number = first; number < first + count; ++number) {
    tarvex::addReference(frame, kFrameBolts, DbObjectId(kBoltType, 1, number));  // appended
  }
}

std::vector<DbObjectId> bolts(DbMetaBase& frame) {
  std::vector<DbObjectId> ids;
  DbData* container = frame.getData(kFrameBolts);
  DbData* element = nullptr;
  container->prepareContainerAccess();
  for (bool more = container->getFirstElement(&element); more;
       more = container->getNextElement(&element)) {
    ids.push_back(element->getReference());
  }
  container->unprepareContainerAccess();
  return ids;
}
//! [container]

//! [remove]
bool removeFirstBolt(DbMetaBase& frame) {
  const bool removed = frame.removeObjectFromContainer(kFrameBolts, 0);  // false for a bad position
  return removed && bolts(frame).front() == DbObjectId(kBoltType, 1, 2);
}
//! [remove]

//! [move]
bool moveToDatabase7(DbMetaBase& frame, const DMMemberBase& object) {
  frame.changeDatabaseIds(1, 7);  // every id in database 1 now points into database 7
  const DbMetaBase* placement = frame.getMetaForEmbeddedObject(kFramePlacement);
  return bolts(frame)[0] == DbObjectId(kBoltType, 7, 2) &&
         tarvex::get(*placement, kAnchor) == DbObjectId(kBoltType, 7, 99) &&
         frame.getObjectId() == object.getObjectId();  // the meta's own id is no value: unchanged
}
//! [move]

bool buildFrame(DMMemberBase& object) {
  tarvex::DbBorrowedMeta frame(kFrameType, &object);
  if (!frame) return false;
  frame.set(kFrameName, L"frame A");
  const bool placed = place(*frame, EPoint3D(1.0, 2.0, 0.0), 90.0, DbObjectId(kBoltType, 1, 99));
  addBolts(*frame, 1, 3);
  return placed && frame->getContainerSize(kFrameBolts) == 3 && removeFirstBolt(*frame) &&
         bolts(*frame).size() == 2 && moveToDatabase7(*frame, object);
}

//! [recycle]
bool nextFrame(DMMemberBase& object) {
  tarvex::DbBorrowedMeta frame(kFrameType, &object);  // the meta the last frame was given back in
  if (!frame) return false;
  const bool recycled =
      frame.get(kFrameName) == EString(L"frame A") && frame->getContainerSize(kFrameBolts) == 2;
  frame.resetValues();  // construction defaults, embedded values and containers included
  const DbMetaBase* placement = frame->getMetaForEmbeddedObject(kFramePlacement);
  return recycled && frame.get(kFrameName).empty() && frame->getContainerSize(kFrameBolts) == 0 &&
         tarvex::get(*placement, kAngle) == 0.0;
}
//! [recycle]

int main() {
  tarvex::DbTablesScope tables;
  tarvex::registerMetaTable<AssemblyTable>(L"AssemblyTable");
  AfFramework::startUp();

  DMMemberBase first(DbObjectId(kFrameType, 1, 1));
  DMMemberBase second(DbObjectId(kFrameType, 1, 2));
  const bool ok = buildFrame(first) && nextFrame(second) && DbMetaManager::getInstance()->check();

  AfFramework::shutDown();
  tarvex::unregisterMetaTable(L"AssemblyTable");
  std::printf("assembly: %s\n", ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
