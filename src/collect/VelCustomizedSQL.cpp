#include "VelCustomizedSQL.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "MUT1.h"
#include "PEB1.h"
#include "VelEncoding.h"
#include "VelUtil.h"

VEL_TRACE_UNIT("VelCustomizedSQL");

namespace {

// A file larger than this is read up to here only: no hand-written statement list comes near.
constexpr size_t kMaxFileSize = 64u << 20;

const char kSection[] = "SELECTSQL";

// Reads the whole open file; false on a read error.
bool readAll(int fd, std::string& out) {
  char chunk[65536];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    size_t room = kMaxFileSize - out.size();
    out.append(chunk, static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room);
    if (out.size() >= kMaxFileSize) {
      VEL_ERROR("File is larger than %d bytes, the rest is ignored",
                static_cast<int>(kMaxFileSize));
      return true;
    }
  }
}

// A time-out text: the whole text a decimal number strictly between the bounds.
bool parseTimeout(const char* text, int& out) {
  if (*text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  long value = strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0') return false;
  if (value <= Vel_CustomizedSQLList::kMinTimeout || value >= Vel_CustomizedSQLList::kMaxTimeout)
    return false;
  out = static_cast<int>(value);
  return true;
}

}  // namespace

VelCustomizedSQL::VelCustomizedSQL()
    : m_timeout(vel_getEnvAsInt("CDP_COLLECTION_TIMEOUT", 60)), m_lastRunTime(time(nullptr)) {}

Vel_CustomizedSQLList::Vel_CustomizedSQLList(const char* path) {
  if (path != nullptr) {
    m_path.assign(path);
  } else {
    const char* home = PEB1_GetEnv("ORMONDHOME", nullptr);
    if (home != nullptr) {
      m_path.assign(home);
      m_path.append("/config/");
      m_path.append(kFileName);
    }
  }
  VEL_DETAIL("Input filename is %s, parsed filepath is %s", path ? path : "", m_path.c_str());
}

VelCustomizedSQL* Vel_CustomizedSQLList::getSQLRecord(const char* sqlId) {
  if (sqlId == nullptr) return nullptr;
  for (auto it = m_statements.begin(); it != m_statements.end(); ++it)
    if (strcmp((*it)->m_sqlId.c_str(), sqlId) == 0) return *it;
  return nullptr;
}

bool Vel_CustomizedSQLList::addRecord(VelCustomizedSQL* statement) {
  if (statement == nullptr) return false;
  if (statement->m_sqlId.length() == 0 || statement->m_sqlText.length() == 0) {
    VEL_ERROR("Statement '%s' has no SQL_ID or no SQL_TEXT, it is ignored",
              statement->m_sqlId.c_str());
    delete statement;
    return false;
  }
  VelCustomizedSQL* listed = getSQLRecord(statement->m_sqlId.c_str());
  if (listed != nullptr) {
    listed->m_sqlText.assign(statement->m_sqlText.c_str());
    listed->m_readTime = statement->m_readTime;
    delete statement;
    return true;
  }
  if (!m_statements.push_back(statement)) {
    VEL_ERROR("Error at memory allocation");
    delete statement;
    return false;
  }
  return true;
}

void Vel_CustomizedSQLList::complete(VelCustomizedSQL*& statement) {
  if (statement == nullptr) return;
  // A section that gathered nothing (another section's header, say) is no statement.
  if (statement->m_sqlId.length() == 0 && statement->m_sqlText.length() == 0) {
    delete statement;
    statement = nullptr;
    return;
  }
  bool duplicate = getSQLRecord(statement->m_sqlId.c_str()) != nullptr;
  if (!addRecord(statement) || duplicate) ++m_problems;
  statement = nullptr;
}

void Vel_CustomizedSQLList::parse(const char* text, size_t size, time_t readTime) {
  VEL_FLOW_ENTRY("Vel_CustomizedSQLList::parse");
  // The statements read before keep their last-run fields while their identifier stays.
  VelTypePtrList<VelCustomizedSQL> previous;
  while (VelCustomizedSQL* s = m_statements.pop_front()) {
    if (!previous.push_back(s)) delete s;
  }
  m_problems = 0;
  VelCustomizedSQL* current = nullptr;
  bool inSection = false;
  bool inText = false;  // the last line was SQL_TEXT or one of its continuations
  char line[kMaxLineLength + 1];
  size_t pos = 0;
  int lineNumber = 0;
  while (text != nullptr && pos < size) {
    const char* start = text + pos;
    const void* found = memchr(start, '\n', size - pos);
    size_t length =
        found ? static_cast<size_t>(static_cast<const char*>(found) - start) : size - pos;
    pos += length + 1;
    ++lineNumber;
    if (length + 1 > kMaxLineLength) {
      VEL_ERROR("Line %d of %s is longer than %d bytes, it is ignored", lineNumber, m_path.c_str(),
                static_cast<int>(kMaxLineLength));
      ++m_problems;
      inText = false;
      continue;
    }
    if (length == 0) continue;  // a line that starts with its line feed
    memcpy(line, start, length);
    line[length] = '\0';
    bool indented = line[0] == ' ' || line[0] == '\t';
    char* content = velTrim(line);
    if (*content == '\0') continue;
    if (content[0] == '[' && !indented) {
      complete(current);
      current = new VelCustomizedSQL;
      if (current != nullptr) current->m_readTime = readTime;
      char* name = content + 1;
      char* close = strchr(name, ']');
      if (close != nullptr) *close = '\0';
      inSection = strcmp(velTrim(name), kSection) == 0;
      inText = false;
      continue;
    }
    if (!inSection || current == nullptr) {
      ++m_problems;
      continue;
    }
    if (indented && inText) {
      current->m_sqlText.append(content);
      current->m_sqlText.append("\n");
      continue;
    }
    inText = false;
    char* equals = strchr(content, '=');
    if (equals == nullptr) {
      ++m_problems;
      continue;
    }
    *equals = '\0';
    char* key = velTrim(content);
    char* value = velTrim(equals + 1);
    VEL_DETAIL("Key is:%s, value is:%s", key, value);
    if (velstricmp(key, "SQL_ID") == 0) {
      current->m_sqlId.assign(value);
    } else if (velstricmp(key, "SQL_TEXT") == 0) {
      current->m_sqlText.assign(value);
      current->m_sqlText.append("\n");
      inText = true;
    } else if (velstricmp(key, "SQL_TIMEOUT") == 0) {
      if (!parseTimeout(value, current->m_timeout)) {
        VEL_ERROR("SQL_TIMEOUT '%s' is not a number between %d and %d, it is ignored", value,
                  kMinTimeout, kMaxTimeout);
        ++m_problems;
      }
    } else {
      ++m_problems;
    }
  }
  complete(current);
  for (auto it = m_statements.begin(); it != m_statements.end(); ++it) {
    for (auto old = previous.begin(); old != previous.end(); ++old) {
      if (strcmp((*old)->m_sqlId.c_str(), (*it)->m_sqlId.c_str()) != 0) continue;
      (*it)->m_lastRunTime = (*old)->m_lastRunTime;
      (*it)->m_lastMessage.assign((*old)->m_lastMessage.c_str());
      (*it)->m_lastErrorCode = (*old)->m_lastErrorCode;
      break;
    }
  }
}

bool Vel_CustomizedSQLList::load(int interval) {
  VEL_FLOW_ENTRY("Vel_CustomizedSQLList::load");
  time_t now = time(nullptr);
  if (interval > 0) {
    if (now - m_lastCheck < interval) VEL_RETURN(true);
    m_lastCheck = now;
  }
  const char* path = m_path.c_str();
  struct stat st;
  if (m_path.length() == 0 || stat(path, &st) != 0) {
    int err = m_path.length() == 0 ? ENOENT : errno;
    VEL_DETAIL("File %s not exist or not accessable.: %d %s.", path, err, strerror(err));
    VEL_RETURN(false);
  }
  if (st.st_mtime == m_mtime && st.st_mtim.tv_nsec == m_mtimeNs && st.st_size == m_size &&
      st.st_ino == m_inode) {
    VEL_DETAIL("File %s is up to date, doesn't need load property file ", path);
    VEL_RETURN(true);
  }
  VEL_DETAIL("File %s last mtime %d, current mtime %d.", path, static_cast<int>(m_mtime),
             static_cast<int>(st.st_mtime));
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    VEL_ERROR("Can't open file: %s, errno is %d, %s", path, err, strerror(err));
    VEL_RETURN(false);
  }
  // What is read is what the open descriptor holds: a file replaced meanwhile is a change that
  // the next check sees.
  std::string content;
  struct stat opened;
  bool ok = fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && readAll(fd, content);
  int err = errno;
  close(fd);
  if (!ok) {
    VEL_ERROR("Can't open file: %s, errno is %d, %s", path, err, strerror(err));
    VEL_RETURN(false);
  }
  parse(content.data(), content.size(), now);
  m_mtime = opened.st_mtime;
  m_mtimeNs = opened.st_mtim.tv_nsec;
  m_size = opened.st_size;
  m_inode = opened.st_ino;
  if (VEL_TRACE_ON(MUT1_DETAIL)) dump();
  VEL_RETURN(true);
}

void Vel_CustomizedSQLList::dump() const {
  VEL_DETAIL("The entries number is %d", static_cast<int>(m_statements.getCount()));
  for (auto it = m_statements.begin(); it != m_statements.end(); ++it)
    VEL_DETAIL("The SQLID is %s, the content is %s", (*it)->m_sqlId.c_str(),
               (*it)->m_sqlText.c_str());
}
