// Environments, handles, attach and log-on of the client stand-in.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "SimClient.h"
#include "TestSupport.h"

using namespace simtest;

namespace {

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(oci().complete);
    makeDb(dir.file("orcl.db"), std::string(kUsers) +
                                    "CREATE TABLE \"v$instance\"(instance_name TEXT);"
                                    "INSERT INTO \"v$instance\" VALUES('orcl');");
  }
  veltest::TempDir dir;
  veltest::ScopedEnv env{"VELSIM_DIR", dir.path().c_str()};
};

// Counts the allocations made through an environment's callbacks.
struct Counter {
  std::atomic<int> mallocs{0};
  std::atomic<int> frees{0};
};
void* countMalloc(void* ctx, size_t n) {
  ++static_cast<Counter*>(ctx)->mallocs;
  return malloc(n);
}
void* countRealloc(void*, void* p, size_t n) { return realloc(p, n); }
void countFree(void* ctx, void* p) {
  ++static_cast<Counter*>(ctx)->frees;
  free(p);
}

TEST_F(SessionTest, EnvironmentHonoursMemoryCallbacksAndCharsets) {
  Oci& o = oci();
  ASSERT_EQ(OCI_SUCCESS, o.Initialize(3, nullptr, nullptr, nullptr, nullptr));
  void* tmp = nullptr;
  ASSERT_EQ(OCI_SUCCESS, o.EnvCreate(&tmp, 0, nullptr, nullptr, nullptr, nullptr, 0, nullptr));
  const ub2 utf8 = o.NlsCharSetNameToId(tmp, reinterpret_cast<const text*>("AL32UTF8"));
  EXPECT_EQ(873, utf8);
  EXPECT_EQ(0, o.NlsCharSetNameToId(tmp, reinterpret_cast<const text*>("NOSUCHSET")));
  EXPECT_EQ(OCI_SUCCESS, o.HandleFree(tmp, HT_ENV));

  Counter counter;
  void* env = nullptr;
  ASSERT_EQ(OCI_SUCCESS, o.EnvNlsCreate(&env, 3, &counter, countMalloc, countRealloc, countFree, 0,
                                        nullptr, utf8, utf8));
  EXPECT_EQ(1, counter.mallocs.load());
  void* err = nullptr;
  void* stmt = nullptr;
  ASSERT_EQ(OCI_SUCCESS, o.HandleAlloc(env, &err, HT_ERROR, 0, nullptr));
  ASSERT_EQ(OCI_SUCCESS, o.HandleAlloc(env, &stmt, HT_STMT, 0, nullptr));
  EXPECT_EQ(3, counter.mallocs.load());
  // A bind or define handle is never allocated by the caller; unknown types are refused.
  void* other = nullptr;
  EXPECT_EQ(OCI_INVALID_HANDLE, o.HandleAlloc(env, &other, HT_BIND, 0, nullptr));
  EXPECT_EQ(OCI_INVALID_HANDLE, o.HandleAlloc(err, &other, HT_STMT, 0, nullptr));
  // Freeing with the wrong type is refused and frees nothing.
  EXPECT_EQ(OCI_INVALID_HANDLE, o.HandleFree(stmt, HT_ERROR));
  EXPECT_EQ(OCI_SUCCESS, o.HandleFree(stmt, HT_STMT));
  EXPECT_EQ(OCI_SUCCESS, o.HandleFree(err, HT_ERROR));
  EXPECT_EQ(OCI_SUCCESS, o.HandleFree(env, HT_ENV));
  EXPECT_EQ(counter.mallocs.load(), counter.frees.load());
  EXPECT_EQ(OCI_SUCCESS, o.Terminate(0));
}

TEST_F(SessionTest, LogsOnAndReportsAttributesOnTheRightHandles) {
  Conn c;
  ASSERT_EQ(OCI_SUCCESS, c.logon("orcl", "SCOTT", "tiger")) << c.error(-1).text;
  Oci& o = oci();
  ub1 mode = 7;
  EXPECT_EQ(OCI_SUCCESS, o.AttrGet(c.svc, HT_SVCCTX, &mode, nullptr, ATTR_NONBLOCKING, c.err));
  EXPECT_EQ(0, mode);
  c.setNonBlocking(true);
  EXPECT_EQ(OCI_SUCCESS, o.AttrGet(c.svc, HT_SVCCTX, &mode, nullptr, ATTR_NONBLOCKING, c.err));
  EXPECT_EQ(1, mode);
  // Every set toggles the mode, whatever the value: "on" again turns it off, on either handle.
  ub1 on = 1;
  EXPECT_EQ(OCI_SUCCESS, o.AttrSet(c.srv, HT_SERVER, &on, 0, ATTR_NONBLOCKING, c.err));
  EXPECT_EQ(OCI_SUCCESS, o.AttrGet(c.srv, HT_SERVER, &mode, nullptr, ATTR_NONBLOCKING, c.err));
  EXPECT_EQ(0, mode);
  EXPECT_EQ(OCI_SUCCESS, o.AttrSet(c.svc, HT_SVCCTX, &on, 0, ATTR_NONBLOCKING, c.err));
  EXPECT_EQ(OCI_SUCCESS, o.AttrGet(c.srv, HT_SERVER, &mode, nullptr, ATTR_NONBLOCKING, c.err));
  EXPECT_EQ(1, mode);
  void* server = nullptr;
  EXPECT_EQ(OCI_SUCCESS, o.AttrGet(c.svc, HT_SVCCTX, &server, nullptr, ATTR_SERVER, c.err));
  EXPECT_EQ(c.srv, server);
  // An attribute the handle type does not have.
  ub4 count = 0;
  sword rc = o.AttrGet(c.svc, HT_SVCCTX, &count, nullptr, ATTR_PARAM_COUNT, c.err);
  EXPECT_EQ(OCI_ERROR, rc);
  EXPECT_EQ("ORA-24315: illegal attribute type\n", c.error(rc).text);
  rc = o.AttrSet(c.ses, HT_SESSION, &count, 0, ATTR_PREFETCH_ROWS, c.err);
  EXPECT_EQ(24315, c.error(rc).code);
  // A handle given with the wrong type.
  EXPECT_EQ(OCI_INVALID_HANDLE,
            o.AttrGet(c.svc, HT_STMT, &count, nullptr, ATTR_PARAM_COUNT, c.err));
}

TEST_F(SessionTest, LogonChecksUserLockAndRoleInOrder) {
  makeDb(dir.file("asm.db"), std::string(kUsers) +
                                 "CREATE TABLE \"v$instance\"(instance_name TEXT);"
                                 "INSERT INTO \"v$instance\" VALUES('+ASM1');");
  makeDb(dir.file("nousers.db"), "CREATE TABLE t(x);");
  struct Case {
    const char* db;
    const char* user;
    const char* password;
    ub4 mode;
    int code;
  };
  const Case cases[] = {
      {"orcl", "scott", "wrong", 0, 1017},
      {"orcl", "nobody", "tiger", 0, 1017},
      {"orcl", "scott", "TIGER", 0, 1017},      // passwords compare exactly
      {"orcl", "locked", "wrong", 0, 1017},     // the password is checked before the lock
      {"orcl", "locked", "pw", SYSDBA, 28000},  // the lock before the role
      {"orcl", "scott", "tiger", SYSDBA, 1031},
      {"orcl", "sys", "manager", SYSASM, 15000},  // the instance type before the user's roles
      {"asm", "sys", "manager", SYSASM, 1031},    // on ASM, a role the user lacks
      {"orcl", "asmadmin", "asm", SYSASM, 15000},
      {"nousers", "scott", "tiger", 0, 1017},
      {"orcl", "Sys", "manager", SYSOPER, 0},
      {"orcl", "sys", "manager", SYSDBA, 0},
      {"asm", "asmadmin", "asm", SYSASM, 0},
  };
  const char* texts[] = {"ORA-01017: invalid username/password; logon denied\n",
                         "ORA-28000: the account is locked\n",
                         "ORA-01031: insufficient privileges\n",
                         "ORA-15000: command disallowed by current instance type\n"};
  for (const Case& k : cases) {
    Conn c;
    const sword rc = c.logon(k.db, k.user, k.password, k.mode);
    const OraErr e = c.error(rc);
    if (k.code == 0) {
      EXPECT_EQ(OCI_SUCCESS, rc) << k.user << " " << e.text;
      continue;
    }
    EXPECT_EQ(OCI_ERROR, rc) << k.user;
    EXPECT_EQ(k.code, e.code) << k.db << " " << k.user << " " << k.mode;
    bool known = false;
    for (const char* t : texts) known = known || e.text == t;
    EXPECT_TRUE(known) << e.text;
  }
}

TEST_F(SessionTest, SessionEndAndDetachReleaseTheDatabase) {
  Conn c;
  ASSERT_EQ(OCI_SUCCESS, c.logon("orcl", "scott", "tiger"));
  Stmt s(c);
  ASSERT_EQ(OCI_SUCCESS, s.prepare("insert into \"v$instance\" values ('x')"));
  ASSERT_EQ(OCI_SUCCESS, s.execute(1));  // not committed yet
  Oci& o = oci();
  // Log-off commits, as a normal Oracle log-off does.
  ASSERT_EQ(OCI_SUCCESS, o.SessionEnd(c.svc, c.err, c.ses, 0));
  c.loggedOn = false;
  sword rc = s.execute(1);
  EXPECT_EQ(OCI_ERROR, rc);
  EXPECT_EQ(1012, c.error(rc).code);
  rc = o.SessionEnd(c.svc, c.err, c.ses, 0);
  EXPECT_EQ(1012, c.error(rc).code);
  ASSERT_EQ(OCI_SUCCESS, o.ServerDetach(c.srv, c.err, 0));
  c.attached = false;
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(dir.file("orcl.db").c_str(), &db));
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(SQLITE_OK,
            sqlite3_prepare_v2(db, "select count(*) from \"v$instance\"", -1, &st, nullptr));
  ASSERT_EQ(SQLITE_ROW, sqlite3_step(st));
  EXPECT_EQ(2, sqlite3_column_int(st, 0));
  sqlite3_finalize(st);
  sqlite3_close(db);
}

}  // namespace
