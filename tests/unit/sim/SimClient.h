// A small OCI client for the tests of the client stand-in: it loads build/sim/libclntsh.so with
// dlopen and resolves the entry points by name, as the program does, and declares the OCI types
// and constants it needs itself. Databases are made with the SQLite API.
#ifndef VEL_TESTS_UNIT_SIM_SIMCLIENT_H
#define VEL_TESTS_UNIT_SIM_SIMCLIENT_H

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace simtest {

typedef unsigned char ub1;
typedef signed short sb2;
typedef unsigned short ub2;
typedef unsigned int ub4;
typedef signed int sb4;
typedef int sword;
typedef unsigned int uword;
typedef unsigned char text;

struct OCINumber {
  ub1 bytes[22];
};

enum : sword {
  OCI_SUCCESS = 0,
  OCI_SUCCESS_WITH_INFO = 1,
  OCI_ERROR = -1,
  OCI_INVALID_HANDLE = -2,
  OCI_NO_DATA = 100,
  OCI_STILL_EXECUTING = -3123
};
enum : ub4 {
  HT_ENV = 1,
  HT_ERROR = 2,
  HT_SVCCTX = 3,
  HT_STMT = 4,
  HT_BIND = 5,
  HT_SERVER = 8,
  HT_SESSION = 9,
  DT_PARAM = 53
};
enum : ub4 { SYSDBA = 2, SYSOPER = 4, SYSASM = 0x8000 };
enum : ub4 { COMMIT_ON_SUCCESS = 0x20 };
enum : ub4 {
  ATTR_DATA_SIZE = 1,
  ATTR_DATA_TYPE = 2,
  ATTR_NONBLOCKING = 3,
  ATTR_NAME = 4,
  ATTR_SERVER = 6,
  ATTR_SESSION = 7,
  ATTR_PREFETCH_ROWS = 11,
  ATTR_PARAM_COUNT = 18,
  ATTR_USERNAME = 22,
  ATTR_PASSWORD = 23,
  ATTR_STMT_TYPE = 24,
  ATTR_STATEMENT = 144,
  ATTR_CHAR_USED = 285,
  ATTR_CHAR_SIZE = 286
};
enum : ub2 {
  SQLT_STR = 5,
  SQLT_VNU = 6,
  SQLT_LNG = 8,
  SQLT_LBI = 24,
  SQLT_BLOB = 113,
};

typedef void* (*MallocFp)(void*, size_t);
typedef void* (*ReallocFp)(void*, void*, size_t);
typedef void (*FreeFp)(void*, void*);

// The entry points, resolved by name.
struct Oci {
  // Loaded at construction; complete tells whether every entry point was found.
  void* lib = dlopen(VEL_SIM_LIB, RTLD_NOW);
  bool complete = lib != nullptr;

  template <class F>
  F resolve(const char* name) {
    F fn = lib != nullptr ? reinterpret_cast<F>(dlsym(lib, name)) : nullptr;
    if (fn == nullptr) complete = false;
    return fn;
  }

// An entry point OCI<name> of the library, resolved when the object is made.
#define SIMTEST_OCI(ret, name, ...) \
  ret (*name)(__VA_ARGS__) = resolve<ret (*)(__VA_ARGS__)>("OCI" #name)
  SIMTEST_OCI(sword, ErrorGet, void*, ub4, text*, sb4*, text*, ub4, ub4);
  SIMTEST_OCI(sword, NumberToText, void*, const OCINumber*, const text*, ub4, const text*, ub4,
              ub4*, text*);
  SIMTEST_OCI(sword, NumberRound, void*, const OCINumber*, sword, OCINumber*);
  SIMTEST_OCI(sword, NumberShift, void*, const OCINumber*, sword, OCINumber*);
  SIMTEST_OCI(sword, BindByName, void*, void**, void*, const text*, sb4, void*, sb4, ub2, void*,
              ub2*, ub2*, ub4, ub4*, ub4);
  SIMTEST_OCI(sword, DefineByPos, void*, void**, void*, ub4, void*, sb4, ub2, void*, ub2*, ub2*,
              ub4);
  SIMTEST_OCI(sword, EnvNlsCreate, void**, ub4, void*, MallocFp, ReallocFp, FreeFp, size_t, void**,
              ub2, ub2);
  SIMTEST_OCI(sword, HandleFree, void*, ub4);
  SIMTEST_OCI(ub2, NlsCharSetNameToId, void*, const text*);
  SIMTEST_OCI(sword, HandleAlloc, const void*, void**, ub4, size_t, void**);
  SIMTEST_OCI(sword, EnvCreate, void**, ub4, const void*, MallocFp, ReallocFp, FreeFp, size_t,
              void**);
  SIMTEST_OCI(sword, Terminate, ub4);
  SIMTEST_OCI(sword, SessionBegin, void*, void*, void*, ub4, ub4);
  SIMTEST_OCI(sword, ServerAttach, void*, void*, const text*, sb4, ub4);
  SIMTEST_OCI(sword, ServerDetach, void*, void*, ub4);
  SIMTEST_OCI(sword, SessionEnd, void*, void*, void*, ub4);
  SIMTEST_OCI(sword, DescriptorFree, void*, ub4);
  SIMTEST_OCI(sword, ParamGet, const void*, ub4, void*, void**, ub4);
  SIMTEST_OCI(sword, AttrGet, const void*, ub4, void*, ub4*, ub4, void*);
  SIMTEST_OCI(sword, StmtExecute, void*, void*, void*, ub4, ub4, const void*, void*, ub4);
  SIMTEST_OCI(sword, StmtPrepare, void*, void*, const text*, ub4, ub4, ub4);
  SIMTEST_OCI(sword, Initialize, ub4, const void*, MallocFp, ReallocFp, FreeFp);
  SIMTEST_OCI(sword, AttrSet, void*, ub4, void*, ub4, ub4, void*);
  SIMTEST_OCI(sword, Break, void*, void*);
  SIMTEST_OCI(sword, Reset, void*, void*);
  SIMTEST_OCI(sword, StmtFetch2, void*, void*, ub4, ub2, sb4, ub4);
#undef SIMTEST_OCI
};

// The library, loaded once per test process.
inline Oci& oci() {
  static Oci instance;
  return instance;
}

// Runs SQL on a new database file (created if missing); fails the test on error.
inline void makeDb(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
  char* msg = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
  const std::string err = msg ? msg : "";
  sqlite3_free(msg);
  sqlite3_close(db);
  ASSERT_EQ(SQLITE_OK, rc) << err;
}

// The usual users of a test database.
inline const char* kUsers =
    "CREATE TABLE sim_users(username TEXT, password TEXT, roles TEXT, locked INTEGER DEFAULT 0);"
    "INSERT INTO sim_users VALUES('scott','tiger','',0);"
    "INSERT INTO sim_users VALUES('sys','manager','SYSDBA,SYSOPER',0);"
    "INSERT INTO sim_users VALUES('asmadmin','asm','SYSASM',0);"
    "INSERT INTO sim_users VALUES('locked','pw','',1);";

// One error handle's first record.
struct OraErr {
  sword status = 0;
  sb4 code = 0;
  std::string text;
};

inline OraErr lastError(void* errhp, sword status) {
  OraErr e;
  e.status = status;
  text buf[1024] = {0};
  if (oci().ErrorGet(errhp, 1, nullptr, &e.code, buf, sizeof buf, HT_ERROR) == OCI_SUCCESS) {
    e.text = reinterpret_cast<char*>(buf);
  }
  return e;
}

// An environment, error handle and (optionally) a logged-on session.
class Conn {
 public:
  Conn() {
    Oci& o = oci();
    o.EnvNlsCreate(&env, 0, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 873, 873);
    o.HandleAlloc(env, &err, HT_ERROR, 0, nullptr);
  }
  ~Conn() {
    logoff();
    Oci& o = oci();
    if (err) o.HandleFree(err, HT_ERROR);
    if (env) o.HandleFree(env, HT_ENV);
  }
  Conn(const Conn&) = delete;
  Conn& operator=(const Conn&) = delete;

  // Attaches and logs on; returns the status of the first failing call (OCI_SUCCESS when all
  // went well) and leaves the error record in err.
  sword logon(const std::string& connect, const std::string& user, const std::string& password,
              ub4 mode = 0) {
    Oci& o = oci();
    o.HandleAlloc(env, &srv, HT_SERVER, 0, nullptr);
    o.HandleAlloc(env, &svc, HT_SVCCTX, 0, nullptr);
    o.HandleAlloc(env, &ses, HT_SESSION, 0, nullptr);
    sword rc = o.ServerAttach(srv, err, reinterpret_cast<const text*>(connect.c_str()),
                              static_cast<sb4>(connect.size()), 0);
    if (rc != OCI_SUCCESS) return rc;
    attached = true;
    o.AttrSet(svc, HT_SVCCTX, srv, 0, ATTR_SERVER, err);
    o.AttrSet(ses, HT_SESSION, const_cast<char*>(user.c_str()), static_cast<ub4>(user.size()),
              ATTR_USERNAME, err);
    o.AttrSet(ses, HT_SESSION, const_cast<char*>(password.c_str()),
              static_cast<ub4>(password.size()), ATTR_PASSWORD, err);
    rc = o.SessionBegin(svc, err, ses, 1, mode);
    if (rc != OCI_SUCCESS) return rc;
    loggedOn = true;
    o.AttrSet(svc, HT_SVCCTX, ses, 0, ATTR_SESSION, err);
    return OCI_SUCCESS;
  }

  // The mode toggles with every set, as in a real client: it is set only when it must change.
  void setNonBlocking(bool on) {
    ub1 v = 0;
    oci().AttrGet(srv, HT_SERVER, &v, nullptr, ATTR_NONBLOCKING, err);
    if ((v != 0) != on) oci().AttrSet(srv, HT_SERVER, &v, 0, ATTR_NONBLOCKING, err);
  }

  void logoff() {
    Oci& o = oci();
    if (loggedOn) {
      setNonBlocking(false);
      o.SessionEnd(svc, err, ses, 0);
    }
    if (attached) o.ServerDetach(srv, err, 0);
    loggedOn = attached = false;
    if (ses) o.HandleFree(ses, HT_SESSION);
    if (svc) o.HandleFree(svc, HT_SVCCTX);
    if (srv) o.HandleFree(srv, HT_SERVER);
    ses = svc = srv = nullptr;
  }

  OraErr error(sword status) const { return lastError(err, status); }

  void* env = nullptr;
  void* err = nullptr;
  void* srv = nullptr;
  void* svc = nullptr;
  void* ses = nullptr;
  bool attached = false;
  bool loggedOn = false;
};

// A statement handle freed with the object.
class Stmt {
 public:
  explicit Stmt(Conn& c) : m_conn(c) { oci().HandleAlloc(c.env, &h, HT_STMT, 0, nullptr); }
  ~Stmt() {
    if (h) oci().HandleFree(h, HT_STMT);
  }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  sword prepare(const std::string& sql) {
    return oci().StmtPrepare(h, m_conn.err, reinterpret_cast<const text*>(sql.c_str()),
                             static_cast<ub4>(sql.size()), 1, 0);
  }
  sword bind(const char* name, void* value, sb4 size, ub2 type, sb2* ind = nullptr) {
    void* b = nullptr;
    return oci().BindByName(h, &b, m_conn.err, reinterpret_cast<const text*>(name), -1, value, size,
                            type, ind, nullptr, nullptr, 0, nullptr, 0);
  }
  sword define(ub4 pos, void* value, sb4 size, ub2 type, sb2* ind = nullptr, ub2* rcode = nullptr) {
    void* d = nullptr;
    return oci().DefineByPos(h, &d, m_conn.err, pos, value, size, type, ind, nullptr, rcode, 0);
  }
  sword execute(ub4 iters = 0, ub4 mode = 0) {
    return oci().StmtExecute(m_conn.svc, h, m_conn.err, iters, 0, nullptr, nullptr, mode);
  }
  sword fetch() { return oci().StmtFetch2(h, m_conn.err, 1, 2, 1, 0); }

  void* h = nullptr;

 private:
  Conn& m_conn;
};

}  // namespace simtest

#endif  // VEL_TESTS_UNIT_SIM_SIMCLIENT_H
