// Metas of the sample provider: a few engineering object types.
//
//   PlacementMeta  position and orientation of a part, embedded in
//                  assemblies; reaches its values through the data map.
//   BeamMeta       a beam with start and end point, material reference and
//                  length; uses direct data pointers.
//   PlateMeta      a plate with its outline corner, thickness, grade and
//                  references; reaches its values through the data map.
//   AssemblyMeta   an assembly holding a container of references to its parts
//                  and an embedded placement; uses direct data pointers.
//
// Each final class adds its values in its own constructor, on the kit's
// DbMetaImpl. createMeta() gives a new meta with fresh default values; the
// registry recycles metas, so values written by one user stay until the
// next user writes them.
//
// Register PlacementMeta before AssemblyMeta: registering an assembly asks the
// registry for a placement meta to describe the embedded entries.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "DMMemberBase.h"
#include "TarvexKit.h"

namespace tarvex_sample {

// Type ids stay below 128 so that the registry's dump counts them per type.
enum SampleTypeId : unsigned short {
  kPlacementType = 21,
  kBeamType = 22,
  kPlateType = 23,
  kAssemblyType = 24,
};
constexpr std::array<unsigned short, 4> kSampleTypeIds = {kPlacementType, kBeamType, kPlateType,
                                                          kAssemblyType};
// Position of a sample type id in kSampleTypeIds, or kSampleTypeIds.size().
std::size_t sampleTypeIndex(unsigned short typeId);
const char* sampleTypeName(unsigned short typeId);

// Data ids. The packing table is process-wide and keyed by data id, so ids
// that mean the same in several types are shared.
namespace data {
enum : unsigned short {
  kObjectId = 60001,
  kName = 60002,     // back-packed: sorts after the ordinary ids
  kComment = 60005,  // the last-entry data id: sorts last
  kMaterial = 60103,
  kBeamStart = 60101,
  kBeamEnd = 60102,
  kBeamLength = 60104,
  kBeamLoadBearing = 60105,
  kBeamCreated = 60106,
  kPlateCorner = 60201,
  kPlateThickness = 60202,
  kPlateGrade = 60203,
  kPlateLayer = 60204,
  kPlateHoles = 60205,
  kPlateOwner = 60207,
  kPlacementOrigin = 60301,
  kPlacementAngle = 60302,
  kPlacementFrame = 60303,
  kPlacementLevel = 60304,
  kAssemblyParts = 60401,
  kAssemblyPlacement = 60402,
  kAssemblyRevision = 60403,
  kAssemblyReleased = 60404,
};
}  // namespace data

// The typed keys of the values the sample metas hold, for reading and
// writing them (the object's own id, the container of parts, the embedded
// placement and the plate's embedded reference have none: no key kind
// names them).
namespace keys {
constexpr tarvex::DataKey<EString> kName{data::kName};
constexpr tarvex::DataKey<EString> kComment{data::kComment};
constexpr tarvex::DataKey<DbObjectId> kMaterial{data::kMaterial};
constexpr tarvex::DataKey<EPoint3D> kBeamStart{data::kBeamStart};
constexpr tarvex::DataKey<EPoint3D> kBeamEnd{data::kBeamEnd};
constexpr tarvex::DataKey<double> kBeamLength{data::kBeamLength};
constexpr tarvex::DataKey<bool> kBeamLoadBearing{data::kBeamLoadBearing};
constexpr tarvex::DataKey<ebas::ETime> kBeamCreated{data::kBeamCreated};
constexpr tarvex::DataKey<EPoint> kPlateCorner{data::kPlateCorner};
constexpr tarvex::DataKey<float> kPlateThickness{data::kPlateThickness};
constexpr tarvex::DataKey<char> kPlateGrade{data::kPlateGrade};
constexpr tarvex::DataKey<short> kPlateLayer{data::kPlateLayer};
constexpr tarvex::DataKey<std::int32_t> kPlateHoles{data::kPlateHoles};
constexpr tarvex::DataKey<EPoint3D> kPlacementOrigin{data::kPlacementOrigin};
constexpr tarvex::DataKey<double> kPlacementAngle{data::kPlacementAngle};
constexpr tarvex::DataKey<DbObjectId> kPlacementFrame{data::kPlacementFrame};
constexpr tarvex::DataKey<std::int32_t> kPlacementLevel{data::kPlacementLevel};
constexpr tarvex::DataKey<std::int32_t> kAssemblyRevision{data::kAssemblyRevision};
constexpr tarvex::DataKey<bool> kAssemblyReleased{data::kAssemblyReleased};
}  // namespace keys

// Whether some sample meta has a value of data id `dataId`.
bool isSampleDataId(unsigned short dataId);

// Marks the sample's back-packed data ids. REQUIRES: DbData::init() has run.
void markSampleBackPackedDataIds();

// Test hook: metas constructed from now on leave out their value of `dataId`
// (0: none), as a provider that forgot one would. REQUIRES: set before the
// framework starts, while no other thread constructs metas.
void omitSampleDataId(unsigned short dataId);
// Test hook: in metas constructed from now on, the value of `dataId` (0:
// none) loses every second write while the meta's setter answers true, as
// a value that now and then writes nothing would. Same REQUIRES.
void loseSampleWrites(unsigned short dataId);

// Sample metas alive in the process, embedded ones included.
std::uint32_t sampleMetasAlive();
// Counts one construction and one destruction of a sample meta.
void countAlive(bool constructed);

// Metas made by createMeta() on the calling thread, per type (indexed as
// kSampleTypeIds). A registry's pool is filled and grown only by its own
// thread, so this is what the thread's pools hold.
using MetaCounts = std::array<std::uint32_t, kSampleTypeIds.size()>;
const MetaCounts& metasCreatedOnThisThread();
// Counts one creation of a meta of `typeId` on the calling thread.
void countCreated(unsigned short typeId);

// Common part of the sample metas on top of the kit: the object id also
// goes into the object-id value, the object handed over gets the build
// stamp, and creations are counted for metasCreatedOnThisThread(), lives
// for sampleMetasAlive().
template <class Derived, unsigned short kTypeId, bool kDirect = false>
class SampleMeta : public tarvex::DbMetaImpl<Derived, kTypeId, kDirect, DMMemberBase> {
  using Base = tarvex::DbMetaImpl<Derived, kTypeId, kDirect, DMMemberBase>;

 public:
  SampleMeta() { countAlive(true); }
  ~SampleMeta() override { countAlive(false); }
  SampleMeta(const SampleMeta&) = delete;
  SampleMeta& operator=(const SampleMeta&) = delete;

  bool setObject(DMMemberBase* object, unsigned short mode) override {
    const bool bound = Base::setObject(object, mode);
    if (object != nullptr) this->setDbObjectId(data::kObjectId, this->getObjectId());
    return bound;
  }
  void postReadObject(int stamp, bool /*created*/) override {
    if (DMMemberBase* object = this->getObject()) object->setBuildStamp(stamp);
  }
  DbMetaBase* createMeta() override {
    countCreated(kTypeId);
    return Base::createMeta();
  }
};

class PlacementMeta final : public SampleMeta<PlacementMeta, kPlacementType> {
 public:
  PlacementMeta();
};

class BeamMeta final : public SampleMeta<BeamMeta, kBeamType, true> {
 public:
  BeamMeta();
};

class PlateMeta final : public SampleMeta<PlateMeta, kPlateType> {
 public:
  PlateMeta();
};

class AssemblyMeta final : public SampleMeta<AssemblyMeta, kAssemblyType, true> {
 public:
  AssemblyMeta();
};

}  // namespace tarvex_sample
