// Metas and helpers for the registry and pool suites: a meta that counts its
// live instances, remembers which meta made it and can be told to fail in
// createMeta; a thread that stays alive across the steps of a test (a new
// thread may reuse an ended thread's id and with it that thread's pool);
// and a guard for the "Meta" trace switch.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "DbMetaManager.h"
#include "ETraceState.h"
#include "ReportCapture.h"
#include "TestMetas.h"

namespace tarvex_test {

class CountingMeta final : public TestMeta {
 public:
  enum class Factory { Works, ReturnsNull, Throws };

  explicit CountingMeta(unsigned short typeId, std::vector<ValueFactory> factories = {},
                        const CountingMeta* madeFrom = nullptr)
      : TestMeta(typeId, std::move(factories)), m_pMadeFrom(madeFrom) {
    fill();
    s_Live.fetch_add(1);
  }
  ~CountingMeta() override { s_Live.fetch_sub(1); }

  DbMetaBase* createMeta() override {
    ++m_CreateCalls;
    if (m_Factory == Factory::ReturnsNull) return nullptr;
    if (m_Factory == Factory::Throws) throw std::bad_alloc();
    auto* made = new CountingMeta(m_TypeId, m_Factories, this);
    if (m_OnCreate) m_OnCreate();
    return made;
  }
  // Giving a meta back also drops its object, as real metas do.
  void clear() override {
    TestMeta::clear();
    releaseObject();
  }

  const CountingMeta* madeFrom() const { return m_pMadeFrom; }
  void setFactory(Factory factory) { m_Factory = factory; }
  // Runs inside every later createMeta, as a meta whose construction asks
  // the registry for the metas of its embedded objects.
  void setOnCreate(std::function<void()> onCreate) { m_OnCreate = std::move(onCreate); }
  int createCalls() const { return m_CreateCalls.load(); }
  static int live() { return s_Live.load(); }

 private:
  const CountingMeta* m_pMadeFrom;
  Factory m_Factory = Factory::Works;
  std::function<void()> m_OnCreate;
  // Every thread filling its pool calls createMeta on the same meta.
  std::atomic<int> m_CreateCalls{0};
  inline static std::atomic<int> s_Live{0};
};

// The class name the pool's traces carry for a CountingMeta.
inline std::wstring countingMetaClassName() {
  CountingMeta sample(0);
  EString name;
  sample.getClassName(name);
  return name;
}

// Opens getMetaLocal for tests.
class LocalRegistry : public DbMetaManagerBase {
 public:
  using DbMetaManagerBase::getMetaLocal;
};

// Runs tasks on one thread that lives until destruction.
class Worker {
 public:
  Worker() : m_Thread([this] { loop(); }) {}
  ~Worker() {
    {
      std::lock_guard<std::mutex> lock(m_Mutex);
      m_bStop = true;
    }
    m_Wake.notify_all();
    m_Thread.join();
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Runs `task` on the worker and waits for it; rethrows what it threw.
  void run(std::function<void()> task) {
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Task = std::move(task);
    m_bDone = false;
    m_Error = nullptr;
    m_Wake.notify_all();
    m_Wake.wait(lock, [this] { return m_bDone; });
    if (m_Error) std::rethrow_exception(m_Error);
  }
  template <typename Task>
  auto get(Task task) -> decltype(task()) {
    decltype(task()) result{};
    run([&] { result = task(); });
    return result;
  }

 private:
  void loop() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
      m_Wake.wait(lock, [this] { return m_bStop || m_Task; });
      if (!m_Task) return;
      std::function<void()> task = std::move(m_Task);
      m_Task = nullptr;
      lock.unlock();
      std::exception_ptr error;
      try {
        task();
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      m_Error = error;
      m_bDone = true;
      m_Wake.notify_all();
    }
  }

  std::mutex m_Mutex;
  std::condition_variable m_Wake;
  std::function<void()> m_Task;
  bool m_bDone = false;
  bool m_bStop = false;
  std::exception_ptr m_Error;
  std::thread m_Thread;
};

// While alive, every report and trace throws std::runtime_error.
class ThrowingSink {
 public:
  ThrowingSink()
      : m_Previous(setTraceSink([](const TraceRecord&) { throw std::runtime_error("sink"); })) {}
  ~ThrowingSink() { setTraceSink(m_Previous); }
  ThrowingSink(const ThrowingSink&) = delete;
  ThrowingSink& operator=(const ThrowingSink&) = delete;

 private:
  TraceSink m_Previous;
};

class TraceSwitch {
 public:
  explicit TraceSwitch(bool on) { ETraceState::switchTrace(L"Meta", on); }
  ~TraceSwitch() { ETraceState::switchTrace(L"Meta", false); }
  TraceSwitch(const TraceSwitch&) = delete;
  TraceSwitch& operator=(const TraceSwitch&) = delete;
};

// Every test starts and ends without a singleton, and must leave no meta
// alive (none leaked) and none deleted twice (the count would drop below).
class RegistryFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    DbMetaManager::deinit();
    m_LiveBefore = CountingMeta::live();
  }
  void TearDown() override {
    DbMetaManager::deinit();
    EXPECT_EQ(CountingMeta::live(), m_LiveBefore);
  }

  // Texts of the reports, as "text|file|line".
  std::vector<std::string> reportsOf(TraceRecord::Kind kind) const {
    std::vector<std::string> out;
    for (const TraceRecord& record : m_Capture.records()) {
      if (record.kind != kind) continue;
      out.push_back(narrow(record.text) + "|" + narrow(record.file) + "|" +
                    std::to_string(record.line));
    }
    return out;
  }
  std::vector<std::string> assertions() const { return reportsOf(TraceRecord::Kind::Assertion); }
  std::vector<std::string> traces() const { return reportsOf(TraceRecord::Kind::Trace); }

  ReportCapture m_Capture;
  int m_LiveBefore = 0;
};

inline std::string report(const std::string& text, const std::string& file, int line) {
  return text + "|" + file + "|" + std::to_string(line);
}

}  // namespace tarvex_test
