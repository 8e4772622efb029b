// Fuzz target: the Oracle Net file parsers on arbitrary file contents.
//
// Each input is written to a file and read by both parsers, as a listener.ora and as a
// tnsnames.ora, into result lists that live across inputs, so the refresh and orphan removal
// of later reads run too; every entry found is walked.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "OraNetConfig.h"

namespace {
std::string g_dir;
std::string g_file;

void removeFile() {
  unlink(g_file.c_str());
  rmdir(g_dir.c_str());
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("VEL_TRACE", "none", 1);
  char dir[] = "/tmp/velfuzz.XXXXXX";
  if (mkdtemp(dir) == nullptr) abort();
  g_dir = dir;
  g_file = g_dir + "/net.ora";
  atexit(removeFile);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static OraListenerInfoList listeners;
  static OraNetServiceInfoList aliases;
  static OraNetConfigListeners listenerParser(listeners);
  static OraNetConfigTnsNames aliasParser(aliases);
  static long generation = 0;
  FILE* f = fopen(g_file.c_str(), "wb");
  if (f == nullptr) abort();
  if (size > 0 && fwrite(data, 1, size, f) != size) abort();
  fclose(f);
  // A time that differs from the last one given forces the read whatever the file's time.
  listenerParser.ReadNetConfigFile(g_file.c_str(), --generation);
  aliasParser.ReadNetConfigFile(g_file.c_str(), generation);
  size_t total = 0;
  listeners.forEach([&](const OraListenerInfo& i) {
    total += i.m_address.length() + i.m_host.length() + i.m_port.length();
    if (i.m_protocol.length() == 0 || i.m_address.length() == 0) abort();
  });
  aliases.forEach([&](const OraNetServiceInfo& i) {
    total += i.m_name.length() + i.m_descriptor.length();
    if (i.m_name.length() == 0 || i.m_descriptor.c_str()[0] != '(') abort();
  });
  return total == static_cast<size_t>(-1);
}
