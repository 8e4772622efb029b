// Statements of the client stand-in: binds, defines, describe, errors, PL/SQL blocks and
// transactions, all through the OCI entry points.
#include <gtest/gtest.h>

#include <string>

#include "SimClient.h"
#include "TestSupport.h"

using namespace simtest;

namespace {

class StatementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(oci().complete);
    makeDb(dir.file("orcl.db"),
           std::string(kUsers) +
               "CREATE TABLE emp(name VARCHAR2(20), sal NUMBER(10,2), hired DATE, code CHAR(3), "
               "note CLOB, bits RAW(16), seen TIMESTAMP, nick VARCHAR2 CHAR(10));"
               "INSERT INTO emp VALUES('alice', 1200.5, '2026-12-03 21:57:55', 'A01', 'n1', "
               "x'0aff', '2026-12-03 21:57:55.250', 'al');"
               "INSERT INTO emp VALUES('bob', 900, '1999-01-01 00:00:00', NULL, NULL, NULL, NULL, "
               "NULL);"
               "INSERT INTO emp VALUES('carol_the_long_name', 3000, '2000-02-29', 'C03', NULL, "
               "NULL, NULL, 'c');");
    ASSERT_EQ(OCI_SUCCESS, conn.logon("orcl", "scott", "tiger")) << conn.error(-1).text;
  }

  // The text of the first error record after a call that returned rc.
  std::string errText(sword rc) { return conn.error(rc).text; }

  // Runs a one-value query and returns the value as text ("NULL" for a null).
  std::string scalar(Conn& c, const std::string& sql) {
    Stmt s(c);
    char buf[200] = {0};
    sb2 ind = 0;
    if (s.prepare(sql) != OCI_SUCCESS) return "prepare failed";
    s.define(1, buf, sizeof buf, SQLT_STR, &ind);
    if (s.execute() != OCI_SUCCESS) return "execute failed: " + c.error(-1).text;
    if (s.fetch() != OCI_SUCCESS) return "fetch failed";
    return ind == -1 ? "NULL" : buf;
  }

  veltest::TempDir dir;
  veltest::ScopedEnv env{"VELSIM_DIR", dir.path().c_str()};
  Conn conn;
};

TEST_F(StatementTest, NullsNeedAnIndicator) {
  // (A NULL with an indicator is fetched through the product in DatabaseTest.)
  Stmt t(conn);
  char code[8] = "keep";
  ASSERT_EQ(OCI_SUCCESS, t.prepare("select code from emp where name = 'bob'"));
  ASSERT_EQ(OCI_SUCCESS, t.define(1, code, sizeof code, SQLT_STR));
  ASSERT_EQ(OCI_SUCCESS, t.execute());
  const sword rc = t.fetch();
  EXPECT_EQ(OCI_ERROR, rc);
  EXPECT_EQ("ORA-01405: fetched column value is NULL\n", errText(rc));
}

TEST_F(StatementTest, TruncationKeepsTheRowWithOra01406) {
  Stmt s(conn);
  ASSERT_EQ(OCI_SUCCESS, s.prepare("select name from emp order by name"));
  char name[6];
  sb2 ind = 0;
  ub2 rcode = 0;
  ASSERT_EQ(OCI_SUCCESS, s.define(1, name, sizeof name, SQLT_STR, &ind, &rcode));
  ASSERT_EQ(OCI_SUCCESS, s.execute());
  ASSERT_EQ(OCI_SUCCESS, s.fetch());
  EXPECT_STREQ("alice", name);
  ASSERT_EQ(OCI_SUCCESS, s.fetch());
  EXPECT_STREQ("bob", name);
  const sword rc = s.fetch();
  EXPECT_EQ(OCI_SUCCESS_WITH_INFO, rc);
  EXPECT_EQ("ORA-01406: fetched column value was truncated\n", errText(rc));
  EXPECT_STREQ("carol", name);
  EXPECT_EQ(19, ind);  // the full length
  EXPECT_EQ(1406, rcode);
  EXPECT_EQ(OCI_NO_DATA, s.fetch());
}

TEST_F(StatementTest, DescribesDeclaredColumnTypes) {
  Stmt s(conn);
  ASSERT_EQ(OCI_SUCCESS,
            s.prepare("select name, sal, hired, code, note, bits, seen, nick, count(*) as n, "
                      "upper(name) from emp group by name"));
  ASSERT_EQ(OCI_SUCCESS, s.execute());
  ub4 count = 0;
  ASSERT_EQ(OCI_SUCCESS, oci().AttrGet(s.h, HT_STMT, &count, nullptr, ATTR_PARAM_COUNT, conn.err));
  ASSERT_EQ(10u, count);
  // Per column: name type/size/char-used/char-size.
  std::string got;
  for (ub4 pos = 1; pos <= count; ++pos) {
    void* p = nullptr;
    ASSERT_EQ(OCI_SUCCESS, oci().ParamGet(s.h, HT_STMT, conn.err, &p, pos));
    ub2 type = 0, dataSize = 0, charSize = 0;
    ub1 charUsed = 9;
    text* name = nullptr;
    ub4 len = 0;
    oci().AttrGet(p, DT_PARAM, &type, nullptr, ATTR_DATA_TYPE, conn.err);
    oci().AttrGet(p, DT_PARAM, &dataSize, nullptr, ATTR_DATA_SIZE, conn.err);
    oci().AttrGet(p, DT_PARAM, &charUsed, nullptr, ATTR_CHAR_USED, conn.err);
    oci().AttrGet(p, DT_PARAM, &charSize, nullptr, ATTR_CHAR_SIZE, conn.err);
    oci().AttrGet(p, DT_PARAM, &name, &len, ATTR_NAME, conn.err);
    got += std::string(reinterpret_cast<char*>(name), len) + " " + std::to_string(type) + "/" +
           std::to_string(dataSize) + "/" + std::to_string(charUsed) + "/" +
           std::to_string(charSize) + "\n";
    EXPECT_EQ(OCI_SUCCESS, oci().DescriptorFree(p, DT_PARAM));
  }
  EXPECT_EQ(got,
            "NAME 1/20/0/20\nSAL 2/22/0/0\nHIRED 12/7/0/0\nCODE 96/3/0/3\nNOTE 112/4000/0/4000\n"
            "BITS 23/16/0/0\nSEEN 187/11/0/0\nNICK 1/40/1/10\nN 2/22/0/0\n"
            "UPPER(NAME) 1/4000/0/4000\n");
  void* p = nullptr;
  const sword rc = oci().ParamGet(s.h, HT_STMT, conn.err, &p, count + 1);
  EXPECT_EQ(OCI_ERROR, rc);
  EXPECT_EQ(24334, conn.error(rc).code);

  // LONG, LONG RAW and BLOB are described with their own types, as a real client does.
  makeDb(dir.file("orcl.db"), "CREATE TABLE docs(memo LONG, img LONG RAW, pic BLOB);");
  Stmt d(conn);
  ASSERT_EQ(OCI_SUCCESS, d.prepare("select memo, img, pic from docs"));
  ASSERT_EQ(OCI_SUCCESS, d.execute());
  const int types[] = {SQLT_LNG, SQLT_LBI, SQLT_BLOB};
  for (ub4 pos = 1; pos <= 3; ++pos) {
    ub2 type = 0;
    ASSERT_EQ(OCI_SUCCESS, oci().ParamGet(d.h, HT_STMT, conn.err, &p, pos));
    oci().AttrGet(p, DT_PARAM, &type, nullptr, ATTR_DATA_TYPE, conn.err);
    EXPECT_EQ(types[pos - 1], type) << pos;
    oci().DescriptorFree(p, DT_PARAM);
  }
}

TEST_F(StatementTest, ReportsOracleErrorsWithCodeAndText) {
  Stmt s(conn);
  // Unknown placeholder, at bind time.
  ASSERT_EQ(OCI_SUCCESS, s.prepare("select name from emp where sal > :minsal"));
  char v[8] = "1";
  sword rc = s.bind(":nosuch", v, sizeof v, SQLT_STR);
  EXPECT_EQ(OCI_ERROR, rc);
  EXPECT_EQ("ORA-01036: illegal variable name/number\n", errText(rc));
  // A placeholder left unbound, at execute.
  rc = s.execute();
  EXPECT_EQ("ORA-01008: not all variables bound\n", errText(rc));
  // A missing table, at execute.
  ASSERT_EQ(OCI_SUCCESS, s.prepare("select x from nosuch"));
  rc = s.execute();
  EXPECT_EQ(OCI_ERROR, rc);
  EXPECT_EQ("ORA-00942: table or view does not exist\n", errText(rc));
  // Calls that succeed afterwards (the statement dump reads type and text) leave the record.
  ub2 type = 0;
  text* t = nullptr;
  ub4 len = 0;
  ASSERT_EQ(OCI_SUCCESS, oci().AttrGet(s.h, HT_STMT, &type, nullptr, ATTR_STMT_TYPE, conn.err));
  ASSERT_EQ(OCI_SUCCESS, oci().AttrGet(s.h, HT_STMT, &t, &len, ATTR_STATEMENT, conn.err));
  EXPECT_EQ(1, type);
  EXPECT_EQ("select x from nosuch", std::string(reinterpret_cast<char*>(t), len));
  EXPECT_EQ(942, conn.error(OCI_ERROR).code);
  // A missing column.
  ASSERT_EQ(OCI_SUCCESS, s.prepare("select nosuchcol from emp"));
  rc = s.execute();
  EXPECT_EQ(904, conn.error(rc).code);
  // Text that is no SQL at all fails when prepared.
  rc = s.prepare("frobnicate the table");
  EXPECT_EQ(OCI_ERROR, rc);
  EXPECT_EQ("ORA-00900: invalid SQL statement\n", errText(rc));
  // A block outside the PL/SQL subset.
  rc = s.prepare("begin loop null; end loop; end;");
  EXPECT_EQ(OCI_ERROR, rc);
  EXPECT_EQ(6550, conn.error(rc).code);
  EXPECT_EQ(0u, errText(rc).find("ORA-06550: line "));
  // Execute of a statement never prepared.
  Stmt fresh(conn);
  rc = fresh.execute();
  EXPECT_EQ(24337, conn.error(rc).code);
  // A DML statement needs an iteration.
  ASSERT_EQ(OCI_SUCCESS, s.prepare("delete from emp"));
  rc = s.execute(0);
  EXPECT_EQ("ORA-24333: zero iteration count\n", errText(rc));
  EXPECT_EQ("3", scalar(conn, "select count(*) from emp"));
}

TEST_F(StatementTest, PlsqlFailuresUndoTheBlock) {
  Stmt s(conn);
  ASSERT_EQ(OCI_SUCCESS, s.prepare("begin delete from emp; raise_application_error(-20001, "
                                   "'it''s broken'); end;"));
  sword rc = s.execute(1, COMMIT_ON_SUCCESS);
  EXPECT_EQ(OCI_ERROR, rc);
  EXPECT_EQ(20001, conn.error(rc).code);
  EXPECT_EQ(0u, errText(rc).find("ORA-20001: it's broken\n"));
  EXPECT_EQ("3", scalar(conn, "select count(*) from emp"));
  // SELECT INTO without a row.
  ASSERT_EQ(OCI_SUCCESS, s.prepare("begin select name into :x from emp where 1=0; end;"));
  char x[10];
  ASSERT_EQ(OCI_SUCCESS, s.bind(":x", x, sizeof x, SQLT_STR));
  rc = s.execute(1);
  EXPECT_EQ("ORA-01403: no data found\n", errText(rc));
  // SELECT INTO with more than one row.
  ASSERT_EQ(OCI_SUCCESS, s.prepare("begin select name into :x from emp; end;"));
  ASSERT_EQ(OCI_SUCCESS, s.bind(":x", x, sizeof x, SQLT_STR));
  rc = s.execute(1);
  EXPECT_EQ(1422, conn.error(rc).code);
  // An output buffer too small for the value.
  ASSERT_EQ(OCI_SUCCESS, s.prepare("begin :x := 'far too long for it'; end;"));
  ASSERT_EQ(OCI_SUCCESS, s.bind(":x", x, sizeof x, SQLT_STR));
  rc = s.execute(1);
  EXPECT_EQ(6502, conn.error(rc).code);
}

}  // namespace
