// velclient started as the agent starts it, against the Oracle client stand-in: start-up and
// registration, the in-memory groups, a catalog group through a worker, the queue limit, take
// actions in new-connection mode, shutdown and the start-up exit codes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "AgentSim.h"
#include "TestSupport.h"

namespace {

using velagent::AgentSim;
using velagent::ClientOptions;
using Rows = std::vector<std::vector<std::string>>;

// The source tree, from this file's own path (tests/e2e/<file>).
std::string sourceDir() {
  std::string file = __FILE__;
  return file.substr(0, file.rfind("/tests/e2e/"));
}

const char kDatabaseInformation[] =
    "BEGIN\n"
    "  SELECT DECODE(SUBSTR(i.instance_name, 1, 1), '+', 'ASM', 'RDB'),\n"
    "         NVL((SELECT name FROM v$database), i.instance_name), i.version_full,\n"
    "         TO_NUMBER(SUBSTR(i.version, 1, 2)) * 10, '64',\n"
    "         DECODE(i.parallel, 'YES', 'true', 'false'),\n"
    "         NVL((SELECT database_role FROM v$database), 'PRIMARY'), i.instance_name, "
    "i.host_name\n"
    "    INTO :db_type, :db_name, :version, :shortversion, :bitversion, :iscluster, :db_role,\n"
    "         :dbinstance_name, :dbhostname\n"
    "    FROM v$instance i;\n"
    "END;";

std::string sqlInfo(const std::string& attrs, const std::string& sql) {
  return "  <SQLInfo id=" + attrs + "><SQL dbversion=\"101\"><SQLText>" + sql +
         "</SQLText></SQL></SQLInfo>\n";
}

std::string catalogText() {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SQLXML>\n" +
         sqlInfo("\"DatabaseInformation\"", kDatabaseInformation) +
         sqlInfo("\"All_Instance_Name\"",
                 "select inst_id, instance_name from gv$instance order by inst_id") +
         sqlInfo("\"Current_Instance_Info\"", "select instance_name, host_name from v$instance") +
         sqlInfo("\"TEST_STATS\" simplesql=\"TRUE\" odiversion=\"3\"",
                 "select name, value from v$sysstat order by name") +
         sqlInfo("\"TEST_PLAIN\" simplesql=\"false\"", "select name from v$sysstat") +
         sqlInfo("\"TEST_SLOW\" simplesql=\"true\" odiversion=\"1\"",
                 "select name as slow_marker from v$sysstat") +
         "</SQLXML>\n";
}

const char kRefFile[] =
    "<?xml version=\"1.0\"?>\n<agent_ref>\n"
    "  <custom ag=\"TEST_STATS\"><metric metricName=\"NAME\" type=\"string\" size=\"64\"/>"
    "<metric metricName=\"VALUE\" type=\"string\" size=\"64\"/>"
    "<metric metricName=\"DBINSTNAME\" type=\"string\" size=\"64\"/></custom>\n"
    "  <custom ag=\"TEST_SLOW\"><metric metricName=\"SLOW_MARKER\" type=\"string\"/></custom>\n"
    "</agent_ref>\n";

const char kConfig[] =
    "[config PROD]\n"
    "VEL_CONN_STR = dbhost1:1521/PROD\n"
    "VEL_CONN_USERID = monitor\n"
    "VEL_CONN_PASSWORD = monitor\n"
    "[config DOWN]\n"
    "VEL_CONN_STR = nowhere:1521/DOWN\n"
    "VEL_CONN_USERID = monitor\n"
    "VEL_CONN_PASSWORD = monitor\n";

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

class VelclientRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(veltest::writeFile(m_dir.file("velsql.xml"), catalogText()));
    ASSERT_TRUE(veltest::writeFile(m_dir.file("ref.xml"), kRefFile));
    ASSERT_TRUE(veltest::writeFile(m_dir.file("vel.atr"), "* no column renames\n"));
    ASSERT_TRUE(veltest::writeFile(m_dir.file("vl_inst1.cfg"), kConfig));
    // The statement of TEST_SLOW takes 1.5 s longer, to keep the worker busy.
    ASSERT_TRUE(
        veltest::writeFile(m_dir.file("slow.sql"),
                           "INSERT INTO sim_faults VALUES('delay', 'slow_marker', 0, 1500);\n"));
    std::string mkdb = veltest::buildDir() + "/sim/velsim-mkdb " + sourceDir() +
                       "/sim/oracle/seeds/single.sql " + m_dir.file("slow.sql") + " " +
                       m_sim.file("dbhost1_1521_PROD.db") + " >/dev/null 2>&1";
    ASSERT_EQ(system(mkdb.c_str()), 0) << mkdb;
    ASSERT_TRUE(m_agent.listen(0));
  }

  // The environment the agent gives the collector; extra entries replace or add.
  ClientOptions options(const std::vector<std::string>& extra = {}) {
    ClientOptions o;
    o.inheritEnv = false;
    o.logPath = m_dir.file("client.log");
    o.env = {"LD_LIBRARY_PATH=" + veltest::buildDir() + "/sim",
             "VELSIM_DIR=" + m_sim.path(),
             "AGENT_BIN_DIR=" + m_dir.path(),
             "AGENT_REF_FILE=" + m_dir.file("ref.xml"),
             "ATTRLIB=" + m_dir.path(),
             "VEL_CONFIG_FILE=" + m_dir.file("vl_inst1.cfg"),
             "VEL_INSTANCE_NAME=inst1",
             "NOVAG_HOSTNAME=hostA",
             "VEL_SUBNODE_INCLUDING_AGENTNAME=NO",
             "VEL_SUBNODE_INCLUDING_HOSTNAME=NO",
             "VEL_PING_INTERVAL=1",
             "PATH=/usr/bin:/bin"};
    for (const std::string& e : extra) {
      std::string name = e.substr(0, e.find('='));
      bool replaced = false;
      for (std::string& have : o.env)
        if (have.compare(0, name.size() + 1, name + "=") == 0) {
          have = e;
          replaced = true;
        }
      if (!replaced) o.env.push_back(e);
    }
    return o;
  }

  std::string binary() const { return veltest::buildDir() + "/bin/velclient"; }

  void startRegistered(const std::vector<std::string>& extra = {}) {
    ASSERT_TRUE(m_agent.startClient(binary(), options(extra))) << m_agent.lastError();
    ASSERT_TRUE(m_agent.waitRegistration(10000)) << veltest::readFile(m_dir.file("client.log"));
  }

  // Polls Database_Information until the subnode reports status; its rows then.
  Rows waitStatus(const std::string& subnode, const std::string& status, int timeoutMs) {
    Rows rows;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
      rows = m_agent.dataRequest("Database_Information", "", {}, 3000).rows;
      for (const auto& row : rows)
        if (row.size() == 10 && row[0] == subnode && row[5] == status) return rows;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < end);
    return rows;
  }

  // Shutdown request; the collector must exit 0.
  void shutdownCleanly() {
    ASSERT_TRUE(m_agent.sendShutdown());
    EXPECT_EQ(m_agent.waitClientExit(15000), 0);
    EXPECT_TRUE(m_agent.violations().empty());
  }

  // Runs the program to its end with the given environment; its exit code.
  int exitCodeWith(ClientOptions o) {
    EXPECT_TRUE(m_agent.startClient(binary(), o)) << m_agent.lastError();
    int code = m_agent.waitClientExit(10000);
    if (code == -1) m_agent.killClient();
    return code;
  }

  veltest::TempDir m_dir;
  veltest::TempDir m_sim;
  AgentSim m_agent;
};

TEST_F(VelclientRun, RegistersFixedGroupsThenSimpleCatalogEntriesInOrder) {
  startRegistered();
  velagent::Registration reg = m_agent.registration();
  std::vector<std::pair<std::string, int>> expected = kFixedGroups;
  expected.push_back({"TEST_STATS", 3});
  expected.push_back({"TEST_SLOW", 1});
  // The link lists the registered groups in its own order, so the set is compared; the simple-SQL
  // entries come with their own versions and TEST_PLAIN (not simple SQL) is left out.
  using GroupSet = std::set<std::pair<std::string, int>>;
  GroupSet got;
  for (const auto& g : reg.groups) got.insert({g.name, g.version});
  EXPECT_EQ(reg.groups.size(), expected.size());
  EXPECT_EQ(got, GroupSet(expected.begin(), expected.end()));
  EXPECT_TRUE(reg.threaded);
  shutdownCleanly();
}

TEST_F(VelclientRun, AnswersInMemoryGroupsAndCatalogGroupThroughWorker) {
  startRegistered();
  Rows info = waitStatus("PROD", "Active", 8000);
  ASSERT_EQ(info.size(), 2u);
  // Configuration order; the unreachable database is listed with its status only.
  EXPECT_EQ(info[0], (std::vector<std::string>{"PROD", "PROD", info[0][2], "RDB", "64", "Active",
                                               "", "PRIMARY", info[0][8], info[0][9]}));
  EXPECT_FALSE(info[0][2].empty());
  EXPECT_EQ(info[1][0], "DOWN");
  EXPECT_EQ(info[1][5], "Inactive");
  EXPECT_EQ(info[1][1], "");

  velagent::Answer monitored = m_agent.dataRequest("Monitored_Databases", "", {}, 5000);
  ASSERT_TRUE(monitored.ok());
  EXPECT_EQ(monitored.rows,
            (Rows{{"Reserved", "%ZUL.OracleAgentRDB", "RDB", "PROD", "06.31.00.01", "PROD"}}));

  velagent::Answer stats = m_agent.dataRequest("TEST_STATS", "PROD", {}, 8000);
  ASSERT_TRUE(stats.ok());
  ASSERT_FALSE(stats.rows.empty());
  for (const auto& row : stats.rows) {
    ASSERT_EQ(row.size(), 3u);
    EXPECT_FALSE(row[0].empty());
    EXPECT_EQ(row[2], info[0][9]);  // the instance column, from the session
  }

  // Groups of features that are not running are answered empty at once.
  for (const char* group : {"RDB_Alert_Log_Summary", "Agent_Listener", "Agent_Remote_Connection"}) {
    velagent::Answer empty = m_agent.dataRequest(group, "PROD", {}, 3000);
    EXPECT_TRUE(empty.ok()) << group;
    EXPECT_TRUE(empty.rows.empty()) << group;
  }
  // A subnode without a queue gets an empty answer.
  velagent::Answer unknown = m_agent.dataRequest("TEST_STATS", "NOSUCH", {}, 3000);
  EXPECT_TRUE(unknown.ok());
  EXPECT_TRUE(unknown.rows.empty());
  shutdownCleanly();
}

TEST_F(VelclientRun, FullQueueRefusesWithEventAndEmptyAnswer) {
  startRegistered({"VEL_REQUEST_QUEUE_MAX_LENGTH=0"});
  ASSERT_EQ(waitStatus("PROD", "Active", 8000).size(), 2u);
  // The slow statement holds the worker while the others arrive: the queue admits one at a
  // time, so at least one of them is refused.
  std::vector<std::string> ids;
  ids.push_back(m_agent.sendDataRequest("TEST_SLOW", "PROD", {}));
  for (int i = 0; i < 4; ++i) ids.push_back(m_agent.sendDataRequest("TEST_STATS", "PROD", {}));
  int empty = 0;
  for (const std::string& id : ids) {
    velagent::Answer a = m_agent.waitAnswer(id, 10000);
    ASSERT_TRUE(a.ok()) << id;
    if (a.rows.empty()) ++empty;
  }
  EXPECT_GE(empty, 1);
  ASSERT_TRUE(m_agent.waitEvents(1, 3000));
  bool found = false;
  for (const velagent::Event& e : m_agent.events()) {
    if (e.rows.empty()) continue;
    const auto& row = e.rows[0];
    for (const std::string& v : row)
      if (v.find("because current list length exceeds the max list length:0") != std::string::npos)
        found = true;
  }
  EXPECT_TRUE(found);
  shutdownCleanly();
}

TEST_F(VelclientRun, TakeActionsOnNewConnectionsAndRefusals) {
  startRegistered({"VEL_SELECT_ACTION_MAXROW=3"});
  velagent::TaskResult select =
      m_agent.task("PROD", "VELSELECT:select name, value from v$sysstat order by name;;", 8000);
  ASSERT_TRUE(select.ok());
  EXPECT_EQ(select.rc, 0);
  ASSERT_EQ(select.outputs.size(), 4u);  // the row limit, then the column names
  EXPECT_EQ(select.outputs[3].value, "NAME / VALUE");
  // Reverse fetch order: the last fetched row first.
  EXPECT_GT(select.outputs[0].value, select.outputs[2].value);
  EXPECT_NE(select.outputs[0].value.find(" / "), std::string::npos);

  velagent::TaskResult plsql = m_agent.task("PROD", "VELPLSQL:BEGIN NULL; END;", 8000);
  ASSERT_TRUE(plsql.ok());
  EXPECT_EQ(plsql.rc, 0);
  ASSERT_EQ(plsql.outputs.size(), 1u);
  EXPECT_EQ(plsql.outputs[0].value, "");

  velagent::TaskResult failing =
      m_agent.task("PROD", "VELSELECT:select x from no_such_table", 8000);
  ASSERT_TRUE(failing.ok());
  EXPECT_EQ(failing.rc, 942);
  ASSERT_EQ(failing.outputs.size(), 1u);
  EXPECT_NE(failing.outputs[0].value.find("ORA-00942"), std::string::npos);

  velagent::TaskResult down = m_agent.task("DOWN", "VELSELECT:select 1 from dual", 8000);
  ASSERT_TRUE(down.ok());
  EXPECT_EQ(down.rc, -2);
  ASSERT_EQ(down.outputs.size(), 1u);
  EXPECT_EQ(down.outputs[0].value, "Can not connect to the database");

  velagent::TaskResult missing = m_agent.task("NOSUCH", "VELSELECT:select 1 from dual", 8000);
  ASSERT_TRUE(missing.ok());
  EXPECT_EQ(missing.rc, -2);
  ASSERT_EQ(missing.outputs.size(), 1u);
  EXPECT_EQ(missing.outputs[0].value, "Can not get the subnode item for NOSUCH");

  for (const char* action : {"velselect:select 1 from dual", "RUNSQL:select 1 from dual"}) {
    velagent::TaskResult refused = m_agent.task("PROD", action, 3000);
    ASSERT_TRUE(refused.ok()) << action;
    EXPECT_EQ(refused.rc, -1);
    ASSERT_EQ(refused.outputs.size(), 1u);
    EXPECT_EQ(refused.outputs[0].value,
              std::string("Error, this action ") + action + " can't be processed");
  }
  shutdownCleanly();
}

TEST_F(VelclientRun, ShutdownDuringASlowStatementWaitsForItAndExitsCleanly) {
  startRegistered();
  ASSERT_EQ(waitStatus("PROD", "Active", 8000).size(), 2u);
  std::string id = m_agent.sendDataRequest("TEST_SLOW", "PROD", {});
  ASSERT_FALSE(id.empty());
  // The worker looks at its queue at least once a second: by now it runs the slow statement, and
  // its answer comes after the link has been closed.
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
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

  ClientOptions noClient = options({"LD_LIBRARY_PATH=" + m_dir.path()});
  noClient.logPath = m_dir.file("noclient.log");
  EXPECT_EQ(exitCodeWith(noClient), 1);
  EXPECT_NE(veltest::readFile(noClient.logPath).find("Loading Oracle OCI library failed!\n"),
            std::string::npos);
}

TEST_F(VelclientRun, CommandLineHelpAndUnavailableCommands) {
  std::string env = "LD_LIBRARY_PATH=" + veltest::buildDir() + "/sim ";
  std::string out = m_dir.file("help.txt");
  int rc = system((env + binary() + " -HELP >" + out + " 2>&1").c_str());
  EXPECT_EQ(WEXITSTATUS(rc), 0);
  EXPECT_NE(veltest::readFile(out).find("Usage"), std::string::npos);
  rc = system((env + binary() + " sql >" + out + " 2>&1").c_str());
  EXPECT_EQ(WEXITSTATUS(rc), 2);
  EXPECT_NE(veltest::readFile(out).find("not available"), std::string::npos);
}

}  // namespace
