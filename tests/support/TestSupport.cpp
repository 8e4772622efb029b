#include "TestSupport.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "PEB1.h"

namespace veltest {

long msSince(std::chrono::steady_clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count());
}

void alignToSecond() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  std::this_thread::sleep_for(std::chrono::microseconds(1000000 - tv.tv_usec + 20000));
}
namespace {

void removeTree(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (dir) {
    while (dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      std::string child = path + "/" + name;
      struct stat st;
      if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        removeTree(child);
      else
        unlink(child.c_str());
    }
    closedir(dir);
  }
  rmdir(path.c_str());
}

}  // namespace

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/veltest.XXXXXX";
  char* made = mkdtemp(templ.data());
  m_path = made ? made : "";
}

TempDir::~TempDir() {
  if (!m_path.empty()) removeTree(m_path);
}

std::string TempDir::file(const std::string& name) const { return m_path + "/" + name; }

// Through the runtime's environment lock, so that a test changing a variable does not race with
// a thread of the program reading one (the trace settings, for one).
ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
  const char* old = PEB1_GetEnv(name, nullptr);
  m_hadOld = old != nullptr;
  if (old) m_old = old;
  if (value)
    PEB1_PutEnv((m_name + "=" + value).c_str());
  else
    PEB1_UnsetEnv(name);
}

ScopedEnv::~ScopedEnv() {
  if (m_hadOld)
    PEB1_PutEnv((m_name + "=" + m_old).c_str());
  else
    PEB1_UnsetEnv(m_name.c_str());
}

bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

time_t utcTime(int year, int month, int day, int h, int m, int s) {
  struct tm t = {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = h;
  t.tm_min = m;
  t.tm_sec = s;
  return timegm(&t);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string buildDir() { return VEL_BUILD_DIR; }

std::string sourceDir() { return VEL_SOURCE_DIR; }

bool makeSimDatabase(const std::string& seed, const std::string& outFile,
                     const std::string& extraSql) {
  std::string command = buildDir() + "/sim/velsim-mkdb " + sourceDir() + "/sim/oracle/seeds/" +
                        seed + " " + extraSql + " " + outFile + " >/dev/null 2>&1";
  return system(command.c_str()) == 0;
}

const char* const kDatabaseInformationBlock =
    "BEGIN\n"
    "  SELECT DECODE(SUBSTR(i.instance_name, 1, 1), '+', 'ASM', 'RDB'),\n"
    "         NVL((SELECT name FROM v$database), i.instance_name), i.version_full,\n"
    "         TO_NUMBER(SUBSTR(i.version, 1, 2)) * 10, '64',\n"
    "         DECODE(i.parallel, 'YES', 'true', 'false'),\n"
    "         NVL((SELECT database_role FROM v$database), 'PRIMARY'), i.instance_name, "
    "i.host_name\n"
    "    INTO :db_type, :db_name, :version, :shortversion, :bitversion, :iscluster, :db_role,\n"
    "         :dbinstance_name, :dbhostname\n"
    "    FROM v$instance i;\n"
    "END;";

LoopbackListener::LoopbackListener(int port, int backlog) : m_port(port), m_backlog(backlog) {
  reopen();
}

LoopbackListener::~LoopbackListener() { close(); }

void LoopbackListener::close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

bool LoopbackListener::reopen() {
  close();
  m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int on = 1;
  setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(m_port));
  socklen_t len = sizeof a;
  if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      listen(m_fd, m_backlog) != 0 ||
      getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close();
    return false;
  }
  m_port = ntohs(a.sin_port);
  return true;
}

int closedLoopbackPort() {
  LoopbackListener probe;
  return probe.port();
}

}  // namespace veltest
