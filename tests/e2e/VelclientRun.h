// The fixture of the end-to-end tests that start velclient the way the agent does: a folder with
// the catalog, reference file, vel.atr and instance configuration, simulated databases made from
// the stand-in's seeds, and the agent simulator listening. Test files change the files through
// the virtual hooks.
#ifndef VEL_TESTS_E2E_VELCLIENTRUN_H
#define VEL_TESTS_E2E_VELCLIENTRUN_H

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "AgentSim.h"
#include "TestSupport.h"

namespace vele2e {

using Rows = std::vector<std::vector<std::string>>;

// One catalog entry: attrs are the SQLInfo attributes after id= (the id's quotes included);
// clusterSql, when given, is the text for clustered databases.
inline std::string sqlInfo(const std::string& attrs, const std::string& sql,
                           const std::string& clusterSql = std::string()) {
  std::string text =
      "  <SQLInfo id=" + attrs + "><SQL dbversion=\"101\"><SQLText>" + sql + "</SQLText>";
  if (!clusterSql.empty()) text += "<ClusterText>" + clusterSql + "</ClusterText>";
  return text + "</SQL></SQLInfo>\n";
}

// The entries every session needs: the start-up statement and the instance statements.
inline std::string baseCatalogEntries() {
  return sqlInfo("\"DatabaseInformation\"", veltest::kDatabaseInformationBlock) +
         sqlInfo("\"All_Instance_Name\"",
                 "select inst_id, instance_name from gv$instance order by inst_id") +
         sqlInfo("\"Current_Instance_Info\"", "select instance_name, host_name from v$instance") +
         sqlInfo("\"RDB_Instance_Info\"",
                 "select inst_id, instance_number, instance_name, host_name, version, "
                 "startup_time, status from gv$instance order by inst_id");
}

inline std::string catalogDocument(const std::string& entries) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SQLXML>\n" + entries + "</SQLXML>\n";
}

// How often what occurs in text.
inline size_t countOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// A configuration section for a connection.
inline std::string configSection(const std::string& name, const std::string& connect) {
  return "[config " + name + "]\nVEL_CONN_STR = " + connect +
         "\nVEL_CONN_USERID = monitor\nVEL_CONN_PASSWORD = monitor\n";
}

class VelclientRun : public ::testing::Test {
 protected:
  // The files; the defaults serve the single-instance seed and one unreachable database.
  virtual std::string catalogText() const;
  virtual std::string refText() const;
  virtual std::string configText() const {
    return configSection("PROD", "dbhost1:1521/PROD") + configSection("DOWN", "nowhere:1521/DOWN");
  }
  // Makes the simulated databases in simDir().
  virtual void makeDatabases() {
    // The statements marked slow_marker take 1.5 s longer, to keep the worker busy.
    ASSERT_TRUE(
        veltest::writeFile(m_dir.file("slow.sql"),
                           "INSERT INTO sim_faults VALUES('delay', 'slow_marker', 0, 1500);\n"));
    makeDatabase("single.sql", "dbhost1_1521_PROD.db", m_dir.file("slow.sql"));
  }

  void SetUp() override {
    ASSERT_TRUE(veltest::writeFile(m_dir.file("velsql.xml"), catalogText()));
    ASSERT_TRUE(veltest::writeFile(m_dir.file("ref.xml"), refText()));
    ASSERT_TRUE(veltest::writeFile(m_dir.file("vel.atr"), "* no column renames\n"));
    ASSERT_TRUE(veltest::writeFile(m_dir.file("vl_inst1.cfg"), configText()));
    makeDatabases();
    ASSERT_TRUE(m_agent.listen(0));
  }

  // Builds simDir()/file from a seed of sim/oracle/seeds, with an extra SQL file applied.
  void makeDatabase(const std::string& seed, const std::string& file,
                    const std::string& extra = std::string()) {
    ASSERT_TRUE(veltest::makeSimDatabase(seed, m_sim.file(file), extra)) << seed << " " << file;
  }

  // The environment the agent gives the collector; extra entries replace or add.
  velagent::ClientOptions options(const std::vector<std::string>& extra = {}) const {
    velagent::ClientOptions o;
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
    // Sanitizer settings of the test run reach the collector too.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS", "VEL_TRACE"})
      if (const char* value = getenv(name)) o.env.push_back(std::string(name) + "=" + value);
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
  std::string clientLog() const { return veltest::readFile(m_dir.file("client.log")); }

  void startRegistered(const std::vector<std::string>& extra = {}) {
    ASSERT_TRUE(m_agent.startClient(binary(), options(extra))) << m_agent.lastError();
    ASSERT_TRUE(m_agent.waitRegistration(10000)) << clientLog();
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

  // Polls the collector's log (its standard error, where the trace goes) until text shows there
  // the given number of times.
  bool waitForLog(const std::string& text, int timeoutMs, size_t times = 1) const {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (countOf(clientLog(), text) < times) {
      if (std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }

  static bool hasStatus(const Rows& rows, const std::string& subnode, const std::string& status) {
    for (const auto& row : rows)
      if (row.size() == 10 && row[0] == subnode && row[5] == status) return true;
    return false;
  }

  // Shutdown request; the collector must exit 0.
  void shutdownCleanly() {
    ASSERT_TRUE(m_agent.sendShutdown());
    EXPECT_EQ(m_agent.waitClientExit(15000), 0) << clientLog();
    EXPECT_TRUE(m_agent.violations().empty());
  }

  // Runs the program to its end with the given environment, served by an agent of its own so
  // that connections of runs that were never accepted stay apart; its exit code. The agent may
  // be given to look at what the program sent.
  int exitCodeWith(const velagent::ClientOptions& o, velagent::AgentSim* agent = nullptr) {
    velagent::AgentSim local;
    velagent::AgentSim& a = agent != nullptr ? *agent : local;
    EXPECT_TRUE(a.listen(0));
    EXPECT_TRUE(a.startClient(binary(), o)) << a.lastError();
    if (agent != nullptr) a.waitRegistration(5000);
    int code = a.waitClientExit(10000);
    if (code == -1) a.killClient();
    return code;
  }

  veltest::TempDir m_dir;
  veltest::TempDir m_sim;
  velagent::AgentSim m_agent;
};

inline std::string VelclientRun::catalogText() const {
  return catalogDocument(
      baseCatalogEntries() +
      sqlInfo("\"TEST_STATS\" simplesql=\"TRUE\" odiversion=\"3\"",
              "select name, value from v$sysstat order by name") +
      sqlInfo("\"TEST_PLAIN\" simplesql=\"false\"", "select name from v$sysstat") +
      sqlInfo("\"TEST_SLOW\" simplesql=\"true\" odiversion=\"1\"",
              "select name as slow_marker from v$sysstat") +
      sqlInfo("\"TEST_BROKEN\" simplesql=\"true\" odiversion=\"1\"",
              "select name from no_such_table"));
}

inline std::string VelclientRun::refText() const {
  return "<?xml version=\"1.0\"?>\n<agent_ref>\n"
         "  <custom ag=\"TEST_STATS\"><metric metricName=\"NAME\" type=\"string\" size=\"64\"/>"
         "<metric metricName=\"VALUE\" type=\"string\" size=\"64\"/>"
         "<metric metricName=\"DBINSTNAME\" type=\"string\" size=\"64\"/></custom>\n"
         "  <custom ag=\"TEST_SLOW\"><metric metricName=\"SLOW_MARKER\" type=\"string\"/>"
         "</custom>\n"
         "  <custom ag=\"TEST_BROKEN\"><metric metricName=\"NAME\" type=\"string\"/></custom>\n"
         "</agent_ref>\n";
}

}  // namespace vele2e

#endif  // VEL_TESTS_E2E_VELCLIENTRUN_H
