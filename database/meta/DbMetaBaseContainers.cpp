// DbMetaBase: container access, embedded metas, database-id changes and the
// hand-over of the bound object.
#include "DbMetaBase.h"

#include <atomic>

#include "Reporting.h"
#include "ScopeExit.h"

using tarvex::internal::classNameOf;
using tarvex::internal::composeText;
using tarvex::internal::reportAssert;
using tarvex::internal::ReportSite;
namespace files = tarvex::internal::files;
namespace texts = tarvex::internal::texts;

namespace {

// Where this file's reports come from.
constexpr ReportSite kTakeOverInvalidStamp{files::kDbMetaBase, 335};
constexpr ReportSite kPrepareTooDeep{files::kDbMetaBase, 352};
constexpr ReportSite kUnprepareTooDeep{files::kDbMetaBase, 371};
constexpr ReportSite kChangeIdsTooDeep{files::kDbMetaBase, 418};

// Set by the first takeOverObject with an invalid stamp, before it traces,
// so the trace is written once per process, and a call from the trace sink
// or another thread meanwhile neither traces again nor waits. The library's
// only atomic: the flag two threads may race on, made free of a data race.
std::atomic<bool> s_bInvalidBuildStampReported{false};

unsigned char databaseType(const DbData& value) {
  return static_cast<unsigned char>(value.getDatabaseType());
}

// One walk over a meta's values, on the stack of the call that starts it:
// the meta it started from (named in the report), the report's site and
// whether it has stopped. The depth travels down the recursion as an
// argument; nothing about a walk outlives the call.
struct Walk {
  const DbMetaBase& start;
  ReportSite site;
  unsigned short oldId = 0;
  unsigned short newId = 0;
  bool stopped = false;
};

// Kept apart from the recursion, so its strings take no room in every
// level's frame.
void reportTooDeep(Walk& walk) {
  walk.stopped = true;
  reportAssert(composeText(texts::kNestedTooDeep,
                           {EString().set(static_cast<unsigned int>(DbMetaBase::kMaxNestingDepth)),
                            classNameOf(walk.start)}),
               walk.site);
}

// Whether a container or embedded meta holding values at `depth` + 1 may be
// entered; the first refusal reports and stops the whole walk, so a value
// that contains itself more than once cannot make the walk branch out.
// Asked only while the walk goes on: the loops below end once it stopped.
bool mayEnter(Walk& walk, std::uint32_t depth) {
  if (depth < DbMetaBase::kMaxNestingDepth) return true;
  reportTooDeep(walk);
  return false;
}

// Walks the embedded meta of `value`, if any, and gives it back with clear()
// on every path out, so a throwing value or schema call cannot leave it in use.
template <typename WalkValues>
void walkEmbeddedMeta(Walk& walk, const DbData& value, std::uint32_t depth, WalkValues walkValues) {
  DbMetaBase* embedded = value.getMetaForEmbeddedObject();
  if (embedded == nullptr) return;
  tarvex::internal::ScopeExit handBack([embedded] { embedded->clear(); });
  if (mayEnter(walk, depth)) walkValues(*embedded);
}

// Calls `visit` on each element of `container`, in the container's order,
// until the walk stops.
template <typename Visit>
void forEachElement(const Walk& walk, DbData& container, Visit visit) {
  DbData* element = nullptr;
  for (bool more = container.getFirstElement(&element); more && !walk.stopped;
       more = container.getNextElement(&element)) {
    if (element != nullptr) visit(element);
  }
}

// Calls `walkValue` on each value of `meta`, in insertion order, until the
// walk stops. A meta lists no null: addData and replaceData refuse it.
template <typename WalkValue>
void forEachValue(const Walk& walk, const DbMetaBase& meta, WalkValue walkValue) {
  for (DbData* value : meta.getDataList(false)) {
    if (walk.stopped) return;
    walkValue(value);
  }
}

void prepareValue(Walk& walk, DbData* value, std::uint32_t depth);

void prepareValues(Walk& walk, const DbMetaBase& meta, std::uint32_t depth) {
  forEachValue(walk, meta, [&walk, depth](DbData* value) { prepareValue(walk, value, depth); });
}

void prepareValue(Walk& walk, DbData* value, std::uint32_t depth) {
  if (!value->valid()) return;
  switch (databaseType(*value)) {
    case DbDatabaseType::kContainer:
      if (!mayEnter(walk, depth)) return;
      value->prepareContainerAccess();
      forEachElement(walk, *value,
                     [&walk, depth](DbData* element) { prepareValue(walk, element, depth + 1); });
      break;
    case DbDatabaseType::kEmbeddedObject:
      walkEmbeddedMeta(walk, *value, depth, [&walk, depth](DbMetaBase& embedded) {
        prepareValues(walk, embedded, depth + 1);
      });
      break;
    default:
      break;
  }
}

void unprepareValue(Walk& walk, DbData* value, std::uint32_t depth);

void unprepareValues(Walk& walk, const DbMetaBase& meta, std::uint32_t depth) {
  forEachValue(walk, meta, [&walk, depth](DbData* value) { unprepareValue(walk, value, depth); });
}

void unprepareValue(Walk& walk, DbData* value, std::uint32_t depth) {
  if (!value->valid()) return;
  switch (databaseType(*value)) {
    case DbDatabaseType::kContainer:
      if (!mayEnter(walk, depth)) return;
      forEachElement(walk, *value,
                     [&walk, depth](DbData* element) { unprepareValue(walk, element, depth + 1); });
      // Also once the walk stopped below: the prepare walk, which stops at
      // the same place, prepared this container.
      value->unprepareContainerAccess();
      break;
    case DbDatabaseType::kEmbeddedObject:
      walkEmbeddedMeta(walk, *value, depth, [&walk, depth](DbMetaBase& embedded) {
        unprepareValues(walk, embedded, depth + 1);
      });
      break;
    default:
      break;
  }
}

void changeIdsOfValue(Walk& walk, DbData* value, std::uint32_t depth);

void changeIdsOfValues(Walk& walk, const DbMetaBase& meta, std::uint32_t depth) {
  forEachValue(walk, meta, [&walk, depth](DbData* value) { changeIdsOfValue(walk, value, depth); });
}

// Object ids and references are rewritten apart from the recursion, so
// their copies take no room in every level's frame.
void changeObjectId(const Walk& walk, DbData& value) {
  DbObjectId objectId(value.getDbObjectId());
  if (objectId.getDatabaseId() == walk.oldId) {
    objectId.setDatabaseId(walk.newId);
    value.setDbObjectId(objectId);
  }
}

void changeReference(const Walk& walk, DbData& value) {
  DbObjectId reference = value.getReference();
  if (reference.getDatabaseId() == walk.oldId) {
    reference.setDatabaseId(walk.newId);
    value.setReference(reference);
  }
}

void changeIdsOfValue(Walk& walk, DbData* value, std::uint32_t depth) {
  if (!value->valid()) return;
  switch (databaseType(*value)) {
    case DbDatabaseType::kContainer:
      if (!mayEnter(walk, depth)) return;
      forEachElement(walk, *value, [&walk, depth](DbData* element) {
        changeIdsOfValue(walk, element, depth + 1);
      });
      break;
    case DbDatabaseType::kEmbeddedObject:
      walkEmbeddedMeta(walk, *value, depth, [&walk, depth](DbMetaBase& embedded) {
        changeIdsOfValues(walk, embedded, depth + 1);
      });
      break;
    case DbDatabaseType::kObjectId:
      changeObjectId(walk, *value);
      break;
    case DbDatabaseType::kReference15:
    case DbDatabaseType::kReference16:
    case DbDatabaseType::kReference18:
      changeReference(walk, *value);
      break;
    default:
      break;
  }
}

}  // namespace

void DbMetaBase::prepareContainerAccess() {
  Walk walk{*this, kPrepareTooDeep};
  prepareValues(walk, *this, 0);
}

void DbMetaBase::prepareContainerAccess(DbData* value) {
  if (value == nullptr) return;
  Walk walk{*this, kPrepareTooDeep};
  prepareValue(walk, value, 0);
}

void DbMetaBase::unprepareContainerAccess() {
  Walk walk{*this, kUnprepareTooDeep};
  unprepareValues(walk, *this, 0);
}

void DbMetaBase::unprepareContainerAccess(DbData* value) {
  if (value == nullptr) return;
  Walk walk{*this, kUnprepareTooDeep};
  unprepareValue(walk, value, 0);
}

bool DbMetaBase::addObject2Container(unsigned short dataId, DbMetaBase& meta, int position) {
  DbData* value = getData(dataId);
  if (value == nullptr) return false;
  value->addObject2Container(meta, position);
  return true;
}

DbMetaBase* DbMetaBase::getMetaForEmbeddedObject(unsigned short dataId) const {
  const DbData* value = getData(dataId);
  return value == nullptr ? nullptr : value->getMetaForEmbeddedObject();
}

void DbMetaBase::changeDatabaseIds(unsigned short oldId, unsigned short newId) {
  Walk walk{*this, kChangeIdsTooDeep, oldId, newId};
  changeIdsOfValues(walk, *this, 0);
}

void DbMetaBase::changeDatabaseIds(DbData* value, unsigned short oldId, unsigned short newId) {
  if (value == nullptr) return;
  Walk walk{*this, kChangeIdsTooDeep, oldId, newId};
  changeIdsOfValue(walk, value, 0);
}

DMMemberBase* DbMetaBase::takeOverObject(int stamp) const {
  if (stamp == 0 && !s_bInvalidBuildStampReported.load(std::memory_order_relaxed)) {
    // Of threads that find the flag unset at the same moment, one traces.
    const bool first = !s_bInvalidBuildStampReported.exchange(true, std::memory_order_relaxed);
    if (first) {  // GCOVR_EXCL_BR_LINE: the loser of that race, which no test can force
      try {
        tarvex::internal::traceMeta(texts::kInvalidBuildStamp, kTakeOverInvalidStamp);
      } catch (...) {
        // Not written: the next invalid stamp tries again.
        s_bInvalidBuildStampReported.store(false, std::memory_order_relaxed);
        throw;
      }
    }
  }
  if (m_bDeleteObject) m_bDeleteObject = false;
  // The hand-over is logically const for the caller; finishing the read is
  // the concrete class's business and needs a mutable meta.
  const_cast<DbMetaBase*>(this)->postReadObject(stamp, false);
  return getObject();
}
