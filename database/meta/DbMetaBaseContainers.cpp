// DbMetaBase: container access, embedded metas, database-id changes and the
// hand-over of the bound object.
#include "DbMetaBase.h"

#include <atomic>

#include "Reporting.h"
#include "ScopeExit.h"

using tarvex::internal::ReportSite;
namespace files = tarvex::internal::files;
namespace texts = tarvex::internal::texts;

namespace {

// Where this file's reports come from.
constexpr ReportSite kTakeOverInvalidStamp{files::kDbMetaBase, 335};

// Set by the first takeOverObject with an invalid stamp, so the trace is
// written once per process. The library's only atomic, and atomic only to
// avoid a data race between threads that report at the same moment.
std::atomic<bool> s_bInvalidBuildStampReported{false};

unsigned char databaseType(const DbData& value) {
  return static_cast<unsigned char>(value.getDatabaseType());
}

// Walks the embedded meta of `value`, if any, and gives it back with clear()
// on every path out, so a throwing value or schema call cannot leave it in use.
template <typename Walk>
void walkEmbeddedMeta(const DbData& value, Walk walk) {
  DbMetaBase* embedded = value.getMetaForEmbeddedObject();
  if (embedded == nullptr) return;
  tarvex::internal::ScopeExit handBack([embedded] { embedded->clear(); });
  walk(*embedded);
}

// Calls `visit` on each element of container `value`, in the container's order.
template <typename Visit>
void forEachElement(DbData& container, Visit visit) {
  DbData* element = nullptr;
  for (bool more = container.getFirstElement(&element); more;
       more = container.getNextElement(&element)) {
    visit(element);
  }
}

}  // namespace

void DbMetaBase::prepareContainerAccess() {
  for (DbData* value : m_DataList) {
    if (value != nullptr) prepareContainerAccess(value);  // GCOVR_EXCL_BR_LINE
  }
}

void DbMetaBase::prepareContainerAccess(DbData* value) {
  if (value == nullptr || !value->valid()) return;
  switch (databaseType(*value)) {
    case DbDatabaseType::kContainer:
      value->prepareContainerAccess();
      forEachElement(*value, [this](DbData* element) { prepareContainerAccess(element); });
      break;
    case DbDatabaseType::kEmbeddedObject:
      walkEmbeddedMeta(*value, [&](DbMetaBase& embedded) { embedded.prepareContainerAccess(); });
      break;
    default:
      break;
  }
}

void DbMetaBase::unprepareContainerAccess() {
  for (DbData* value : m_DataList) {
    if (value != nullptr) unprepareContainerAccess(value);  // GCOVR_EXCL_BR_LINE
  }
}

void DbMetaBase::unprepareContainerAccess(DbData* value) {
  if (value == nullptr || !value->valid()) return;
  switch (databaseType(*value)) {
    case DbDatabaseType::kContainer:
      forEachElement(*value, [this](DbData* element) { unprepareContainerAccess(element); });
      value->unprepareContainerAccess();
      break;
    case DbDatabaseType::kEmbeddedObject:
      walkEmbeddedMeta(*value, [&](DbMetaBase& embedded) { embedded.unprepareContainerAccess(); });
      break;
    default:
      break;
  }
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
  for (DbData* value : m_DataList) {
    if (value != nullptr) changeDatabaseIds(value, oldId, newId);  // GCOVR_EXCL_BR_LINE
  }
}

void DbMetaBase::changeDatabaseIds(DbData* value, unsigned short oldId, unsigned short newId) {
  if (value == nullptr || !value->valid()) return;
  switch (databaseType(*value)) {
    case DbDatabaseType::kContainer:
      forEachElement(*value, [&](DbData* element) { changeDatabaseIds(element, oldId, newId); });
      break;
    case DbDatabaseType::kEmbeddedObject:
      walkEmbeddedMeta(*value,
                       [&](DbMetaBase& embedded) { embedded.changeDatabaseIds(oldId, newId); });
      break;
    case DbDatabaseType::kObjectId: {
      DbObjectId objectId(value->getDbObjectId());
      if (objectId.getDatabaseId() == oldId) {
        objectId.setDatabaseId(newId);
        value->setDbObjectId(objectId);
      }
      break;
    }
    case DbDatabaseType::kReference15:
    case DbDatabaseType::kReference16:
    case DbDatabaseType::kReference18: {
      DbObjectId reference = value->getReference();
      if (reference.getDatabaseId() == oldId) {
        reference.setDatabaseId(newId);
        value->setReference(reference);
      }
      break;
    }
    default:
      break;
  }
}

DMMemberBase* DbMetaBase::takeOverObject(int stamp) const {
  if (stamp == 0 && !s_bInvalidBuildStampReported.load(std::memory_order_relaxed) &&
      !s_bInvalidBuildStampReported.exchange(true, std::memory_order_relaxed)) {
    tarvex::internal::traceMeta(texts::kInvalidBuildStamp, kTakeOverInvalidStamp);
  }
  if (m_bDeleteObject) m_bDeleteObject = false;
  // The hand-over is logically const for the caller; finishing the read is
  // the concrete class's business and needs a mutable meta.
  const_cast<DbMetaBase*>(this)->postReadObject(stamp, false);
  return getObject();
}
