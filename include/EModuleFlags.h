// EModuleFlags: the library's trace state "Meta", whose switch gates every
// debug trace of the library. Loading the library constructs it before the
// module object, and unloading destroys it after.
#pragma once

#include "ETraceState.h"
#include "TarvexExport.h"

class TARVEX_EXPORT EModuleFlags : public ETraceState {
 public:
  using ETraceState::ETraceState;
  ~EModuleFlags() override;
};
