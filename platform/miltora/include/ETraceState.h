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
  /// A switched-off state named `name`, live until destroyed.
  explicit ETraceState(const wchar_t* name);
  ETraceState(const ETraceState&) = delete;
  ETraceState& operator=(const ETraceState&) = delete;
  virtual ~ETraceState();

  /// The name given on construction.
  const std::wstring& getName() const { return m_Name; }

  /// Sets the switch of every live trace state named `name`; returns how many.
  static int switchTrace(const std::wstring& name, bool on);

  /// The switch; off on construction.
  bool m_bTraceOn = false;

 private:
  std::wstring m_Name;
};
