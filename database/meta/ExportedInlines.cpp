// An exported class exports all its members, the ones defined inline in its
// header too: callers keep the inline copies for speed, while a binary that
// calls one out of line finds it in the library. Each inline member is named
// below so that every compiler emits its out-of-line copy here, which the
// class then exports (the export map keeps the rest of what this file emits
// local; a DLL exports only what dllexport marks). A new inline member of
// these classes needs its line here, a new static constant its line at the
// end; the exported-symbols test tells.
#include <cstring>

#include "DbData.h"
#include "DbDataId2DataMap.h"
#include "DbDataList.h"
#include "DbDataModel2DataBaseTypeMap.h"
#include "DbKitState.h"
#include "DbMetaBase.h"
#include "DbMetaManager.h"
#include "DbMetaManagerBase.h"
#include "DbType2MetaMap.h"
#include "EModuleFlags.h"
#include "IDbDataSchema.h"
#include "IDbMetaTable.h"
#include "IDbUnknownObjectMeta.h"
#include "MetaModule.h"

namespace tarvex::internal {

namespace {
// Names the protected members, for the list below.
struct MetaAccess : DbMetaBase {
  static constexpr auto kGetDirectData = &MetaAccess::getDirectData;
  static constexpr auto kGetLimitMap = &MetaAccess::getLimitMap;
  static constexpr auto kGetMaxPackedDataId = &MetaAccess::getMaxPackedDataId;
  static constexpr auto kHasDirectData = &MetaAccess::hasDirectData;
};
struct RegistryAccess : DbMetaManagerBase {
  static constexpr auto kGetMetaLocal = &RegistryAccess::getMetaLocal;
};

// Stores a byte of each address, so that no address is dropped as unused.
volatile unsigned char s_Sink = 0;
template <typename T>
void keep(const T& address) {
  unsigned char first = 0;
  std::memcpy(&first, &address, 1);
  s_Sink = first;
}
}  // namespace

// Never called: only the addresses and calls it contains matter. A member
// whose address is taken has its out-of-line copy; a constructor and a
// virtual member, whose addresses cannot be had, are called.
void keepExportedInlineMembers(DbMetaBase& meta, const DbMetaManager& manager) {
  DbData value(DbData::kFirstTableDataId);
  meta.DbMetaBase::clear();
  keep(meta.DbMetaBase::setObject(nullptr, 0));
  keep(manager.DbMetaManager::getMeta(0));

  keep(&DbData::getDataId);
  keep(&DbData::getDatabaseType);
  keep(&DbData::getSortId);
  keep(&DbData::getUnknownDataType);
  keep(&DbData::hasUnknownData);
  keep(&DbData::isBackPackedDatatId);
  keep(&DbData::isBitOn);
  keep(&DbData::isLastEntryDataId);
  keep(&DbData::operator<);
  keep(&DbData::operator==);
  keep(&DbData::sortDbData);
  keep(&DbData::switchBitOff);
  keep(&DbData::switchBitOn);
  keep(&DbDataId2DataMap::getData);
  keep(&DbDataModel2DataBaseTypeMap::getDatabaseType);
  keep(&DbKitState::isKitMetaClass);
  keep(&DbKitState::noteKitMetaClass);
  keep(&DbMetaBase::getBuildStamp);
  keep(&DbMetaBase::setBuildStamp);
  keep(&DbMetaBase::getCreated);
  keep(&DbMetaBase::setCreated);
  keep(&DbMetaBase::getData);
  keep(&DbMetaBase::getDeleteObject);
  keep(&DbMetaBase::setDeleteObject);
  keep(&DbMetaBase::getLastUsedPackedDataId);
  keep(&DbMetaBase::getPackedDataId);
  keep(&DbMetaBase::getPackingMetaCount);
  keep(&DbMetaBase::getStringLimitMap);
  keep(&DbMetaBase::inUse);
  keep(&DbMetaBase::is3DObject);
  keep(&DbMetaBase::set3DObjectFlag);
  keep(&DbMetaBase::isNewObject);
  keep(&DbMetaBase::setNewObject);
  keep(MetaAccess::kGetDirectData);
  keep(MetaAccess::kGetLimitMap);
  keep(MetaAccess::kGetMaxPackedDataId);
  keep(MetaAccess::kHasDirectData);
  keep(RegistryAccess::kGetMetaLocal);
  keep(&DbType2MetaMap::getFreeMeta);
  keep(&IDbDataSchema::getSmallInstance);
}

}  // namespace tarvex::internal

// The static constants of the exported classes, emitted here so that the
// class exports them: another module that binds one to a reference, as a
// comparison in a test does, imports it from the library.
constexpr unsigned short DbData::kFirstTableDataId;
constexpr unsigned short DbData::kTableSize;
constexpr unsigned short DbData::kDefaultLastEntryDataId;
constexpr std::uint32_t DbData::kLastEntrySortId;
constexpr std::uint32_t DbData::kBackPackingOffset;
constexpr unsigned short DbData::kValidFlag;
constexpr unsigned char DbDataModel2DataBaseTypeMap::kTableSize;
constexpr char DbDataModel2DataBaseTypeMap::kUndefinedDatabaseType;
constexpr int DbKitState::kModelTypeClashLine;
constexpr unsigned DbKitState::kKitMetaClassSlots;
constexpr unsigned short DbMetaBase::kDirectDataSpare;
constexpr std::uint32_t DbMetaBase::kMaxNestingDepth;
