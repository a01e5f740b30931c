/// @class EPropertyList
/// Named text properties of an object.
#pragma once

#include <map>
#include <string>

#include "QuessanExport.h"

class QUESSAN_EXPORT EPropertyList {
 public:
  EPropertyList() = default;
  ///@{
  /// Copies every property.
  EPropertyList(const EPropertyList&) = default;
  EPropertyList& operator=(const EPropertyList&) = default;
  ///@}
  virtual ~EPropertyList();

  /// Sets property `name` to `value`, replacing an earlier value.
  void setProperty(const std::wstring& name, const std::wstring& value) {
    m_Properties[name] = value;
  }
  /// Empty text when the property is not set.
  std::wstring getProperty(const std::wstring& name) const;
  /// Number of properties set.
  std::size_t size() const { return m_Properties.size(); }
  /// Whether no property is set.
  bool empty() const { return m_Properties.empty(); }
  /// Same names with the same values.
  bool operator==(const EPropertyList& o) const { return m_Properties == o.m_Properties; }

 private:
  std::map<std::wstring, std::wstring> m_Properties;
};
