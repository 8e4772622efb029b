// Shared set-up of the database-access tests: the client library (the stand-in, found through
// LD_LIBRARY_PATH), the process-wide OCI environment, simulated databases made from the seeds,
// and catalogs built in code.
#ifndef VEL_TESTS_SUPPORT_OCITESTSUPPORT_H
#define VEL_TESTS_SUPPORT_OCITESTSUPPORT_H

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
    ASSERT_TRUE(veltest::makeSimDatabase(seed + ".sql", path(connect))) << seed;
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

// A catalog holding the database-information entry (and what the caller adds).
inline OraXMLSQLData makeCatalog() {
  OraXMLSQLData catalog;
  OraXMLSQLInfo info("DatabaseInformation");
  info.addSQL(OraXMLSQL(101, veltest::kDatabaseInformationBlock));
  catalog.addUnique(info);
  return catalog;
}

}  // namespace ocitest

#endif  // VEL_TESTS_SUPPORT_OCITESTSUPPORT_H
