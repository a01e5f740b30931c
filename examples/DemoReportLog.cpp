#include "DemoReportLog.h"

#include <cstdio>
#include <utility>

#include "EString.h"

namespace tarvex_demo {

ReportLog::ReportLog(bool echo) : m_bEcho(echo) {
  m_Previous = setTraceSink([this](const TraceRecord& record) { take(record); });
}

ReportLog::~ReportLog() { setTraceSink(m_Previous); }

void ReportLog::beginExpected() {
  std::lock_guard<std::mutex> lock(m_Mutex);
  m_bExpecting = true;
}

std::vector<std::string> ReportLog::endExpected() {
  std::lock_guard<std::mutex> lock(m_Mutex);
  m_bExpecting = false;
  return std::move(m_Expected);
}

std::vector<std::string> ReportLog::unexpected() const {
  std::lock_guard<std::mutex> lock(m_Mutex);
  return m_Unexpected;
}

void ReportLog::take(const TraceRecord& record) {
  const bool assertion = record.kind == TraceRecord::Kind::Assertion;
  std::string text = EString(record.text).toUtf8();
  while (!text.empty() && text.back() == '\n') text.pop_back();
  std::string line = (assertion ? "report: " : "trace: ") + text + " (" +
                     EString(record.file).toUtf8() + ":" + std::to_string(record.line) + ")";
  std::lock_guard<std::mutex> lock(m_Mutex);
  if (m_bEcho) std::fprintf(stderr, "  [%s]\n", line.c_str());
  if (!assertion && m_bExpecting) {
    m_Expected.push_back(text);
  } else {
    m_Unexpected.push_back(std::move(line));
  }
}

}  // namespace tarvex_demo
