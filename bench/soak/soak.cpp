// bench_soak: velclient under a steady mixed load for a long time while faults are injected,
// watching for growth and for wrong or lost answers. Run through scripts/soak.
//
// Two collectors (build/bin/velclient through the agent simulator, against the client stand-in)
// serve the same 10 subnodes: one runs take actions on a connection of their own (the default),
// the other on the subnode's worker session (VEL_ACTION_NEWCONN=false). For each collector one
// driver thread per subnode sends, in turn and paced, a catalog group, an interval group, a
// filtered request, a take action and a group with a time-out of its own; every answer is
// checked against the seed rows. Every 30 s the next fault of a rotation is injected through
// the stand-in's files: a session lost in the middle of a fetch (sim_faults 'fetchdrop'), a
// statement past its time-out ('delay'), a wrong password (the session is refused and latched
// until the configuration carries the new password), and a database file removed, then
// restored. Errors are expected only on the faulted subnode while its fault lasts and 20 s
// after; anything else that is not the right answer counts as wrong, a request without answer
// as lost.
//
// Every --sample-seconds (10) each collector's VmRSS, threads, open descriptors and the stand-in's
// open sessions (descriptors on the database files) are sampled. The run fails when an answer
// was wrong or lost, a collector did not exit 0 after the shutdown request, the agent saw a
// wire violation, or a figure of the last third of the run exceeds the middle third's by more
// than its allowance (growth without bound).
//
// Options: --minutes N (10), --sample-seconds S (10), --keep.
#include <dirent.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AgentSim.h"
#include "BenchFiles.h"
#include "BenchStats.h"
#include "BenchWorkload.h"

namespace {

using Clock = std::chrono::steady_clock;
using velbench::subnodeName;

constexpr int kSubnodes = 10;
constexpr int kPaceMs = 250;        // between two requests of one driver thread
constexpr int kFaultEverySec = 30;  // a new fault starts this often
constexpr int kToleranceSec = 20;   // errors stay expected this long after a fault ends
constexpr int kAnswerTimeoutMs = 30000;

// Subnodes the faults hit (1-based); take actions skip the password subnode, whose password
// the new-connection collector keeps from its start-up.
constexpr int kDropSubnode = 5, kTimeoutSubnode = 6, kFileSubnode = 9, kPasswordSubnode = 10;

// The three groups have the columns of bench_rows.
std::string refFile() {
  std::string text = "<?xml version=\"1.0\"?>\n<agent_ref>\n";
  for (const char* group : {"SOAK_ROWS", "SOAK_INTERVAL", "SOAK_SLOW"})
    text += std::string("  <custom ag=\"") + group +
            "\"><metric metricName=\"ID\" type=\"string\" size=\"16\"/>"
            "<metric metricName=\"NAME\" type=\"string\" size=\"64\"/>"
            "<metric metricName=\"VAL\" type=\"string\" size=\"32\"/></custom>\n";
  return text + "</agent_ref>\n";
}

std::string catalog() {
  auto group = [](const char* id, const char* extra, const char* marker) {
    return velbench::catalogEntry(
        std::string("\"") + id + "\" simplesql=\"TRUE\" odiversion=\"1\"" + extra,
        std::string("select id, name, val from bench_rows where name != '") + marker +
            "' order by id");
  };
  return velbench::catalogDocument(
      velbench::sessionCatalogEntries() + group("SOAK_ROWS", "", "soak_drop") +
      group("SOAK_INTERVAL", " interval=\"5\" type=\"RDB\"", "soak_interval") +
      group("SOAK_SLOW", " timeout=\"2\"", "soak_slow"));
}

struct Tally {
  std::mutex lock;
  long answered = 0, right = 0, expectedErrors = 0, wrong = 0, lost = 0;
  std::vector<std::string> firstWrong;
  void add(long Tally::*field, const std::string& what = std::string()) {
    std::lock_guard<std::mutex> g(lock);
    ++(this->*field);
    if (!what.empty() && firstWrong.size() < 5) firstWrong.push_back(what);
  }
};

// When errors are expected on each subnode (steady-clock seconds since the start).
class FaultWindows {
 public:
  void open(int subnode, double from, double until) {
    std::lock_guard<std::mutex> g(m_lock);
    m_windows.push_back({subnode, from, until + kToleranceSec});
  }
  bool expected(int subnode, double at) {
    std::lock_guard<std::mutex> g(m_lock);
    for (const Window& w : m_windows)
      if (w.subnode == subnode && at >= w.from && at <= w.until) return true;
    return false;
  }

 private:
  struct Window {
    int subnode;
    double from, until;
  };
  std::mutex m_lock;
  std::vector<Window> m_windows;
};

struct Run {
  std::string buildDir = VEL_BUILD_DIR;
  std::string sourceDir = VEL_SOURCE_DIR;
  velbench::WorkDir dir;
  velbench::WorkDir sim;
  Clock::time_point start = Clock::now();
  FaultWindows windows;
  Tally tally;
  std::atomic<bool> stop{false};
  std::string password = "monitor";  // the password of the password subnode, changed by faults
  explicit Run(bool keep) : dir(keep), sim(keep) {}

  double now() const { return std::chrono::duration<double>(Clock::now() - start).count(); }
  std::string dbFile(int i) const { return sim.file(velbench::databaseFile(i)); }

  bool writeConfig() const {
    std::string text;
    for (int i = 1; i <= kSubnodes; ++i)
      text += "[config " + subnodeName(i) + "]\nVEL_CONN_STR = " + velbench::connectString(i) +
              "\nVEL_CONN_USERID = monitor\nVEL_CONN_PASSWORD = " +
              (i == kPasswordSubnode ? password : std::string("monitor")) + "\n";
    return velbench::writeText(dir.file("vl_soak.cfg"), text);
  }

  bool prepare() {
    if (!dir.ok() || !sim.ok() || !velbench::writeText(dir.file("velsql.xml"), catalog()) ||
        !velbench::writeText(dir.file("ref.xml"), refFile()) ||
        !velbench::writeText(dir.file("vel.atr"), "* no column renames\n") ||
        !velbench::writeText(dir.file("rows.sql"), velbench::kRowsSeed) || !writeConfig())
      return false;
    if (!velbench::makeSeedDatabase(buildDir, sourceDir, dir.file("rows.sql"), dir.file("seed.db"),
                                    dir.file("mkdb.log")))
      return false;
    for (int i = 1; i <= kSubnodes; ++i)
      if (!velbench::copyDatabase(dir.file("seed.db"), dbFile(i))) return false;
    return true;
  }

  velagent::ClientOptions options(const std::string& name, bool newConnection) const {
    velagent::ClientOptions o = velbench::collectorOptions(
        buildDir, dir, sim, dir.file("vl_soak.cfg"), dir.file(name + ".log"));
    o.env.push_back("VEL_PING_INTERVAL=5");
    if (!newConnection) o.env.push_back("VEL_ACTION_NEWCONN=false");
    return o;
  }

  // Runs SQL on a subnode's database file, as an operator or a fault would.
  bool exec(int subnode, const std::string& sql) const {
    sqlite3* db = nullptr;
    bool ok =
        sqlite3_open_v2(dbFile(subnode).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
    if (ok) {
      sqlite3_busy_timeout(db, 5000);
      ok = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    if (!ok)
      std::fprintf(stderr, "soak: %s on DB%d: %s\n", sql.c_str(), subnode, sqlite3_errmsg(db));
    sqlite3_close(db);
    return ok;
  }
};

// ---- Load ------------------------------------------------------------------------------------

// The filtered request: the attribute NAME and a filter on it.
std::vector<velagent::RequestInfoItem> filterItems() {
  std::vector<velagent::RequestInfoItem> items(2);
  items[0].name = "NAME";
  items[0].op = "EQ";
  items[1].name = "_FILTER";
  items[1].value = "((NAME EQ 'row number 7'))";
  items[1].op = "EQ";
  return items;
}

// One driver thread: the request kinds in turn on one subnode of one collector.
void drive(Run* run, velagent::AgentSim* agent, int subnode) {
  const std::string name = subnodeName(subnode);
  for (long turn = 0; !run->stop.load(); ++turn) {
    const double sentAt = run->now();
    bool answered = false, right = false;
    std::string raw;
    int kind = static_cast<int>(turn % 5);
    if (kind == 3 && subnode == kPasswordSubnode) kind = 0;
    if (kind == 3) {
      velagent::TaskResult t = agent->task(
          name, "VELSELECT:select id from bench_rows where id <= 3 order by id", kAnswerTimeoutMs);
      answered = t.ok();
      right = answered && t.rc == 0 && t.outputs.size() == 4 && t.outputs[0].value == "3" &&
              t.outputs[3].value == "ID";
      raw = t.raw;
    } else {
      static const char* const kGroups[] = {"SOAK_ROWS", "SOAK_INTERVAL", "SOAK_ROWS", "",
                                            "SOAK_SLOW"};
      std::vector<velagent::RequestInfoItem> items;
      if (kind == 2) items = filterItems();
      velagent::Answer a = agent->dataRequest(kGroups[kind], name, items, kAnswerTimeoutMs);
      answered = a.ok();
      if (kind == 2)
        right = answered && !a.isError && a.rows.size() == 1 && !a.rows[0].empty() &&
                a.rows[0][0] == "7";
      else
        right = answered && !a.isError && velbench::isSeedRows(a.rows);
      raw = a.raw;
    }
    if (!answered) {
      if (run->stop.load()) break;  // the collector is shutting down
      run->tally.add(&Tally::lost, name + " kind " + std::to_string(kind) + ": no answer");
    } else if (right) {
      run->tally.add(&Tally::answered);
      run->tally.add(&Tally::right);
    } else if (run->windows.expected(subnode, sentAt) ||
               run->windows.expected(subnode, run->now())) {
      run->tally.add(&Tally::answered);
      run->tally.add(&Tally::expectedErrors);
    } else {
      run->tally.add(&Tally::answered);
      run->tally.add(&Tally::wrong, name + ": " + raw.substr(0, 300));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kPaceMs));
  }
}

// ---- Faults ----------------------------------------------------------------------------------

struct FaultCount {
  const char* name;
  int injected = 0;
};

// Sleeps until the run time reaches t, or the run stops; false when it stopped.
bool sleepUntil(Run* run, double t) {
  while (!run->stop.load() && run->now() < t)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return !run->stop.load();
}

// Injects fault `which` and lifts it again; the subnode's errors are expected meanwhile.
void injectFault(Run* run, int which, FaultCount* counts) {
  const double t0 = run->now();
  switch (which) {
    case 0: {  // the session dies after 4 of the 10 rows were fetched; the worker reconnects
      run->windows.open(kDropSubnode, t0, t0 + 5);
      run->exec(kDropSubnode, "INSERT INTO sim_faults VALUES('fetchdrop', 'soak_drop', 4, 0)");
      sleepUntil(run, t0 + 5);
      run->exec(kDropSubnode, "DELETE FROM sim_faults");
      break;
    }
    case 1: {  // the statement with a 2 s time-out takes 6 s: cancelled with 1013
      run->windows.open(kTimeoutSubnode, t0, t0 + 8);
      run->exec(kTimeoutSubnode, "INSERT INTO sim_faults VALUES('delay', 'soak_slow', 0, 6000)");
      sleepUntil(run, t0 + 8);
      run->exec(kTimeoutSubnode, "DELETE FROM sim_faults");
      break;
    }
    case 2: {  // wrong password: refused and latched; then the configuration gets the new one
      run->windows.open(kPasswordSubnode, t0, t0 + 20);
      std::string next = run->password == "monitor" ? "monitor2" : "monitor";
      run->exec(kPasswordSubnode, "UPDATE sim_users SET password = '" + next +
                                      "' WHERE username = 'monitor';"
                                      "INSERT INTO sim_faults VALUES('drop', '', 0, 0)");
      sleepUntil(run, t0 + 3);
      run->exec(kPasswordSubnode, "DELETE FROM sim_faults");
      sleepUntil(run, t0 + 20);
      run->password = next;
      run->writeConfig();
      break;
    }
    default: {  // the database file is removed, then restored from the seed
      run->windows.open(kFileSubnode, t0, t0 + 20);
      run->exec(kFileSubnode, "INSERT INTO sim_faults VALUES('drop', '', 0, 0)");
      for (const char* suffix : {"", "-wal", "-shm"})
        unlink((run->dbFile(kFileSubnode) + suffix).c_str());
      sleepUntil(run, t0 + 20);
      velbench::copyDatabase(run->dir.file("seed.db"), run->dbFile(kFileSubnode));
      break;
    }
  }
  ++counts[which].injected;
}

void faultLoop(Run* run, FaultCount* counts) {
  for (int n = 0; sleepUntil(run, (n + 1) * static_cast<double>(kFaultEverySec)); ++n)
    injectFault(run, n % 4, counts);
}

// ---- Samples ---------------------------------------------------------------------------------

struct Sample {
  double at = 0;
  long rssKb = -1, threads = -1, fds = -1, sessions = -1;
};

// Open descriptors of the process, and those on a simulated database file (.db).
void countDescriptors(pid_t pid, long* fds, long* sessions) {
  *fds = 0;
  *sessions = 0;
  std::string dir = "/proc/" + std::to_string(pid) + "/fd";
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (struct dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    ++*fds;
    char target[4096];
    ssize_t n = readlink((dir + "/" + e->d_name).c_str(), target, sizeof(target) - 1);
    if (n > 3 && std::strncmp(target + n - 3, ".db", 3) == 0) ++*sessions;
  }
  closedir(d);
}

Sample sample(Run* run, pid_t pid) {
  Sample s;
  s.at = run->now();
  velbench::ProcMemory m;
  if (velbench::readProcMemory(pid, &m)) {
    s.rssKb = m.vmRssKb;
    s.threads = m.threads;
  }
  countDescriptors(pid, &s.fds, &s.sessions);
  return s;
}

// The largest value of field over samples [from, to).
long peak(const std::vector<Sample>& v, size_t from, size_t to, long Sample::*field) {
  long m = -1;
  for (size_t i = from; i < to && i < v.size(); ++i) m = std::max(m, v[i].*field);
  return m;
}

// Growth: the last third's peak against the middle third's, with an allowance per figure.
bool grows(const std::vector<Sample>& v, const char* who, std::string* why) {
  if (v.size() < 6) return false;
  const size_t third = v.size() / 3;
  struct Figure {
    const char* name;
    long Sample::*field;
    double factor;
    long slack;
  };
  const Figure figures[] = {{"VmRSS kB", &Sample::rssKb, 1.10, 2048},
                            {"threads", &Sample::threads, 1.0, 2},
                            {"descriptors", &Sample::fds, 1.0, 12},
                            {"sessions", &Sample::sessions, 1.0, 4}};
  bool grew = false;
  for (const Figure& f : figures) {
    long middle = peak(v, third, 2 * third, f.field);
    long last = peak(v, 2 * third, v.size(), f.field);
    if (last > static_cast<long>(middle * f.factor) + f.slack) {
      *why += std::string(who) + ": " + f.name + " grew from " + std::to_string(middle) + " to " +
              std::to_string(last) + "\n";
      grew = true;
    }
  }
  return grew;
}

struct Collector {
  const char* name;
  bool newConnection;
  velagent::AgentSim agent;
  std::vector<Sample> samples;
  int exitCode = -1;
};

// Polls Database_Information until every subnode reports Active.
bool allActive(velagent::AgentSim* agent, int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < end) {
    int active = 0;
    for (const auto& row : agent->dataRequest("Database_Information", "", {}, 5000).rows)
      if (row.size() == 10 && row[5] == "Active") ++active;
    if (active == kSubnodes) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return false;
}

bool parse(int argc, char** argv, double* minutes, int* sampleSeconds, bool* keep) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--keep") {
      *keep = true;
    } else if ((a == "--minutes" || a == "--sample-seconds") && i + 1 < argc) {
      char* end = nullptr;
      double v = std::strtod(argv[++i], &end);
      if (*end != '\0' || v <= 0 || v > 24 * 60) return false;
      if (a == "--minutes")
        *minutes = v;
      else
        *sampleSeconds = std::max(1, static_cast<int>(v));
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  double minutes = 10;
  int sampleSeconds = 10;
  bool keep = false;
  if (!parse(argc, argv, &minutes, &sampleSeconds, &keep)) {
    std::fprintf(stderr, "usage: bench_soak [--minutes N] [--sample-seconds S] [--keep]\n");
    return 2;
  }
  Run run(keep);
  if (!run.prepare()) {
    std::fprintf(stderr, "soak: cannot prepare the files\n");
    return 1;
  }
  Collector collectors[2] = {{"new-connection actions", true, {}, {}, -1},
                             {"worker-session actions", false, {}, {}, -1}};
  for (Collector& c : collectors) {
    if (!c.agent.listen(0) ||
        !c.agent.startClient(
            run.buildDir + "/bin/velclient",
            run.options(c.newConnection ? "newconn" : "worker", c.newConnection)) ||
        !c.agent.waitRegistration(20000)) {
      std::fprintf(stderr, "soak: %s did not start: %s\n", c.name, c.agent.lastError().c_str());
      return 1;
    }
  }
  // The figures start once every subnode of both collectors is connected.
  for (Collector& c : collectors) {
    if (!allActive(&c.agent, 60000)) {
      std::fprintf(stderr, "soak: %s: not every subnode became Active\n", c.name);
      return 1;
    }
  }
  std::printf(
      "soak: %.1f minutes, 2 collectors x %d subnodes, a fault every %d s, samples every "
      "%d s\n%8s  %-24s %9s %8s %6s %9s\n",
      minutes, kSubnodes, kFaultEverySec, sampleSeconds, "s", "collector", "VmRSS kB", "threads",
      "fds", "sessions");
  std::fflush(stdout);
  run.start = Clock::now();
  std::vector<std::thread> threads;
  for (Collector& c : collectors)
    for (int i = 1; i <= kSubnodes; ++i) threads.emplace_back(drive, &run, &c.agent, i);
  FaultCount faults[4] = {{"session lost mid-fetch"},
                          {"statement past time-out"},
                          {"wrong password"},
                          {"database file removed"}};
  std::thread faulter(faultLoop, &run, faults);

  const double end = minutes * 60;
  for (double next = 0; run.now() < end; next += sampleSeconds) {
    while (run.now() < next) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (Collector& c : collectors) {
      Sample s = sample(&run, c.agent.clientPid());
      c.samples.push_back(s);
      std::printf("%8.0f  %-24s %9ld %8ld %6ld %9ld\n", s.at, c.name, s.rssKb, s.threads, s.fds,
                  s.sessions);
    }
    std::fflush(stdout);
  }
  run.stop = true;
  faulter.join();
  for (std::thread& t : threads) t.join();
  bool violations = false;
  for (Collector& c : collectors) {
    c.agent.sendShutdown();
    c.exitCode = c.agent.waitClientExit(30000);
    if (c.exitCode == -1) c.agent.killClient();
    violations = violations || !c.agent.violations().empty();
  }

  std::string why;
  std::printf("\nSummary\n");
  std::printf("  requests answered         %ld (right %ld, errors during faults %ld)\n",
              run.tally.answered, run.tally.right, run.tally.expectedErrors);
  std::printf("  wrong / lost              %ld / %ld\n", run.tally.wrong, run.tally.lost);
  for (const FaultCount& f : faults) std::printf("  fault %-24s %d\n", f.name, f.injected);
  std::printf("  %-24s %18s %18s %14s %14s %5s\n", "collector", "VmRSS kB start/end",
              "threads start/end", "fds start/end", "sessions s/e", "exit");
  for (Collector& c : collectors) {
    const Sample& a = c.samples.front();
    const Sample& b = c.samples.back();
    std::printf("  %-24s %8ld/%-9ld %8ld/%-9ld %6ld/%-7ld %6ld/%-7ld %5d\n", c.name, a.rssKb,
                b.rssKb, a.threads, b.threads, a.fds, b.fds, a.sessions, b.sessions, c.exitCode);
    grows(c.samples, c.name, &why);
    if (c.exitCode != 0)
      why += std::string(c.name) + ": exit code " + std::to_string(c.exitCode) + "\n";
  }
  for (const std::string& w : run.tally.firstWrong) why += "  " + w + "\n";
  if (run.tally.wrong > 0 || run.tally.lost > 0) why += "answers wrong or lost\n";
  if (violations) why += "the agent saw wire violations\n";
  if (run.tally.right == 0) why += "no right answer at all\n";
  if (!why.empty()) {
    std::printf("\nFAILED:\n%s", why.c_str());
    return 1;
  }
  std::printf("\nsoak passed: nothing grew, every answer right, none lost\n");
  return 0;
}
