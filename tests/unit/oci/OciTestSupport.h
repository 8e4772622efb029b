// Shared set-up of the database-access tests: the client library (the stand-in, found through
// LD_LIBRARY_PATH), the process-wide OCI environment, simulated databases made from the seeds,
// and catalogs built in code.
#ifndef VEL_TESTS_UNIT_OCI_OCITESTSUPPORT_H
#define VEL_TESTS_UNIT_OCI_OCITESTSUPPORT_H

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <string>

#include "OraXMLSQLData.h"
#include "Ora_OCIEnv.h"
#include "TestSupport.h"
#include "vel00_OCI_Lib.h"

namespace ocitest {

// Loads the client and creates the environment once for the test program.
class OciEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(vel00_OCI_Lib::Init()) << "the stand-in must be on LD_LIBRARY_PATH";
    ASSERT_TRUE(Ora_OCIEnv::Init());
  }
  void TearDown() override { Ora_OCIEnv::Terminate(); }
};

// The database file name the stand-in derives from a connect string.
inline std::string dbFileName(const std::string& connect) {
  std::string name = connect;
  for (char& c : name)
    if (!(isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-')) c = '_';
  return name + ".db";
}

// A folder of simulated databases, set as VELSIM_DIR while the object lives.
class SimDatabases {
 public:
  SimDatabases() : m_env("VELSIM_DIR", m_dir.path().c_str()) {}
  // Makes the database of a seed (single, rac, asm, standby) served by connect.
  void make(const std::string& seed, const std::string& connect) {
    std::string command = veltest::buildDir() + "/sim/velsim-mkdb " + VEL_SOURCE_DIR +
                          "/sim/oracle/seeds/" + seed + ".sql " + path(connect) +
                          " >/dev/null 2>&1";
    ASSERT_EQ(system(command.c_str()), 0) << command;
  }
  std::string path(const std::string& connect) const { return m_dir.file(dbFileName(connect)); }
  // Runs SQL directly on a database file (to add tables, rows or faults).
  void exec(const std::string& connect, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path(connect).c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    char* message = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    std::string text = message ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << text << " in " << sql;
  }
  const veltest::TempDir& dir() const { return m_dir; }

 private:
  veltest::TempDir m_dir;
  veltest::ScopedEnv m_env;
};

// The database-information block every session runs after log-on.
constexpr const char* kDatabaseInformation =
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

// A catalog holding the database-information entry (and what the caller adds).
inline OraXMLSQLData makeCatalog() {
  OraXMLSQLData catalog;
  OraXMLSQLInfo info("DatabaseInformation");
  info.addSQL(OraXMLSQL(101, kDatabaseInformation));
  catalog.addUnique(info);
  return catalog;
}

}  // namespace ocitest

#endif  // VEL_TESTS_UNIT_OCI_OCITESTSUPPORT_H
