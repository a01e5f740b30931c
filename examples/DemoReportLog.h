// DemoReportLog: the reports and traces of a tarvex-demo run, caught.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "EAssertAndTrace.h"

namespace tarvex_demo {

// Every report and trace of the run, through the trace sink, from any
// thread; echoed to stderr at once if asked.
class ReportLog {
 public:
  explicit ReportLog(bool echo);
  ~ReportLog();
  ReportLog(const ReportLog&) = delete;
  ReportLog& operator=(const ReportLog&) = delete;

  // Traces taken from here on are expected (the dump's) until endExpected().
  void beginExpected();
  std::vector<std::string> endExpected();
  std::vector<std::string> unexpected() const;

 private:
  void take(const TraceRecord& record);

  bool m_bEcho;
  TraceSink m_Previous;
  mutable std::mutex m_Mutex;
  bool m_bExpecting = false;
  std::vector<std::string> m_Expected;
  std::vector<std::string> m_Unexpected;
};

}  // namespace tarvex_demo
