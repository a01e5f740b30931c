/// @file
/// The provider kit in one include: value classes, typed keys, the meta class template,
/// the borrowed-meta handle, a schema base, the tables' scope and meta-table
/// registration.
#pragma once

#include "DbBorrowedMeta.h"
#include "DbDataKey.h"
#include "DbEmbeddedValue.h"
#include "DbMetaCore.h"
#include "DbMetaImpl.h"
#include "DbMetaTableRegistration.h"
#include "DbReferenceContainerValue.h"
#include "DbReferenceValue.h"
#include "DbSchemaBase.h"
#include "DbTablesScope.h"
#include "DbValue.h"
#include "DbValueBase.h"
