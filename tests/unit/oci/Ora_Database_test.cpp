// Database sessions against the Oracle client stand-in: log-on and database information, the
// wrong-credentials latch, connection failures and their events, fetching each type, NULLs, the
// column limit, call time-outs, which errors keep or rebuild the session, number and date text,
// filters run for real, privilege checks with the event limit, and sessions on several threads.
#include "Ora_Database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "AgentSim.h"
#include "LinkedAgent.h"
#include "OciTestSupport.h"
#include "Ora_FilterList.h"
#include "Ora_StmtTable.h"
#include "VelConfigFile.h"
#include "Vel_PostEvent.h"
#include "cp_api.h"

using ocitest::makeCatalog;
using ocitest::SimDatabases;

namespace {

[[maybe_unused]] ::testing::Environment* const kOciEnvironment =
    ::testing::AddGlobalTestEnvironment(new ocitest::OciEnvironment);

const char kSingle[] = "dbhost1:1521/PROD";
const char kRac[] = "rac-scan:1521/RACDB";
const char kAsm[] = "dbhost1:1521/+ASM";
const char kStandby[] = "sbhost1:1521/PRODSB";

using EventPeer = veltest::LinkedAgent;
using veltest::eventRow;

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dbs.make("single", kSingle);
    m_catalog = makeCatalog();
  }
  std::unique_ptr<Ora_Database> session(const char* connect = kSingle, const char* user = "monitor",
                                        const char* password = "monitor",
                                        const char* role = nullptr) {
    return std::make_unique<Ora_Database>(m_catalog, connect, user, password, role, "PROD",
                                          "PROD:dbhost1");
  }
  // A session on the single-instance seed, connected (its failure is in error).
  std::unique_ptr<Ora_Database> connected() {
    auto db = session();
    EXPECT_TRUE(db->Connect(error, false)) << error.getMessage();
    return db;
  }
  // Runs a query into a table; returns whether it succeeded.
  bool query(Ora_Database& db, const char* sql, Ora_AutoStmtTable& table, Ora_ErrorMsg& error,
             int timeout = 10, long start = 0) {
    Ora_AutoCommand command(sql);
    return db.executeTableCmd(command, &table, error, start ? start : time(nullptr), timeout);
  }
  std::vector<std::string> row(const Ora_AutoStmtTable& table, unsigned index) {
    std::vector<const char*> values(table.getColumnCount());
    std::vector<std::string> out;
    if (!table.getRow(index, values.data(), static_cast<int>(values.size()))) return out;
    for (const char* v : values) out.push_back(v ? v : "<null>");
    return out;
  }

  SimDatabases m_dbs;
  OraXMLSQLData m_catalog;
  Ora_ErrorMsg error;
};

TEST_F(DatabaseTest, ConnectsAndLearnsTheDatabaseOfEachSeed) {
  m_dbs.make("rac", kRac);
  m_dbs.make("asm", kAsm);
  m_dbs.make("standby", kStandby);
  // info: type|name|cluster|role|instance (then version and short version).
  const struct {
    const char *connect, *user, *password, *role, *info;
  } cases[] = {
      {kSingle, "monitor", "monitor", nullptr, "RDB|PROD|0|PRIMARY|PROD"},
      {kRac, "monitor", "monitor", nullptr, "RDB|RACDB|1|PRIMARY|RACDB1"},
      {kAsm, "sys", "oracle", "SYSASM", "ASM|+ASM|0|PRIMARY|+ASM"},
      // A physical standby carries its primary's database name.
      {kStandby, "monitor", "monitor", nullptr, "RDB|PROD|0|PHYSICAL STANDBY|PRODSB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.connect);
    auto db = session(c.connect, c.user, c.password, c.role);
    Ora_ErrorMsg error;
    ASSERT_TRUE(db->Connect(error, false)) << error.getMessage();
    const Ora_DatabaseInfo& i = db->getDatabaseInfo();
    EXPECT_EQ(std::string(i.m_type.c_str()) + "|" + i.m_name.c_str() + "|" +
                  std::to_string(i.m_isCluster) + "|" + i.m_role.c_str() + "|" +
                  i.m_instanceName.c_str() + "|" + i.m_version.c_str() + "|" +
                  std::to_string(i.m_shortVersion),
              std::string(c.info) + "|19.3.0.0.0|190");
    EXPECT_TRUE(db->isConnected());
    EXPECT_TRUE(db->Disconnect());
    EXPECT_FALSE(db->isConnected());
  }
}

TEST_F(DatabaseTest, FailedLogOnsReportTheirErrors) {
  const struct {
    const char *connect, *user, *password, *role;
    int code;
  } cases[] = {
      {"nohost:1521/NONE", "monitor", "monitor", nullptr, 12541},
      {kSingle, "scott", "tiger", nullptr, 28000},
      {kSingle, "monitor", "monitor", "SYSDBA", 1031},
      {kSingle, "sys", "oracle", "SYSASM", 15000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    auto db = session(c.connect, c.user, c.password, c.role);
    Ora_ErrorMsg error;
    EXPECT_FALSE(db->Connect(error, false));
    EXPECT_EQ(error.getErrorCode(), c.code) << error.getMessage();
    EXPECT_FALSE(db->isConnected());
    EXPECT_FALSE(db->isWrongCredentials());
  }
}

TEST_F(DatabaseTest, WrongPasswordIsReportedOnceUntilTheConfigurationChanges) {
  veltest::TempDir configDir;
  std::string config = configDir.file("vl_test.cfg");
  auto writeConfig = [&](const char* password) {
    ASSERT_TRUE(veltest::writeFile(
        config, std::string("[default]\nVEL_CONN_USERID = monitor\n"
                            "VEL_CONN_PASSWORD = ") +
                    password + "\n[config PROD]\nVEL_CONN_STR = " + kSingle + "\n"));
  };
  writeConfig("wrong");
  veltest::ScopedEnv configEnv("VEL_CONFIG_FILE", config.c_str());
  VelConfigFile file;
  ASSERT_EQ(file.getInstances().getCount(), 1u);
  std::string subnode = (*file.getInstances().begin())->m_subnodeName.c_str();

  EventPeer peer;
  Ora_Database db(m_catalog, kSingle, "monitor", "wrong", nullptr, "PROD", subnode.c_str());
  Ora_ErrorMsg error;
  EXPECT_FALSE(db.Connect(error, true));
  EXPECT_EQ(error.getErrorCode(), 1017);
  EXPECT_TRUE(db.isWrongCredentials());
  auto events = peer.events(1);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(
      eventRow(events[0]),
      (std::vector<std::string>{
          "1", "Oracle", "PROD", "1017", "ORA-01017: invalid username/password; logon denied ",
          "Connecting database", "Make sure the username and the password are correct."}));

  // Later attempts do not touch the database and post nothing while the password is unchanged.
  for (int i = 0; i < 2; ++i) {
    Ora_ErrorMsg again;
    EXPECT_FALSE(db.Connect(again, true));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(peer.agent().eventCount(), 1u);

  writeConfig("monitor");
  Ora_ErrorMsg fixed;
  EXPECT_TRUE(db.Connect(fixed, true)) << fixed.getMessage();
  EXPECT_FALSE(db.isWrongCredentials());
}

TEST_F(DatabaseTest, ConnectionFailureEventsCarryTheirSuggestions) {
  EventPeer peer;
  {
    // The listener is down: the table suggestion.
    auto db = session("nohost:1521/NONE");
    Ora_ErrorMsg error;
    EXPECT_FALSE(db->Connect(error, true));
  }
  {
    // SYS without a role failing for another reason: the role suggestion.
    auto db = session("nohost:1521/NONE", "SYS", "oracle", nullptr);
    Ora_ErrorMsg error;
    EXPECT_FALSE(db->Connect(error, true));
  }
  auto events = peer.events(2);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(eventRow(events[0])[3], "12541");
  EXPECT_EQ(eventRow(events[0])[6], "Make sure the Oracle listener is started.");
  EXPECT_EQ(eventRow(events[1])[6], "The role of the user for this connection may be not right.");
}

TEST_F(DatabaseTest, FetchesEachTypeAndNullsAsText) {
  m_dbs.exec(kSingle,
             "CREATE TABLE typed(txt VARCHAR2(10), num NUMBER, big NUMBER, frac NUMBER, "
             "day DATE, raw_col RAW(8));"
             "INSERT INTO typed VALUES('first', 42, 1E30, 12.345, '2026-12-03 21:57:55', 'AB');"
             "INSERT INTO typed VALUES(NULL, NULL, -5, -1.5, NULL, NULL);");
  auto db = connected();
  Ora_AutoStmtTable table;
  ASSERT_TRUE(query(*db, "select txt, num, big, frac, day, raw_col from typed order by num desc",
                    table, error))
      << error.getMessage();
  ASSERT_EQ(table.getRowCount(), 2u);
  EXPECT_EQ(table.getColumnCount(), 6u);
  EXPECT_STREQ(table.getColumnName(0), "TXT");
  // Numbers come out as rounded integers; beyond 64 bits as "-1"; dates as the agent timestamp.
  EXPECT_EQ(row(table, 0),
            (std::vector<std::string>{"first", "42", "-1", "12", "1261203215755000", "AB"}));
  // NULL text after a non-NULL row is empty, never the previous value; a NULL number is "-1".
  EXPECT_EQ(row(table, 1), (std::vector<std::string>{"", "-1", "-5", "-2", "", ""}));
}

TEST_F(DatabaseTest, NumberTextWithShiftAndNulls) {
  auto db = connected();
  // Each value with shift 0, 2 and -1: times 10^shift, rounded half away from zero, "-1" beyond
  // 64 bits; a NULL gives -1 scaled by the shift, or the null text. {value, shift 0, 2, -1}:
  const char* const cases[][4] = {
      {"12.345", "12", "1235", "1"},
      {"NULL", "n/a", "-100", "-1"},
      {"0", "0", "0", "0"},
      {"0.5", "1", "50", "0"},
      {"-0.5", "-1", "-50", "0"},
      {"99.5", "100", "9950", "10"},
      {"-1234.5678", "-1235", "-123457", "-123"},
      {"0.0001", "0", "0", "0"},
      {"1E18", "1000000000000000000", "-1", "100000000000000000"},
      {"9223372036854775807", "9223372036854775807", "-1", "922337203685477581"},
      {"-9223372036854775808", "-9223372036854775808", "-1", "-922337203685477581"},
      {"1E19", "-1", "-1", "1000000000000000000"},
      {"1E30", "-1", "-1", "-1"},
  };
  std::string sql = "CREATE TABLE nums(id NUMBER, n NUMBER);";
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
    sql += "INSERT INTO nums VALUES(" + std::to_string(i) + ", " + cases[i][0] + ");";
  m_dbs.exec(kSingle, sql);
  struct Capture : Ora_AutoStmtTable {
    std::vector<std::vector<std::string>> rows;
    void onFetch(OCIError* errorHandle) override {
      Ora_DefInfo* def = m_pDefineArray->getDefInfo(1);
      rows.push_back({def->getWXAString(errorHandle, 0, "n/a"),
                      def->getWXAString(errorHandle, 2, nullptr),
                      def->getWXAString(errorHandle, -1, nullptr)});
    }
  } capture;
  Ora_AutoCommand command("select id, n from nums order by id");
  ASSERT_TRUE(db->executeTableCmd(command, &capture, error, time(nullptr), 10))
      << error.getMessage();
  ASSERT_EQ(capture.rows.size(), sizeof cases / sizeof cases[0]);
  for (size_t i = 0; i < capture.rows.size(); ++i) {
    EXPECT_EQ(capture.rows[i], (std::vector<std::string>{cases[i][1], cases[i][2], cases[i][3]}))
        << cases[i][0];
  }

  char buffer[32] = "untouched";
  getOCINumberString(nullptr, buffer, sizeof buffer, Ora_OCIEnv::m_pOCIError, 0);
  EXPECT_STREQ(buffer, "untouched");
  OCIDate date{1999, 1, 1, {0, 0, 0}};
  char small[20] = "keep";
  getOCIDateString(&date, small, sizeof small);
  EXPECT_STREQ(small, "keep");
  char text[21];
  getOCIDateString(&date, text, sizeof text);
  EXPECT_STREQ(text, "0990101000000000");
}

TEST_F(DatabaseTest, FullWidthTextLongAsTextAndBlobNotFetched) {
  // Values of the full 4000 bytes, in ASCII and in two-byte UTF-8 characters, come back whole;
  // a LONG comes back as text (its first 4000 bytes); a BLOB is not fetched and stays empty.
  std::string ascii(4000, 'x'), utf8, longText(5000, 'l');
  for (int i = 0; i < 2000; ++i) utf8 += "\xc3\xa9";
  m_dbs.exec(kSingle,
             "CREATE TABLE texts(a VARCHAR2(4000), b VARCHAR2(4000), memo LONG, pic BLOB);"
             "INSERT INTO texts VALUES('" +
                 ascii + "', '" + utf8 + "', '" + longText + "', x'01');");
  auto db = connected();
  Ora_AutoStmtTable table;
  ASSERT_TRUE(query(*db, "select a, b, memo, pic from texts", table, error)) << error.getMessage();
  EXPECT_EQ(row(table, 0), (std::vector<std::string>{ascii, utf8, longText.substr(0, 4000), ""}));
}

TEST_F(DatabaseTest, NonBlockingModeIsSetOnlyWhenItMustChange) {
  // The client toggles the mode with every set: an unpaired set would leave it off.
  auto db = connected();
  auto mode = [&] {
    OCIServer* server = nullptr;
    ub1 on = 9;
    vel00_OCI_Lib::pMyOCIAttrGet(db->getServiceContext(), OCI_HTYPE_SVCCTX, &server, nullptr,
                                 OCI_ATTR_SERVER, db->getErrorHandle());
    vel00_OCI_Lib::pMyOCIAttrGet(server, OCI_HTYPE_SERVER, &on, nullptr, OCI_ATTR_NONBLOCKING_MODE,
                                 db->getErrorHandle());
    return on;
  };
  EXPECT_EQ(mode(), 1);
  db->setNoneBlockMode(true);
  (void)db->checkPrivileges(false);  // blocking for the probes, non-blocking again afterwards
  EXPECT_EQ(mode(), 1);
  db->setNoneBlockMode(false);
  db->setNoneBlockMode(false);
  EXPECT_EQ(mode(), 0);
}

TEST_F(DatabaseTest, OnlyTheFirst128ColumnsAreFetched) {
  std::string create = "CREATE TABLE wide(";
  std::string insert = "INSERT INTO wide VALUES(";
  for (int i = 0; i < 130; ++i) {
    create += (i ? ", c" : "c") + std::to_string(i) + " NUMBER";
    insert += (i ? ", " : "") + std::to_string(i);
  }
  m_dbs.exec(kSingle, create + ");" + insert + ");");
  auto db = connected();
  Ora_AutoStmtTable table;
  ASSERT_TRUE(query(*db, "select * from wide", table, error)) << error.getMessage();
  EXPECT_EQ(table.getColumnCount(), 128u);
  auto values = row(table, 0);
  ASSERT_EQ(values.size(), 128u);
  EXPECT_EQ(values[127], "127");
}

TEST_F(DatabaseTest, StatementErrorsKeepTheSessionOthersRebuildIt) {
  auto db = connected();
  Ora_AutoStmtTable table;
  EXPECT_FALSE(query(*db, "select * from no_such_table", table, error));
  EXPECT_EQ(error.getErrorCode(), 942);
  EXPECT_TRUE(db->isConnected());

  // A dropped session fails with 3113; the session is rebuilt at once, so the next statement
  // works although the old session would answer 3114.
  m_dbs.exec(kSingle, "INSERT INTO sim_faults VALUES('drop', 'drop_marker', 0, 0);");
  Ora_AutoStmtTable dropped;
  EXPECT_FALSE(query(*db, "select 'drop_marker' from dual", dropped, error));
  EXPECT_EQ(error.getErrorCode(), 3113);
  EXPECT_TRUE(db->isConnected());
  Ora_AutoStmtTable after;
  EXPECT_TRUE(query(*db, "select 1 from dual", after, error)) << error.getMessage();
  EXPECT_EQ(after.getRowCount(), 1u);

  // Lost in the middle of a fetch: the rows fetched before stay, the session is rebuilt.
  m_dbs.exec(kSingle,
             "DELETE FROM sim_faults;"
             "INSERT INTO sim_faults VALUES('fetchdrop', 'fetch_marker', 2, 0);");
  Ora_AutoStmtTable half;
  EXPECT_FALSE(query(*db,
                     "with r(i) as (select 1 from dual union all select i + 1 from r where i < 5) "
                     "select i, 'fetch_marker' from r",
                     half, error));
  EXPECT_EQ(error.getErrorCode(), 3113);
  EXPECT_EQ(half.getRowCount(), 2u);
  EXPECT_TRUE(db->isConnected());
  Ora_AutoStmtTable again;
  EXPECT_TRUE(query(*db, "select 1 from dual", again, error)) << error.getMessage();
}

TEST_F(DatabaseTest, FastStatementsAnswerAtOnceOnesPastTheirTimeOutAreCancelled) {
  m_dbs.exec(kSingle,
             "INSERT INTO sim_faults VALUES('delay', 'slow_marker', 0, 20000);"
             "INSERT INTO sim_faults VALUES('delay', 'quick_marker', 0, 30);");
  auto db = connected();
  // A statement the server answers in 30 ms is not held for a 100 ms poll: the first polls are
  // short. The best of three runs keeps a busy machine's scheduling out of the figure.
  long best = 1000000;
  for (int i = 0; i < 3; ++i) {
    Ora_AutoStmtTable quick;
    auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(query(*db, "select 'quick_marker' from dual", quick, error)) << error.getMessage();
    best = std::min(best, veltest::msSince(asked));
  }
  EXPECT_LT(best, 100);
  // The budget counts from the request's start: a request that started 4 seconds ago with a
  // 5-second budget has about one second left.
  auto begin = std::chrono::steady_clock::now();
  Ora_AutoStmtTable table;
  EXPECT_FALSE(query(*db, "select 'slow_marker' from dual", table, error, 5, time(nullptr) - 4));
  double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  EXPECT_EQ(error.getErrorCode(), 1013);
  EXPECT_STREQ(error.getMessage(), "ORA-01013: user requested cancel of current operation");
  // Cancelled within about a second of the budget (the clock counts whole seconds).
  EXPECT_LT(waited, 3.0);
  EXPECT_TRUE(db->isConnected()) << "1013 is not a statement error: the session was rebuilt";
  m_dbs.exec(kSingle, "DELETE FROM sim_faults;");
  Ora_AutoStmtTable after;
  EXPECT_TRUE(query(*db, "select 1 from dual", after, error)) << error.getMessage();
}

TEST_F(DatabaseTest, FiltersRunAsBindsInTheirOrder) {
  m_dbs.exec(kSingle,
             "CREATE TABLE items(id NUMBER, name VARCHAR2(20), status VARCHAR2(10));"
             "INSERT INTO items VALUES(1, 'alpha', 'OPEN');"
             "INSERT INTO items VALUES(6, 'X', 'OPEN');"
             "INSERT INTO items VALUES(7, 'beta', 'CLOSED');"
             "INSERT INTO items VALUES(8, 'gamma', 'OPEN');");
  auto db = connected();
  auto run = [&](const char* filter, int maxRows) {
    RequestInfo f{const_cast<char*>("_FILTER"), const_cast<char*>(filter), const_cast<char*>("EQ"),
                  const_cast<char*>("AND"), nullptr};
    RequestInfo status{const_cast<char*>("STATUS"), const_cast<char*>("x"), const_cast<char*>("EQ"),
                       const_cast<char*>("AND"), &f};
    RequestInfo name{const_cast<char*>("NAME"), const_cast<char*>("x"), const_cast<char*>("EQ"),
                     const_cast<char*>("AND"), &status};
    RequestInfo id{const_cast<char*>("ID"), const_cast<char*>("x"), const_cast<char*>("EQ"),
                   const_cast<char*>("AND"), &name};
    Ora_SimpleFilterCommand command("select id, name, status from items order by id", maxRows, &id);
    Ora_AutoStmtTable table;
    EXPECT_TRUE(db->executeTableCmd(command, &table, error, time(nullptr), 10))
        << error.getMessage();
    std::vector<std::string> ids;
    for (unsigned i = 0; i < table.getRowCount(); ++i) ids.push_back(row(table, i)[0]);
    return ids;
  };
  // Two binds whose order matters: ID > 5 and NAME != 'X'.
  EXPECT_EQ(run("((ID GT 5)(NAME NE 'X'))", 50), (std::vector<std::string>{"7", "8"}));
  EXPECT_EQ(run("((ID EQ 1))((ID EQ 8))", 50), (std::vector<std::string>{"1", "8"}));
  EXPECT_EQ(run("((SCAN(NAME) EQ 'amm'))", 50), (std::vector<std::string>{"8"}));
  // Fully translated: the row limit applies.
  EXPECT_EQ(run("((STATUS EQ 'OPEN'))", 2), (std::vector<std::string>{"1", "6"}));
  // Partly translated: no row limit, the untranslated item is always true.
  EXPECT_EQ(run("((OTHER EQ 1)(STATUS EQ 'OPEN'))", 2), (std::vector<std::string>{"1", "6", "8"}));
}

TEST_F(DatabaseTest, PrivilegeChecksPostALimitedNumberOfEvents) {
  OraXMLSQLInfo entry("Tables_Group");
  OraXMLSQL sql(101, "select 1 from dual");
  for (const char* table :
       {"missing_a", "missing_b", "v$instance", "missing_c", "missing_d", "missing_e"})
    sql.addBaseTable(OraXMLSQLTable(table, table));
  entry.addSQL(sql);
  entry.addDatabaseType(OraXMLSQLDBType("RDB", nullptr));
  m_catalog.addUnique(entry);
  // Five tables are missing: as many events as the limit allows, then one summary. A limit that
  // is not a number means one.
  for (auto [limit, posted] : {std::pair<const char*, size_t>{"3", 3}, {"junk", 1}}) {
    SCOPED_TRACE(limit);
    veltest::ScopedEnv env("VEL_CHECK_PRIVILEGE_EVENT_COUNT", limit);
    EventPeer peer;
    auto db = connected();
    EXPECT_FALSE(db->checkPrivileges(true));
    EXPECT_FALSE(db->isPrivilegesChecked());
    auto events = peer.events(posted + 1);
    ASSERT_EQ(events.size(), posted + 1);
    for (size_t i = 0; i < posted; ++i) {
      auto values = eventRow(events[i]);
      EXPECT_EQ(values[3], "942");
      // The category field of an event row holds 12 characters.
      EXPECT_EQ(values[1], "Check Privil");
    }
    auto summary = eventRow(events[posted]);
    EXPECT_EQ(summary[0], "2");
    EXPECT_EQ(summary[3], "1005");
    EXPECT_EQ(summary[4], "Too many pieces of Check Privilege Event, " + std::to_string(posted) +
                              "  piece(s) of event is(are) posted, and " +
                              std::to_string(5 - posted) + "  piece(s) of event is(are) ignored.");
    EXPECT_EQ(eventRow(events[0])[5],
              "Checking the privilege of user \"monitor\" on table \"missing_a\".");
  }
}

TEST_F(DatabaseTest, SessionsOnSeveralThreads) {
  m_dbs.make("rac", kRac);
  std::vector<std::thread> threads;
  std::atomic<int> rows{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      Ora_Database db(m_catalog, t % 2 ? kRac : kSingle, "monitor", "monitor", nullptr, "X", "X");
      Ora_ErrorMsg error;
      if (!db.Connect(error, false)) return;
      for (int i = 0; i < 10; ++i) {
        Ora_AutoStmtTable table;
        Ora_AutoCommand command("select instance_name, host_name from gv$instance");
        if (db.executeTableCmd(command, &table, error, time(nullptr), 10))
          rows += static_cast<int>(table.getRowCount());
      }
    });
  for (auto& th : threads) th.join();
  // Two single-instance sessions see one row, two cluster sessions two rows, ten times each.
  EXPECT_EQ(rows.load(), 2 * 10 * 1 + 2 * 10 * 2);
}

}  // namespace
