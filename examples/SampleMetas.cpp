#include "SampleMetas.h"

#include <atomic>
#include <memory>
#include <type_traits>
#include <utility>

namespace tarvex_sample {

namespace {

thread_local MetaCounts t_CreatedMetas{};
unsigned short s_OmittedDataId = 0;
unsigned short s_LosingDataId = 0;
// Metas are constructed on every worker thread and destroyed at teardown.
std::atomic<std::uint32_t> s_MetasAlive{0};

constexpr unsigned short kSampleDataIds[] = {data::kObjectId,          data::kName,
                                             data::kComment,           data::kMaterial,
                                             data::kBeamStart,         data::kBeamEnd,
                                             data::kBeamLength,        data::kBeamLoadBearing,
                                             data::kBeamCreated,       data::kPlateCorner,
                                             data::kPlateThickness,    data::kPlateGrade,
                                             data::kPlateLayer,        data::kPlateHoles,
                                             data::kPlateOwner,        data::kPlacementOrigin,
                                             data::kPlacementAngle,    data::kPlacementFrame,
                                             data::kPlacementLevel,    data::kAssemblyParts,
                                             data::kAssemblyPlacement, data::kAssemblyRevision,
                                             data::kAssemblyReleased};

// A Value whose every second write is lost: the setters of every kind are
// overridden, a Value answers only through those of its own. A reference's
// embedded id is left alone: a key writes it with every reference, so
// counting it would lose the same half of each write every time.
template <class Value>
class LosingValue final : public Value {
 public:
  using Value::Value;

#define TARVEX_SAMPLE_LOSING(Setter, Param)        \
  void Setter(Param value) override {              \
    if (++m_Writes % 2 == 1) Value::Setter(value); \
  }
  TARVEX_SAMPLE_LOSING(setBool, bool)
  TARVEX_SAMPLE_LOSING(setChar, char)
  TARVEX_SAMPLE_LOSING(setShort, short)
  TARVEX_SAMPLE_LOSING(setLong, std::int32_t)
  TARVEX_SAMPLE_LOSING(setFloat, float)
  TARVEX_SAMPLE_LOSING(setDouble, double)
  TARVEX_SAMPLE_LOSING(setTime, const ebas::ETime&)
  TARVEX_SAMPLE_LOSING(setString, const EString&)
  TARVEX_SAMPLE_LOSING(setDbObjectId, const DbObjectId&)
  TARVEX_SAMPLE_LOSING(setPoint, const EPoint&)
  TARVEX_SAMPLE_LOSING(setPoint3D, const EPoint3D&)
  TARVEX_SAMPLE_LOSING(setReference, const DbObjectId&)
#undef TARVEX_SAMPLE_LOSING

 private:
  std::uint32_t m_Writes = 0;
};

// Adds a new Value of `dataId` unless a test hook leaves that id out or
// has it lose writes.
template <class Value, class... Args>
void addValue(DbMetaBase& meta, unsigned short dataId, Args&&... args) {
  if (dataId == s_OmittedDataId) return;
  // Containers and embedded objects have no setter to lose a write.
  constexpr bool kWritable = !std::is_same_v<Value, tarvex::DbReferenceContainerValue> &&
                             !std::is_same_v<Value, tarvex::DbEmbeddedValue>;
  if constexpr (kWritable) {
    if (dataId == s_LosingDataId) {
      meta.addData(new LosingValue<Value>(dataId, std::forward<Args>(args)...));
      return;
    }
  }
  meta.addData(new Value(dataId, std::forward<Args>(args)...));
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

bool isSampleDataId(unsigned short dataId) {
  for (unsigned short id : kSampleDataIds) {
    if (id == dataId) return true;
  }
  return false;
}

void omitSampleDataId(unsigned short dataId) { s_OmittedDataId = dataId; }

void loseSampleWrites(unsigned short dataId) { s_LosingDataId = dataId; }

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
