#include "EString.h"

#include <cstdint>
#include <cwchar>

EString::EString(const char* text) {
  if (text == nullptr) return;
  for (const char* p = text; *p != '\0'; ++p)
    push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
}

EString::EString(const wchar_t* text, size_type length) {
  if (text == nullptr) return;
  if (length == std::wstring::npos) {
    assign(text);
  } else {
    assign(text, length);
  }
}

EString::EString(const std::wstring& text) : std::wstring(text) {}

EString::~EString() = default;

EString& EString::operator=(const std::wstring& text) {
  std::wstring::operator=(text);
  return *this;
}

EString& EString::operator+=(const std::wstring& text) {
  append(text);
  return *this;
}

EString& EString::operator+=(const wchar_t* text) {
  if (text != nullptr) append(text);
  return *this;
}

EString& EString::operator+=(wchar_t ch) {
  push_back(ch);
  return *this;
}

void EString::makeEmpty() { clear(); }

EString& EString::set(unsigned short number) { return set(static_cast<unsigned int>(number)); }

EString& EString::set(int number) {
  std::wstring::operator=(std::to_wstring(number));
  return *this;
}

EString& EString::set(unsigned int number) {
  std::wstring::operator=(std::to_wstring(number));
  return *this;
}

std::string EString::toUtf8() const {
  std::string out;
  out.reserve(size());
  for (wchar_t wc : *this) {
    const auto c = static_cast<char32_t>(wc);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}
