// DemoOptions: tarvex-demo's command line and its usage text.
#pragma once

#include <string>

namespace tarvex_demo {

struct Options {
  unsigned threads = 4;
  unsigned requests = 200000;
  bool trace = false;
  // Test options (0: off): a sample value left out, a sample value that
  // loses writes, a worker thread that cannot be started.
  unsigned dropValue = 0;
  unsigned loseWrites = 0;
  unsigned failThread = 0;
  // The store file to keep (empty: a temporary one, removed at the end),
  // and every how many groups of four requests go through the store.
  std::string store;
  unsigned storeEvery = 50;
};

enum class Parsed { Run, Help, Bad };

// Reads the command line into `options`; for a bad one, says why on stderr.
Parsed parseOptions(int argc, char** argv, Options& options);

std::string usage();

}  // namespace tarvex_demo
