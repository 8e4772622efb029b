// Helpers shared by the configuration tests: running the velcrypt tool; the trace capture.
#ifndef VEL_TESTS_UNIT_CONFIG_CONFIGTESTHELPERS_H
#define VEL_TESTS_UNIT_CONFIG_CONFIGTESTHELPERS_H

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"
#include "TraceCapture.h"

namespace veltest {

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs build/bin/velcrypt with the arguments (already quoted for the shell), feeding input on
// standard input; the files it needs are made in dir.
inline ToolRun runVelcrypt(const TempDir& dir, const std::string& args, const std::string& input) {
  ToolRun r;
  std::string in = dir.file("tool.in");
  std::string out = dir.file("tool.out");
  std::string err = dir.file("tool.err");
  if (!writeFile(in, input)) return r;
  std::string cmd =
      "'" + buildDir() + "/bin/velcrypt' " + args + " <'" + in + "' >'" + out + "' 2>'" + err + "'";
  int status = system(cmd.c_str());
  if (status != -1 && WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
  r.out = readFile(out);
  r.err = readFile(err);
  return r;
}

// Encrypts input (the secret and its line feed) with velcrypt and key; the printed value.
inline std::string velcryptEncrypt(const TempDir& dir, const std::string& key,
                                   const std::string& input) {
  ToolRun r = runVelcrypt(dir, "-k '" + key + "'", input);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  if (!r.out.empty() && r.out.back() == '\n') r.out.pop_back();
  return r.out;
}

}  // namespace veltest

#endif  // VEL_TESTS_UNIT_CONFIG_CONFIGTESTHELPERS_H
