// The call interface of the client stand-in: its own declarations of the OCI scalar types and
// constants (64-bit Linux values), and the handle structures behind the opaque OCI handle types.
// Every handle is allocated through its environment's memory callbacks.
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "SimDialect.h"
#include "ocidefs.h"

typedef unsigned char ub1;
typedef signed char sb1;
typedef unsigned short ub2;
typedef signed short sb2;
typedef unsigned int ub4;
typedef signed int sb4;
typedef int sword;
typedef unsigned int uword;
typedef unsigned char text;

#define VSIM_API extern "C" __attribute__((visibility("default")))

namespace vsim {

// Return codes.
constexpr sword kSuccess = 0;
constexpr sword kSuccessWithInfo = 1;
constexpr sword kError = -1;
constexpr sword kInvalidHandle = -2;
constexpr sword kNoData = 100;
constexpr sword kStillExecuting = -3123;

// Handle and descriptor types.
constexpr ub4 kHtEnv = 1, kHtError = 2, kHtSvcCtx = 3, kHtStmt = 4, kHtBind = 5, kHtDefine = 6,
              kHtDescribe = 7, kHtServer = 8, kHtSession = 9, kDtParam = 53;

// Session credentials and modes.
constexpr ub4 kCredRdbms = 1;
constexpr ub4 kSysdba = 0x2, kSysoper = 0x4, kSysasm = 0x8000;

// Execute and fetch modes.
constexpr ub4 kDescribeOnly = 0x10, kCommitOnSuccess = 0x20, kParseOnly = 0x100;
constexpr ub2 kFetchNext = 0x02;
constexpr uword kNumberUnsigned = 0, kNumberSigned = 2;

// Attributes.
constexpr ub4 kAttrDataSize = 1, kAttrDataType = 2, kAttrNonblocking = 3, kAttrName = 4,
              kAttrServer = 6, kAttrSession = 7, kAttrSqlFnCode = 10, kAttrPrefetchRows = 11,
              kAttrPrefetchMemory = 13, kAttrParamCount = 18, kAttrUsername = 22,
              kAttrPassword = 23, kAttrStmtType = 24, kAttrCharsetId = 31, kAttrMaxDataSize = 33,
              kAttrStatement = 144, kAttrMaxCharSize = 163, kAttrStmtState = 182,
              kAttrCharUsed = 285, kAttrCharSize = 286;

// External data types.
constexpr ub2 kSqltChr = 1, kSqltNum = 2, kSqltInt = 3, kSqltStr = 5, kSqltVnu = 6, kSqltLng = 8,
              kSqltDat = 12, kSqltBin = 23, kSqltLbi = 24, kSqltAfc = 96, kSqltBlob = 113,
              kSqltIbFloat = 100, kSqltIbDouble = 101, kSqltClob = 112, kSqltRset = 116,
              kSqltOdt = 156, kSqltTimestamp = 187, kSqltTimestampTz = 188, kSqltTimestampLtz = 232;

// Character sets.
constexpr ub2 kAl32Utf8 = 873;

typedef void* (*MallocFp)(void* ctx, size_t size);
typedef void* (*ReallocFp)(void* ctx, void* mem, size_t size);
typedef void (*FreeFp)(void* ctx, void* mem);

// One error record as OCIErrorGet hands it out: code 942 and the whole message,
// "ORA-00942: table or view does not exist\n".
struct ErrRec {
  int code = 0;
  std::string text;
};
typedef std::vector<ErrRec> ErrList;

// Oracle's text for a code ("table or view does not exist"); null when the code is not known.
const char* knownErrorText(int code);
// A record for code with Oracle's text, or "simulated fault" for a code without one.
ErrRec makeErr(int code, const std::string& text = std::string());

// A value as the stand-in carries it between SQLite and the caller's buffers.
struct Val {
  enum Type { Null, Int, Real, Text, Blob } type = Null;
  int64_t i = 0;
  double d = 0;
  std::string s;  // Text and Blob
};

// Reads column col of the current row of st.
Val columnVal(sqlite3_stmt* st, int col);
// Binds v to parameter idx (1-based) of st; returns the SQLite result.
int bindVal(sqlite3_stmt* st, int idx, const Val& v);

constexpr ub4 kMagic = 0x564d5348;

}  // namespace vsim

struct OCIEnv;
struct OCIStmt;
struct OCISvcCtx;

// Every handle starts with this header, so that a pointer can be checked before use.
struct VsimHandle {
  ub4 magic = vsim::kMagic;
  ub4 htype = 0;
  OCIEnv* env = nullptr;
  void* userMem = nullptr;  // extra memory asked for at allocation
};

struct OCIEnv : VsimHandle {
  ub4 mode = 0;
  void* ctx = nullptr;
  vsim::MallocFp mallocFp = nullptr;
  vsim::ReallocFp reallocFp = nullptr;
  vsim::FreeFp freeFp = nullptr;
  ub2 charset = vsim::kAl32Utf8;
  ub2 ncharset = vsim::kAl32Utf8;
  vsim::ErrList errors;  // of the last failed call made with the environment as error target
};

struct OCIError : VsimHandle {
  vsim::ErrList records;
};

struct OCIServer : VsimHandle {
  std::string path;  // database file; empty until attached
  bool attached = false;
  std::atomic<bool> dropped{false};  // a drop fault struck: calls fail with ORA-03114
  std::atomic<bool> nonblocking{false};
  OCISvcCtx* svc = nullptr;  // the service context it was set on (for OCIBreak on a server)
};

struct OCISession : VsimHandle {
  std::string username;
  std::string password;
  sqlite3* db = nullptr;  // the session's own connection; null unless begun
  OCIServer* server = nullptr;
  std::set<OCIStmt*> cursors;      // statements holding an open cursor of db
  sqlite3_stmt* faults = nullptr;  // the prepared read of sim_faults, kept for the session
  // Queries of this session already prepared and not in use, by their SQLite text, the most
  // recently used last (see prepareQuery).
  std::vector<std::pair<std::string, sqlite3_stmt*>> idleQueries;
};

// The service context also owns the machinery of non-blocking calls: at most one call runs on a
// worker thread; the same call made again collects its result.
struct OCISvcCtx : VsimHandle {
  OCIServer* server = nullptr;
  OCISession* session = nullptr;

  enum Op { None, Execute, Fetch, SessionEnd };
  std::mutex mu;
  std::condition_variable cv;
  // All guarded by mu.
  Op op = None;                 // the call in progress (or finished but not collected)
  const void* opKey = nullptr;  // its statement or session
  bool opDone = false;
  sword opStatus = 0;
  vsim::ErrList opErrors;
  std::function<sword(vsim::ErrList*)> task;  // handed to the worker, not yet taken
  bool stopWorker = false;                    // set when the context is freed
  // Started by the first non-blocking call; runs the calls one after the other until the
  // context is freed, as a real client's connection keeps its socket.
  std::thread worker;
  // Set by OCIBreak, cleared when a call starts and by OCIReset; read without the lock by the
  // SQLite progress handler.
  std::atomic<bool> breakRequested{false};
  sqlite3* activeDb = nullptr;  // the connection a running call uses (for the interrupt)
  // A query's execute first runs on the caller's thread (see runCall). Written by that thread
  // only; atomic because the worker's progress handler reads them too.
  std::atomic<bool> inlineRun{false};       // the call runs on the caller's thread
  std::atomic<long long> inlineUntilNs{0};  // steady-clock deadline of that run once armed
  std::atomic<bool> inlineGaveUp{false};    // the run passed its deadline or met a delay
};

struct OCIBind : VsimHandle {
  OCIStmt* stmt = nullptr;
  std::string name;  // upper-case, without ':'
  void* valuep = nullptr;
  sb4 valueSize = 0;
  ub2 dty = 0;
  sb2* indp = nullptr;
  ub2* alenp = nullptr;
  ub2* rcodep = nullptr;
  ub4 maxDataSize = 0;
};

struct OCIDefine : VsimHandle {
  OCIStmt* stmt = nullptr;
  ub4 position = 0;
  void* valuep = nullptr;
  sb4 valueSize = 0;
  ub2 dty = 0;
  sb2* indp = nullptr;
  ub2* rlenp = nullptr;
  ub2* rcodep = nullptr;
};

// A column as a describe reports it.
struct VsimColumn {
  std::string name;
  ub2 type = 0;
  ub2 dataSize = 0;
  ub2 charSize = 0;
  ub1 charUsed = 0;
};

struct OCIParam : VsimHandle {
  OCIStmt* stmt = nullptr;
  VsimColumn col;
};

struct OCIStmt : VsimHandle {
  std::string text;  // as prepared
  bool prepared = false;
  vsim::SqlText sql;
  std::vector<vsim::PlsqlStep> steps;  // PL/SQL blocks
  std::vector<OCIBind*> binds;
  std::vector<OCIDefine*> defines;  // index = position - 1; null where none
  std::set<OCIParam*> params;       // describe descriptors still alive
  ub4 prefetchRows = 1;

  // The open cursor; set by execute (or by a PL/SQL block opening it as a ref cursor).
  OCISvcCtx* svc = nullptr;
  OCISession* session = nullptr;
  sqlite3_stmt* cursor = nullptr;
  std::vector<VsimColumn> columns;
  bool executed = false;
  bool exhausted = false;                    // SQLite reported the last row
  bool endReported = false;                  // OCI_NO_DATA was returned once
  std::vector<std::vector<vsim::Val>> rows;  // prefetched rows not handed out yet
  size_t nextRow = 0;
  std::string cursorKey;    // the cursor's SQLite text when it may be kept for the session
  long dropAfterRows = -1;  // a 'fetchdrop' fault: the fetch after this many rows loses the session
  size_t lastTripRows = 0;  // rows the last read-ahead asked for; 0 before the first
  size_t lastTripBytes = 0;   // text and raw bytes that read-ahead brought
  vsim::ErrRec pendingError;  // a failure met while prefetching, reported after the rows
  ub4 rowCount = 0;
};

// Shared by the entry-point files.
namespace vsim {

void* envAlloc(OCIEnv* env, size_t size);
void envFree(OCIEnv* env, void* mem);

// A new handle of type T from env's memory; null when the memory callback fails.
template <class T>
T* newHandle(OCIEnv* env, ub4 type) {
  void* mem = envAlloc(env, sizeof(T));
  if (mem == nullptr) return nullptr;
  T* h = new (mem) T();
  h->htype = type;
  h->env = env;
  return h;
}

template <class T>
void deleteHandle(T* h) {
  if (h == nullptr) return;
  OCIEnv* env = h->env;
  h->magic = 0;
  h->~T();
  envFree(env, h);
}

// True when p is a live handle of the given type.
bool isHandle(const void* p, ub4 type);

// Replaces the records of err (which may be null) and returns OCI_ERROR. Calls that succeed
// leave the records alone.
sword fail(OCIError* err, const ErrRec& e);
sword failCode(OCIError* err, int code, const std::string& text = std::string());
void setErrors(OCIError* err, const ErrList& list);

// Runs a call of a service context: inline in blocking mode; in non-blocking mode on the
// context's worker thread, answering OCI_STILL_EXECUTING until the same call (op, key) made again
// finds it done. fn fills its own error list; the records reach err when the result is handed out.
// A rerunnable call (a query's execute: it starts by closing its cursor) first runs on the
// caller's thread and is handed to the worker only when it does not finish quickly.
sword runCall(OCISvcCtx* svc, OCIError* err, OCISvcCtx::Op op, const void* key,
              const std::function<sword(ErrList*)>& fn, bool rerunnable = false);

// True while the call (op, key) runs or waits to be collected.
bool callPending(OCISvcCtx* svc, OCISvcCtx::Op op, const void* key);

// Waits up to seconds; false when OCIBreak cut the wait short.
bool breakableSleep(OCISvcCtx* svc, double seconds);
// True when OCIBreak was called during the current call.
bool breakRequested(OCISvcCtx* svc);
// Records the connection a running call uses, so that OCIBreak can interrupt it.
void setActiveDb(OCISvcCtx* svc, sqlite3* db);
// Starts the clock of a call running on the caller's thread (nothing when it runs elsewhere):
// from here on it gives up once the grace time has passed.
void armInlineDeadline(OCISvcCtx* svc);

// Statement cursor helpers used when a session ends.
void closeCursor(OCIStmt* stmt);

// The sim_faults rows that apply to a statement text.
struct FaultPlan {
  int delayMs = 0;
  bool drop = false;
  int errorCode = 0;
  int dropAfterRows = -1;  // 'fetchdrop': the session is lost once this many rows were fetched
};
FaultPlan readFaults(OCISession* ses, const std::string& statement);

// Finalizes the session's parked statements (before its connection closes).
void dropIdleQueries(OCISession* ses);

}  // namespace vsim

// ---- checked against the program's declarations (ocidefs.h) ---------------------------------
// Each entry point is declared again with the program's own function type: a definition of the
// stand-in that departs from it is a conflicting declaration of a C function and does not
// compile. The constants are compared the same way.
#define VSIM_AS_DECLARED(name) VSIM_API std::remove_pointer_t<name##_t> name
VSIM_AS_DECLARED(OCIErrorGet);
VSIM_AS_DECLARED(OCINumberSetZero);
VSIM_AS_DECLARED(OCINumberToInt);
VSIM_AS_DECLARED(OCINumberToText);
VSIM_AS_DECLARED(OCINumberRound);
VSIM_AS_DECLARED(OCINumberShift);
VSIM_AS_DECLARED(OCIBindByName);
VSIM_AS_DECLARED(OCIDefineByPos);
VSIM_AS_DECLARED(OCIInitialize);
VSIM_AS_DECLARED(OCIEnvCreate);
VSIM_AS_DECLARED(OCIEnvNlsCreate);
VSIM_AS_DECLARED(OCINlsCharSetNameToId);
VSIM_AS_DECLARED(OCINlsGetInfo);
VSIM_AS_DECLARED(OCIHandleAlloc);
VSIM_AS_DECLARED(OCIHandleFree);
VSIM_AS_DECLARED(OCIDescriptorFree);
VSIM_AS_DECLARED(OCITerminate);
VSIM_AS_DECLARED(OCIServerAttach);
VSIM_AS_DECLARED(OCIServerDetach);
VSIM_AS_DECLARED(OCISessionBegin);
VSIM_AS_DECLARED(OCISessionEnd);
VSIM_AS_DECLARED(OCIParamGet);
VSIM_AS_DECLARED(OCIAttrGet);
VSIM_AS_DECLARED(OCIAttrSet);
VSIM_AS_DECLARED(OCIStmtPrepare);
VSIM_AS_DECLARED(OCIStmtExecute);
VSIM_AS_DECLARED(OCIStmtFetch2);
VSIM_AS_DECLARED(OCIStmtRelease);
VSIM_AS_DECLARED(OCIBreak);
VSIM_AS_DECLARED(OCIReset);
VSIM_AS_DECLARED(OCIClientVersion);
#undef VSIM_AS_DECLARED

namespace vsim {
static_assert(kSuccess == OCI_SUCCESS && kSuccessWithInfo == OCI_SUCCESS_WITH_INFO &&
                  kError == OCI_ERROR && kInvalidHandle == OCI_INVALID_HANDLE &&
                  kNoData == OCI_NO_DATA && kStillExecuting == OCI_STILL_EXECUTING,
              "return codes");
static_assert(kHtEnv == OCI_HTYPE_ENV && kHtError == OCI_HTYPE_ERROR &&
                  kHtSvcCtx == OCI_HTYPE_SVCCTX && kHtStmt == OCI_HTYPE_STMT &&
                  kHtBind == OCI_HTYPE_BIND && kHtDefine == OCI_HTYPE_DEFINE &&
                  kHtDescribe == OCI_HTYPE_DESCRIBE && kHtServer == OCI_HTYPE_SERVER &&
                  kHtSession == OCI_HTYPE_SESSION && kDtParam == OCI_DTYPE_PARAM,
              "handle types");
static_assert(kCredRdbms == OCI_CRED_RDBMS && kSysdba == OCI_SYSDBA && kSysoper == OCI_SYSOPER &&
                  kSysasm == OCI_SYSASM && kDescribeOnly == OCI_DESCRIBE_ONLY &&
                  kCommitOnSuccess == OCI_COMMIT_ON_SUCCESS && kParseOnly == OCI_PARSE_ONLY &&
                  kFetchNext == OCI_FETCH_NEXT && kNumberUnsigned == OCI_NUMBER_UNSIGNED &&
                  kNumberSigned == OCI_NUMBER_SIGNED,
              "modes");
static_assert(kAttrDataSize == OCI_ATTR_DATA_SIZE && kAttrDataType == OCI_ATTR_DATA_TYPE &&
                  kAttrNonblocking == OCI_ATTR_NONBLOCKING_MODE && kAttrName == OCI_ATTR_NAME &&
                  kAttrServer == OCI_ATTR_SERVER && kAttrSession == OCI_ATTR_SESSION &&
                  kAttrSqlFnCode == OCI_ATTR_SQLFNCODE &&
                  kAttrPrefetchRows == OCI_ATTR_PREFETCH_ROWS &&
                  kAttrPrefetchMemory == OCI_ATTR_PREFETCH_MEMORY &&
                  kAttrParamCount == OCI_ATTR_PARAM_COUNT && kAttrUsername == OCI_ATTR_USERNAME &&
                  kAttrPassword == OCI_ATTR_PASSWORD && kAttrStmtType == OCI_ATTR_STMT_TYPE &&
                  kAttrCharsetId == OCI_ATTR_CHARSET_ID &&
                  kAttrMaxDataSize == OCI_ATTR_MAXDATA_SIZE &&
                  kAttrStatement == OCI_ATTR_STATEMENT &&
                  kAttrMaxCharSize == OCI_ATTR_MAX_CHARSIZE &&
                  kAttrStmtState == OCI_ATTR_STMT_STATE && kAttrCharUsed == OCI_ATTR_CHAR_USED &&
                  kAttrCharSize == OCI_ATTR_CHAR_SIZE,
              "attributes");
static_assert(kSqltChr == SQLT_CHR && kSqltNum == SQLT_NUM && kSqltInt == SQLT_INT &&
                  kSqltStr == SQLT_STR && kSqltVnu == SQLT_VNU && kSqltLng == SQLT_LNG &&
                  kSqltDat == SQLT_DAT && kSqltBin == SQLT_BIN && kSqltLbi == SQLT_LBI &&
                  kSqltAfc == SQLT_AFC && kSqltBlob == SQLT_BLOB && kSqltIbFloat == SQLT_IBFLOAT &&
                  kSqltIbDouble == SQLT_IBDOUBLE && kSqltClob == SQLT_CLOB &&
                  kSqltRset == SQLT_RSET && kSqltOdt == SQLT_ODT &&
                  kSqltTimestamp == SQLT_TIMESTAMP && kSqltTimestampTz == SQLT_TIMESTAMP_TZ &&
                  kSqltTimestampLtz == SQLT_TIMESTAMP_LTZ,
              "external data types");
}  // namespace vsim
