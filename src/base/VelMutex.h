// VelMutex (non-recursive mutex with a lock count), VelSpinMutex (a mutex for very short critical
// sections that spins briefly before it sleeps), VelEvent (auto-reset event) and VelMutexHandler
// (scoped lock guard for either mutex).
#ifndef VEL_BASE_VELMUTEX_H
#define VEL_BASE_VELMUTEX_H

#include <pthread.h>

#include <atomic>

class VelMutex {
 public:
  VelMutex();
  ~VelMutex();
  VelMutex(const VelMutex&) = delete;
  VelMutex& operator=(const VelMutex&) = delete;

  // Locks and counts; does nothing on an invalid mutex.
  void get();
  // Uncounts and unlocks when the count reaches 0; does nothing on an invalid mutex.
  void release();

  bool isValid() const { return m_valid; }
  int lockCount() const { return m_count; }  // only meaningful to the holder

 private:
  pthread_mutex_t m_mutex;
  int m_count = 0;  // changed only by the thread that holds m_mutex
  bool m_valid = false;
  int m_createError = 0;
};

// A non-recursive mutex for critical sections of a few dozen instructions taken by many threads
// (the pool). A thread that finds it held spins for a short while, re-reading it, before it
// sleeps on the futex; release wakes a sleeper only when one is waiting. No lock count: get() by
// the holder deadlocks.
class VelSpinMutex {
 public:
  VelSpinMutex() = default;
  VelSpinMutex(const VelSpinMutex&) = delete;
  VelSpinMutex& operator=(const VelSpinMutex&) = delete;

  void get() {
    int expected = kFree;
    if (!m_state.compare_exchange_strong(expected, kHeld, std::memory_order_acquire,
                                         std::memory_order_relaxed))
      getContended();
  }
  void release() {
    if (m_state.exchange(kFree, std::memory_order_release) == kHeldWithSleepers) wakeOne();
  }

 private:
  enum : int { kFree = 0, kHeld = 1, kHeldWithSleepers = 2 };
  void getContended();
  void wakeOne();
  std::atomic<int> m_state{kFree};
};

class VelEvent {
 public:
  VelEvent();
  ~VelEvent();
  VelEvent(const VelEvent&) = delete;
  VelEvent& operator=(const VelEvent&) = delete;

  // Waits until posted, then clears the signal.
  void wait();
  // One timed wait with a whole-second deadline: now (in seconds) + milliseconds / 1000.
  // True when woken (the signal is cleared), false on time-out, error or an invalid event.
  bool waitWithTimeout(unsigned milliseconds);
  // Sets the signal and wakes one waiter.
  void post();
  // Clears the signal.
  void reset();

  bool isValid() const { return m_valid; }

 private:
  pthread_cond_t m_cond;
  pthread_mutex_t m_mutex;
  int m_createResult = 0;
  bool m_signalled = false;  // guarded by m_mutex
  bool m_valid = false;
};

// Holds a VelMutex (or a VelSpinMutex) for the life of the object.
template <typename Mutex>
class VelLockHandler {
 public:
  explicit VelLockHandler(Mutex* mutex) : m_mutex(mutex) {
    if (m_mutex) m_mutex->get();
  }
  explicit VelLockHandler(Mutex& mutex) : VelLockHandler(&mutex) {}
  ~VelLockHandler() {
    if (m_mutex) m_mutex->release();
  }
  VelLockHandler(const VelLockHandler&) = delete;
  VelLockHandler& operator=(const VelLockHandler&) = delete;

 private:
  Mutex* m_mutex;
};
using VelMutexHandler = VelLockHandler<VelMutex>;
using VelSpinMutexHandler = VelLockHandler<VelSpinMutex>;

#endif  // VEL_BASE_VELMUTEX_H
