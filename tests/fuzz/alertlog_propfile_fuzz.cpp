// Fuzz target: property-file parsing and write-back. Whatever the file holds, keys are unique,
// keys and values are neither empty nor padded, and a save and a new load give the same
// properties in the same order.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <cstring>
#include <string>

#include "CPropFile.h"
#include "FuzzFiles.h"

namespace {
std::string g_file;

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void checkText(const char* s) {
  size_t n = strlen(s);
  if (n == 0 || blank(s[0]) || blank(s[n - 1])) abort();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_file = velfuzz::tempFile("fuzz.properties");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velfuzz::writeFile(g_file, data, size);
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
