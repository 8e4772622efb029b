// Oracle Net monitoring through velagent: the collector reads the listener.ora and tnsnames.ora
// of TNS_ADMIN, checks every entry against real loopback ports through the stand-in's attach (the
// tnsping of an Oracle home is checked by OraNetLive) and answers Agent_Listener and
// Agent_Remote_Connection; intervals of 0 switch the checks off; the command line lists what the
// parser reads.
#include <sys/wait.h>

#include <cstdio>
#include <map>

#include "VelclientRun.h"

namespace vele2e {
namespace {

using ByName = std::map<std::string, std::vector<std::string>>;

class OraNetRun : public VelclientRun {
 protected:
  void SetUp() override {
    VelclientRun::SetUp();
    const std::string port = std::to_string(m_up.port()),
                      at = "(PROTOCOL=TCP)(HOST=127.0.0.1)(PORT=";
    makeDatabase("single.sql", "127.0.0.1_" + port + "_PROD.db");
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

  void start(std::vector<std::string> extra) {
    for (const char* e : {"VEL_LISTENER_PING_INTERVAL=1", "VEL_TNS_PING_INTERVAL=1",
                          "VELSIM_CONNECT_TIMEOUT_MS=500"})
      extra.insert(extra.begin(), e);
    extra.push_back("TNS_ADMIN=" + m_net.path());
    startRegistered(extra);
  }

  // Polls group (rows keyed by their second value) until every name in want shows its state
  // (the value at stateAt); the last rows.
  ByName waitStates(const std::string& group, size_t stateAt, const ByName& want) {
    ByName rows;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    for (bool ok = false; !ok && std::chrono::steady_clock::now() < end;) {
      rows.clear();
      for (const auto& r : m_agent.dataRequest(group, "PROD", {}, 3000).rows)
        if (r.size() > stateAt) rows[r[1]] = r;
      ok = true;
      for (const auto& w : want)
        ok = ok && rows.count(w.first) && rows[w.first][stateAt] == w.second[0];
      if (!ok) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return rows;
  }

  veltest::TempDir m_net;
  veltest::LoopbackListener m_up;
  veltest::LoopbackListener m_flap;
  int m_down = veltest::closedLoopbackPort();
};

TEST_F(OraNetRun, OciChecksFollowTheListenersAndReachTheAliases) {
  start({});
  ByName rows =
      waitStates("Agent_Listener", 4,
                 {{"LISTENER_UP", {"1"}}, {"listener_flap", {"1"}}, {"LISTENER_DOWN", {"2"}}});
  ASSERT_EQ(rows.size(), 3u) << clientLog();
  const std::string down = std::to_string(m_down);
  EXPECT_EQ(rows["LISTENER_DOWN"],
            (std::vector<std::string>{m_net.file("listener.ora"), "LISTENER_DOWN", "TCP",
                                      "(PROTOCOL=TCP)(HOST=127.0.0.1)(PORT=" + down + ")", "2",
                                      "12541", "ORA-12541: TNS:no listener",
                                      rows["LISTENER_DOWN"][7], "127.0.0.1", down, "", ""}));
  EXPECT_EQ(rows["LISTENER_DOWN"][7].size(), 16u);

  // The listener goes down and comes back: its state follows within a cycle or two.
  m_flap.close();
  EXPECT_EQ(waitStates("Agent_Listener", 4, {{"listener_flap", {"2"}}})["listener_flap"][4], "2");
  ASSERT_TRUE(m_flap.reopen());
  EXPECT_EQ(waitStates("Agent_Listener", 4, {{"listener_flap", {"1"}}})["listener_flap"][4], "1");

  rows = waitStates("Agent_Remote_Connection", 3,
                    {{"GOOD", {"1"}}, {"BAD", {"2"}}, {"BAD.example.com", {"2"}}});
  ASSERT_EQ(rows.size(), 3u) << clientLog();
  EXPECT_EQ(rows["BAD"][4], "12541");
  EXPECT_EQ(rows["GOOD"][5], "");
  shutdownCleanly();
}

TEST_F(OraNetRun, IntervalsOfZeroSwitchTheChecksOff) {
  start({"VEL_LISTENER_PING_INTERVAL=0", "VEL_TNS_PING_INTERVAL=0"});
  // The two checks run on threads of their own: each says so in its own time.
  EXPECT_TRUE(waitForLog("VEL_TNS_PING_INTERVAL is less than 1", 5000)) << clientLog();
  EXPECT_TRUE(waitForLog("VEL_LISTENER_PING_INTERVAL is less than 1", 5000)) << clientLog();
  EXPECT_TRUE(m_agent.dataRequest("Agent_Listener", "PROD", {}, 3000).rows.empty());
  EXPECT_TRUE(m_agent.dataRequest("Agent_Remote_Connection", "PROD", {}, 3000).rows.empty());
  shutdownCleanly();
}

TEST(OraNetCommandLine, ListsWhatTheParserReads) {
  const std::string data = veltest::sourceDir() + "/tests/data/oranet/";
  const std::pair<std::string, std::string> cases[] = {
      {"-parsetns " + data + "tnsnames.ora",
       "Alias: PROD, descriptor: (DESCRIPTION = (ADDRESS = (PROTOCOL = TCP)(HOST = dbhost1)"},
      {"-parsetns " + data + "tnsnames.ora", "\n6 aliases in " + data + "tnsnames.ora\n"},
      {"-parselistener " + data + "listener.ora",
       "\nListener: LISTENER_NMP, protocol: NMP, host: WINHOST, port: -1, address: "
       "(PROTOCOL=NMP)(SERVER=WINHOST)(PIPE=dbpipe)\n"},
      {"-parselistener " + data + "listener.ora", "\n6 listener addresses in "},
      {"-parsetns " + data + "missing.ora",
       "Can't read file " + data + "missing.ora: No such file or directory"},
      {"-parselistener " + data, "Can't read file " + data + ": not a regular file"},
      {"-PARSETNS", "Invalid option for parsetns"},
  };
  for (const auto& c : cases) {
    std::string command = "LD_LIBRARY_PATH=" + veltest::buildDir() + "/sim " + veltest::buildDir() +
                          "/bin/velclient " + c.first + " 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    EXPECT_EQ(pclose(p), 0) << c.first;  // exit code 0
    EXPECT_NE(out.find(c.second), std::string::npos) << c.first << "\n" << out;
  }
}

}  // namespace
}  // namespace vele2e
