// DbMetaBase: construction, value access, typed setters, adding, replacing
// and describing values. The packing of data ids and the direct arrays are
// worked by DbMetaBasePacking.cpp on the state this class owns; containers,
// embedded metas, id changes and the object hand-over are in
// DbMetaBaseContainers.cpp.
#include "DbMetaBase.h"

#include <tbb/enumerable_thread_specific.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "DbMetaBasePacking.h"
#include "IDbDataSchema.h"
#include "ObjectAllocation.h"
#include "Reporting.h"
#include "ScopeExit.h"
#include "internal/CacheAlignedAllocator.h"

using tarvex::internal::classNameOf;
using tarvex::internal::composeText;
using tarvex::internal::reportAssert;
using tarvex::internal::ReportSite;
namespace files = tarvex::internal::files;
namespace texts = tarvex::internal::texts;

unsigned short DbMetaBase::sm_MapDataIdToPackedDataId[65536];
unsigned short DbMetaBase::sm_LastUsedPackedDataId = 0;

namespace {

// Live metas holding a direct array (getPackingMetaCount), kept as one
// balance per thread: an array is counted in the balance of the thread that
// builds it, and that balance is paid back where the array goes (a rebuild,
// the meta's destruction), also on another thread, which so needs no
// balance of its own: destroying a meta allocates nothing. The sum is taken
// while no other thread touches metas. A balance changes only when an array
// comes or goes, never on a look-up.
using DirectArrayBalances =
    tbb::enumerable_thread_specific<std::int64_t,
                                    tarvex::internal::CacheAlignedAllocator<std::int64_t>>;
DirectArrayBalances& directArrayBalances() {
  // Never destroyed: a meta may be destroyed after this file's statics.
  static auto* const balances = new DirectArrayBalances(std::int64_t{0});
  return *balances;
}

// Where this file's reports come from.
constexpr ReportSite kSortedWithoutTable{files::kDbMetaBase, 128};
constexpr ReportSite kAddDataNull{files::kDbMetaBase, 186};
constexpr ReportSite kAddDataDuplicate{files::kDbMetaBase, 193};
constexpr ReportSite kAddDataHeld{files::kDbMetaBase, 197};
constexpr ReportSite kReplaceDataNull{files::kDbMetaBase, 216};
constexpr ReportSite kReplaceDataNotFound{files::kDbMetaBase, 224};
constexpr ReportSite kReplaceDataHeld{files::kDbMetaBase, 228};
constexpr ReportSite kSetObjectNull{files::kDbMetaBase, 320};
constexpr ReportSite kEmbeddedMetaOrder{files::kDbMetaBase, 476};
constexpr ReportSite kDescribeTooDeep{files::kDbMetaBase, 478};

// The shared path of every typed setter: absent values are not an error.
template <typename Write>
bool writeValue(DbData* value, Write write) {
  if (value == nullptr) return false;
  write(*value);
  return true;
}

bool isListed(const DbDataList& list, const DbData* value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

void reportHeldAlready(const DbMetaBase& meta, const DbData& value, ReportSite site) {
  reportAssert(
      composeText(texts::kDataGivenTwice, {EString().set(value.getDataId()), classNameOf(meta)}),
      site);
}

}  // namespace

DbMetaBase::DbMetaBase()
    : m_pStringLimitMap(nullptr),
      m_bDeleteObject(true),
      m_bInUse(false),
      m_bNewObject(false),
      m_MaxPackedDataId(0),
      m_pDirectData(nullptr),
      m_BuildStamp(0),
      m_b3DObject(false),
      m_bCreated(false),
      m_bDirectDataCounted(false),
      m_bDirectDataExhausted(false) {}

namespace {
// The balance an array was counted in, kept in its entry behind the slots.
std::int64_t* countedIn(DbData* const* slots, unsigned short bound) {
  return reinterpret_cast<std::int64_t*>(slots[static_cast<std::size_t>(bound) + 1]);
}
}  // namespace

DbMetaBase::~DbMetaBase() {
  m_DataMap.clearAndDestroyElements();
  delete m_pStringLimitMap;
  if (m_bDirectDataCounted) --*countedIn(m_pDirectData, m_MaxPackedDataId);
  delete[] m_pDirectData;
  m_pDirectData = nullptr;
}

void* DbMetaBase::operator new(std::size_t size) { return tarvex::internal::allocateObject(size); }

void DbMetaBase::operator delete(void* pointer) { tarvex::internal::freeObject(pointer); }

// --- Base behaviour of the virtual slots -----------------------------------

bool DbMetaBase::rejectNullObject() {
  reportAssert(composeText(texts::kNullObject, {classNameOf(*this)}), kSetObjectNull);
  m_bInUse = false;
  return false;
}

DMMemberBase* DbMetaBase::getObject() const { return nullptr; }

DbMetaBase* DbMetaBase::adaptMeta(unsigned short /*version*/) const { return nullptr; }

bool DbMetaBase::check4StringOverflow(std::set<unsigned short>& /*overflowingIds*/,
                                      const StringLimitMap* /*limits*/) const {
  return false;
}

void DbMetaBase::profileObjectStoreIgnore() const {}

void DbMetaBase::preRemoveObject(const DbObjectId& /*objectId*/) const {}

void DbMetaBase::preStoreObject() {}

void DbMetaBase::prepareIndexMask(std::int32_t& /*mask*/) const {}

void DbMetaBase::postReadObject(int /*stamp*/, bool /*created*/) {}

bool DbMetaBase::getDoNotify() const { return true; }

bool DbMetaBase::indicateStringOverflow(unsigned short /*dataId*/) const { return false; }

bool DbMetaBase::supportDirectDataPointer() const { return false; }

// --- Data-id packing and direct data pointers ------------------------------

void DbMetaBase::initDataIdPacking() {
  tarvex::internal::clearDataIdPacking({sm_MapDataIdToPackedDataId, sm_LastUsedPackedDataId});
}

std::uint32_t DbMetaBase::getPackingMetaCount() {
  std::int64_t live = 0;
  for (const std::int64_t balance : directArrayBalances()) live += balance;
  return static_cast<std::uint32_t>(live);
}

void DbMetaBase::countDirectData() {
  // An array counted before carries its balance; a new one carries none.
  m_bDirectDataCounted = m_pDirectData != nullptr;
  if (!m_bDirectDataCounted || countedIn(m_pDirectData, m_MaxPackedDataId) != nullptr) return;
  std::int64_t& balance = directArrayBalances().local();
  tarvex::internal::endIfSlotIsReserve(&balance);
  ++balance;
  m_pDirectData[static_cast<std::size_t>(m_MaxPackedDataId) + 1] =
      reinterpret_cast<DbData*>(&balance);
}

void DbMetaBase::setupDirectDataPtr(DbData* value) {
  if (value == nullptr) return;
  std::int64_t* counted =
      m_bDirectDataCounted ? countedIn(m_pDirectData, m_MaxPackedDataId) : nullptr;
  if (!supportDirectDataPointer()) {
    // An array built while a base class's constructor still answered true
    // would hide every value set up since: the map serves from now on.
    if (counted != nullptr) --*counted;
    delete[] m_pDirectData;
    m_pDirectData = nullptr;
    m_MaxPackedDataId = 0;
    m_bDirectDataCounted = false;
    return;
  }
  // A rebuild drops the old array before it may throw, hence on every way
  // out: the counted array went unless the meta still holds an array that
  // carries its balance (a new one carries none yet).
  tarvex::internal::ScopeExit count([this, counted] {
    const bool kept =
        m_pDirectData != nullptr && countedIn(m_pDirectData, m_MaxPackedDataId) != nullptr;
    if (counted != nullptr && !kept) --*counted;
    countDirectData();
  });
  tarvex::internal::setupDirectData(
      {sm_MapDataIdToPackedDataId, sm_LastUsedPackedDataId},
      {m_pDirectData, m_MaxPackedDataId, m_bDirectDataExhausted, m_DataList}, value,
      kDirectDataSpare);
}

// --- Value access ----------------------------------------------------------

const DbDataList& DbMetaBase::getDataList(bool sorted) const {
  if (!sorted) return m_DataList;
  if (DbData::sm_pArrayDataId2SortId == nullptr) {
    // Sorting would read the missing table, and a list sorted earlier
    // follows a table that is gone: insertion order is the one order known.
    reportAssert(texts::kNoSortTable, kSortedWithoutTable);
    return m_DataList;
  }
  if (m_SortedDataList.empty()) {
    m_SortedDataList.reserve(m_DataList.size());
    m_SortedDataList.insert(m_SortedDataList.end(), m_DataList.begin(), m_DataList.end());
  }
  // Also a list sorted earlier: the sort ids may have changed since (the
  // table restarted, a mark or the last entry moved), and no change of the
  // table reaches the metas.
  if (!std::is_sorted(m_SortedDataList.begin(), m_SortedDataList.end(), DbData::sortDbData)) {
    std::sort(m_SortedDataList.begin(), m_SortedDataList.end(), DbData::sortDbData);
  }
  return m_SortedDataList;
}

bool DbMetaBase::setDataBool(unsigned short dataId, bool value) {
  return writeValue(getData(dataId), [&](DbData& v) { v.setBool(value); });
}

bool DbMetaBase::setDataChar(unsigned short dataId, char value) {
  return writeValue(getData(dataId), [&](DbData& v) { v.setChar(value); });
}

bool DbMetaBase::setDataShort(unsigned short dataId, short value) {
  return writeValue(getData(dataId), [&](DbData& v) { v.setShort(value); });
}

bool DbMetaBase::setDataLong(unsigned short dataId, std::int32_t value) {
  return writeValue(getData(dataId), [&](DbData& v) { v.setLong(value); });
}

bool DbMetaBase::setDataFloat(unsigned short dataId, float value) {
  return writeValue(getData(dataId), [&](DbData& v) { v.setFloat(value); });
}

bool DbMetaBase::setDataDouble(unsigned short dataId, double value) {
  return writeValue(getData(dataId), [&](DbData& v) { v.setDouble(value); });
}

bool DbMetaBase::setDataString(unsigned short dataId, const EString& value) {
  return writeValue(getData(dataId), [&](DbData& v) { v.setString(value); });
}

bool DbMetaBase::setPropertyList(unsigned short dataId, const EPropertyList& value) {
  return writeValue(getData(dataId), [&](DbData& v) { v.setPropertyList(value); });
}

bool DbMetaBase::setDbObjectId(unsigned short dataId, const DbObjectId& value) {
  return writeValue(getData(dataId), [&](DbData& v) { v.setDbObjectId(value); });
}

bool DbMetaBase::setDataPoint(unsigned short dataId, const EPoint& value) {
  return writeValue(getData(dataId), [&](DbData& v) { v.setPoint(value); });
}

bool DbMetaBase::setDataPoint3D(unsigned short dataId, const EPoint3D& value) {
  return writeValue(getData(dataId), [&](DbData& v) { v.setPoint3D(value); });
}

bool DbMetaBase::setDataStreamableObject(unsigned short dataId, IEStreamableObject* value) {
  return writeValue(getData(dataId), [&](DbData& v) { v.setStreamableObject(value); });
}

bool DbMetaBase::setDataReference(unsigned short dataId, const DbObjectId& value) {
  return writeValue(getData(dataId), [&](DbData& v) { v.setReference(value); });
}

bool DbMetaBase::setDataEmbeddedReference(unsigned short dataId, const DbEmbeddedObjId& value) {
  return writeValue(getData(dataId), [&](DbData& v) {
    v.setReference(value.getObjectId());
    v.setEmbeddedId(value.getEmbeddedId());
  });
}

bool DbMetaBase::setDataDTString(unsigned short dataId, const DbDTString& value) {
  return writeValue(getData(dataId), [&](DbData& v) { v.setDTString(value); });
}

bool DbMetaBase::setDataTime(unsigned short dataId, const ebas::ETime& value) {
  return writeValue(getData(dataId), [&](DbData& v) { v.setTime(value); });
}

void DbMetaBase::declareOldDataId(unsigned short dataId) {
  IDbDataSchema* schema = IDbDataSchema::getSmallInstance();
  if (schema == nullptr || schema->isSchemaClosed()) return;
  schema->declareOldDataId(this, dataId);
}

// --- Adding, replacing and describing values -------------------------------

void DbMetaBase::addData(DbData* value) {
  if (value == nullptr) {
    reportAssert(texts::kNullData, kAddDataNull);
    return;
  }
  const unsigned short dataId = value->getDataId();
  // A value given again is left as it is: listed twice, it would later be
  // handed back to the caller while still listed, and a failure to list it
  // again would destroy it while held. Every listed value is mapped unless a
  // duplicate data id was added, so the list is searched only then (sizes
  // differ) or when the data id is taken.
  if (m_DataList.size() != m_DataMap.size() && isListed(m_DataList, value)) {
    reportHeldAlready(*this, *value, kAddDataHeld);
    return;
  }
  // The value is the meta's from the call on: if it cannot be stored, it is
  // destroyed, so a throwing call leaves nothing without an owner.
  bool mapped = false;
  try {
    mapped = m_DataMap.addData(dataId, value);
  } catch (...) {
    value->purge();
    throw;
  }
  if (!mapped) {
    if (isListed(m_DataList, value)) {
      reportHeldAlready(*this, *value, kAddDataHeld);
      return;
    }
    try {
      reportAssert(
          composeText(texts::kDuplicateDataId, {EString().set(dataId), classNameOf(*this)}),
          kAddDataDuplicate);
    } catch (...) {
      // As when it cannot be listed: a throwing call destroys what it could
      // not store, so the caller never owns it after the exception.
      value->purge();
      throw;
    }
  }
  try {
    m_DataList.push_back(value);
  } catch (...) {
    // A mapped value missing from the list would be found but never walked.
    if (mapped) m_DataMap.erase(dataId);
    value->purge();
    throw;
  }
  if (!m_SortedDataList.empty()) m_SortedDataList.clear();
  try {
    setupDirectDataPtr(value);
  } catch (...) {
    // A failed rebuild leaves the meta on its map; the value goes, as on
    // every throwing path, so a caller who adds it afresh meets no
    // duplicate.
    m_DataList.pop_back();
    if (mapped) m_DataMap.erase(dataId);
    value->purge();
    throw;
  }
}

DbData* DbMetaBase::replaceData(DbData* value) {
  if (value == nullptr) {
    reportAssert(texts::kNullData, kReplaceDataNull);
    return nullptr;
  }
  const unsigned short dataId = value->getDataId();
  // A listed value that is not the mapped one is a duplicate the caller
  // still owns; swapped in, it would be listed twice. (Replacing the mapped
  // value by itself hands it back and the meta keeps it.)
  if (m_DataList.size() != m_DataMap.size() && m_DataMap.getData(dataId) != value &&
      isListed(m_DataList, value)) {
    reportHeldAlready(*this, *value, kReplaceDataHeld);
    return nullptr;
  }
  DbData* old = m_DataMap.replaceData(dataId, value);
  if (old == nullptr) {
    // The meta does not own `value` on this path, so it is not placed in the
    // direct array either: a slot must never outlive its value.
    reportAssert(
        composeText(texts::kReplacedDataIdNotFound, {EString().set(dataId), classNameOf(*this)}),
        kReplaceDataNotFound);
    return nullptr;
  }
  for (DbDataList* list : {&m_SortedDataList, &m_DataList}) {
    auto it = std::find(list->begin(), list->end(), old);
    if (it != list->end()) *it = value;
  }
  try {
    setupDirectDataPtr(value);
  } catch (...) {
    // The new value is in place and answers through the map; the old one
    // would never reach the caller, so it is destroyed here, unless it is
    // the new value itself, which the meta still holds.
    if (old != value) old->purge();
    throw;
  }
  return old;
}

namespace {

// The registration's walk over embedded metas, on the stack of the call
// that starts it: each level names the meta it describes and the level
// above. A meta on the path is not entered again, so a type embedding its
// own is described once; the depth bound stops what the path cannot see
// (an embedded value handing out a new meta each time).
struct DescribeLevel {
  const DbMetaBase* meta;
  const DescribeLevel* up;
  std::uint32_t depth;
  bool* stopped;
};

bool isOnPath(const DescribeLevel& level, const DbMetaBase* meta) {
  for (const DescribeLevel* at = &level; at != nullptr; at = at->up) {
    if (at->meta == meta) return true;
  }
  return false;
}

void describe(DbMetaBase& meta, bool registering, const DescribeLevel* up);

// Kept apart from the recursion, so its strings take no room in every
// level's frame.
// Names the meta the walk started from, as the other walks do.
void reportDescribeTooDeep(const DescribeLevel& level) {
  *level.stopped = true;
  const DescribeLevel* start = &level;
  while (start->up != nullptr) start = start->up;
  reportAssert(composeText(texts::kNestedTooDeep,
                           {EString().set(static_cast<unsigned int>(DbMetaBase::kMaxNestingDepth)),
                            classNameOf(*start->meta)}),
               kDescribeTooDeep);
}

// Describes the meta of an embedded value, if it may be entered, and hands
// it back on every path out.
void describeEmbedded(const DescribeLevel& level, DbData* value, DbMetaBase* embedded) {
  tarvex::internal::ScopeExit handBack([value, embedded] { value->ungetMeta(embedded); });
  if (isOnPath(level, embedded)) return;
  if (level.depth >= DbMetaBase::kMaxNestingDepth) {
    reportDescribeTooDeep(level);
    return;
  }
  describe(*embedded, false, &level);
}

void describe(DbMetaBase& meta, bool registering, const DescribeLevel* up) {
  IDbDataSchema* schema = IDbDataSchema::getSmallInstance();
  if (schema == nullptr || schema->isSchemaClosed()) return;

  // Described means given back, also when a schema or value call throws: an
  // embedded meta reached on the way must not stay in use for good.
  tarvex::internal::ScopeExit clearWhenDone([&meta] { meta.clear(); });
  if (registering) {
    DbObjectId objectId;
    objectId.setTypeId(meta.getTypeId());
    meta.setObjectId(objectId);
  }
  bool stoppedHere = false;
  const DescribeLevel level{&meta, up, up != nullptr ? up->depth + 1 : 0,
                            up != nullptr ? up->stopped : &stoppedHere};

  for (DbData* value : meta.getDataList(false)) {
    if (*level.stopped) return;
    const unsigned short dataId = value->getDataId();
    if (!value->valid()) {
      schema->addDataEntry(&meta, dataId, value->getDataModelType());
      continue;
    }
    // The typed overload for plain kinds, with the value as its default.
    // The reader runs before getDataModelType, in the order the schema's
    // implementers rely on.
    auto describeWithDefault = [&](auto defaultValue) {
      schema->addDataEntry(&meta, dataId, value->getDataModelType(), defaultValue);
    };
    switch (static_cast<unsigned char>(value->getDatabaseType())) {
      case DbDatabaseType::kBoolean:
        describeWithDefault(value->getBool());
        break;
      case DbDatabaseType::kCharacter:
        describeWithDefault(value->getChar());
        break;
      case DbDatabaseType::kShort:
        describeWithDefault(value->getShort());
        break;
      case DbDatabaseType::kLong:
        describeWithDefault(value->getLong());
        break;
      case DbDatabaseType::kFloat:
        describeWithDefault(value->getFloat());
        break;
      case DbDatabaseType::kDouble:
        describeWithDefault(value->getDouble());
        break;
      case DbDatabaseType::kPoint:
        describeWithDefault(value->getPoint());
        break;
      case DbDatabaseType::kPoint3D:
        describeWithDefault(value->getPoint3D());
        break;
      case DbDatabaseType::kContainer:
        schema->addDataEntry(&meta, dataId, value->getDataModelTypeOfElements());
        break;
      case DbDatabaseType::kEmbeddedObject: {
        if (DbMetaBase* embedded = value->getMeta()) {
          describeEmbedded(level, value, embedded);
        } else {
          reportAssert(texts::kEmbeddedMetaNotRegistered, kEmbeddedMetaOrder);
        }
        schema->addDataEntry(&meta, dataId, value->getDataModelType());
        break;
      }
      default:
        schema->addDataEntry(&meta, dataId, value->getDataModelType());
        break;
    }
  }
}

}  // namespace

void DbMetaBase::addDataEntry2DbMap(bool registering) { describe(*this, registering, nullptr); }

void DbMetaBase::setDatas2Default(unsigned short key) {
  IDbDataSchema* schema = IDbDataSchema::getSmallInstance();
  if (schema == nullptr) return;
  const DbDataSchemaMap* schemaMap = schema->getDataSchemaMap(key);
  if (schemaMap == nullptr) return;
  for (DbData* value : m_DataList) {
    if (!value->isDefault(schemaMap)) value->setDefault(schemaMap);
  }
}

void DbMetaBase::removeUnknownDataFromDataLists() {
  // The lists and the map hold no null: addData and replaceData refuse it.
  auto isUnknown = [](const DbData* value) {
    return value->getUnknownDataType() == DbUnknownDataNsp::eUnknownData;
  };
  auto slotOf = [this](unsigned short dataId) -> DbData** {
    if (m_pDirectData == nullptr) return nullptr;
    const unsigned short p = sm_MapDataIdToPackedDataId[dataId];
    return p > m_MaxPackedDataId ? nullptr : &m_pDirectData[p];
  };

  std::vector<DbData*> removed;
  std::copy_if(m_DataList.begin(), m_DataList.end(), std::back_inserter(removed), isUnknown);
  m_SortedDataList.erase(
      std::remove_if(m_SortedDataList.begin(), m_SortedDataList.end(), isUnknown),
      m_SortedDataList.end());
  m_DataList.erase(std::remove_if(m_DataList.begin(), m_DataList.end(), isUnknown),
                   m_DataList.end());

  for (auto it = m_DataMap.begin(); it != m_DataMap.end();) {
    if (isUnknown(it->second)) {
      if (DbData** slot = slotOf(it->first)) *slot = nullptr;
      it = m_DataMap.erase(it);
    } else {
      ++it;
    }
  }
  // A removed duplicate (listed, never mapped) may still hold the slot; hand
  // it back to the value the map keeps, so nothing dangles and nothing hides.
  for (DbData* value : removed) {
    DbData** slot = slotOf(value->getDataId());
    if (slot != nullptr && *slot == value) *slot = m_DataMap.getData(value->getDataId());
  }
}

void DbMetaBase::setStringLimitMap(const StringLimitMap& limits) {
  if (m_pStringLimitMap != nullptr) {
    if (m_pStringLimitMap == &limits) return;
    // Copied aside first, so a failed copy leaves the old limits whole.
    StringLimitMap copy(limits);
    m_pStringLimitMap->swap(copy);
  } else {
    m_pStringLimitMap = new StringLimitMap(limits);
  }
}
