#include "EPropertyList.h"

EPropertyList::~EPropertyList() = default;

std::wstring EPropertyList::getProperty(const std::wstring& name) const {
  auto it = m_Properties.find(name);
  return it == m_Properties.end() ? std::wstring() : it->second;
}
