// Prints the outcome of loading the client library through the dynamic linker's search path:
// "init=<0|1> version=<0|1>" and exits 0. Run by the loader tests with a chosen LD_LIBRARY_PATH.
#include <cstdio>

#include "vel00_OCI_Lib.h"

int main() {
  bool ok = vel00_OCI_Lib::Init();
  printf("init=%d version=%d\n", ok ? 1 : 0, vel00_OCI_Lib::pMyOCIClientVersion ? 1 : 0);
  vel00_DynamicLib::Free(vel00_OCI_Lib::m_hLibrary);
  return 0;
}
