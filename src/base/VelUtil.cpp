#include "VelUtil.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "MUT1.h"
#include "PEB1.h"

VEL_TRACE_UNIT("util");

namespace {

constexpr int kMaxArgs = 50;            // argument slots of a command, the last always null
constexpr size_t kCommandSlack = 1044;  // room added to a command's copy
constexpr size_t kPipePiece = 4095;     // bytes read from a pipe at a time
constexpr const char* kUcbPs = "/usr/ucb/ps";
constexpr const char* kPsOptions = " axwweee";

// Calls fn(line) for each non-empty line of text (lines end at carriage return or line feed).
template <typename Fn>
void forEachLine(const char* text, Fn fn) {
  std::string_view rest(text);
  while (!rest.empty()) {
    size_t end = rest.find_first_of("\r\n");
    std::string_view line = rest.substr(0, end);
    if (!line.empty() && !fn(line)) return;
    if (end == std::string_view::npos) return;
    rest.remove_prefix(end + 1);
  }
}

// The fields of line, separated by runs of any of the separator characters.
std::vector<std::string_view> splitFields(std::string_view line, const char* separators) {
  std::vector<std::string_view> fields;
  size_t pos = line.find_first_not_of(separators);
  while (pos != std::string_view::npos) {
    size_t end = line.find_first_of(separators, pos);
    fields.push_back(line.substr(pos, end == std::string_view::npos ? end : end - pos));
    if (end == std::string_view::npos) break;
    pos = line.find_first_not_of(separators, end);
  }
  return fields;
}

bool assignView(VelString& out, std::string_view v) {
  out.clear();
  return out.append(v.data(), static_cast<unsigned>(v.size()));
}

// The value of a field that is a whole decimal number, or -1.
long fieldAsNumber(std::string_view f) {
  if (f.empty() || f.size() > 18) return -1;
  long n = 0;
  for (char c : f) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

// Writes text to fd from the child of a fork, where only async-signal-safe calls are allowed.
void childWrite(int fd, const char* text, size_t n) {
  while (n > 0) {
    ssize_t k = write(fd, text, n);
    if (k <= 0) {
      if (k < 0 && errno == EINTR) continue;
      return;
    }
    text += k;
    n -= static_cast<size_t>(k);
  }
}

// Decimal text of v into buf (at least 12 bytes), without the C library: async-signal-safe.
size_t childFormatInt(int v, char* buf) {
  char tmp[12];
  size_t n = 0;
  unsigned u = v < 0 ? 0u - static_cast<unsigned>(v) : static_cast<unsigned>(v);
  do {
    tmp[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  size_t len = 0;
  if (v < 0) buf[len++] = '-';
  while (n > 0) buf[len++] = tmp[--n];
  return len;
}

void closeFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Milliseconds of the monotonic clock.
long long monotonicMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Reads both pipes until each reports its end, whichever the child fills first, so a child that
// fills its error pipe while we wait on the output pipe cannot stall either side. With a
// deadline (monotonic ms, 0 for none) onDeadline is called once when it passes; reading then
// goes on for at most kKilledGraceMs. Returns false when the deadline passed.
constexpr int kKilledGraceMs = 1000;
template <typename OnDeadline>
bool drainPipes(int outFd, int errFd, VelString& out, VelString& err, long long deadline,
                OnDeadline onDeadline) {
  struct pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  VelString* sinks[2] = {&out, &err};
  int open = 2;
  bool expired = false;
  char piece[kPipePiece];
  while (open > 0) {
    int wait = -1;
    if (deadline > 0) {
      long long left = deadline - monotonicMs();
      if (left <= 0) {
        if (expired) return false;
        expired = true;
        onDeadline();
        deadline = monotonicMs() + kKilledGraceMs;
        left = kKilledGraceMs;
      }
      wait = static_cast<int>(left);
    }
    int n = poll(fds, 2, wait);
    if (n == 0) continue;
    if (n < 0) {
      if (errno == EINTR) continue;
      VEL_ERROR("poll on the pipes of a command failed, errno = %i", errno);
      // Fall back to reading each pipe to its end in turn.
      for (int i = 0; i < 2; ++i)
        if (fds[i].fd >= 0) velReadFromPipe(fds[i].fd, *sinks[i]);
      return !expired;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t k = read(fds[i].fd, piece, sizeof piece);
      if (k > 0) {
        if (!sinks[i]->append(piece, static_cast<unsigned>(k)))
          VEL_ERROR("No memory for %ld bytes of command output", static_cast<long>(k));
      } else if (k < 0 && (errno == EINTR || errno == EAGAIN)) {
        continue;
      } else {
        fds[i].fd = -1;  // poll skips negative descriptors
        --open;
      }
    }
  }
  return !expired;
}

// Collects the child so that it never stays a zombie. One that has closed its pipes but goes on
// running is polled until reapBy (monotonic ms), then killed (with its process group when it has
// one) and polled for kKilledGraceMs more. waitpid's result: the child, -1 on failure, 0 when
// even the killed child had not ended.
constexpr int kExitGraceMs = 5000;
pid_t reapChild(pid_t child, bool ownGroup, long long reapBy, int& status) {
  bool killed = false;
  unsigned pause = 1;
  for (;;) {
    pid_t r = waitpid(child, &status, WNOHANG);
    if (r < 0 && errno == EINTR) continue;
    if (r != 0) return r;
    if (monotonicMs() >= reapBy) {
      if (killed) return 0;
      VEL_ERROR("Process %d closed its output but did not end, it is stopped",
                static_cast<int>(child));
      if (ownGroup) kill(-child, SIGKILL);
      kill(child, SIGKILL);
      killed = true;
      reapBy = monotonicMs() + kKilledGraceMs;
    }
    // A child that has just closed its pipes is normally collected at the first or second look.
    PEB1_MilliSleep(pause);
    if (pause < 50) pause *= 2;
  }
}

// Runs crsHome + tool and gives the first line of its output.
bool firstLineOfTool(const char* crsHome, const char* tool, VelString& out) {
  if (crsHome == nullptr || *crsHome == 0) return false;
  std::string command = std::string(crsHome) + tool;
  VelString output;
  VelString error;
  if (!velExecuteSystemCommand(command.c_str(), output, error)) {
    VEL_ERROR("Command %s failed, error message is:%s", command.c_str(), error.c_str());
    return false;
  }
  std::string_view text(output.c_str(), output.length());
  size_t start = text.find_first_not_of("\r\n");
  if (start == std::string_view::npos) {
    VEL_ERROR("Command %s printed nothing, error message is:%s", command.c_str(), error.c_str());
    return false;
  }
  text.remove_prefix(start);
  return assignView(out, text.substr(0, text.find_first_of("\r\n")));
}

}  // namespace

// ---- External commands ----------------------------------------------------------------------

void velReadFromPipe(int fd, VelString& out) {
  char piece[kPipePiece];
  for (;;) {
    ssize_t k = read(fd, piece, sizeof piece);
    if (k > 0) {
      out.append(piece, static_cast<unsigned>(k));
    } else if (k < 0 && errno == EINTR) {
      continue;
    } else {
      return;
    }
  }
}

void velMakeArgList(char** args, int max, char* buffer) {
  if (args == nullptr || max <= 0) return;
  for (int i = 0; i < max; ++i) args[i] = nullptr;
  if (buffer == nullptr) return;
  char* p = buffer;
  for (int n = 0; n < max - 1; ++n) {
    while (*p == ' ') ++p;
    if (*p == 0) return;
    char* space = strchr(p, ' ');
    if (space == nullptr) return;
    args[n] = p;
    *space = 0;
    p = space + 1;
  }
}

bool velExecuteSystemCommand(const char* command, VelString& out, VelString& err, int timeoutMs,
                             bool* timedOut) {
  if (timedOut != nullptr) *timedOut = false;
  VEL_FLOW_ENTRY("velExecuteSystemCommand");
  if (command == nullptr || *command == 0) {
    VEL_ERROR("There is no valid command");
    VEL_RETURN(false);
  }
  // The argument list is built before the fork: the child of a threaded process may only make
  // async-signal-safe calls, so it neither allocates nor traces.
  size_t len = strlen(command);
  std::vector<char> buffer(len + kCommandSlack, 0);
  memcpy(buffer.data(), command, len);
  buffer[len] = ' ';
  VEL_DETAIL("input command is:%s", command);
  VEL_DETAIL("cmdBuffer is:%s", buffer.data());
  char* args[kMaxArgs];
  velMakeArgList(args, kMaxArgs, buffer.data());
  if (VEL_TRACE_ON(MUT1_DETAIL)) {
    for (int i = 0; i < kMaxArgs; ++i)
      VEL_DETAIL("args %d is:%s", i, args[i] != nullptr ? args[i] : "(null)");
  }
  if (args[0] == nullptr) {
    // Only spaces: there is no program to start, which is an ended command with no output.
    VEL_ERROR("There is no valid command");
    VEL_RETURN(true);
  }
  std::string execFailure = "Return from execvp for command:";
  execFailure += command;
  execFailure += ", with errno = ";

  // Close-on-exec, so that commands started at the same time by other threads do not inherit
  // these pipes and hold them open; dup2 clears the flag on the child's own copies.
  int outPipe[2] = {-1, -1};
  int errPipe[2] = {-1, -1};
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
    VEL_ERROR("Non-zero return from pipe.  Errno = %i", errno);
    closeFd(outPipe[0]);
    closeFd(outPipe[1]);
    closeFd(errPipe[0]);
    closeFd(errPipe[1]);
    VEL_RETURN(false);
  }

  pid_t child = fork();
  if (child < 0) {
    VEL_ERROR("Non-zero return from fork.  Errno = %i", errno);
    closeFd(outPipe[0]);
    closeFd(outPipe[1]);
    closeFd(errPipe[0]);
    closeFd(errPipe[1]);
    VEL_RETURN(false);
  }

  if (child == 0) {
    // The child: async-signal-safe calls only, and _exit so that no handler of the parent runs.
    close(outPipe[0]);
    close(errPipe[0]);
    // A bounded command gets a process group of its own, so that what it starts ends with it.
    if (timeoutMs > 0) setpgid(0, 0);
    if (dup2(outPipe[1], STDOUT_FILENO) < 0 || dup2(errPipe[1], STDERR_FILENO) < 0) _exit(1);
    // A command that reads its standard input sees its end at once instead of waiting forever.
    int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0 && devNull != STDIN_FILENO) {
      dup2(devNull, STDIN_FILENO);
      close(devNull);
    }
    // Threads of the program block signals of their own; the command starts with none blocked.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execvp(args[0], args);
    int e = errno;
    char number[16];
    size_t n = childFormatInt(e, number);
    number[n++] = '\n';
    childWrite(STDERR_FILENO, execFailure.data(), execFailure.size());
    childWrite(STDERR_FILENO, number, n);
    _exit(e);
  }

  closeFd(outPipe[1]);
  closeFd(errPipe[1]);
  // Set from both sides: whichever runs first, the group exists before it can be killed.
  if (timeoutMs > 0) setpgid(child, child);
  VEL_DUMPMSG("Waiting for process %d", static_cast<int>(child));
  const long long deadline = timeoutMs > 0 ? monotonicMs() + timeoutMs : 0;
  drainPipes(outPipe[0], errPipe[0], out, err, deadline, [&] {
    VEL_ERROR("Command %s did not end within %d ms, it is stopped", command, timeoutMs);
    kill(-child, SIGKILL);
    kill(child, SIGKILL);
    if (timedOut != nullptr) *timedOut = true;
    err.append("Command stopped after ");
    char number[16];
    snprintf(number, sizeof number, "%d", timeoutMs);
    err.append(number);
    err.append(" ms\n");
  });
  closeFd(outPipe[0]);
  closeFd(errPipe[0]);

  // Both pipes ended: the child has closed them, normally by ending. A child that closed them but
  // goes on running must not hold this thread: it gets until the command's own deadline (at
  // least kKilledGraceMs more), or kExitGraceMs, to end.
  const long long now = monotonicMs();
  const long long reapBy =
      deadline > 0 ? std::max(deadline, now + kKilledGraceMs) : now + kExitGraceMs;
  int status = 0;
  pid_t r = reapChild(child, timeoutMs > 0, reapBy, status);
  if (r == child && status != 0) VEL_DETAIL("Status code from process is %i", status);
  if (r < 0)
    VEL_DETAIL("waitpid for process %d failed, errno = %i", static_cast<int>(child), errno);
  if (r == 0) VEL_ERROR("Process %d could not be collected", static_cast<int>(child));
  VEL_RETURN(true);
}

bool velGetPSResult(VelString& out) {
  VEL_FLOW_ENTRY("velGetPSResult");
  // Where the BSD tools are not installed, the ps on PATH understands the same options.
  std::string command = access(kUcbPs, X_OK) == 0 ? kUcbPs : "ps";
  command += kPsOptions;
  out.clear();
  VelString err;
  if (!velExecuteSystemCommand(command.c_str(), out, err) || out.length() == 0) {
    VEL_ERROR("Error, message is:%s", err.c_str());
    out.clear();
    VEL_RETURN(false);
  }
  VEL_RETURN(true);
}

const char* velGetSplitString(const char* text, const char* separators, VelString& token) {
  token.clear();
  if (text == nullptr) return nullptr;
  if (separators == nullptr) separators = "";
  size_t n = strcspn(text, separators);
  token.append(text, static_cast<unsigned>(n));
  const char* p = text + n;
  return p + strspn(p, separators);
}

// ---- Process-list queries -------------------------------------------------------------------

bool velGetEnvValueByPID(const char* psOutput, int pid, const char* name, VelString& out) {
  VEL_FLOW_ENTRY("velGetEnvValueByPID");
  if (psOutput == nullptr || name == nullptr || *name == 0) VEL_RETURN(false);
  size_t nameLen = strlen(name);
  bool found = false;
  forEachLine(psOutput, [&](std::string_view line) {
    std::vector<std::string_view> f = splitFields(line, " ");
    if (f.empty() || fieldAsNumber(f[0]) != pid) return true;
    if (f.size() < 5) return false;  // the process's line, without a program path
    std::string path(f[4]);
    VEL_DETAIL("Process path is:%s, PID is:%d", path.c_str(), pid);
    for (size_t i = 5; i < f.size(); ++i) {
      if (f[i].size() > nameLen && f[i].compare(0, nameLen, name) == 0 && f[i][nameLen] == '=') {
        found = assignView(out, f[i].substr(nameLen + 1));
        break;
      }
    }
    return false;
  });
  VEL_RETURN(found);
}

bool velGetHomePathByProcessName(const char* psOutput, const char* name, VelString& out) {
  VEL_FLOW_ENTRY("velGetHomePathByProcessName");
  if (psOutput == nullptr || name == nullptr || *name == 0) VEL_RETURN(false);
  size_t nameLen = strlen(name);
  bool found = false;
  forEachLine(psOutput, [&](std::string_view line) {
    std::vector<std::string_view> f = splitFields(line, " ");
    if (f.size() < 5) return true;
    std::string path(f[4]);
    VEL_DETAIL("Process path is:%s", path.c_str());
    if (path.find(name) == std::string::npos) return true;
    found = assignView(out, std::string_view(path).substr(0, path.size() - nameLen));
    return false;
  });
  VEL_RETURN(found);
}

bool velGetOracleCRSHome(const char* psOutput, VelString& out) {
  return velGetHomePathByProcessName(psOutput, "/bin/crsd.bin", out);
}

bool velGetOracleHome(const char* psOutput, int pid, VelString& out) {
  return velGetEnvValueByPID(psOutput, pid, "ORACLE_HOME", out);
}

bool velGetOracleRACName(const char* crsHome, VelString& out) {
  VEL_FLOW_ENTRY("velGetOracleRACName");
  VEL_RETURN(firstLineOfTool(crsHome, "/bin/cemutlo -n", out));
}

bool velGetOracleRACPrimaryNode(const char* crsHome, VelString& out) {
  VEL_FLOW_ENTRY("velGetOracleRACPrimaryNode");
  VEL_RETURN(firstLineOfTool(crsHome, "/bin/olsnodes", out));
}

// ---- Host names -----------------------------------------------------------------------------

bool velGetLocalHostName(VelString& out) {
  VEL_FLOW_ENTRY("velGetLocalHostName");
  char name[256];
  if (gethostname(name, sizeof name) != 0) {
    VEL_ERROR("Error at gethostname, errorno is:%d", errno);
    VEL_RETURN(false);
  }
  name[sizeof name - 1] = 0;
  char* dot = strchr(name, '.');
  if (dot != nullptr) *dot = 0;
  VEL_DETAIL("get the host name:%s\n", name);
  VEL_RETURN(out.assign(name));
}

bool velGetHostNameAndIP(const char* host, VelString& fullName, VelString& address) {
  VEL_FLOW_ENTRY("velGetHostNameAndIP");
  if (host == nullptr || *host == 0) {
    VEL_ERROR("getaddrinfo: %s\n", "no host name");
    VEL_RETURN(false);
  }
  velSocketHelper resolver;
  struct addrinfo hints;
  memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  struct addrinfo* res = nullptr;
  int rc = getaddrinfo(host, nullptr, &hints, &res);
  if (rc != 0) {
    VEL_ERROR("getaddrinfo: %s\n", gai_strerror(rc));
    VEL_RETURN(false);
  }
  char canon[1024] = "";
  if (res->ai_canonname != nullptr) (void)snprintf(canon, sizeof canon, "%s", res->ai_canonname);
  VEL_DETAIL("canonname is:%s", canon);
  char addr[100] = "";
  for (struct addrinfo* ai = res; ai != nullptr; ai = ai->ai_next) {
    const void* raw = nullptr;
    if (ai->ai_family == AF_INET)
      raw = &reinterpret_cast<struct sockaddr_in*>(ai->ai_addr)->sin_addr;
    else if (ai->ai_family == AF_INET6)
      raw = &reinterpret_cast<struct sockaddr_in6*>(ai->ai_addr)->sin6_addr;
    if (raw != nullptr && inet_ntop(ai->ai_family, raw, addr, sizeof addr) != nullptr) break;
    addr[0] = 0;
  }
  freeaddrinfo(res);
  VEL_DETAIL("Addr is:%s", addr);
  if (strchr(canon, '.') != nullptr) fullName.assign(canon);
  address.assign(addr);
  VEL_RETURN(true);
}

bool velFindNslookupName(const char* output, VelString& out) {
  if (output == nullptr) return false;
  bool found = false;
  forEachLine(output, [&](std::string_view line) {
    std::vector<std::string_view> f = splitFields(line, " \t");
    for (size_t i = 0; i < f.size(); ++i) {
      std::string field(f[i]);
      VEL_DETAIL("Current Content is:%s.", field.c_str());
      if (field == "Name:" && i + 1 < f.size()) {
        found = assignView(out, f[i + 1]);
        VEL_DETAIL("Domain is:%s", out.c_str());
        return false;
      }
    }
    return true;
  });
  return found;
}

bool velGetFullyNameByNslookup(const char* host, VelString& out) {
  VEL_FLOW_ENTRY("velGetFullyNameByNslookup");
  if (host == nullptr || *host == 0) VEL_RETURN(false);
  std::string command = std::string("/usr/sbin/nslookup ") + host;
  VelString output;
  VelString error;
  if (!velExecuteSystemCommand(command.c_str(), output, error)) {
    VEL_ERROR("Command %s failed, error message is:%s", command.c_str(), error.c_str());
    VEL_RETURN(false);
  }
  VEL_DETAIL("Output is:%s, \nerror info is:%s", output.c_str(), error.c_str());
  VEL_RETURN(velFindNslookupName(output.c_str(), out));
}

// ---- Small functions ------------------------------------------------------------------------

void time2ct(time_t t, char* out) {
  if (out == nullptr) return;
  struct tm tmv;
  if (localtime_r(&t, &tmv) == nullptr) {
    int e = errno;
    VEL_ERROR("Convert message timestamp from time_t %d to localtime() failed: %d %s.",
              static_cast<int>(t), e, strerror(e));
    out[0] = 0;
    return;
  }
  char text[96];  // room for any int in every field; the result is cut to 16 characters
  (void)snprintf(text, sizeof text, "%03d%02d%02d%02d%02d%02d000", tmv.tm_year, tmv.tm_mon + 1,
                 tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
  vel_strncpy(out, text, 17);
  VEL_DETAIL("Convert timestamp \"%s\" from time_t %d", out, static_cast<int>(t));
}

void getTimeString(time_t t, char* out) {
  if (out == nullptr) return;
  struct tm tmv;
  if (localtime_r(&t, &tmv) == nullptr) {
    int e = errno;
    VEL_ERROR("Convert message timestamp from time_t %d to localtime() failed: %d %s.",
              static_cast<int>(t), e, strerror(e));
    out[0] = 0;
    return;
  }
  char text[96];  // room for any int in every field; the result is cut to 19 characters
  (void)snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", tmv.tm_year + 1900,
                 tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
  vel_strncpy(out, text, 20);
  VEL_DETAIL("Convert timestamp \"%s\" from time_t %d", out, static_cast<int>(t));
}

long getFileLastModifiedTime(const char* path) {
  if (path == nullptr || *path == 0) return 0;
  struct stat st;
  if (stat(path, &st) != 0) {
    int e = errno;
    VEL_ERROR("File %s not exist or not accessable.: %d %s.", path, e, strerror(e));
    return 0;
  }
  VEL_DETAIL("File %s last mtime %d", path, static_cast<int>(st.st_mtime));
  return static_cast<long>(st.st_mtime);
}

bool vel_disksize(const char* path, long long& available, long long& total, long long& used) {
  available = 0;
  total = 0;
  used = 0;
  if (path == nullptr || *path == 0) {
    VEL_ERROR("%s failed for path %s, error message: %d:%s", "statvfs", "", EINVAL,
              strerror(EINVAL));
    return false;
  }
  struct statvfs sv;
  if (statvfs(path, &sv) != 0) {
    int e = errno;
    VEL_ERROR("%s failed for path %s, error message: %d:%s", "statvfs", path, e, strerror(e));
    return false;
  }
  VEL_DETAIL(
      "%s success for path %s, bsize=%d, frsize=%d, blocks=%lld, bfree=%lld, bavail=%lld, "
      "ffiles=%lld, ffree=%lld, favail=%lld.",
      "statvfs", path, static_cast<int>(sv.f_bsize), static_cast<int>(sv.f_frsize),
      static_cast<long long>(sv.f_blocks), static_cast<long long>(sv.f_bfree),
      static_cast<long long>(sv.f_bavail), static_cast<long long>(sv.f_files),
      static_cast<long long>(sv.f_ffree), static_cast<long long>(sv.f_favail));
  long long frsize = static_cast<long long>(sv.f_frsize);
  available = static_cast<long long>(sv.f_bavail) * frsize;
  total = static_cast<long long>(sv.f_blocks) * frsize;
  used = (static_cast<long long>(sv.f_blocks) - static_cast<long long>(sv.f_bfree)) * frsize;
  return true;
}

int vel_getEnvAsInt(const char* name, int dflt) {
  if (name == nullptr) return dflt;
  const char* v = PEB1_GetEnv(name, nullptr);
  if (v == nullptr || *v == 0) return dflt;
  // atoi's reading of the text, with out-of-range values held at the limits instead of undefined.
  long n = strtol(v, nullptr, 10);
  if (n > INT_MAX) return INT_MAX;
  if (n < INT_MIN) return INT_MIN;
  return static_cast<int>(n);
}

int u_stricmp(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : 1;
  for (;; ++a, ++b) {
    int ca = tolower(static_cast<unsigned char>(*a));
    int cb = tolower(static_cast<unsigned char>(*b));
    if (ca != cb) return ca - cb;
    if (ca == 0) return 0;
  }
}

bool vel_isBinarch64() {
  // Our decision: the agent's framework names a platform by operating system, processor and
  // kernel or release, ending in a word-size digit; these are the 64-bit codes we accept (Linux
  // on x86-64, POWER, POWER little-endian, System z and ARM; AIX; Solaris on SPARC and x86-64;
  // HP-UX on Itanium). Every other value, 32-bit codes included, is false.
  static const char* const kArch64[] = {"lx8266", "lx8246", "lpp266", "lpl266", "ls3266",
                                        "la8266", "aix526", "aix536", "aix716", "sol606",
                                        "sol616", "sol286", "sol296", "hpi116", "hp116"};
  const char* v = PEB1_GetEnv("WXA_BINARCH", nullptr);
  if (v == nullptr) return false;
  for (const char* code : kArch64)
    if (strcmp(v, code) == 0) return true;
  return false;
}

char* vel_lltoa(char* out, long long v) {
  if (out == nullptr) return nullptr;
  // Digit by digit rather than through printf: row values of every fetch come through here.
  char digits[20];
  unsigned long long magnitude =
      v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  char* p = out;
  if (v < 0) *p++ = '-';
  while (n > 0) *p++ = digits[--n];
  *p = 0;
  return out;
}

char* vel_strncpy(char* out, const char* in, unsigned size) {
  if (out == nullptr || in == nullptr || size == 0) return nullptr;
  size_t n = strnlen(in, size - 1);
  memcpy(out, in, n);
  out[n] = 0;
  return out + n + 1;
}

bool velisWhiteSpace(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

char* strlower(char* text) {
  if (text == nullptr) return nullptr;
  for (char* p = text; *p != 0; ++p)
    *p = static_cast<char>(tolower(static_cast<unsigned char>(*p)));
  return text;
}

char* velTrimRight(char* text) {
  if (text == nullptr) return nullptr;
  size_t n = strlen(text);
  while (n > 0 && velisWhiteSpace(text[n - 1])) --n;
  text[n] = 0;
  return text;
}

char* velTrim(char* text) {
  if (text == nullptr) return nullptr;
  velTrimRight(text);
  size_t lead = 0;
  while (velisWhiteSpace(text[lead])) ++lead;
  if (lead > 0) memmove(text, text + lead, strlen(text + lead) + 1);
  return text;
}

char* trim(char* text) { return velTrim(text); }

void CountTotalRowsAndBytes(const char** values, int count, int& rows, int& bytes) {
  if (values != nullptr) {
    for (int i = 0; i < count; ++i)
      if (values[i] != nullptr) bytes += static_cast<int>(strlen(values[i]));
  }
  rows += 1;
}
