#include "DemoValues.h"

#include <optional>
#include <string>
#include <tuple>
#include <type_traits>

#include "SampleMetas.h"
#include "TarvexKit.h"

namespace tarvex_demo {

using namespace tarvex_sample;

namespace {

constexpr unsigned short kMaterialType = 90;
constexpr unsigned short kOwnerType = 91;
constexpr unsigned short kFrameType = 92;

// An embedded reference: the object id and the id within it.
struct Owner {
  DbObjectId id;
  std::int32_t embedded;
  bool operator==(const Owner& other) const { return id == other.id && embedded == other.embedded; }
};
std::string text(const Owner& value) {
  return tarvex_demo::text(value.id) + " #" + std::to_string(value.embedded);
}

EString numbered(const char* name, std::uint32_t seed) {
  return EString((name + std::to_string(seed)).c_str());
}

// --- How each kind of row writes and reads ------------------------------------

// A value with a typed key: written by tarvex::set, read by tarvex::tryGet.
template <class T, class Make>
struct Keyed {
  tarvex::DataKey<T> key;
  Make make;
};
template <class T, class Make>
Keyed<T, Make> keyed(tarvex::DataKey<T> key, Make make) {
  return {key, make};
}
template <class T, class Make>
void write(Tally& tally, DbMetaBase& meta, const Request& request, const Keyed<T, Make>& row) {
  static_assert(std::is_same_v<decltype(row.make(request)), T>,
                "a row makes a value of its key's own kind");
  tally.check(tarvex::set(meta, row.key, row.make(request)), meta.getTypeId(),
              "no value to write of data id", row.key.dataId());
}
template <class T, class Make>
void read(Tally& tally, const DbMetaBase& meta, const Request& request, const Keyed<T, Make>& row) {
  tally.value(meta.getTypeId(), row.key.dataId(), row.make(request), tarvex::tryGet(meta, row.key));
}

// The object's own id: setObject writes it, the demo only reads it.
struct OwnId {};
void write(Tally&, DbMetaBase&, const Request&, OwnId) {}
void read(Tally& tally, const DbMetaBase& meta, const Request& request, OwnId) {
  const DbData* value = meta.getData(data::kObjectId);
  tally.value(meta.getTypeId(), data::kObjectId, objectIdOf(meta.getTypeId(), request),
              value != nullptr ? std::optional<DbObjectId>(value->getDbObjectId()) : std::nullopt);
}

// A plate's owner, an embedded reference, which no key kind names.
struct OwnerRow {};
Owner ownerOf(const Request& request) {
  return {DbObjectId(kOwnerType, kOtherDatabase, request.seed),
          static_cast<std::int32_t>(request.seed % 5)};
}
void write(Tally& tally, DbMetaBase& meta, const Request& request, OwnerRow) {
  const Owner owner = ownerOf(request);
  tally.check(
      meta.setDataEmbeddedReference(data::kPlateOwner, DbEmbeddedObjId(owner.id, owner.embedded)),
      meta.getTypeId(), "no value to write of data id", data::kPlateOwner);
}
void read(Tally& tally, const DbMetaBase& meta, const Request& request, OwnerRow) {
  const DbData* value = meta.getData(data::kPlateOwner);
  tally.value(meta.getTypeId(), data::kPlateOwner, ownerOf(request),
              value != nullptr
                  ? std::optional<Owner>(Owner{value->getReference(), value->getEmbeddedId()})
                  : std::nullopt);
}

// A value of another type: the meta has none to write to (a write through
// the key would be refused and reported), and it is not found.
template <class T>
struct Absent {
  tarvex::DataKey<T> key;
  T value;
};
template <class T>
void write(Tally& tally, DbMetaBase& meta, const Request&, const Absent<T>& row) {
  tally.check(meta.getData(row.key.dataId()) == nullptr, meta.getTypeId(),
              "holds a value of another type, data id", row.key.dataId());
}
template <class T>
void read(Tally& tally, const DbMetaBase& meta, const Request&, const Absent<T>& row) {
  tally.check(!tarvex::tryGet(meta, row.key).has_value(), meta.getTypeId(),
              "has a value of another type, data id", row.key.dataId());
}

// --- The tables ----------------------------------------------------------------

// A Boolean that alternates between the requests of a type on a thread,
// whose seeds step by 4, so that a write lost in the recycled meta shows.
bool alternating(const Request& request) { return (request.seed & 4) != 0; }

const auto kBeam = std::make_tuple(
    OwnId{},  // written by setObject
    keyed(keys::kName, [](const Request& r) { return numbered("beam-", r.seed); }),
    keyed(keys::kBeamStart,
          [](const Request& r) { return EPoint3D(r.seed % 10007, r.thread, 0.0); }),
    keyed(keys::kBeamEnd,
          [](const Request& r) { return EPoint3D(r.seed % 10007 + 2.5, r.thread, 3.0); }),
    keyed(keys::kMaterial,
          [](const Request& r) { return DbObjectId(kMaterialType, kDatabase, r.seed % 97); }),
    keyed(keys::kBeamLength, [](const Request& r) { return 2.5 + r.seed % 10007; }),
    keyed(keys::kBeamLoadBearing, [](const Request& r) { return alternating(r); }),
    keyed(keys::kBeamCreated,
          [](const Request& r) { return ebas::ETime(1700000000 + std::int64_t{r.seed}); }),
    Absent<std::int32_t>{keys::kPlateHoles, 1});  // a plate's, refused

const auto kPlate = std::make_tuple(
    OwnId{},  // written by setObject
    keyed(keys::kPlateCorner,
          [](const Request& r) { return EPoint(r.seed % 1009, -static_cast<double>(r.thread)); }),
    keyed(keys::kPlateThickness,
          [](const Request& r) { return 5.0f + static_cast<float>(r.seed % 40); }),
    keyed(keys::kPlateGrade, [](const Request& r) { return static_cast<char>('A' + r.seed % 26); }),
    keyed(keys::kPlateLayer, [](const Request& r) { return static_cast<short>(r.seed % 300); }),
    keyed(keys::kPlateHoles,
          [](const Request& r) { return static_cast<std::int32_t>(r.seed % 17); }),
    keyed(keys::kMaterial,
          [](const Request& r) { return DbObjectId(kMaterialType, kDatabase, r.seed % 89); }),
    OwnerRow{},  // an embedded reference
    keyed(keys::kComment, [](const Request& r) { return numbered("plate ", r.seed); }));

const auto kPlacement = std::make_tuple(
    keyed(keys::kPlacementOrigin,
          [](const Request& r) { return EPoint3D(r.seed % 503, r.seed % 509, r.seed % 521); }),
    keyed(keys::kPlacementAngle, [](const Request& r) { return (r.seed % 360) * 0.5; }),
    keyed(keys::kPlacementFrame, [](const Request& r) { return frameOf(r.seed); }),
    keyed(keys::kPlacementLevel,
          [](const Request& r) { return static_cast<std::int32_t>(r.seed % 7); }));

// The embedded placement is written and read through its own meta.
const auto kAssembly = std::make_tuple(
    OwnId{},  // written by setObject
    keyed(keys::kName, [](const Request& r) { return numbered("assembly-", r.seed); }),
    keyed(keys::kAssemblyRevision,
          [](const Request& r) { return static_cast<std::int32_t>(r.seed % 1000); }),
    keyed(keys::kAssemblyReleased, [](const Request& r) { return alternating(r); }));

// Calls `each` with every row of the table of `meta`'s type.
template <class Each>
void forEachRow(const DbMetaBase& meta, Each each) {
  const auto all = [&each](const auto&... rows) { (each(rows), ...); };
  switch (meta.getTypeId()) {
    case kBeamType:
      std::apply(all, kBeam);
      break;
    case kPlateType:
      std::apply(all, kPlate);
      break;
    case kPlacementType:
      std::apply(all, kPlacement);
      break;
    case kAssemblyType:
      std::apply(all, kAssembly);
      break;
    default:
      break;
  }
}

}  // namespace

DbObjectId objectIdOf(unsigned short typeId, const Request& request) {
  return DbObjectId(typeId, kDatabase, request.seed);
}

bool throughStore(std::uint32_t index, unsigned every) {
  return index < kSeedStride && (index / 4) % every == 0;
}

bool movesAssembly(std::uint32_t index) { return index % 4 == 2 && (index / 4) % kMoveEvery == 0; }

std::vector<DbObjectId> partsOf(const Request& request) {
  const std::uint32_t parts = 1 + (request.index / 16) % kMaxParts;
  std::vector<DbObjectId> ids;
  for (std::uint32_t j = 0; j < parts; ++j) {
    const unsigned short database = j % 2 == 0 ? kDatabase : kOtherDatabase;
    ids.emplace_back(kBeamType, database, request.seed * 8u + j);
  }
  return ids;
}

Request requestOf(std::uint32_t seed) {
  return Request{seed / kSeedStride, seed % kSeedStride, seed};
}

DbObjectId frameOf(std::uint32_t seed) { return DbObjectId(kFrameType, kDatabase, seed % 13); }

void writeValues(Tally& tally, DbMetaBase& meta, const Request& request) {
  forEachRow(meta, [&](const auto& row) { write(tally, meta, request, row); });
}

void readValues(Tally& tally, const DbMetaBase& meta, const Request& request) {
  forEachRow(meta, [&](const auto& row) { read(tally, meta, request, row); });
}

}  // namespace tarvex_demo
