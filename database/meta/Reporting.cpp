#include "Reporting.h"

#include "EAssertAndTrace.h"
#include "ModuleObjects.h"

namespace tarvex::internal {

const char* const kAssertImplementInSubclasses = "VORASSERT (implement_in_subclasses) failed";
const char* const kAssertFalse = "VORASSERT (false) failed";

void reportAssert(const EString& text, const EString& file, int line) {
  EAssertAndTrace().outputAssertMsgAct(text, file, line);
}

void reportAssert(const wchar_t* text, const EString& file, int line) {
  EAssertAndTrace().outputAssertMsgAct(text, file, line);
}

EString textNamingClass(const std::wstring& before, const EObject& object, const wchar_t* after) {
  EString name;
  object.getClassName(name);
  EString text(before);
  text += name;
  text += after;
  return text;
}

bool isMetaTraceOn() { return g_MetaTraceState.m_bTraceOn; }

void traceMeta(const EString& text, const EString& file, int line) {
  if (!isMetaTraceOn()) return;
  EAssertAndTrace(EString("Meta"), file, line).outputDbgFormString(text);
}

}  // namespace tarvex::internal
