#include "DemoOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SampleMetas.h"

namespace tarvex_demo {

namespace {

constexpr unsigned kMaxThreads = 256;
constexpr unsigned kMaxRequests = 100000000;
constexpr unsigned kMaxDataId = 65535;
constexpr unsigned kMaxStoreEvery = 1000000;

bool parseCount(const char* text, unsigned maximum, unsigned& out) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (*end != '\0' || errno != 0 || value < 1 || value > maximum) return false;
  out = static_cast<unsigned>(value);
  return true;
}

// A test option's data id must name a value of the sample metas, or the run
// could not fail as promised; a lost write needs a value with a setter.
bool isTestDataId(unsigned id, bool written) {
  const auto dataId = static_cast<unsigned short>(id);
  if (!tarvex_sample::isSampleDataId(dataId)) return false;
  return !written || (dataId != tarvex_sample::data::kAssemblyParts &&
                      dataId != tarvex_sample::data::kAssemblyPlacement);
}

}  // namespace

std::string usage() {
  char text[2000];
  std::snprintf(
      text, sizeof text,
      "Usage: tarvex-demo [--threads N] [--requests M] [--trace] [--help]\n"
      "       (--threads=N and --requests=M work as well)\n"
      "  --threads N       worker threads, 1..%u (default %u)\n"
      "  --requests M      object requests per thread, 1..%u (default %u)\n"
      "  --store FILE      keep the objects in FILE; an existing one is first read\n"
      "                    back and verified (default: a temporary file, removed)\n"
      "  --store-every K   one group of four requests (one of each type) in K goes\n"
      "                    through the store, the rest is served from memory\n"
      "                    (1..%u, default %u)\n"
      "  --trace           switch the \"Meta\" trace on for the whole run and echo\n"
      "                    every report and trace as it arrives\n"
      "  --help            show this text\n"
      "Test options:\n"
      "  --drop-value ID   the sample metas leave out their value of data id ID, so\n"
      "                    that every read of it fails (the run ends with status 1)\n"
      "  --lose-writes ID  the sample metas' value of data id ID loses every second\n"
      "                    write, its setter answering true (the run ends with status 1)\n"
      "  --fail-thread K   worker thread K cannot be started (the run ends with status 3)\n"
      "Exit status: 0 all matched, 1 something did not, 2 bad command line,\n"
      "             3 the demo could not run or report to the end\n",
      kMaxThreads, Options().threads, kMaxRequests, Options().requests, kMaxStoreEvery,
      Options().storeEvery);
  return text;
}

Parsed parseOptions(int argc, char** argv, Options& options) {
  struct Counted {
    const char* name;
    unsigned maximum;
    unsigned* value;
  };
  const Counted counted[] = {{"--threads", kMaxThreads, &options.threads},
                             {"--requests", kMaxRequests, &options.requests},
                             {"--drop-value", kMaxDataId, &options.dropValue},
                             {"--lose-writes", kMaxDataId, &options.loseWrites},
                             {"--fail-thread", kMaxThreads, &options.failThread},
                             {"--store-every", kMaxStoreEvery, &options.storeEvery}};
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) return Parsed::Help;
    if (std::strcmp(arg, "--trace") == 0) {
      options.trace = true;
      continue;
    }
    if (std::strncmp(arg, "--store", 7) == 0 && (arg[7] == '\0' || arg[7] == '=')) {
      const char* file = arg[7] == '=' ? arg + 8 : (i + 1 < argc ? argv[++i] : nullptr);
      if (file == nullptr || *file == '\0') {
        std::fprintf(stderr, "tarvex-demo: --store needs a file name\n");
        return Parsed::Bad;
      }
      options.store = file;
#ifndef TARVEX_DEMO_STORE
      std::fprintf(stderr,
                   "tarvex-demo: --store: this build has no store (no SQLite), its objects "
                   "live in memory\n");
      return Parsed::Bad;
#endif
      continue;
    }
    // "--threads N" or "--threads=N"; likewise the other counts.
    const Counted* option = nullptr;
    const char* value = nullptr;
    for (const Counted& candidate : counted) {
      const std::size_t length = std::strlen(candidate.name);
      if (std::strncmp(arg, candidate.name, length) != 0) continue;
      if (arg[length] == '\0') {
        option = &candidate;
        value = i + 1 < argc ? argv[++i] : nullptr;
      } else if (arg[length] == '=') {
        option = &candidate;
        value = arg + length + 1;
      }
    }
    if (option == nullptr) {
      std::fprintf(stderr, "tarvex-demo: unknown option '%s' (try --help)\n", arg);
      return Parsed::Bad;
    }
    if (!parseCount(value, option->maximum, *option->value)) {
      std::fprintf(stderr, "tarvex-demo: %s needs a whole number from 1 to %u, got '%s'\n",
                   option->name, option->maximum, value != nullptr ? value : "nothing");
      return Parsed::Bad;
    }
    const bool dataId = option->value == &options.dropValue || option->value == &options.loseWrites;
    if (dataId && !isTestDataId(*option->value, option->value == &options.loseWrites)) {
      std::fprintf(stderr, "tarvex-demo: %s needs the data id of a sample meta's value, got '%s'\n",
                   option->name, value);
      return Parsed::Bad;
    }
  }
  if (options.failThread > options.threads) {
    std::fprintf(stderr, "tarvex-demo: --fail-thread needs a worker thread from 1 to %u, got %u\n",
                 options.threads, options.failThread);
    return Parsed::Bad;
  }
  return Parsed::Run;
}

}  // namespace tarvex_demo
