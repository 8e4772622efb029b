// Environments, handles, attributes, error records, NLS and version entry points of the client
// stand-in.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "SimNumber.h"
#include "SimOci.h"

using namespace vsim;

VSIM_API sword OCIHandleFree(void* hndlp, ub4 type);

namespace vsim {

const char* knownErrorText(int code) {
  switch (code) {
    case 1:
      return "unique constraint violated";
    case 54:
      return "resource busy and acquire with NOWAIT specified or timeout expired";
    case 900:
      return "invalid SQL statement";
    case 904:
      return "invalid identifier";
    case 913:
      return "too many values";
    case 932:
      return "inconsistent datatypes";
    case 942:
      return "table or view does not exist";
    case 947:
      return "not enough values";
    case 1002:
      return "fetch out of sequence";
    case 1008:
      return "not all variables bound";
    case 1012:
      return "not logged on";
    case 1013:
      return "user requested cancel of current operation";
    case 1017:
      return "invalid username/password; logon denied";
    case 1031:
      return "insufficient privileges";
    case 1033:
      return "ORACLE initialization or shutdown in progress";
    case 1034:
      return "ORACLE not available";
    case 1036:
      return "illegal variable name/number";
    case 1089:
      return "immediate shutdown or close in progress - no operations are permitted";
    case 1403:
      return "no data found";
    case 1405:
      return "fetched column value is NULL";
    case 1406:
      return "fetched column value was truncated";
    case 1422:
      return "exact fetch returns more than requested number of rows";
    case 1426:
      return "numeric overflow";
    case 1722:
      return "invalid number";
    case 1861:
      return "literal does not match format string";
    case 3113:
      return "end-of-file on communication channel";
    case 3114:
      return "not connected to ORACLE";
    case 3127:
      return "no new operations allowed until the active operation ends";
    case 6502:
      return "PL/SQL: numeric or value error: character string buffer too small";
    case 12154:
      return "TNS:could not resolve the connect identifier specified";
    case 12514:
      return "TNS:listener does not currently know of service requested in connect descriptor";
    case 12528:
      return "TNS:listener: all appropriate instances are blocking new connections";
    case 12170:
      return "TNS:Connect timeout occurred";
    case 12504:
      return "TNS:listener was not given the SERVICE_NAME in CONNECT_DATA";
    case 12541:
      return "TNS:no listener";
    case 12545:
      return "Connect failed because target host or object does not exist";
    case 15000:
      return "command disallowed by current instance type";
    case 22053:
      return "overflow error";
    case 22065:
      return "number to text translation for the given format causes overflow";
    case 24313:
      return "user already authenticated";
    case 24315:
      return "illegal attribute type";
    case 24333:
      return "zero iteration count";
    case 24334:
      return "no descriptor for this position";
    case 24337:
      return "statement handle not prepared";
    case 24338:
      return "statement handle not executed";
    case 28000:
      return "the account is locked";
    default:
      return nullptr;
  }
}

ErrRec makeErr(int code, const std::string& text) {
  ErrRec r;
  r.code = code;
  const char* known = knownErrorText(code);
  const std::string body = !text.empty() ? text : known ? known : "simulated fault";
  char head[16];
  std::snprintf(head, sizeof head, "ORA-%05d: ", code);
  r.text = head + body + "\n";
  return r;
}

void* envAlloc(OCIEnv* env, size_t size) {
  if (env != nullptr && env->mallocFp != nullptr) return env->mallocFp(env->ctx, size);
  return std::malloc(size);
}

void envFree(OCIEnv* env, void* mem) {
  if (mem == nullptr) return;
  if (env != nullptr && env->freeFp != nullptr) {
    env->freeFp(env->ctx, mem);
  } else {
    std::free(mem);
  }
}

bool isHandle(const void* p, ub4 type) {
  if (p == nullptr) return false;
  const VsimHandle* h = static_cast<const VsimHandle*>(p);
  return h->magic == kMagic && h->htype == type;
}

// A successful call leaves the records of the last failure in place, as the real client does.
void setErrors(OCIError* err, const ErrList& list) {
  if (isHandle(err, kHtError) && !list.empty()) err->records = list;
}

sword fail(OCIError* err, const ErrRec& e) {
  if (isHandle(err, kHtError)) err->records.assign(1, e);
  return kError;
}

sword failCode(OCIError* err, int code, const std::string& text) {
  return fail(err, makeErr(code, text));
}

Val columnVal(sqlite3_stmt* st, int col) {
  Val v;
  switch (sqlite3_column_type(st, col)) {
    case SQLITE_INTEGER:
      v.type = Val::Int;
      v.i = sqlite3_column_int64(st, col);
      break;
    case SQLITE_FLOAT:
      v.type = Val::Real;
      v.d = sqlite3_column_double(st, col);
      break;
    case SQLITE_TEXT: {
      v.type = Val::Text;
      const unsigned char* t = sqlite3_column_text(st, col);
      v.s.assign(reinterpret_cast<const char*>(t),
                 static_cast<size_t>(sqlite3_column_bytes(st, col)));
      break;
    }
    case SQLITE_BLOB: {
      v.type = Val::Blob;
      const void* b = sqlite3_column_blob(st, col);
      const int n = sqlite3_column_bytes(st, col);
      if (b != nullptr && n > 0) v.s.assign(static_cast<const char*>(b), static_cast<size_t>(n));
      break;
    }
    default:
      break;
  }
  return v;
}

int bindVal(sqlite3_stmt* st, int idx, const Val& v) {
  switch (v.type) {
    case Val::Int:
      return sqlite3_bind_int64(st, idx, v.i);
    case Val::Real:
      return sqlite3_bind_double(st, idx, v.d);
    case Val::Text:
      return sqlite3_bind_text(st, idx, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
    case Val::Blob:
      return sqlite3_bind_blob(st, idx, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
    default:
      return sqlite3_bind_null(st, idx);
  }
}

}  // namespace vsim

// ---- environments ------------------------------------------------------------------------------

namespace {

// Process-wide defaults of OCIInitialize, used by environments created without callbacks.
std::mutex g_initMutex;
ub4 g_initMode = 0;  // guarded by g_initMutex

sword createEnv(OCIEnv** envhpp, ub4 mode, void* ctxp, MallocFp m, ReallocFp r, FreeFp f,
                size_t xtramemsz, void** usrmempp, ub2 charset, ub2 ncharset) {
  if (envhpp == nullptr) return kInvalidHandle;
  *envhpp = nullptr;
  // SQLite keeps memory statistics under one process-wide mutex taken on every allocation; with
  // one session per worker thread that mutex, not the statements, became the stand-in's cost.
  // Switched off once, before the first connection opens (later it is refused, harmlessly).
  static std::once_flag sqliteConfigured;
  std::call_once(sqliteConfigured, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
  // A client installation too broken to create an environment, for the program's start-up tests:
  // "1" fails without a handle; "2" fails as a real client may, with an environment handle that
  // serves only to read the error (ORA-01804 when its time-zone files are missing).
  const char* fail = std::getenv("VELSIM_FAIL_ENV");
  if (fail != nullptr && std::strcmp(fail, "1") == 0) return kError;
  const bool failWithHandle = fail != nullptr && std::strcmp(fail, "2") == 0;
  // Callbacks come as a set: with some missing the environment would free with the wrong one.
  if ((m != nullptr || r != nullptr || f != nullptr) && (m == nullptr || f == nullptr))
    return kError;
  void* mem = m != nullptr ? m(ctxp, sizeof(OCIEnv)) : std::malloc(sizeof(OCIEnv));
  if (mem == nullptr) return kError;
  OCIEnv* env = new (mem) OCIEnv();
  env->htype = kHtEnv;
  env->env = env;
  {
    std::lock_guard<std::mutex> lock(g_initMutex);
    env->mode = mode | g_initMode;
  }
  env->ctx = ctxp;
  env->mallocFp = m;
  env->reallocFp = r;
  env->freeFp = f;
  env->charset = charset != 0 ? charset : kAl32Utf8;
  env->ncharset = ncharset != 0 ? ncharset : env->charset;
  if (xtramemsz > 0) {
    env->userMem = envAlloc(env, xtramemsz);
    if (env->userMem == nullptr) {
      OCIHandleFree(env, kHtEnv);
      return kError;
    }
  }
  if (usrmempp != nullptr) *usrmempp = env->userMem;
  *envhpp = env;
  if (failWithHandle) {
    env->errors.assign(1, makeErr(1804, "failure to initialize timezone information"));
    return kError;
  }
  return kSuccess;
}

void freeEnvUserMem(VsimHandle* h) {
  if (h->userMem != nullptr) envFree(h->env, h->userMem);
  h->userMem = nullptr;
}

}  // namespace

VSIM_API sword OCIInitialize(ub4 mode, const void* /*ctxp*/, MallocFp /*m*/, ReallocFp /*r*/,
                             FreeFp /*f*/) {
  // The callbacks given here would serve environments created without their own; the program
  // always hands its callbacks to the environment itself, so only the mode is kept.
  std::lock_guard<std::mutex> lock(g_initMutex);
  g_initMode = mode;
  return kSuccess;
}

VSIM_API sword OCITerminate(ub4 /*mode*/) { return kSuccess; }

VSIM_API sword OCIEnvCreate(OCIEnv** envhpp, ub4 mode, const void* ctxp, MallocFp m, ReallocFp r,
                            FreeFp f, size_t xtramemsz, void** usrmempp) {
  return createEnv(envhpp, mode, const_cast<void*>(ctxp), m, r, f, xtramemsz, usrmempp, 0, 0);
}

VSIM_API sword OCIEnvNlsCreate(OCIEnv** envhpp, ub4 mode, const void* ctxp, MallocFp m, ReallocFp r,
                               FreeFp f, size_t xtramemsz, void** usrmempp, ub2 charset,
                               ub2 ncharset) {
  return createEnv(envhpp, mode, const_cast<void*>(ctxp), m, r, f, xtramemsz, usrmempp, charset,
                   ncharset);
}

VSIM_API void OCIClientVersion(int* major, int* minor, int* update, int* patch, int* portUpdate) {
  if (major) *major = 19;
  if (minor) *minor = 0;
  if (update) *update = 0;
  if (patch) *patch = 0;
  if (portUpdate) *portUpdate = 0;
}

namespace {

struct CharsetName {
  const char* name;
  ub2 id;
};
const CharsetName kCharsets[] = {
    {"US7ASCII", 1},   {"WE8ISO8859P1", 31}, {"WE8MSWIN1252", 178}, {"JA16SJIS", 832},
    {"ZHS16GBK", 852}, {"UTF8", 871},        {"AL32UTF8", 873},     {"AL16UTF16", 2000},
};

const char* charsetName(ub2 id) {
  for (const CharsetName& c : kCharsets)
    if (c.id == id) return c.name;
  return "AL32UTF8";
}

}  // namespace

VSIM_API ub2 OCINlsCharSetNameToId(void* envhp, const text* name) {
  if (!isHandle(envhp, kHtEnv) || name == nullptr) return 0;
  const char* n = reinterpret_cast<const char*>(name);
  for (const CharsetName& c : kCharsets)
    if (strcasecmp(n, c.name) == 0) return c.id;
  return 0;
}

VSIM_API sword OCINlsGetInfo(void* hndl, OCIError* errhp, text* buf, size_t buflen, ub2 item) {
  if (!isHandle(hndl, kHtEnv) && !isHandle(hndl, kHtSession)) return kInvalidHandle;
  if (!isHandle(errhp, kHtError)) return kInvalidHandle;
  if (buf == nullptr || buflen == 0) return failCode(errhp, 24315);
  const OCIEnv* env = static_cast<VsimHandle*>(hndl)->env;
  // Item numbers of the NLS information items (?): 45 decimal character, 46 group separator,
  // 49 date format, 52 language, 54 territory, 55 character set.
  const char* value = nullptr;
  switch (item) {
    case 45:
      value = ".";
      break;
    case 46:
      value = ",";
      break;
    case 49:
      value = "DD-MON-RR";
      break;
    case 52:
      value = "AMERICAN";
      break;
    case 54:
      value = "AMERICA";
      break;
    case 55:
      value = charsetName(env->charset);
      break;
    default:
      return failCode(errhp, 24315);
  }
  std::snprintf(reinterpret_cast<char*>(buf), buflen, "%s", value);
  return kSuccess;
}

// ---- handles
// -------------------------------------------------------------------------------------

void vsimFreeServer(OCIServer* srv);    // SimConnect.cpp
void vsimFreeSession(OCISession* ses);  // SimConnect.cpp
void vsimFreeSvcCtx(OCISvcCtx* svc);    // SimAsync.cpp
void vsimFreeStmt(OCIStmt* stmt);       // SimStatement.cpp

VSIM_API sword OCIHandleAlloc(const void* parenth, void** hndlpp, ub4 type, size_t xtramemSz,
                              void** usrmempp) {
  if (!isHandle(parenth, kHtEnv) || hndlpp == nullptr) return kInvalidHandle;
  OCIEnv* env = const_cast<OCIEnv*>(static_cast<const OCIEnv*>(parenth));
  VsimHandle* h = nullptr;
  switch (type) {
    case kHtError:
      h = newHandle<OCIError>(env, type);
      break;
    case kHtSvcCtx:
      h = newHandle<OCISvcCtx>(env, type);
      break;
    case kHtStmt:
      h = newHandle<OCIStmt>(env, type);
      break;
    case kHtServer:
      h = newHandle<OCIServer>(env, type);
      break;
    case kHtSession:
      h = newHandle<OCISession>(env, type);
      break;
    default:
      return kInvalidHandle;
  }
  if (h == nullptr) return kError;
  if (xtramemSz > 0) {
    h->userMem = envAlloc(env, xtramemSz);
    if (h->userMem == nullptr) {
      OCIHandleFree(h, type);
      return kError;
    }
  }
  if (usrmempp != nullptr) *usrmempp = h->userMem;
  *hndlpp = h;
  return kSuccess;
}

VSIM_API sword OCIHandleFree(void* hndlp, ub4 type) {
  if (!isHandle(hndlp, type)) return kInvalidHandle;
  freeEnvUserMem(static_cast<VsimHandle*>(hndlp));
  switch (type) {
    case kHtEnv: {
      // The environment's own callbacks free it: copy them out before it is destroyed.
      OCIEnv* env = static_cast<OCIEnv*>(hndlp);
      OCIEnv holder;
      holder.ctx = env->ctx;
      holder.freeFp = env->freeFp;
      env->magic = 0;
      env->~OCIEnv();
      envFree(&holder, env);
      holder.magic = 0;
      break;
    }
    case kHtError:
      deleteHandle(static_cast<OCIError*>(hndlp));
      break;
    case kHtSvcCtx:
      vsimFreeSvcCtx(static_cast<OCISvcCtx*>(hndlp));
      break;
    case kHtStmt:
      vsimFreeStmt(static_cast<OCIStmt*>(hndlp));
      break;
    case kHtServer:
      vsimFreeServer(static_cast<OCIServer*>(hndlp));
      break;
    case kHtSession:
      vsimFreeSession(static_cast<OCISession*>(hndlp));
      break;
    default:
      return kInvalidHandle;
  }
  return kSuccess;
}

VSIM_API sword OCIDescriptorFree(void* descp, ub4 type) {
  if (type != kDtParam || !isHandle(descp, kDtParam)) return kInvalidHandle;
  OCIParam* p = static_cast<OCIParam*>(descp);
  if (p->stmt != nullptr) p->stmt->params.erase(p);
  deleteHandle(p);
  return kSuccess;
}

// ---- error records ------------------------------------------------------------------------------

VSIM_API sword OCIErrorGet(void* hndlp, ub4 recordno, text* sqlstate, sb4* errcodep, text* bufp,
                           ub4 bufsiz, ub4 type) {
  const ErrList* list = nullptr;
  if (type == kHtError && isHandle(hndlp, kHtError)) {
    list = &static_cast<OCIError*>(hndlp)->records;
  } else if (type == kHtEnv && isHandle(hndlp, kHtEnv)) {
    list = &static_cast<OCIEnv*>(hndlp)->errors;
  } else {
    return kInvalidHandle;
  }
  if (recordno < 1 || recordno > list->size()) return kNoData;
  const ErrRec& r = (*list)[recordno - 1];
  if (errcodep != nullptr) *errcodep = r.code;
  if (sqlstate != nullptr) sqlstate[0] = 0;
  if (bufp != nullptr && bufsiz > 0) {
    std::snprintf(reinterpret_cast<char*>(bufp), bufsiz, "%s", r.text.c_str());
  }
  return kSuccess;
}

// ---- attributes ---------------------------------------------------------------------------------

namespace {

template <class T>
void put(void* attributep, T v) {
  std::memcpy(attributep, &v, sizeof v);
}

template <class T>
T take(const void* attributep) {
  T v{};
  std::memcpy(&v, attributep, sizeof v);
  return v;
}

sword putText(void* attributep, ub4* sizep, const std::string& s) {
  put<const text*>(attributep, reinterpret_cast<const text*>(s.c_str()));
  if (sizep != nullptr) *sizep = static_cast<ub4>(s.size());
  return kSuccess;
}

ub2 stmtType(const OCIStmt* s) {
  switch (s->sql.kind) {
    case StmtKind::Select:
      return 1;
    case StmtKind::Update:
      return 2;
    case StmtKind::Delete:
      return 3;
    case StmtKind::Insert:
      return 4;
    case StmtKind::Plsql: {
      size_t i = 0;
      while (i < s->text.size() && std::isspace(static_cast<unsigned char>(s->text[i]))) ++i;
      return strncasecmp(s->text.c_str() + i, "DECLARE", 7) == 0 ? 9 : 8;
    }
    default: {
      size_t i = 0;
      while (i < s->text.size() && std::isspace(static_cast<unsigned char>(s->text[i]))) ++i;
      const char* t = s->text.c_str() + i;
      if (strncasecmp(t, "CREATE", 6) == 0) return 5;
      if (strncasecmp(t, "DROP", 4) == 0) return 6;
      if (strncasecmp(t, "ALTER", 5) == 0) return 7;
      return 0;
    }
  }
}

// Oracle's SQL function codes of the statement kinds the stand-in runs.
ub2 sqlFnCode(const OCIStmt* s) {
  if (!s->executed) return 0;
  switch (s->sql.kind) {
    case StmtKind::Select:
      return 3;
    case StmtKind::Insert:
      return 2;
    case StmtKind::Update:
      return 6;
    case StmtKind::Delete:
      return 7;
    case StmtKind::Plsql:
      return 47;
    default:
      return 0;
  }
}

}  // namespace

VSIM_API sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,
                          OCIError* errhp) {
  if (!isHandle(trgthndlp, trghndltyp)) return kInvalidHandle;
  if (!isHandle(errhp, kHtError)) return kInvalidHandle;
  switch (trghndltyp) {
    case kHtSvcCtx: {
      OCISvcCtx* svc = static_cast<OCISvcCtx*>(trgthndlp);
      if (attrtype == kAttrServer) {
        if (attributep != nullptr && !isHandle(attributep, kHtServer)) return kInvalidHandle;
        svc->server = static_cast<OCIServer*>(attributep);
        if (svc->server != nullptr) svc->server->svc = svc;
        return kSuccess;
      }
      if (attrtype == kAttrSession) {
        if (attributep != nullptr && !isHandle(attributep, kHtSession)) return kInvalidHandle;
        svc->session = static_cast<OCISession*>(attributep);
        return kSuccess;
      }
      if (attrtype == kAttrNonblocking) {
        // The mode belongs to the server handle; on the service context it is its server's.
        if (svc->server == nullptr) return failCode(errhp, 24315);
        svc->server->nonblocking = !svc->server->nonblocking;
        return kSuccess;
      }
      break;
    }
    case kHtServer:
      if (attrtype == kAttrNonblocking) {
        // As in a real client, every set toggles the mode, whatever value it carries: a program
        // must read the mode and set it only to change it.
        OCIServer* srv = static_cast<OCIServer*>(trgthndlp);
        srv->nonblocking = !srv->nonblocking;
        return kSuccess;
      }
      break;
    case kHtSession: {
      OCISession* ses = static_cast<OCISession*>(trgthndlp);
      if (attrtype == kAttrUsername || attrtype == kAttrPassword) {
        std::string v;
        if (attributep != nullptr) {
          const char* p = static_cast<const char*>(attributep);
          v.assign(p, size > 0 ? size : std::strlen(p));
        }
        (attrtype == kAttrUsername ? ses->username : ses->password) = v;
        return kSuccess;
      }
      break;
    }
    case kHtStmt: {
      OCIStmt* st = static_cast<OCIStmt*>(trgthndlp);
      if (attrtype == kAttrPrefetchRows && attributep != nullptr) {
        st->prefetchRows = take<ub4>(attributep);
        return kSuccess;
      }
      if (attrtype == kAttrPrefetchMemory && attributep != nullptr) return kSuccess;
      break;
    }
    case kHtBind:
      if (attrtype == kAttrMaxDataSize && attributep != nullptr) {
        static_cast<OCIBind*>(trgthndlp)->maxDataSize = take<ub4>(attributep);
        return kSuccess;
      }
      break;
    default:
      break;
  }
  return failCode(errhp, 24315);
}

VSIM_API sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                          ub4 attrtype, OCIError* errhp) {
  if (!isHandle(trgthndlp, trghndltyp)) return kInvalidHandle;
  if (!isHandle(errhp, kHtError)) return kInvalidHandle;
  if (attributep == nullptr) return failCode(errhp, 24315);
  switch (trghndltyp) {
    case kHtEnv:
      if (attrtype == kAttrCharsetId) {
        put<ub2>(attributep, static_cast<const OCIEnv*>(trgthndlp)->charset);
        return kSuccess;
      }
      break;
    case kHtSvcCtx: {
      const OCISvcCtx* svc = static_cast<const OCISvcCtx*>(trgthndlp);
      if (attrtype == kAttrServer) {
        put<OCIServer*>(attributep, svc->server);
        return kSuccess;
      }
      if (attrtype == kAttrSession) {
        put<OCISession*>(attributep, svc->session);
        return kSuccess;
      }
      if (attrtype == kAttrNonblocking) {
        const bool on = svc->server != nullptr && svc->server->nonblocking;
        put<ub1>(attributep, on ? 1 : 0);
        return kSuccess;
      }
      break;
    }
    case kHtServer:
      if (attrtype == kAttrNonblocking) {
        put<ub1>(attributep, static_cast<const OCIServer*>(trgthndlp)->nonblocking ? 1 : 0);
        return kSuccess;
      }
      break;
    case kHtSession:
      if (attrtype == kAttrUsername) {
        return putText(attributep, sizep, static_cast<const OCISession*>(trgthndlp)->username);
      }
      break;
    case kHtStmt: {
      const OCIStmt* st = static_cast<const OCIStmt*>(trgthndlp);
      switch (attrtype) {
        case kAttrStmtType:
          put<ub2>(attributep, stmtType(st));
          return kSuccess;
        case kAttrSqlFnCode:
          put<ub2>(attributep, sqlFnCode(st));
          return kSuccess;
        case kAttrStmtState: {
          // 1 initialized, 2 executed, 3 end of fetch
          const ub4 state = !st->executed ? 1 : st->endReported ? 3 : 2;
          put<ub4>(attributep, state);
          return kSuccess;
        }
        case kAttrStatement:
          return putText(attributep, sizep, st->text);
        case kAttrParamCount:
          put<ub4>(attributep, static_cast<ub4>(st->columns.size()));
          return kSuccess;
        case kAttrPrefetchRows:
          put<ub4>(attributep, st->prefetchRows);
          return kSuccess;
        default:
          break;
      }
      break;
    }
    case kHtBind:
      if (attrtype == kAttrMaxDataSize) {
        put<ub4>(attributep, static_cast<const OCIBind*>(trgthndlp)->maxDataSize);
        return kSuccess;
      }
      break;
    case kDtParam: {
      const VsimColumn& c = static_cast<const OCIParam*>(trgthndlp)->col;
      switch (attrtype) {
        case kAttrDataType:
          put<ub2>(attributep, c.type);
          return kSuccess;
        case kAttrDataSize:
          put<ub2>(attributep, c.dataSize);
          return kSuccess;
        case kAttrName:
          return putText(attributep, sizep, c.name);
        case kAttrCharUsed:
          put<ub1>(attributep, c.charUsed);
          return kSuccess;
        case kAttrCharSize:
          put<ub2>(attributep, c.charSize);
          return kSuccess;
        // Callers may hand a 4-byte field for these two; a 2-byte value fits either.
        case kAttrMaxCharSize:
          put<ub2>(attributep, c.charSize);
          return kSuccess;
        case kAttrMaxDataSize:
          put<ub2>(attributep, c.dataSize);
          return kSuccess;
        default:
          break;
      }
      break;
    }
    default:
      break;
  }
  return failCode(errhp, 24315);
}
