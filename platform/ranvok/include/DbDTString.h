/// @class DbDTString
/// String value as the database stores it.
#pragma once

#include <string>

#include "RanvokExport.h"

class RANVOK_EXPORT DbDTString {
 public:
  DbDTString() = default;
  /// A string value holding `text`.
  explicit DbDTString(std::wstring text) : m_Text(std::move(text)) {}
  ///@{
  /// Copies the text.
  DbDTString(const DbDTString&) = default;
  DbDTString& operator=(const DbDTString&) = default;
  ///@}
  virtual ~DbDTString();

  ///@{
  /// The text.
  const std::wstring& getText() const { return m_Text; }
  void setText(const std::wstring& text) { m_Text = text; }
  ///@}
  /// Equal texts.
  bool operator==(const DbDTString& o) const { return m_Text == o.m_Text; }

 private:
  std::wstring m_Text;
};
