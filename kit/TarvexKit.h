/// @file
/// The provider kit in one include: value classes, typed keys (for values,
/// embedded objects and containers), the meta class template, the
/// borrowed-meta handle, a schema base and a ready recording schema, the
/// tables' and the framework's scopes, and meta-table registration.
#pragma once

#include "DbBorrowedMeta.h"
#include "DbDataKey.h"
#include "DbEmbeddedValue.h"
#include "DbFrameworkScope.h"
#include "DbMetaCore.h"
#include "DbMetaImpl.h"
#include "DbMetaTableRegistration.h"
#include "DbRecordingSchema.h"
#include "DbReferenceContainerValue.h"
#include "DbReferenceValue.h"
#include "DbSchemaBase.h"
#include "DbStructureKeys.h"
#include "DbTablesScope.h"
#include "DbValue.h"
#include "DbValueBase.h"
