#include "DemoReport.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DemoValues.h"

namespace tarvex_demo {

using namespace tarvex_sample;

namespace {

constexpr std::size_t kPrintedFailures = 10;
constexpr unsigned kPrintedThreads = 8;

void appendf(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length > 0) {
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(length) + 1);
    std::vsnprintf(&out[at], static_cast<std::size_t>(length) + 1, format, again);
    out.resize(at + static_cast<std::size_t>(length));
  }
  va_end(again);
}

unsigned long long ull(std::uint64_t value) { return static_cast<unsigned long long>(value); }

std::string countsText(const MetaCounts& counts) {
  std::string out;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    out += (i != 0 ? ", " : "") + std::string(sampleTypeName(kSampleTypeIds[i])) + " " +
           std::to_string(counts[i]);
  }
  return out;
}

std::uint32_t sum(const MetaCounts& counts) {
  std::uint32_t total = 0;
  for (std::uint32_t count : counts) total += count;
  return total;
}

// The number after `prefix` on the dump line that starts with it.
bool dumpNumber(const std::vector<std::string>& lines, const char* prefix, std::uint32_t& out) {
  const std::size_t length = std::strlen(prefix);
  for (const std::string& line : lines) {
    if (line.compare(0, length, prefix) == 0) {
      out = static_cast<std::uint32_t>(std::strtoul(line.c_str() + length, nullptr, 10));
      return true;
    }
  }
  return false;
}

std::string numberOrMissing(bool found, std::uint32_t number) {
  return found ? std::to_string(number) : "missing";
}

}  // namespace

std::string report(const RunResults& run, bool& ok) {
  // --- What was counted ------------------------------------------------------
  // A thread's pool holds one meta per type, made by its first request (the
  // set-up thread's by registration), and more only of a type of which the
  // thread bound more at once: beams, as a moved assembly's parts.
  Tally total;
  std::uint64_t requests = 0, moves = 0;
  MetaCounts workersHeld{};
  std::uint32_t bound = 0, highestBeams = 0, lowestBeams = 0;
  bool filledPools = true;
  std::vector<std::string> errors;
  const std::size_t beam = sampleTypeIndex(kBeamType);
  for (std::size_t i = 0; i < run.setUpThreadHeld.size(); ++i) {
    total.check(run.setUpThreadHeld[i] == 1, kSampleTypeIds[i],
                "metas the set-up thread holds, not 1:", run.setUpThreadHeld[i]);
  }
  for (unsigned t = 0; t < run.threads; ++t) {
    const WorkerResult& result = run.workers[t];
    Tally pools(t + 1);
    for (std::size_t i = 0; i < workersHeld.size(); ++i) {
      workersHeld[i] += result.held[i];
      filledPools = filledPools && result.held[i] >= 1;
      const std::uint32_t mostBound = i == beam ? std::max<std::uint32_t>(1, result.mostParts) : 1;
      pools.check(result.held[i] == mostBound, kSampleTypeIds[i],
                  "metas in the pool, against the most bound at once,", result.held[i]);
    }
    total.add(result.tally);
    total.add(pools);
    requests += result.requests;
    moves += result.moves;
    bound += result.stillBound;
    highestBeams = std::max(highestBeams, result.held[beam]);
    lowestBeams = t == 0 ? result.held[beam] : std::min(lowestBeams, result.held[beam]);
    if (!result.error.empty())
      errors.push_back("thread " + std::to_string(t + 1) + ": " + result.error);
  }
  // The store: the objects the requests loaded and the verifications.
  Tally stored = run.store.tally;
  std::uint64_t saved = 0, loaded = 0;
  for (const WorkerResult& result : run.workers) {
    stored.add(result.storeTally);
    saved += result.saved;
    loaded += result.loaded;
  }
  const bool storeOk = stored.wrongValues() == 0 && stored.failedChecks() == 0;
  const auto registered = static_cast<std::uint32_t>(run.registered.size());
  const std::uint32_t held = registered + sum(run.setUpThreadHeld) + sum(workersHeld);
  const std::size_t assembly = sampleTypeIndex(kAssemblyType);
  const std::uint32_t embedded =
      run.placementsEmbedded
          ? (registered != 0 ? 1 : 0) + run.setUpThreadHeld[assembly] + workersHeld[assembly]
          : 0;
  std::uint32_t dumpHeld = 0, dumpInUse = 0;
  const bool dumpHasHeld = dumpNumber(run.dumpLines, "DbMetaManager-recycled Metacount ", dumpHeld);
  const bool dumpHasInUse = dumpNumber(run.dumpLines, "DbMetaManager-InUseCount ", dumpInUse);
  const std::size_t perTypeLines =
      run.dumpLines.size() - (dumpHasHeld ? 1 : 0) - (dumpHasInUse ? 1 : 0);

  const bool dumpOk = dumpHasHeld && dumpHasInUse && dumpHeld == held && dumpInUse == bound &&
                      (bound != 0 || perTypeLines == 0);
  const bool providersOk =
      run.started && run.shutDown && run.providersStarted == 1 && run.providersShutDown == 1;
  const bool teardownOk = run.aliveBeforeTeardown == held + embedded && run.aliveAfterTeardown == 0;
  const bool allServed = requests == std::uint64_t{run.threads} * run.requests && errors.empty();
  // What went wrong, by the report's line names.
  std::string wrong;
  const auto unless = [&wrong](bool good, const char* part) {
    if (!good) wrong += std::string(wrong.empty() ? "" : ", ") + part;
  };
  unless(registered == kSampleTypeIds.size(), "set-up");
  unless(providersOk, "providers");
  unless(allServed, "requests");
  unless(total.wrongValues() == 0, "values");
  unless(total.failedChecks() == 0, "checks");
  unless(dumpOk, "dump");
  unless(run.allGivenBack, "check()");
  unless(teardownOk, "teardown");
  unless(run.unexpected.empty(), "reports");
  unless(storeOk, "store");
  ok = wrong.empty();

  // --- Report ----------------------------------------------------------------
  std::string out;
  appendf(out, "Tarvex demo: %u threads x %u requests\n", run.threads, run.requests);
  appendf(out, "  set-up      %u data-model types, %zu schema entries\n", run.dataModelTypes,
          run.schemaEntries);
  appendf(out, "              %u meta types registered:", registered);
  for (std::size_t i = 0; i < run.registered.size(); ++i)
    appendf(out, "%s %s", i ? "," : "", typeText(run.registered[i]).c_str());
  appendf(out,
          "\n  providers   %u started (initTable), %u shut down (exitTable); start-up %s, "
          "shut-down %s\n",
          run.providersStarted, run.providersShutDown, run.started ? "ok" : "FAILED",
          run.shutDown ? "ok" : "FAILED");
  appendf(out, "  requests    %llu served in %.3f s (%.0f requests/s)\n", ull(requests),
          run.seconds, run.seconds > 0 ? static_cast<double>(requests) / run.seconds : 0.0);
  appendf(out, "              %llu assemblies filled with parts and moved to database %u\n",
          ull(moves), kMovedDatabase);
  appendf(out, "  values      %llu read back and compared, %llu wrong or missing\n",
          ull(total.values()), ull(total.wrongValues()));
  appendf(out,
          "  checks      %llu others, %llu failed (hand-out, binding, writes, order, hand-over,\n"
          "              give-back, pool sizes)\n",
          ull(total.checks()), ull(total.failedChecks()));
  const std::vector<std::string>& failures = total.failures();
  const std::size_t shown = std::min(failures.size(), kPrintedFailures);
  for (std::size_t i = 0; i < shown; ++i) appendf(out, "              %s\n", failures[i].c_str());
  const std::uint64_t failed = total.wrongValues() + total.failedChecks();
  if (failed > shown)
    appendf(out, "              (%llu more failures not shown)\n", ull(failed - shown));
  for (const std::string& error : errors) appendf(out, "  error       %s\n", error.c_str());
  if (run.store.used) {
    appendf(out, "  store       %s (%s), one group of 4 requests in %u\n", run.store.path.c_str(),
            run.store.kept ? "kept" : "temporary, removed", run.store.every);
    appendf(out, "              %llu objects saved, %llu found by their request and loaded\n",
            ull(saved), ull(loaded));
    appendf(out,
            "              %llu objects verified before the run, %llu after it; %llu values\n"
            "              compared, %llu wrong or missing, %llu failed checks\n",
            ull(run.store.verifiedBefore), ull(run.store.verifiedAfter), ull(stored.values()),
            ull(stored.wrongValues()), ull(stored.failedChecks()));
    for (std::size_t i = 0; i < stored.failures().size() && i < kPrintedFailures; ++i) {
      appendf(out, "              %s\n", stored.failures()[i].c_str());
    }
    appendf(out, "              file %llu bytes\n", ull(run.store.fileSize));
  } else {
    appendf(out, "  store       none: built without SQLite, the objects live in memory\n");
  }
  appendf(out, "  metas held  registered %u; set-up thread: %s\n", registered,
          countsText(run.setUpThreadHeld).c_str());
  for (unsigned t = 0; t < run.threads && t < kPrintedThreads; ++t) {
    appendf(out, "              thread %u: %s\n", t + 1, countsText(run.workers[t].held).c_str());
  }
  if (run.threads > kPrintedThreads) {
    appendf(out, "              (%u more threads)\n", run.threads - kPrintedThreads);
  }
  appendf(out, "              all worker threads: %s\n", countsText(workersHeld).c_str());
  appendf(out, "              total %u\n", held);
  appendf(out, "  dump        held %s (counted %u), in use %s (counted %u)%s\n",
          numberOrMissing(dumpHasHeld, dumpHeld).c_str(), held,
          numberOrMissing(dumpHasInUse, dumpInUse).c_str(), bound, dumpOk ? "" : ": MISMATCH");
  for (const std::string& line : run.dumpLines) appendf(out, "              %s\n", line.c_str());
  appendf(out, "  check()     %s\n",
          run.allGivenBack ? "true: every meta was given back" : "FALSE: metas still in use");
  appendf(out,
          "  teardown    %u sample metas deleted (%u held, %u embedded in assemblies), %u left%s\n",
          run.aliveBeforeTeardown - run.aliveAfterTeardown, held, embedded, run.aliveAfterTeardown,
          teardownOk ? "" : ": MISMATCH");
  appendf(out, "  reports     %zu unexpected\n", run.unexpected.size());
  for (std::size_t i = 0; i < run.unexpected.size() && i < kPrintedFailures; ++i) {
    appendf(out, "              %s\n", run.unexpected[i].c_str());
  }

  // --- What happened, told from what was counted -------------------------------
  appendf(out, "  what happened\n");
  const bool onePerType = std::all_of(run.setUpThreadHeld.begin(), run.setUpThreadHeld.end(),
                                      [](std::uint32_t count) { return count == 1; });
  appendf(
      out, "    start-up  the framework ran SampleMetaTable::initTable%s, which registered %u\n",
      run.providersStarted == 1 ? ""
                                : (" " + std::to_string(run.providersStarted) + " times").c_str(),
      registered);
  if (onePerType) {
    appendf(
        out,
        "              metas; registering made this thread's pool, one working meta per type\n");
  } else {
    appendf(out, "              metas; this thread's pool holds %s\n",
            countsText(run.setUpThreadHeld).c_str());
  }
  if (filledPools) {
    appendf(out,
            "    requests  each worker's first request filled a pool of its own with one working\n"
            "              meta per registered meta;");
  } else {
    appendf(out, "    requests  not every worker's pool holds a meta of every type;");
  }
  if (allServed && total.failedChecks() == 0) {
    appendf(out,
            " every request bound a meta (setObject), wrote\n"
            "              and read its values and gave it back (clear()) for the next request\n");
  } else {
    appendf(out, " %llu of %llu requests\n              served, %llu checks failed\n",
            ull(requests), ull(std::uint64_t{run.threads} * run.requests),
            ull(total.failedChecks()));
  }
  if (highestBeams <= 1) {
    appendf(out, "    growth    no request bound two metas of a type at once, so no pool grew\n");
  } else {
    const std::string range = lowestBeams == highestBeams ? std::to_string(highestBeams)
                                                          : std::to_string(lowestBeams) + " to " +
                                                                std::to_string(highestBeams);
    appendf(out,
            "    growth    a pool makes a new meta only while every meta of the type is bound:\n"
            "              a moved assembly binds up to %u beams at once as its parts, so each\n"
            "              worker's beam pool grew to %s\n",
            highestBeams, range.c_str());
  }
  if (run.store.used) {
    appendf(out,
            "    store     one group of four requests in %u loaded its objects from the store\n"
            "              (%llu found), changed them through the meta and saved them, a\n"
            "              transaction each; the %llu objects in the file were read back\n"
            "              %s, through metas bound to new objects, and compared\n",
            run.store.every, ull(loaded), ull(run.store.verifiedAfter),
            run.store.verifiedBefore != 0 ? "before and after the run" : "after the run");
  }
  appendf(
      out,
      "    check     check() and the dump walk every pool; the dump's held line counts every\n"
      "              meta (registered %u + set-up thread %u + workers %u), its in-use line the\n"
      "              metas still bound; a per-type line appears only for a type in use\n",
      registered, sum(run.setUpThreadHeld), sum(workersHeld));
  appendf(out, "    teardown  shut-down ran exitTable %s; DbMetaManager::deinit\n",
          run.providersShutDown == 1 ? "on a fresh provider"
                                     : (std::to_string(run.providersShutDown) + " times").c_str());
  if (run.aliveAfterTeardown == 0) {
    appendf(out, "              deleted every meta with its values\n");
  } else {
    appendf(out, "              left %u sample metas undeleted\n", run.aliveAfterTeardown);
  }
  appendf(out, "  result      %s%s\n", ok ? "OK" : "FAILED: ", wrong.c_str());
  return out;
}

bool writeStdout(const std::string& text) {
  errno = 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
  const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
  const int error = errno;
  const bool closed = std::fclose(stdout) == 0;
  if (written && flushed && closed) return true;
  std::fprintf(stderr, "tarvex-demo: the report could not be written: %s\n",
               std::strerror(error != 0 ? error : errno));
  return false;
}

}  // namespace tarvex_demo
