/// @class ebas::ETime
/// A point in time, seconds since the epoch (UTC).
#pragma once

#include <cstdint>

#include "MiltoraExport.h"

namespace ebas {

class MILTORA_EXPORT ETime {
 public:
  ETime() = default;
  explicit ETime(std::int64_t secondsSinceEpoch) : m_Seconds(secondsSinceEpoch) {}
  std::int64_t seconds() const { return m_Seconds; }
  bool operator==(const ETime& o) const { return m_Seconds == o.m_Seconds; }
  bool operator!=(const ETime& o) const { return !(*this == o); }

 private:
  std::int64_t m_Seconds = 0;
};

}  // namespace ebas
