// Oracle Net monitoring through velagent: the collector reads the listener.ora and tnsnames.ora
// of TNS_ADMIN, checks every entry against real loopback ports (through the stand-in's attach or
// a fake tnsping) and answers Agent_Listener and Agent_Remote_Connection; intervals of 0 switch
// the checks off; the command line lists what the parser reads.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <functional>

#include "VelclientRun.h"

namespace vele2e {
namespace {

class OraNetRun : public VelclientRun {
 protected:
  void SetUp() override {
    VelclientRun::SetUp();
    const std::string port = std::to_string(m_up.port());
    makeDatabase("single.sql", "127.0.0.1_" + port + "_PROD.db");
    const std::string at = "(PROTOCOL=TCP)(HOST=127.0.0.1)(PORT=";
    ASSERT_TRUE(veltest::writeFile(
        m_net.file("listener.ora"),
        "LISTENER_UP =\n  (DESCRIPTION =\n    (ADDRESS = " + at + port + "))   # up\n  )\n" +
            "listener_flap = (description = (address = " + at + std::to_string(m_flap.port()) +
            ")))\nLISTENER_DOWN=(DESCRIPTION=(ADDRESS=" + at + std::to_string(m_down) + ")))\n"));
    ASSERT_TRUE(veltest::writeFile(
        m_net.file("tnsnames.ora"),
        "GOOD = (DESCRIPTION = (ADDRESS = " + at + port +
            "))\n  (CONNECT_DATA = (SERVICE_NAME = PROD)))\nBAD, BAD.example.com =\n"
            "  (DESCRIPTION = (ADDRESS = " +
            at + std::to_string(m_down) + ")))\n"));
  }

  std::vector<std::string> env(std::vector<std::string> extra) const {
    for (const char* e : {"VEL_LISTENER_PING_INTERVAL=1", "VEL_TNS_PING_INTERVAL=1",
                          "VELSIM_CONNECT_TIMEOUT_MS=500", "VEL_TNSPING_TIMEOUT=5"})
      extra.insert(extra.begin(), e);
    extra.push_back("TNS_ADMIN=" + m_net.path());
    return extra;
  }

  // Polls group until ok(rows) holds (at most timeoutMs); the last rows.
  Rows waitRows(const std::string& group, const std::function<bool(const Rows&)>& ok,
                int timeoutMs = 8000) {
    Rows rows;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
      rows = m_agent.dataRequest(group, "PROD", {}, 3000).rows;
      if (ok(rows)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < end);
    return rows;
  }

  // A predicate: the row named name (column nameAt) has the state, and the code when given.
  static std::function<bool(const Rows&)> stateIs(
      std::vector<std::pair<std::string, std::string>> want, size_t nameAt, size_t stateAt) {
    return [=](const Rows& rows) {
      for (const auto& w : want) {
        bool found = false;
        for (const auto& r : rows)
          if (r.size() > stateAt && r[nameAt] == w.first && r[stateAt] == w.second) found = true;
        if (!found) return false;
      }
      return true;
    };
  }

  static const std::vector<std::string>* row(const Rows& rows, size_t at, const std::string& name) {
    for (const auto& r : rows)
      if (r.size() > at && r[at] == name) return &r;
    return nullptr;
  }

  veltest::TempDir m_net;
  veltest::LoopbackListener m_up;
  veltest::LoopbackListener m_flap;
  int m_down = veltest::closedLoopbackPort();
};

TEST_F(OraNetRun, OciChecksFollowTheListenersAndReachTheAliases) {
  startRegistered(env({}));
  Rows rows = waitRows(
      "Agent_Listener",
      stateIs({{"LISTENER_UP", "1"}, {"listener_flap", "1"}, {"LISTENER_DOWN", "2"}}, 1, 4));
  ASSERT_EQ(rows.size(), 3u) << clientLog();
  const auto* down = row(rows, 1, "LISTENER_DOWN");
  ASSERT_NE(down, nullptr);
  EXPECT_EQ((*down)[0], m_net.file("listener.ora"));
  EXPECT_EQ((*down)[2], "TCP");
  EXPECT_EQ((*down)[5], "12541");
  EXPECT_EQ((*down)[6], "ORA-12541: TNS:no listener");
  EXPECT_EQ((*down)[7].size(), 16u);
  EXPECT_EQ((*down)[8], "127.0.0.1");
  EXPECT_EQ((*down)[9], std::to_string(m_down));

  // The listener goes down and comes back: its state follows within a cycle or two.
  m_flap.close();
  rows = waitRows("Agent_Listener", stateIs({{"listener_flap", "2"}}, 1, 4), 5000);
  EXPECT_TRUE(stateIs({{"listener_flap", "2"}}, 1, 4)(rows)) << clientLog();
  ASSERT_TRUE(m_flap.reopen());
  rows = waitRows("Agent_Listener", stateIs({{"listener_flap", "1"}}, 1, 4), 5000);
  EXPECT_TRUE(stateIs({{"listener_flap", "1"}}, 1, 4)(rows)) << clientLog();

  rows = waitRows("Agent_Remote_Connection",
                  stateIs({{"GOOD", "1"}, {"BAD", "2"}, {"BAD.example.com", "2"}}, 1, 3));
  ASSERT_EQ(rows.size(), 3u) << clientLog();
  ASSERT_NE(row(rows, 1, "BAD"), nullptr);
  EXPECT_EQ((*row(rows, 1, "BAD"))[4], "12541");
  EXPECT_EQ((*row(rows, 1, "GOOD"))[5], "");
  shutdownCleanly();
}

TEST_F(OraNetRun, TnspingOfTheOracleHomeChecksTheListeners) {
  veltest::TempDir home;
  mkdir(home.file("bin").c_str(), 0755);
  ASSERT_TRUE(
      veltest::writeFile(home.file("bin/tnsping"),
                         veltest::readFile(veltest::sourceDir() + "/tests/data/oranet/tnsping")));
  chmod(home.file("bin/tnsping").c_str(), 0755);
  startRegistered(env({"VEL_ORACLE_HOME=" + home.path()}));
  Rows rows =
      waitRows("Agent_Listener", stateIs({{"LISTENER_UP", "1"}, {"LISTENER_DOWN", "2"}}, 1, 4));
  ASSERT_NE(row(rows, 1, "LISTENER_DOWN"), nullptr) << clientLog();
  EXPECT_EQ((*row(rows, 1, "LISTENER_UP"))[6], "OK (0 msec)");
  EXPECT_EQ((*row(rows, 1, "LISTENER_DOWN"))[5], "12541");
  EXPECT_EQ((*row(rows, 1, "LISTENER_DOWN"))[6], "TNS-12541: TNS:no listener");
  shutdownCleanly();
}

TEST_F(OraNetRun, IntervalsOfZeroSwitchTheChecksOff) {
  startRegistered(env({"VEL_LISTENER_PING_INTERVAL=0", "VEL_TNS_PING_INTERVAL=0"}));
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (clientLog().find("VEL_TNS_PING_INTERVAL is less than 1") == std::string::npos &&
         std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_NE(clientLog().find("VEL_LISTENER_PING_INTERVAL is less than 1"), std::string::npos);
  EXPECT_TRUE(m_agent.dataRequest("Agent_Listener", "PROD", {}, 3000).rows.empty());
  EXPECT_TRUE(m_agent.dataRequest("Agent_Remote_Connection", "PROD", {}, 3000).rows.empty());
  shutdownCleanly();
}

// The command line: output and exit code of a run of velclient with arguments.
std::pair<int, std::string> runCommand(const std::string& args) {
  std::string command = "LD_LIBRARY_PATH=" + veltest::buildDir() + "/sim " + veltest::buildDir() +
                        "/bin/velclient " + args + " 2>/dev/null";
  FILE* p = popen(command.c_str(), "r");
  std::string out;
  char buffer[4096];
  size_t n;
  while (p != nullptr && (n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  int status = p != nullptr ? pclose(p) : -1;
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(OraNetCommandLine, ListsWhatTheParserReads) {
  const std::string data = veltest::sourceDir() + "/tests/data/oranet/";
  struct Case {
    std::string args, first, last;
  } cases[] = {
      {"-parsetns " + data + "tnsnames.ora",
       "Alias: PROD, descriptor: (DESCRIPTION = ", "6 aliases in " + data + "tnsnames.ora"},
      {"-parselistener " + data + "listener.ora",
       "Listener: LISTENER, protocol: TCP, host: dbhost1.example.com, port: 1521, address: "
       "(PROTOCOL=TCP)(HOST=dbhost1.example.com)(PORT=1521)",
       "6 listener addresses in " + data + "listener.ora"},
      {"-parsetns " + data + "missing.ora",
       "Can't read file " + data + "missing.ora: No such file or directory", ""},
      {"-parselistener " + data, "Can't read file " + data + ": not a regular file", ""},
      {"-PARSETNS", "Invalid option for parsetns", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    auto [code, out] = runCommand(c.args);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out.compare(0, c.first.size(), c.first), 0) << out;
    EXPECT_TRUE(c.last.empty() || out.find("\n" + c.last + "\n") != std::string::npos) << out;
  }
}

}  // namespace
}  // namespace vele2e
