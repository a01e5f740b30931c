/// @file
/// EAssertAndTrace: assertion reports and debug traces.
///
/// Every report and trace of the process goes to one sink, which is
/// thread-safe: callers on any thread may report at once. The default sink
/// writes one line per call to stderr; tests and programs may install their
/// own (setTraceSink) and then receive each call exactly as passed.
///
/// Calls to the sink never overlap. A sink may report and may replace the
/// sink: a report it makes (on its own thread, while it runs) is written to
/// stderr rather than passed to the sink again, which could recurse without
/// end, and the call returns. A replacement takes effect for the next report;
/// the running sink finishes its call.
#pragma once

#include <cstdarg>
#include <functional>
#include <string>

#include "EString.h"
#include "MiltoraExport.h"

/// One report or trace, as the sink receives it.
struct TraceRecord {
  /// Contract-failure report or debug trace.
  enum class Kind { Assertion, Trace };
  /// Which of the two this record is.
  Kind kind;
  /// The trace category; empty for assertions.
  std::wstring category;  // empty for assertions
  /// The text, formatted.
  std::wstring text;
  ///@{
  /// Where the report or trace was made.
  std::wstring file;
  int line;
  ///@}
};

/// Receives every report and trace of the process.
using TraceSink = std::function<void(const TraceRecord&)>;

/// Installs `sink` (an empty one restores the stderr sink); returns the
/// previous one. Once it returns, the previous sink runs no more, except for
/// the call that made this one. REQUIRES: the sink is callable from any
/// thread.
MILTORA_EXPORT TraceSink setTraceSink(TraceSink sink);

/// Reports contract failures and writes debug traces to the process's sink.
class MILTORA_EXPORT EAssertAndTrace {
 public:
  /// For contract-failure reports.
  EAssertAndTrace();
  /// For debug traces of a category.
  EAssertAndTrace(const EString& category, const EString& file, int line);

  ///@{
  /// Reports a contract failure at `file`:`line`; the text goes to the sink unchanged.
  void outputAssertMsgAct(const EString& text, const EString& file, int line) const;
  void outputAssertMsgAct(const wchar_t* text, const EString& file, int line) const;
  ///@}

  ///@{
  /// Writes a debug trace of the category, printf-style; with the text alone
  /// the text is written verbatim, so a `%` in it is never read as a
  /// conversion.
  void outputDbgFormString(const EString& text) const { emitTrace(text); }
  void outputDbgFormString(const wchar_t* text) const { emitTrace(text); }
  template <typename First, typename... Rest>
  void outputDbgFormString(const wchar_t* format, First first, Rest... rest) const {
    formatTrace(format, first, rest...);
  }
  template <typename First, typename... Rest>
  void outputDbgFormString(const EString& format, First first, Rest... rest) const {
    formatTrace(format.c_str(), first, rest...);
  }
  ///@}

 private:
  void emitTrace(const std::wstring& text) const;
  void formatTrace(const wchar_t* format, ...) const;

  std::wstring m_Category;
  std::wstring m_File;
  int m_Line = 0;
};
