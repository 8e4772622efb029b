#include "VelStartup.h"

#include <cstring>

#include "MUT1.h"

VEL_TRACE_UNIT("main");

void velTraceEnvironment(char** env) {
  if (!VEL_TRACE_ON(MUT1_DETAIL) || env == nullptr) return;
  for (char** entry = env; *entry != nullptr; ++entry) {
    if (strstr(*entry, "VEL_CONN_PASSWORD") != nullptr)
      VEL_DETAIL("VEL_CONN_PASSWORD=**********");
    else
      VEL_DETAIL("Environment variable settting is %s", *entry);
  }
}
