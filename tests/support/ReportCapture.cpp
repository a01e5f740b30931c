#include "ReportCapture.h"

#include "EString.h"

namespace tarvex_test {

ReportCapture::ReportCapture() {
  m_Previous = setTraceSink([this](const TraceRecord& record) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Records.push_back(record);
  });
}

ReportCapture::~ReportCapture() { setTraceSink(m_Previous); }

std::vector<TraceRecord> ReportCapture::records() const {
  std::lock_guard<std::mutex> lock(m_Mutex);
  return m_Records;
}

std::vector<TraceRecord> ReportCapture::ofKind(TraceRecord::Kind kind) const {
  std::lock_guard<std::mutex> lock(m_Mutex);
  std::vector<TraceRecord> matching;
  for (const TraceRecord& record : m_Records) {
    if (record.kind == kind) matching.push_back(record);
  }
  return matching;
}

std::vector<TraceRecord> ReportCapture::assertions() const {
  return ofKind(TraceRecord::Kind::Assertion);
}

std::vector<TraceRecord> ReportCapture::traces() const { return ofKind(TraceRecord::Kind::Trace); }

void ReportCapture::clear() {
  std::lock_guard<std::mutex> lock(m_Mutex);
  m_Records.clear();
}

std::string narrow(const std::wstring& text) { return EString(text).toUtf8(); }

}  // namespace tarvex_test
