#include "Reporting.h"

#include "EAssertAndTrace.h"

EModuleFlags::~EModuleFlags() = default;

namespace tarvex::internal {

void reportAssert(const wchar_t* text, ReportSite site) {
  EAssertAndTrace().outputAssertMsgAct(text, EString(site.file), site.line);
}

void reportAssert(const EString& text, ReportSite site) {
  EAssertAndTrace().outputAssertMsgAct(text, EString(site.file), site.line);
}

EModuleFlags& metaTraceState() {
  static EModuleFlags state(L"Meta");
  return state;
}

bool isMetaTraceOn() { return metaTraceState().m_bTraceOn; }

void traceMeta(const wchar_t* text, ReportSite site) {
  if (!isMetaTraceOn()) return;
  EAssertAndTrace(EString("Meta"), EString(site.file), site.line).outputDbgFormString(text);
}

void traceMeta(const EString& text, ReportSite site) {
  if (!isMetaTraceOn()) return;  // GCOVR_EXCL_BR_LINE
  EAssertAndTrace(EString("Meta"), EString(site.file), site.line).outputDbgFormString(text);
}

EString composeText(const wchar_t* text, std::initializer_list<EString> pieces) {
  EString composed;
  const EString* piece = pieces.begin();
  // Every text comes with as many pieces as it has placeholders, each
  // closed; the tests for a missing piece or brace only keep a text that
  // breaks this within its bounds.
  for (const wchar_t* c = text; *c != L'\0'; ++c) {
    if (*c != L'{' || piece == pieces.end()) {  // GCOVR_EXCL_BR_LINE
      composed += *c;
      continue;
    }
    while (*c != L'\0' && *c != L'}') ++c;  // GCOVR_EXCL_BR_LINE
    composed += *piece++;
    if (*c == L'\0') break;  // GCOVR_EXCL_BR_LINE
  }
  return composed;
}

EString classNameOf(const EObject& object) {
  EString name;
  object.getClassName(name);
  return name;
}

}  // namespace tarvex::internal
