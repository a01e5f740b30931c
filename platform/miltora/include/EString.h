/// @class EString
/// Wide-character string of the base library.
///
/// A std::wstring with a virtual destructor, so it can be held and joined with
/// the standard wide-string operators. Distinct objects may be used from
/// different threads at once; one object is not synchronised.
#pragma once

#include <string>

#include "MiltoraExport.h"

class MILTORA_EXPORT EString : public std::wstring {
 public:
  EString() = default;
  /// ASCII text, widened byte by byte.
  EString(const char* text);  // NOLINT(google-explicit-constructor)
  /// REQUIRES: length is std::wstring::npos (whole zero-terminated text) or
  /// the number of characters to take.
  EString(const wchar_t* text, size_type length = std::wstring::npos);
  /// A copy of `text`.
  EString(const std::wstring& text);  // NOLINT(google-explicit-constructor)
  ///@{
  /// Copies or moves as std::wstring does.
  EString(const EString& other) = default;
  EString(EString&& other) noexcept = default;
  ///@}
  virtual ~EString();

  ///@{
  /// Assigns as std::wstring does.
  EString& operator=(const EString& other) = default;
  EString& operator=(EString&& other) noexcept = default;
  EString& operator=(const std::wstring& text);
  ///@}

  ///@{
  /// Appends as std::wstring does.
  EString& operator+=(const std::wstring& text);
  EString& operator+=(const wchar_t* text);
  EString& operator+=(wchar_t ch);
  ///@}

  /// Removes every character.
  void makeEmpty();

  ///@{
  /// Replace the content by the number in decimal.
  EString& set(unsigned short number);
  EString& set(int number);
  EString& set(unsigned int number);
  ///@}

  /// UTF-8 form, for narrow output (stderr, test messages).
  std::string toUtf8() const;
};
