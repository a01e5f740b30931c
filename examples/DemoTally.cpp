#include "DemoTally.h"

#include <cstdio>

#include "SampleMetas.h"

namespace tarvex_demo {

namespace {

// Failures kept per thread; the report prints fewer still.
constexpr std::size_t kKeptFailures = 5;

}  // namespace

std::string text(bool value) { return value ? "true" : "false"; }
std::string text(char value) { return std::string("'") + value + "'"; }
std::string text(short value) { return std::to_string(value); }
std::string text(std::int32_t value) { return std::to_string(value); }
std::string text(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}
std::string text(float value) { return text(static_cast<double>(value)); }
std::string text(const EString& value) { return "\"" + value.toUtf8() + "\""; }
std::string text(const EPoint& value) {
  return "(" + text(value.x()) + ", " + text(value.y()) + ")";
}
std::string text(const EPoint3D& value) {
  return "(" + text(value.x()) + ", " + text(value.y()) + ", " + text(value.z()) + ")";
}
std::string text(const ebas::ETime& value) { return std::to_string(value.seconds()) + " s"; }
std::string text(const DbObjectId& value) {
  return "object " + std::to_string(value.getTypeId()) + "/" +
         std::to_string(value.getDatabaseId()) + "/" + std::to_string(value.getObjectNumber());
}

std::string typeText(unsigned short typeId) {
  return std::string(tarvex_sample::sampleTypeName(typeId)) + " (" + std::to_string(typeId) + ")";
}

void Tally::add(const Tally& other) {
  m_Values += other.m_Values;
  m_WrongValues += other.m_WrongValues;
  m_Checks += other.m_Checks;
  m_FailedChecks += other.m_FailedChecks;
  m_Failures.insert(m_Failures.end(), other.m_Failures.begin(), other.m_Failures.end());
}

void Tally::keep(const std::string& what) {
  if (m_Failures.size() >= kKeptFailures) return;
  m_Failures.push_back("thread " + std::to_string(m_Thread) + ", request " +
                       std::to_string(m_Request) + ": " + what);
}

}  // namespace tarvex_demo
