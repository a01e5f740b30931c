// An exported class exports all its members, the ones defined inline in its
// header too: callers keep the inline copies for speed, while a binary that
// calls one out of line finds it in the library. This file is compiled
// without inlining, so each call below needs the member's out-of-line copy,
// which the class then exports, under every compiler (the export map keeps
// the rest of what it emits local; a DLL exports only what dllexport marks).
// A new inline member of these classes needs its call here, a new static
// constant its line at the end; the exported-symbols test tells.
#include <cstring>

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

// Every result is stored, so that no call is dropped as one without effect.
volatile unsigned char s_Sink = 0;
template <typename T>
void keep(const T& result) {
  unsigned char first = 0;
  std::memcpy(&first, &result, 1);
  s_Sink = first;
}
}  // namespace

// Never called: only the calls it contains matter.
void keepExportedInlineMembers(DbData& data, const DbDataId2DataMap& map, DbMetaBase& meta,
                               const DbMetaManager& manager, const DbMetaManagerBase& registry,
                               DbType2MetaMap& pool) {
  DbData value(DbData::kFirstTableDataId);
  keep(data.getDataId());
  keep(data.getDatabaseType());
  keep(DbData::getSortId(0));
  keep(data.getUnknownDataType());
  keep(data.hasUnknownData());
  keep(DbData::isBackPackedDatatId(0));
  keep(data.isBitOn(0));
  keep(DbData::isLastEntryDataId(0));
  keep(data < value);
  keep(data == value);
  keep(DbData::sortDbData(&data, &value));
  data.switchBitOff(0);
  data.switchBitOn(0);
  keep(map.getData(0));
  keep(DbDataModel2DataBaseTypeMap::getDatabaseType(0));
  meta.DbMetaBase::clear();
  keep(meta.DbMetaBase::setObject(nullptr, 0));
  keep(meta.getBuildStamp());
  meta.setBuildStamp(0);
  keep(meta.getCreated());
  meta.setCreated(nullptr, false);
  keep(meta.getData(0));
  keep(meta.getDeleteObject());
  meta.setDeleteObject(false);
  keep((meta.*MetaAccess::kGetDirectData)(0));
  keep(DbMetaBase::getLastUsedPackedDataId());
  keep((meta.*MetaAccess::kGetLimitMap)());
  keep((meta.*MetaAccess::kGetMaxPackedDataId)());
  keep(DbMetaBase::getPackedDataId(0));
  keep(meta.getStringLimitMap());
  keep((meta.*MetaAccess::kHasDirectData)());
  keep(meta.inUse());
  keep(meta.is3DObject());
  meta.set3DObjectFlag(false);
  keep(meta.isNewObject());
  meta.setNewObject(false);
  keep(manager.DbMetaManager::getMeta(0));
  keep((registry.*RegistryAccess::kGetMetaLocal)(0));
  keep(pool.getFreeMeta(0));
  keep(IDbDataSchema::getSmallInstance());
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
