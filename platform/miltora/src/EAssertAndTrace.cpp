#include "EAssertAndTrace.h"

#include <cstdio>
#include <cwchar>
#include <memory>
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
  // Shared, so a sink that replaces the sink runs to its end all the same.
  std::shared_ptr<const TraceSink> sink = std::make_shared<const TraceSink>(writeToStderr);
};

// Leaked on purpose: reports may come from static destructors of any library.
SinkState& sinkState() {
  static auto* state = new SinkState;
  return *state;
}

// True while this thread runs the sink, and so holds the sink lock.
thread_local bool t_InSink = false;

class InSink {
 public:
  InSink() { t_InSink = true; }
  ~InSink() { t_InSink = false; }
  InSink(const InSink&) = delete;
  InSink& operator=(const InSink&) = delete;
};

void deliver(const TraceRecord& record) {
  // The sink reporting itself: taking the lock again would deadlock, and
  // calling the sink again could recurse without end.
  if (t_InSink) {
    writeToStderr(record);
    return;
  }
  SinkState& state = sinkState();
  std::lock_guard<std::mutex> lock(state.mutex);
  const std::shared_ptr<const TraceSink> sink = state.sink;
  InSink running;
  (*sink)(record);
}

}  // namespace

TraceSink setTraceSink(TraceSink sink) {
  auto replacement =
      std::make_shared<const TraceSink>(sink ? std::move(sink) : TraceSink(writeToStderr));
  SinkState& state = sinkState();
  std::unique_lock<std::mutex> lock(state.mutex, std::defer_lock);
  // Called from within the sink, this thread already holds the lock.
  if (!t_InSink) lock.lock();
  TraceSink previous = *state.sink;  // copied first: a failed copy changes nothing
  state.sink = std::move(replacement);
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
