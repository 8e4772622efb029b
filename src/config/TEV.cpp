// Host-name service: gethostname, short form.
#include "TEV.h"

#include <errno.h>
#include <unistd.h>

#include <cstring>

#include "MUT1.h"

VEL_TRACE_UNIT("tev");

namespace {

// HOST_NAME_MAX is 64 on Linux; 256 leaves room for other systems.
char g_hostName[256];

const char* lookUpHostName() {
  char buffer[sizeof(g_hostName) + 1];
  memset(buffer, 0, sizeof(buffer));
  if (gethostname(buffer, sizeof(buffer) - 1) != 0) {
    int err = errno;
    VEL_ERROR("Error at gethostname, errorno is:%d", err);
    return nullptr;
  }
  // gethostname may leave a truncated name unterminated; the buffer's last byte stays 0.
  char* dot = strchr(buffer, '.');
  if (dot != nullptr) *dot = '\0';
  if (buffer[0] == '\0') return nullptr;
  memcpy(g_hostName, buffer, sizeof(g_hostName) - 1);
  g_hostName[sizeof(g_hostName) - 1] = '\0';
  VEL_DETAIL("Local host name is:%s", g_hostName);
  return g_hostName;
}

}  // namespace

extern "C" const char* TEV_GetHostname() {
  // Initialised once, thread-safe (a function-local static).
  static const char* const s_name = lookUpHostName();
  return s_name;
}
