#include "SampleMetas.h"

#include <memory>

namespace tarvex_sample {

namespace {

thread_local MetaCounts t_CreatedMetas{};

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
  addData(new tarvex::DbPoint3DValue(data::kPlacementOrigin));
  addData(new tarvex::DbDoubleValue(data::kPlacementAngle));
  addData(new DbReferenceValue<>(data::kPlacementFrame, DbObjectId(), kReference18));
  addData(new tarvex::DbLongValue(data::kPlacementLevel));
}

BeamMeta::BeamMeta() {
  addData(new tarvex::DbObjectIdValue(data::kObjectId));
  addData(new tarvex::DbStringValue(data::kName));
  addData(new tarvex::DbPoint3DValue(data::kBeamStart));
  addData(new tarvex::DbPoint3DValue(data::kBeamEnd));
  addData(new DbReferenceValue<>(data::kMaterial, DbObjectId(), kReference15));
  addData(new tarvex::DbDoubleValue(data::kBeamLength));
  addData(new tarvex::DbBoolValue(data::kBeamLoadBearing, true));
  addData(new tarvex::DbTimeValue(data::kBeamCreated));
}

PlateMeta::PlateMeta() {
  addData(new tarvex::DbObjectIdValue(data::kObjectId));
  addData(new tarvex::DbStringValue(data::kComment));
  addData(new tarvex::DbPointValue(data::kPlateCorner));
  addData(new tarvex::DbFloatValue(data::kPlateThickness, 10.0f));
  addData(new tarvex::DbCharValue(data::kPlateGrade, 'S'));
  addData(new tarvex::DbShortValue(data::kPlateLayer));
  addData(new tarvex::DbLongValue(data::kPlateHoles));
  addData(new DbReferenceValue<>(data::kMaterial, DbObjectId(), kReference15));
  addData(new DbReferenceValue<>(data::kPlateOwner, DbObjectId(), kReference16));
}

AssemblyMeta::AssemblyMeta() {
  addData(new tarvex::DbObjectIdValue(data::kObjectId));
  addData(new tarvex::DbStringValue(data::kName));
  addData(new tarvex::DbReferenceContainerValue(data::kAssemblyParts, kReference16));
  addData(new tarvex::DbEmbeddedValue(data::kAssemblyPlacement, std::make_unique<PlacementMeta>()));
  addData(new tarvex::DbLongValue(data::kAssemblyRevision));
  addData(new tarvex::DbBoolValue(data::kAssemblyReleased));
}

}  // namespace tarvex_sample
