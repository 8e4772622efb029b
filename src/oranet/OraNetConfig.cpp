#include "OraNetConfig.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "MUT1.h"
#include "PEB1.h"
#include "VelEncoding.h"
#include "VelUtil.h"

VEL_TRACE_UNIT("oranet");

namespace {

// One or more characters other than parentheses, backslash, quotes, number sign, tab, CR, LF
// and FF (blanks are allowed).
constexpr char kNameClass[] = "[^\\(\\)\\\\\"'#\t\r\n\f]+";
constexpr char kAliasTail[] = "(\\(.*DESCRIPTION.*\\s*\\))";
constexpr char kListenerTail[] = "(\\(.*\\s*\\))";
constexpr char kAddressPattern[] = "(?<=ADDRESS)\\s*=\\s*.+?\\)\\s*(?=\\))";
// A parameter pair "(NAME = value)" with its name and value as groups.
constexpr char kPairPattern[] = "\\s*\\(\\s*(\\w+)\\s*=\\s*([^\\)\\(=]+?)\\s*\\)";
// Bound of one match in the engine's steps (about a second at worst): a hand-written file can
// make the backtracking entry patterns slow, and a definition is never worth more.
constexpr int32_t kRegexTimeLimit = 1000;
constexpr unsigned kFirstConvertSize = 1024;
constexpr size_t kTraceTextLength = 512;
constexpr size_t kPathBufferSize = 4096;
constexpr const char* kProtocols[] = {"IPC", "NMP", "SDP", "TCP", "TCPS"};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Whether every ")" closes an earlier "(" and all are closed.
bool balanced(const VelString& text) {
  long depth = 0;
  for (const char* p = text.c_str(); *p != 0; ++p) {
    if (*p == '(') ++depth;
    if (*p == ')' && --depth < 0) return false;
  }
  return depth == 0;
}

// Reads a file as physical lines ended by LF, CR or CRLF; a line longer than the limit is
// reported as too long and its text dropped.
class LineReader {
 public:
  explicit LineReader(FILE* file) : m_file(file) {}
  // False at the end of the file.
  bool next(std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    bool any = false;
    for (;;) {
      if (m_pos == m_end && !fill()) return any;
      any = true;
      char c = m_buffer[m_pos++];
      if (c == '\n') return true;
      if (c == '\r') {
        if (m_pos == m_end) fill();
        if (m_pos < m_end && m_buffer[m_pos] == '\n') ++m_pos;
        return true;
      }
      if (line.size() < OraNetConfigBase::kMaxEntryLength)
        line.push_back(c);
      else
        tooLong = true;
    }
  }

 private:
  bool fill() {
    m_pos = 0;
    m_end = fread(m_buffer, 1, sizeof m_buffer, m_file);
    return m_end > 0;
  }
  FILE* m_file;
  char m_buffer[16384];
  size_t m_pos = 0;
  size_t m_end = 0;
};

// The directory of a candidate: at most the buffer less one byte, trimmed, one trailing "/"
// removed; false when nothing remains.
bool PreProcessPath(const char* dir, std::string& out) {
  if (dir == nullptr) return false;
  char buffer[kPathBufferSize];
  vel_strncpy(buffer, dir, sizeof buffer);
  velTrim(buffer);
  size_t n = strlen(buffer);
  if (n > 0 && buffer[n - 1] == '/') buffer[--n] = 0;
  out.assign(buffer, n);
  return n > 0;
}

}  // namespace

// ---- Status and entries ----------------------------------------------------------------------

void OraNetConnStatus::setStatus(int code, const char* text) {
  m_checkTime = static_cast<int32_t>(time(nullptr));
  memset(m_message, 0, sizeof m_message);
  if (text != nullptr) vel_strncpy(m_message, text, sizeof m_message);
  m_errorCode = code;
  m_state = code != 0 ? kNotReachable : kReachable;
}

bool OraListenerInfo::isEqual(const OraListenerInfo& other) const {
  return velFilePathCompare(m_fileName.c_str(), other.m_fileName.c_str()) == 0 &&
         m_listenerName.compare(other.m_listenerName.c_str()) == 0 &&
         m_address.compare(other.m_address.c_str()) == 0;
}

void OraListenerInfo::copyFromParseInfo(const OraListenerInfo& parsed) {
  m_protocol = parsed.m_protocol;
  m_address = parsed.m_address;
  m_host = parsed.m_host;
  m_port = parsed.m_port;
  m_key = parsed.m_key;
  m_pipe = parsed.m_pipe;
  m_fileTime = parsed.m_fileTime;
}

void OraListenerInfo::dumpInfo() const {
  VEL_DETAIL(
      "Listener %s of file %s: protocol %s, address %s, host %s, port %s, key %s, pipe %s, file "
      "time %d, state %d, code %d",
      m_listenerName.c_str(), m_fileName.c_str(), m_protocol.c_str(), m_address.c_str(),
      m_host.c_str(), m_port.c_str(), m_key.c_str(), m_pipe.c_str(), m_fileTime, m_status.m_state,
      m_status.m_errorCode);
}

// ---- Lists -----------------------------------------------------------------------------------

namespace {

// The index keys: the fields that identify an entry, separated by a byte no text holds.
std::string listenerKey(const OraListenerInfo& i) {
  return std::string(i.m_fileName.c_str()) + '\0' + i.m_listenerName.c_str() + '\0' +
         i.m_address.c_str();
}

std::string aliasKey(const VelString& file, const VelString& name) {
  return std::string(file.c_str()) + '\0' + name.c_str();
}

std::string aliasKeyOf(const OraNetServiceInfo& i) { return aliasKey(i.m_fileName, i.m_name); }

}  // namespace

bool OraListenerInfoList::add(const OraListenerInfo& info) {
  VelMutexHandler lock(m_mutex);
  std::string key = listenerKey(info);
  if (OraListenerInfo* have = find(key)) {
    have->copyFromParseInfo(info);
    return true;
  }
  OraListenerInfo* copy = new OraListenerInfo(info);
  if (copy != nullptr) copy->m_status = OraNetConnStatus();
  return insert(std::move(key), copy);
}

bool OraListenerInfoList::updateStatus(const VelString& file, const VelString& name,
                                       const VelString& address, const OraNetConnStatus& status) {
  VelMutexHandler lock(m_mutex);
  VEL_DETAIL("File is:%s, Conn name is:%s", file.c_str(), name.c_str());
  OraListenerInfo probe;
  probe.m_fileName = file;
  probe.m_listenerName = name;
  probe.m_address = address;
  OraListenerInfo* have = find(listenerKey(probe));
  if (have != nullptr) have->m_status = status;
  return have != nullptr;
}

void OraListenerInfoList::clearOrphanInfo(const VelString& file, long fileTime) {
  VelMutexHandler lock(m_mutex);
  dropOrphans(file, fileTime, listenerKey, [&](const OraListenerInfo& info) {
    VEL_DETAIL(
        "Found the orphan service info, %s, protocol:%s, addr:%s, file time is:%d, checking file "
        "time is:%d",
        info.m_listenerName.c_str(), info.m_protocol.c_str(), info.m_address.c_str(),
        info.m_fileTime, static_cast<int>(fileTime));
  });
}

bool OraNetServiceInfoList::add(const VelString& file, const VelString& name,
                                const VelString& descriptor, long fileTime) {
  VelMutexHandler lock(m_mutex);
  std::string key = aliasKey(file, name);
  OraNetServiceInfo* info = find(key);
  const bool known = info != nullptr;
  if (!known) info = new OraNetServiceInfo;
  if (info == nullptr) return false;
  info->m_name = name;
  info->m_descriptor = descriptor;
  info->m_fileName = file;
  info->m_fileTime = static_cast<int32_t>(fileTime);
  return known || insert(std::move(key), info);
}

bool OraNetServiceInfoList::updateStatus(const VelString& file, const VelString& name,
                                         const OraNetConnStatus& status) {
  VelMutexHandler lock(m_mutex);
  VEL_DETAIL("File is:%s, Conn name is:%s", file.c_str(), name.c_str());
  OraNetServiceInfo* have = find(aliasKey(file, name));
  if (have != nullptr) have->m_status = status;
  return have != nullptr;
}

void OraNetServiceInfoList::clearOrphanInfo(const VelString& file, long fileTime) {
  VelMutexHandler lock(m_mutex);
  dropOrphans(file, fileTime, aliasKeyOf, [&](const OraNetServiceInfo& info) {
    VEL_DETAIL("Found the orphan service info, %s, %s, file time is:%d, checking file time is:%d",
               info.m_name.c_str(), info.m_descriptor.c_str(), info.m_fileTime,
               static_cast<int>(fileTime));
  });
}

bool OraNetFileInfoList::add(OraNetFileInfo* info) {
  if (info == nullptr) return false;
  VEL_DETAIL("The file name is %s", info->m_path.c_str());
  for (OraNetFileInfo* have : *this) {
    if (velFilePathCompare(have->m_path.c_str(), info->m_path.c_str()) == 0) {
      delete info;
      return false;
    }
  }
  if (push_back(info)) return true;
  delete info;
  return false;
}

void OraNetFileInfoList::addFileInfo(int type) {
  VEL_FLOW_ENTRY("OraNetFileInfoList::addFileInfo");
  const char* fileName = type == kListener   ? "listener.ora"
                         : type == kTnsNames ? "tnsnames.ora"
                                             : nullptr;
  if (fileName == nullptr) {
    VEL_ERROR("Invalid type:%d", type);
    return;
  }
  auto addCandidate = [&](const char* dir) {
    std::string prepared;
    if (!PreProcessPath(dir, prepared)) return;
    add(new OraNetFileInfo((prepared + "/" + fileName).c_str()));
  };
  const char* loadNet = PEB1_GetEnv("VEL_LOAD_ORACLE_NET", nullptr);
  if (loadNet == nullptr || velstricmp(loadNet, "FALSE") != 0) {
    addCandidate(PEB1_GetEnv("TNS_ADMIN", nullptr));
    std::string home;
    if (PreProcessPath(PEB1_GetEnv("VEL_ORACLE_HOME", nullptr), home))
      addCandidate((home + "/network/admin").c_str());
  }
  const char* paths = PEB1_GetEnv("VEL_TNS_PATHS", nullptr);
  VelString dir;
  for (const char* rest = paths; rest != nullptr && *rest != 0;) {
    rest = velGetSplitString(rest, ":", dir);
    VEL_DETAIL("Splitted path is:%s", dir.c_str());
    addCandidate(dir.c_str());
  }
}

// ---- The reader ------------------------------------------------------------------------------

OraNetConfigBase::OraNetConfigBase() {
  UErrorCode status = U_ZERO_ERROR;
  m_converter = ucnv_open("UTF8", &status);
  if (U_FAILURE(status)) {
    VEL_ERROR("Error at ucnv_open, error code is:%d", static_cast<int>(status));
    m_converter = nullptr;
  }
}

OraNetConfigBase::~OraNetConfigBase() {
  if (m_converter != nullptr) ucnv_close(m_converter);
}

std::unique_ptr<icu::RegexPattern> OraNetConfigBase::compile(const icu::UnicodeString& pattern) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError;
  std::unique_ptr<icu::RegexPattern> compiled(
      icu::RegexPattern::compile(pattern, UREGEX_CASE_INSENSITIVE, parseError, status));
  if (U_FAILURE(status)) {
    VEL_ERROR("Error at compiling a pattern, error code is:%d", static_cast<int>(status));
    compiled.reset();
  }
  return compiled;
}

std::unique_ptr<icu::RegexPattern> OraNetConfigBase::compileEntryPattern(const char* tail) {
  std::string text = std::string("\\s*(") + kNameClass + ")\\s*=\\s*" + tail;
  return compile(icu::UnicodeString(text.c_str(), static_cast<int32_t>(text.size()), US_INV));
}

bool OraNetConfigBase::toUnicode(const char* text, int32_t length, icu::UnicodeString& out) {
  if (m_converter == nullptr) return false;
  UErrorCode status = U_ZERO_ERROR;
  out = icu::UnicodeString(text, length, m_converter, status);
  return U_SUCCESS(status);
}

bool OraNetConfigBase::fromUnicode(const icu::UnicodeString& text, VelString& out) {
  out.clear();
  if (m_converter == nullptr) return false;
  char first[kFirstConvertSize];
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = text.extract(first, sizeof first, m_converter, status);
  if (U_SUCCESS(status) && n < static_cast<int32_t>(sizeof first)) return out.append(first, n);
  std::vector<char> second(static_cast<size_t>(n) + 1);
  status = U_ZERO_ERROR;
  int32_t m = text.extract(second.data(), n + 1, m_converter, status);
  if (U_FAILURE(status) || m > n) {
    VEL_ERROR("Second try converting failed, error code is %d, length is %d",
              static_cast<int>(status), n);
    return false;
  }
  return out.append(second.data(), static_cast<unsigned>(m));
}

bool OraNetConfigBase::groupText(icu::RegexMatcher& matcher, int group, VelString& out) {
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString text = matcher.group(group, status);
  if (U_FAILURE(status)) return false;
  text.trim();
  return fromUnicode(text, out);
}

std::string OraNetConfigBase::traceText(const VelString& entry) {
  std::string text(entry.c_str(), entry.length());
  if (text.size() > kTraceTextLength) text = text.substr(0, kTraceTextLength) + "...";
  return text;
}

char* OraNetConfigBase::PreProcessLine(char* line) {
  if (line == nullptr) return nullptr;
  char* hash = strchr(line, '#');
  if (hash != nullptr) *hash = 0;
  char* start = line;
  while (isBlank(*start)) ++start;
  char* end = start + strlen(start);
  while (end > start && isBlank(end[-1])) --end;
  *end = 0;
  return *start != 0 ? start : nullptr;
}

void OraNetConfigBase::onBeforeReadFile(const VelString& path) {
  VEL_DETAIL("Reading %s file %s", shortFileName(), path.c_str());
}

void OraNetConfigBase::handOver(std::string& gathered, bool& oversized) {
  if (oversized) {
    VEL_ERROR("A definition longer than %d bytes in file %s is skipped",
              static_cast<int>(kMaxEntryLength), m_fileName.c_str());
  } else if (!gathered.empty()) {
    VelString entry;
    if (entry.append(gathered.data(), static_cast<unsigned>(gathered.size())))
      onParseWholeLine(entry);
  }
  gathered.clear();
  oversized = false;
}

long OraNetConfigBase::ReadNetConfigFile(const char* path, long lastTime) {
  VEL_FLOW_ENTRY("OraNetConfigBase::ReadNetConfigFile");
  if (path == nullptr) VEL_RETURN(lastTime);
  m_fileName.assign(path);
  m_fileTime = getFileLastModifiedTime(path);
  if (m_fileTime == lastTime) {
    VEL_DETAIL("Thers is no change at file %s,no need to reload the file", path);
    VEL_RETURN(m_fileTime);
  }
  FILE* file = fopen(path, "rb");
  if (file == nullptr) {
    VEL_ERROR("Can't open file: %s, errno is %d", path, errno);
    // A file read before that is gone (or no longer readable) defines nothing any more: its
    // entries are dropped rather than kept with a stale status for ever. The next cycle tries
    // again.
    m_fileTime = 0;
    if (lastTime != 0) onAfterReadFile(m_fileName);
    VEL_RETURN(0L);
  }
  onBeforeReadFile(m_fileName);
  LineReader reader(file);
  std::string line;
  std::string gathered;
  bool tooLong = false;
  bool oversized = false;
  while (reader.next(line, tooLong)) {
    // A definition begins at a line that starts with anything but white space or a comment.
    // Lines may be any length (up to the limit), so an over-long line never splits a definition,
    // and a line starting with a parenthesis continues the one before: both cases are common in
    // hand-edited files.
    const char first = line.empty() ? 0 : line[0];
    const bool begins =
        first != 0 && !isBlank(first) && first != '#' && first != '(' && first != ')';
    if (begins) handOver(gathered, oversized);
    // What follows a "#" is a comment, however long.
    if (tooLong && line.find('#') != std::string::npos) tooLong = false;
    if (tooLong) {
      oversized = true;
      continue;
    }
    char* text = PreProcessLine(&line[0]);
    if (text == nullptr) continue;
    size_t n = strlen(text);
    if (gathered.size() + n + 1 > kMaxEntryLength) {
      oversized = true;
      continue;
    }
    if (!begins) gathered.push_back(' ');
    gathered.append(text, n);
  }
  handOver(gathered, oversized);
  fclose(file);
  onAfterReadFile(m_fileName);
  VEL_RETURN(m_fileTime);
}

// ---- tnsnames.ora ----------------------------------------------------------------------------

OraNetConfigTnsNames::OraNetConfigTnsNames(OraNetServiceInfoList& list) : m_list(list) {
  m_entryPattern = compileEntryPattern(kAliasTail);
  if (m_entryPattern != nullptr && m_converter != nullptr) {
    UErrorCode status = U_ZERO_ERROR;
    m_entryMatcher.reset(m_entryPattern->matcher(status));
    if (U_SUCCESS(status)) m_entryMatcher->setTimeLimit(kRegexTimeLimit, status);
    if (U_FAILURE(status)) m_entryMatcher.reset();
  }
}

OraNetConfigTnsNames::~OraNetConfigTnsNames() = default;

void OraNetConfigTnsNames::onParseWholeLine(VelString& entry) {
  if (m_entryMatcher == nullptr) return;
  UErrorCode status = U_ZERO_ERROR;
  VelString names;
  VelString descriptor;
  bool valid = toUnicode(entry.c_str(), static_cast<int32_t>(entry.length()), m_text);
  if (valid) {
    m_entryMatcher->reset(m_text);
    valid = m_entryMatcher->matches(status) && U_SUCCESS(status) &&
            groupText(*m_entryMatcher, 1, names) && groupText(*m_entryMatcher, 2, descriptor) &&
            names.length() > 0 && descriptor.length() > 0 && balanced(descriptor);
  }
  if (!valid) {
    VEL_ERROR("Invalid tnsname: %s, uErrorcode is %d", traceText(entry).c_str(),
              static_cast<int>(status));
    VEL_ERROR("The definition above is skipped, file %s", m_fileName.c_str());
    return;
  }
  // One definition may name several aliases, separated by commas; each is its own net service
  // name and is listed on its own.
  VelString name;
  for (const char* rest = names.c_str(); rest != nullptr && *rest != 0;) {
    rest = velGetSplitString(rest, ",", name);
    std::string trimmed(name.c_str());
    size_t b = trimmed.find_first_not_of(" \t");
    if (b == std::string::npos) continue;
    trimmed = trimmed.substr(b, trimmed.find_last_not_of(" \t") - b + 1);
    VEL_DETAIL("Parsed tnsnames entry, name is :%s, value is :%s", trimmed.c_str(),
               descriptor.c_str());
    if (!m_list.add(m_fileName, VelString(trimmed.c_str()), descriptor, m_fileTime))
      VEL_ERROR("No memory for alias %s of file %s", trimmed.c_str(), m_fileName.c_str());
  }
}

void OraNetConfigTnsNames::onAfterReadFile(const VelString& path) {
  m_list.clearOrphanInfo(path, m_fileTime);
}

// ---- listener.ora ----------------------------------------------------------------------------

OraNetConfigListeners::OraNetConfigListeners(OraListenerInfoList& list) : m_list(list) {
  m_entryPattern = compileEntryPattern(kListenerTail);
  m_addressPattern = compile(icu::UnicodeString(kAddressPattern, -1, US_INV));
  m_pairPattern = compile(icu::UnicodeString(kPairPattern, -1, US_INV));
  if (m_entryPattern == nullptr || m_addressPattern == nullptr || m_pairPattern == nullptr ||
      m_converter == nullptr)
    return;
  UErrorCode status = U_ZERO_ERROR;
  m_entryMatcher.reset(m_entryPattern->matcher(status));
  m_addressMatcher.reset(m_addressPattern->matcher(status));
  m_pairMatcher.reset(m_pairPattern->matcher(status));
  for (icu::RegexMatcher* m : {m_entryMatcher.get(), m_addressMatcher.get(), m_pairMatcher.get()})
    if (m != nullptr) m->setTimeLimit(kRegexTimeLimit, status);
  if (U_FAILURE(status)) {
    VEL_ERROR("Error at creating the matchers, error code is:%d", static_cast<int>(status));
    m_entryMatcher.reset();
  }
}

OraNetConfigListeners::~OraNetConfigListeners() = default;

void OraNetConfigListeners::onParseWholeLine(VelString& entry) {
  if (m_entryMatcher == nullptr) return;
  UErrorCode status = U_ZERO_ERROR;
  VelString name;
  VelString body;
  bool valid = toUnicode(entry.c_str(), static_cast<int32_t>(entry.length()), m_text);
  if (valid) {
    m_entryMatcher->reset(m_text);
    valid = m_entryMatcher->matches(status) && U_SUCCESS(status) &&
            groupText(*m_entryMatcher, 1, name) && groupText(*m_entryMatcher, 2, body) &&
            name.length() > 0 && balanced(body);
  }
  if (!valid) {
    VEL_ERROR("Invalid tnsname: %s", traceText(entry).c_str());
    VEL_ERROR("The definition above is skipped, file %s", m_fileName.c_str());
    return;
  }
  m_addressMatcher->reset(m_text);
  while (m_addressMatcher->find(status) && U_SUCCESS(status)) {
    icu::UnicodeString address = m_addressMatcher->group(status);
    if (U_FAILURE(status)) break;
    VelString addressText;
    fromUnicode(address, addressText);
    VEL_DETAIL("Address Pattern is:%s", addressText.c_str());
    OraListenerInfo info;
    info.m_listenerName = name;
    info.m_fileName = m_fileName;
    info.m_fileTime = static_cast<int32_t>(m_fileTime);
    if (!parseAddr(address, info)) {
      VEL_ERROR("Address %s of listener %s in file %s is skipped", addressText.c_str(),
                name.c_str(), m_fileName.c_str());
      continue;
    }
    if (!m_list.add(info))
      VEL_ERROR("No memory for listener %s of file %s", name.c_str(), m_fileName.c_str());
  }
  if (U_FAILURE(status))
    VEL_ERROR("Searching the addresses of %s in file %s failed, error code is:%d", name.c_str(),
              m_fileName.c_str(), static_cast<int>(status));
}

bool OraNetConfigListeners::parseAddr(const icu::UnicodeString& address, OraListenerInfo& info) {
  if (m_pairMatcher == nullptr || address.indexOf(static_cast<UChar>('(')) < 0) return false;
  info.m_protocol.clear();
  info.m_address.clear();
  info.m_host.clear();
  info.m_key.clear();
  info.m_pipe.clear();
  info.m_port.assign("-1");
  int protocol = 0;
  VelString server;
  VelString host;
  VelString port;
  UErrorCode status = U_ZERO_ERROR;
  m_addressText = address;
  m_pairMatcher->reset(m_addressText);
  while (m_pairMatcher->find(status) && U_SUCCESS(status)) {
    VelString key;
    VelString value;
    if (!groupText(*m_pairMatcher, 1, key) || !groupText(*m_pairMatcher, 2, value)) continue;
    if (velstricmp(key.c_str(), "PROTOCOL") == 0) {
      protocol = 0;
      for (int i = 0; i < 5; ++i)
        if (velstricmp(value.c_str(), kProtocols[i]) == 0) protocol = i + 1;
      info.m_protocol.assign(protocol != 0 ? kProtocols[protocol - 1] : "");
    } else if (velstricmp(key.c_str(), "KEY") == 0) {
      info.m_key = value;
    } else if (velstricmp(key.c_str(), "SERVER") == 0) {
      server = value;
    } else if (velstricmp(key.c_str(), "PIPE") == 0) {
      info.m_pipe = value;
    } else if (velstricmp(key.c_str(), "HOST") == 0) {
      host = value;
    } else if (velstricmp(key.c_str(), "PORT") == 0) {
      port = value;
    }
  }
  VEL_DETAIL("Current protocol is%d", protocol);
  std::string text;
  switch (protocol) {
    case 1:  // IPC
      if (info.m_key.length() == 0) return false;
      text = std::string("(PROTOCOL=IPC)(KEY=") + info.m_key.c_str() + ")";
      break;
    case 2:  // NMP
      if (server.length() == 0 || info.m_pipe.length() == 0) return false;
      info.m_host = server;
      text = std::string("(PROTOCOL=NMP)(SERVER=") + server.c_str() +
             ")(PIPE=" + info.m_pipe.c_str() + ")";
      break;
    case 3:  // SDP
    case 4:  // TCP
    case 5:  // TCPS
      if (host.length() == 0 || port.length() == 0) return false;
      info.m_host = host;
      info.m_port = port;
      text = std::string("(PROTOCOL=") + kProtocols[protocol - 1] + ")(HOST=" + host.c_str() +
             ")(PORT=" + port.c_str() + ")";
      break;
    default:
      return false;
  }
  return info.m_address.assign(text.c_str());
}

void OraNetConfigListeners::onAfterReadFile(const VelString& path) {
  m_list.clearOrphanInfo(path, m_fileTime);
}
