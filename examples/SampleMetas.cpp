#include "SampleMetas.h"

#include <memory>

#include "DMMemberBase.h"
#include "SampleValues.h"

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

// --- SampleMeta --------------------------------------------------------------

void SampleMeta::countCreated(unsigned short typeId) {
  const std::size_t index = sampleTypeIndex(typeId);
  if (index < t_CreatedMetas.size()) ++t_CreatedMetas[index];
}

bool SampleMeta::setObject(DMMemberBase* object, unsigned short mode) {
  m_pObject = object;
  if (object != nullptr) {
    m_ObjectId = object->getObjectId();
    setDbObjectId(data::kObjectId, m_ObjectId);
  }
  // The base marks the meta in use, or reports a null object.
  return DbMetaBase::setObject(object, mode);
}

DMMemberBase* SampleMeta::createObject() { return new DMMemberBase(DbObjectId(m_TypeId, 0, 0)); }

bool SampleMeta::removeObjectFromContainer(unsigned short dataId, int position) {
  auto* container = dynamic_cast<ReferenceContainerValue*>(getData(dataId));
  return container != nullptr && container->removeElement(position);
}

std::uint32_t SampleMeta::getContainerSize(unsigned short dataId) const {
  const DbData* value = getData(dataId);
  return value == nullptr ? 0 : value->getContainerCount();
}

void SampleMeta::clear() {
  m_pObject = nullptr;
  m_bModified = false;
  DbMetaBase::clear();
}

void SampleMeta::postReadObject(int stamp, bool /*created*/) {
  if (m_pObject != nullptr) m_pObject->setBuildStamp(stamp);
}

// --- Concrete metas ----------------------------------------------------------

PlacementMeta::PlacementMeta() : SampleMeta(kPlacementType) {
  addData(new Point3DValue(data::kPlacementOrigin));
  addData(new DoubleValue(data::kPlacementAngle));
  addData(new ReferenceValue(data::kPlacementFrame, kDmReference18));
  addData(new LongValue(data::kPlacementLevel));
}

DbMetaBase* PlacementMeta::createMeta() {
  countCreated(kPlacementType);
  return new PlacementMeta;
}

BeamMeta::BeamMeta() : SampleMeta(kBeamType) {
  addData(new ObjectIdValue(data::kObjectId));
  addData(new StringValue(data::kName));
  addData(new Point3DValue(data::kBeamStart));
  addData(new Point3DValue(data::kBeamEnd));
  addData(new ReferenceValue(data::kMaterial, kDmReference15));
  addData(new DoubleValue(data::kBeamLength));
  addData(new BoolValue(data::kBeamLoadBearing, true));
  addData(new TimeValue(data::kBeamCreated));
}

DbMetaBase* BeamMeta::createMeta() {
  countCreated(kBeamType);
  return new BeamMeta;
}

PlateMeta::PlateMeta() : SampleMeta(kPlateType) {
  addData(new ObjectIdValue(data::kObjectId));
  addData(new StringValue(data::kComment));
  addData(new PointValue(data::kPlateCorner));
  addData(new FloatValue(data::kPlateThickness, 10.0f));
  addData(new CharValue(data::kPlateGrade, 'S'));
  addData(new ShortValue(data::kPlateLayer));
  addData(new LongValue(data::kPlateHoles));
  addData(new ReferenceValue(data::kMaterial, kDmReference15));
  addData(new ReferenceValue(data::kPlateOwner, kDmReference16));
}

DbMetaBase* PlateMeta::createMeta() {
  countCreated(kPlateType);
  return new PlateMeta;
}

AssemblyMeta::AssemblyMeta() : SampleMeta(kAssemblyType) {
  addData(new ObjectIdValue(data::kObjectId));
  addData(new StringValue(data::kName));
  addData(new ReferenceContainerValue(data::kAssemblyParts, kDmReference16));
  std::unique_ptr<DbMetaBase> placement(new PlacementMeta);
  auto* embedded = new EmbeddedValue(data::kAssemblyPlacement, kPlacementType, placement.get());
  // The value owns the placement meta from here on.
  static_cast<void>(placement.release());
  addData(embedded);
  addData(new LongValue(data::kAssemblyRevision));
  addData(new BoolValue(data::kAssemblyReleased));
}

DbMetaBase* AssemblyMeta::createMeta() {
  countCreated(kAssemblyType);
  return new AssemblyMeta;
}

}  // namespace tarvex_sample
