// Oracle Net monitoring costs:
// - ParseTnsNames: a generated tnsnames.ora of 10,000 aliases written as administrators write
//   them (many-line descriptions, comments, address lists), read into an empty list and, in the
//   Refresh case, read again into the list it already filled (every alias refreshed in place);
// - ListenerCycle: one listener check cycle over 200 listeners on closed loopback ports, through
//   the stand-in's attach (each refused at once);
// - ReadsDuringSlowCycle: while the listener thread's cycle waits on 40 listeners that never
//   answer (a full accept queue, 100 ms connect time-out each), the alias thread finishes its
//   cycles and the handlers' reads of both lists (the locks Agent_Listener and
//   Agent_Remote_Connection take) are timed: their worst case must stay far below a test.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "OraNetCheck.h"
#include "Ora_OCIEnv.h"
#include "vel00_OCI_Lib.h"

namespace {

std::string tempPath(const char* name) {
  const char* base = getenv("TMPDIR");
  return std::string(base && *base ? base : "/tmp") + "/" + name + std::to_string(getpid());
}

std::string writeTnsNames(int aliases) {
  std::string text = "# generated tnsnames.ora\n";
  for (int i = 0; i < aliases; ++i) {
    std::string n = std::to_string(i);
    text += "ALIAS_" + n + ", alias_" + n + ".example.com =\n  (DESCRIPTION =   # entry " + n +
            "\n    (ADDRESS_LIST =\n      (ADDRESS = (PROTOCOL = TCP)(HOST = db" + n +
            ".example.com)(PORT = 1521))\n      (ADDRESS = (PROTOCOL = TCP)(HOST = dr" + n +
            ")(PORT = 1522))\n    )\n    (CONNECT_DATA = (SERVICE_NAME = SVC" + n + "))\n  )\n\n";
  }
  std::string path = tempPath("vel_tnsnames_");
  FILE* f = fopen(path.c_str(), "w");
  if (f == nullptr || fwrite(text.data(), 1, text.size(), f) != text.size()) abort();
  fclose(f);
  return path;
}

void ParseTnsNames(benchmark::State& state) {
  const std::string path = writeTnsNames(10000);
  OraNetServiceInfoList kept;
  OraNetConfigTnsNames keptParser(kept);
  keptParser.ReadNetConfigFile(path.c_str(), -1);
  for (auto _ : state) {
    if (state.range(0) == 0) {
      OraNetServiceInfoList list;
      OraNetConfigTnsNames(list).ReadNetConfigFile(path.c_str(), -1);
      if (list.getCount() != 20000) state.SkipWithError("wrong alias count");
    } else {
      keptParser.ReadNetConfigFile(path.c_str(), -1);
    }
  }
  state.counters["aliases/s"] =
      benchmark::Counter(20000.0 * state.iterations(), benchmark::Counter::kIsRate);
  unlink(path.c_str());
}
BENCHMARK(ParseTnsNames)->Arg(0)->Arg(1)->ArgName("refresh")->Unit(benchmark::kMillisecond);

// A listening socket on a free loopback port; its port. backlog 0 and filled: never answers.
int listenLoopback(int backlog, int& fd) {
  fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    abort();
  return ntohs(a.sin_port);
}

// A listener entry of a fake file for each port.
void fill(OraListenerInfoList& list, const std::vector<int>& ports) {
  for (size_t i = 0; i < ports.size(); ++i) {
    OraListenerInfo info;
    info.m_listenerName.assign(("L" + std::to_string(i)).c_str());
    info.m_fileName.assign("bench");
    info.m_address.assign(
        ("(PROTOCOL=TCP)(HOST=127.0.0.1)(PORT=" + std::to_string(ports[i]) + ")").c_str());
    list.add(info);
  }
}

std::vector<int> closedPorts(int n) {
  std::vector<int> ports;
  std::vector<int> fds;
  for (int i = 0; i < n; ++i) {
    int fd;
    ports.push_back(listenLoopback(1, fd));
    fds.push_back(fd);
  }
  for (int fd : fds) close(fd);
  return ports;
}

void ListenerCycle(benchmark::State& state) {
  std::atomic<bool> stop{false};
  checkListenersParm parm;
  parm.m_pShutdown = &stop;
  fill(parm.m_list, closedPorts(200));
  OraNetFileInfoList files;
  OraNetConfigListeners parser(parm.m_list);
  for (auto _ : state) velRunListenerCycle(parm, files, parser);
  int down = 0;
  parm.m_list.forEach([&](const OraListenerInfo& i) { down += i.m_status.m_errorCode == 12541; });
  if (down != 200) state.SkipWithError("not every listener was found down");
  state.counters["checks/s"] =
      benchmark::Counter(200.0 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(ListenerCycle)->Unit(benchmark::kMillisecond);

void ReadsDuringSlowCycle(benchmark::State& state) {
  setenv("VELSIM_CONNECT_TIMEOUT_MS", "100", 1);
  int fullFd;
  const int fullPort = listenLoopback(0, fullFd);
  std::vector<int> ports(40, fullPort);
  std::atomic<bool> stop{false};
  checkListenersParm listeners;
  listeners.m_pShutdown = &stop;
  fill(listeners.m_list, ports);
  checkTNSConnectionsParm aliases;
  aliases.m_pShutdown = &stop;
  const std::string tns = writeTnsNames(50);
  OraNetConfigTnsNames tnsParser(aliases.m_list);
  OraNetFileInfoList tnsFiles;
  tnsFiles.add(new OraNetFileInfo(tns.c_str()));
  for (auto _ : state) {
    OraNetFileInfoList none;
    OraNetConfigListeners parser(listeners.m_list);
    std::atomic<bool> cycleDone{false};
    const auto start = std::chrono::steady_clock::now();
    std::thread cycle([&] {
      velRunListenerCycle(listeners, none, parser);
      cycleDone = true;
    });
    double worstUs = 0;
    int aliasCycles = 0;
    double aliasCycleMs = 0;
    while (!cycleDone) {
      const auto a = std::chrono::steady_clock::now();
      velRunAliasCycle(aliases, tnsFiles, tnsParser);
      aliasCycleMs =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count();
      ++aliasCycles;
      for (int r = 0; r < 20; ++r) {
        const auto t = std::chrono::steady_clock::now();
        size_t n = 0;
        {
          VelMutexHandler lock(listeners.m_mutex);
          listeners.m_list.forEach([&](const OraListenerInfo& i) { n += i.m_address.length(); });
        }
        {
          VelMutexHandler lock(aliases.m_mutex);
          aliases.m_list.forEach([&](const OraNetServiceInfo& i) { n += i.m_name.length(); });
        }
        benchmark::DoNotOptimize(n);
        const double us =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t).count();
        if (us > worstUs) worstUs = us;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
    cycle.join();
    state.counters["listener_cycle_ms"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    state.counters["alias_cycles_meanwhile"] = aliasCycles;
    state.counters["alias_cycle_ms"] = aliasCycleMs;
    state.counters["worst_read_us"] = worstUs;
  }
  close(fullFd);
  unlink(tns.c_str());
}
BENCHMARK(ReadsDuringSlowCycle)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("VEL_TRACE", "none", 1);
  unsetenv("VEL_ORACLE_HOME");
  if (!vel00_OCI_Lib::Init() || !Ora_OCIEnv::Init()) {
    fprintf(stderr, "bench_oranet: the Oracle client stand-in must be on LD_LIBRARY_PATH\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Ora_OCIEnv::Terminate();
  return 0;
}
