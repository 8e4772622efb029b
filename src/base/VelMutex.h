// VelMutex (non-recursive mutex with a lock count), VelEvent (auto-reset event) and
// VelMutexHandler (scoped lock guard).
#ifndef VEL_BASE_VELMUTEX_H
#define VEL_BASE_VELMUTEX_H

#include <pthread.h>

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

// Holds a VelMutex for the life of the object.
class VelMutexHandler {
 public:
  explicit VelMutexHandler(VelMutex* mutex) : m_mutex(mutex) {
    if (m_mutex) m_mutex->get();
  }
  explicit VelMutexHandler(VelMutex& mutex) : VelMutexHandler(&mutex) {}
  ~VelMutexHandler() {
    if (m_mutex) m_mutex->release();
  }
  VelMutexHandler(const VelMutexHandler&) = delete;
  VelMutexHandler& operator=(const VelMutexHandler&) = delete;

 private:
  VelMutex* m_mutex;
};

#endif  // VEL_BASE_VELMUTEX_H
