// DemoValues: the values a tarvex-demo request writes into the meta it
// borrowed and reads back, one table per sample meta type.
#pragma once

#include <cstdint>
#include <vector>

#include "DbMetaBase.h"
#include "DbObjectId.h"
#include "DemoTally.h"

namespace tarvex_demo {

// The databases of the demo's objects: requests make them in kDatabase, a
// plate's owner lives in kOtherDatabase, assemblies move to kMovedDatabase.
constexpr unsigned short kDatabase = 3;
constexpr unsigned short kOtherDatabase = 4;
constexpr unsigned short kMovedDatabase = 7;

// One object request of a worker thread. Every value written is made from
// the seed, unique to the thread and request, so that it differs from what
// the previous request of the type left in the recycled meta.
struct Request {
  unsigned thread;
  std::uint32_t index;
  std::uint32_t seed;
};

// Every how many assembly requests the parts are filled in and the assembly
// moved to another database, and the most parts it gets.
constexpr std::uint32_t kMoveEvery = 4;
constexpr std::uint32_t kMaxParts = 4;
// Seeds are thread * kSeedStride + index: unique, and telling the request
// back, for indexes below the stride.
constexpr std::uint32_t kSeedStride = 1000003;

// Whether request `index` of a thread goes through the store: requests come
// in groups of four, one of each type, and group g does when g % every is
// 0. Only indexes below kSeedStride, whose seeds tell the request back.
bool throughStore(std::uint32_t index, unsigned every);
// Whether request `index` of a thread fills an assembly with parts and moves it.
bool movesAssembly(std::uint32_t index);
// The parts such a request adds, in the order it adds them.
std::vector<DbObjectId> partsOf(const Request& request);
// The request whose seed is `seed` (REQUIRES: its index was below kSeedStride).
Request requestOf(std::uint32_t seed);

// The id of the object of type `typeId` that `request` works on.
DbObjectId objectIdOf(unsigned short typeId, const Request& request);
// The frame a placement of `seed` refers to, in kDatabase.
DbObjectId frameOf(std::uint32_t seed);

// Writes the request's values through `meta`'s typed setters, each setter's
// answer a check.
void writeValues(Tally& tally, DbMetaBase& meta, const Request& request);
// Reads every value written back through `meta` and compares it, the
// object's own id (which setObject writes) included.
void readValues(Tally& tally, const DbMetaBase& meta, const Request& request);

}  // namespace tarvex_demo
