// Basic services of the agent runtime (PEB1_*): environment, locks and sleeps.
//
// The environment is the process environment under one lock: PEB1_GetEnv, PEB1_PutEnv and
// getenv() see the same values. Returned pointers stay valid for the life of the process (values
// replaced by PEB1_PutEnv are kept, never freed).
#ifndef VEL_BASE_PEB1_H
#define VEL_BASE_PEB1_H

#include <pthread.h>

// Returns the variable's value, or dflt (which may be null) when it is not set.
const char* PEB1_GetEnv(const char* name, const char* dflt);

// Sets a variable from text of the form NAME=value; returns 0 on success, -1 for a text without
// '=' or an empty name.
int PEB1_PutEnv(const char* text);

// Removes a variable under the same lock; returns 0 on success, -1 for an empty name.
int PEB1_UnsetEnv(const char* name);

// A non-recursive mutual-exclusion lock.
struct PEB1_Lock {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
};
int PEB1_GetLock(PEB1_Lock* lock);
int PEB1_ReleaseLock(PEB1_Lock* lock);
int PEB1_DestroyLock(PEB1_Lock* lock);

// Block the calling thread; interrupted sleeps are resumed until the time has passed.
void PEB1_Sleep(unsigned seconds);
void PEB1_MilliSleep(unsigned milliseconds);

#endif  // VEL_BASE_PEB1_H
