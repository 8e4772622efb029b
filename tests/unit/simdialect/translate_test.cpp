// Translation of Oracle statement text to SQLite: the program's row-limit wrappers, binds,
// literals, DUAL, dictionary names and errors.
#include <gtest/gtest.h>

#include "DialectTestSupport.h"

using simtest::Db;
using simtest::squeeze;
using vsim::OraError;
using vsim::SqlText;
using vsim::StmtKind;
using vsim::translateSql;

namespace {

SqlText tr(const std::string& oracle) {
  SqlText t;
  OraError e;
  EXPECT_TRUE(translateSql(oracle, &t, &e)) << oracle << " -> ORA-" << e.code << " " << e.text;
  return t;
}

OraError trError(const std::string& oracle) {
  SqlText t;
  OraError e;
  EXPECT_FALSE(translateSql(oracle, &t, &e)) << oracle << " -> " << t.sql;
  return e;
}

// Seven rows: ids 1..7, odd ones OPEN.
void fillOrders(Db& db) {
  ASSERT_TRUE(db.exec(
      "CREATE TABLE orders(id NUMBER, status VARCHAR2(8));"
      "INSERT INTO orders VALUES(1,'OPEN'),(2,'DONE'),(3,'OPEN'),(4,'DONE'),(5,'OPEN'),(6,'DONE'),"
      "(7,'OPEN');"));
}

TEST(DialectTranslate, RowLimitWrappersBecomeLimitsOnTheirBind) {
  struct Case {
    const char* sql;
    std::vector<std::string> binds;
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<std::string> ids;
  };
  const Case cases[] = {
      {"select * from (select id, status from orders order by id) where ROWNUM<= :maxrownum",
       {"MAXROWNUM"},
       {{"MAXROWNUM", "3"}},
       {"1", "2", "3"}},
      // Oracle numbers only the rows that pass the filter: the limit counts OPEN rows.
      {"select * from (select id, status from orders order by id) where ((((STATUS = "
       ":BindValue0))) )AND (ROWNUM<= :maxrownum)",
       {"BINDVALUE0", "MAXROWNUM"},
       {{"BINDVALUE0", "OPEN"}, {"MAXROWNUM", "3"}},
       {"1", "3", "5"}},
      // The limit first, then conditions, as the text lookups write them.
      {"select * from (select id, status from orders) where ROWNUM<= :maxrownum and (( status = "
       ":BindValue1 )) and (( id > :BindValue2 ))",
       {"MAXROWNUM", "BINDVALUE1", "BINDVALUE2"},
       {{"MAXROWNUM", "5"}, {"BINDVALUE1", "OPEN"}, {"BINDVALUE2", "2"}},
       {"3", "5", "7"}},
  };
  Db db;
  fillOrders(db);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    SqlText t = tr(c.sql);
    EXPECT_EQ(t.limitBind, "MAXROWNUM");
    EXPECT_EQ(t.binds, c.binds);
    EXPECT_EQ(t.sql.find("ROWNUM<"), std::string::npos) << t.sql;
    std::vector<std::string> ids;
    for (const auto& row : db.run(t.sql, c.values)) ids.push_back(row.at(0));
    EXPECT_EQ(ids, c.ids);
  }
  SqlText t = tr(cases[0].sql);
  EXPECT_EQ(squeeze(t.sql),
            "select * from (select id, status from orders order by id) LIMIT "
            "SIM_BIND(:MAXROWNUM)");
  EXPECT_EQ(t.kind, StmtKind::Select);
  EXPECT_FALSE(t.emptyProbe);
  EXPECT_EQ(t.tables, std::vector<std::string>{"orders"});
}

TEST(DialectTranslate, FilterWithoutRowLimitIsLeftAlone) {
  const std::string sql =
      "select * from (select id from orders) where ((((1=1) AND (ID = :BindValue0))) )";
  SqlText t = tr(sql);
  EXPECT_EQ(t.sql,
            "select * from (select id from orders) where ((((1=1) AND (ID = "
            "SIM_BIND(:BINDVALUE0)))) )");
  EXPECT_TRUE(t.limitBind.empty());
}

TEST(DialectTranslate, NumericRownumBounds) {
  Db db;
  fillOrders(db);
  EXPECT_EQ(db.query("select id from orders where rownum <= 2").size(), 2u);
  EXPECT_EQ(db.query("select id from orders where rownum < 2").size(), 1u);
  EXPECT_EQ(db.query("select id from orders where status = 'OPEN' and rownum = 1").size(), 1u);
  EXPECT_EQ(db.query("select id from orders where rownum = 2").size(), 0u);  // as in Oracle
  EXPECT_EQ(db.query("select id from orders where 3 >= rownum").size(), 3u);
  // The bound of an inner query limits that query only.
  EXPECT_EQ(db.value("select count(*) from (select id from orders where rownum <= 4)"), "4");
  SqlText inner = tr("select count(*) from (select id from orders where rownum <= :n)");
  EXPECT_TRUE(inner.limitBind.empty());
}

TEST(DialectTranslate, RownumBelowOneIsAnEmptyProbeThatStillChecksTheTable) {
  SqlText t = tr("select * from v$instance where rownum<1");
  EXPECT_TRUE(t.emptyProbe);
  EXPECT_TRUE(t.limitBind.empty());
  EXPECT_EQ(t.tables, std::vector<std::string>{"v$instance"});
  Db db;
  ASSERT_TRUE(
      db.exec("CREATE TABLE \"v$instance\"(instance_name VARCHAR2(16));"
              "INSERT INTO \"v$instance\" VALUES('PROD');"));
  EXPECT_TRUE(db.query("select * from v$instance where rownum<1").empty());
  EXPECT_TRUE(db.query("select * from V$INSTANCE where ROWNUM <= 0").empty());
  EXPECT_EQ(db.query("select * from dba_users where rownum<1"),
            (std::vector<std::vector<std::string>>{{"ORA-00942: table or view does not exist"}}));
}

TEST(DialectTranslate, RownumInSelectListNumbersRows) {
  Db db;
  fillOrders(db);
  auto rows = db.query("select rownum, id from orders where status = 'DONE' order by id");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2][0], "3");
}

TEST(DialectTranslate, BindsAreUpperCasedInOrderOnce) {
  SqlText t = tr("select :b1, :Db_Name, :1 from dual where :b1 = :B1 and x = :db_name");
  EXPECT_EQ(t.binds, (std::vector<std::string>{"B1", "DB_NAME", "1"}));
  EXPECT_NE(t.sql.find("SIM_BIND(:B1), SIM_BIND(:DB_NAME), SIM_BIND(:1)"), std::string::npos)
      << t.sql;
  Db db;
  auto rows = db.run(tr("select :b1 || :Db_Name from dual").sql, {{"B1", "a"}, {"DB_NAME", "b"}});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "ab");
}

TEST(DialectTranslate, TextBindsCompareLikeOracle) {
  Db db;
  fillOrders(db);
  ASSERT_TRUE(
      db.exec("CREATE TABLE codes(code VARCHAR2(8)); INSERT INTO codes VALUES('007'),('7'),"
              "('1.50'),('abc');"));
  // A computed NUMBER column against a text bind compares as numbers.
  const std::string q = "select * from (select id * 2 dbl from orders) where dbl > :b";
  EXPECT_EQ(db.run(tr(q).sql, {{"B", "10"}}).size(), 2u);
  EXPECT_EQ(db.run(tr(q).sql, {{"B", "12.5"}}).size(), 1u);
  // A text column still matches the very same text only.
  const std::string c = "select code from codes where code = :c";
  EXPECT_EQ(db.run(tr(c).sql, {{"C", "007"}}), (std::vector<std::vector<std::string>>{{"007"}}));
  EXPECT_EQ(db.run(tr(c).sql, {{"C", "7"}}), (std::vector<std::vector<std::string>>{{"7"}}));
  EXPECT_EQ(db.run(tr(c).sql, {{"C", "1.50"}}), (std::vector<std::vector<std::string>>{{"1.50"}}));
  EXPECT_EQ(db.run(tr(c).sql, {{"C", "abc"}}), (std::vector<std::vector<std::string>>{{"abc"}}));
  EXPECT_EQ(db.run(tr("select :v from dual").sql, {{"V", "-0012"}})[0][0], "-0012");
}

TEST(DialectTranslate, QuotedTextIsNeverAltered) {
  const std::string lit =
      "'where rownum<= :x from dual sysdate a||b /*c*/ -- d v$x thread# MINUS 1/2 '' q''[z]'''";
  SqlText t = tr("select " + lit + " from dual");
  EXPECT_NE(t.sql.find(lit), std::string::npos) << t.sql;
  EXPECT_TRUE(t.binds.empty());
  EXPECT_TRUE(t.limitBind.empty());
  Db db;
  EXPECT_EQ(db.value("select 'It''s :x' from dual"), "It's :x");
  EXPECT_EQ(db.value("select q'[it's ok]' from dual"), "it's ok");
  EXPECT_EQ(db.value("select \"DUMMY\" from dual"), "X");
}

TEST(DialectTranslate, DualNeedsNoTable) {
  Db db;
  EXPECT_EQ(db.value("select 1 from dual"), "1");
  EXPECT_EQ(db.value("select dummy from sys.dual"), "X");
  EXPECT_EQ(db.value("select d.dummy from dual d where 1 = 1"), "X");
  EXPECT_EQ(db.value("select count(*) from dual where exists (select 1 from dual)"), "1");
  EXPECT_TRUE(tr("select 1 from dual").tables.empty());
}

TEST(DialectTranslate, DictionaryNamesSchemasAndTables) {
  SqlText t =
      tr("with c as (select * from sys.gv$instance) select i.*, extract(year from created) "
         "from c, SYS.V$DATABASE d join dba_users u on u.username = d.name where i.thread# = 1");
  EXPECT_EQ(t.tables, (std::vector<std::string>{"gv$instance", "v$database", "dba_users"}));
  EXPECT_EQ(t.sql.find("sys."), std::string::npos) << t.sql;
  EXPECT_EQ(t.sql.find("SYS."), std::string::npos) << t.sql;
  EXPECT_NE(t.sql.find("i.\"thread#\""), std::string::npos) << t.sql;

  SqlText ins = tr("insert into sim_faults (kind) values (:k)");
  EXPECT_EQ(ins.kind, StmtKind::Insert);
  EXPECT_EQ(ins.tables, std::vector<std::string>{"sim_faults"});
  EXPECT_EQ(tr("update t set a = 1").kind, StmtKind::Update);
  EXPECT_EQ(tr("delete from t").kind, StmtKind::Delete);
  EXPECT_EQ(squeeze(tr("truncate table t").sql), "DELETE FROM t");
  EXPECT_EQ(tr("create table t (a NUMBER)").kind, StmtKind::Other);
  EXPECT_EQ(tr("BEGIN :a := 1; END;").kind, StmtKind::Plsql);
}

TEST(DialectTranslate, SetOperatorsDatesAndNumbers) {
  Db db;
  ASSERT_TRUE(
      db.exec("CREATE TABLE a(x NUMBER); INSERT INTO a VALUES(1),(2),(3);"
              "CREATE TABLE b(x NUMBER); INSERT INTO b VALUES(2);"));
  EXPECT_EQ(db.query("select x from a minus select x from b").size(), 2u);
  EXPECT_EQ(db.value("select 1/4 from dual"), "0.25");  // NUMBER division is not integral
  EXPECT_EQ(db.value("select 'a' || null || 'b' from dual"), "ab");
  EXPECT_EQ(db.value("select null || null from dual"), "NULL");
  // SYSDATE arithmetic works in days.
  EXPECT_EQ(db.value("select round((sysdate + 1/24 - sysdate) * 24) from dual"), "1");
  EXPECT_EQ(db.value("select case when sysdate - 1 < sysdate then 'y' else 'n' end from dual"),
            "y");
  EXPECT_EQ(db.value("select sysdate - sysdate - 1 from dual"), "-1");
  EXPECT_EQ(db.value("select sysdate - (sysdate - 2) from dual"), "2");
  EXPECT_EQ(
      db.value("select trunc(sysdate - to_date('2000-01-01', 'YYYY-MM-DD')) > 9000 from dual"),
      "1");
}

TEST(DialectTranslate, MalformedTextGivesOracleErrors) {
  EXPECT_EQ(trError("").code, 900);
  EXPECT_EQ(trError("  -- nothing\n").code, 900);
  EXPECT_EQ(trError("selec 1 from dual").code, 900);
  EXPECT_EQ(trError("select 'open from dual").code, 1756);
  EXPECT_EQ(trError("select 1 from dual;").code, 911);
  EXPECT_EQ(trError("select * from (select 1 from dual;) where ROWNUM<= :m").code, 911);
  EXPECT_EQ(tr("alter session set nls_date_format = 'YYYY'").kind, StmtKind::Other);
  EXPECT_TRUE(Db().query("ALTER SESSION SET NLS_DATE_FORMAT = 'YYYY-MM-DD'").empty());
  EXPECT_EQ(trError("select * from a, b where a.x = b.x(+)").code, 900);
  EXPECT_EQ(trError("select (1 from dual").code, 907);
  EXPECT_EQ(trError("select 1) from dual").code, 933);
  EXPECT_EQ(trError("select : x from dual").code, 1745);
  EXPECT_EQ(trError("select \"open from dual").code, 1740);
  OraError e = trError("select 1 from dual;");
  EXPECT_EQ(e.text, "invalid character");
}

TEST(DialectErrors, MissingObjectsAndOtherFailures) {
  Db db;
  ASSERT_TRUE(
      db.exec("CREATE TABLE t(a VARCHAR2(3) NOT NULL, b NUMBER UNIQUE);"
              "INSERT INTO t VALUES('x', 1);"));
  auto err = [&db](const char* oracle) { return db.query(oracle).at(0).at(0); };
  EXPECT_EQ(err("select * from nope"), "ORA-00942: table or view does not exist");
  EXPECT_EQ(err("select zz from t"), "ORA-00904: \"ZZ\": invalid identifier");
  EXPECT_EQ(err("select t.zz from t"), "ORA-00904: \"T\".\"ZZ\": invalid identifier");
  EXPECT_EQ(err("select nofunc(1) from dual"), "ORA-00904: \"NOFUNC\": invalid identifier");
  EXPECT_EQ(err("select 1 from dual where"), "ORA-00900: invalid SQL statement");
  EXPECT_EQ(err("insert into t values (null, 2)"),
            "ORA-01400: cannot insert NULL into (\"T\".\"A\")");
  EXPECT_EQ(err("insert into t values ('y', 1)"), "ORA-00001: unique constraint (T.B) violated");
  EXPECT_EQ(err("insert into t values ('y')"), "ORA-00947: not enough values");
  EXPECT_EQ(err("insert into t values ('y', 1, 2)"), "ORA-00913: too many values");
  EXPECT_EQ(err("create table t (c NUMBER)"),
            "ORA-00955: name is already used by an existing object");
  EXPECT_EQ(err("select to_number('x1') from dual"), "ORA-01722: invalid number");
  EXPECT_EQ(vsim::mapSqliteError(SQLITE_INTERRUPT, "interrupted").code, 1013);
  EXPECT_EQ(vsim::mapSqliteError(SQLITE_BUSY, "database is locked").code, 54);
  EXPECT_EQ(vsim::mapSqliteError(SQLITE_READONLY, "attempt to write a readonly database").code,
            16000);
  EXPECT_EQ(vsim::mapSqliteError(SQLITE_ERROR, nullptr).code, 600);
}

}  // namespace
