// Data-id packing and direct data pointers: the process-wide packing table
// and one meta's direct array, handed in by the meta that owns them.
#pragma once

#include "DbData.h"
#include "DbDataList.h"

namespace tarvex::internal {

// The packing table (packed id of every data id, 0: not packed) and the
// packed id handed out last.
struct PackingTable {
  unsigned short (&packedIds)[65536];
  unsigned short& lastUsed;
};

// One meta's direct array, its bound, whether it gave the array up for want
// of packed ids, and the values it lists.
struct DirectData {
  DbData**& slots;
  unsigned short& bound;
  bool& exhausted;
  const DbDataList& listed;
};

// Forgets every packed id.
void clearDataIdPacking(PackingTable table);
// Packs the value's data id and gives it its slot, rebuilding the array with
// `spare` free slots above the highest packed id when the id lies beyond the
// bound; see DbMetaBase::setupDirectDataPtr.
void setupDirectData(PackingTable table, DirectData direct, DbData* value, unsigned short spare);

}  // namespace tarvex::internal
