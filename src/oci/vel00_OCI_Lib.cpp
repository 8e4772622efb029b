#include "vel00_OCI_Lib.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstdio>
#include <initializer_list>

#include "MUT1.h"

VEL_TRACE_UNIT("ocilib");

namespace {
const char kLibPrefix[] = "lib";
const char kLibExtension[] = ".so";
}  // namespace

void* vel00_DynamicLib::Load(const char* name, const char* suffix) {
  VEL_FLOW_ENTRY("vel00_DynamicLib::Load");
  if (name == nullptr || *name == 0) {
    VEL_ERROR("Invalid dynamic library name %s", name ? name : "");
    VEL_RETURN(static_cast<void*>(nullptr));
  }
  char fileName[1024];
  snprintf(fileName, sizeof fileName, "%s%s%s%s", kLibPrefix, name, kLibExtension,
           suffix ? suffix : "");
  errno = 0;
  void* handle = dlopen(fileName, RTLD_NOW);
  if (handle != nullptr) {
    VEL_DETAIL("Succeed in dynamically loading library %s, return code %d", fileName, 0);
  } else {
    VEL_ERROR("Fail to dynamically load library %s, return code %d", fileName, errno);
    VEL_DETAIL("%s", dlerror());
  }
  VEL_RETURN(handle);
}

void* vel00_DynamicLib::getFunction(void* handle, const char* functionName) {
  if (handle == nullptr || functionName == nullptr || *functionName == 0) {
    VEL_ERROR("Error, Invalid Handle %X for function %s",
              static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle)),
              functionName ? functionName : "");
    return nullptr;
  }
  void* fn = dlsym(handle, functionName);
  if (fn == nullptr) VEL_ERROR("Error, fail to load function %s", functionName);
  return fn;
}

void vel00_DynamicLib::Free(void* handle) {
  if (handle != nullptr) dlclose(handle);
}

void* vel00_OCI_Lib::m_hLibrary = nullptr;
OCIErrorGet_t vel00_OCI_Lib::pMyOCIErrorGet = nullptr;
OCINumberSetZero_t vel00_OCI_Lib::pMyOCINumberSetZero = nullptr;
OCINumberToInt_t vel00_OCI_Lib::pMyOCINumberToInt = nullptr;
OCINumberToText_t vel00_OCI_Lib::pMyOCINumberToText = nullptr;
OCIBindByName_t vel00_OCI_Lib::pMyOCIBindByName = nullptr;
OCIDefineByPos_t vel00_OCI_Lib::pMyOCIDefineByPos = nullptr;
OCIEnvNlsCreate_t vel00_OCI_Lib::pMyOCIEnvNlsCreate = nullptr;
OCIHandleFree_t vel00_OCI_Lib::pMyOCIHandleFree = nullptr;
OCINlsCharSetNameToId_t vel00_OCI_Lib::pMyOCINlsCharSetNameToId = nullptr;
OCINlsGetInfo_t vel00_OCI_Lib::pMyOCINlsGetInfo = nullptr;
OCIHandleAlloc_t vel00_OCI_Lib::pMyOCIHandleAlloc = nullptr;
OCIEnvCreate_t vel00_OCI_Lib::pMyOCIEnvCreate = nullptr;
OCITerminate_t vel00_OCI_Lib::pMyOCITerminate = nullptr;
OCISessionBegin_t vel00_OCI_Lib::pMyOCISessionBegin = nullptr;
OCIServerAttach_t vel00_OCI_Lib::pMyOCIServerAttach = nullptr;
OCIServerDetach_t vel00_OCI_Lib::pMyOCIServerDetach = nullptr;
OCISessionEnd_t vel00_OCI_Lib::pMyOCISessionEnd = nullptr;
OCIDescriptorFree_t vel00_OCI_Lib::pMyOCIDescriptorFree = nullptr;
OCIParamGet_t vel00_OCI_Lib::pMyOCIParamGet = nullptr;
OCIAttrGet_t vel00_OCI_Lib::pMyOCIAttrGet = nullptr;
OCIStmtRelease_t vel00_OCI_Lib::pMyOCIStmtRelease = nullptr;
OCIStmtExecute_t vel00_OCI_Lib::pMyOCIStmtExecute = nullptr;
OCIStmtPrepare_t vel00_OCI_Lib::pMyOCIStmtPrepare = nullptr;
OCIInitialize_t vel00_OCI_Lib::pMyOCIInitialize = nullptr;
OCIAttrSet_t vel00_OCI_Lib::pMyOCIAttrSet = nullptr;
OCIBreak_t vel00_OCI_Lib::pMyOCIBreak = nullptr;
OCIReset_t vel00_OCI_Lib::pMyOCIReset = nullptr;
OCINumberRound_t vel00_OCI_Lib::pMyOCINumberRound = nullptr;
OCINumberShift_t vel00_OCI_Lib::pMyOCINumberShift = nullptr;
OCIClientVersion_t vel00_OCI_Lib::pMyOCIClientVersion = nullptr;
OCIStmtFetch2_t vel00_OCI_Lib::pMyOCIStmtFetch2 = nullptr;

namespace {
// Resolves one entry point into its pointer; records whether a required one was missing.
template <typename Fn>
void resolve(void* lib, const char* name, Fn* slot, bool* allFound) {
  *slot = reinterpret_cast<Fn>(vel00_DynamicLib::getFunction(lib, name));
  if (*slot == nullptr) *allFound = false;
}
}  // namespace

bool vel00_OCI_Lib::Init() {
  VEL_FLOW_ENTRY("vel00_OCI_Lib::Init");
  m_hLibrary = vel00_DynamicLib::Load("clntsh", "");
  if (m_hLibrary == nullptr) {
    VEL_DETAIL("Try to load another possible Oracle OCI library");
    m_hLibrary = vel00_DynamicLib::Load("clntsh", ".10.1");
  }
  if (m_hLibrary == nullptr) {
    VEL_DETAIL("Try to load another possible Oracle OCI library");
    m_hLibrary = vel00_DynamicLib::Load("clntsh", ".11.1");
  }
  // Beyond the three classic names: the versioned files of current clients, newest first, since
  // an Instant Client install may lack the unversioned link.
  for (const char* suffix : {".23.1", ".21.1", ".20.1", ".19.1", ".18.1", ".12.1"}) {
    if (m_hLibrary != nullptr) break;
    VEL_DETAIL("Try to load another possible Oracle OCI library");
    m_hLibrary = vel00_DynamicLib::Load("clntsh", suffix);
  }
  if (m_hLibrary == nullptr) VEL_RETURN(false);

  // Every entry point is looked up, even after one is missing, so the trace names them all.
  bool all = true;
  void* l = m_hLibrary;
  resolve(l, "OCIErrorGet", &pMyOCIErrorGet, &all);
  resolve(l, "OCINumberSetZero", &pMyOCINumberSetZero, &all);
  resolve(l, "OCINumberToInt", &pMyOCINumberToInt, &all);
  resolve(l, "OCINumberToText", &pMyOCINumberToText, &all);
  resolve(l, "OCIBindByName", &pMyOCIBindByName, &all);
  resolve(l, "OCIDefineByPos", &pMyOCIDefineByPos, &all);
  resolve(l, "OCIEnvNlsCreate", &pMyOCIEnvNlsCreate, &all);
  resolve(l, "OCIHandleFree", &pMyOCIHandleFree, &all);
  resolve(l, "OCINlsCharSetNameToId", &pMyOCINlsCharSetNameToId, &all);
  resolve(l, "OCINlsGetInfo", &pMyOCINlsGetInfo, &all);
  resolve(l, "OCIHandleAlloc", &pMyOCIHandleAlloc, &all);
  resolve(l, "OCIEnvCreate", &pMyOCIEnvCreate, &all);
  resolve(l, "OCITerminate", &pMyOCITerminate, &all);
  resolve(l, "OCISessionBegin", &pMyOCISessionBegin, &all);
  resolve(l, "OCIServerAttach", &pMyOCIServerAttach, &all);
  resolve(l, "OCIServerDetach", &pMyOCIServerDetach, &all);
  resolve(l, "OCISessionEnd", &pMyOCISessionEnd, &all);
  resolve(l, "OCIDescriptorFree", &pMyOCIDescriptorFree, &all);
  resolve(l, "OCIParamGet", &pMyOCIParamGet, &all);
  resolve(l, "OCIAttrGet", &pMyOCIAttrGet, &all);
  resolve(l, "OCIStmtRelease", &pMyOCIStmtRelease, &all);
  resolve(l, "OCIStmtExecute", &pMyOCIStmtExecute, &all);
  resolve(l, "OCIStmtPrepare", &pMyOCIStmtPrepare, &all);
  resolve(l, "OCIInitialize", &pMyOCIInitialize, &all);
  resolve(l, "OCIAttrSet", &pMyOCIAttrSet, &all);
  resolve(l, "OCIBreak", &pMyOCIBreak, &all);
  resolve(l, "OCIReset", &pMyOCIReset, &all);
  resolve(l, "OCINumberRound", &pMyOCINumberRound, &all);
  resolve(l, "OCINumberShift", &pMyOCINumberShift, &all);
  bool optional = true;
  resolve(l, "OCIClientVersion", &pMyOCIClientVersion, &optional);
  resolve(l, "OCIStmtFetch2", &pMyOCIStmtFetch2, &all);
  VEL_RETURN(all);
}
