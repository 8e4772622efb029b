/* A client library that exports the OCI entry points as empty functions, for the loader tests.
 * Built several times: OMIT_FETCH2 leaves out OCIStmtFetch2, OMIT_CLIENT_VERSION leaves out
 * OCIClientVersion. */
#define ENTRY(name) \
  int name(void) { return 0; }

ENTRY(OCIErrorGet)
ENTRY(OCINumberSetZero)
ENTRY(OCINumberToInt)
ENTRY(OCINumberToText)
ENTRY(OCIBindByName)
ENTRY(OCIDefineByPos)
ENTRY(OCIEnvNlsCreate)
ENTRY(OCIHandleFree)
ENTRY(OCINlsCharSetNameToId)
ENTRY(OCINlsGetInfo)
ENTRY(OCIHandleAlloc)
ENTRY(OCIEnvCreate)
ENTRY(OCITerminate)
ENTRY(OCISessionBegin)
ENTRY(OCIServerAttach)
ENTRY(OCIServerDetach)
ENTRY(OCISessionEnd)
ENTRY(OCIDescriptorFree)
ENTRY(OCIParamGet)
ENTRY(OCIAttrGet)
ENTRY(OCIStmtRelease)
ENTRY(OCIStmtExecute)
ENTRY(OCIStmtPrepare)
ENTRY(OCIInitialize)
ENTRY(OCIAttrSet)
ENTRY(OCIBreak)
ENTRY(OCIReset)
ENTRY(OCINumberRound)
ENTRY(OCINumberShift)
#ifndef OMIT_CLIENT_VERSION
ENTRY(OCIClientVersion)
#endif
#ifndef OMIT_FETCH2
ENTRY(OCIStmtFetch2)
#endif
