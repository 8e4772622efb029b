// The PL/SQL subset: each step kind, and ORA-06550 for anything outside it.
#include <gtest/gtest.h>

#include "DialectTestSupport.h"

using vsim::OraError;
using vsim::parsePlsql;
using vsim::PlsqlStep;

namespace {

std::vector<PlsqlStep> parse(const std::string& block) {
  std::vector<PlsqlStep> steps;
  OraError e;
  EXPECT_TRUE(parsePlsql(block, &steps, &e)) << e.text;
  return steps;
}

OraError reject(const std::string& block) {
  std::vector<PlsqlStep> steps;
  OraError e;
  EXPECT_FALSE(parsePlsql(block, &steps, &e)) << block;
  EXPECT_TRUE(steps.empty());
  EXPECT_EQ(e.code, 6550);
  return e;
}

TEST(DialectPlsql, EveryStepKind) {
  auto steps = parse(
      "BEGIN\n"
      "  SELECT d.name, i.instance_name INTO :db_name, :DbInstance_Name\n"
      "    FROM v$database d, sys.v$instance i;\n"
      "  :db_type := 'RDB' || '';\n"
      "  OPEN :CURSOR FOR select * from v$sql where rownum <= :maxrows;\n"
      "  update t set x = :v where y = 'a;b';\n"
      "  commit;\n"
      "  NULL;\n"
      "  DBMS_LOCK.SLEEP(0.25);\n"
      "  raise_application_error(-20001, 'it''s; bad');\n"
      "END;");
  ASSERT_EQ(steps.size(), 8u);
  EXPECT_EQ(steps[0].kind, PlsqlStep::SelectInto);
  EXPECT_EQ(steps[0].into, (std::vector<std::string>{"DB_NAME", "DBINSTANCE_NAME"}));
  EXPECT_EQ(simtest::squeeze(steps[0].sql.sql),
            "SELECT d.name, i.instance_name FROM v$database d, v$instance i");
  EXPECT_EQ(steps[0].sql.tables, (std::vector<std::string>{"v$database", "v$instance"}));
  EXPECT_EQ(steps[1].kind, PlsqlStep::Assign);
  EXPECT_EQ(steps[1].target, "DB_TYPE");
  EXPECT_EQ(steps[1].sql.sql.substr(0, 7), "SELECT ");
  EXPECT_EQ(steps[2].kind, PlsqlStep::OpenCursor);
  EXPECT_EQ(steps[2].target, "CURSOR");
  EXPECT_EQ(steps[2].sql.binds, std::vector<std::string>{"MAXROWS"});
  EXPECT_EQ(steps[2].sql.limitBind, "MAXROWS");
  EXPECT_EQ(steps[3].kind, PlsqlStep::Dml);
  EXPECT_EQ(steps[3].sql.kind, vsim::StmtKind::Update);
  EXPECT_NE(steps[3].sql.sql.find("'a;b'"), std::string::npos);
  EXPECT_EQ(steps[4].kind, PlsqlStep::Commit);
  EXPECT_EQ(steps[5].kind, PlsqlStep::Null);
  EXPECT_EQ(steps[6].kind, PlsqlStep::Sleep);
  EXPECT_DOUBLE_EQ(steps[6].seconds, 0.25);
  EXPECT_EQ(steps[7].kind, PlsqlStep::Raise);
  EXPECT_EQ(steps[7].code, 20001);
  EXPECT_EQ(steps[7].text, "it's; bad");
}

TEST(DialectPlsql, AssignAndSelectIntoRunOnSqlite) {
  auto steps = parse(
      "begin :a := nvl(null, 'x') || to_char(42); select 1, 'two' into :p, :q from dual; end;");
  ASSERT_EQ(steps.size(), 2u);
  simtest::Db db;
  auto a = db.run(steps[0].sql.sql);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0], std::vector<std::string>{"x42"});
  auto b = db.run(steps[1].sql.sql);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0], (std::vector<std::string>{"1", "two"}));
}

TEST(DialectPlsql, ApplicationErrorNumberOutOfRangeRaisesOra21000) {
  auto steps = parse("begin raise_application_error(-1, 'x'); end;");
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_EQ(steps[0].code, 21000);
  EXPECT_EQ(steps[0].text,
            "error number argument to raise_application_error of -1 is out of range");
}

TEST(DialectPlsql, UnknownProcedureIsAnUndeclaredIdentifier) {
  OraError e = reject("begin\n  dbms_output.put_line('x');\nend;");
  EXPECT_EQ(e.text,
            "line 2, column 3:\nPLS-00201: identifier 'DBMS_OUTPUT.PUT_LINE' must be "
            "declared\nORA-06550: line 2, column 3:\nPL/SQL: Statement ignored");
}

TEST(DialectPlsql, MalformedBlocksPointAtTheProblem) {
  EXPECT_EQ(reject("begin null;").text.substr(0, 21), "line 1, column 12:\nPL");
  reject("begin end;");
  reject("begin null end;");
  reject("begin null; end; select");
  reject("begin null; end");
  reject("begin :a := 'open; end;");
  OraError e = reject("begin\n  select 1 from dual;\nend;");
  EXPECT_EQ(e.text,
            "line 2, column 3:\nPLS-00428: an INTO clause is expected in this SELECT statement");
  e = reject("begin\n  update t set a = 1 where t.x = u.y(+);\nend;");
  EXPECT_EQ(e.text,
            "line 2, column 3:\nPL/SQL: ORA-00900: invalid SQL statement\nORA-06550: line 2, "
            "column 3:\nPL/SQL: SQL Statement ignored");
}

}  // namespace

namespace {

// Every prefix and many byte mutations of real statements: each is either translated or refused
// with an Oracle code, never a crash (the sanitizer builds check the memory side).
TEST(DialectRobustness, MangledStatementsAreTranslatedOrRefused) {
  const std::vector<std::string> inputs = {
      "select * from (select a, NVL(b,'x') from sys.v$instance i, dual) where ((((STATUS = "
      ":BindValue0))) )AND (ROWNUM<= :maxrownum)",
      "select q'[a]' || sysdate - 1/24 - sysdate, thread# from gv$x where rownum < 1 minus select "
      "1 from dual",
      "BEGIN SELECT a INTO :x, :y FROM t; :z := 'a''b'; OPEN :CURSOR FOR select 1 from dual; "
      "DBMS_LOCK.SLEEP(1); RAISE_APPLICATION_ERROR(-20001, 'x'); COMMIT; END;",
      "with c as (select extract(year from d) y from t) select * from c where 2 >= rownum",
  };
  unsigned seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7fff;
  };
  const char alphabet[] = "()':;|-+/*\"q$#. \nAB1";
  size_t checked = 0;
  for (const std::string& in : inputs) {
    std::vector<std::string> variants;
    for (size_t n = 0; n <= in.size(); ++n) variants.push_back(in.substr(0, n));
    for (int m = 0; m < 300; ++m) {
      std::string s = in;
      for (int k = 0; k < 3; ++k) s[next() % s.size()] = alphabet[next() % (sizeof alphabet - 1)];
      variants.push_back(s);
    }
    for (const std::string& v : variants) {
      vsim::SqlText t;
      OraError e;
      if (translateSql(v, &t, &e)) {
        EXPECT_FALSE(t.sql.empty()) << v;
      } else {
        EXPECT_GT(e.code, 0) << v;
      }
      std::vector<PlsqlStep> steps;
      if (!parsePlsql(v, &steps, &e)) {
        EXPECT_EQ(e.code, 6550) << v;
      }
      ++checked;
    }
  }
  EXPECT_GT(checked, 1000u);
}

}  // namespace
