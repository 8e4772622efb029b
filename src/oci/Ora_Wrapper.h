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

  // The sleep before the next poll, by the number of calls made so far.
  static unsigned pollSleepMs(int callCount) {
    return callCount < 10 ? 100 : callCount < 20 ? 200 : callCount < 30 ? 400 : 1000;
  }
};

#endif  // VEL_OCI_ORA_WRAPPER_H
