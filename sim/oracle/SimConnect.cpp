// Server attach, log-on and log-off of the client stand-in, and the fault table.
//
// A connect string names a database file under $VELSIM_DIR; a log-on opens the session's own
// SQLite connection to it and checks the user against sim_users.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "SimOci.h"

using namespace vsim;

namespace {

std::string lowerAscii(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string sanitize(const std::string& s) {
  std::string r(s);
  for (char& c : r) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (!(std::isalnum(u) || c == '.' || c == '_' || c == '-')) c = '_';
  }
  return r;
}

// The value of KEY=value inside a connect descriptor, or empty.
std::string descriptorValue(const std::string& desc, const char* key) {
  const std::string low = lowerAscii(desc);
  const std::string k = lowerAscii(key);
  size_t at = 0;
  while ((at = low.find(k, at)) != std::string::npos) {
    const bool boundary = at == 0 || low[at - 1] == '(' || low[at - 1] == ' ';
    size_t p = at + k.size();
    while (p < low.size() && low[p] == ' ') ++p;
    if (boundary && p < low.size() && low[p] == '=') {
      ++p;
      while (p < desc.size() && desc[p] == ' ') ++p;
      size_t e = p;
      while (e < desc.size() && desc[e] != ')') ++e;
      while (e > p && desc[e - 1] == ' ') --e;
      return desc.substr(p, e - p);
    }
    at += k.size();
  }
  return std::string();
}

std::string simDir() {
  const char* dir = std::getenv("VELSIM_DIR");
  return dir != nullptr && *dir != 0 ? dir : ".";
}

// The database file serving a plain connect string.
std::string databasePath(const std::string& connect) {
  // Without VELSIM_DIR the databases are looked for in the current directory.
  return simDir() + "/" + sanitize(connect) + ".db";
}

bool fileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isLoopback(const struct sockaddr* a) {
  if (a->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const struct sockaddr_in*>(a);
    return (ntohl(in->sin_addr.s_addr) >> 24) == 127;
  }
  if (a->sa_family == AF_INET6)
    return IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<const struct sockaddr_in6*>(a)->sin6_addr);
  return false;
}

// One TCP connection attempt bounded by timeoutMs: 0 when something accepts, else the Oracle
// code (12541 refused or unreachable, 12170 timed out).
int tcpProbe(const struct addrinfo* ai, int timeoutMs) {
  int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
  if (fd < 0) return 12541;
  int code = 0;
  if (connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
    if (errno != EINPROGRESS) {
      code = 12541;
    } else {
      struct pollfd p = {fd, POLLOUT, 0};
      int n;
      while ((n = poll(&p, 1, timeoutMs)) < 0 && errno == EINTR) {
      }
      int err = 0;
      socklen_t len = sizeof err;
      if (n == 0)
        code = 12170;
      else if (n < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0)
        code = 12541;
    }
  }
  close(fd);
  return code;
}

// A descriptor with a HOST: a loopback address is reached for real over TCP, as a client reaches
// a listener; other hosts exist only as database files (h_p.db). Returns 0 with path set (empty
// when the listener answers but no database serves the descriptor) or the Oracle code.
int attachDescriptor(const std::string& connect, const std::string& host, std::string& path) {
  std::string port = descriptorValue(connect, "PORT");
  if (port.empty()) port = "1521";  // the listener's default port
  const std::string hostFile = simDir() + "/" + sanitize(host + "_" + port) + ".db";
  // Names are never looked up: only numeric addresses and "localhost" resolve, so the stand-in
  // asks no name server.
  struct addrinfo hints = {};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  const char* numeric = strcasecmp(host.c_str(), "localhost") == 0 ? "127.0.0.1" : host.c_str();
  struct addrinfo* found = nullptr;
  if (getaddrinfo(numeric, port.c_str(), &hints, &found) != 0 || found == nullptr) {
    if (found != nullptr) freeaddrinfo(found);
    if (!fileExists(hostFile)) return 12545;
    path = hostFile;
    return 0;
  }
  const struct addrinfo* loopback = nullptr;
  for (const struct addrinfo* ai = found; ai != nullptr && loopback == nullptr; ai = ai->ai_next)
    if (isLoopback(ai->ai_addr)) loopback = ai;
  int code = 0;
  if (loopback == nullptr) {
    // The stand-in never opens a connection off this host.
    if (fileExists(hostFile))
      path = hostFile;
    else
      code = 12541;
  } else {
    const char* limit = std::getenv("VELSIM_CONNECT_TIMEOUT_MS");
    const int timeoutMs = limit != nullptr && std::atoi(limit) > 0 ? std::atoi(limit) : 3000;
    code = tcpProbe(loopback, timeoutMs);
    if (code == 0) {
      std::string service = descriptorValue(connect, "SERVICE_NAME");
      if (service.empty()) service = descriptorValue(connect, "SID");
      const std::string serviceFile =
          simDir() + "/" + sanitize(host + ":" + port + "/" + service) + ".db";
      if (!service.empty() && fileExists(serviceFile))
        path = serviceFile;
      else if (fileExists(hostFile))
        path = hostFile;
      else if (!service.empty())
        code = 12514;  // the listener knows no such service
    }
  }
  freeaddrinfo(found);
  return code;
}

// The code of an attach fault, or 0.
int attachFault(const std::string& path) {
  sqlite3* db = nullptr;
  int code = 0;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT coalesce(code,0) FROM sim_faults WHERE lower(kind)='attach' "
                           "LIMIT 1",
                           -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
      code = sqlite3_column_int(st, 0);
      if (code <= 0) code = 12541;
    }
    sqlite3_finalize(st);
  } else {
    code = 12541;
  }
  sqlite3_close(db);
  return code;
}

bool hasRole(const std::string& roles, const char* role) {
  size_t i = 0;
  while (i <= roles.size()) {
    size_t e = roles.find(',', i);
    if (e == std::string::npos) e = roles.size();
    size_t a = i, b = e;
    while (a < b && std::isspace(static_cast<unsigned char>(roles[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(roles[b - 1]))) --b;
    if (strncasecmp(roles.c_str() + a, role, b - a) == 0 && std::strlen(role) == b - a) return true;
    i = e + 1;
  }
  return false;
}

bool isAsmInstance(sqlite3* db) {
  sqlite3_stmt* st = nullptr;
  bool asmInstance = false;
  if (sqlite3_prepare_v2(db, "SELECT instance_name FROM \"v$instance\" LIMIT 1", -1, &st,
                         nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW) {
    const unsigned char* name = sqlite3_column_text(st, 0);
    asmInstance = name != nullptr && name[0] == '+';
  }
  sqlite3_finalize(st);
  return asmInstance;
}

// Checks the user in the order: user and password, locked, role (for SYSASM the instance type
// first). Returns 0 or the Oracle code.
int checkLogon(sqlite3* db, const std::string& user, const std::string& password, ub4 mode) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT password, coalesce(roles,''), coalesce(locked,0) FROM sim_users "
                         "WHERE upper(username)=upper(?1)",
                         -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    return 1017;  // no sim_users: nobody may log on
  }
  sqlite3_bind_text(st, 1, user.c_str(), static_cast<int>(user.size()), SQLITE_TRANSIENT);
  int code = 1017;
  while (sqlite3_step(st) == SQLITE_ROW) {
    const unsigned char* pw = sqlite3_column_text(st, 0);
    if (pw == nullptr || password != reinterpret_cast<const char*>(pw)) continue;
    const std::string roles = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    if (sqlite3_column_int(st, 2) != 0) {
      code = 28000;
    } else if ((mode & kSysasm) && !isAsmInstance(db)) {
      // The instance refuses SYSASM whoever asks, before the user's roles are looked at.
      code = 15000;
    } else if (((mode & kSysdba) && !hasRole(roles, "SYSDBA")) ||
               ((mode & kSysoper) && !hasRole(roles, "SYSOPER")) ||
               ((mode & kSysasm) && !hasRole(roles, "SYSASM"))) {
      code = 1031;
    } else {
      code = 0;
    }
    break;
  }
  sqlite3_finalize(st);
  return code;
}

void closeSessionDb(OCISession* ses, bool commit) {
  if (ses->db == nullptr) return;
  for (OCIStmt* st : std::set<OCIStmt*>(ses->cursors)) closeCursor(st);
  ses->cursors.clear();
  dropIdleQueries(ses);
  sqlite3_finalize(ses->faults);
  ses->faults = nullptr;
  if (!sqlite3_get_autocommit(ses->db)) {
    sqlite3_exec(ses->db, commit ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
  }
  sqlite3_close_v2(ses->db);
  ses->db = nullptr;
  ses->server = nullptr;
}

}  // namespace

namespace vsim {

FaultPlan readFaults(OCISession* ses, const std::string& statement) {
  FaultPlan plan;
  // Prepared once per session: the table is read before every statement, and parsing its query
  // each time cost more than the statements themselves. SQLite re-prepares it by itself when a
  // test changes the schema.
  if (ses->faults == nullptr &&
      sqlite3_prepare_v3(ses->db,
                         "SELECT lower(kind), coalesce(pattern,''), coalesce(code,0), "
                         "coalesce(delay_ms,0) FROM sim_faults",
                         -1, SQLITE_PREPARE_PERSISTENT, &ses->faults, nullptr) != SQLITE_OK) {
    sqlite3_finalize(ses->faults);
    ses->faults = nullptr;
    return plan;  // no fault table: no faults
  }
  sqlite3_stmt* st = ses->faults;
  const std::string text = lowerAscii(statement);
  while (sqlite3_step(st) == SQLITE_ROW) {
    const char* kind = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    const std::string pattern =
        lowerAscii(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    if (kind == nullptr || text.find(pattern) == std::string::npos) continue;
    if (std::strcmp(kind, "delay") == 0) {
      plan.delayMs += sqlite3_column_int(st, 3);
    } else if (std::strcmp(kind, "drop") == 0) {
      plan.drop = true;
    } else if (std::strcmp(kind, "fetchdrop") == 0 && plan.dropAfterRows < 0) {
      plan.dropAfterRows = std::max(0, sqlite3_column_int(st, 2));
    } else if (std::strcmp(kind, "error") == 0 && plan.errorCode == 0) {
      plan.errorCode = sqlite3_column_int(st, 2);
    }
  }
  sqlite3_reset(st);  // ends the read so that the session sees later changes
  return plan;
}

}  // namespace vsim

void vsimFreeServer(OCIServer* srv) {
  if (srv->svc != nullptr && isHandle(srv->svc, kHtSvcCtx) && srv->svc->server == srv) {
    srv->svc->server = nullptr;
  }
  deleteHandle(srv);
}

void vsimFreeSession(OCISession* ses) {
  closeSessionDb(ses, false);
  deleteHandle(ses);
}

VSIM_API sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const text* dblink, sb4 dblinkLen,
                               ub4 /*mode*/) {
  if (!isHandle(srvhp, kHtServer) || !isHandle(errhp, kHtError)) return kInvalidHandle;
  if (srvhp->attached) return failCode(errhp, 24309, "already connected to a server");
  std::string connect;
  if (dblink != nullptr) {
    const char* p = reinterpret_cast<const char*>(dblink);
    connect.assign(p, dblinkLen > 0 ? static_cast<size_t>(dblinkLen) : std::strlen(p));
  }
  if (connect.empty()) return failCode(errhp, 12154);
  std::string path;
  const std::string host = descriptorValue(connect, "HOST");
  if (connect.find('(') != std::string::npos && !host.empty()) {
    const int code = attachDescriptor(connect, host, path);
    if (code != 0) return failCode(errhp, code);
  } else {
    path = databasePath(connect);
    if (!fileExists(path)) return failCode(errhp, 12541);
  }
  const int fault = path.empty() ? 0 : attachFault(path);
  if (fault != 0) return failCode(errhp, fault);
  srvhp->path = path;
  srvhp->attached = true;
  srvhp->dropped = false;
  return kSuccess;
}

VSIM_API sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4 /*mode*/) {
  if (!isHandle(srvhp, kHtServer) || !isHandle(errhp, kHtError)) return kInvalidHandle;
  if (!srvhp->attached) return failCode(errhp, 24324, "service handle not initialized");
  srvhp->attached = false;
  srvhp->dropped = false;
  srvhp->path.clear();
  return kSuccess;
}

VSIM_API sword OCISessionBegin(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt,
                               ub4 mode) {
  if (!isHandle(svchp, kHtSvcCtx) || !isHandle(errhp, kHtError) || !isHandle(usrhp, kHtSession)) {
    return kInvalidHandle;
  }
  OCIServer* srv = svchp->server;
  if (srv == nullptr || !srv->attached) {
    return failCode(errhp, 24327, "need explicit attach before authenticating a user");
  }
  if (srv->dropped) return failCode(errhp, 3114);
  if (usrhp->db != nullptr) return failCode(errhp, 24313);
  if (credt != kCredRdbms) return failCode(errhp, 1017);  // no external authentication here
  // Attached to a listener that serves no database for the descriptor.
  if (srv->path.empty()) return failCode(errhp, 12504);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(srv->path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return failCode(errhp, 1034);
  }
  sqlite3_busy_timeout(db, 5000);
  sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  if (!registerFunctions(db)) {
    sqlite3_close(db);
    return failCode(errhp, 1034);
  }
  const int code = checkLogon(db, usrhp->username, usrhp->password, mode);
  if (code != 0) {
    sqlite3_close(db);
    return failCode(errhp, code);
  }
  usrhp->db = db;
  usrhp->server = srv;
  svchp->session = usrhp;
  return kSuccess;
}

VSIM_API sword OCISessionEnd(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 /*mode*/) {
  if (!isHandle(svchp, kHtSvcCtx) || !isHandle(errhp, kHtError)) return kInvalidHandle;
  OCISession* ses = usrhp != nullptr ? usrhp : svchp->session;
  if (!isHandle(ses, kHtSession)) return kInvalidHandle;
  return runCall(svchp, errhp, OCISvcCtx::SessionEnd, ses, [svchp, ses](ErrList* errs) -> sword {
    if (ses->db == nullptr) {
      errs->push_back(makeErr(1012));
      return kError;
    }
    const bool dropped = ses->server != nullptr && ses->server->dropped;
    closeSessionDb(ses, !dropped);
    if (svchp->session == ses) svchp->session = nullptr;
    if (dropped) {
      errs->push_back(makeErr(3114));
      return kError;
    }
    return kSuccess;
  });
}

VSIM_API sword OCIStmtRelease(OCIStmt* stmtp, OCIError* errhp, const text* /*key*/, ub4 /*keylen*/,
                              ub4 /*mode*/) {
  if (!isHandle(stmtp, kHtStmt) || !isHandle(errhp, kHtError)) return kInvalidHandle;
  // Statements here are not cached: releasing closes the cursor, and the handle itself is freed
  // with OCIHandleFree.
  closeCursor(stmtp);
  return kSuccess;
}
