// The files of a fuzz target: a temporary folder made at the first call, removed with the files
// named in it when the target exits, and the writing of an input into one of them.
#ifndef VEL_TESTS_FUZZ_FUZZFILES_H
#define VEL_TESTS_FUZZ_FUZZFILES_H

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace velfuzz {

// The path of name in the target's temporary folder; the first call also switches traces off.
inline std::string tempFile(const char* name) {
  static std::string dir;
  static std::vector<std::string> files;
  if (dir.empty()) {
    setenv("VEL_TRACE", "none", 1);
    char pattern[] = "/tmp/velfuzz.XXXXXX";
    if (mkdtemp(pattern) == nullptr) abort();
    dir = pattern;
    atexit([] {
      for (const std::string& f : files) unlink(f.c_str());
      rmdir(dir.c_str());
    });
  }
  files.push_back(dir + "/" + name);
  return files.back();
}

// Writes size bytes to path, replacing ("w") or appending to ("a") what it holds.
inline void writeFile(const std::string& path, const void* data, size_t size,
                      const char* mode = "w") {
  FILE* f = fopen(path.c_str(), mode);
  if (f == nullptr || (size > 0 && fwrite(data, 1, size, f) != size)) abort();
  fclose(f);
}

}  // namespace velfuzz

#endif  // VEL_TESTS_FUZZ_FUZZFILES_H
