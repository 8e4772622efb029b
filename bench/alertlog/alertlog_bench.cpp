// The alert-log search against `grep -c -E 'ORA-[0-9]+'` on the same generated alert log: 64 MiB
// written the way a busy instance writes it (mostly ordinary lines, a timestamp line every few
// lines, 1 % ORA- lines). Prints the MB/s of grep and of a first full read (the read limit raised
// above the file's size), their ratio, and the time of an incremental read after 1 MiB is
// appended. Each figure is the best of five runs, the file in the page cache for both.
//
//   bench_alertlog_search [size in MiB, default 64] [folder, default /tmp]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "CAlertLog.h"

namespace {

const char* const kOrdinary[] = {
    "Thread 1 advanced to log sequence %d (LGWR switch)",
    "  Current log# %d seq# 48213 mem# 0: /u01/oradata/PROD/redo03.log",
    "Completed checkpoint up to RBA [0x%x.2.10], SCN: 1234567890",
    "Archived Log entry %d added for T-1.S-48212 ID 0x5a2b1c3d LAD:1",
    "Resize operation completed for file# %d, old size 2048000K, new size 2099200K",
    "TABLE SYS.WRI$_OPTSTAT_HISTHEAD_HISTORY: ADDED INTERVAL PARTITION SYS_P%d",
    "Setting Resource Manager plan SCHEDULER[0x%x]:DEFAULT_MAINTENANCE_PLAN via scheduler window",
    "WARNING: inbound connection timed out (ORA-3136) opiodr aborting process unknown ospid (%d)",
    "Errors in file /u01/app/oracle/diag/rdbms/prod/PROD1/trace/PROD1_j000_%d.trc:",
    "PROD1(3):Starting background process CJQ0, pid %d",
    "  4K, 2048K",
};
const char* const kErrors[] = {
    "ORA-01555: snapshot too old: rollback segment number %d with name \"_SYSSMU23$\" too small",
    "ORA-00600: internal error code, arguments: [kcbz_check_objd_typ], [%d], [], []",
    "ORA-04031: unable to allocate %d bytes of shared memory (\"shared pool\",\"unknown\")",
    "ORA-06512: at \"SYS.DBMS_STATS\", line %d",
    "ORA-1102 signalled during: ALTER DATABASE MOUNT /* %d */...",
};

// Appends generated lines to the file until it holds bytes more bytes.
void generate(const std::string& path, long bytes, unsigned seed, int& errors) {
  FILE* f = fopen(path.c_str(), "a");
  if (f == nullptr) exit(2);
  std::mt19937 rng(seed);
  char line[512];
  long written = 0;
  int second = 0;
  while (written < bytes) {
    int r = static_cast<int>(rng() % 100);
    int n;
    if (r < 20) {
      ++second;
      n = snprintf(line, sizeof line, "2026-12-02T%02d:%02d:%02d.%06d+00:00\n", second / 3600 % 24,
                   second / 60 % 60, second % 60, static_cast<int>(rng() % 1000000));
    } else if (r == 20) {
      ++errors;
      n = snprintf(line, sizeof line, kErrors[rng() % 5], static_cast<int>(rng() % 100000));
      line[n++] = '\n';
    } else {
      n = snprintf(line, sizeof line, kOrdinary[rng() % 11], static_cast<int>(rng() % 100000));
      line[n++] = '\n';
    }
    fwrite(line, 1, static_cast<size_t>(n), f);
    written += n;
  }
  fclose(f);
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Counter : CAlertLogListener {
  long entries = 0;
  void onAlertEntry(CAlertEntry&) override { ++entries; }
};

// Runs grep -c -E 'ORA-[0-9]+' on the file; its time in seconds. The count goes to a file, not
// to /dev/null, where grep would stop at the first match.
double timeGrep(const std::string& path) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (freopen((path + ".count").c_str(), "w", stdout) == nullptr) _exit(3);
    execlp("grep", "grep", "-c", "-E", "ORA-[0-9]+", path.c_str(), static_cast<char*>(nullptr));
    _exit(4);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) exit(5);
  return seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  long mib = argc > 1 ? atol(argv[1]) : 64;
  std::string dir = argc > 2 ? argv[2] : "/tmp";
  if (mib < 1 || mib > 4096) return 1;
  const long size = mib << 20;
  setenv("VEL_TRACE", "none", 1);
  setenv("VEL_LOG_MAXREAD", "4096M", 1);  // a first read covers the whole file
  std::string path = dir + "/bench_alert_" + std::to_string(getpid()) + ".log";
  std::string msgidPath = path + ".msgid";
  FILE* m = fopen(msgidPath.c_str(), "w");
  if (m == nullptr) return 2;
  fputs("ORA-3136=5\nORA-600=1\nORA-7445=1\nORA-4031=2\nORA-1555=2\nORA-1102=2\nORA-6512=4\n", m);
  fclose(m);
  int errors = 0;
  generate(path, size, 19, errors);
  CPropFile msgids(msgidPath.c_str());
  msgids.load();

  double grep = 1e9, full = 1e9, incremental = 1e9;
  long found = 0, foundIncremental = 0;
  for (int run = 0; run < 5; ++run) {
    grep = std::min(grep, timeGrep(path));
    CAlertLog log("PROD1", path.c_str(), "host", "PROD");
    Counter c;
    auto start = std::chrono::steady_clock::now();
    log.search(msgids, c);
    full = std::min(full, seconds(start));
    found = c.entries;
  }
  CAlertLog log("PROD1", path.c_str(), "host", "PROD");
  Counter first;
  log.search(msgids, first);
  for (int run = 0; run < 5; ++run) {
    int appended = 0;
    generate(path, 1 << 20, 100 + run, appended);
    Counter c;
    auto start = std::chrono::steady_clock::now();
    log.search(msgids, c);
    incremental = std::min(incremental, seconds(start));
    foundIncremental = c.entries;
  }
  const double mb = static_cast<double>(size) / 1e6;
  printf("file: %ld MiB, %d ORA- lines written, %ld entries found\n", mib, errors, found);
  printf("grep -c -E 'ORA-[0-9]+': %.3f s, %.0f MB/s\n", grep, mb / grep);
  printf("first full read:        %.3f s, %.0f MB/s, %.2f of grep's speed\n", full, mb / full,
         grep / full);
  printf("incremental 1 MiB:      %.4f s, %.0f MB/s, %ld entries\n", incremental,
         1.048576 / incremental, foundIncremental);
  unlink(path.c_str());
  unlink(msgidPath.c_str());
  unlink((path + ".count").c_str());
  return grep / full >= 0.5 ? 0 : 6;
}
