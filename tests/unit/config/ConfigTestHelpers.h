// Helpers shared by the configuration tests: running the velcrypt tool; the trace capture.
#ifndef VEL_TESTS_UNIT_CONFIG_CONFIGTESTHELPERS_H
#define VEL_TESTS_UNIT_CONFIG_CONFIGTESTHELPERS_H

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

}  // namespace veltest

#endif  // VEL_TESTS_UNIT_CONFIG_CONFIGTESTHELPERS_H
