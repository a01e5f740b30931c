#include "SampleMetas.h"

#include <atomic>
#include <memory>
#include <utility>

namespace tarvex_sample {

namespace {

thread_local MetaCounts t_CreatedMetas{};
unsigned short s_OmittedDataId = 0;
// Metas are constructed on every worker thread and destroyed at teardown.
std::atomic<std::uint32_t> s_MetasAlive{0};

// Adds a new Value of `dataId` unless the test hook leaves that id out.
template <class Value, class... Args>
void addValue(DbMetaBase& meta, unsigned short dataId, Args&&... args) {
  if (dataId != s_OmittedDataId) meta.addData(new Value(dataId, std::forward<Args>(args)...));
}

}  // namespace

std::size_t sampleTypeIndex(unsigned short typeId) {
  for (std::size_t i = 0; i < kSampleTypeIds.size(); ++i) {
    if (kSampleTypeIds[i] == typeId) return i;
  }
  return kSampleTypeIds.size();
}

const char* sampleTypeName(unsigned short typeId) {
  switch (typeId) {
    case kPlacementType:
      return "placement";
    case kBeamType:
      return "beam";
    case kPlateType:
      return "plate";
    case kAssemblyType:
      return "assembly";
    default:
      return "unknown";
  }
}

void markSampleBackPackedDataIds() { DbData::insertBackPackedDatatId(data::kName, true); }

void omitSampleDataId(unsigned short dataId) { s_OmittedDataId = dataId; }

std::uint32_t sampleMetasAlive() { return s_MetasAlive.load(); }

void countAlive(bool constructed) {
  if (constructed) {
    ++s_MetasAlive;
  } else {
    --s_MetasAlive;
  }
}

const MetaCounts& metasCreatedOnThisThread() { return t_CreatedMetas; }

void countCreated(unsigned short typeId) {
  const std::size_t index = sampleTypeIndex(typeId);
  if (index < t_CreatedMetas.size()) ++t_CreatedMetas[index];
}

// --- Concrete metas ----------------------------------------------------------

using tarvex::DbReferenceValue;
using tarvex::DbValueModelType::kReference15;
using tarvex::DbValueModelType::kReference16;
using tarvex::DbValueModelType::kReference18;

PlacementMeta::PlacementMeta() {
  addValue<tarvex::DbPoint3DValue>(*this, data::kPlacementOrigin);
  addValue<tarvex::DbDoubleValue>(*this, data::kPlacementAngle);
  addValue<DbReferenceValue<>>(*this, data::kPlacementFrame, DbObjectId(), kReference18);
  addValue<tarvex::DbLongValue>(*this, data::kPlacementLevel);
}

BeamMeta::BeamMeta() {
  addValue<tarvex::DbObjectIdValue>(*this, data::kObjectId);
  addValue<tarvex::DbStringValue>(*this, data::kName);
  addValue<tarvex::DbPoint3DValue>(*this, data::kBeamStart);
  addValue<tarvex::DbPoint3DValue>(*this, data::kBeamEnd);
  addValue<DbReferenceValue<>>(*this, data::kMaterial, DbObjectId(), kReference15);
  addValue<tarvex::DbDoubleValue>(*this, data::kBeamLength);
  addValue<tarvex::DbBoolValue>(*this, data::kBeamLoadBearing, true);
  addValue<tarvex::DbTimeValue>(*this, data::kBeamCreated);
}

PlateMeta::PlateMeta() {
  addValue<tarvex::DbObjectIdValue>(*this, data::kObjectId);
  addValue<tarvex::DbStringValue>(*this, data::kComment);
  addValue<tarvex::DbPointValue>(*this, data::kPlateCorner);
  addValue<tarvex::DbFloatValue>(*this, data::kPlateThickness, 10.0f);
  addValue<tarvex::DbCharValue>(*this, data::kPlateGrade, 'S');
  addValue<tarvex::DbShortValue>(*this, data::kPlateLayer);
  addValue<tarvex::DbLongValue>(*this, data::kPlateHoles);
  addValue<DbReferenceValue<>>(*this, data::kMaterial, DbObjectId(), kReference15);
  addValue<DbReferenceValue<>>(*this, data::kPlateOwner, DbObjectId(), kReference16);
}

AssemblyMeta::AssemblyMeta() {
  addValue<tarvex::DbObjectIdValue>(*this, data::kObjectId);
  addValue<tarvex::DbStringValue>(*this, data::kName);
  addValue<tarvex::DbReferenceContainerValue>(*this, data::kAssemblyParts, kReference16);
  addValue<tarvex::DbEmbeddedValue>(*this, data::kAssemblyPlacement,
                                    std::make_unique<PlacementMeta>());
  addValue<tarvex::DbLongValue>(*this, data::kAssemblyRevision);
  addValue<tarvex::DbBoolValue>(*this, data::kAssemblyReleased);
}

}  // namespace tarvex_sample
