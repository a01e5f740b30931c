// An exported class exports all its members, the ones defined inline in its
// header too: callers keep the inline copies for speed, while a binary that
// calls one out of line finds it in the library. The build compiles this file
// alone with the compiler's option that emits every inline function, used or
// not (GCC: keep-inline-functions, Clang: emit-all-decls), so every inline
// member of these headers gets an out-of-line copy here. Of all it emits, only
// the library's own classes leave the library: the export map keeps the rest
// local, and a DLL exports only what dllexport marks. A new static constant of
// these classes needs its line at the end of this file.
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
