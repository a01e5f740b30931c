/// @file
/// EModuleFlags: the library's trace state "Meta", whose switch gates every
/// debug trace of the library. Loading the library constructs it before the
/// module object, and unloading destroys it after.
#pragma once

#include "ETraceState.h"
#include "TarvexExport.h"

/// The library's trace state "Meta".
class TARVEX_EXPORT EModuleFlags : public ETraceState {
 public:
  /// A switched-off state named `name`.
  using ETraceState::ETraceState;
  ~EModuleFlags() override;
};
