// Non-blocking calls, OCIBreak and OCIReset, and the statement faults of the client stand-in.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "SimClient.h"
#include "TestSupport.h"

using namespace simtest;
using Clock = std::chrono::steady_clock;

namespace {

class NonBlockingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(oci().complete);
    makeDb(dir.file("orcl.db"),
           std::string(kUsers) +
               "CREATE TABLE sim_faults(kind TEXT, pattern TEXT, code INTEGER, delay_ms INTEGER);"
               "CREATE TABLE t(n NUMBER, s VARCHAR2(10));"
               "INSERT INTO t VALUES(1,'one');INSERT INTO t VALUES(2,'two');");
    ASSERT_EQ(OCI_SUCCESS, conn.logon("orcl", "scott", "tiger")) << conn.error(-1).text;
  }

  void fault(const std::string& values) {
    makeDb(dir.file("orcl.db"), "INSERT INTO sim_faults VALUES(" + values + ");");
  }

  // Re-issues a call until it stops answering OCI_STILL_EXECUTING; counts the calls.
  template <class Call>
  sword poll(Call call, int* calls = nullptr) {
    sword rc;
    int n = 1;
    const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(10);
    while ((rc = call()) == OCI_STILL_EXECUTING) {
      if (Clock::now() > giveUp) return -999;  // fails the test instead of hanging it
      ++n;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (calls) *calls = n;
    return rc;
  }

  // A query that works: the context is usable.
  void expectUsable() {
    Stmt s(conn);
    char v[10] = {0};
    ASSERT_EQ(OCI_SUCCESS, s.prepare("select s from t where n = 2"));
    ASSERT_EQ(OCI_SUCCESS, s.define(1, v, sizeof v, SQLT_STR));
    ASSERT_EQ(OCI_SUCCESS, poll([&] { return s.execute(); })) << conn.error(-1).text;
    ASSERT_EQ(OCI_SUCCESS, poll([&] { return s.fetch(); }));
    EXPECT_STREQ("two", v);
  }

  veltest::TempDir dir;
  veltest::ScopedEnv env{"VELSIM_DIR", dir.path().c_str()};
  Conn conn;
};

TEST_F(NonBlockingTest, SlowStatementIsPolledToCompletionAndRefusesOtherCalls) {
  fault("'delay','slow_marker',0,300");
  conn.setNonBlocking(true);
  Stmt s(conn), other(conn);
  ASSERT_EQ(OCI_SUCCESS, s.prepare("select n /* slow_marker */ from t order by n"));
  OCINumber n{};
  ASSERT_EQ(OCI_SUCCESS, s.define(1, &n, sizeof n, SQLT_VNU));
  EXPECT_EQ(OCI_STILL_EXECUTING, s.execute());
  // Another call on the context while one runs is refused.
  ASSERT_EQ(OCI_SUCCESS, other.prepare("select n from t"));
  const sword rc = other.execute();
  EXPECT_EQ(OCI_ERROR, rc);
  EXPECT_EQ(3127, conn.error(rc).code);
  int calls = 0;
  EXPECT_EQ(OCI_SUCCESS, poll([&] { return s.execute(); }, &calls));
  EXPECT_GT(calls, 1);
  EXPECT_EQ(OCI_SUCCESS, poll([&] { return s.fetch(); }));
  EXPECT_EQ(OCI_SUCCESS, poll([&] { return s.fetch(); }));
  EXPECT_EQ(OCI_NO_DATA, poll([&] { return s.fetch(); }));
  // Statements without the pattern are not delayed; the blocking mode runs inline.
  conn.setNonBlocking(false);
  expectUsable();
}

// A query still busy after the grace time on the caller's thread starts over on the worker and
// gives the whole answer.
TEST_F(NonBlockingTest, AQueryPastTheGraceTimeIsRerunAndAnswersInFull) {
  conn.setNonBlocking(true);
  Stmt s(conn);
  ASSERT_EQ(OCI_SUCCESS, s.prepare("with r(i) as (select 1 from dual union all select i + 1 from "
                                   "r where i < 400000) select count(*) from r"));
  char v[16] = {0};
  ASSERT_EQ(OCI_SUCCESS, s.define(1, v, sizeof v, SQLT_STR));
  int calls = 0;
  ASSERT_EQ(OCI_SUCCESS, poll([&] { return s.execute(); }, &calls)) << conn.error(-1).text;
  EXPECT_GT(calls, 1);
  ASSERT_EQ(OCI_SUCCESS, poll([&] { return s.fetch(); }));
  EXPECT_STREQ("400000", v);
}

TEST_F(NonBlockingTest, BreakCancelsADelayedStatementAndResetRestoresTheContext) {
  fault("'delay','slow_marker',0,5000");
  conn.setNonBlocking(true);
  Stmt s(conn);
  ASSERT_EQ(OCI_SUCCESS, s.prepare("select n /* slow_marker */ from t"));
  ASSERT_EQ(OCI_STILL_EXECUTING, s.execute());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(OCI_STILL_EXECUTING, s.execute());
  const Clock::time_point broke = Clock::now();
  ASSERT_EQ(OCI_SUCCESS, oci().Break(conn.svc, conn.err));
  const sword rc = poll([&] { return s.execute(); });
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - broke).count();
  EXPECT_EQ(OCI_ERROR, rc);
  EXPECT_EQ("ORA-01013: user requested cancel of current operation\n", conn.error(rc).text);
  // Cancelled, not run to its end: the statement would have taken 5 s.
  EXPECT_LT(ms, 2500);
  ASSERT_EQ(OCI_SUCCESS, oci().Reset(conn.svc, conn.err));
  expectUsable();
}

TEST_F(NonBlockingTest, BreakInterruptsALongSqliteQuery) {
  conn.setNonBlocking(true);
  Stmt s(conn);
  ASSERT_EQ(OCI_SUCCESS,
            s.prepare("with r(i) as (select 1 from dual union all select i + 1 from r where i < "
                      "1000000000) select count(*) from r"));
  ASSERT_EQ(OCI_STILL_EXECUTING, s.execute());
  const Clock::time_point broke = Clock::now();
  ASSERT_EQ(OCI_SUCCESS, oci().Break(conn.svc, conn.err));
  const sword rc = poll([&] { return s.execute(); });
  EXPECT_EQ(1013, conn.error(rc).code);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - broke).count(),
            200);
  ASSERT_EQ(OCI_SUCCESS, oci().Reset(conn.svc, conn.err));
  expectUsable();
}

TEST_F(NonBlockingTest, SlowFetchRunsOnTheWorkerAndBreaks) {
  conn.setNonBlocking(true);
  Stmt s(conn);
  // 1500 quick rows, then a row that needs a long scan; with 1000 rows read ahead at a time the
  // second read-ahead is the slow one.
  ASSERT_EQ(OCI_SUCCESS,
            s.prepare("with r(i) as (select 1 from dual union all select i + 1 from r where i < "
                      "1000000000) select i from r where i <= 1500 or i = 1000000000"));
  ub4 prefetch = 1000;
  ASSERT_EQ(OCI_SUCCESS, oci().AttrSet(s.h, HT_STMT, &prefetch, 0, ATTR_PREFETCH_ROWS, conn.err));
  OCINumber n{};
  ASSERT_EQ(OCI_SUCCESS, s.define(1, &n, sizeof n, SQLT_VNU));
  ASSERT_EQ(OCI_SUCCESS, poll([&] { return s.execute(); }));
  sword rc;
  int rows = 0, still = 0;
  const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(10);
  while (((rc = s.fetch()) == OCI_SUCCESS || rc == OCI_STILL_EXECUTING) && Clock::now() < giveUp) {
    if (rc == OCI_SUCCESS) {
      ++rows;
      continue;
    }
    if (++still == 3) oci().Break(conn.svc, conn.err);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(1500, rows);
  EXPECT_GE(still, 3);
  EXPECT_EQ(1013, conn.error(rc).code);
  ASSERT_EQ(OCI_SUCCESS, oci().Reset(conn.svc, conn.err));
  expectUsable();
}

TEST_F(NonBlockingTest, ALongFetchComesWholeAndInOrderAcrossItsReadAheads) {
  conn.setNonBlocking(true);
  // Narrow rows make the read-ahead grow from 256 rows a trip to its cap; rows of 20,000 bytes
  // end each trip at 4 MiB, short of its 256 rows.
  const struct {
    int rows;
    size_t width;  // 0: the number alone
  } cases[] = {{20000, 0}, {3000, 20000}};
  for (const auto& c : cases) {
    Stmt s(conn);
    const std::string value = c.width ? "printf('%" + std::to_string(c.width) + "d', i)" : "i";
    ASSERT_EQ(OCI_SUCCESS, s.prepare("with r(i) as (select 1 from dual union all select i + 1 "
                                     "from r where i < " +
                                     std::to_string(c.rows) + ") select " + value + " from r"));
    std::string v(c.width + 16, '\0');
    ASSERT_EQ(OCI_SUCCESS, s.define(1, &v[0], static_cast<sb4>(v.size()), SQLT_STR));
    ASSERT_EQ(OCI_SUCCESS, poll([&] { return s.execute(); }));
    sword rc;
    int rows = 0;
    while ((rc = poll([&] { return s.fetch(); })) == OCI_SUCCESS &&
           std::atoi(v.c_str()) == rows + 1 && (c.width == 0 || std::strlen(v.c_str()) == c.width))
      ++rows;
    EXPECT_EQ(OCI_NO_DATA, rc) << c.rows << " rows: stopped after row " << rows;
    EXPECT_EQ(c.rows, rows);
  }
}

}  // namespace
