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
// Each final class adds its values in its own constructor: only there does
// supportDirectDataPointer() already answer for the final class, which
// decides whether addData packs the data ids. createMeta() gives a new meta
// with fresh default values; the registry recycles metas, so values written
// by one user stay until the next user writes them.
//
// Register PlacementMeta before AssemblyMeta: registering an assembly asks the
// registry for a placement meta to describe the embedded entries.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "DbMetaBase.h"

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

// Marks the sample's back-packed data ids. REQUIRES: DbData::init() has run.
void markSampleBackPackedDataIds();

// Metas made by createMeta() on the calling thread, per type (indexed as
// kSampleTypeIds). A registry's pool is filled and grown only by its own
// thread, so this is what the thread's pools hold.
using MetaCounts = std::array<std::uint32_t, kSampleTypeIds.size()>;
const MetaCounts& metasCreatedOnThisThread();

// Common part: the bound object, the object id and the modified flag.
class SampleMeta : public DbMetaBase {
 public:
  unsigned short getTypeId() const override { return m_TypeId; }
  void setObjectId(const DbObjectId& objectId) override { m_ObjectId = objectId; }
  // Binds `object`, takes over its id (also into the object-id value) and
  // marks the meta in use.
  bool setObject(DMMemberBase* object, unsigned short mode) override;
  const DbObjectId& getObjectId() const override { return m_ObjectId; }
  DMMemberBase* createObject() override;
  void releaseObject() override { m_pObject = nullptr; }
  bool removeObjectFromContainer(unsigned short dataId, int position) override;
  std::uint32_t getContainerSize(unsigned short dataId) const override;
  // Drops the object, then gives the meta back.
  void clear() override;
  DMMemberBase* getObject() const override { return m_pObject; }
  // Stamps the object being handed over.
  void postReadObject(int stamp, bool created) override;
  bool isModified() const override { return m_bModified; }
  void setModified(bool modified) override { m_bModified = modified; }

 protected:
  explicit SampleMeta(unsigned short typeId) : m_TypeId(typeId) {}
  // Counts the creation for metasCreatedOnThisThread().
  static void countCreated(unsigned short typeId);

 private:
  unsigned short m_TypeId;
  DbObjectId m_ObjectId;
  DMMemberBase* m_pObject = nullptr;
  bool m_bModified = false;
};

class PlacementMeta final : public SampleMeta {
 public:
  PlacementMeta();
  DbMetaBase* createMeta() override;
};

class BeamMeta final : public SampleMeta {
 public:
  BeamMeta();
  DbMetaBase* createMeta() override;

 protected:
  bool supportDirectDataPointer() const override { return true; }
};

class PlateMeta final : public SampleMeta {
 public:
  PlateMeta();
  DbMetaBase* createMeta() override;
};

class AssemblyMeta final : public SampleMeta {
 public:
  AssemblyMeta();
  DbMetaBase* createMeta() override;

 protected:
  bool supportDirectDataPointer() const override { return true; }
};

}  // namespace tarvex_sample
