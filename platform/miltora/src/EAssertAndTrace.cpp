#include "EAssertAndTrace.h"

#include <cstdio>
#include <cwchar>
#include <mutex>
#include <vector>

namespace {

void writeToStderr(const TraceRecord& record) {
  const char* kind = record.kind == TraceRecord::Kind::Assertion ? "ASSERT" : "TRACE";
  std::fprintf(stderr, "[%s%s%s] %s (%s:%d)\n", kind, record.category.empty() ? "" : " ",
               EString(record.category).toUtf8().c_str(), EString(record.text).toUtf8().c_str(),
               EString(record.file).toUtf8().c_str(), record.line);
}

struct SinkState {
  std::mutex mutex;
  TraceSink sink = writeToStderr;
};

// Leaked on purpose: reports may come from static destructors of any library.
SinkState& sinkState() {
  static auto* state = new SinkState;
  return *state;
}

void deliver(const TraceRecord& record) {
  SinkState& state = sinkState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.sink(record);
}

}  // namespace

TraceSink setTraceSink(TraceSink sink) {
  SinkState& state = sinkState();
  std::lock_guard<std::mutex> lock(state.mutex);
  TraceSink previous = std::move(state.sink);
  state.sink = sink ? std::move(sink) : TraceSink(writeToStderr);
  return previous;
}

EAssertAndTrace::EAssertAndTrace() = default;

EAssertAndTrace::EAssertAndTrace(const EString& category, const EString& file, int line)
    : m_Category(category), m_File(file), m_Line(line) {}

void EAssertAndTrace::outputAssertMsgAct(const EString& text, const EString& file, int line) const {
  deliver(TraceRecord{TraceRecord::Kind::Assertion, std::wstring(), text, file, line});
}

void EAssertAndTrace::outputAssertMsgAct(const wchar_t* text, const EString& file, int line) const {
  deliver(TraceRecord{TraceRecord::Kind::Assertion, std::wstring(), text != nullptr ? text : L"",
                      file, line});
}

void EAssertAndTrace::emitTrace(const std::wstring& text) const {
  deliver(TraceRecord{TraceRecord::Kind::Trace, m_Category, text, m_File, m_Line});
}

void EAssertAndTrace::formatTrace(const wchar_t* format, ...) const {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    va_list args;
    va_start(args, format);
    int written = std::vswprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    // vswprintf reports truncation only as -1; grow until it fits or the
    // format itself is at fault.
    if (written >= 0) {
      emitTrace(std::wstring(buffer.data(), static_cast<std::size_t>(written)));
      return;
    }
    if (buffer.size() >= (1u << 20)) {
      emitTrace(format);
      return;
    }
    buffer.resize(buffer.size() * 2);
  }
}
