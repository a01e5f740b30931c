// Captures every assertion report and trace while alive, for exact checks of
// text, file and line. Thread-safe: reports may come from any thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "EAssertAndTrace.h"

namespace tarvex_test {

class ReportCapture {
 public:
  ReportCapture();
  ~ReportCapture();
  ReportCapture(const ReportCapture&) = delete;
  ReportCapture& operator=(const ReportCapture&) = delete;

  std::vector<TraceRecord> records() const;
  std::vector<TraceRecord> assertions() const;
  std::vector<TraceRecord> traces() const;
  void clear();

 private:
  std::vector<TraceRecord> ofKind(TraceRecord::Kind kind) const;

  mutable std::mutex m_Mutex;
  std::vector<TraceRecord> m_Records;
  TraceSink m_Previous;
};

// UTF-8 form of a wide text, for readable assertions.
std::string narrow(const std::wstring& text);

}  // namespace tarvex_test
