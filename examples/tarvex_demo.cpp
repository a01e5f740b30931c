// tarvex-demo: one application life of the meta layer, end to end.
//
// Read it top-down: set-up and start-up (the framework runs the sample
// provider, which registers the sample metas), worker threads serving object
// requests (each borrows a meta, binds the object, writes and reads its
// values and gives the meta back), the registry's check and dump, shut-down
// and teardown, and the report. Every number of the report is counted on its
// own, apart from what it is compared with: values by the demo's reads (the
// tables of DemoValues.cpp), metas held by the providers' creation counters,
// the dump's lines by the trace sink.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "AfModule.h"
#include "DMMemberBase.h"
#include "DbData.h"
#include "DbMetaManager.h"
#include "DemoOptions.h"
#include "DemoReport.h"
#include "DemoReportLog.h"
#ifdef TARVEX_DEMO_STORE
#include "DemoStore.h"
#endif
#include "DemoTally.h"
#include "DemoValues.h"
#include "DemoWorkerThreads.h"
#include "ETraceState.h"
#include "SampleMetaTable.h"
#include "SampleMetas.h"
#include "SampleSchema.h"
#include "TarvexKit.h"

using namespace tarvex_sample;
using namespace tarvex_demo;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitMismatch = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCannotRun = 3;

// --- The application around the workers ----------------------------------------

// Set-up in the constructor: the tables, the sample's back-packed data id,
// the schema and the provider (the library's users do this, not its module).
// Start-up, shut-down and teardown when asked; an early way out still shuts
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

// --- A worker and its requests ---------------------------------------------------

// The connection of a worker to the store, when the demo has one.
#ifdef TARVEX_DEMO_STORE
using Connection = tarvex_store::StoreConnection;
#else
// Without a store: no request goes through one.
class Connection {
 public:
  void begin() {}
  void commit() {}
  bool load(DbMetaBase&) { return false; }
  void save(DbMetaBase&) {}
  void move(DbMetaBase& meta, unsigned short from, unsigned short to) {
    meta.changeDatabaseIds(from, to);
  }
  static void finish(DbMetaBase&) {}
};
#endif

class Worker {
 public:
  // `connection` null: every request is served from memory.
  Worker(unsigned thread, WorkerResult& result, Connection* connection, unsigned storeEvery)
      : m_Thread(thread),
        m_Result(result),
        m_Tally(result.tally),
        m_pConnection(connection),
        m_StoreEvery(storeEvery) {}

  // Request i is a beam, a plate, an assembly or a placement as i % 4 is 0,
  // 1, 2 or 3.
  void serve(std::uint32_t requests) {
    static constexpr unsigned short kTypes[] = {kBeamType, kPlateType, kAssemblyType,
                                                kPlacementType};
    for (std::uint32_t i = 0; i < requests; ++i) {
      m_Tally.setRequest(i);
      request(kTypes[i % 4], Request{m_Thread, i, m_Thread * kSeedStride + i});
      ++m_Result.requests;
    }
    m_Result.held = metasCreatedOnThisThread();
  }

 private:
  // The road of one request; through the store, in a transaction of its
  // own: the object loaded (an earlier run may have saved it), changed
  // through the meta and saved.
  void request(unsigned short type, const Request& request) {
    DMMemberBase object(objectIdOf(type, request));
    DbMetaBase* meta = borrowAndBind(type, object);  // getMeta, setObject
    if (meta == nullptr) return;
    Connection* store = throughStore(request.index, m_StoreEvery) ? m_pConnection : nullptr;
    if (store != nullptr) {
      store->begin();
      if (store->load(*meta)) {
        ++m_Result.loaded;
        readValues(m_Result.storeTally, *meta, request);
      }
    }
    writeValues(m_Tally, *meta, request);  // the typed setters
    readValues(m_Tally, *meta, request);   // getData, through the typed keys
    if (type == kAssemblyType) assembly(*meta, request, store);
    const int stamp = static_cast<int>(1 + request.seed % 1000);
    if (store != nullptr) {
      meta->setBuildStamp(stamp);
      store->save(*meta);
      store->commit();
      Connection::finish(*meta);
      ++m_Result.saved;
    }
    if (type == kAssemblyType) emptyParts(*meta);
    // The sorted list is what a storage layer walks; the hand-over passes the
    // object on with a build stamp; clear() gives the meta back to the pool.
    const DbDataList& sorted = meta->getDataList(true);
    m_Tally.check(sorted.size() == meta->getDataList(false).size() &&
                      std::is_sorted(sorted.begin(), sorted.end(), DbData::sortDbData),
                  type, "sorted data list out of order");
    m_Tally.check(meta->takeOverObject(stamp) == &object && object.getBuildStamp() == stamp, type,
                  "takeOverObject handed over the wrong object");
    giveBack(*meta);
  }

  DbMetaBase* borrowAndBind(unsigned short type, DMMemberBase& object) {
    DbMetaBase* meta = DbMetaManager::getInstance()->getMeta(type);
    m_Tally.check(meta != nullptr, type, "getMeta returned null");
    if (meta == nullptr) return nullptr;
    m_Tally.check(!meta->inUse(), type, "getMeta handed out a meta in use");
    m_Tally.check(meta->getTypeId() == type, type, "getMeta handed out a meta of type",
                  meta->getTypeId());
    const bool bound = meta->setObject(&object, 0) && meta->inUse();
    m_Tally.check(bound, type, "setObject did not bind the meta");
    if (bound) ++m_Result.stillBound;
    return meta;
  }

  void giveBack(DbMetaBase& meta) {
    const bool wasBound = meta.inUse();
    meta.clear();
    m_Tally.check(!meta.inUse() && meta.getObject() == nullptr, meta.getTypeId(),
                  "clear() kept the meta or its object");
    if (wasBound) --m_Result.stillBound;
  }

  // An assembly's placement is an object of its own, embedded, with a meta
  // the assembly's meta owns; now and then the assembly gets parts and moves.
  void assembly(DbMetaBase& meta, const Request& request, Connection* store) {
    DbMetaBase* placement = meta.getMetaForEmbeddedObject(data::kAssemblyPlacement);
    m_Tally.check(placement != nullptr && placement->getTypeId() == kPlacementType, kAssemblyType,
                  "no embedded placement in data id", data::kAssemblyPlacement);
    if (placement == nullptr) return;
    writeValues(m_Tally, *placement, request);
    readValues(m_Tally, *placement, request);
    if (movesAssembly(request.index)) move(meta, *placement, request, store);
  }

  // Fills the parts container from beam metas bound at the same time (so the
  // thread's beam pool grows to as many), moves the assembly from kDatabase
  // to kMovedDatabase and sees that exactly the ids in kDatabase moved, in
  // the container and the embedded placement too. Through the store, the
  // stored object moves with it.
  void move(DbMetaBase& meta, DbMetaBase& placement, const Request& request, Connection* store) {
    ++m_Result.moves;
    std::vector<DMMemberBase> objects;
    for (const DbObjectId& id : partsOf(request)) objects.emplace_back(id);
    std::vector<DbMetaBase*> partMetas;
    for (DMMemberBase& object : objects) {
      DbMetaBase* part = borrowAndBind(kBeamType, object);
      if (part == nullptr) break;
      partMetas.push_back(part);
      // Inserting at the front leaves the container in reverse order.
      m_Tally.check(meta.addObject2Container(data::kAssemblyParts, *part, 0), kAssemblyType,
                    "addObject2Container failed on data id", data::kAssemblyParts);
    }
    m_Result.mostParts = std::max(m_Result.mostParts, static_cast<std::uint32_t>(partMetas.size()));
    for (DbMetaBase* part : partMetas) giveBack(*part);
    const std::size_t size = meta.getContainerSize(data::kAssemblyParts);
    m_Tally.check(size == partMetas.size(), kAssemblyType, "wrong number of parts",
                  static_cast<long long>(size));

    if (store != nullptr) {
      store->move(meta, kDatabase, kMovedDatabase);
    } else {
      meta.changeDatabaseIds(kDatabase, kMovedDatabase);
    }

    const auto moved = [](DbObjectId id) {
      if (id.getDatabaseId() == kDatabase) id.setDatabaseId(kMovedDatabase);
      return id;
    };
    const DbData* ownId = meta.getData(data::kObjectId);
    m_Tally.value(kAssemblyType, data::kObjectId, moved(objectIdOf(kAssemblyType, request)),
                  ownId != nullptr ? std::optional(ownId->getDbObjectId()) : std::nullopt);
    auto* container =
        dynamic_cast<tarvex::DbReferenceContainerValue*>(meta.getData(data::kAssemblyParts));
    m_Tally.check(container != nullptr, kAssemblyType, "no parts container in data id",
                  data::kAssemblyParts);
    for (std::size_t j = 0; j < partMetas.size() && container != nullptr; ++j) {
      const DbData* element = container->element(j);
      m_Tally.value(kAssemblyType, data::kAssemblyParts,
                    moved(objects[partMetas.size() - 1 - j].getObjectId()),
                    element != nullptr ? std::optional(element->getReference()) : std::nullopt,
                    static_cast<long long>(j));
    }
    m_Tally.value(kPlacementType, data::kPlacementFrame, moved(frameOf(request.seed)),
                  tarvex::tryGet(placement, keys::kPlacementFrame));
    m_Tally.check(!placement.inUse(), kAssemblyType, "embedded placement left in use");
  }

  // Empties the parts container, so that the recycled meta starts without.
  void emptyParts(DbMetaBase& meta) {
    if (meta.getContainerSize(data::kAssemblyParts) == 0) return;
    while (meta.getContainerSize(data::kAssemblyParts) > 0) {
      if (!meta.removeObjectFromContainer(data::kAssemblyParts, 0)) break;
    }
    m_Tally.check(meta.getContainerSize(data::kAssemblyParts) == 0, kAssemblyType,
                  "parts left after emptying",
                  static_cast<long long>(meta.getContainerSize(data::kAssemblyParts)));
  }

  unsigned m_Thread;
  WorkerResult& m_Result;
  Tally& m_Tally;
  Connection* m_pConnection;
  unsigned m_StoreEvery;
};

// --- The application's life ------------------------------------------------------

int run(const Options& options) {
  RunResults run;
  run.threads = options.threads;
  run.requests = options.requests;
  ReportLog reports(options.trace);
  if (options.trace) ETraceState::switchTrace(L"Meta", true);
  omitSampleDataId(static_cast<unsigned short>(options.dropValue));
  loseSampleWrites(static_cast<unsigned short>(options.loseWrites));
  run.placementsEmbedded = options.dropValue != data::kAssemblyPlacement;

  // Set-up and start-up: the framework runs the provider's initTable, which
  // registers the sample metas; registering makes this thread's pool.
  Application application;
  const std::vector<char>& typeMap = *DbDataModel2DataBaseTypeMap::getInstance();
  run.dataModelTypes =
      static_cast<unsigned>(std::count_if(typeMap.begin(), typeMap.end(), [](char type) {
        return type != DbDataModel2DataBaseTypeMap::kUndefinedDatabaseType;
      }));
  run.started = application.startUp();
  run.providersStarted = SampleMetaTable::initCount();
  DbMetaManager* registry = DbMetaManager::getInstance();
  for (auto it = registry->getMetasBegin(); it != registry->getMetasEnd(); ++it) {
    run.registered.push_back(it->first);
  }
  run.setUpThreadHeld = metasCreatedOnThisThread();

#ifdef TARVEX_DEMO_STORE
  // The store; what an earlier run saved in it is read back and verified
  // first. One meta of a type at a time, so this thread's pool stays as
  // registration made it.
  const auto store = std::make_unique<DemoStore>(options.store);
  run.store.used = true;
  run.store.path = store->store().path();
  run.store.kept = !store->temporary();
  run.store.every = options.storeEvery;
  run.store.verifiedBefore = store->verify(run.store.tally);
#endif

  // The workers: each serves its requests from a pool of its own, and
  // talks to the store through a connection of its own.
  run.workers.resize(options.threads);
  for (unsigned t = 0; t < options.threads; ++t) run.workers[t].tally = Tally(t + 1);
  {
    WorkerThreads workers;
    for (unsigned t = 0; t < options.threads; ++t) {
      WorkerResult& result = run.workers[t];
      try {
        if (t + 1 == options.failThread) {
          throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                  "--fail-thread");
        }
        workers.start([&, t] {
          try {
            std::unique_ptr<Connection> connection;
#ifdef TARVEX_DEMO_STORE
            connection = store->store().connect();
#endif
            Worker(t + 1, result, connection.get(), options.storeEvery).serve(options.requests);
          } catch (const std::bad_alloc&) {
            result.outOfMemory = true;
#ifdef TARVEX_DEMO_STORE
          } catch (const tarvex_store::StoreError& error) {
            result.storeError = error.what();
#endif
          } catch (const std::exception& error) {
            result.error = error.what();
          } catch (...) {
            result.error = "an exception of unknown type";
          }
        });
      } catch (const std::system_error& error) {
        workers.open(false);
        workers.join();
        std::uint64_t served = 0;
        for (const WorkerResult& started : run.workers) served += started.requests;
        std::fprintf(stderr,
                     "tarvex-demo: worker thread %u of %u could not be started: %s; the run "
                     "stopped after %llu requests\n",
                     t + 1, options.threads, error.what(), static_cast<unsigned long long>(served));
        return kExitCannotRun;
      }
    }
    const auto begin = std::chrono::steady_clock::now();
    workers.open(true);
    workers.join();
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  }
  for (const WorkerResult& result : run.workers) {
    if (result.outOfMemory) throw std::bad_alloc();
  }
  // A transaction that failed was rolled back; what was committed stays.
  for (const WorkerResult& result : run.workers) {
    if (result.storeError.empty()) continue;
    std::fprintf(stderr, "tarvex-demo: store: %s\n", result.storeError.c_str());
    return kExitCannotRun;
  }
#ifdef TARVEX_DEMO_STORE
  run.store.verifiedAfter = store->verify(run.store.tally);
  run.store.fileSize = store->store().fileSize();
#endif

  // The registry's check and dump, with no worker left; the dump is a trace.
  run.allGivenBack = registry->check();
  ETraceState::switchTrace(L"Meta", true);
  reports.beginExpected();
  DbMetaManager::dumpMetas();
  run.dumpLines = reports.endExpected();
  if (!options.trace) ETraceState::switchTrace(L"Meta", false);
  run.aliveBeforeTeardown = sampleMetasAlive();

  // Shut-down (the framework runs exitTable), then the registry and its
  // metas, the tables and the provider go.
  run.shutDown = application.shutDown();
  run.providersShutDown = SampleMetaTable::exitCount();
  run.schemaEntries = application.schema().entries().size();
  application.tearDown();
  run.aliveAfterTeardown = sampleMetasAlive();
  run.unexpected = reports.unexpected();

  bool ok = false;
  const std::string text = report(run, ok);
  if (!writeStdout(text)) return kExitCannotRun;
  return ok ? kExitOk : kExitMismatch;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
  // A reader that has gone must make the report's write fail, not end the
  // program unannounced.
  std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGXFSZ
  // A file size limit must make the store's write fail, not end the program.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  Options options;
  const Parsed parsed = parseOptions(argc, argv, options);
  if (parsed == Parsed::Bad) return kExitUsage;
  if (parsed == Parsed::Help) return writeStdout(usage()) ? kExitOk : kExitCannotRun;
  try {
    return run(options);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "tarvex-demo: out of memory\n");
#ifdef TARVEX_DEMO_STORE
  } catch (const tarvex_store::StoreError& error) {
    std::fprintf(stderr, "tarvex-demo: store: %s\n", error.what());
#endif
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tarvex-demo: stopped by an exception: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "tarvex-demo: stopped by an exception of unknown type\n");
  }
  return kExitCannotRun;
}
