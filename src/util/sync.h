// A mutex, a condition variable and the calling thread's identity for the core. The Windows
// cross-compiler's thread model has no std::mutex or std::thread, so there they stand on the
// system's slim lock, condition variable and thread id.
#pragma once

#include <chrono>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#else
#include <condition_variable>
#include <thread>
#endif

namespace pelmo::util {

#ifdef _WIN32

class Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void lock() { AcquireSRWLockExclusive(&lock_); }
  void unlock() { ReleaseSRWLockExclusive(&lock_); }
  bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != 0; }
  SRWLOCK* native() { return &lock_; }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
};

class ConditionVariable {
 public:
  ConditionVariable() = default;
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;
  void notify_all() { WakeAllConditionVariable(&cv_); }

  // As std::condition_variable::wait_for: false when the limit passed and `done` still fails.
  template <typename Done>
  bool wait_for(std::unique_lock<Mutex>& lock, std::chrono::milliseconds limit, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      SleepConditionVariableSRW(&cv_, lock.mutex()->native(), static_cast<DWORD>(left.count()), 0);
    }
    return true;
  }

 private:
  CONDITION_VARIABLE cv_ = CONDITION_VARIABLE_INIT;
};

using ThreadId = DWORD;
inline ThreadId this_thread_id() { return GetCurrentThreadId(); }

#else

using Mutex = std::mutex;
using ConditionVariable = std::condition_variable;
using ThreadId = std::thread::id;
inline ThreadId this_thread_id() { return std::this_thread::get_id(); }

#endif

}  // namespace pelmo::util
