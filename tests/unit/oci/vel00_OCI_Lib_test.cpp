// The client library loader: the classic and the versioned library names, a missing required
// entry point, the optional client-version entry point, and an environment whose creation fails
// with or without a handle. Each case runs a small probe program with its own
// LD_LIBRARY_PATH, because the dynamic linker reads the search path once per process.
#include "vel00_OCI_Lib.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "TestSupport.h"

namespace {

std::string probe(const std::string& libraryPath, const std::string& settings = "",
                  const std::string& args = "") {
  std::string command = "env LD_LIBRARY_PATH='" + libraryPath + "' VEL_TRACE=none " + settings +
                        " '" + VEL_LOADER_PROBE + "' " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "popen failed";
  std::string out;
  char buf[256];
  while (fgets(buf, sizeof buf, pipe)) out += buf;
  pclose(pipe);
  return out;
}

const std::string kFakes = VEL_FAKE_CLIENTS;
const std::string kSimLib = VEL_SIM_LIB;
const std::string kSimDir = kSimLib.substr(0, kSimLib.rfind('/'));

TEST(ClientLoader, LibraryNamesEntryPointsAndTheEnvironment) {
  struct Case {
    std::string path, settings, args, expected;
  } cases[] = {
      // Only libclntsh.so.11.1 on the path: the first two names fail, the third loads.
      {kFakes + "/v111", "", "", "init=1 version=1\n"},
      {kFakes + "/nofetch", "", "", "init=0 version=1\n"},
      {kFakes + "/noversion", "", "", "init=1 version=0\n"},
      {"/nonexistent", "", "", "init=0 version=0\n"},
      {kSimDir, "", "env", "init=1 version=1 env=1\n"},
      // An environment refused without a handle, and with a handle and an error status.
      {kSimDir, "VELSIM_FAIL_ENV=1", "env", "init=1 version=1 env=0\n"},
      {kSimDir, "VELSIM_FAIL_ENV=2", "env", "init=1 version=1 env=0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " " + c.settings);
    EXPECT_EQ(probe(c.path, c.settings, c.args), c.expected);
  }
}

TEST(ClientLoader, FindsTheVersionedFilesOfCurrentClients) {
  // An Instant Client without the unversioned link: only one versioned file on the path.
  for (const char* name : {"libclntsh.so.23.1", "libclntsh.so.21.1", "libclntsh.so.20.1",
                           "libclntsh.so.19.1", "libclntsh.so.18.1", "libclntsh.so.12.1"}) {
    SCOPED_TRACE(name);
    veltest::TempDir dir;
    ASSERT_EQ(symlink(kSimLib.c_str(), dir.file(name).c_str()), 0);
    EXPECT_EQ(probe(dir.path(), "", "env"), "init=1 version=1 env=1\n");
  }
}

TEST(ClientLoader, RejectsAnEmptyLibraryName) {
  EXPECT_EQ(vel00_DynamicLib::Load("", ""), nullptr);
  EXPECT_EQ(vel00_DynamicLib::Load(nullptr, ""), nullptr);
  EXPECT_EQ(vel00_DynamicLib::getFunction(nullptr, "OCIErrorGet"), nullptr);
}

}  // namespace
