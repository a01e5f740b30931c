#include "DbData.h"

#include <ostream>

#include "ObjectAllocation.h"
#include "Reporting.h"

using tarvex::internal::kAssertFalse;
using tarvex::internal::kAssertImplementInSubclasses;
using tarvex::internal::reportAssert;

std::uint32_t* DbData::sm_pArrayDataId2SortId = nullptr;
unsigned short DbData::sm_nLastEntryDataId = 0;

namespace {

const EString& sourceFile() {
  static const EString file(".\\DbData");
  return file;
}

void reportNotImplemented(int line) {
  reportAssert(EString(kAssertImplementInSubclasses), sourceFile(), line);
}

void reportFalse(int line) { reportAssert(EString(kAssertFalse), sourceFile(), line); }

// The table is backed for every 16-bit data id so that a look-up of an id
// outside 60000..65534 stays in bounds; such ids sort by their own number.
constexpr std::size_t kSortBackingSize = 65536;

std::uint32_t* sortBacking(std::uint32_t* table) { return table - DbData::kFirstTableDataId; }

}  // namespace

DbData::~DbData() = default;

bool DbData::getBool() const {
  reportNotImplemented(113);
  return false;
}

char DbData::getChar() const {
  reportNotImplemented(120);
  return 0;
}

short DbData::getShort() const {
  reportNotImplemented(127);
  return 0;
}

std::int32_t DbData::getLong() const {
  reportNotImplemented(134);
  return 0;
}

float DbData::getFloat() const {
  reportNotImplemented(141);
  return 0.0F;
}

double DbData::getDouble() const {
  reportNotImplemented(148);
  return 0.0;
}

const ebas::ETime& DbData::getTime() const {
  static const ebas::ETime defaultTime;
  reportNotImplemented(155);
  return defaultTime;
}

const EString& DbData::getString() const {
  static const EString defaultString;
  reportNotImplemented(163);
  return defaultString;
}

const DbObjectId& DbData::getDbObjectId() const {
  static const DbObjectId defaultId;
  reportNotImplemented(171);
  return defaultId;
}

const EPoint& DbData::getPoint() const {
  static const EPoint defaultPoint(0.0, 0.0);
  reportNotImplemented(179);
  return defaultPoint;
}

const EPoint3D& DbData::getPoint3D() const {
  static const EPoint3D defaultPoint(0.0, 0.0, 0.0);
  reportNotImplemented(187);
  return defaultPoint;
}

const EPropertyList& DbData::getPropList() const {
  static const EPropertyList defaultList;
  reportNotImplemented(196);
  return defaultList;
}

const IEStreamableObject* DbData::getStreamableObject() const {
  reportNotImplemented(529);
  return nullptr;
}

DbObjectId DbData::getReference() const {
  static const DbObjectId defaultReference;
  reportNotImplemented(258);
  return defaultReference;
}

std::int32_t DbData::getEmbeddedId() const {
  reportNotImplemented(266);
  return 0;
}

const DbDTString& DbData::getDTString() const {
  static const DbDTString defaultString;
  reportNotImplemented(274);
  return defaultString;
}

unsigned char DbData::getPropertyType() const {
  reportNotImplemented(448);
  return 255;
}

DbMetaBase* DbData::getMeta() {
  reportNotImplemented(455);
  return nullptr;
}

bool DbData::ungetMeta(DbMetaBase* /*meta*/) {
  reportNotImplemented(462);
  return false;
}

std::uint32_t DbData::getContainerCount() const {
  reportNotImplemented(282);
  return 0;
}

void DbData::prepareContainerAccess() { reportNotImplemented(289); }

void DbData::unprepareContainerAccess() { reportNotImplemented(295); }

bool DbData::getFirstElement(DbData** /*element*/) {
  reportNotImplemented(301);
  return false;
}

bool DbData::getNextElement(DbData** /*element*/) {
  reportNotImplemented(308);
  return false;
}

unsigned char DbData::getDataModelTypeOfElements() const { return 255; }

unsigned char DbData::getDataBaseTypeOfElements() const {
  return static_cast<unsigned char>(
      DbDataModel2DataBaseTypeMap::getDatabaseType(getDataModelTypeOfElements()));
}

bool DbData::getUnknownData(unsigned char** /*data*/, std::uint32_t* /*size*/) {
  reportFalse(323);
  return false;
}

void DbData::setBool(bool /*value*/) { reportNotImplemented(330); }
void DbData::setChar(char /*value*/) { reportNotImplemented(336); }
void DbData::setShort(short /*value*/) { reportNotImplemented(342); }
void DbData::setLong(std::int32_t /*value*/) { reportNotImplemented(348); }
void DbData::setFloat(float /*value*/) { reportNotImplemented(354); }
void DbData::setDouble(double /*value*/) { reportNotImplemented(360); }
void DbData::setTime(const ebas::ETime& /*value*/) { reportNotImplemented(366); }
void DbData::setString(const EString& /*value*/) { reportNotImplemented(372); }
void DbData::setDbObjectId(const DbObjectId& /*value*/) { reportNotImplemented(378); }
void DbData::setPoint(const EPoint& /*value*/) { reportNotImplemented(384); }
void DbData::setPoint3D(const EPoint3D& /*value*/) { reportNotImplemented(390); }
void DbData::setReference(const DbObjectId& /*value*/) { reportNotImplemented(408); }
void DbData::setEmbeddedId(const std::int32_t& /*value*/) { reportNotImplemented(414); }
void DbData::setDTString(const DbDTString& /*value*/) { reportNotImplemented(421); }
void DbData::setPropertyList(const EPropertyList& /*value*/) { reportNotImplemented(396); }

void DbData::setUnknownData(DbPtBlobConstIterator& /*blob*/, const char* /*context*/) {
  reportNotImplemented(435);
}

void DbData::setUnknownData(const unsigned char* /*data*/, std::uint32_t /*size*/,
                            unsigned char /*code*/) {
  reportNotImplemented(428);
}

void DbData::setStreamableObject(IEStreamableObject* /*object*/) { reportNotImplemented(402); }

bool DbData::addObject2Container(DbMetaBase& /*meta*/, int /*position*/) {
  reportNotImplemented(441);
  return false;
}

EPropertyList& DbData::getPropertyListToSet() {
  static EPropertyList sharedList;
  reportNotImplemented(204);
  return sharedList;
}

EString& DbData::getStringToSet() {
  static EString sharedString;
  reportNotImplemented(212);
  return sharedString;
}

void DbData::finishStringToSet() { reportNotImplemented(220); }

ebas::ETime& DbData::getTimeToSet() {
  static ebas::ETime sharedTime;
  reportNotImplemented(226);
  return sharedTime;
}

EPoint& DbData::getPointToSet() {
  static EPoint sharedPoint(0.0, 0.0);
  reportNotImplemented(234);
  return sharedPoint;
}

EPoint3D& DbData::getPoint3DToSet() {
  static EPoint3D sharedPoint(0.0, 0.0, 0.0);
  reportNotImplemented(242);
  return sharedPoint;
}

DbDTString& DbData::getDbDTStringToSet() {
  static DbDTString sharedString;
  reportNotImplemented(250);
  return sharedString;
}

bool DbData::valid() const { return false; }

bool DbData::clear() {
  switchBitOff(kValidFlag);
  return true;
}

void DbData::dump(std::ostream& out) const { out << "DataId:" << m_DataId << " "; }

unsigned char DbData::getDataModelType() const {
  // Reported from the class's header in the original layout, hence its path.
  static const EString headerFile(TARVEX_DBDATA_HEADER_PATH);
  reportAssert(EString(kAssertFalse), headerFile, 174);
  return 255;
}

DbMetaBase* DbData::getMetaForEmbeddedObject() const { return nullptr; }

void DbData::purge() { delete this; }

std::uint32_t DbData::getStringLength() const {
  reportFalse(470);
  return 0;
}

void DbData::setDefault(const DbDataSchemaMap* /*schemaMap*/) {}

bool DbData::isDefault(const DbDataSchemaMap* /*schemaMap*/) const { return false; }

bool DbData::getAsString(EString& out) const {
  reportFalse(507);
  out.makeEmpty();
  return false;
}

DMSimpleData* DbData::asDMSimpleData() { return nullptr; }

bool DbData::doDelayedDataLoad(int /*mode*/, unsigned short /*dataId*/, DbMetaBase* /*meta*/) {
  reportAssert(L"delayed loading of data while there is nothing to load", sourceFile(), 589);
  return false;
}

const DbDataList* DbData::getDataList() const {
  reportNotImplemented(315);
  return nullptr;
}

void DbData::setDataId(unsigned short dataId) { m_DataId = dataId; }

void* DbData::operator new(std::size_t size) { return tarvex::internal::allocateObject(size); }

void DbData::operator delete(void* pointer) { tarvex::internal::freeObject(pointer); }

void DbData::init() {
  if (sm_pArrayDataId2SortId != nullptr) return;
  auto* backing = new std::uint32_t[kSortBackingSize];
  for (std::size_t dataId = 0; dataId < kSortBackingSize; ++dataId) {
    backing[dataId] = static_cast<std::uint32_t>(dataId);
  }
  sm_pArrayDataId2SortId = backing + kFirstTableDataId;

  // A last-entry id kept across deinit gets the number of the new one.
  if (sm_nLastEntryDataId >= kFirstTableDataId) {
    backing[sm_nLastEntryDataId] = kDefaultLastEntryDataId;
  }
  sm_nLastEntryDataId = kDefaultLastEntryDataId;
  backing[kDefaultLastEntryDataId] = kLastEntrySortId;
}

void DbData::deinit() {
  if (sm_pArrayDataId2SortId == nullptr) return;
  delete[] sortBacking(sm_pArrayDataId2SortId);
  sm_pArrayDataId2SortId = nullptr;
}

void DbData::setLastEntryDataId(unsigned short dataId) {
  if (dataId == sm_nLastEntryDataId) return;
  if (sm_pArrayDataId2SortId == nullptr) {
    // No table to mark yet: init gives the role its sort id.
    sm_nLastEntryDataId = dataId;
    return;
  }
  std::uint32_t* backing = sortBacking(sm_pArrayDataId2SortId);
  if (sm_nLastEntryDataId >= kFirstTableDataId) backing[sm_nLastEntryDataId] = dataId;
  sm_nLastEntryDataId = dataId;
  backing[dataId] = kLastEntrySortId;
}

void DbData::insertBackPackedDatatId(unsigned short dataId, bool backPacked) {
  if (sm_pArrayDataId2SortId == nullptr) return;
  std::uint32_t* backing = sortBacking(sm_pArrayDataId2SortId);
  // The last entry keeps the largest sort id either way, so it stays last.
  if (isLastEntryDataId(dataId)) {
    backing[dataId] = kLastEntrySortId;
    return;
  }
  backing[dataId] = backPacked ? dataId + kBackPackingOffset : dataId;
}
