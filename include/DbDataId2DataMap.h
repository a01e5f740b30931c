/// @class DbDataId2DataMap
/// Hash map from data id to a borrowed DbData pointer.
///
/// The map does not own its values: copying, assigning or destroying it never
/// touches them; clearAndDestroyElements is the one operation that destroys
/// them (clear, then purge, on each).
///
/// Thread safety: none; a map is used by one thread at a time.
#pragma once

#include <unordered_map>

#include "DbData.h"
#include "TarvexExport.h"

/// Data id to value; a null mapped value counts as no entry.
class TARVEX_EXPORT DbDataId2DataMap : public std::unordered_map<unsigned short, DbData*> {
 public:
  DbDataId2DataMap() = default;
  ///@{
  /// Copies the pointers; the values stay shared and unowned.
  DbDataId2DataMap(const DbDataId2DataMap&) = default;
  DbDataId2DataMap& operator=(const DbDataId2DataMap&) = default;
  ///@}
  virtual ~DbDataId2DataMap();

  /// The value of `dataId`, or null.
  DbData* getData(unsigned short dataId) const {
    auto it = find(dataId);
    return it == end() ? nullptr : it->second;
  }
  /// Stores the pair unless `dataId` already has a value; false leaves the
  /// map unchanged and the value with the caller.
  bool addData(unsigned short dataId, DbData* value);
  /// Swaps the value of an existing entry and returns the old one, which the
  /// caller now owns; null (and no change) when there is none.
  DbData* replaceData(unsigned short dataId, DbData* value);
  /// Clears and purges every mapped value, then empties the map.
  void clearAndDestroyElements();
  /// Joins the texts of all values, in map order, without separator; false
  /// if any value's getAsString failed (all are still visited).
  bool getAsString(EString& out) const;
};
