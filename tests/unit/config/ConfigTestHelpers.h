// Helpers shared by the configuration tests: trace capture into a file.
#ifndef VEL_TESTS_UNIT_CONFIG_CONFIGTESTHELPERS_H
#define VEL_TESTS_UNIT_CONFIG_CONFIGTESTHELPERS_H

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "MUT1.h"
#include "TestSupport.h"

namespace veltest {

// Sends every error trace (and the given extra words) to a file of its own while it lives.
class TraceCapture {
 public:
  explicit TraceCapture(const char* flags = "error")
      : m_trace("VEL_TRACE", flags), m_file("VEL_TRACE_FILE", m_dir.file("trace.log").c_str()) {
    MUT1_Invalidate();
  }
  // Settings are re-read lazily at the next trace point, after the guards have restored the
  // variables.
  ~TraceCapture() { MUT1_Invalidate(); }
  std::string text() const { return readFile(m_dir.file("trace.log")); }
  bool contains(const std::string& s) const { return text().find(s) != std::string::npos; }

 private:
  TempDir m_dir;
  ScopedEnv m_trace;
  ScopedEnv m_file;
};

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
