// Prints the outcome of loading the client library through the dynamic linker's search path:
// "init=<0|1> version=<0|1>", with the argument "env" followed by " env=<0|1>" (whether the
// process-wide environment was created), and exits 0. Run by the loader tests with a chosen
// LD_LIBRARY_PATH.
#include <cstdio>
#include <cstring>

#include "Ora_OCIEnv.h"
#include "vel00_OCI_Lib.h"

int main(int argc, char** argv) {
  bool ok = vel00_OCI_Lib::Init();
  printf("init=%d version=%d", ok ? 1 : 0, vel00_OCI_Lib::pMyOCIClientVersion ? 1 : 0);
  if (ok && argc > 1 && strcmp(argv[1], "env") == 0) {
    bool env = Ora_OCIEnv::Init();
    printf(" env=%d", env ? 1 : 0);
    Ora_OCIEnv::Terminate();
  }
  printf("\n");
  vel00_DynamicLib::Free(vel00_OCI_Lib::m_hLibrary);
  return 0;
}
