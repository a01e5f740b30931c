// The schema and unknown-object interfaces: only their set-up, tear-down and
// the process-wide schema pointer live in the library.
#include "IDbDataSchema.h"

#include "DbKitState.h"
#include "IDbUnknownObjectMeta.h"

IDbDataSchema* IDbDataSchema::sm_pInstance = nullptr;

IDbDataSchema::IDbDataSchema() = default;

// An interface carries no state, so a copy takes none over.
IDbDataSchema::IDbDataSchema(const IDbDataSchema&) = default;

// A schema of the application's own may end while a kit schema that
// replaced it lives: that one must not put it back.
IDbDataSchema::~IDbDataSchema() { DbKitState::schemaEnding(this); }

IDbDataSchema& IDbDataSchema::operator=(const IDbDataSchema&) = default;

IDbUnknownObjectMeta::IDbUnknownObjectMeta() = default;

IDbUnknownObjectMeta::IDbUnknownObjectMeta(const IDbUnknownObjectMeta&) = default;

// Pure, yet defined: every implementation's destructor runs this one.
IDbUnknownObjectMeta::~IDbUnknownObjectMeta() = default;

IDbUnknownObjectMeta& IDbUnknownObjectMeta::operator=(const IDbUnknownObjectMeta&) = default;
