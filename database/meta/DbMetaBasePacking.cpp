// Data-id packing and the direct data pointers of metas that support them.
#include "DbMetaBasePacking.h"

#include <algorithm>
#include <iterator>

#include "Reporting.h"

namespace tarvex::internal {

namespace {

// Where this file's reports come from.
constexpr ReportSite kValueWithoutSlot{files::kDbMetaBase, 145};

// Packed ids are 16-bit and 0 means "not packed", so 65535 ids is the most a
// process can hand out; the direct-array bound saturates at the same value.
constexpr unsigned short kHighestPackedId = 0xFFFF;

// The packed id of `dataId`, handing out the next one if it has none yet.
// Once every 16-bit packed id is taken, the id stays unpacked (0) rather than
// wrap onto 0, which marks "not packed" and is never a slot.
unsigned short packDataId(unsigned short (&table)[65536], unsigned short& lastUsed,
                          unsigned short dataId) {
  unsigned short& entry = table[dataId];
  if (entry == 0 && lastUsed != kHighestPackedId) entry = ++lastUsed;
  return entry;
}

}  // namespace

void clearDataIdPacking(PackingTable table) {
  std::fill(std::begin(table.packedIds), std::end(table.packedIds), static_cast<unsigned short>(0));
  table.lastUsed = 0;
}

void setupDirectData(PackingTable table, DirectData direct, DbData* value, unsigned short spare) {
  const unsigned short packed = packDataId(table.packedIds, table.lastUsed, value->getDataId());

  if (direct.slots != nullptr && packed != 0 && packed <= direct.bound) {
    direct.slots[packed] = value;
    return;
  }
  // A meta that gave its array up rebuilds none while no id can be packed:
  // the rebuild would miss the same values again.
  if (direct.exhausted) {
    if (table.lastUsed == kHighestPackedId) return;
    direct.exhausted = false;
  }

  // From here until a complete array is installed, look-ups go through the
  // map, so the meta stays consistent even if the allocation below throws.
  delete[] direct.slots;
  direct.slots = nullptr;
  direct.bound = 0;
  if (direct.listed.empty()) return;

  // Values listed while supportDirectDataPointer() still answered false (an
  // intermediate base's constructor adding them) were never packed; they are
  // packed here, so every listed value gets its slot. A meta lists no null.
  unsigned short highest = 0;
  bool complete = true;
  for (const DbData* listed : direct.listed) {
    const unsigned short packed = packDataId(table.packedIds, table.lastUsed, listed->getDataId());
    if (packed == 0) complete = false;
    highest = std::max(highest, packed);
  }
  // A value without a slot would be invisible behind the array, so such a
  // meta answers all look-ups from its map instead. Reported once per meta,
  // when the meta is consistent already: a throwing report loses nothing.
  if (!complete) {
    direct.exhausted = true;
    reportAssert(texts::kFalse, kValueWithoutSlot);
    return;
  }
  // Saturate instead of wrapping, so the bound always covers every packed id.
  const unsigned short bound = highest > kHighestPackedId - spare
                                   ? kHighestPackedId
                                   : static_cast<unsigned short>(highest + spare);

  // The new-expression checks the byte count for overflow and throws
  // std::bad_array_new_length (a std::bad_alloc) instead of wrapping; "()"
  // nulls every entry. One entry behind the slots is the meta's own (see
  // DbMetaBase::countDirectData), out of every look-up's reach.
  DbData** slots = new DbData*[static_cast<std::size_t>(bound) + 2]();
  // Every listed value is packed, at most `highest`; a later value of the
  // same data id takes the slot.
  for (DbData* listed : direct.listed) slots[table.packedIds[listed->getDataId()]] = listed;
  direct.slots = slots;
  direct.bound = bound;
}

}  // namespace tarvex::internal
