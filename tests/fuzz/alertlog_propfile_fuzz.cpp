// Fuzz target: property-file parsing and write-back. Whatever the file holds, keys are unique,
// keys and values are neither empty nor padded, and a save and a new load give the same
// properties in the same order.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "CPropFile.h"

namespace {
std::string g_dir, g_file;

void removeFiles() {
  unlink(g_file.c_str());
  rmdir(g_dir.c_str());
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void checkText(const char* s) {
  size_t n = strlen(s);
  if (n == 0 || blank(s[0]) || blank(s[n - 1])) abort();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("VEL_TRACE", "none", 1);
  char dir[] = "/tmp/velfuzz.XXXXXX";
  if (mkdtemp(dir) == nullptr) abort();
  g_dir = dir;
  g_file = g_dir + "/fuzz.properties";
  atexit(removeFiles);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* f = fopen(g_file.c_str(), "w");
  if (f == nullptr) abort();
  fwrite(data, 1, size, f);
  fclose(f);
  CPropFile first(g_file.c_str());
  if (!first.load()) abort();
  for (int i = 0; i < first.size(); ++i) {
    checkText(first.getKeyAt(i));
    checkText(first.getPropertyAt(i));
    if (strcmp(first.getProperty(first.getKeyAt(i), nullptr), first.getPropertyAt(i)) != 0)
      abort();  // a key found at another position: not unique
  }
  if (!first.save("#fuzz")) abort();
  CPropFile second(g_file.c_str());
  if (!second.load() || second.size() != first.size()) abort();
  for (int i = 0; i < first.size(); ++i) {
    if (strcmp(first.getKeyAt(i), second.getKeyAt(i)) != 0 ||
        strcmp(first.getPropertyAt(i), second.getPropertyAt(i)) != 0)
      abort();
  }
  return 0;
}
