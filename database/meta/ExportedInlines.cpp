// An exported class exports all its members, the ones defined inline in its
// header too: callers keep the inline copies for speed, while a binary that
// calls one out of line finds it in the library. This file is compiled
// without inlining, so each call below needs the member's out-of-line copy,
// which the class then exports, under every compiler (the export map keeps
// the rest of what it emits local; a DLL exports only what dllexport marks).
// A new inline member of these classes needs its call here, a new static
// constant its line at the end; the exported-symbols test tells.
#include "DbData.h"
#include "DbDataId2DataMap.h"
#include "DbDataList.h"
#include "DbDataModel2DataBaseTypeMap.h"
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
// Names the protected members, for the calls below.
struct MetaAccess : DbMetaBase {
  static constexpr auto kGetDirectData = &MetaAccess::getDirectData;
  static constexpr auto kGetLimitMap = &MetaAccess::getLimitMap;
  static constexpr auto kGetMaxPackedDataId = &MetaAccess::getMaxPackedDataId;
  static constexpr auto kHasDirectData = &MetaAccess::hasDirectData;
};
struct RegistryAccess : DbMetaManagerBase {
  static constexpr auto kGetMetaLocal = &RegistryAccess::getMetaLocal;
};
}  // namespace

// Never called: only the calls it contains matter.
void keepExportedInlineMembers(DbData& data, const DbDataId2DataMap& map, DbMetaBase& meta,
                               const DbMetaManager& manager, const DbMetaManagerBase& registry,
                               DbType2MetaMap& pool) {
  DbData value(DbData::kFirstTableDataId);
  static_cast<void>(data.getDataId());
  static_cast<void>(data.getDatabaseType());
  static_cast<void>(DbData::getSortId(0));
  static_cast<void>(data.getUnknownDataType());
  static_cast<void>(data.hasUnknownData());
  static_cast<void>(DbData::isBackPackedDatatId(0));
  static_cast<void>(data.isBitOn(0));
  static_cast<void>(DbData::isLastEntryDataId(0));
  static_cast<void>(data < value);
  static_cast<void>(data == value);
  static_cast<void>(DbData::sortDbData(&data, &value));
  data.switchBitOff(0);
  data.switchBitOn(0);
  static_cast<void>(map.getData(0));
  static_cast<void>(DbDataModel2DataBaseTypeMap::getDatabaseType(0));
  meta.DbMetaBase::clear();
  static_cast<void>(meta.DbMetaBase::setObject(nullptr, 0));
  static_cast<void>(meta.getBuildStamp());
  meta.setBuildStamp(0);
  static_cast<void>(meta.getCreated());
  meta.setCreated(nullptr, false);
  static_cast<void>(meta.getData(0));
  static_cast<void>(meta.getDeleteObject());
  meta.setDeleteObject(false);
  static_cast<void>((meta.*MetaAccess::kGetDirectData)(0));
  static_cast<void>(DbMetaBase::getLastUsedPackedDataId());
  static_cast<void>((meta.*MetaAccess::kGetLimitMap)());
  static_cast<void>((meta.*MetaAccess::kGetMaxPackedDataId)());
  static_cast<void>(DbMetaBase::getPackedDataId(0));
  static_cast<void>(meta.getStringLimitMap());
  static_cast<void>((meta.*MetaAccess::kHasDirectData)());
  static_cast<void>(meta.inUse());
  static_cast<void>(meta.is3DObject());
  meta.set3DObjectFlag(false);
  static_cast<void>(meta.isNewObject());
  meta.setNewObject(false);
  static_cast<void>(manager.DbMetaManager::getMeta(0));
  static_cast<void>((registry.*RegistryAccess::kGetMetaLocal)(0));
  static_cast<void>(pool.getFreeMeta(0));
  static_cast<void>(IDbDataSchema::getSmallInstance());
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
constexpr unsigned short DbMetaBase::kDirectDataSpare;
