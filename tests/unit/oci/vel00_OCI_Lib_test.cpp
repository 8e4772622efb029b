// The client library loader: the three library names, a missing required entry point, the
// optional client-version entry point. Each case runs a small probe program with its own
// LD_LIBRARY_PATH, because the dynamic linker reads the search path once per process.
#include "vel00_OCI_Lib.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string probe(const std::string& libraryPath) {
  std::string command =
      "env LD_LIBRARY_PATH='" + libraryPath + "' VEL_TRACE=none '" + VEL_LOADER_PROBE + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "popen failed";
  std::string out;
  char buf[256];
  while (fgets(buf, sizeof buf, pipe)) out += buf;
  pclose(pipe);
  return out;
}

const std::string kFakes = VEL_FAKE_CLIENTS;

TEST(ClientLoader, FallsBackToTheVersionedNames) {
  // Only libclntsh.so.11.1 is on the path: the first two names fail, the third loads.
  EXPECT_EQ(probe(kFakes + "/v111"), "init=1 version=1\n");
}

TEST(ClientLoader, RefusesALibraryWithoutARequiredEntryPoint) {
  EXPECT_EQ(probe(kFakes + "/nofetch"), "init=0 version=1\n");
}

TEST(ClientLoader, AcceptsALibraryWithoutClientVersion) {
  EXPECT_EQ(probe(kFakes + "/noversion"), "init=1 version=0\n");
}

TEST(ClientLoader, FailsWhenNoLibraryIsFound) {
  EXPECT_EQ(probe("/nonexistent"), "init=0 version=0\n");
}

TEST(ClientLoader, RejectsAnEmptyLibraryName) {
  EXPECT_EQ(vel00_DynamicLib::Load("", ""), nullptr);
  EXPECT_EQ(vel00_DynamicLib::Load(nullptr, ""), nullptr);
  EXPECT_EQ(vel00_DynamicLib::getFunction(nullptr, "OCIErrorGet"), nullptr);
}

}  // namespace
