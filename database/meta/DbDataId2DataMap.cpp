#include "DbDataId2DataMap.h"

#include "DbData.h"
#include "EString.h"

DbDataId2DataMap::~DbDataId2DataMap() = default;

bool DbDataId2DataMap::addData(unsigned short dataId, DbData* value) {
  if (getData(dataId) != nullptr) return false;
  (*this)[dataId] = value;
  return true;
}

DbData* DbDataId2DataMap::replaceData(unsigned short dataId, DbData* value) {
  auto it = find(dataId);
  if (it == end() || it->second == nullptr) return nullptr;
  DbData* previous = it->second;
  it->second = value;
  return previous;
}

void DbDataId2DataMap::clearAndDestroyElements() {
  for (auto& entry : *this) {
    // Entries holding null count as absent and own nothing.
    if (entry.second == nullptr) continue;
    entry.second->clear();
    entry.second->purge();
  }
  clear();
}

bool DbDataId2DataMap::getAsString(EString& out) const {
  out.makeEmpty();
  bool allConverted = true;
  EString scratch;
  for (const auto& entry : *this) {
    if (entry.second == nullptr) continue;
    allConverted = entry.second->getAsString(scratch) && allConverted;
    out += scratch;
  }
  return allConverted;
}
