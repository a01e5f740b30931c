// tarvex-demo: one application life of the meta layer, end to end.
//
// Set-up (tables, data-model types, schema, provider), framework start-up
// (which registers the sample metas), N worker threads serving M object
// requests each, then the registry's check and dump and the teardown in
// reverse order. Every value written is read back and compared; the exit
// code says whether everything matched (0), something did not (1) or the
// command line was wrong (2).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
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

struct Options {
  unsigned threads = kDefaultThreads;
  unsigned requests = kDefaultRequests;
  bool trace = false;
};

void printUsage(std::FILE* out) {
  std::fprintf(out,
               "Usage: tarvex-demo [--threads N] [--requests M] [--trace] [--help]\n"
               "       (--threads=N and --requests=M work as well)\n"
               "  --threads N    worker threads, 1..%u (default %u)\n"
               "  --requests M   object requests per thread, 1..%u (default %u)\n"
               "  --trace        switch the \"Meta\" trace on for the whole run and echo\n"
               "                 every report and trace as it arrives\n"
               "  --help         show this text\n",
               kMaxThreads, kDefaultThreads, kMaxRequests, kDefaultRequests);
}

bool parseCount(const char* text, unsigned maximum, unsigned& out) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (*end != '\0' || value < 1 || value > maximum) return false;
  out = static_cast<unsigned>(value);
  return true;
}

// 0: run; 1: help shown; 2: bad command line (message written).
int parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      printUsage(stdout);
      return 1;
    }
    if (std::strcmp(arg, "--trace") == 0) {
      options.trace = true;
      continue;
    }
    // "--threads N" or "--threads=N"; likewise --requests.
    const char* name = nullptr;
    const char* value = nullptr;
    for (const char* option : {"--threads", "--requests"}) {
      const std::size_t length = std::strlen(option);
      if (std::strncmp(arg, option, length) != 0) continue;
      if (arg[length] == '\0') {
        name = option;
        value = i + 1 < argc ? argv[++i] : nullptr;
      } else if (arg[length] == '=') {
        name = option;
        value = arg + length + 1;
      }
    }
    if (name != nullptr) {
      const bool threads = name[2] == 't';
      const unsigned maximum = threads ? kMaxThreads : kMaxRequests;
      if (!parseCount(value, maximum, threads ? options.threads : options.requests)) {
        std::fprintf(stderr, "tarvex-demo: %s needs a whole number from 1 to %u, got '%s'\n", name,
                     maximum, value != nullptr ? value : "nothing");
        return 2;
      }
      continue;
    }
    std::fprintf(stderr, "tarvex-demo: unknown option '%s' (try --help)\n", arg);
    return 2;
  }
  return 0;
}

// Every report and trace of the run. Reports may come from any thread.
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

// Counts comparisons and remembers the first few that failed.
class Checker {
 public:
  explicit Checker(unsigned thread) : m_Thread(thread) {}
  void expect(bool ok, const char* what, std::uint32_t request) {
    ++m_Checks;
    if (ok) return;
    ++m_Mismatches;
    if (m_Failures.size() < 5) {
      m_Failures.push_back("thread " + std::to_string(m_Thread) + ", request " +
                           std::to_string(request) + ": " + what);
    }
  }
  std::uint64_t checks() const { return m_Checks; }
  std::uint64_t mismatches() const { return m_Mismatches; }
  const std::vector<std::string>& failures() const { return m_Failures; }

 private:
  unsigned m_Thread;
  std::uint64_t m_Checks = 0;
  std::uint64_t m_Mismatches = 0;
  std::vector<std::string> m_Failures;
};

struct WorkerResult {
  std::uint64_t requests = 0;
  std::uint64_t moves = 0;
  Checker checker{0};
  MetaCounts held{};
  std::string error;
};

bool sortedListIsInOrder(const DbMetaBase& meta) {
  const DbDataList& sorted = meta.getDataList(true);
  if (sorted.size() != meta.getDataList(false).size()) return false;
  for (std::size_t i = 1; i < sorted.size(); ++i) {
    if (DbData::getSortId(sorted[i]->getDataId()) < DbData::getSortId(sorted[i - 1]->getDataId())) {
      return false;
    }
  }
  return sorted.empty() || meta.getData(DbData::sm_nLastEntryDataId) == nullptr ||
         sorted.back()->getDataId() == DbData::sm_nLastEntryDataId;
}

class Worker {
 public:
  Worker(unsigned thread, WorkerResult& result)
      : m_Thread(thread), m_Result(result), m_Check(result.checker) {}

  void serve(std::uint32_t requests) {
    DbMetaManager* registry = DbMetaManager::getInstance();
    for (std::uint32_t i = 0; i < requests; ++i) {
      const std::uint32_t seed = m_Thread * 1000003u + i;
      switch (i % 4) {
        case 0:
          beam(*registry, i, seed);
          break;
        case 1:
          plate(*registry, i, seed);
          break;
        case 2:
          assembly(*registry, i, seed);
          break;
        default:
          placement(*registry, i, seed);
          break;
      }
      ++m_Result.requests;
    }
    m_Result.held = metasCreatedOnThisThread();
  }

 private:
  // getMeta and setObject, with the checks every request shares.
  DbMetaBase* bind(DbMetaManager& registry, unsigned short typeId, DMMemberBase& object,
                   std::uint32_t request) {
    DbMetaBase* meta = registry.getMeta(typeId);
    m_Check.expect(meta != nullptr, "getMeta returned null", request);
    if (meta == nullptr) return nullptr;
    m_Check.expect(!meta->inUse(), "getMeta handed out a meta in use", request);
    m_Check.expect(meta->getTypeId() == typeId, "getMeta handed out the wrong type", request);
    m_Check.expect(meta->setObject(&object, 0) && meta->inUse(), "setObject did not bind", request);
    return meta;
  }

  // takeOverObject and clear(), with their checks.
  void release(DbMetaBase& meta, DMMemberBase& object, std::uint32_t request, std::uint32_t seed) {
    m_Check.expect(sortedListIsInOrder(meta), "sorted data list out of order", request);
    const int stamp = static_cast<int>(1 + seed % 1000);
    m_Check.expect(meta.takeOverObject(stamp) == &object && object.getBuildStamp() == stamp,
                   "takeOverObject handed over the wrong object", request);
    meta.clear();
    m_Check.expect(!meta.inUse() && meta.getObject() == nullptr, "clear() kept the meta", request);
  }

  void expectObjectId(const DbMetaBase& meta, const DbObjectId& id, std::uint32_t request) {
    const DbData* value = meta.getData(data::kObjectId);
    m_Check.expect(value != nullptr && value->getDbObjectId() == id, "object id value", request);
  }

  void beam(DbMetaManager& registry, std::uint32_t request, std::uint32_t seed) {
    DMMemberBase object(DbObjectId(kBeamType, kDatabase, seed));
    DbMetaBase* meta = bind(registry, kBeamType, object, request);
    if (meta == nullptr) return;
    const double x = seed % 10007;
    const EPoint3D start(x, m_Thread, 0.0);
    const EPoint3D end(x + 2.5, m_Thread, 3.0);
    const DbObjectId material(kMaterialType, kDatabase, seed % 97);
    const EString name(("beam-" + std::to_string(seed)).c_str());
    const bool loadBearing = (seed & 1) != 0;
    const ebas::ETime created(1700000000 + seed);
    bool written = meta->setDataString(data::kName, name);
    written = meta->setDataPoint3D(data::kBeamStart, start) && written;
    written = meta->setDataPoint3D(data::kBeamEnd, end) && written;
    written = meta->setDataReference(data::kMaterial, material) && written;
    written = meta->setDataDouble(data::kBeamLength, 2.5 + x) && written;
    written = meta->setDataBool(data::kBeamLoadBearing, loadBearing) && written;
    written = meta->setDataTime(data::kBeamCreated, created) && written;
    m_Check.expect(written, "beam: a typed setter found no value", request);
    m_Check.expect(!meta->setDataLong(data::kPlateHoles, 1), "beam: setter of a foreign id",
                   request);

    expectObjectId(*meta, object.getObjectId(), request);
    m_Check.expect(meta->getData(data::kName)->getString() == name, "beam: name", request);
    m_Check.expect(meta->getData(data::kBeamStart)->getPoint3D() == start, "beam: start", request);
    m_Check.expect(meta->getData(data::kBeamEnd)->getPoint3D() == end, "beam: end", request);
    m_Check.expect(meta->getData(data::kMaterial)->getReference() == material, "beam: material",
                   request);
    m_Check.expect(meta->getData(data::kBeamLength)->getDouble() == 2.5 + x, "beam: length",
                   request);
    m_Check.expect(meta->getData(data::kBeamLoadBearing)->getBool() == loadBearing,
                   "beam: load bearing", request);
    m_Check.expect(meta->getData(data::kBeamCreated)->getTime() == created, "beam: created",
                   request);
    m_Check.expect(meta->getData(data::kPlateHoles) == nullptr, "beam: foreign id found", request);
    release(*meta, object, request, seed);
  }

  void plate(DbMetaManager& registry, std::uint32_t request, std::uint32_t seed) {
    DMMemberBase object(DbObjectId(kPlateType, kDatabase, seed));
    DbMetaBase* meta = bind(registry, kPlateType, object, request);
    if (meta == nullptr) return;
    const EPoint corner(seed % 1009, -static_cast<double>(m_Thread));
    const float thickness = 5.0f + static_cast<float>(seed % 40);
    const char grade = static_cast<char>('A' + seed % 26);
    const short layer = static_cast<short>(seed % 300);
    const std::int32_t holes = static_cast<std::int32_t>(seed % 17);
    const DbObjectId material(kMaterialType, kDatabase, seed % 89);
    const DbObjectId owner(kOwnerType, kOtherDatabase, seed);
    const EString comment(("plate " + std::to_string(seed)).c_str());
    bool written = meta->setDataPoint(data::kPlateCorner, corner);
    written = meta->setDataFloat(data::kPlateThickness, thickness) && written;
    written = meta->setDataChar(data::kPlateGrade, grade) && written;
    written = meta->setDataShort(data::kPlateLayer, layer) && written;
    written = meta->setDataLong(data::kPlateHoles, holes) && written;
    written = meta->setDataReference(data::kMaterial, material) && written;
    written = meta->setDataEmbeddedReference(data::kPlateOwner,
                                             DbEmbeddedObjId(owner, static_cast<int>(seed % 5))) &&
              written;
    written = meta->setDataString(data::kComment, comment) && written;
    m_Check.expect(written, "plate: a typed setter found no value", request);

    expectObjectId(*meta, object.getObjectId(), request);
    m_Check.expect(meta->getData(data::kPlateCorner)->getPoint() == corner, "plate: corner",
                   request);
    m_Check.expect(meta->getData(data::kPlateThickness)->getFloat() == thickness,
                   "plate: thickness", request);
    m_Check.expect(meta->getData(data::kPlateGrade)->getChar() == grade, "plate: grade", request);
    m_Check.expect(meta->getData(data::kPlateLayer)->getShort() == layer, "plate: layer", request);
    m_Check.expect(meta->getData(data::kPlateHoles)->getLong() == holes, "plate: holes", request);
    m_Check.expect(meta->getData(data::kMaterial)->getReference() == material, "plate: material",
                   request);
    const DbData* ownerValue = meta->getData(data::kPlateOwner);
    m_Check.expect(ownerValue->getReference() == owner &&
                       ownerValue->getEmbeddedId() == static_cast<std::int32_t>(seed % 5),
                   "plate: owner", request);
    m_Check.expect(meta->getData(data::kComment)->getString() == comment, "plate: comment",
                   request);
    release(*meta, object, request, seed);
  }

  void placement(DbMetaManager& registry, std::uint32_t request, std::uint32_t seed) {
    DMMemberBase object(DbObjectId(kPlacementType, kDatabase, seed));
    DbMetaBase* meta = bind(registry, kPlacementType, object, request);
    if (meta == nullptr) return;
    writePlacement(*meta, seed, request);
    release(*meta, object, request, seed);
  }

  void writePlacement(DbMetaBase& meta, std::uint32_t seed, std::uint32_t request) {
    const EPoint3D origin(seed % 503, seed % 509, seed % 521);
    const double angle = (seed % 360) * 0.5;
    const DbObjectId frame(kFrameType, kDatabase, seed % 13);
    const std::int32_t level = static_cast<std::int32_t>(seed % 7);
    bool written = meta.setDataPoint3D(data::kPlacementOrigin, origin);
    written = meta.setDataDouble(data::kPlacementAngle, angle) && written;
    written = meta.setDataReference(data::kPlacementFrame, frame) && written;
    written = meta.setDataLong(data::kPlacementLevel, level) && written;
    m_Check.expect(written, "placement: a typed setter found no value", request);
    m_Check.expect(meta.getData(data::kPlacementOrigin)->getPoint3D() == origin,
                   "placement: origin", request);
    m_Check.expect(meta.getData(data::kPlacementAngle)->getDouble() == angle, "placement: angle",
                   request);
    m_Check.expect(meta.getData(data::kPlacementFrame)->getReference() == frame, "placement: frame",
                   request);
    m_Check.expect(meta.getData(data::kPlacementLevel)->getLong() == level, "placement: level",
                   request);
  }

  void assembly(DbMetaManager& registry, std::uint32_t request, std::uint32_t seed) {
    DMMemberBase object(DbObjectId(kAssemblyType, kDatabase, seed));
    DbMetaBase* meta = bind(registry, kAssemblyType, object, request);
    if (meta == nullptr) return;
    const EString name(("assembly-" + std::to_string(seed)).c_str());
    const std::int32_t revision = static_cast<std::int32_t>(seed % 1000);
    bool written = meta->setDataString(data::kName, name);
    written = meta->setDataLong(data::kAssemblyRevision, revision) && written;
    written = meta->setDataBool(data::kAssemblyReleased, (seed & 2) != 0) && written;
    m_Check.expect(written, "assembly: a typed setter found no value", request);
    DbMetaBase* placement = meta->getMetaForEmbeddedObject(data::kAssemblyPlacement);
    m_Check.expect(placement != nullptr && placement->getTypeId() == kPlacementType,
                   "assembly: no embedded placement", request);
    if (placement != nullptr) writePlacement(*placement, seed, request);
    m_Check.expect(meta->getData(data::kName)->getString() == name, "assembly: name", request);
    m_Check.expect(meta->getData(data::kAssemblyRevision)->getLong() == revision,
                   "assembly: revision", request);

    if ((request / 4) % kMoveEvery == 0 && placement != nullptr) {
      moveToOtherDatabase(registry, *meta, *placement, request, seed);
    }
    release(*meta, object, request, seed);
  }

  // Fills the parts container from beam metas held at the same time, moves
  // the assembly from kDatabase to kMovedDatabase and checks that exactly the
  // ids in kDatabase moved, in the container and the embedded placement too.
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
      DbMetaBase* part = bind(registry, kBeamType, objects[static_cast<std::size_t>(j)], request);
      if (part == nullptr) break;
      partMetas.push_back(part);
      // Inserting at the front leaves the container in reverse order.
      m_Check.expect(meta.addObject2Container(data::kAssemblyParts, *part, 0),
                     "assembly: addObject2Container", request);
    }
    for (DbMetaBase* part : partMetas) part->clear();
    m_Check.expect(meta.getContainerSize(data::kAssemblyParts) == partMetas.size(),
                   "assembly: container size", request);

    const DbObjectId frameBefore = placement.getData(data::kPlacementFrame)->getReference();
    meta.changeDatabaseIds(kDatabase, kMovedDatabase);

    DbObjectId moved = meta.getObjectId();
    moved.setDatabaseId(kMovedDatabase);
    expectObjectId(meta, moved, request);
    auto* container =
        dynamic_cast<tarvex::DbReferenceContainerValue*>(meta.getData(data::kAssemblyParts));
    for (std::size_t j = 0; j < partMetas.size() && container != nullptr; ++j) {
      DbObjectId expected = objects[partMetas.size() - 1 - j].getObjectId();
      if (expected.getDatabaseId() == kDatabase) expected.setDatabaseId(kMovedDatabase);
      const DbData* element = container->element(j);
      m_Check.expect(element != nullptr && element->getReference() == expected,
                     "assembly: part reference after the move", request);
    }
    DbObjectId frameAfter = frameBefore;
    frameAfter.setDatabaseId(kMovedDatabase);
    m_Check.expect(placement.getData(data::kPlacementFrame)->getReference() == frameAfter,
                   "assembly: placement frame after the move", request);
    m_Check.expect(!placement.inUse(), "assembly: embedded meta left in use", request);

    while (meta.getContainerSize(data::kAssemblyParts) > 0) {
      if (!meta.removeObjectFromContainer(data::kAssemblyParts, 0)) break;
    }
    m_Check.expect(meta.getContainerSize(data::kAssemblyParts) == 0,
                   "assembly: container not emptied", request);
  }

  unsigned m_Thread;
  WorkerResult& m_Result;
  Checker& m_Check;
};

std::uint32_t heldCountFromDump(const std::vector<std::string>& lines) {
  static const char kPrefix[] = "DbMetaManager-recycled Metacount ";
  for (const std::string& line : lines) {
    if (line.compare(0, sizeof kPrefix - 1, kPrefix) == 0) {
      return static_cast<std::uint32_t>(
          std::strtoul(line.c_str() + sizeof kPrefix - 1, nullptr, 10));
    }
  }
  return 0;
}

std::string countsText(const MetaCounts& counts) {
  std::string text;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (i != 0) text += ", ";
    text += sampleTypeName(kSampleTypeIds[i]);
    text += " " + std::to_string(counts[i]);
  }
  return text;
}

std::uint32_t sum(const MetaCounts& counts) {
  std::uint32_t total = 0;
  for (std::uint32_t count : counts) total += count;
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int parsed = parseOptions(argc, argv, options); parsed != 0) return parsed == 1 ? 0 : 2;

  ReportLog reports(options.trace);
  if (options.trace) ETraceState::switchTrace(L"Meta", true);

  // Set-up of the process-wide tables: the library's users do this, not the
  // module.
  auto tables = std::make_unique<tarvex::DbTablesScope>();
  markSampleBackPackedDataIds();
  const std::vector<char>& typeMap = *DbDataModel2DataBaseTypeMap::getInstance();
  const auto dataModelTypes =
      static_cast<unsigned>(std::count_if(typeMap.begin(), typeMap.end(), [](char type) {
        return type != DbDataModel2DataBaseTypeMap::kUndefinedDatabaseType;
      }));
  auto* schema = new SampleSchema;
  registerSampleMetaTable();
  DbMetaManager* registry = DbMetaManager::getInstance();
  const bool started = AfFramework::startUp();

  std::vector<std::string> types;
  for (auto it = registry->getMetasBegin(); it != registry->getMetasEnd(); ++it) {
    types.push_back(std::string(sampleTypeName(it->first)) + " (" + std::to_string(it->first) +
                    ")");
  }
  const MetaCounts setUpThreadHeld = metasCreatedOnThisThread();

  std::vector<WorkerResult> results(options.threads);
  for (unsigned t = 0; t < options.threads; ++t) results[t].checker = Checker(t + 1);
  const auto begin = std::chrono::steady_clock::now();
  {
    std::vector<std::thread> threads;
    threads.reserve(options.threads);
    for (unsigned t = 0; t < options.threads; ++t) {
      threads.emplace_back([&options, &results, t] {
        try {
          Worker(t + 1, results[t]).serve(options.requests);
        } catch (const std::exception& error) {
          results[t].error = error.what();
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();

  const bool allGivenBack = registry->check();
  ETraceState::switchTrace(L"Meta", true);
  reports.beginExpected();
  DbMetaManager::dumpMetas();
  const std::vector<std::string> dumpLines = reports.endExpected();

  AfFramework::shutDown();
  tables.reset();
  unregisterSampleMetaTable();
  const std::size_t schemaEntries = schema->entries().size();
  delete schema;
  if (!options.trace) ETraceState::switchTrace(L"Meta", false);

  // --- Report ----------------------------------------------------------------
  std::uint64_t requests = 0, moves = 0, checks = 0, mismatches = 0;
  MetaCounts perType{};
  std::uint32_t held = static_cast<std::uint32_t>(types.size()) + sum(setUpThreadHeld);
  std::vector<std::string> failures, errors;
  for (const WorkerResult& result : results) {
    requests += result.requests;
    moves += result.moves;
    checks += result.checker.checks();
    mismatches += result.checker.mismatches();
    for (std::size_t i = 0; i < perType.size(); ++i) perType[i] += result.held[i];
    held += sum(result.held);
    failures.insert(failures.end(), result.checker.failures().begin(),
                    result.checker.failures().end());
    if (!result.error.empty()) errors.push_back(result.error);
  }
  const std::uint32_t dumpHeld = heldCountFromDump(dumpLines);
  const std::vector<std::string> unexpected = reports.unexpected();

  std::printf("Tarvex demo\n");
  std::printf("  set-up      %u data-model types; %zu meta types registered:", dataModelTypes,
              types.size());
  for (std::size_t i = 0; i < types.size(); ++i)
    std::printf("%s %s", i ? "," : "", types[i].c_str());
  std::printf("\n              %zu schema entries; framework start-up %s\n", schemaEntries,
              started ? "ok" : "FAILED");
  std::printf(
      "  run         %u threads x %u requests = %llu requests in %.3f s (%.0f requests/s)\n",
      options.threads, options.requests, static_cast<unsigned long long>(requests), seconds,
      seconds > 0 ? static_cast<double>(requests) / seconds : 0.0);
  std::printf("              %llu assemblies filled with parts and moved to database %u\n",
              static_cast<unsigned long long>(moves), kMovedDatabase);
  std::printf("  metas held  registered %zu; set-up thread: %s\n", types.size(),
              countsText(setUpThreadHeld).c_str());
  for (unsigned t = 0; t < options.threads && t < 8; ++t) {
    std::printf("              thread %u: %s\n", t + 1, countsText(results[t].held).c_str());
  }
  if (options.threads > 8) std::printf("              (%u more threads)\n", options.threads - 8);
  std::printf("              all worker threads: %s\n", countsText(perType).c_str());
  std::printf("              total %u, registry dump says %u\n", held, dumpHeld);
  std::printf("  dump\n");
  for (const std::string& line : dumpLines) std::printf("              %s\n", line.c_str());
  std::printf("  check()     %s\n",
              allGivenBack ? "true: every meta was given back" : "FALSE: metas still in use");
  std::printf("  values      %llu read back and compared, %llu mismatches\n",
              static_cast<unsigned long long>(checks), static_cast<unsigned long long>(mismatches));
  for (const std::string& failure : failures) std::printf("              %s\n", failure.c_str());
  for (const std::string& error : errors) std::printf("  error       %s\n", error.c_str());
  std::printf("  reports     %zu unexpected\n", unexpected.size());
  for (std::size_t i = 0; i < unexpected.size() && i < 10; ++i) {
    std::printf("              %s\n", unexpected[i].c_str());
  }

  const bool ok = started && mismatches == 0 && errors.empty() && allGivenBack &&
                  unexpected.empty() && held == dumpHeld && requests != 0;
  std::printf("  result      %s\n", ok ? "OK" : "FAILED");
  return ok ? 0 : 1;
}
