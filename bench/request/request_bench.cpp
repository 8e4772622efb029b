// Whole-process benchmark of velclient: the real build/bin/velclient started through the agent
// simulator (AgentSim) against the Oracle client stand-in, with 1, 10 and 50 subnodes.
//
// It measures, in one run:
//  - requests per second and latency (p50, p90, p99, max) of BENCH_ROWS, a simple-SQL catalog
//    group whose statement returns exactly 10 rows, under a closed-loop load: one driver thread
//    per subnode keeps W requests outstanding on its subnode (W = 1, then W = --window);
//    every answer is checked (10 rows of 3 columns, ids 1 to 10);
//  - two references measured in the same run: the same 10-row statement run directly through
//    the stand-in's OCI in this process (prepare, define, execute, fetch), and the link round
//    trip of the in-memory group Monitored_Databases (wire and request loop, no database);
//  - velclient's resident memory (VmRSS, VmHWM) once all subnodes report Active, and the
//    difference per subnode between the smallest and the largest count;
//  - velclient's CPU use (utime + stime, % of one core) with idle subnodes, for the smallest and
//    the largest count.
// Wire violations seen by AgentSim, lost or wrong answers, agent events and the exit code of
// velclient after the shutdown request are reported with the figures.
//
// Build and run (Google Benchmark must be installed for bench/ to be built):
//   cmake --build build --target bench_request velclient clntsh velsim-mkdb
//   build/bin/bench_request                 # full run, about 3 minutes
//   build/bin/bench_request --quick         # about 1 minute
// Options: --subnodes 1,10,50  --load-seconds S  --warmup-seconds S  --window W
//          --idle-seconds S  --inmem-seconds S  --rounds N (deep-window runs, memory after each)
//          --ping S (VEL_PING_INTERVAL)  --keep
#include <dlfcn.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "AgentSim.h"
#include "BenchFiles.h"
#include "BenchStats.h"
#include "BenchWorkload.h"

namespace {

using Clock = std::chrono::steady_clock;
using velagent::AgentSim;
using velbench::LatencySummary;

using velbench::kGroup;
using velbench::kRows;
using velbench::kRowsQuery;
using velbench::Options;
const int kAnswerTimeoutMs = 30000;

double msBetween(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

double secondsBetween(Clock::time_point a, Clock::time_point b) { return msBetween(a, b) / 1000; }

// ---------------------------------------------------------------------------------------------
// Files

using velbench::connectString;
using velbench::copyDatabase;
using velbench::databaseFile;
using velbench::exists;
using velbench::readText;
using velbench::subnodeName;
using velbench::WorkDir;
using velbench::writeText;

// The catalog: the statements every worker needs to connect, plus the 10-row group.
std::string catalogText() {
  return velbench::catalogDocument(
      velbench::sessionCatalogEntries() +
      velbench::catalogEntry(std::string("\"") + kGroup + "\" simplesql=\"TRUE\" odiversion=\"1\"",
                             kRowsQuery));
}

const char kRefFile[] =
    "<?xml version=\"1.0\"?>\n<agent_ref>\n"
    "  <custom ag=\"BENCH_ROWS\"><metric metricName=\"ID\" type=\"string\" size=\"16\"/>"
    "<metric metricName=\"NAME\" type=\"string\" size=\"64\"/>"
    "<metric metricName=\"VAL\" type=\"string\" size=\"32\"/></custom>\n"
    "</agent_ref>\n";

// The environment and files of one collector run.
struct Setup {
  std::string buildDir = VEL_BUILD_DIR;
  std::string sourceDir = VEL_SOURCE_DIR;
  WorkDir dir;
  WorkDir sim;
  explicit Setup(bool keep) : dir(keep), sim(keep) {}

  std::string seedDb() const { return dir.file("seed.db"); }

  bool prepare() {
    if (!dir.ok() || !sim.ok()) {
      std::fprintf(stderr, "bench_request: cannot create a temporary folder\n");
      return false;
    }
    if (!writeText(dir.file("velsql.xml"), catalogText()) ||
        !writeText(dir.file("ref.xml"), kRefFile) ||
        !writeText(dir.file("vel.atr"), "* no column renames\n") ||
        !writeText(dir.file("rows.sql"), velbench::kRowsSeed)) {
      std::fprintf(stderr, "bench_request: cannot write the files under %s\n", dir.path().c_str());
      return false;
    }
    return velbench::makeSeedDatabase(buildDir, sourceDir, dir.file("rows.sql"), seedDb(),
                                      dir.file("mkdb.log"));
  }

  // One database file per subnode, copies of the seed (made once, kept across runs).
  bool databases(int count) {
    for (int i = 1; i <= count; ++i) {
      std::string target = sim.file(databaseFile(i));
      if (exists(target)) continue;
      if (!copyDatabase(seedDb(), target)) {
        std::fprintf(stderr, "bench_request: cannot copy the seed to %s\n", target.c_str());
        return false;
      }
    }
    return true;
  }

  std::string configFile(int count) const {
    return dir.file("vl_bench" + std::to_string(count) + ".cfg");
  }

  bool writeConfig(int count) const {
    std::string text;
    for (int i = 1; i <= count; ++i) {
      text += "[config " + subnodeName(i) + "]\nVEL_CONN_STR = " + connectString(i) +
              "\nVEL_CONN_USERID = monitor\nVEL_CONN_PASSWORD = monitor\n";
    }
    return writeText(configFile(count), text);
  }

  velagent::ClientOptions clientOptions(int count, int ping) const {
    velagent::ClientOptions o =
        velbench::collectorOptions(buildDir, dir, sim, configFile(count),
                                   dir.file("velclient" + std::to_string(count) + ".log"));
    if (ping > 0) o.env.push_back("VEL_PING_INTERVAL=" + std::to_string(ping));
    return o;
  }
};

// ---------------------------------------------------------------------------------------------
// Reference: the 10-row statement straight through the stand-in's OCI, in this process.

typedef int sword;
typedef unsigned int ub4;
typedef unsigned short ub2;
typedef short sb2;
typedef int sb4;
typedef unsigned char ub1;

struct OciApi {
  sword (*EnvCreate)(void**, ub4, const void*, void*, void*, void*, size_t, void**);
  sword (*HandleAlloc)(const void*, void**, ub4, size_t, void**);
  sword (*HandleFree)(void*, ub4);
  sword (*ServerAttach)(void*, void*, const ub1*, sb4, ub4);
  sword (*AttrSet)(void*, ub4, void*, ub4, ub4, void*);
  sword (*SessionBegin)(void*, void*, void*, ub4, ub4);
  sword (*StmtPrepare)(void*, void*, const ub1*, ub4, ub4, ub4);
  sword (*DefineByPos)(void*, void**, void*, ub4, void*, sb4, ub2, void*, ub2*, ub2*, ub4);
  sword (*StmtExecute)(void*, void*, void*, ub4, ub4, const void*, void*, ub4);
  sword (*StmtFetch2)(void*, void*, ub4, ub2, sb4, ub4);
  sword (*ErrorGet)(void*, ub4, ub1*, sb4*, ub1*, ub4, ub4);
  sword (*SessionEnd)(void*, void*, void*, ub4);
  sword (*ServerDetach)(void*, void*, ub4);
  sword (*BindByName)(void*, void**, void*, const ub1*, sb4, void*, sb4, ub2, void*, ub2*, ub2*,
                      ub4, ub4*, ub4);
};

const ub4 kHtEnv = 1, kHtError = 2, kHtSvcCtx = 3, kHtStmt = 4, kHtServer = 8, kHtSession = 9;
const ub4 kAttrNonBlocking = 3, kAttrServer = 6, kAttrSession = 7, kAttrPrefetch = 11,
          kAttrUser = 22, kAttrPassword = 23;
const sword kStillExecuting = -3123, kNoData = 100;
const ub2 kSqltStr = 5;

class BareQuery {
 public:
  ~BareQuery() {
    // The session ends and every handle is freed; the library stays loaded (its worker
    // threads may outlive a dlclose).
    if (m_loggedOn) m_api.SessionEnd(m_svc, m_err, m_ses, 0);
    if (m_attached) m_api.ServerDetach(m_srv, m_err, 0);
    if (m_ses != nullptr) m_api.HandleFree(m_ses, kHtSession);
    if (m_svc != nullptr) m_api.HandleFree(m_svc, kHtSvcCtx);
    if (m_srv != nullptr) m_api.HandleFree(m_srv, kHtServer);
    if (m_err != nullptr) m_api.HandleFree(m_err, kHtError);
    if (m_env != nullptr) m_api.HandleFree(m_env, kHtEnv);
  }

  // Loads the stand-in and logs on to the database of connect string cs.
  bool open(const std::string& library, const std::string& cs) {
    void* lib = dlopen(library.c_str(), RTLD_NOW);
    if (lib == nullptr) return fail(std::string("dlopen: ") + dlerror());
    bool ok = load(lib, &m_api.EnvCreate, "OCIEnvCreate") &&
              load(lib, &m_api.HandleAlloc, "OCIHandleAlloc") &&
              load(lib, &m_api.HandleFree, "OCIHandleFree") &&
              load(lib, &m_api.ServerAttach, "OCIServerAttach") &&
              load(lib, &m_api.AttrSet, "OCIAttrSet") &&
              load(lib, &m_api.SessionBegin, "OCISessionBegin") &&
              load(lib, &m_api.StmtPrepare, "OCIStmtPrepare") &&
              load(lib, &m_api.DefineByPos, "OCIDefineByPos") &&
              load(lib, &m_api.StmtExecute, "OCIStmtExecute") &&
              load(lib, &m_api.StmtFetch2, "OCIStmtFetch2") &&
              load(lib, &m_api.ErrorGet, "OCIErrorGet") &&
              load(lib, &m_api.SessionEnd, "OCISessionEnd") &&
              load(lib, &m_api.ServerDetach, "OCIServerDetach") &&
              load(lib, &m_api.BindByName, "OCIBindByName");
    if (!ok) return false;
    // OCI_THREADED, as the collector creates its environment.
    if (m_api.EnvCreate(&m_env, 1, nullptr, nullptr, nullptr, nullptr, 0, nullptr) != 0)
      return fail("OCIEnvCreate failed");
    m_api.HandleAlloc(m_env, &m_err, kHtError, 0, nullptr);
    m_api.HandleAlloc(m_env, &m_srv, kHtServer, 0, nullptr);
    m_api.HandleAlloc(m_env, &m_svc, kHtSvcCtx, 0, nullptr);
    m_api.HandleAlloc(m_env, &m_ses, kHtSession, 0, nullptr);
    if (m_api.ServerAttach(m_srv, m_err, reinterpret_cast<const ub1*>(cs.c_str()),
                           static_cast<sb4>(cs.size()), 0) != 0)
      return fail("attach: " + errorText());
    m_attached = true;
    m_api.AttrSet(m_svc, kHtSvcCtx, m_srv, 0, kAttrServer, m_err);
    m_api.AttrSet(m_ses, kHtSession, const_cast<char*>("monitor"), 7, kAttrUser, m_err);
    m_api.AttrSet(m_ses, kHtSession, const_cast<char*>("monitor"), 7, kAttrPassword, m_err);
    if (m_api.SessionBegin(m_svc, m_err, m_ses, 1, 0) != 0) return fail("log on: " + errorText());
    m_loggedOn = true;
    m_api.AttrSet(m_svc, kHtSvcCtx, m_ses, 0, kAttrSession, m_err);
    return true;
  }

  // One run of the statement: statement handle, prepare, three text defines, execute, fetch to
  // the end. Returns the rows fetched, or -1 on an error. nonBlocking/prefetch as the collector
  // sets them, when asked; limited: the statement as the collector sends it, inside its row limit
  // "select * from (...) where ROWNUM<= :maxrownum" with the limit bound as text.
  int run(bool nonBlocking, ub4 prefetch, bool limited = false) {
    ub1 mode = nonBlocking ? 1 : 0;
    m_api.AttrSet(m_svc, kHtSvcCtx, &mode, 0, kAttrNonBlocking, m_err);
    void* stmt = nullptr;
    if (m_api.HandleAlloc(m_env, &stmt, kHtStmt, 0, nullptr) != 0) return -1;
    int rows = -1;
    static const std::string kLimited =
        std::string("select * from (") + kRowsQuery + ") where ROWNUM<= :maxrownum";
    const char* text = limited ? kLimited.c_str() : kRowsQuery;
    char limit[20] = "1000";
    void* bind = nullptr;
    if (m_api.StmtPrepare(stmt, m_err, reinterpret_cast<const ub1*>(text),
                          static_cast<ub4>(std::strlen(text)), 1, 0) == 0 &&
        (!limited ||
         m_api.BindByName(stmt, &bind, m_err, reinterpret_cast<const ub1*>(":maxrownum"), 10, limit,
                          sizeof limit, kSqltStr, nullptr, nullptr, nullptr, 0, nullptr, 0) == 0)) {
      if (prefetch > 0) m_api.AttrSet(stmt, kHtStmt, &prefetch, 0, kAttrPrefetch, m_err);
      char cols[3][64];
      sb2 ind[3];
      ub2 len[3];
      for (ub4 c = 0; c < 3; ++c) {
        void* def = nullptr;
        m_api.DefineByPos(stmt, &def, m_err, c + 1, cols[c], sizeof cols[c], kSqltStr, &ind[c],
                          &len[c], nullptr, 0);
      }
      sword rc;
      while ((rc = m_api.StmtExecute(m_svc, stmt, m_err, 0, 0, nullptr, nullptr, 0)) ==
             kStillExecuting) {
      }
      if (rc == 0) {
        rows = 0;
        for (;;) {
          while ((rc = m_api.StmtFetch2(stmt, m_err, 1, 2, 0, 0)) == kStillExecuting) {
          }
          if (rc != 0) break;
          // The first column is the id: a wrong row is an error, as in the collector's answers.
          if (std::strtol(cols[0], nullptr, 10) != rows + 1) break;
          ++rows;
        }
        if (rc != kNoData) rows = -1;
      }
    }
    m_api.HandleFree(stmt, kHtStmt);
    return rows;
  }

  const std::string& error() const { return m_error; }

 private:
  template <class F>
  bool load(void* lib, F* fn, const char* name) {
    *fn = reinterpret_cast<F>(dlsym(lib, name));
    return *fn != nullptr || fail(std::string("missing ") + name);
  }
  bool fail(const std::string& text) {
    m_error = text;
    return false;
  }
  std::string errorText() {
    ub1 buf[512] = {0};
    sb4 code = 0;
    m_api.ErrorGet(m_err, 1, nullptr, &code, buf, sizeof buf, kHtError);
    return reinterpret_cast<char*>(buf);
  }

  OciApi m_api{};
  void *m_env = nullptr, *m_err = nullptr, *m_srv = nullptr, *m_svc = nullptr, *m_ses = nullptr;
  bool m_attached = false;
  bool m_loggedOn = false;
  std::string m_error;
};

double processCpuUs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

// Runs the bare statement repeatedly for the given time; false on any wrong result. cpuUs, when
// given, receives this process's CPU time per run (nothing else of the benchmark runs meanwhile).
bool measureBare(BareQuery* q, bool nonBlocking, ub4 prefetch, double seconds, LatencySummary* out,
                 double* cpuUs = nullptr, bool limited = false) {
  for (int i = 0; i < 20; ++i)  // warm the page cache and the statement path
    if (q->run(nonBlocking, prefetch, limited) != kRows) return false;
  std::vector<double> ms;
  const double cpuStart = processCpuUs();
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    const auto t0 = Clock::now();
    int rows = q->run(nonBlocking, prefetch, limited);
    ms.push_back(msBetween(t0, Clock::now()));
    if (rows != kRows) return false;
  }
  if (cpuUs != nullptr) *cpuUs = (processCpuUs() - cpuStart) / static_cast<double>(ms.size());
  *out = velbench::summarize(&ms);
  return true;
}

// ---------------------------------------------------------------------------------------------
// CPU use

// CPU time of another process in nanoseconds: its threads' scheduler statistics when the kernel
// keeps them, else the clock ticks of /proc/<pid>/stat; the benchmark's own from getrusage, which
// also counts driver threads that have ended.
class CpuMeter {
 public:
  explicit CpuMeter(pid_t pid) : m_pid(pid) {}
  // Starts a measurement; false when the process cannot be read.
  bool start() {
    m_fine = m_pid == getpid() || velbench::readProcCpuNanos(m_pid, &m_start);
    m_started = sample(&m_start);
    m_at = Clock::now();
    return m_started;
  }
  // The % of one core used since start(), or -1.
  double percent() const {
    unsigned long long now = 0;
    if (!m_started || !sample(&now) || now < m_start) return -1;
    return velbench::cpuPercent(now - m_start, secondsBetween(m_at, Clock::now()));
  }
  double seconds() const { return secondsBetween(m_at, Clock::now()); }
  // Whether the finer scheduler statistics are used.
  bool fine() const { return m_fine; }

 private:
  bool sample(unsigned long long* ns) const {
    if (m_pid == getpid()) {
      struct rusage ru;
      if (getrusage(RUSAGE_SELF, &ru) != 0) return false;
      auto us = [](const timeval& t) {
        return static_cast<unsigned long long>(t.tv_sec) * 1000000ULL +
               static_cast<unsigned long long>(t.tv_usec);
      };
      *ns = (us(ru.ru_utime) + us(ru.ru_stime)) * 1000ULL;
      return true;
    }
    if (m_fine) return velbench::readProcCpuNanos(m_pid, ns);
    unsigned long long ticks = 0;
    if (!velbench::readProcCpuTicks(m_pid, &ticks)) return false;
    *ns = ticks * 1000000000ULL / static_cast<unsigned long long>(sysconf(_SC_CLK_TCK));
    return true;
  }

  pid_t m_pid;
  bool m_fine = false;
  bool m_started = false;
  unsigned long long m_start = 0;
  Clock::time_point m_at;
};

// ---------------------------------------------------------------------------------------------
// The collector under load

// True when the answer is the 10 rows of bench_rows, in order.
bool rightAnswer(const velagent::Answer& a) {
  return a.ok() && !a.isError && velbench::isSeedRows(a.rows);
}

struct LoadTally {
  std::vector<double> latencyMs;  // answers that arrived inside the measured window
  long answered = 0;              // every right answer, warm-up and drain included
  long wrong = 0;                 // answers that were not the 10 rows
  long lost = 0;                  // not sent, timed out, or the connection ended
  std::string firstWrong;
};

// One driver thread: keeps `depth` requests outstanding on one subnode until stopAt. The worker
// answers its queue in order, so waiting for the oldest request first measures every answer at
// its arrival.
void driveSubnode(AgentSim* agent, const std::string& subnode, int depth,
                  Clock::time_point measureFrom, Clock::time_point stopAt, LoadTally* tally) {
  std::deque<std::pair<std::string, Clock::time_point>> pending;
  auto send = [&]() {
    const auto t0 = Clock::now();
    std::string id = agent->sendDataRequest(kGroup, subnode, {});
    if (id.empty()) {
      ++tally->lost;
      return false;
    }
    pending.emplace_back(id, t0);
    return true;
  };
  for (int i = 0; i < depth; ++i)
    if (!send()) break;
  while (!pending.empty()) {
    const auto [id, sentAt] = pending.front();
    pending.pop_front();
    velagent::Answer a = agent->waitAnswer(id, kAnswerTimeoutMs);
    const auto now = Clock::now();
    if (!a.ok()) {
      ++tally->lost;
      if (a.status != velagent::WaitStatus::kTimeout) break;  // the connection is gone
      continue;
    }
    if (rightAnswer(a)) {
      ++tally->answered;
      if (now >= measureFrom && now <= stopAt) tally->latencyMs.push_back(msBetween(sentAt, now));
    } else {
      ++tally->wrong;
      if (tally->firstWrong.empty()) tally->firstWrong = a.raw.substr(0, 300);
    }
    if (now < stopAt) send();
  }
}

struct LoadResult {
  int subnodes = 0;
  int window = 0;  // outstanding requests per subnode
  double seconds = 0;
  LatencySummary latency;
  double perSecond = 0;
  double cpuPercent = -1;       // velclient during the measured window
  double agentCpuPercent = -1;  // this process (driver threads and AgentSim) in that window
  long answered = 0, wrong = 0, lost = 0;
  velbench::ProcMemory memoryAfter;  // velclient's, once the load has drained
  std::string firstWrong;
};

LoadResult runLoad(AgentSim* agent, int subnodes, int depth, const Options& o) {
  LoadResult r;
  r.subnodes = subnodes;
  r.window = depth;
  const auto start = Clock::now();
  const auto measureFrom = start + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(o.warmupSeconds));
  const auto stopAt = measureFrom + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(o.loadSeconds));
  std::vector<LoadTally> tallies(static_cast<size_t>(subnodes));
  std::vector<std::thread> threads;
  for (int i = 0; i < subnodes; ++i)
    threads.emplace_back(driveSubnode, agent, subnodeName(i + 1), depth, measureFrom, stopAt,
                         &tallies[static_cast<size_t>(i)]);
  CpuMeter client(agent->clientPid()), self(getpid());
  std::this_thread::sleep_until(measureFrom);
  client.start();
  self.start();
  std::this_thread::sleep_until(stopAt);
  r.cpuPercent = client.percent();
  r.agentCpuPercent = self.percent();
  for (std::thread& t : threads) t.join();
  std::vector<double> all;
  for (LoadTally& t : tallies) {
    all.insert(all.end(), t.latencyMs.begin(), t.latencyMs.end());
    r.answered += t.answered;
    r.wrong += t.wrong;
    r.lost += t.lost;
    if (r.firstWrong.empty()) r.firstWrong = t.firstWrong;
  }
  r.seconds = o.loadSeconds;
  r.latency = velbench::summarize(&all);
  r.perSecond = static_cast<double>(r.latency.count) / o.loadSeconds;
  return r;
}

// Sequential Monitored_Databases requests: the link and the request loop without a database.
bool measureInMemory(AgentSim* agent, int subnodes, double seconds, LatencySummary* out,
                     std::string* problem) {
  std::vector<double> ms;
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    const auto t0 = Clock::now();
    velagent::Answer a = agent->dataRequest("Monitored_Databases", "", {}, kAnswerTimeoutMs);
    ms.push_back(msBetween(t0, Clock::now()));
    if (!a.ok() || a.rows.size() != static_cast<size_t>(subnodes)) {
      *problem = "Monitored_Databases answered " + std::string(waitStatusName(a.status)) +
                 " with " + std::to_string(a.rows.size()) + " rows, expected " +
                 std::to_string(subnodes);
      return false;
    }
  }
  *out = velbench::summarize(&ms);
  return true;
}

// Polls Database_Information until every subnode reports Active; false on time-out.
bool waitAllActive(AgentSim* agent, int subnodes, int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  do {
    velagent::Answer a = agent->dataRequest("Database_Information", "", {}, 5000);
    int active = 0;
    for (const velagent::Row& row : a.rows)
      if (row.size() == 10 && row[5] == "Active") ++active;
    if (a.ok() && active == subnodes && a.rows.size() == static_cast<size_t>(subnodes)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  } while (Clock::now() < end);
  return false;
}

struct RunResult {
  int subnodes = 0;
  bool ok = false;
  std::string problem;
  double secondsToActive = 0;
  velbench::ProcMemory idleMemory;
  velbench::ProcMemory loadedMemory;
  double idleCpuPercent = -1;
  double idleSeconds = 0;
  bool idleCpuFine = false;  // from scheduler statistics (ns), not clock ticks
  LatencySummary inMemory;
  double inMemoryCpuUs = 0;  // velclient's CPU per in-memory answer
  std::vector<LoadResult> loads;
  size_t violations = 0;
  std::string firstViolation;
  size_t events = 0;
  std::string firstEvent;
  int exitCode = -1;
};

RunResult runCollector(Setup* setup, int subnodes, bool measureIdle, const Options& o) {
  RunResult r;
  r.subnodes = subnodes;
  auto failed = [&](const std::string& text) {
    r.problem = text;
    return r;
  };
  if (!setup->databases(subnodes) || !setup->writeConfig(subnodes))
    return failed("cannot write the databases or the configuration");
  AgentSim agent;
  agent.setRecordReceived(false);
  if (!agent.listen(0)) return failed("listen: " + agent.lastError());
  velagent::ClientOptions co = setup->clientOptions(subnodes, o.ping);
  const auto started = Clock::now();
  if (!agent.startClient(setup->buildDir + "/bin/velclient", co))
    return failed("start: " + agent.lastError());
  if (!agent.waitRegistration(20000))
    return failed("no registration: " + agent.lastError() + "\n" + readText(co.logPath));
  if (!agent.isRegistered(kGroup)) return failed(std::string(kGroup) + " is not registered");
  if (!waitAllActive(&agent, subnodes, 60000 + 500 * subnodes))
    return failed("not every subnode turned Active\n" + readText(co.logPath));
  r.secondsToActive = secondsBetween(started, Clock::now());
  const pid_t pid = agent.clientPid();
  // A moment for the workers to finish their first turn before memory is read.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  if (!velbench::readProcMemory(pid, &r.idleMemory)) return failed("cannot read /proc status");

  if (measureIdle) {
    CpuMeter idle(pid);
    if (!idle.start()) return failed("cannot read the CPU time of velclient");
    std::this_thread::sleep_for(std::chrono::duration<double>(o.idleSeconds));
    r.idleCpuPercent = idle.percent();
    r.idleSeconds = idle.seconds();
    r.idleCpuFine = idle.fine();
    if (r.idleCpuPercent < 0) return failed("cannot read the CPU time of velclient");
  }

  std::string problem;
  CpuMeter inMemoryCpu(pid);
  inMemoryCpu.start();
  if (!measureInMemory(&agent, subnodes, o.inmemSeconds, &r.inMemory, &problem))
    return failed(problem);
  // velclient's CPU per in-memory answer: the link, the request loop and the answer without any
  // statement, the floor under the CPU of a database answer.
  const double inMemoryPercent = inMemoryCpu.percent();
  if (inMemoryPercent >= 0 && r.inMemory.count > 0)
    r.inMemoryCpuUs = inMemoryPercent / 100.0 * inMemoryCpu.seconds() / r.inMemory.count * 1e6;

  // Window 1, then the deep window `rounds` times; memory is read after each, so that growth
  // under a steady load shows.
  std::vector<int> depths = {1};
  for (int i = 0; i < o.rounds; ++i) depths.push_back(o.window);
  for (int depth : depths) {
    r.loads.push_back(runLoad(&agent, subnodes, depth, o));
    velbench::readProcMemory(pid, &r.loads.back().memoryAfter);
  }
  velbench::readProcMemory(pid, &r.loadedMemory);

  std::vector<std::string> violations = agent.violations();
  r.violations = violations.size();
  if (!violations.empty()) r.firstViolation = violations.front();
  std::vector<velagent::Event> events = agent.events();
  r.events = events.size();
  if (!events.empty()) r.firstEvent = events.front().raw.substr(0, 300);
  if (!agent.sendShutdown()) return failed("cannot send the shutdown request");
  r.exitCode = agent.waitClientExit(30000);
  if (r.exitCode == -1) {
    agent.killClient();
    return failed("velclient did not exit within 30 s of the shutdown request");
  }
  r.ok = true;
  return r;
}

// ---------------------------------------------------------------------------------------------
// Report

void printLatencyLine(const char* label, const LatencySummary& s) {
  std::printf("  %-46s %8zu %9.3f %9.3f %9.3f %9.3f %9.3f\n", label, s.count, s.mean, s.p50, s.p90,
              s.p99, s.max);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string error;
  if (!velbench::parseOptions(argc, argv, &o, &error)) {
    std::fprintf(stderr,
                 "bench_request: %s\n"
                 "usage: bench_request [--quick] [--subnodes N,N,...] [--load-seconds S]\n"
                 "       [--warmup-seconds S] [--window W] [--idle-seconds S] [--inmem-seconds S]\n"
                 "       [--rounds N] [--ping S] [--keep]\n",
                 error.c_str());
    return 2;
  }
  // A collector that dies under load must not end this program through a broken socket.
  signal(SIGPIPE, SIG_IGN);
  // glibc takes its mutexes (SQLite's, malloc's) without atomic instructions while a process has
  // one thread; velclient never has one thread. A thread that only sleeps puts the bare references
  // under the same conditions.
  std::thread idle([] { pause(); });
  idle.detach();
  Setup setup(o.keep);
  if (!setup.prepare()) return 1;
  if (!setup.databases(1)) return 1;

  std::printf("velclient end-to-end benchmark: subnodes");
  for (int n : o.subnodes) std::printf(" %d", n);
  std::printf(
      "; load %.1f s after %.1f s warm-up; windows 1 and %d (x%d) per subnode; idle %.0f s\n",
      o.loadSeconds, o.warmupSeconds, o.window, o.rounds, o.idleSeconds);
  std::fflush(stdout);

  // References first, in this process, on the first subnode's database file.
  setenv("VELSIM_DIR", setup.sim.path().c_str(), 1);
  BareQuery bare;
  LatencySummary bareBlocking, bareNonBlocking, bareAfter, bareLimited;
  double bareLimitedCpuUs = 0;
  double bareCpuUs = 0;  // CPU time of one blocking bare query, the reference of velclient's CPU
  double bareNonBlockingCpuUs = 0;
  if (!bare.open(setup.buildDir + "/sim/libclntsh.so", connectString(1)) ||
      !measureBare(&bare, false, 0, 2, &bareBlocking, &bareCpuUs) ||
      !measureBare(&bare, true, 100, 2, &bareNonBlocking, &bareNonBlockingCpuUs) ||
      !measureBare(&bare, false, 0, 2, &bareLimited, &bareLimitedCpuUs, true)) {
    std::fprintf(stderr, "bench_request: the bare query failed: %s\n", bare.error().c_str());
    return 1;
  }

  std::vector<RunResult> runs;
  bool allOk = true;
  for (int n : o.subnodes) {
    bool idle = n == o.subnodes.front() || n == o.subnodes.back();
    std::printf("running with %d subnode(s)...\n", n);
    std::fflush(stdout);
    runs.push_back(runCollector(&setup, n, idle, o));
    const RunResult& r = runs.back();
    if (!r.ok) {
      std::printf("  FAILED with %d subnode(s): %s\n", n, r.problem.c_str());
      allOk = false;
    }
  }
  // Once more at the end: how much the machine changed during the run.
  if (!measureBare(&bare, false, 0, 2, &bareAfter)) {
    std::fprintf(stderr, "bench_request: the bare query failed at the end\n");
    allOk = false;
  }

  std::printf(
      "\nReferences (latency in ms)                         count      mean       p50"
      "       p90       p99       max\n");
  printLatencyLine("bare 10-row query, blocking (in process)", bareBlocking);
  printLatencyLine("bare 10-row query, non-blocking, prefetch 100", bareNonBlocking);
  printLatencyLine("bare 10-row query, blocking, after the runs", bareAfter);
  printLatencyLine("bare 10-row query in its row limit, blocking", bareLimited);
  std::printf(
      "  bare 10-row query, CPU per query: blocking %.1f us, non-blocking %.1f us, in its row "
      "limit %.1f us\n",
      bareCpuUs, bareNonBlockingCpuUs, bareLimitedCpuUs);
  for (const RunResult& r : runs) {
    if (!r.ok) continue;
    std::string label =
        "Monitored_Databases round trip, " + std::to_string(r.subnodes) + " subnode(s)";
    printLatencyLine(label.c_str(), r.inMemory);
  }
  for (const RunResult& r : runs)
    if (r.ok)
      std::printf("  velclient CPU per Monitored_Databases answer, %d subnode(s): %.1f us\n",
                  r.subnodes, r.inMemoryCpuUs);

  std::printf("\n%s requests (10 rows each); window = outstanding requests per subnode\n", kGroup);
  std::printf(
      "  subnodes window     req/s    p50 ms    p90 ms    p99 ms    max ms  p50/bare"
      "  p50/inmem  cpu%%  agent%%  cpu us/req  /bare  /sent   right wrong lost  RSS kB after\n");
  for (const RunResult& r : runs) {
    for (const LoadResult& l : r.loads) {
      double overBare = bareBlocking.p50 > 0 ? l.latency.p50 / bareBlocking.p50 : 0;
      double overInMem = r.inMemory.p50 > 0 ? l.latency.p50 / r.inMemory.p50 : 0;
      // velclient's CPU time per answered request, against the bare query's time.
      double cpuPerRequestUs =
          l.perSecond > 0 && l.cpuPercent >= 0 ? l.cpuPercent / 100.0 / l.perSecond * 1e6 : 0;
      double cpuOverBare = bareCpuUs > 0 ? cpuPerRequestUs / bareCpuUs : 0;
      double cpuOverSent = bareLimitedCpuUs > 0 ? cpuPerRequestUs / bareLimitedCpuUs : 0;
      std::printf(
          "  %8d %6d %9.1f %9.3f %9.3f %9.3f %9.3f %9.0f %10.1f %5.1f %6.1f %11.1f %6.1f %6.1f "
          "%7ld %5ld %4ld %13ld\n",
          l.subnodes, l.window, l.perSecond, l.latency.p50, l.latency.p90, l.latency.p99,
          l.latency.max, overBare, overInMem, l.cpuPercent, l.agentCpuPercent, cpuPerRequestUs,
          cpuOverBare, cpuOverSent, l.answered, l.wrong, l.lost, l.memoryAfter.vmRssKb);
      if (!l.firstWrong.empty()) std::printf("    first wrong answer: %s\n", l.firstWrong.c_str());
      if (l.wrong > 0 || l.lost > 0) allOk = false;
    }
  }

  std::printf(
      "  (a queued request wakes its worker at once: window 1 measures the latency of a lone\n"
      "   request, a deeper window the work per request; cpu%% is velclient's CPU and\n"
      "   agent%% this program's own (driver threads and AgentSim) over the measured window,\n"
      "   in %% of one core; cpu us/req is velclient's CPU time per answer, /bare its ratio to\n"
      "   the bare query's CPU time, /sent to that of the statement as velclient sends it,\n"
      "   inside its row limit)\n");

  std::printf(
      "\nvelclient memory (kB)  subnodes  idle VmRSS  idle VmHWM  threads  after-load"
      " VmRSS  VmHWM  s to Active\n");
  for (const RunResult& r : runs) {
    if (!r.ok) continue;
    std::printf("                        %8d %11ld %11ld %8ld %17ld %6ld %12.1f\n", r.subnodes,
                r.idleMemory.vmRssKb, r.idleMemory.vmHwmKb, r.idleMemory.threads,
                r.loadedMemory.vmRssKb, r.loadedMemory.vmHwmKb, r.secondsToActive);
  }
  if (runs.size() >= 2 && runs.front().ok && runs.back().ok &&
      runs.back().subnodes > runs.front().subnodes) {
    const RunResult& a = runs.front();
    const RunResult& b = runs.back();
    double per = static_cast<double>(b.idleMemory.vmRssKb - a.idleMemory.vmRssKb) /
                 (b.subnodes - a.subnodes);
    double perHwm = static_cast<double>(b.idleMemory.vmHwmKb - a.idleMemory.vmHwmKb) /
                    (b.subnodes - a.subnodes);
    std::printf("  per idle subnode (%d vs %d): VmRSS %+.1f kB, VmHWM %+.1f kB\n", b.subnodes,
                a.subnodes, per, perHwm);
  }

  std::printf("\nvelclient idle CPU     subnodes  seconds  CPU %% of one core  measured from\n");
  for (const RunResult& r : runs) {
    if (!r.ok || r.idleCpuPercent < 0) continue;
    std::printf("                        %8d %8.1f %18.4f  %s\n", r.subnodes, r.idleSeconds,
                r.idleCpuPercent, r.idleCpuFine ? "schedstat (ns)" : "clock ticks");
  }

  std::printf("\nChecks                 subnodes  violations  events  exit code\n");
  for (const RunResult& r : runs) {
    if (!r.ok) continue;
    std::printf("                        %8d %11zu %7zu %10d\n", r.subnodes, r.violations, r.events,
                r.exitCode);
    if (!r.firstViolation.empty())
      std::printf("    first violation: %s\n", r.firstViolation.c_str());
    if (!r.firstEvent.empty()) std::printf("    first event: %s\n", r.firstEvent.c_str());
    if (r.violations > 0 || r.exitCode != 0) allOk = false;
  }
  std::printf("\n%s\n", allOk ? "all answers right, no wire violation, clean exits"
                              : "PROBLEMS were seen: see above");
  // Flushed here: a sanitizer's report at exit ends the process without flushing.
  std::fflush(stdout);
  return allOk ? 0 : 1;
}
