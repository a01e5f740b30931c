// An exported class exports all its members, the ones defined inline in its
// header too: callers keep the inline copies for speed, while a binary that
// calls one out of line finds it in the library, as it does on Windows, where
// dllexport emits them. Elsewhere the build compiles this file alone with the
// compiler's keep-inline-functions option, so every inline member of these
// headers gets an out-of-line copy here; the export map keeps all but the
// library's own classes local.
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
