// Contract-failure reports and "Meta" debug traces, as every class of the
// library sends them.
#pragma once

#include <string>

#include "EObject.h"
#include "EString.h"

namespace tarvex::internal {

extern const char* const
    kAssertImplementInSubclasses;       // "VORASSERT (implement_in_subclasses) failed"
extern const char* const kAssertFalse;  // "VORASSERT (false) failed"

// Report through a default-constructed EAssertAndTrace's outputAssertMsgAct.
void reportAssert(const EString& text, const EString& file, int line);
void reportAssert(const wchar_t* text, const EString& file, int line);

// `before` + the object's class name + `after`: the shape of every message
// that names the reporting object's class.
EString textNamingClass(const std::wstring& before, const EObject& object, const wchar_t* after);

// True while the module's "Meta" trace switch is on.
bool isMetaTraceOn();
// Debug trace under category "Meta", written only while the switch is on.
void traceMeta(const EString& text, const EString& file, int line);

}  // namespace tarvex::internal
