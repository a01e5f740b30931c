// The library's two module-global objects, constructed at load in this order.
#pragma once

#include "MetaModule.h"

namespace tarvex::internal {

extern EModuleFlags g_MetaTraceState;  // "Meta"
extern MetaModule g_MetaModule;

}  // namespace tarvex::internal
