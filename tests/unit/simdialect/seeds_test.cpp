// The dialect over a seed (declared types, probes, session context), the seed loader's errors,
// and velsim-mkdb, which turns a seed into a database file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>

#include "DialectTestSupport.h"
#include "SeedLoader.h"
#include "TestSupport.h"

using simtest::Db;

namespace {

const std::string kSeeds = VELSIM_SEED_DIR;

class DialectSeed : public ::testing::Test {
 protected:
  void load(const std::string& name) {
    std::string err;
    ASSERT_TRUE(vsim::loadSeed(db_.get(), kSeeds + "/" + name, &err)) << err;
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

// What each seed holds is checked through the product (DatabaseTest connects to every seed and
// learns its database); here only what the dialect adds on top of a seed: declared types, the
// dictionary names the privilege probes read, and the session context.
TEST_F(DialectSeed, SingleInstanceTypesProbesAndContext) {
  load("single.sql");
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
  // A failing seed leaves no file behind (a later seed overlaying the first is what the end-to-end
  // tests' databases are made with).
  ASSERT_TRUE(veltest::writeFile(dir.file("bad.sql"), "INSERT INTO nope VALUES(1);\n"));
  EXPECT_EQ(runMkdb(kSeeds + "/single.sql " + dir.file("bad.sql") + " " + out), 1);
  struct stat st {};
  EXPECT_NE(stat(out.c_str(), &st), 0);
  EXPECT_EQ(runMkdb(out), 2);
}

}  // namespace
