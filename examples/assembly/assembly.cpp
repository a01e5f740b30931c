// A provider's second hour: an embedded object and a container of
// references on the kit, written, walked, emptied, moved to another
// database, and recycled by the registry.
#include <cstdint>
#include <cstdio>

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

constexpr tarvex::EmbeddedKey<PlacementMeta> kFramePlacement{60124};
constexpr tarvex::ContainerKey kFrameBolts{60125};  // references to bolts

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

// The embedded type first: registering a frame describes its placement.
using AssemblyTable = tarvex::DbMetaTable<PlacementMeta, FrameMeta>;
//! [metas]

//! [embedded]
bool place(DbMetaBase& frame, const EPoint3D& origin, double angle, const DbObjectId& anchor) {
  // Each answers false if the frame has no placement.
  return tarvex::set(frame, kFramePlacement, kOrigin, origin) &&
         tarvex::set(frame, kFramePlacement, kAngle, angle) &&
         tarvex::set(frame, kFramePlacement, kAnchor, anchor);
}
//! [embedded]

//! [container]
void addBolts(DbMetaBase& frame, std::uint32_t first, std::uint32_t count) {
  for (std::uint32_t number = first; number < first + count; ++number) {
    tarvex::addReference(frame, kFrameBolts, DbObjectId(kBoltType, 1, number));  // appended
  }
}

bool boltsAre(DbMetaBase& frame, std::uint16_t database, std::uint32_t first) {
  std::uint32_t number = first;
  tarvex::forEachReference(frame, kFrameBolts, [&](const DbObjectId& bolt) {
    if (bolt == DbObjectId(kBoltType, database, number)) ++number;
  });
  return number == first + tarvex::referenceCount(frame, kFrameBolts);
}
//! [container]

//! [remove]
bool removeFirstBolt(DbMetaBase& frame) {
  const bool removed = tarvex::removeReference(frame, kFrameBolts, 0);  // false for a bad position
  return removed && tarvex::references(frame, kFrameBolts).front() == DbObjectId(kBoltType, 1, 2);
}
//! [remove]

//! [move]
bool moveToDatabase7(DbMetaBase& frame, const DMMemberBase& object) {
  frame.changeDatabaseIds(1, 7);  // every id in database 1 now points into database 7
  return boltsAre(frame, 7, 2) &&
         tarvex::get(frame, kFramePlacement, kAnchor) == DbObjectId(kBoltType, 7, 99) &&
         frame.getObjectId() == object.getObjectId();  // the meta's own id is no value: unchanged
}
//! [move]

bool buildFrame(DMMemberBase& object) {
  tarvex::DbBorrowedMeta frame(kFrameType, &object);
  if (!frame) return false;
  frame.set(kFrameName, L"frame A");
  const bool placed = place(*frame, EPoint3D(1.0, 2.0, 0.0), 90.0, DbObjectId(kBoltType, 1, 99));
  addBolts(*frame, 1, 3);
  return placed && boltsAre(*frame, 1, 1) && removeFirstBolt(*frame) &&
         tarvex::referenceCount(*frame, kFrameBolts) == 2 && moveToDatabase7(*frame, object);
}

//! [recycle]
bool nextFrame(DMMemberBase& object) {
  tarvex::DbBorrowedMeta frame(kFrameType, &object);  // the meta the last frame was given back in
  if (!frame) return false;
  const bool recycled = frame.get(kFrameName) == EString(L"frame A") &&
                        tarvex::referenceCount(*frame, kFrameBolts) == 2;
  frame.resetValues();  // construction defaults, embedded values and containers included
  return recycled && frame.get(kFrameName).empty() &&
         tarvex::referenceCount(*frame, kFrameBolts) == 0 &&
         tarvex::get(*frame, kFramePlacement, kAngle) == 0.0;
}
//! [recycle]

//! [main]
int main() {
  tarvex::DbTablesScope tables;
  tarvex::DbMetaTableScope<AssemblyTable> table(L"AssemblyTable");
  tarvex::DbFrameworkScope framework(tables);  // shut down when main ends, also by an exception

  DMMemberBase first(DbObjectId(kFrameType, 1, 1));
  DMMemberBase second(DbObjectId(kFrameType, 1, 2));
  // Start-up answers true whatever initTable did: the registry tells.
  const bool ok = DbMetaManager::getInstance()->isMetaRegistered(kFrameType) && buildFrame(first) &&
                  nextFrame(second) && DbMetaManager::getInstance()->check();
  std::printf("assembly: %s\n", ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
//! [main]
