#include "Ora_Wrapper.h"

#include <cstdint>
#include <cstdio>

#include "MUT1.h"
#include "OraErrors.h"
#include "PEB1.h"
#include "VelUtil.h"
#include "vel00_OCI_Lib.h"

VEL_TRACE_UNIT("ociwrap");

using L = vel00_OCI_Lib;

namespace {
const char kCancelled[] = "ORA-01013: user requested cancel of current operation";
unsigned ptrBits(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }

// Polls call() while it reports "still executing". Returns the last status; *timedOut tells
// whether the budget ran out (the context has then been broken and reset).
template <typename Call>
int pollCall(Call call, OCISvcCtx* serviceContext, OCIStmt* statement, OCIError* errorHandle,
             long start, double timeout, const char* resetTrace, bool* timedOut) {
  *timedOut = false;
  int callCount = 1;
  int status = call();
  while (status == OCI_STILL_EXECUTING) {
    PEB1_MilliSleep(Ora_Wrapper::pollSleepMs(callCount));
    time_t now = time(nullptr);
    if (difftime(now, static_cast<time_t>(start)) > timeout) {
      VEL_ERROR("%s", resetTrace);
      Ora_Wrapper::ResetContext(serviceContext, statement, errorHandle, start, now, timeout);
      *timedOut = true;
      break;
    }
    status = call();
    ++callCount;
  }
  if (callCount > 1) VEL_FLOWMSG("Call count is:%d", callCount);
  return status;
}
}  // namespace

int Ora_Wrapper::StmtExecuteTimeOut(OCISvcCtx* serviceContext, OCIStmt* statement,
                                    OCIError* errorHandle, unsigned iterations, unsigned mode,
                                    long start, double timeout, Ora_ErrorMsg& error) {
  VEL_FLOW_ENTRY("Ora_Wrapper::StmtExecuteTimeOut");
  if (serviceContext == nullptr || statement == nullptr || errorHandle == nullptr) {
    VEL_ERROR("Invalid pointer");
    error.set(OCI_INVALID_HANDLE, 0, "");
    VEL_RETURN(OCI_INVALID_HANDLE);
  }
  bool timedOut = false;
  int status = pollCall(
      [&] {
        return L::pMyOCIStmtExecute(serviceContext, statement, errorHandle, iterations, 0, nullptr,
                                    nullptr, mode);
      },
      serviceContext, statement, errorHandle, start, timeout, "Reset context at StmtExecuteTimeOut",
      &timedOut);
  if (timedOut) {
    error.set(OCI_ERROR, kOraCancelled, kCancelled);
    VEL_RETURN(status);
  }
  // The record is taken first: the statement dump's attribute calls reset the error handle.
  error.setOCIError(errorHandle, status);
  if (!Ora_ErrorMsg::okOrTrace(errorHandle, status, "", "OCIStmtExecute"))
    Ora_DumpStatement(statement, errorHandle);
  VEL_RETURN(status);
}

int Ora_Wrapper::StmtFetch2(OCISvcCtx* serviceContext, OCIStmt* statement, OCIError* errorHandle,
                            long start, double timeout, Ora_ErrorMsg& error) {
  if (serviceContext == nullptr || statement == nullptr || errorHandle == nullptr) {
    VEL_ERROR("Invalid pointer");
    error.set(OCI_INVALID_HANDLE, 0, "");
    return OCI_INVALID_HANDLE;
  }
  bool timedOut = false;
  int status = pollCall(
      [&] {
        return L::pMyOCIStmtFetch2(statement, errorHandle, 1, OCI_FETCH_NEXT, 1, OCI_DEFAULT);
      },
      serviceContext, statement, errorHandle, start, timeout, "Reset context at StmtFetch2",
      &timedOut);
  if (timedOut) {
    error.set(OCI_ERROR, kOraCancelled, kCancelled);
    return status;
  }
  error.setOCIError(errorHandle, status);
  if (status != OCI_NO_DATA &&
      !Ora_ErrorMsg::okOrTrace(errorHandle, status, "", "Ora_Wrapper::StmtFetch2"))
    Ora_DumpStatement(statement, errorHandle);
  return status;
}

int Ora_Wrapper::SessionEnd(OCISvcCtx* serviceContext, OCIError* errorHandle, OCISession* session,
                            unsigned mode, long start, double timeout) {
  VEL_FLOW_ENTRY("Ora_Wrapper::SessionEnd");
  if (serviceContext == nullptr || errorHandle == nullptr) {
    VEL_ERROR("Invalid pointer");
    VEL_RETURN(OCI_INVALID_HANDLE);
  }
  bool timedOut = false;
  int status =
      pollCall([&] { return L::pMyOCISessionEnd(serviceContext, errorHandle, session, mode); },
               serviceContext, nullptr, errorHandle, start, timeout,
               "Reset context at StmtExecuteTimeOut", &timedOut);
  if (!timedOut) Ora_ErrorMsg::okOrTrace(errorHandle, status, "", "Ora_Wrapper::SessionEnd");
  VEL_RETURN(status);
}

void Ora_Wrapper::ResetContext(OCISvcCtx* serviceContext, OCIStmt* statement, OCIError* errorHandle,
                               long start, long now, double timeout) {
  if (serviceContext == nullptr || errorHandle == nullptr) {
    VEL_ERROR("Invalid pointer");
    return;
  }
  char startText[64] = {0};
  char nowText[64] = {0};
  getTimeString(static_cast<time_t>(start), startText);
  getTimeString(static_cast<time_t>(now), nowText);
  VEL_ERROR("The database execution is broken by velclient");
  VEL_ERROR("The request start time is:%s, the time out is %f, current time is:%s", startText,
            timeout, nowText);
  if (statement != nullptr) Ora_DumpStatement(statement, errorHandle);
  VEL_ERROR("Calling OCIBreak to cancel the execution");
  Ora_ErrorMsg::okOrTrace(errorHandle, L::pMyOCIBreak(serviceContext, errorHandle), "", "OCIBreak");
  VEL_ERROR("Calling OCIReset to reset the service context");
  Ora_ErrorMsg::okOrTrace(errorHandle, L::pMyOCIReset(serviceContext, errorHandle), "", "OCIReset");
  VEL_ERROR("Done of resetting the service context");
}

int Ora_Wrapper::OCIHandleAlloc(const void* parent, void** handle, unsigned type, size_t extraSize,
                                void** extraMemory) {
  if (L::pMyOCIHandleAlloc == nullptr) return OCI_INVALID_HANDLE;
  int rc = L::pMyOCIHandleAlloc(parent, handle, type, extraSize, extraMemory);
  VEL_FLOWMSG("OCIAlloc type %d, at %X ", type, ptrBits(handle ? *handle : nullptr));
  return rc;
}

int Ora_Wrapper::OCIHandleFree(void* handle, unsigned type) {
  if (L::pMyOCIHandleFree == nullptr) return OCI_INVALID_HANDLE;
  VEL_FLOWMSG("OCIFree type %d, at %X", type, ptrBits(handle));
  return L::pMyOCIHandleFree(handle, type);
}
