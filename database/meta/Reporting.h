// Contract-failure reports and "Meta" debug traces, as every class of the
// library sends them. Depends on the base library alone.
#pragma once

#include <initializer_list>

#include "EModuleFlags.h"
#include "EObject.h"
#include "EString.h"
#include "ReportTexts.h"

namespace tarvex::internal {

// Where a report comes from: ".\" and the reporting file's name, and a line.
// The file is a literal, made into a string only while the report is made,
// so a report from a static destructor at exit never meets a destroyed name.
struct ReportSite {
  const char* file;
  int line;
};

// Report through a default-constructed EAssertAndTrace's outputAssertMsgAct.
void reportAssert(const wchar_t* text, ReportSite site);
void reportAssert(const EString& text, ReportSite site);

// The library's trace state "Meta", made on first use; the module object
// makes it at load, before itself, so that it outlives the module.
EModuleFlags& metaTraceState();
// True while the "Meta" trace switch is on.
bool isMetaTraceOn();
// Debug trace under category "Meta", written only while the switch is on.
void traceMeta(const wchar_t* text, ReportSite site);
void traceMeta(const EString& text, ReportSite site);

// `text` with each "{...}" replaced by the next of `pieces`.
EString composeText(const wchar_t* text, std::initializer_list<EString> pieces);
// The object's class name, for messages that name the reporting object.
EString classNameOf(const EObject& object);

}  // namespace tarvex::internal
