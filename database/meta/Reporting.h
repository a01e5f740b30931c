// Contract-failure reports and "Meta" debug traces, as every class of the
// library sends them.
#pragma once

#include "EString.h"

namespace tarvex::internal {

extern const char* const
    kAssertImplementInSubclasses;       // "VORASSERT (implement_in_subclasses) failed"
extern const char* const kAssertFalse;  // "VORASSERT (false) failed"

// Report through a default-constructed EAssertAndTrace's outputAssertMsgAct.
void reportAssert(const EString& text, const EString& file, int line);
void reportAssert(const wchar_t* text, const EString& file, int line);

// True while the module's "Meta" trace switch is on.
bool isMetaTraceOn();
// Debug trace under category "Meta", written only while the switch is on.
void traceMeta(const EString& text, const EString& file, int line);

}  // namespace tarvex::internal
