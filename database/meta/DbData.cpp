#include "DbData.h"

#include <ostream>

#include "ObjectAllocation.h"
#include "Reporting.h"

using tarvex::internal::reportAssert;
using tarvex::internal::ReportSite;
namespace files = tarvex::internal::files;
namespace texts = tarvex::internal::texts;

std::uint32_t* DbData::sm_pArrayDataId2SortId = nullptr;
unsigned short DbData::sm_nLastEntryDataId = 0;

namespace {

// Where this file's reports come from, in the order of their lines.
// getDataModelType reports from the class's header, named by its build path.
constexpr ReportSite kGetDataModelType{TARVEX_DBDATA_HEADER_PATH, 174};
constexpr ReportSite kGetBool{files::kDbData, 113};
constexpr ReportSite kGetChar{files::kDbData, 120};
constexpr ReportSite kGetShort{files::kDbData, 127};
constexpr ReportSite kGetLong{files::kDbData, 134};
constexpr ReportSite kGetFloat{files::kDbData, 141};
constexpr ReportSite kGetDouble{files::kDbData, 148};
constexpr ReportSite kGetTime{files::kDbData, 155};
constexpr ReportSite kGetString{files::kDbData, 163};
constexpr ReportSite kGetDbObjectId{files::kDbData, 171};
constexpr ReportSite kGetPoint{files::kDbData, 179};
constexpr ReportSite kGetPoint3D{files::kDbData, 187};
constexpr ReportSite kGetPropList{files::kDbData, 196};
constexpr ReportSite kGetPropertyListToSet{files::kDbData, 204};
constexpr ReportSite kGetStringToSet{files::kDbData, 212};
constexpr ReportSite kFinishStringToSet{files::kDbData, 220};
constexpr ReportSite kGetTimeToSet{files::kDbData, 226};
constexpr ReportSite kGetPointToSet{files::kDbData, 234};
constexpr ReportSite kGetPoint3DToSet{files::kDbData, 242};
constexpr ReportSite kGetDbDTStringToSet{files::kDbData, 250};
constexpr ReportSite kGetReference{files::kDbData, 258};
constexpr ReportSite kGetEmbeddedId{files::kDbData, 266};
constexpr ReportSite kGetDTString{files::kDbData, 274};
constexpr ReportSite kGetContainerCount{files::kDbData, 282};
constexpr ReportSite kPrepareContainerAccess{files::kDbData, 289};
constexpr ReportSite kUnprepareContainerAccess{files::kDbData, 295};
constexpr ReportSite kGetFirstElement{files::kDbData, 301};
constexpr ReportSite kGetNextElement{files::kDbData, 308};
constexpr ReportSite kGetDataList{files::kDbData, 315};
constexpr ReportSite kGetUnknownData{files::kDbData, 323};
constexpr ReportSite kSetBool{files::kDbData, 330};
constexpr ReportSite kSetChar{files::kDbData, 336};
constexpr ReportSite kSetShort{files::kDbData, 342};
constexpr ReportSite kSetLong{files::kDbData, 348};
constexpr ReportSite kSetFloat{files::kDbData, 354};
constexpr ReportSite kSetDouble{files::kDbData, 360};
constexpr ReportSite kSetTime{files::kDbData, 366};
constexpr ReportSite kSetString{files::kDbData, 372};
constexpr ReportSite kSetDbObjectId{files::kDbData, 378};
constexpr ReportSite kSetPoint{files::kDbData, 384};
constexpr ReportSite kSetPoint3D{files::kDbData, 390};
constexpr ReportSite kSetPropertyList{files::kDbData, 396};
constexpr ReportSite kSetStreamableObject{files::kDbData, 402};
constexpr ReportSite kSetReference{files::kDbData, 408};
constexpr ReportSite kSetEmbeddedId{files::kDbData, 414};
constexpr ReportSite kSetDTString{files::kDbData, 421};
constexpr ReportSite kSetUnknownDataBytes{files::kDbData, 428};
constexpr ReportSite kSetUnknownDataBlob{files::kDbData, 435};
constexpr ReportSite kAddObject2Container{files::kDbData, 441};
constexpr ReportSite kGetPropertyType{files::kDbData, 448};
constexpr ReportSite kGetMeta{files::kDbData, 455};
constexpr ReportSite kUngetMeta{files::kDbData, 462};
constexpr ReportSite kGetStringLength{files::kDbData, 470};
constexpr ReportSite kGetAsString{files::kDbData, 507};
constexpr ReportSite kGetStreamableObject{files::kDbData, 529};
constexpr ReportSite kDoDelayedDataLoad{files::kDbData, 589};
constexpr ReportSite kSetLastEntryDataId{files::kDbData, 631};
constexpr ReportSite kInsertBackPackedDatatId{files::kDbData, 653};

void reportNotImplemented(ReportSite site) { reportAssert(texts::kImplementInSubclasses, site); }

void reportFalse(ReportSite site) { reportAssert(texts::kFalse, site); }

// The table is backed for every 16-bit data id so that a look-up of an id
// outside 60000..65534 stays in bounds; such ids sort by their own number.
constexpr std::size_t kSortBackingSize = 65536;

std::uint32_t* sortBacking(std::uint32_t* table) { return table - DbData::kFirstTableDataId; }

}  // namespace

DbData::~DbData() = default;

bool DbData::getBool() const {
  reportNotImplemented(kGetBool);
  return false;
}

char DbData::getChar() const {
  reportNotImplemented(kGetChar);
  return 0;
}

short DbData::getShort() const {
  reportNotImplemented(kGetShort);
  return 0;
}

std::int32_t DbData::getLong() const {
  reportNotImplemented(kGetLong);
  return 0;
}

float DbData::getFloat() const {
  reportNotImplemented(kGetFloat);
  return 0.0F;
}

double DbData::getDouble() const {
  reportNotImplemented(kGetDouble);
  return 0.0;
}

const ebas::ETime& DbData::getTime() const {
  static const ebas::ETime defaultTime;
  reportNotImplemented(kGetTime);
  return defaultTime;
}

const EString& DbData::getString() const {
  static const EString defaultString;
  reportNotImplemented(kGetString);
  return defaultString;
}

const DbObjectId& DbData::getDbObjectId() const {
  static const DbObjectId defaultId;
  reportNotImplemented(kGetDbObjectId);
  return defaultId;
}

const EPoint& DbData::getPoint() const {
  static const EPoint defaultPoint(0.0, 0.0);
  reportNotImplemented(kGetPoint);
  return defaultPoint;
}

const EPoint3D& DbData::getPoint3D() const {
  static const EPoint3D defaultPoint(0.0, 0.0, 0.0);
  reportNotImplemented(kGetPoint3D);
  return defaultPoint;
}

const EPropertyList& DbData::getPropList() const {
  static const EPropertyList defaultList;
  reportNotImplemented(kGetPropList);
  return defaultList;
}

const IEStreamableObject* DbData::getStreamableObject() const {
  reportNotImplemented(kGetStreamableObject);
  return nullptr;
}

DbObjectId DbData::getReference() const {
  static const DbObjectId defaultReference;
  reportNotImplemented(kGetReference);
  return defaultReference;
}

std::int32_t DbData::getEmbeddedId() const {
  reportNotImplemented(kGetEmbeddedId);
  return 0;
}

const DbDTString& DbData::getDTString() const {
  static const DbDTString defaultString;
  reportNotImplemented(kGetDTString);
  return defaultString;
}

unsigned char DbData::getPropertyType() const {
  reportNotImplemented(kGetPropertyType);
  return 255;
}

DbMetaBase* DbData::getMeta() {
  reportNotImplemented(kGetMeta);
  return nullptr;
}

bool DbData::ungetMeta(DbMetaBase* /*meta*/) {
  reportNotImplemented(kUngetMeta);
  return false;
}

std::uint32_t DbData::getContainerCount() const {
  reportNotImplemented(kGetContainerCount);
  return 0;
}

void DbData::prepareContainerAccess() { reportNotImplemented(kPrepareContainerAccess); }

void DbData::unprepareContainerAccess() { reportNotImplemented(kUnprepareContainerAccess); }

bool DbData::getFirstElement(DbData** /*element*/) {
  reportNotImplemented(kGetFirstElement);
  return false;
}

bool DbData::getNextElement(DbData** /*element*/) {
  reportNotImplemented(kGetNextElement);
  return false;
}

unsigned char DbData::getDataModelTypeOfElements() const { return 255; }

unsigned char DbData::getDataBaseTypeOfElements() const {
  return static_cast<unsigned char>(
      DbDataModel2DataBaseTypeMap::getDatabaseType(getDataModelTypeOfElements()));
}

bool DbData::getUnknownData(unsigned char** /*data*/, std::uint32_t* /*size*/) {
  reportFalse(kGetUnknownData);
  return false;
}

void DbData::setBool(bool /*value*/) { reportNotImplemented(kSetBool); }
void DbData::setChar(char /*value*/) { reportNotImplemented(kSetChar); }
void DbData::setShort(short /*value*/) { reportNotImplemented(kSetShort); }
void DbData::setLong(std::int32_t /*value*/) { reportNotImplemented(kSetLong); }
void DbData::setFloat(float /*value*/) { reportNotImplemented(kSetFloat); }
void DbData::setDouble(double /*value*/) { reportNotImplemented(kSetDouble); }
void DbData::setTime(const ebas::ETime& /*value*/) { reportNotImplemented(kSetTime); }
void DbData::setString(const EString& /*value*/) { reportNotImplemented(kSetString); }
void DbData::setDbObjectId(const DbObjectId& /*value*/) { reportNotImplemented(kSetDbObjectId); }
void DbData::setPoint(const EPoint& /*value*/) { reportNotImplemented(kSetPoint); }
void DbData::setPoint3D(const EPoint3D& /*value*/) { reportNotImplemented(kSetPoint3D); }
void DbData::setReference(const DbObjectId& /*value*/) { reportNotImplemented(kSetReference); }
void DbData::setEmbeddedId(const std::int32_t& /*value*/) { reportNotImplemented(kSetEmbeddedId); }
void DbData::setDTString(const DbDTString& /*value*/) { reportNotImplemented(kSetDTString); }
void DbData::setPropertyList(const EPropertyList& /*value*/) {
  reportNotImplemented(kSetPropertyList);
}

void DbData::setUnknownData(DbPtBlobConstIterator& /*blob*/, const char* /*context*/) {
  reportNotImplemented(kSetUnknownDataBlob);
}

void DbData::setUnknownData(const unsigned char* /*data*/, std::uint32_t /*size*/,
                            unsigned char /*code*/) {
  reportNotImplemented(kSetUnknownDataBytes);
}

void DbData::setStreamableObject(IEStreamableObject* /*object*/) {
  reportNotImplemented(kSetStreamableObject);
}

bool DbData::addObject2Container(DbMetaBase& /*meta*/, int /*position*/) {
  reportNotImplemented(kAddObject2Container);
  return false;
}

EPropertyList& DbData::getPropertyListToSet() {
  static EPropertyList sharedList;
  reportNotImplemented(kGetPropertyListToSet);
  return sharedList;
}

EString& DbData::getStringToSet() {
  static EString sharedString;
  reportNotImplemented(kGetStringToSet);
  return sharedString;
}

void DbData::finishStringToSet() { reportNotImplemented(kFinishStringToSet); }

ebas::ETime& DbData::getTimeToSet() {
  static ebas::ETime sharedTime;
  reportNotImplemented(kGetTimeToSet);
  return sharedTime;
}

EPoint& DbData::getPointToSet() {
  static EPoint sharedPoint(0.0, 0.0);
  reportNotImplemented(kGetPointToSet);
  return sharedPoint;
}

EPoint3D& DbData::getPoint3DToSet() {
  static EPoint3D sharedPoint(0.0, 0.0, 0.0);
  reportNotImplemented(kGetPoint3DToSet);
  return sharedPoint;
}

DbDTString& DbData::getDbDTStringToSet() {
  static DbDTString sharedString;
  reportNotImplemented(kGetDbDTStringToSet);
  return sharedString;
}

bool DbData::valid() const { return false; }

bool DbData::clear() {
  switchBitOff(kValidFlag);
  return true;
}

void DbData::dump(std::ostream& out) const { out << "DataId:" << m_DataId << " "; }

unsigned char DbData::getDataModelType() const {
  reportFalse(kGetDataModelType);
  return 255;
}

DbMetaBase* DbData::getMetaForEmbeddedObject() const { return nullptr; }

void DbData::purge() { delete this; }

std::uint32_t DbData::getStringLength() const {
  reportFalse(kGetStringLength);
  return 0;
}

void DbData::setDefault(const DbDataSchemaMap* /*schemaMap*/) {}

bool DbData::isDefault(const DbDataSchemaMap* /*schemaMap*/) const { return false; }

bool DbData::getAsString(EString& out) const {
  reportFalse(kGetAsString);
  out.makeEmpty();
  return false;
}

DMSimpleData* DbData::asDMSimpleData() { return nullptr; }

bool DbData::doDelayedDataLoad(int /*mode*/, unsigned short /*dataId*/, DbMetaBase* /*meta*/) {
  reportAssert(texts::kNothingToLoad, kDoDelayedDataLoad);
  return false;
}

const DbDataList* DbData::getDataList() const {
  reportNotImplemented(kGetDataList);
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
  if (sm_pArrayDataId2SortId == nullptr) {
    // Nothing is recorded: init would give the id the role's old number.
    reportAssert(texts::kNoSortTable, kSetLastEntryDataId);
    return;
  }
  if (dataId == sm_nLastEntryDataId) return;
  std::uint32_t* backing = sortBacking(sm_pArrayDataId2SortId);
  // An id of the table hands the role's place to the new id; one below the
  // table sorts by its own number again, as such ids do.
  backing[sm_nLastEntryDataId] =
      sm_nLastEntryDataId >= kFirstTableDataId ? dataId : sm_nLastEntryDataId;
  sm_nLastEntryDataId = dataId;
  backing[dataId] = kLastEntrySortId;
}

void DbData::insertBackPackedDatatId(unsigned short dataId, bool backPacked) {
  if (sm_pArrayDataId2SortId == nullptr) {
    reportAssert(texts::kNoSortTable, kInsertBackPackedDatatId);
    return;
  }
  std::uint32_t* backing = sortBacking(sm_pArrayDataId2SortId);
  // The last entry keeps the largest sort id either way, so it stays last.
  if (isLastEntryDataId(dataId)) {
    backing[dataId] = kLastEntrySortId;
    return;
  }
  backing[dataId] = backPacked ? dataId + kBackPackingOffset : dataId;
}
