// tarvex-demo: one application life of the meta layer, end to end.
//
// Set-up (tables, data-model types, schema, provider), framework start-up
// (which registers the sample metas), N worker threads serving M object
// requests each, then the registry's check and dump, shut-down and the
// teardown in reverse order. Every value written is read back through a
// checked read; every number of the report is counted on its own, apart
// from what it is compared with: values by the demo's reads, metas held by
// the providers' creation counters, the dump's lines by the trace sink.
//
// Exit status: 0 everything matched; 1 something did not (the report says
// what); 2 the command line was wrong; 3 the demo could not run or report
// to the end (a worker thread that could not be started, memory that ran
// out, an exception, a report that could not be written), said on stderr.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "AfModule.h"
#include "DMMemberBase.h"
#include "DbData.h"
#include "DbMetaManager.h"
#include "EAssertAndTrace.h"
#include "ETraceState.h"
#include "SampleMetaTable.h"
#include "SampleMetas.h"
#include "SampleSchema.h"
#include "TarvexKit.h"

using namespace tarvex_sample;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitMismatch = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCannotRun = 3;

constexpr unsigned kDefaultThreads = 4;
constexpr unsigned kDefaultRequests = 200000;
constexpr unsigned kMaxThreads = 256;
constexpr unsigned kMaxRequests = 100000000;

constexpr unsigned short kDatabase = 3;
constexpr unsigned short kOtherDatabase = 4;
constexpr unsigned short kMovedDatabase = 7;
constexpr unsigned short kMaterialType = 90;
constexpr unsigned short kOwnerType = 91;
constexpr unsigned short kFrameType = 92;
// Every how many assembly requests the parts are filled in and moved to
// another database.
constexpr std::uint32_t kMoveEvery = 4;
constexpr int kMaxParts = 4;
// Failure messages kept per thread and printed in all.
constexpr std::size_t kKeptFailures = 5;
constexpr std::size_t kPrintedFailures = 10;
constexpr unsigned kPrintedThreads = 8;

struct Options {
  unsigned threads = kDefaultThreads;
  unsigned requests = kDefaultRequests;
  unsigned dropValue = 0;
  bool trace = false;
};

// --- Output ------------------------------------------------------------------

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

// The whole of stdout in one go: a report that cannot be written completely
// (a full disk, a closed pipe) must not end as a success.
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

std::string usage() {
  std::string text;
  appendf(text,
          "Usage: tarvex-demo [--threads N] [--requests M] [--trace] [--help]\n"
          "       (--threads=N and --requests=M work as well)\n"
          "  --threads N       worker threads, 1..%u (default %u)\n"
          "  --requests M      object requests per thread, 1..%u (default %u)\n"
          "  --trace           switch the \"Meta\" trace on for the whole run and echo\n"
          "                    every report and trace as it arrives\n"
          "  --help            show this text\n",
          kMaxThreads, kDefaultThreads, kMaxRequests, kDefaultRequests);
  appendf(text,
          "Test option:\n"
          "  --drop-value ID   the sample metas leave out their value of data id ID, so\n"
          "                    that every read of it fails (the run ends with status 1)\n"
          "Exit status: 0 all matched, 1 something did not, 2 bad command line,\n"
          "             3 the demo could not run or report to the end\n");
  return text;
}

// --- Command line ------------------------------------------------------------

bool parseCount(const char* text, unsigned maximum, unsigned& out) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (*end != '\0' || errno != 0 || value < 1 || value > maximum) return false;
  out = static_cast<unsigned>(value);
  return true;
}

// 0: run; 1: help wanted; 2: bad command line (message written).
int parseOptions(int argc, char** argv, Options& options) {
  struct Counted {
    const char* name;
    unsigned maximum;
    unsigned* value;
  };
  const Counted counted[] = {{"--threads", kMaxThreads, &options.threads},
                             {"--requests", kMaxRequests, &options.requests},
                             {"--drop-value", 65535, &options.dropValue}};
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) return 1;
    if (std::strcmp(arg, "--trace") == 0) {
      options.trace = true;
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
      return 2;
    }
    if (!parseCount(value, option->maximum, *option->value)) {
      std::fprintf(stderr, "tarvex-demo: %s needs a whole number from 1 to %u, got '%s'\n",
                   option->name, option->maximum, value != nullptr ? value : "nothing");
      return 2;
    }
  }
  return 0;
}

// --- Reports and traces of the run ---------------------------------------------

// Every report and trace of the run, through the trace sink. Reports may come
// from any thread.
class ReportLog {
 public:
  explicit ReportLog(bool echo) : m_bEcho(echo) {
    m_Previous = setTraceSink([this](const TraceRecord& record) { take(record); });
  }
  ~ReportLog() { setTraceSink(m_Previous); }
  ReportLog(const ReportLog&) = delete;
  ReportLog& operator=(const ReportLog&) = delete;

  // Traces taken from here on count as expected until endExpected().
  void beginExpected() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_bExpecting = true;
  }
  std::vector<std::string> endExpected() {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_bExpecting = false;
    return std::move(m_Expected);
  }
  std::vector<std::string> unexpected() const {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Unexpected;
  }

 private:
  void take(const TraceRecord& record) {
    const bool assertion = record.kind == TraceRecord::Kind::Assertion;
    std::string text = EString(record.text).toUtf8();
    while (!text.empty() && text.back() == '\n') text.pop_back();
    std::string line = (assertion ? "report: " : "trace: ") + text + " (" +
                       EString(record.file).toUtf8() + ":" + std::to_string(record.line) + ")";
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_bEcho) std::fprintf(stderr, "  [%s]\n", line.c_str());
    if (!assertion && m_bExpecting) {
      m_Expected.push_back(text);
    } else {
      m_Unexpected.push_back(std::move(line));
    }
  }

  bool m_bEcho;
  TraceSink m_Previous;
  mutable std::mutex m_Mutex;
  bool m_bExpecting = false;
  std::vector<std::string> m_Expected;
  std::vector<std::string> m_Unexpected;
};

// --- Checked reads -------------------------------------------------------------

// An embedded reference: the object id and the id within it.
struct Owner {
  DbObjectId id;
  std::int32_t embedded;
  bool operator==(const Owner& other) const { return id == other.id && embedded == other.embedded; }
};

std::string text(bool value) { return value ? "true" : "false"; }
std::string text(char value) { return std::string("'") + value + "'"; }
std::string text(short value) { return std::to_string(value); }
std::string text(std::int32_t value) { return std::to_string(value); }
std::string text(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}
std::string text(float value) { return text(static_cast<double>(value)); }
std::string text(const EString& value) { return "\"" + value.toUtf8() + "\""; }
std::string text(const EPoint& value) {
  return "(" + text(value.x()) + ", " + text(value.y()) + ")";
}
std::string text(const EPoint3D& value) {
  return "(" + text(value.x()) + ", " + text(value.y()) + ", " + text(value.z()) + ")";
}
std::string text(const ebas::ETime& value) { return std::to_string(value.seconds()) + " s"; }
std::string text(const DbObjectId& value) {
  return "object " + std::to_string(value.getTypeId()) + "/" +
         std::to_string(value.getDatabaseId()) + "/" + std::to_string(value.getObjectNumber());
}
std::string text(const Owner& value) {
  return text(value.id) + " #" + std::to_string(value.embedded);
}

std::string typeText(unsigned short typeId) {
  return std::string(sampleTypeName(typeId)) + " (" + std::to_string(typeId) + ")";
}

// Counts the values read back and compared, and apart from them every other
// check (hand-out, binding, order, hand-over, give-back), remembering the
// first few failures.
class Tally {
 public:
  explicit Tally(unsigned thread = 0) : m_Thread(thread) {}

  void setRequest(std::uint32_t request) { m_Request = request; }

  // Reads the value of `dataId` back through `get` and compares it with
  // `expected`; a missing value is a failure like a wrong one.
  template <typename T, typename Get>
  void value(const DbMetaBase& meta, unsigned short dataId, const T& expected, Get get) {
    compare(meta, dataId, -1, meta.getData(dataId), expected, get);
  }
  // As value(), for element `index` of the container value of `dataId`.
  template <typename T, typename Get>
  void element(const DbMetaBase& meta, unsigned short dataId, std::size_t index,
               const DbData* found, const T& expected, Get get) {
    compare(meta, dataId, static_cast<long long>(index), found, expected, get);
  }
  // Any other check, about a meta of `typeId`; messages are made only for
  // failures, the request path stays cheap.
  void check(bool ok, unsigned short typeId, const char* what, long long number = -1) {
    ++m_Checks;
    if (ok) return;
    ++m_FailedChecks;
    keep(typeText(typeId) + ": " + what + (number >= 0 ? " " + std::to_string(number) : ""));
  }
  void check(bool ok, const std::string& what) {
    ++m_Checks;
    if (ok) return;
    ++m_FailedChecks;
    keep(what);
  }

  std::uint64_t values() const { return m_Values; }
  std::uint64_t wrongValues() const { return m_WrongValues; }
  std::uint64_t checks() const { return m_Checks; }
  std::uint64_t failedChecks() const { return m_FailedChecks; }
  const std::vector<std::string>& failures() const { return m_Failures; }

 private:
  template <typename T, typename Get>
  void compare(const DbMetaBase& meta, unsigned short dataId, long long index, const DbData* found,
               const T& expected, Get get) {
    ++m_Values;
    std::string foundText;
    if (found == nullptr) {
      foundText = "no value";
    } else {
      const auto& actual = std::invoke(get, *found);
      if (actual == expected) return;
      foundText = text(actual);
    }
    ++m_WrongValues;
    keep(typeText(meta.getTypeId()) + ", data id " + std::to_string(dataId) +
         (index >= 0 ? " element " + std::to_string(index) : "") + ": expected " + text(expected) +
         ", found " + foundText);
  }
  void keep(const std::string& what) {
    if (m_Failures.size() >= kKeptFailures) return;
    m_Failures.push_back("thread " + std::to_string(m_Thread) + ", request " +
                         std::to_string(m_Request) + ": " + what);
  }

  unsigned m_Thread;
  std::uint32_t m_Request = 0;
  std::uint64_t m_Values = 0;
  std::uint64_t m_WrongValues = 0;
  std::uint64_t m_Checks = 0;
  std::uint64_t m_FailedChecks = 0;
  std::vector<std::string> m_Failures;
};

// --- Workers -------------------------------------------------------------------

struct WorkerResult {
  std::uint64_t requests = 0;
  std::uint64_t moves = 0;
  Tally tally;
  MetaCounts held{};      // made by the providers' createMeta on this thread
  MetaCounts peakBusy{};  // most metas of a type this thread had bound at once
  std::uint32_t stillBound = 0;
  std::string error;
  bool outOfMemory = false;
};

bool sortedListIsInOrder(const DbMetaBase& meta) {
  const DbDataList& sorted = meta.getDataList(true);
  if (sorted.size() != meta.getDataList(false).size()) return false;
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    if (sorted[i] == nullptr) return false;
    if (i > 0 &&
        DbData::getSortId(sorted[i]->getDataId()) < DbData::getSortId(sorted[i - 1]->getDataId())) {
      return false;
    }
  }
  return sorted.empty() || meta.getData(DbData::sm_nLastEntryDataId) == nullptr ||
         sorted.back()->getDataId() == DbData::sm_nLastEntryDataId;
}

class Worker {
 public:
  Worker(unsigned thread, WorkerResult& result)
      : m_Thread(thread), m_Result(result), m_Tally(result.tally) {}

  void serve(std::uint32_t requests) {
    DbMetaManager* registry = DbMetaManager::getInstance();
    for (std::uint32_t i = 0; i < requests; ++i) {
      m_Tally.setRequest(i);
      const std::uint32_t seed = m_Thread * 1000003u + i;
      switch (i % 4) {
        case 0:
          beam(*registry, seed);
          break;
        case 1:
          plate(*registry, seed);
          break;
        case 2:
          assembly(*registry, i, seed);
          break;
        default:
          placement(*registry, seed);
          break;
      }
      ++m_Result.requests;
    }
    m_Result.held = metasCreatedOnThisThread();
    m_Result.peakBusy = m_PeakBusy;
    for (std::uint32_t busy : m_Busy) m_Result.stillBound += busy;
  }

 private:
  // getMeta and setObject, with the checks every request shares.
  DbMetaBase* bind(DbMetaManager& registry, unsigned short typeId, DMMemberBase& object) {
    DbMetaBase* meta = registry.getMeta(typeId);
    m_Tally.check(meta != nullptr, typeId, "getMeta returned null");
    if (meta == nullptr) return nullptr;
    m_Tally.check(!meta->inUse(), typeId, "getMeta handed out a meta in use");
    m_Tally.check(meta->getTypeId() == typeId, typeId, "getMeta handed out a meta of type",
                  meta->getTypeId());
    const bool bound = meta->setObject(&object, 0) && meta->inUse();
    m_Tally.check(bound, typeId, "setObject did not bind the meta");
    if (bound) countBound(typeId, true);
    return meta;
  }

  void giveBack(DbMetaBase& meta) {
    const bool wasBound = meta.inUse();
    meta.clear();
    m_Tally.check(!meta.inUse() && meta.getObject() == nullptr, meta.getTypeId(),
                  "clear() kept the meta or its object");
    if (wasBound) countBound(meta.getTypeId(), false);
  }

  void countBound(unsigned short typeId, bool bound) {
    const std::size_t index = sampleTypeIndex(typeId);
    if (index >= m_Busy.size()) return;
    if (!bound) {
      --m_Busy[index];
      return;
    }
    m_PeakBusy[index] = std::max(m_PeakBusy[index], ++m_Busy[index]);
  }

  // takeOverObject and clear(), with their checks.
  void release(DbMetaBase& meta, DMMemberBase& object, std::uint32_t seed) {
    const unsigned short type = meta.getTypeId();
    m_Tally.check(sortedListIsInOrder(meta), type, "sorted data list out of order");
    const int stamp = static_cast<int>(1 + seed % 1000);
    m_Tally.check(meta.takeOverObject(stamp) == &object && object.getBuildStamp() == stamp, type,
                  "takeOverObject handed over the wrong object");
    giveBack(meta);
  }

  // A typed setter's answer: false means it found no value to write.
  void wrote(const DbMetaBase& meta, unsigned short dataId, bool written) {
    m_Tally.check(written, meta.getTypeId(), "no value to write of data id", dataId);
  }

  void beam(DbMetaManager& registry, std::uint32_t seed) {
    DMMemberBase object(DbObjectId(kBeamType, kDatabase, seed));
    DbMetaBase* meta = bind(registry, kBeamType, object);
    if (meta == nullptr) return;
    const double x = seed % 10007;
    const EPoint3D start(x, m_Thread, 0.0);
    const EPoint3D end(x + 2.5, m_Thread, 3.0);
    const DbObjectId material(kMaterialType, kDatabase, seed % 97);
    const EString name(("beam-" + std::to_string(seed)).c_str());
    const bool loadBearing = (seed & 1) != 0;
    const ebas::ETime created(1700000000 + seed);
    wrote(*meta, data::kName, meta->setDataString(data::kName, name));
    wrote(*meta, data::kBeamStart, meta->setDataPoint3D(data::kBeamStart, start));
    wrote(*meta, data::kBeamEnd, meta->setDataPoint3D(data::kBeamEnd, end));
    wrote(*meta, data::kMaterial, meta->setDataReference(data::kMaterial, material));
    wrote(*meta, data::kBeamLength, meta->setDataDouble(data::kBeamLength, 2.5 + x));
    wrote(*meta, data::kBeamLoadBearing, meta->setDataBool(data::kBeamLoadBearing, loadBearing));
    wrote(*meta, data::kBeamCreated, meta->setDataTime(data::kBeamCreated, created));
    m_Tally.check(!meta->setDataLong(data::kPlateHoles, 1), kBeamType, "wrote a plate's data id",
                  data::kPlateHoles);

    m_Tally.value(*meta, data::kObjectId, object.getObjectId(), &DbData::getDbObjectId);
    m_Tally.value(*meta, data::kName, name, &DbData::getString);
    m_Tally.value(*meta, data::kBeamStart, start, &DbData::getPoint3D);
    m_Tally.value(*meta, data::kBeamEnd, end, &DbData::getPoint3D);
    m_Tally.value(*meta, data::kMaterial, material, &DbData::getReference);
    m_Tally.value(*meta, data::kBeamLength, 2.5 + x, &DbData::getDouble);
    m_Tally.value(*meta, data::kBeamLoadBearing, loadBearing, &DbData::getBool);
    m_Tally.value(*meta, data::kBeamCreated, created, &DbData::getTime);
    m_Tally.check(meta->getData(data::kPlateHoles) == nullptr, kBeamType,
                  "has a value of a plate's data id", data::kPlateHoles);
    release(*meta, object, seed);
  }

  void plate(DbMetaManager& registry, std::uint32_t seed) {
    DMMemberBase object(DbObjectId(kPlateType, kDatabase, seed));
    DbMetaBase* meta = bind(registry, kPlateType, object);
    if (meta == nullptr) return;
    const EPoint corner(seed % 1009, -static_cast<double>(m_Thread));
    const float thickness = 5.0f + static_cast<float>(seed % 40);
    const char grade = static_cast<char>('A' + seed % 26);
    const short layer = static_cast<short>(seed % 300);
    const std::int32_t holes = static_cast<std::int32_t>(seed % 17);
    const DbObjectId material(kMaterialType, kDatabase, seed % 89);
    const Owner owner{DbObjectId(kOwnerType, kOtherDatabase, seed),
                      static_cast<std::int32_t>(seed % 5)};
    const EString comment(("plate " + std::to_string(seed)).c_str());
    wrote(*meta, data::kPlateCorner, meta->setDataPoint(data::kPlateCorner, corner));
    wrote(*meta, data::kPlateThickness, meta->setDataFloat(data::kPlateThickness, thickness));
    wrote(*meta, data::kPlateGrade, meta->setDataChar(data::kPlateGrade, grade));
    wrote(*meta, data::kPlateLayer, meta->setDataShort(data::kPlateLayer, layer));
    wrote(*meta, data::kPlateHoles, meta->setDataLong(data::kPlateHoles, holes));
    wrote(*meta, data::kMaterial, meta->setDataReference(data::kMaterial, material));
    wrote(*meta, data::kPlateOwner,
          meta->setDataEmbeddedReference(data::kPlateOwner,
                                         DbEmbeddedObjId(owner.id, static_cast<int>(seed % 5))));
    wrote(*meta, data::kComment, meta->setDataString(data::kComment, comment));

    m_Tally.value(*meta, data::kObjectId, object.getObjectId(), &DbData::getDbObjectId);
    m_Tally.value(*meta, data::kPlateCorner, corner, &DbData::getPoint);
    m_Tally.value(*meta, data::kPlateThickness, thickness, &DbData::getFloat);
    m_Tally.value(*meta, data::kPlateGrade, grade, &DbData::getChar);
    m_Tally.value(*meta, data::kPlateLayer, layer, &DbData::getShort);
    m_Tally.value(*meta, data::kPlateHoles, holes, &DbData::getLong);
    m_Tally.value(*meta, data::kMaterial, material, &DbData::getReference);
    m_Tally.value(*meta, data::kPlateOwner, owner, [](const DbData& value) {
      return Owner{value.getReference(), value.getEmbeddedId()};
    });
    m_Tally.value(*meta, data::kComment, comment, &DbData::getString);
    release(*meta, object, seed);
  }

  void placement(DbMetaManager& registry, std::uint32_t seed) {
    DMMemberBase object(DbObjectId(kPlacementType, kDatabase, seed));
    DbMetaBase* meta = bind(registry, kPlacementType, object);
    if (meta == nullptr) return;
    writePlacement(*meta, seed);
    release(*meta, object, seed);
  }

  static DbObjectId frameOf(std::uint32_t seed) {
    return DbObjectId(kFrameType, kDatabase, seed % 13);
  }

  void writePlacement(DbMetaBase& meta, std::uint32_t seed) {
    const EPoint3D origin(seed % 503, seed % 509, seed % 521);
    const double angle = (seed % 360) * 0.5;
    const DbObjectId frame = frameOf(seed);
    const std::int32_t level = static_cast<std::int32_t>(seed % 7);
    wrote(meta, data::kPlacementOrigin, meta.setDataPoint3D(data::kPlacementOrigin, origin));
    wrote(meta, data::kPlacementAngle, meta.setDataDouble(data::kPlacementAngle, angle));
    wrote(meta, data::kPlacementFrame, meta.setDataReference(data::kPlacementFrame, frame));
    wrote(meta, data::kPlacementLevel, meta.setDataLong(data::kPlacementLevel, level));
    m_Tally.value(meta, data::kPlacementOrigin, origin, &DbData::getPoint3D);
    m_Tally.value(meta, data::kPlacementAngle, angle, &DbData::getDouble);
    m_Tally.value(meta, data::kPlacementFrame, frame, &DbData::getReference);
    m_Tally.value(meta, data::kPlacementLevel, level, &DbData::getLong);
  }

  void assembly(DbMetaManager& registry, std::uint32_t request, std::uint32_t seed) {
    DMMemberBase object(DbObjectId(kAssemblyType, kDatabase, seed));
    DbMetaBase* meta = bind(registry, kAssemblyType, object);
    if (meta == nullptr) return;
    const EString name(("assembly-" + std::to_string(seed)).c_str());
    const std::int32_t revision = static_cast<std::int32_t>(seed % 1000);
    const bool released = (seed & 2) != 0;
    wrote(*meta, data::kName, meta->setDataString(data::kName, name));
    wrote(*meta, data::kAssemblyRevision, meta->setDataLong(data::kAssemblyRevision, revision));
    wrote(*meta, data::kAssemblyReleased, meta->setDataBool(data::kAssemblyReleased, released));
    DbMetaBase* placement = meta->getMetaForEmbeddedObject(data::kAssemblyPlacement);
    m_Tally.check(placement != nullptr && placement->getTypeId() == kPlacementType, kAssemblyType,
                  "no embedded placement in data id", data::kAssemblyPlacement);
    if (placement != nullptr) writePlacement(*placement, seed);
    m_Tally.value(*meta, data::kObjectId, object.getObjectId(), &DbData::getDbObjectId);
    m_Tally.value(*meta, data::kName, name, &DbData::getString);
    m_Tally.value(*meta, data::kAssemblyRevision, revision, &DbData::getLong);
    m_Tally.value(*meta, data::kAssemblyReleased, released, &DbData::getBool);

    if ((request / 4) % kMoveEvery == 0 && placement != nullptr) {
      moveToOtherDatabase(registry, *meta, *placement, request, seed);
    }
    release(*meta, object, seed);
  }

  // Fills the parts container from beam metas bound at the same time (so the
  // thread's beam pool grows to as many), moves the assembly from kDatabase
  // to kMovedDatabase and checks that exactly the ids in kDatabase moved, in
  // the container and the embedded placement too.
  void moveToOtherDatabase(DbMetaManager& registry, DbMetaBase& meta, DbMetaBase& placement,
                           std::uint32_t request, std::uint32_t seed) {
    ++m_Result.moves;
    const int parts = 1 + static_cast<int>((request / 16) % kMaxParts);
    std::vector<DMMemberBase> objects;
    std::vector<DbMetaBase*> partMetas;
    for (int j = 0; j < parts; ++j) {
      const unsigned short database = j % 2 == 0 ? kDatabase : kOtherDatabase;
      objects.emplace_back(DbObjectId(kBeamType, database, seed * 8u + static_cast<unsigned>(j)));
    }
    for (int j = 0; j < parts; ++j) {
      DbMetaBase* part = bind(registry, kBeamType, objects[static_cast<std::size_t>(j)]);
      if (part == nullptr) break;
      partMetas.push_back(part);
      // Inserting at the front leaves the container in reverse order.
      m_Tally.check(meta.addObject2Container(data::kAssemblyParts, *part, 0), kAssemblyType,
                    "addObject2Container failed on data id", data::kAssemblyParts);
    }
    for (DbMetaBase* part : partMetas) giveBack(*part);
    m_Tally.check(meta.getContainerSize(data::kAssemblyParts) == partMetas.size(), kAssemblyType,
                  "wrong number of parts", meta.getContainerSize(data::kAssemblyParts));

    meta.changeDatabaseIds(kDatabase, kMovedDatabase);

    DbObjectId moved = meta.getObjectId();
    moved.setDatabaseId(kMovedDatabase);
    m_Tally.value(meta, data::kObjectId, moved, &DbData::getDbObjectId);
    auto* container =
        dynamic_cast<tarvex::DbReferenceContainerValue*>(meta.getData(data::kAssemblyParts));
    m_Tally.check(container != nullptr, kAssemblyType, "no parts container in data id",
                  data::kAssemblyParts);
    for (std::size_t j = 0; j < partMetas.size() && container != nullptr; ++j) {
      DbObjectId expected = objects[partMetas.size() - 1 - j].getObjectId();
      if (expected.getDatabaseId() == kDatabase) expected.setDatabaseId(kMovedDatabase);
      m_Tally.element(meta, data::kAssemblyParts, j, container->element(j), expected,
                      &DbData::getReference);
    }
    DbObjectId frame = frameOf(seed);
    frame.setDatabaseId(kMovedDatabase);
    m_Tally.value(placement, data::kPlacementFrame, frame, &DbData::getReference);
    m_Tally.check(!placement.inUse(), kAssemblyType, "embedded placement left in use");

    while (meta.getContainerSize(data::kAssemblyParts) > 0) {
      if (!meta.removeObjectFromContainer(data::kAssemblyParts, 0)) break;
    }
    m_Tally.check(meta.getContainerSize(data::kAssemblyParts) == 0, kAssemblyType,
                  "parts left after emptying", meta.getContainerSize(data::kAssemblyParts));
  }

  unsigned m_Thread;
  WorkerResult& m_Result;
  Tally& m_Tally;
  MetaCounts m_Busy{};
  MetaCounts m_PeakBusy{};
};

// Joins every thread it started, on every way out.
class ThreadGroup {
 public:
  ThreadGroup() = default;
  ThreadGroup(const ThreadGroup&) = delete;
  ThreadGroup& operator=(const ThreadGroup&) = delete;
  ~ThreadGroup() { joinAll(); }
  std::vector<std::thread>& threads() { return m_Threads; }
  void joinAll() {
    for (std::thread& thread : m_Threads) {
      if (thread.joinable()) thread.join();
    }
  }

 private:
  std::vector<std::thread> m_Threads;
};

// --- The application around the workers ------------------------------------------

// Set-up in the constructor (the library's users do it, not the module);
// start-up, shut-down and teardown when asked. An early way out still shuts
// the framework down before the tables go.
class Application {
 public:
  Application() : m_Tables(std::make_unique<tarvex::DbTablesScope>()) {
    markSampleBackPackedDataIds();
    m_Schema = std::make_unique<SampleSchema>();
    registerSampleMetaTable();
    m_bProviderRegistered = true;
  }
  ~Application() {
    if (m_bStarted) AfFramework::shutDown();
    tearDown();
  }
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  bool startUp() {
    m_bStarted = true;
    return AfFramework::startUp();
  }
  bool shutDown() {
    m_bStarted = false;
    return AfFramework::shutDown();
  }
  // The registry with all its metas, then the tables and the provider.
  void tearDown() {
    m_Tables.reset();
    if (m_bProviderRegistered) unregisterSampleMetaTable();
    m_bProviderRegistered = false;
  }
  const SampleSchema& schema() const { return *m_Schema; }

 private:
  std::unique_ptr<tarvex::DbTablesScope> m_Tables;
  std::unique_ptr<SampleSchema> m_Schema;
  bool m_bProviderRegistered = false;
  bool m_bStarted = false;
};

// --- Report helpers ------------------------------------------------------------

std::string countsText(const MetaCounts& counts) {
  std::string out;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (i != 0) out += ", ";
    out += sampleTypeName(kSampleTypeIds[i]);
    out += " " + std::to_string(counts[i]);
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

int run(const Options& options) {
  ReportLog reports(options.trace);
  if (options.trace) ETraceState::switchTrace(L"Meta", true);
  omitSampleDataId(static_cast<unsigned short>(options.dropValue));

  Application application;
  const std::vector<char>& typeMap = *DbDataModel2DataBaseTypeMap::getInstance();
  const auto dataModelTypes =
      static_cast<unsigned>(std::count_if(typeMap.begin(), typeMap.end(), [](char type) {
        return type != DbDataModel2DataBaseTypeMap::kUndefinedDatabaseType;
      }));
  const bool started = application.startUp();
  const unsigned providersStarted = SampleMetaTable::initCount();

  DbMetaManager* registry = DbMetaManager::getInstance();
  std::vector<std::string> types;
  for (auto it = registry->getMetasBegin(); it != registry->getMetasEnd(); ++it) {
    types.push_back(typeText(it->first));
  }
  const auto registered = static_cast<std::uint32_t>(types.size());
  const MetaCounts setUpThreadHeld = metasCreatedOnThisThread();

  std::vector<WorkerResult> results(options.threads);
  for (unsigned t = 0; t < options.threads; ++t) results[t].tally = Tally(t + 1);
  std::string threadError;
  const auto begin = std::chrono::steady_clock::now();
  {
    ThreadGroup group;
    group.threads().reserve(options.threads);
    for (unsigned t = 0; t < options.threads; ++t) {
      try {
        group.threads().emplace_back([&options, &results, t] {
          WorkerResult& result = results[t];
          try {
            Worker(t + 1, result).serve(options.requests);
          } catch (const std::bad_alloc&) {
            result.outOfMemory = true;
          } catch (const std::exception& error) {
            result.error = error.what();
          } catch (...) {
            result.error = "an exception of unknown type";
          }
        });
      } catch (const std::system_error& error) {
        threadError = "worker thread " + std::to_string(t + 1) + " of " +
                      std::to_string(options.threads) + " could not be started: " + error.what();
        break;
      }
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  if (!threadError.empty()) {
    std::fprintf(stderr, "tarvex-demo: %s\n", threadError.c_str());
    return kExitCannotRun;
  }
  for (unsigned t = 0; t < options.threads; ++t) {
    if (results[t].outOfMemory) throw std::bad_alloc();
  }

  const bool allGivenBack = registry->check();
  ETraceState::switchTrace(L"Meta", true);
  reports.beginExpected();
  DbMetaManager::dumpMetas();
  const std::vector<std::string> dumpLines = reports.endExpected();
  if (!options.trace) ETraceState::switchTrace(L"Meta", false);
  const std::uint32_t aliveBeforeTeardown = sampleMetasAlive();

  const bool shutDown = application.shutDown();
  const unsigned providersShutDown = SampleMetaTable::exitCount();
  const std::size_t schemaEntries = application.schema().entries().size();
  application.tearDown();
  const std::uint32_t aliveAfterTeardown = sampleMetasAlive();

  // --- What was counted ------------------------------------------------------
  Tally total;
  std::uint64_t requests = 0, moves = 0;
  MetaCounts workersHeld{};
  std::uint32_t bound = 0, highestBeams = 0, lowestBeams = 0;
  std::vector<std::string> failures, errors;
  const std::size_t beam = sampleTypeIndex(kBeamType);
  for (unsigned t = 0; t < options.threads; ++t) {
    WorkerResult& result = results[t];
    requests += result.requests;
    moves += result.moves;
    bound += result.stillBound;
    for (std::size_t i = 0; i < workersHeld.size(); ++i) {
      workersHeld[i] += result.held[i];
      // A thread's first request fills its pool with one meta per type; the
      // pool grows only while all its metas of a type are bound at once.
      const std::uint32_t expected = std::max<std::uint32_t>(1, result.peakBusy[i]);
      result.tally.check(result.held[i] == expected,
                         "the pool holds " + std::to_string(result.held[i]) + " " +
                             sampleTypeName(kSampleTypeIds[i]) + " metas, at most " +
                             std::to_string(result.peakBusy[i]) + " were bound at once");
    }
    highestBeams = std::max(highestBeams, result.held[beam]);
    lowestBeams = t == 0 ? result.held[beam] : std::min(lowestBeams, result.held[beam]);
    failures.insert(failures.end(), result.tally.failures().begin(), result.tally.failures().end());
    if (!result.error.empty())
      errors.push_back("thread " + std::to_string(t + 1) + ": " + result.error);
  }
  // The set-up thread's pool was made by registration, one meta per type.
  for (std::size_t i = 0; i < setUpThreadHeld.size(); ++i) {
    total.check(setUpThreadHeld[i] == 1, std::string("the set-up thread holds ") +
                                             std::to_string(setUpThreadHeld[i]) + " " +
                                             sampleTypeName(kSampleTypeIds[i]) + " metas, not 1");
  }
  const std::uint32_t held = registered + sum(setUpThreadHeld) + sum(workersHeld);
  // Every assembly meta owns the placement meta it embeds.
  const std::size_t assembly = sampleTypeIndex(kAssemblyType);
  const std::uint32_t embedded =
      options.dropValue == data::kAssemblyPlacement
          ? 0
          : (registered != 0 ? 1 : 0) + setUpThreadHeld[assembly] + workersHeld[assembly];
  std::uint32_t dumpHeld = 0, dumpInUse = 0;
  const bool dumpHasHeld = dumpNumber(dumpLines, "DbMetaManager-recycled Metacount ", dumpHeld);
  const bool dumpHasInUse = dumpNumber(dumpLines, "DbMetaManager-InUseCount ", dumpInUse);
  const std::size_t perTypeLines =
      dumpLines.size() - (dumpHasHeld ? 1 : 0) - (dumpHasInUse ? 1 : 0);
  std::uint64_t values = 0, wrongValues = 0, checks = total.checks(),
                failedChecks = total.failedChecks();
  for (const WorkerResult& result : results) {
    values += result.tally.values();
    wrongValues += result.tally.wrongValues();
    checks += result.tally.checks();
    failedChecks += result.tally.failedChecks();
  }
  failures.insert(failures.begin(), total.failures().begin(), total.failures().end());
  const std::vector<std::string> unexpected = reports.unexpected();

  const bool dumpOk = dumpHasHeld && dumpHasInUse && dumpHeld == held && dumpInUse == bound &&
                      (bound != 0 || perTypeLines == 0);
  const bool providersOk = started && shutDown && providersStarted == 1 && providersShutDown == 1;
  const bool teardownOk = aliveBeforeTeardown == held + embedded && aliveAfterTeardown == 0;
  // What went wrong, by the report's line names.
  std::string wrong;
  const auto unless = [&wrong](bool good, const char* part) {
    if (!good) wrong += std::string(wrong.empty() ? "" : ", ") + part;
  };
  unless(registered == kSampleTypeIds.size(), "set-up");
  unless(providersOk, "providers");
  unless(requests == std::uint64_t{options.threads} * options.requests && errors.empty(),
         "requests");
  unless(wrongValues == 0, "values");
  unless(failedChecks == 0, "checks");
  unless(dumpOk, "dump");
  unless(allGivenBack, "check()");
  unless(teardownOk, "teardown");
  unless(unexpected.empty(), "reports");
  const bool ok = wrong.empty();

  // --- Report ----------------------------------------------------------------
  std::string out;
  appendf(out, "Tarvex demo: %u threads x %u requests\n", options.threads, options.requests);
  appendf(out, "  set-up      %u data-model types, %zu schema entries\n", dataModelTypes,
          schemaEntries);
  appendf(out, "              %u meta types registered:", registered);
  for (std::size_t i = 0; i < types.size(); ++i)
    appendf(out, "%s %s", i ? "," : "", types[i].c_str());
  appendf(out,
          "\n  providers   %u started (initTable), %u shut down (exitTable); start-up %s, "
          "shut-down %s\n",
          providersStarted, providersShutDown, started ? "ok" : "FAILED",
          shutDown ? "ok" : "FAILED");
  appendf(out, "  requests    %llu served in %.3f s (%.0f requests/s)\n",
          static_cast<unsigned long long>(requests), seconds,
          seconds > 0 ? static_cast<double>(requests) / seconds : 0.0);
  appendf(out, "              %llu assemblies filled with parts and moved to database %u\n",
          static_cast<unsigned long long>(moves), kMovedDatabase);
  appendf(out, "  values      %llu read back and compared, %llu wrong or missing\n",
          static_cast<unsigned long long>(values), static_cast<unsigned long long>(wrongValues));
  appendf(out,
          "  checks      %llu others, %llu failed (hand-out, binding, writes, order, hand-over,\n"
          "              give-back, pool sizes)\n",
          static_cast<unsigned long long>(checks), static_cast<unsigned long long>(failedChecks));
  for (std::size_t i = 0; i < failures.size() && i < kPrintedFailures; ++i) {
    appendf(out, "              %s\n", failures[i].c_str());
  }
  const std::uint64_t failed = wrongValues + failedChecks;
  if (failed > std::min<std::uint64_t>(failures.size(), kPrintedFailures)) {
    appendf(out, "              (%llu more failures not shown)\n",
            static_cast<unsigned long long>(
                failed - std::min<std::uint64_t>(failures.size(), kPrintedFailures)));
  }
  for (const std::string& error : errors) appendf(out, "  error       %s\n", error.c_str());
  appendf(out, "  metas held  registered %u; set-up thread: %s\n", registered,
          countsText(setUpThreadHeld).c_str());
  for (unsigned t = 0; t < options.threads && t < kPrintedThreads; ++t) {
    appendf(out, "              thread %u: %s\n", t + 1, countsText(results[t].held).c_str());
  }
  if (options.threads > kPrintedThreads) {
    appendf(out, "              (%u more threads)\n", options.threads - kPrintedThreads);
  }
  appendf(out, "              all worker threads: %s\n", countsText(workersHeld).c_str());
  appendf(out, "              total %u\n", held);
  appendf(out, "  dump        held %s (counted %u), in use %s (counted %u)%s\n",
          numberOrMissing(dumpHasHeld, dumpHeld).c_str(), held,
          numberOrMissing(dumpHasInUse, dumpInUse).c_str(), bound, dumpOk ? "" : ": MISMATCH");
  for (const std::string& line : dumpLines) appendf(out, "              %s\n", line.c_str());
  appendf(out, "  check()     %s\n",
          allGivenBack ? "true: every meta was given back" : "FALSE: metas still in use");
  appendf(out,
          "  teardown    %u sample metas deleted (%u held, %u embedded in assemblies), %u left%s\n",
          aliveBeforeTeardown - aliveAfterTeardown, held, embedded, aliveAfterTeardown,
          teardownOk ? "" : ": MISMATCH");
  appendf(out, "  reports     %zu unexpected\n", unexpected.size());
  for (std::size_t i = 0; i < unexpected.size() && i < kPrintedFailures; ++i) {
    appendf(out, "              %s\n", unexpected[i].c_str());
  }

  appendf(out, "  what happened\n");
  appendf(out,
          "    start-up  the framework ran SampleMetaTable::initTable, which registered %u\n"
          "              metas; registering made this thread's pool, one working meta per type\n",
          registered);
  appendf(out,
          "    requests  each worker's first request filled a pool of its own with one working\n"
          "              meta per registered meta; every request bound a meta (setObject), wrote\n"
          "              and read its values and gave it back (clear()) for the next request\n");
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
  appendf(
      out,
      "    check     check() and the dump walk every pool; the dump's held line counts every\n"
      "              meta (registered %u + set-up thread %u + workers %u), its in-use line the\n"
      "              metas still bound; a per-type line appears only for a type in use\n",
      registered, sum(setUpThreadHeld), sum(workersHeld));
  appendf(out,
          "    teardown  shut-down ran exitTable on a fresh provider; DbMetaManager::deinit\n"
          "              deleted every meta with its values\n");
  appendf(out, "  result      %s%s\n", ok ? "OK" : "FAILED: ", wrong.c_str());
  if (!writeStdout(out)) return kExitCannotRun;
  return ok ? kExitOk : kExitMismatch;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int parsed = parseOptions(argc, argv, options);
  if (parsed == 2) return kExitUsage;
  if (parsed == 1) return writeStdout(usage()) ? kExitOk : kExitCannotRun;
  try {
    return run(options);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "tarvex-demo: out of memory\n");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tarvex-demo: stopped by an exception: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "tarvex-demo: stopped by an exception of unknown type\n");
  }
  return kExitCannotRun;
}
