#include "VelMutex.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "MUT1.h"

VEL_TRACE_UNIT("mutex");

VelMutex::VelMutex() {
  m_createError = pthread_mutex_init(&m_mutex, nullptr);
  if (m_createError != 0) {
    VEL_ERROR("Error at pthread_mutex_init(), return code is %d", m_createError);
    return;
  }
  m_valid = true;
}

VelMutex::~VelMutex() {
  if (m_valid) pthread_mutex_destroy(&m_mutex);
}

void VelMutex::get() {
  if (!m_valid) return;
  if (pthread_mutex_lock(&m_mutex) != 0) VEL_ERROR("VelMutex::get,pthread_mutex_lock");
  ++m_count;
}

void VelMutex::release() {
  if (!m_valid) return;
  if (--m_count == 0) pthread_mutex_unlock(&m_mutex);
}

void VelSpinMutex::getContended() {
  // Critical sections last tens of nanoseconds, while sleeping and being woken costs several
  // microseconds on each side: look again for a while first. The pauses between looks double up
  // to kMaxBackoff, so that two threads taking turns do not drag the lock's cache line from core
  // to core at every operation: the holder gets runs of operations while the other waits. The
  // looking stops after kSpinBudget pauses in all (some tens of microseconds: a holder that was
  // preempted is better waited for asleep).
  constexpr unsigned kMaxBackoff = 64;
  constexpr unsigned kSpinBudget = 2500;
  unsigned backoff = 1;
  for (unsigned spent = 0; spent < kSpinBudget; spent += backoff) {
    for (unsigned i = 0; i < backoff; ++i) {
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
    if (m_state.load(std::memory_order_relaxed) == kFree) {
      int expected = kFree;
      if (m_state.compare_exchange_weak(expected, kHeld, std::memory_order_acquire,
                                        std::memory_order_relaxed))
        return;
    }
    if (backoff < kMaxBackoff) backoff <<= 1;
  }
  // Then sleep, marking that a sleeper waits; whoever takes the lock from here on marks it so.
  while (m_state.exchange(kHeldWithSleepers, std::memory_order_acquire) != kFree)
    syscall(SYS_futex, reinterpret_cast<int*>(&m_state), FUTEX_WAIT_PRIVATE, kHeldWithSleepers,
            nullptr, nullptr, 0);
}

void VelSpinMutex::wakeOne() {
  syscall(SYS_futex, reinterpret_cast<int*>(&m_state), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

VelEvent::VelEvent() {
  int rcCond = pthread_cond_init(&m_cond, nullptr);
  int rcMutex = pthread_mutex_init(&m_mutex, nullptr);
  m_createResult = rcCond != 0 ? rcCond : rcMutex;
  m_valid = rcCond == 0 && rcMutex == 0;
  if (!m_valid) {
    if (rcCond == 0) pthread_cond_destroy(&m_cond);
    if (rcMutex == 0) pthread_mutex_destroy(&m_mutex);
  }
}

VelEvent::~VelEvent() {
  if (!m_valid) return;
  pthread_cond_destroy(&m_cond);
  pthread_mutex_destroy(&m_mutex);
}

void VelEvent::wait() {
  if (!m_valid) return;
  pthread_mutex_lock(&m_mutex);
  while (!m_signalled) pthread_cond_wait(&m_cond, &m_mutex);
  m_signalled = false;
  pthread_mutex_unlock(&m_mutex);
}

bool VelEvent::waitWithTimeout(unsigned milliseconds) {
  if (!m_valid) return false;
  // The deadline is in whole seconds: the current second plus the whole seconds of the wait, so
  // the sub-second part of both is dropped.
  struct timeval now;
  gettimeofday(&now, nullptr);
  struct timespec deadline;
  deadline.tv_sec = now.tv_sec + static_cast<time_t>(milliseconds / 1000);
  deadline.tv_nsec = 0;

  pthread_mutex_lock(&m_mutex);
  // A post that came before the wait is not lost: the event stays signalled until a wait takes
  // it.
  int rc = m_signalled ? 0 : pthread_cond_timedwait(&m_cond, &m_mutex, &deadline);
  bool woken = false;
  if (m_signalled) {
    m_signalled = false;
    woken = true;
  } else if (rc == 0) {
    woken = true;
  }
  pthread_mutex_unlock(&m_mutex);
  if (woken) return true;

  switch (rc) {
    case ETIMEDOUT:
      break;
    case EINVAL:
      VEL_ERROR("EINVAL: invalid Timeout value in pthread_cond_timedwait\n");
      break;
    case EFAULT:
      VEL_ERROR("EFAULT: illegal address in pthread_cond_timedwait\n");
      break;
    case EINTR:
      VEL_ERROR("EINTR: thread interupted by signal in pthread_cond_timedwait\n");
      break;
    case -1:
      if (errno != EAGAIN) VEL_ERROR("pthread_cond_timedwait() error, errno=%d\n", errno);
      break;
    default:
      VEL_ERROR("Unknown Error, pthread_cond_timedwait == %d\n", rc);
      break;
  }
  return false;
}

void VelEvent::post() {
  if (!m_valid) return;
  pthread_mutex_lock(&m_mutex);
  m_signalled = true;
  pthread_cond_signal(&m_cond);
  pthread_mutex_unlock(&m_mutex);
}

void VelEvent::reset() {
  if (!m_valid) return;
  pthread_mutex_lock(&m_mutex);
  m_signalled = false;
  pthread_mutex_unlock(&m_mutex);
}
