// Bounded OCI calls: statement execution, row fetches and session end run in non-blocking mode
// and are polled with a growing sleep; a call past its time-out is broken and the service
// context reset, and the caller gets Oracle's cancellation error (1013). Handle allocation and
// freeing go through here too, so each is traced.
#ifndef VEL_OCI_ORA_WRAPPER_H
#define VEL_OCI_ORA_WRAPPER_H

#include <ctime>

#include "Ora_OCIEnv.h"
#include "ocidefs.h"

class Ora_Wrapper {
 public:
  // The time-out of each call counts from start (a time() value), so a request's execution and
  // all its fetches can share one budget.
  static int StmtExecuteTimeOut(OCISvcCtx* serviceContext, OCIStmt* statement,
                                OCIError* errorHandle, unsigned iterations, unsigned mode,
                                long start, double timeout, Ora_ErrorMsg& error);
  // Fetches one row.
  static int StmtFetch2(OCISvcCtx* serviceContext, OCIStmt* statement, OCIError* errorHandle,
                        long start, double timeout, Ora_ErrorMsg& error);
  static int SessionEnd(OCISvcCtx* serviceContext, OCIError* errorHandle, OCISession* session,
                        unsigned mode, long start, double timeout);
  // Breaks the running call of the service context and resets it.
  static void ResetContext(OCISvcCtx* serviceContext, OCIStmt* statement, OCIError* errorHandle,
                           long start, long now, double timeout);

  static int OCIHandleAlloc(const void* parent, void** handle, unsigned type, size_t extraSize,
                            void** extraMemory);
  static int OCIHandleFree(void* handle, unsigned type);

  // The sleep before the next poll, by the number of calls made so far. The first six polls
  // sleep 1, 2, 5, 10, 20 and 50 ms, so that a statement the server answers in a few
  // milliseconds is not held for a whole 100 ms; only then does the rhythm of 100 ms (nine
  // polls), 200 ms (ten), 400 ms (ten) and 1000 ms follow. The short polls add 88 ms in all, so
  // a time-out is still noticed within about one second of its budget.
  static unsigned pollSleepMs(int callCount) {
    static const unsigned kShort[] = {1, 2, 5, 10, 20, 50};
    constexpr int kShortCount = static_cast<int>(sizeof(kShort) / sizeof(kShort[0]));
    if (callCount >= 1 && callCount <= kShortCount) return kShort[callCount - 1];
    int n = callCount - kShortCount;
    return n < 10 ? 100 : n < 20 ? 200 : n < 30 ? 400 : 1000;
  }
};

#endif  // VEL_OCI_ORA_WRAPPER_H
