/// @class EPropertyList
/// Named text properties of an object.
#pragma once

#include <map>
#include <string>

#include "QuessanExport.h"

class QUESSAN_EXPORT EPropertyList {
 public:
  EPropertyList() = default;
  EPropertyList(const EPropertyList&) = default;
  EPropertyList& operator=(const EPropertyList&) = default;
  virtual ~EPropertyList();

  void setProperty(const std::wstring& name, const std::wstring& value) {
    m_Properties[name] = value;
  }
  /// Empty text when the property is not set.
  std::wstring getProperty(const std::wstring& name) const;
  std::size_t size() const { return m_Properties.size(); }
  bool empty() const { return m_Properties.empty(); }
  bool operator==(const EPropertyList& o) const { return m_Properties == o.m_Properties; }

 private:
  std::map<std::wstring, std::wstring> m_Properties;
};
