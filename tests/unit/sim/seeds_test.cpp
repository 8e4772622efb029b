// The simulated instances built from the shipped seeds, used as the program uses them: log-on
// with a role, the database-information block with the program's output buffers, a privilege
// probe and a wrapped catalog-style query.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "SimClient.h"
#include "TestSupport.h"

using namespace simtest;

namespace {

// The seeds folder, found from this file's place in the source tree.
std::string seedDir() {
  std::string here = __FILE__;
  const size_t at = here.rfind("/tests/unit/sim/");
  return here.substr(0, at) + "/sim/oracle/seeds/";
}

std::string readText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The seed's SQL with its ".read FILE" lines replaced by the files.
std::string seedSql(const std::string& name) {
  std::istringstream in(readText(seedDir() + name));
  std::string line, sql;
  while (std::getline(in, line)) {
    if (line.compare(0, 6, ".read ") == 0) {
      sql += readText(seedDir() + line.substr(6)) + "\n";
    } else {
      sql += line + "\n";
    }
  }
  return sql;
}

const char* kInfoBlock =
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

struct Info {
  char dbName[50] = {0}, dbType[50] = {0}, version[20] = {0}, bits[4] = {0}, cluster[20] = {0},
       role[20] = {0}, instance[20] = {0}, host[65] = {0};
  OCINumber shortVersion{};
};

class SeedsTest : public ::testing::TestWithParam<const char*> {
 protected:
  veltest::TempDir dir;
  veltest::ScopedEnv env{"VELSIM_DIR", dir.path().c_str()};
};

TEST_P(SeedsTest, DatabaseInformationWithTheProgramsBuffers) {
  const std::string seed = GetParam();
  const std::string sql = seedSql(seed + ".sql");
  ASSERT_FALSE(sql.empty());
  makeDb(dir.file("inst.db"), "BEGIN;" + sql + "COMMIT;");  // one transaction: quick
  ASSERT_TRUE(oci().complete);
  Conn c;
  const bool asmSeed = seed == "asm";
  ASSERT_EQ(OCI_SUCCESS, c.logon("inst", "sys", "oracle", asmSeed ? SYSASM : SYSDBA))
      << c.error(-1).text;
  c.setNonBlocking(true);

  Stmt s(c);
  ASSERT_EQ(OCI_SUCCESS, s.prepare(kInfoBlock)) << c.error(-1).text;
  Info info;
  oci().NumberSetZero(c.err, &info.shortVersion);
  ASSERT_EQ(OCI_SUCCESS, s.bind(":db_name", info.dbName, 50, SQLT_STR));
  ASSERT_EQ(OCI_SUCCESS, s.bind(":db_type", info.dbType, 50, SQLT_STR));
  ASSERT_EQ(OCI_SUCCESS, s.bind(":version", info.version, 20, SQLT_STR));
  ASSERT_EQ(OCI_SUCCESS, s.bind(":shortversion", &info.shortVersion, 22, SQLT_VNU));
  ASSERT_EQ(OCI_SUCCESS, s.bind(":bitversion", info.bits, 4, SQLT_STR));
  ASSERT_EQ(OCI_SUCCESS, s.bind(":iscluster", info.cluster, 20, SQLT_STR));
  ASSERT_EQ(OCI_SUCCESS, s.bind(":db_role", info.role, 20, SQLT_STR));
  ASSERT_EQ(OCI_SUCCESS, s.bind(":dbinstance_name", info.instance, 20, SQLT_STR));
  ASSERT_EQ(OCI_SUCCESS, s.bind(":dbhostname", info.host, 65, SQLT_STR));
  sword rc;
  while ((rc = s.execute(1, COMMIT_ON_SUCCESS)) == OCI_STILL_EXECUTING) {
  }
  ASSERT_EQ(OCI_SUCCESS, rc) << c.error(rc).text;
  int32_t shortVersion = 0;
  ASSERT_EQ(OCI_SUCCESS, oci().NumberToInt(c.err, &info.shortVersion, 4, 2, &shortVersion));
  EXPECT_GE(shortVersion, 100);
  EXPECT_STREQ("64", info.bits);
  EXPECT_NE(0, info.instance[0]);
  EXPECT_NE(0, info.host[0]);
  const std::string type = info.dbType;
  if (asmSeed) {
    EXPECT_EQ("ASM", type);
  } else if (seed == "standby") {
    EXPECT_EQ("DG", type);
  } else {
    EXPECT_EQ("RDB", type);
  }
  EXPECT_EQ(seed == "rac" ? "TRUE" : "FALSE", std::string(info.cluster));

  // A privilege probe and a wrapped query, as the program sends them.
  ASSERT_EQ(OCI_SUCCESS, s.prepare("select * from v$instance where rownum<1"));
  while ((rc = s.execute(0, PARSE_ONLY)) == OCI_STILL_EXECUTING) {
  }
  EXPECT_EQ(OCI_SUCCESS, rc) << c.error(rc).text;
  ASSERT_EQ(OCI_SUCCESS, s.prepare("select * from (select inst_id, instance_name from "
                                   "gv$instance order by inst_id) where ROWNUM<= :maxrownum"));
  char max[20] = "1000";
  ASSERT_EQ(OCI_SUCCESS, s.bind(":maxrownum", max, sizeof max, SQLT_STR));
  while ((rc = s.execute()) == OCI_STILL_EXECUTING) {
  }
  ASSERT_EQ(OCI_SUCCESS, rc) << c.error(rc).text;
  OCINumber inst{};
  char name[60];
  sb2 ind[2];
  ASSERT_EQ(OCI_SUCCESS, s.define(1, &inst, sizeof inst, SQLT_VNU, &ind[0]));
  ASSERT_EQ(OCI_SUCCESS, s.define(2, name, sizeof name, SQLT_STR, &ind[1]));
  int rows = 0;
  while ((rc = s.fetch()) == OCI_SUCCESS || rc == OCI_STILL_EXECUTING) rows += rc == OCI_SUCCESS;
  EXPECT_EQ(OCI_NO_DATA, rc);
  EXPECT_EQ(seed == "rac" ? 2 : 1, rows);
}

INSTANTIATE_TEST_SUITE_P(Seeds, SeedsTest, ::testing::Values("single", "rac", "asm", "standby"));

}  // namespace
