// DemoWorkerThreads: tarvex-demo's worker threads, started behind a gate.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvex_demo {

// Worker threads wait at a gate until every one of them has started, so that
// one that cannot be started stops the run before any request. Joins every
// thread it started, on every way out.
class WorkerThreads {
 public:
  WorkerThreads() = default;
  WorkerThreads(const WorkerThreads&) = delete;
  WorkerThreads& operator=(const WorkerThreads&) = delete;
  ~WorkerThreads() {
    open(false);
    join();
  }

  // Throws std::system_error if the thread cannot be started.
  template <class Work>
  void start(Work work) {
    m_Threads.emplace_back([this, work] {
      if (wait()) work();
    });
  }
  // Lets the waiting threads go to work, or home.
  void open(bool work) {
    {
      std::lock_guard<std::mutex> lock(m_Mutex);
      if (m_bOpen) return;
      m_bOpen = true;
      m_bWork = work;
    }
    m_Opened.notify_all();
  }
  void join() {
    for (std::thread& thread : m_Threads) {
      if (thread.joinable()) thread.join();
    }
  }

 private:
  bool wait() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Opened.wait(lock, [this] { return m_bOpen; });
    return m_bWork;
  }

  std::vector<std::thread> m_Threads;
  std::mutex m_Mutex;
  std::condition_variable m_Opened;
  bool m_bOpen = false;
  bool m_bWork = false;
};

}  // namespace tarvex_demo
