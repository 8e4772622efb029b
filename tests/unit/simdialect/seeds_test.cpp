// The seeds of the simulated instances load and answer the queries the collector sends, and
// velsim-mkdb turns a seed into a database file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <map>

#include "DialectTestSupport.h"
#include "SeedLoader.h"
#include "TestSupport.h"

using simtest::Db;

namespace {

const std::string kSeeds = VELSIM_SEED_DIR;

// A database-information block written against the seeds' views only.
const char* const kInfoBlock =
    "BEGIN\n"
    "  SELECT instance_name, host_name, version,\n"
    "         TO_NUMBER(SUBSTR(version, 1, INSTR(version, '.') - 1)) * 10,\n"
    "         DECODE(parallel, 'YES', 'TRUE', 'FALSE')\n"
    "    INTO :dbinstance_name, :dbhostname, :version, :shortversion, :iscluster\n"
    "    FROM v$instance;\n"
    "  SELECT NVL(MAX(name), :dbinstance_name), NVL(MAX(database_role), 'PRIMARY')\n"
    "    INTO :db_name, :db_role FROM v$database;\n"
    "  SELECT DECODE(SUBSTR(instance_name, 1, 1), '+', 'ASM',\n"
    "                DECODE(:db_role, 'PRIMARY', 'RDB', 'DG'))\n"
    "    INTO :db_type FROM v$instance;\n"
    "  :bitversion := '64';\n"
    "END;";

class DialectSeed : public ::testing::Test {
 protected:
  void load(const std::string& name) {
    std::string err;
    ASSERT_TRUE(vsim::loadSeed(db_.get(), kSeeds + "/" + name, &err)) << err;
  }

  // Runs the steps of a block the way the stand-in does: outputs become inputs of later steps.
  std::map<std::string, std::string> runBlock(const std::string& block) {
    std::vector<vsim::PlsqlStep> steps;
    vsim::OraError e;
    EXPECT_TRUE(vsim::parsePlsql(block, &steps, &e)) << e.text;
    std::map<std::string, std::string> vars;
    for (const auto& step : steps) {
      std::vector<std::pair<std::string, std::string>> binds(vars.begin(), vars.end());
      auto rows = db_.run(step.sql.sql, binds);
      EXPECT_EQ(rows.size(), 1u) << step.sql.sql;
      if (rows.size() != 1) break;
      if (step.kind == vsim::PlsqlStep::Assign) vars[step.target] = rows[0].at(0);
      for (size_t i = 0; i < step.into.size() && i < rows[0].size(); ++i)
        vars[step.into[i]] = rows[0][i];
    }
    return vars;
  }

  std::string declType(const std::string& oracle, int column) {
    vsim::SqlText t;
    vsim::OraError e;
    if (!vsim::translateSql(oracle, &t, &e)) return "untranslated";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_.get(), t.sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return "error";
    const char* type = sqlite3_column_decltype(st, column);
    std::string r = type ? type : "none";
    sqlite3_finalize(st);
    return r;
  }

  // Every dictionary name answers a privilege probe.
  void expectProbes(const std::vector<std::string>& names) {
    for (const std::string& n : names) {
      EXPECT_TRUE(db_.query("select * from " + n + " where rownum<1").empty()) << n;
    }
  }

  Db db_;
};

TEST_F(DialectSeed, SingleInstance) {
  load("single.sql");
  EXPECT_EQ(db_.query("select instance_name, host_name, status from v$instance"),
            (std::vector<std::vector<std::string>>{{"PROD", "dbhost1", "OPEN"}}));
  EXPECT_EQ(db_.value("select database_role from v$database"), "PRIMARY");
  EXPECT_EQ(db_.value("select count(*) from gv$instance"), "1");
  EXPECT_EQ(db_.value("select roles from sim_users where upper(username) = 'SYS'"),
            "SYSDBA,SYSOPER");
  EXPECT_EQ(db_.value("select count(*) from sim_users where username = 'monitor' and locked = 0"),
            "1");
  EXPECT_EQ(db_.value("select count(*) from sim_faults"), "0");
  EXPECT_EQ(db_.value("select value from v$parameter where name = 'background_dump_dest'"),
            "/u01/app/oracle/diag/rdbms/prod/PROD/trace");
  EXPECT_EQ(db_.value("select banner from v$version where rownum <= 1").substr(0, 15),
            "Oracle Database");
  EXPECT_EQ(declType("select instance_name from v$instance", 0), "VARCHAR2(16)");
  EXPECT_EQ(declType("select * from (select startup_time, thread# from v$instance)", 0), "DATE");
  EXPECT_EQ(declType("select thread# from v$instance", 0), "NUMBER");
  EXPECT_EQ(declType("select sql_fulltext, address from v$sql", 0), "CLOB");
  EXPECT_EQ(declType("select sql_fulltext, address from v$sql", 1), "RAW(8)");
  expectProbes(
      {"v$instance",         "gv$instance",      "v$database",        "v$version",
       "v$parameter",        "v$diag_info",      "gv$session",        "v$sql",
       "gv$sqlarea",         "v$sysstat",        "v$archive_dest",    "v$recovery_file_dest",
       "dba_users",          "dba_tablespaces",  "dba_data_files",    "dba_temp_files",
       "dba_free_space",     "dba_hist_sqltext", "dba_hist_snapshot", "sys.dba_role_privs",
       "v$dataguard_status", "v$asm_diskgroup"});
  EXPECT_EQ(db_.value("select sys_context('USERENV', 'INSTANCE_NAME') from dual"), "PROD");
  EXPECT_EQ(db_.value("select sys_context('userenv', 'server_host') from dual"), "dbhost1");
  EXPECT_EQ(db_.value("select userenv('INSTANCE') from dual"), "1");
  EXPECT_EQ(db_.value("select sys_context('MYAPP', 'X') from dual"), "NULL");
  EXPECT_EQ(db_.value("select sys_context('USERENV', 'NOPE') from dual"),
            "ORA-02003: invalid USERENV parameter");
  auto info = runBlock(kInfoBlock);
  EXPECT_EQ(info["DB_TYPE"], "RDB");
  EXPECT_EQ(info["DB_NAME"], "PROD");
  EXPECT_EQ(info["SHORTVERSION"], "190");
  EXPECT_EQ(info["ISCLUSTER"], "FALSE");
  EXPECT_EQ(info["DBHOSTNAME"], "dbhost1");
  EXPECT_EQ(info["BITVERSION"], "64");
}

TEST_F(DialectSeed, TwoInstanceCluster) {
  load("rac.sql");
  EXPECT_EQ(db_.query("select inst_id, instance_name, host_name from gv$instance order by inst_id"),
            (std::vector<std::vector<std::string>>{{"1", "RACDB1", "rachost1"},
                                                   {"2", "RACDB2", "rachost2"}}));
  EXPECT_EQ(db_.value("select instance_name from v$instance"), "RACDB1");
  EXPECT_EQ(db_.value("select count(distinct inst_id) from gv$session"), "2");
  EXPECT_EQ(db_.value("select count(*) from v$session"), "3");
  EXPECT_EQ(db_.value("select value from v$parameter where name = 'cluster_database'"), "TRUE");
  // The instance view follows the instance this file serves.
  ASSERT_TRUE(db_.exec("UPDATE sim_local SET inst_id = 2"));
  EXPECT_EQ(db_.value("select instance_name from v$instance"), "RACDB2");
  ASSERT_TRUE(db_.exec("UPDATE sim_local SET inst_id = 1"));
  auto info = runBlock(kInfoBlock);
  EXPECT_EQ(info["ISCLUSTER"], "TRUE");
  EXPECT_EQ(info["DB_TYPE"], "RDB");
  EXPECT_EQ(info["DB_NAME"], "RACDB");
}

TEST_F(DialectSeed, AsmInstance) {
  load("asm.sql");
  const std::string name = db_.value("select instance_name from v$instance");
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(name[0], '+');
  EXPECT_EQ(db_.query("select name, state from v$asm_diskgroup order by group_number"),
            (std::vector<std::vector<std::string>>{{"DATA", "MOUNTED"}, {"FRA", "MOUNTED"}}));
  EXPECT_EQ(db_.value("select count(*) from v$asm_disk where group_number = 1"), "2");
  EXPECT_NE(db_.value("select roles from sim_users where username = 'sys'").find("SYSASM"),
            std::string::npos);
  auto info = runBlock(kInfoBlock);
  EXPECT_EQ(info["DB_TYPE"], "ASM");
  EXPECT_EQ(info["DB_NAME"], "+ASM");
}

TEST_F(DialectSeed, DataGuardStandby) {
  load("standby.sql");
  EXPECT_EQ(db_.value("select database_role from v$database"), "PHYSICAL STANDBY");
  EXPECT_EQ(db_.value("select db_unique_name from v$database"), "PRODSB");
  // The status check asks for the messages after the last one reported, oldest first.
  const std::string q =
      "select * from (select facility, severity, dest_id, message_num, error_code, timestamp, "
      "message from v$dataguard_status where message_num > :vellastmessagenum order by "
      "message_num) where ROWNUM<= :maxrownum";
  auto rows = db_.run(
      [&] {
        vsim::SqlText t;
        vsim::OraError e;
        EXPECT_TRUE(vsim::translateSql(q, &t, &e));
        return t.sql;
      }(),
      {{"VELLASTMESSAGENUM", "2"}, {"MAXROWNUM", "2"}});
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][3], "3");
  EXPECT_EQ(rows[1][3], "4");
  EXPECT_EQ(rows[1][4], "16058");
  auto info = runBlock(kInfoBlock);
  EXPECT_EQ(info["DB_TYPE"], "DG");
  EXPECT_EQ(info["DB_ROLE"], "PHYSICAL STANDBY");
}

TEST_F(DialectSeed, LoaderReportsTheFailingStatement) {
  veltest::TempDir dir;
  ASSERT_TRUE(veltest::writeFile(dir.file("bad.sql"),
                                 "CREATE TABLE a(x);\n\nINSERT INTO nope VALUES(1);\n"));
  std::string err;
  EXPECT_FALSE(vsim::loadSeed(db_.get(), dir.file("bad.sql"), &err));
  EXPECT_NE(err.find("line 3"), std::string::npos) << err;
  EXPECT_NE(err.find("no such table: nope"), std::string::npos) << err;
  EXPECT_FALSE(vsim::loadSeed(db_.get(), dir.file("missing.sql"), &err));
  ASSERT_TRUE(veltest::writeFile(dir.file("loop.sql"), ".read loop.sql\n"));
  EXPECT_FALSE(vsim::loadSeed(db_.get(), dir.file("loop.sql"), &err));
  EXPECT_NE(err.find("nested"), std::string::npos) << err;
}

int runMkdb(const std::string& args) {
  const std::string cmd = veltest::buildDir() + "/sim/velsim-mkdb " + args + " 2>/dev/null";
  const int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(DialectMkdb, BuildsAWalDatabaseAndRemovesAFailedOne) {
  veltest::TempDir dir;
  const std::string out = dir.file("dbhost1_1521_PROD.db");
  ASSERT_EQ(runMkdb(kSeeds + "/single.sql " + out), 0);
  {
    Db db(out.c_str());
    EXPECT_EQ(db.run("PRAGMA journal_mode")[0][0], "wal");
    EXPECT_EQ(db.value("select instance_name from v$instance"), "PROD");
  }
  // A later seed overlays the first; a failing one leaves no file behind.
  ASSERT_TRUE(veltest::writeFile(dir.file("extra.sql"),
                                 "INSERT INTO sim_faults VALUES('delay', 'v$sql', 0, 500);\n"));
  ASSERT_EQ(runMkdb(kSeeds + "/single.sql " + dir.file("extra.sql") + " " + out), 0);
  {
    Db db(out.c_str());
    EXPECT_EQ(db.value("select delay_ms from sim_faults"), "500");
  }
  ASSERT_TRUE(veltest::writeFile(dir.file("bad.sql"), "INSERT INTO nope VALUES(1);\n"));
  EXPECT_EQ(runMkdb(kSeeds + "/single.sql " + dir.file("bad.sql") + " " + out), 1);
  struct stat st {};
  EXPECT_NE(stat(out.c_str(), &st), 0);
  EXPECT_EQ(runMkdb(out), 2);
}

}  // namespace
