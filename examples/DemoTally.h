// DemoTally: what tarvex-demo counts as it goes. Values read back through a
// meta and compared with what was written are counted apart from every
// other check; the first few failures of each are kept, named.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "DbObjectId.h"
#include "EPoint.h"
#include "EString.h"
#include "ETime.h"

namespace tarvex_demo {

// A datum as the report writes it.
std::string text(bool value);
std::string text(char value);
std::string text(short value);
std::string text(std::int32_t value);
std::string text(float value);
std::string text(double value);
std::string text(const EString& value);
std::string text(const EPoint& value);
std::string text(const EPoint3D& value);
std::string text(const ebas::ETime& value);
std::string text(const DbObjectId& value);
// A type id with its sample name: "beam (22)".
std::string typeText(unsigned short typeId);

class Tally {
 public:
  explicit Tally(unsigned thread = 0) : m_Thread(thread) {}

  void setRequest(std::uint32_t request) { m_Request = request; }

  // A value of `dataId` (element `element` of it, if not negative) in a meta
  // of `typeId`, read back as `found` (none: the meta has no such value).
  template <class T>
  void value(unsigned short typeId, unsigned short dataId, const T& expected,
             const std::optional<T>& found, long long element = -1) {
    ++m_Values;
    if (found.has_value() && *found == expected) return;
    ++m_WrongValues;
    keep(typeText(typeId) + ", data id " + std::to_string(dataId) +
         (element >= 0 ? " element " + std::to_string(element) : "") + ": expected " +
         text(expected) + ", found " + (found.has_value() ? text(*found) : "no value"));
  }
  // Any other check, about a meta of `typeId`; the message is made only for
  // a failure, so the request path stays cheap.
  void check(bool ok, unsigned short typeId, const char* what, long long number = -1) {
    ++m_Checks;
    if (ok) return;
    ++m_FailedChecks;
    keep(typeText(typeId) + ": " + what + (number >= 0 ? " " + std::to_string(number) : ""));
  }
  // Adds `other`'s counts, and its failures after this one's.
  void add(const Tally& other);

  std::uint64_t values() const { return m_Values; }
  std::uint64_t wrongValues() const { return m_WrongValues; }
  std::uint64_t checks() const { return m_Checks; }
  std::uint64_t failedChecks() const { return m_FailedChecks; }
  const std::vector<std::string>& failures() const { return m_Failures; }

 private:
  void keep(const std::string& what);

  unsigned m_Thread;
  std::uint32_t m_Request = 0;
  std::uint64_t m_Values = 0;
  std::uint64_t m_WrongValues = 0;
  std::uint64_t m_Checks = 0;
  std::uint64_t m_FailedChecks = 0;
  std::vector<std::string> m_Failures;
};

}  // namespace tarvex_demo
