// Fuzz target: the instance configuration reader, and decryption of the values it yields.
//
// Every section and entry the reader produces is walked and looked up again; values carrying
// the encryption prefix go through decryption with a fixed test key, so malformed base64,
// short values and altered tags are exercised too.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <cstring>
#include <string>

#include "FuzzFiles.h"
#include "ROV.h"
#include "ZAM.h"

namespace {
std::string g_keyFile;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_keyFile = velfuzz::tempFile("vel.key");
  if (ZAM_CreateKeyFile(g_keyFile.c_str()) != ZAM_OK) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ROV::AgentConfig cfg;
  int bad = 0;
  if (!ROV::ConfigParser::parseText(reinterpret_cast<const char*>(data), size, "fuzz", "vl", "i",
                                    cfg, &bad))
    abort();  // in-memory text never fails
  ROV::InstanceConfig* inst = cfg.getInstance("i");
  if (inst == nullptr) abort();
  for (int s = 0; s < inst->getNumSections(); ++s) {
    ROV::ConfigSection* section = inst->getSection(s);
    if (section == nullptr || section->getName()[0] == '\0') abort();
    for (int e = 0; e < section->getNumEntries(); ++e) {
      const char* name = section->getEntryName(e);
      ROV::String value;
      if (name == nullptr || name[0] == '\0' || !section->getEntryValue(name, value)) abort();
      if (strncmp(value.c_str(), ZAM_PREFIX, sizeof(ZAM_PREFIX) - 1) == 0) {
        char* plain = nullptr;
        int length = 0;
        int rc = ZAM_DecryptWithKeyFile(g_keyFile.c_str(), value.c_str(),
                                        static_cast<int>(value.length()), &plain, &length);
        if (rc != ZAM_OK && (plain != nullptr || length != 0)) abort();
        ZAM_Free(plain);
      }
    }
  }
  return 0;
}
