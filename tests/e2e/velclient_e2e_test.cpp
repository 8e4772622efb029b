// velclient started as the agent starts it, against the Oracle client stand-in: one test per path
// that only the whole process shows (the request loop, the request classes, the worker, the queue
// and the take actions have their unit tests, and the demo's end-to-end test answers groups
// through the whole process): registration order, shutdown during a statement, the start-up exit
// codes and the command line's help.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "HashMap.h"
#include "VelclientRun.h"

namespace {

using velagent::ClientOptions;
using vele2e::VelclientRun;

// The groups every run registers, in order, with their versions.
const std::vector<std::pair<std::string, int>> kFixedGroups = {{"Monitored_Databases", 1},
                                                               {"Database_Information", 1},
                                                               {"Agent_Event", 1},
                                                               {"RDB_Alert_Log_Details", 1},
                                                               {"ASM_Alert_Log_Details", 1},
                                                               {"RDB_Alert_Log_Summary", 1},
                                                               {"ASM_Alert_Log_Summary", 1},
                                                               {"Agent_Remote_Connection", 2},
                                                               {"Agent_Listener", 2},
                                                               {"RDB_Customized_SQL_Summary", 2},
                                                               {"RDB_Customized_SQL_Detail", 2},
                                                               {"DG_Customized_SQL_Summary", 2},
                                                               {"DG_Customized_SQL_Detail", 2},
                                                               {"RDB_Top_SQL", 2},
                                                               {"RDB_SQLTEXT", 2},
                                                               {"DG_Alert_Log_Details", 2},
                                                               {"DG_Alert_Log_Summary", 2},
                                                               {"DG_Status", 2},
                                                               {"RDB_Disk_Space", 2},
                                                               {"DG_Disk_Space", 2},
                                                               {"RDB_Instance_Info", 1},
                                                               {"ASM_Instance", 1},
                                                               {"RDB_Parameter", 2},
                                                               {"ASM_Parameter", 1}};

TEST_F(VelclientRun, RegistersFixedGroupsThenSimpleCatalogEntriesInOrder) {
  startRegistered();
  velagent::Registration reg = m_agent.registration();
  std::vector<std::pair<std::string, int>> expected = kFixedGroups;
  expected.push_back({"TEST_STATS", 3});
  expected.push_back({"TEST_SLOW", 1});
  expected.push_back({"TEST_BROKEN", 1});
  // The registration message lists the groups in the iteration order of the link's group map;
  // putting them into such a map in the order of the calls gives the order on the wire. The
  // simple-SQL entries come with their own versions; TEST_PLAIN (not simple SQL) is left out.
  HashMap map;
  for (const auto& g : expected) map.put(g.first.c_str(), &g);
  std::vector<std::pair<std::string, int>> wireOrder;
  HashMapIterator it = map.iterator();
  while (it.hasNext()) {
    it.next();
    wireOrder.push_back(*static_cast<const std::pair<std::string, int>*>(it.getData()));
  }
  std::vector<std::pair<std::string, int>> got;
  for (const auto& g : reg.groups) got.push_back({g.name, g.version});
  EXPECT_EQ(got, wireOrder);
  EXPECT_TRUE(reg.threaded);
  shutdownCleanly();
}

TEST_F(VelclientRun, ShutdownDuringASlowStatementWaitsForItAndExitsCleanly) {
  startRegistered({"VEL_TRACE=error;database=flow"});
  ASSERT_EQ(waitStatus("PROD", "Active", 8000).size(), 2u);
  std::string id = m_agent.sendDataRequest("TEST_SLOW", "PROD", {});
  ASSERT_FALSE(id.empty());
  // Once the worker runs the slow statement, its answer comes after the link has been closed.
  ASSERT_TRUE(waitForLog("as slow_marker from v$sysstat", 5000)) << clientLog();
  ASSERT_TRUE(m_agent.sendShutdown());
  EXPECT_EQ(m_agent.waitClientExit(15000), 0);
}

TEST_F(VelclientRun, AgentClosingTheSocketEndsTheProcess) {
  startRegistered();
  m_agent.closeClient();
  EXPECT_EQ(m_agent.waitClientExit(15000), 0);
}

TEST_F(VelclientRun, StartUpFailuresExitWithTheirCodes) {
  ClientOptions noBinDir = options();
  for (std::string& e : noBinDir.env)
    if (e.rfind("AGENT_BIN_DIR=", 0) == 0) e = "AGENT_BIN_DIR_UNSET=1";
  EXPECT_EQ(exitCodeWith(noBinDir), 2);

  // A folder without a catalog, then one whose catalog is not XML.
  ClientOptions noCatalog = options({"AGENT_BIN_DIR=" + m_sim.path()});
  EXPECT_EQ(exitCodeWith(noCatalog), 255);
  ASSERT_TRUE(veltest::writeFile(m_sim.file("velsql.xml"), "<<SQLXML>&&</"));
  EXPECT_EQ(exitCodeWith(noCatalog), 255);

  // Missing definitions are noticed after registration: the agent sees the collector register.
  auto without = [this](const std::string& name) {
    ClientOptions o = options();
    for (std::string& e : o.env)
      if (e.rfind(name + "=", 0) == 0) e = name + "_UNSET=1";
    return o;
  };
  EXPECT_EQ(exitCodeWith(without("AGENT_REF_FILE")), 1);
  EXPECT_EQ(exitCodeWith(without("ATTRLIB")), 2);

  ClientOptions noPort = options();
  noPort.setPort = false;
  EXPECT_EQ(exitCodeWith(noPort), 3);

  // Client failures are also told to the agent as start-failure events on a link of their own.
  auto startFailure = [this](const ClientOptions& o, const std::string& text, const char* id) {
    velagent::AgentSim agent;
    EXPECT_EQ(exitCodeWith(o, &agent), 1);
    EXPECT_NE(veltest::readFile(o.logPath).find(text + "\n"), std::string::npos) << text;
    ASSERT_TRUE(agent.registered());
    EXPECT_EQ(agent.registration().groups.size(), 3u);
    EXPECT_TRUE(agent.waitEvents(1, 3000));
    std::vector<velagent::Event> events = agent.events();
    ASSERT_EQ(events.size(), 1u);
    ASSERT_EQ(events.back().rows.size(), 1u);
    EXPECT_EQ(events.back().rows[0],
              (std::vector<std::string>{"1", "Agent", "", id, text, "", events.back().rows[0][6]}));
  };
  ClientOptions noClient = options({"LD_LIBRARY_PATH=" + m_dir.path()});
  noClient.logPath = m_dir.file("noclient.log");
  startFailure(noClient, "Loading Oracle OCI library failed!", "1001");
  ClientOptions noEnvironment = options({"VELSIM_FAIL_ENV=1"});
  noEnvironment.logPath = m_dir.file("noenv.log");
  startFailure(noEnvironment, "Initializing Oracle runtime environment failed!", "1002");

  // A customised catalog that cannot be read leaves the shipped one in service.
  startRegistered({"VEL_CUSTOM_SQLXML=" + m_dir.file("missing.xml")});
  EXPECT_TRUE(m_agent.isRegistered("TEST_STATS"));
  shutdownCleanly();
}

TEST_F(VelclientRun, CommandLineHelp) {
  // (The commands are run through the program by CommandLineRun.)
  std::string out = m_dir.file("help.txt");
  int rc = system(
      ("LD_LIBRARY_PATH=" + veltest::buildDir() + "/sim " + binary() + " -HELP >" + out + " 2>&1")
          .c_str());
  EXPECT_EQ(WEXITSTATUS(rc), 0);
  EXPECT_EQ(veltest::readFile(out).rfind("Usage: velclient [OPTION] [COMMAND]\n", 0), 0u);
}

}  // namespace
