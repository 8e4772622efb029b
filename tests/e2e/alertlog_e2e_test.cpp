// Alert logs end to end (velagent, velclient, the stand-in, a log in a temporary folder): appended
// lines become events once each and in order, a restart reports only what was written since, a
// rotated log is read from its start, the summary counts, the feature switched off answers empty.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "VelclientRun.h"

namespace {

const char kCycle[] = "Entry runAlertLogCycle";

class AlertLogRun : public vele2e::VelclientRun {
 protected:
  // The shipped catalog and reference file: they hold the instance statement of the alert logs.
  std::string catalogText() const override {
    return veltest::readFile(veltest::sourceDir() + "/etc/velsql.xml");
  }
  std::string refText() const override {
    return veltest::readFile(veltest::sourceDir() + "/etc/vel_ref.xml");
  }
  void makeDatabases() override {
    ASSERT_TRUE(
        veltest::writeFile(m_dir.file("velmsgid.properties"),
                           veltest::readFile(veltest::sourceDir() + "/etc/velmsgid.properties")));
    ASSERT_TRUE(veltest::writeFile(m_dir.file("dest.sql"), "UPDATE \"gv$diag_info\" SET value = '" +
                                                               m_logs.path() +
                                                               "' WHERE name = 'Diag Trace';\n"));
    makeDatabase("single.sql", "dbhost1_1521_PROD.db", m_dir.file("dest.sql"));
  }
  std::vector<std::string> env(const char* interval = "300") const {
    return {"ORMONDHOME=" + m_dir.path(), "VEL_ALERTLOG_TEST_INTERVAL_MS=200",
            std::string("VEL_LOG_INTERVAL=") + interval,
            "VEL_TRACE=error;AlertLogThread=detail,flow"};
  }
  void append(const std::string& text) { std::ofstream(m_log, std::ios::app) << text; }
  std::string configText() const override {
    return vele2e::configSection("PROD", "dbhost1:1521/PROD");
  }
  // The identifiers of the events (all alert-log events here) agent has received, waiting for
  // count of them.
  static std::vector<std::string> msgids(velagent::AgentSim& agent, size_t count) {
    agent.waitEvents(count, 10000);
    std::vector<std::string> out;
    for (const auto& e : agent.events()) out.push_back(e.rows.at(0).at(4));
    return out;
  }

  veltest::TempDir m_logs;
  std::string m_log = m_logs.file("alert_PROD.log");
};

TEST_F(AlertLogRun, AppendedLinesBecomeEventsOnceAcrossARestartAndARotation) {
  startRegistered(env());
  append(
      "2026-12-02T10:15:30.123456+00:00\nORA-00600: internal error code\nCheckpoint not "
      "complete\nORA-1555 caused by SQL statement below\n");
  EXPECT_EQ(msgids(m_agent, 2), (std::vector<std::string>{"ORA-00600", "ORA-1555"}));
  append("ORA-00060: Deadlock detected.\n");
  EXPECT_EQ(msgids(m_agent, 3).size(), 3u);
  vele2e::Rows summary = m_agent.dataRequest("RDB_Alert_Log_Summary", "PROD", {}, 3000).rows;
  ASSERT_EQ(summary.size(), 1u);
  // Level 1: ORA-600; level 2: ORA-1555 and ORA-60.
  EXPECT_EQ(std::vector<std::string>(&summary[0][1], &summary[0][5]),
            (std::vector<std::string>{m_log, "Yes", "1", "2"}));
  shutdownCleanly();

  // Written while velclient was stopped: the restarted one reports that line only; then the log
  // is rotated and the new, shorter log is read from its start.
  append("ORA-04031: unable to allocate 4096 bytes of shared memory\n");
  velagent::AgentSim second;
  ASSERT_TRUE(second.listen(0));
  ASSERT_TRUE(second.startClient(binary(), options(env()))) << second.lastError();
  ASSERT_TRUE(second.waitRegistration(10000)) << clientLog();
  EXPECT_EQ(msgids(second, 1), std::vector<std::string>{"ORA-04031"});
  ASSERT_EQ(std::rename(m_log.c_str(), (m_log + ".1").c_str()), 0);
  append("ORA-7445: exception encountered\n");
  EXPECT_EQ(msgids(second, 2), (std::vector<std::string>{"ORA-04031", "ORA-7445"}));
  // Three more cycles report nothing again.
  const size_t cycles = vele2e::countOf(clientLog(), kCycle);
  ASSERT_TRUE(waitForLog(kCycle, 10000, cycles + 3)) << clientLog();
  EXPECT_EQ(msgids(second, 0).size(), 2u);
  ASSERT_TRUE(second.sendShutdown());
  EXPECT_EQ(second.waitClientExit(15000), 0) << clientLog();
}

TEST_F(AlertLogRun, FeatureSwitchedOffAnswersEmpty) {
  append("ORA-00600: internal error code\n");
  startRegistered(env("59"));
  ASSERT_TRUE(hasStatus(waitStatus("PROD", "Active", 10000), "PROD", "Active"));
  ASSERT_TRUE(waitForLog("Alert log search feature is disabled.", 5000)) << clientLog();
  velagent::Answer summary = m_agent.dataRequest("RDB_Alert_Log_Summary", "PROD", {}, 3000);
  EXPECT_TRUE(summary.ok());
  EXPECT_TRUE(summary.rows.empty());
  EXPECT_TRUE(m_agent.events().empty());
  shutdownCleanly();
}

}  // namespace
