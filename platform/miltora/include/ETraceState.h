/// @class ETraceState
/// A named trace switch.
///
/// The switch is a plain public Boolean that owners read directly on their hot
/// paths. The trace system can switch every live state of a name at once
/// (switchTrace); do that while no other thread reads the switch.
#pragma once

#include <string>

#include "MiltoraExport.h"

class MILTORA_EXPORT ETraceState {
 public:
  explicit ETraceState(const wchar_t* name);
  ETraceState(const ETraceState&) = delete;
  ETraceState& operator=(const ETraceState&) = delete;
  virtual ~ETraceState();

  const std::wstring& getName() const { return m_Name; }

  /// Sets the switch of every live trace state named `name`; returns how many.
  static int switchTrace(const std::wstring& name, bool on);

  bool m_bTraceOn = false;

 private:
  std::wstring m_Name;
};
