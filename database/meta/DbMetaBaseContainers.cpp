// DbMetaBase: container access, embedded metas, database-id changes and the
// hand-over of the bound object.
#include "DbMetaBase.h"

#include "Reporting.h"

namespace {

const char* const kSourceFile = ".\\DbMetaBase";
constexpr int kLineNullObject = 320;
constexpr int kLineInvalidBuildStamp = 335;

constexpr unsigned char kDbContainer = 11;
constexpr unsigned char kDbEmbedded = 13;
constexpr unsigned char kDbObjectId = 14;
constexpr unsigned char kDbReference15 = 15;
constexpr unsigned char kDbReference16 = 16;
constexpr unsigned char kDbReference18 = 18;

// Set by the first takeOverObject with an invalid stamp, so the trace is
// written at most once per process.
bool s_bInvalidBuildStampReported = false;

unsigned char databaseType(const DbData& value) {
  return static_cast<unsigned char>(value.getDatabaseType());
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
    if (value != nullptr) prepareContainerAccess(value);
  }
}

void DbMetaBase::prepareContainerAccess(DbData* value) {
  if (value == nullptr || !value->valid()) return;
  switch (databaseType(*value)) {
    case kDbContainer:
      value->prepareContainerAccess();
      forEachElement(*value, [this](DbData* element) { prepareContainerAccess(element); });
      break;
    case kDbEmbedded:
      if (DbMetaBase* embedded = value->getMetaForEmbeddedObject()) {
        embedded->prepareContainerAccess();
        embedded->clear();
      }
      break;
    default:
      break;
  }
}

void DbMetaBase::unprepareContainerAccess() {
  for (DbData* value : m_DataList) {
    if (value != nullptr) unprepareContainerAccess(value);
  }
}

void DbMetaBase::unprepareContainerAccess(DbData* value) {
  if (value == nullptr || !value->valid()) return;
  switch (databaseType(*value)) {
    case kDbContainer:
      forEachElement(*value, [this](DbData* element) { unprepareContainerAccess(element); });
      value->unprepareContainerAccess();
      break;
    case kDbEmbedded:
      if (DbMetaBase* embedded = value->getMetaForEmbeddedObject()) {
        embedded->unprepareContainerAccess();
        embedded->clear();
      }
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
    if (value != nullptr) changeDatabaseIds(value, oldId, newId);
  }
}

void DbMetaBase::changeDatabaseIds(DbData* value, unsigned short oldId, unsigned short newId) {
  if (value == nullptr || !value->valid()) return;
  switch (databaseType(*value)) {
    case kDbContainer:
      forEachElement(*value, [&](DbData* element) { changeDatabaseIds(element, oldId, newId); });
      break;
    case kDbEmbedded:
      if (DbMetaBase* embedded = value->getMetaForEmbeddedObject()) {
        embedded->changeDatabaseIds(oldId, newId);
        embedded->clear();
      }
      break;
    case kDbObjectId: {
      DbObjectId objectId(value->getDbObjectId());
      if (objectId.getDatabaseId() == oldId) {
        objectId.setDatabaseId(newId);
        value->setDbObjectId(objectId);
      }
      break;
    }
    case kDbReference15:
    case kDbReference16:
    case kDbReference18: {
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

bool DbMetaBase::setObject(DMMemberBase* object, unsigned short /*mode*/) {
  if (object != nullptr) {
    m_bInUse = true;
    return true;
  }
  EString text("Es wurde versucht im Meat das Objekt mit einem NULL-Pointer zu setzen ( ");
  EString name;
  getClassName(name);
  text += name;
  text += EString(" )!");
  tarvex::internal::reportAssert(text, EString(kSourceFile), kLineNullObject);
  m_bInUse = false;
  return false;
}

DMMemberBase* DbMetaBase::takeOverObject(int stamp) const {
  if (stamp == 0 && !s_bInvalidBuildStampReported) {
    s_bInvalidBuildStampReported = true;
    tarvex::internal::traceMeta(EString("At least one invalid build stamp."), EString(kSourceFile),
                                kLineInvalidBuildStamp);
  }
  if (m_bDeleteObject) m_bDeleteObject = false;
  // The hand-over is logically const for the caller; finishing the read is
  // the concrete class's business and needs a mutable meta.
  const_cast<DbMetaBase*>(this)->postReadObject(stamp, false);
  return getObject();
}
