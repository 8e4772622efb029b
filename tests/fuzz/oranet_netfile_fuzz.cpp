// Fuzz target: the Oracle Net file parsers on arbitrary file contents.
//
// Each input becomes the contents of an in-memory file read by both parsers, as a listener.ora
// and as a tnsnames.ora, into result lists that live across inputs, so the refresh and orphan
// removal of later reads run too; every entry found is checked.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "OraNetConfig.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("VEL_TRACE", "none", 1);  // every invalid definition is traced otherwise
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static OraListenerInfoList listeners;
  static OraNetServiceInfoList aliases;
  static OraNetConfigListeners listenerParser(listeners);
  static OraNetConfigTnsNames aliasParser(aliases);
  static const int fd = memfd_create("net.ora", 0);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  static long generation = 0;
  if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
    abort();
  // A time that differs from the last one given forces the read whatever the file's time.
  listenerParser.ReadNetConfigFile(path.c_str(), --generation);
  aliasParser.ReadNetConfigFile(path.c_str(), generation);
  listeners.forEach([](const OraListenerInfo& i) {
    if (i.m_protocol.length() == 0 || i.m_address.c_str()[0] != '(') abort();
  });
  aliases.forEach([](const OraNetServiceInfo& i) {
    if (i.m_name.length() == 0 || i.m_descriptor.c_str()[0] != '(') abort();
  });
  return 0;
}
