/// @class ebas::ETime
/// A point in time, seconds since the epoch (UTC).
#pragma once

#include <cstdint>

#include "MiltoraExport.h"

namespace ebas {

class MILTORA_EXPORT ETime {
 public:
  ETime() = default;
  /// The time `secondsSinceEpoch` seconds after the epoch.
  explicit ETime(std::int64_t secondsSinceEpoch) : m_Seconds(secondsSinceEpoch) {}
  /// Seconds since the epoch.
  std::int64_t seconds() const { return m_Seconds; }
  ///@{
  /// Equal seconds.
  bool operator==(const ETime& o) const { return m_Seconds == o.m_Seconds; }
  bool operator!=(const ETime& o) const { return !(*this == o); }
  ///@}

 private:
  std::int64_t m_Seconds = 0;
};

}  // namespace ebas
