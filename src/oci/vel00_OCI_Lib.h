// Loading of the Oracle client library and the table of OCI entry points. Every OCI call of the
// program goes through the pointers of vel00_OCI_Lib, so one build serves several client
// versions and a missing library is reported instead of stopping the process from starting.
#ifndef VEL_OCI_VEL00_OCI_LIB_H
#define VEL_OCI_VEL00_OCI_LIB_H

#include "ocidefs.h"

class vel00_DynamicLib {
 public:
  virtual ~vel00_DynamicLib() = default;
  // Loads "lib" + name + ".so" + suffix through the dynamic linker's own search path; returns the
  // library handle, or null.
  static void* Load(const char* name, const char* suffix);
  // Returns the entry point, or null when the handle or name is invalid or the symbol missing.
  static void* getFunction(void* handle, const char* functionName);
  // Closes the library; a null handle is ignored.
  static void Free(void* handle);
};

class vel00_OCI_Lib {
 public:
  // Loads the client library (libclntsh.so, then .10.1, .11.1, and the versioned names of current
  // clients .23.1, .21.1, .20.1, .19.1, .18.1, .12.1) and resolves the entry points. True only when
  // a library was loaded and every entry point but OCIClientVersion was found. Runs once on the
  // main thread before any other thread; the table is read-only afterwards.
  static bool Init();

  static void* m_hLibrary;

  static OCIErrorGet_t pMyOCIErrorGet;
  static OCINumberSetZero_t pMyOCINumberSetZero;
  static OCINumberToInt_t pMyOCINumberToInt;
  static OCINumberToText_t pMyOCINumberToText;
  static OCIBindByName_t pMyOCIBindByName;
  static OCIDefineByPos_t pMyOCIDefineByPos;
  static OCIEnvNlsCreate_t pMyOCIEnvNlsCreate;
  static OCIHandleFree_t pMyOCIHandleFree;
  static OCINlsCharSetNameToId_t pMyOCINlsCharSetNameToId;
  static OCINlsGetInfo_t pMyOCINlsGetInfo;
  static OCIHandleAlloc_t pMyOCIHandleAlloc;
  static OCIEnvCreate_t pMyOCIEnvCreate;
  static OCITerminate_t pMyOCITerminate;
  static OCISessionBegin_t pMyOCISessionBegin;
  static OCIServerAttach_t pMyOCIServerAttach;
  static OCIServerDetach_t pMyOCIServerDetach;
  static OCISessionEnd_t pMyOCISessionEnd;
  static OCIDescriptorFree_t pMyOCIDescriptorFree;
  static OCIParamGet_t pMyOCIParamGet;
  static OCIAttrGet_t pMyOCIAttrGet;
  static OCIStmtRelease_t pMyOCIStmtRelease;
  static OCIStmtExecute_t pMyOCIStmtExecute;
  static OCIStmtPrepare_t pMyOCIStmtPrepare;
  static OCIInitialize_t pMyOCIInitialize;
  static OCIAttrSet_t pMyOCIAttrSet;
  static OCIBreak_t pMyOCIBreak;
  static OCIReset_t pMyOCIReset;
  static OCINumberRound_t pMyOCINumberRound;
  static OCINumberShift_t pMyOCINumberShift;
  static OCIClientVersion_t pMyOCIClientVersion;  // optional: clients before 10.2 lack it
  static OCIStmtFetch2_t pMyOCIStmtFetch2;
};

#endif  // VEL_OCI_VEL00_OCI_LIB_H
