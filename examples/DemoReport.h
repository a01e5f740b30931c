// DemoReport: what a tarvex-demo run gathers, and the report it prints
// from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "DemoTally.h"
#include "SampleMetas.h"

namespace tarvex_demo {

// What one worker thread did.
struct WorkerResult {
  std::uint64_t requests = 0;
  std::uint64_t moves = 0;
  Tally tally;
  tarvex_sample::MetaCounts held{};  // made by the providers' createMeta on the thread
  std::uint32_t mostParts = 0;       // most beams bound at once as a moved assembly's parts
  std::uint32_t stillBound = 0;      // metas the worker left bound
  std::string error;
  bool outOfMemory = false;
  std::uint64_t saved = 0;   // objects saved through the store
  std::uint64_t loaded = 0;  // objects a request found in the store
  Tally storeTally;          // the values of the objects loaded
  std::string storeError;    // why the store failed the worker
};

// What the store did, when the demo has one.
struct StoreResults {
  bool used = false;
  std::string path;
  bool kept = false;  // --store: the file stays
  unsigned every = 0;
  std::uint64_t verifiedBefore = 0;  // objects read back before the workers
  std::uint64_t verifiedAfter = 0;   // and after them
  Tally tally;                       // their values
  std::uint64_t fileSize = 0;
};

// What the run gathered, in the order of the application's life.
struct RunResults {
  unsigned threads = 0;
  unsigned requests = 0;
  unsigned dataModelTypes = 0;
  std::size_t schemaEntries = 0;
  std::vector<unsigned short> registered;
  bool started = false;
  unsigned providersStarted = 0;
  tarvex_sample::MetaCounts setUpThreadHeld{};
  std::vector<WorkerResult> workers;
  double seconds = 0;
  bool allGivenBack = false;
  std::vector<std::string> dumpLines;
  std::uint32_t aliveBeforeTeardown = 0;
  bool shutDown = false;
  unsigned providersShutDown = 0;
  std::uint32_t aliveAfterTeardown = 0;
  bool placementsEmbedded = true;  // every sample assembly meta embeds a placement meta
  std::vector<std::string> unexpected;
  StoreResults store;
};

// The report of `run`; `ok` tells whether everything matched.
std::string report(const RunResults& run, bool& ok);

// The whole of stdout in one go: a report that cannot be written completely
// (a full disk, a reader gone) ends with the reason on stderr and false.
bool writeStdout(const std::string& text);

}  // namespace tarvex_demo
