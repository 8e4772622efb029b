#include "PEB1.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {
// One lock over the process environment: setenv() may move the environ array, so readers that
// go through PEB1_GetEnv never see it half-updated.
pthread_mutex_t g_envLock = PTHREAD_MUTEX_INITIALIZER;

void sleepFor(struct timespec req) {
  struct timespec rem;
  while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}
}  // namespace

const char* PEB1_GetEnv(const char* name, const char* dflt) {
  if (name == nullptr || *name == 0) return dflt;
  pthread_mutex_lock(&g_envLock);
  const char* value = getenv(name);
  pthread_mutex_unlock(&g_envLock);
  return value ? value : dflt;
}

int PEB1_PutEnv(const char* text) {
  if (text == nullptr) return -1;
  const char* eq = strchr(text, '=');
  if (eq == nullptr || eq == text) return -1;
  std::string name(text, static_cast<size_t>(eq - text));
  pthread_mutex_lock(&g_envLock);
  // glibc's setenv keeps replaced values alive, so pointers handed out earlier stay valid.
  int rc = setenv(name.c_str(), eq + 1, 1);
  pthread_mutex_unlock(&g_envLock);
  return rc == 0 ? 0 : -1;
}

int PEB1_UnsetEnv(const char* name) {
  if (name == nullptr || *name == 0) return -1;
  pthread_mutex_lock(&g_envLock);
  int rc = unsetenv(name);
  pthread_mutex_unlock(&g_envLock);
  return rc == 0 ? 0 : -1;
}

int PEB1_GetLock(PEB1_Lock* lock) { return lock ? pthread_mutex_lock(&lock->mutex) : -1; }
int PEB1_ReleaseLock(PEB1_Lock* lock) { return lock ? pthread_mutex_unlock(&lock->mutex) : -1; }
int PEB1_DestroyLock(PEB1_Lock* lock) { return lock ? pthread_mutex_destroy(&lock->mutex) : -1; }

void PEB1_Sleep(unsigned seconds) { sleepFor({static_cast<time_t>(seconds), 0}); }

void PEB1_MilliSleep(unsigned milliseconds) {
  sleepFor({static_cast<time_t>(milliseconds / 1000),
            static_cast<long>(milliseconds % 1000) * 1000000L});
}
