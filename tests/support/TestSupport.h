// Helpers shared by the unit and end-to-end tests.
#ifndef VEL_TESTS_SUPPORT_TESTSUPPORT_H
#define VEL_TESTS_SUPPORT_TESTSUPPORT_H

#include <chrono>
#include <ctime>
#include <string>

namespace veltest {

// Milliseconds of the steady clock since start.
long msSince(std::chrono::steady_clock::time_point start);
// Waits until the wall clock is just past a second boundary (20 ms), so that a whole-second
// deadline, or a thread that looks at its queue once a second, is about one second away.
void alignToSecond();

// A fresh directory under TMPDIR (or /tmp), removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return m_path; }
  // path() + "/" + name
  std::string file(const std::string& name) const;

 private:
  std::string m_path;
};

// Sets (or, with a null value, unsets) an environment variable for the life of the object and
// restores the previous state afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::string m_old;
  bool m_hadOld;
};

// Writes text to path (truncating); returns false on failure.
bool writeFile(const std::string& path, const std::string& text);
// Reads the whole file; empty when it cannot be read.
std::string readFile(const std::string& path);

// Seconds since 1970 of a UTC calendar time (month 1-12).
time_t utcTime(int year, int month, int day, int h, int m, int s);

// The build tree's root (the folder holding bin/ and sim/), from the VEL_BUILD_DIR compile
// definition.
std::string buildDir();
// The source tree's root, from the VEL_SOURCE_DIR compile definition.
std::string sourceDir();

// Makes a simulated database file from a seed of sim/oracle/seeds ("single.sql"), with the SQL
// file extraSql (may be empty) applied after it, through the built velsim-mkdb. False on failure.
bool makeSimDatabase(const std::string& seed, const std::string& outFile,
                     const std::string& extraSql = std::string());

// A TCP socket listening on 127.0.0.1; connections wait in its queue and are never accepted.
// Port 0 takes a free port. close() and reopen() take the listener down and up on the same port.
class LoopbackListener {
 public:
  explicit LoopbackListener(int port = 0, int backlog = 64);
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;
  int port() const { return m_port; }
  void close();
  bool reopen();

 private:
  int m_fd = -1;
  int m_port;
  int m_backlog;
};

// A loopback port that nothing listened on at the time of the call.
int closedLoopbackPort();

// The database-information block every session runs after log-on; it works on every seed.
extern const char* const kDatabaseInformationBlock;

}  // namespace veltest

#endif  // VEL_TESTS_SUPPORT_TESTSUPPORT_H
