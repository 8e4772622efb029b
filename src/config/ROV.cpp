// Configuration reader: INI-style instance configuration files (format in ROV.h).
#include "ROV.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "MUT1.h"
#include "PEB1.h"

VEL_TRACE_UNIT("rov");

namespace ROV {

// ---- String ---------------------------------------------------------------------------------

void String::assign(const char* text) {
  if (text == nullptr) {
    m_text.clear();
    return;
  }
  m_text.assign(text);
}

void String::assign(const char* text, size_t length) {
  if (text == nullptr) {
    m_text.clear();
    return;
  }
  m_text.assign(text, length);
}

void String::clear() { m_text.clear(); }

// ---- ConfigSection --------------------------------------------------------------------------

ConfigSection::ConfigSection(const char* name, const char* id)
    : m_name(name ? name : ""), m_id(id ? id : "") {}

bool ConfigSection::getEntryValue(const char* name, String& value) const {
  if (name == nullptr) return false;
  for (const Entry& e : m_entries) {
    if (e.name == name) {
      value.assign(e.value.data(), e.value.size());
      return true;
    }
  }
  return false;
}

const char* ConfigSection::getEntryName(int i) const {
  if (i < 0 || i >= getNumEntries()) return nullptr;
  return m_entries[static_cast<size_t>(i)].name.c_str();
}

void ConfigSection::setEntry(const char* name, const char* value) {
  if (name == nullptr) return;
  for (Entry& e : m_entries) {
    if (e.name == name) {
      e.value = value ? value : "";
      return;
    }
  }
  m_entries.push_back(Entry{name, value ? value : ""});
}

// ---- InstanceConfig -------------------------------------------------------------------------

InstanceConfig::InstanceConfig(const char* name) : m_name(name ? name : "") {}

InstanceConfig::~InstanceConfig() {
  for (ConfigSection* s : m_sections) delete s;
}

ConfigSection* InstanceConfig::getSection(int i) const {
  if (i < 0 || i >= getNumSections()) return nullptr;
  return m_sections[static_cast<size_t>(i)];
}

ConfigSection* InstanceConfig::addSection(const char* name, const char* id) {
  ConfigSection* s = new ConfigSection(name, id);
  m_sections.push_back(s);
  return s;
}

// ---- AgentConfig ----------------------------------------------------------------------------

AgentConfig::~AgentConfig() { clear(); }

InstanceConfig* AgentConfig::getInstance(const char* instanceName) const {
  const char* wanted = instanceName ? instanceName : "";
  for (InstanceConfig* i : m_instances) {
    if (strcmp(i->getName(), wanted) == 0) return i;
  }
  return nullptr;
}

void AgentConfig::clear() {
  for (InstanceConfig* i : m_instances) delete i;
  m_instances.clear();
  m_source.clear();
  m_productCode.clear();
}

// ---- ConfigParser ---------------------------------------------------------------------------

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// Trims blanks from both ends of [*begin, *end).
void trimRange(const char** begin, const char** end) {
  while (*begin < *end && isBlank(**begin)) ++*begin;
  while (*end > *begin && isBlank((*end)[-1])) --*end;
}

// Parses one line (without its line feed). Returns null when the line is fine, otherwise the
// reason it is malformed. *section is the section entries go to (null before the first header).
const char* parseLine(const char* begin, const char* end, InstanceConfig* instance,
                      ConfigSection** section) {
  if (memchr(begin, '\0', static_cast<size_t>(end - begin)) != nullptr)
    return "the line holds a NUL byte";
  trimRange(&begin, &end);
  if (begin == end) return nullptr;                    // blank line
  if (*begin == '#' || *begin == ';') return nullptr;  // comment line

  if (*begin == '[') {
    const char* close =
        static_cast<const char*>(memchr(begin, ']', static_cast<size_t>(end - begin)));
    if (close == nullptr) return "the section header has no closing ']'";
    const char* rest = close + 1;
    while (rest < end && isBlank(*rest)) ++rest;
    if (rest < end && *rest != '#' && *rest != ';') return "text follows the section header";
    const char* nb = begin + 1;
    const char* ne = close;
    trimRange(&nb, &ne);
    if (nb == ne) return "the section header has no name";
    const char* ie = nb;
    while (ie < ne && !isBlank(*ie)) ++ie;
    std::string name(nb, ie);
    const char* ib = ie;
    const char* idEnd = ne;
    trimRange(&ib, &idEnd);
    std::string id(ib, idEnd);
    *section = instance->addSection(name.c_str(), id.c_str());
    return nullptr;
  }

  const char* eq = static_cast<const char*>(memchr(begin, '=', static_cast<size_t>(end - begin)));
  if (eq == nullptr) return "the line is neither a section header nor a key = value entry";
  const char* kb = begin;
  const char* ke = eq;
  trimRange(&kb, &ke);
  if (kb == ke) return "the entry has no key";
  for (const char* p = kb; p < ke; ++p) {
    if (isBlank(*p)) return "the key holds blanks";
  }
  if (*section == nullptr) return "the entry comes before the first section header";
  const char* vb = eq + 1;
  const char* ve = end;
  trimRange(&vb, &ve);
  std::string key(kb, ke);
  std::string value(vb, ve);
  (*section)->setEntry(key.c_str(), value.c_str());
  return nullptr;
}

}  // namespace

bool ConfigParser::parseText(const char* text, size_t length, const char* sourceName,
                             const char* productCode, const char* instanceName, AgentConfig& out,
                             int* badLines) {
  VEL_FLOW_ENTRY("ROV::ConfigParser::parseText");
  if (badLines) *badLines = 0;
  if (text == nullptr && length != 0) VEL_RETURN(false);
  const char* source = sourceName ? sourceName : "(memory)";
  out.clear();
  out.m_productCode = productCode ? productCode : "";
  out.m_source = source;
  InstanceConfig* instance = new InstanceConfig(instanceName);
  out.m_instances.push_back(instance);

  const char* p = text;
  const char* end = text + length;
  // A UTF-8 byte-order mark is not part of the first line.
  if (length >= 3 && memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
  ConfigSection* section = nullptr;
  int lineNo = 0;
  int bad = 0;
  while (p < end) {
    ++lineNo;
    const char* nl = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
    const char* lineEnd = nl ? nl : end;
    const char* reason = parseLine(p, lineEnd, instance, &section);
    if (reason != nullptr) {
      ++bad;
      VEL_ERROR("Configuration file %s, line %d skipped: %s", source, lineNo, reason);
    }
    p = nl ? nl + 1 : end;
  }
  if (length == 0)
    VEL_ERROR("Configuration file %s is empty", source);
  else if (instance->getNumSections() == 0)
    VEL_ERROR("Configuration file %s holds no section", source);
  VEL_DETAIL("Configuration file %s read: %d lines, %d sections, %d malformed lines", source,
             lineNo, instance->getNumSections(), bad);
  if (badLines) *badLines = bad;
  VEL_RETURN(true);
}

bool ConfigParser::getConfigPath(const char* productCode, const char* instanceName,
                                 std::string& path) {
  const char* explicitPath = PEB1_GetEnv("VEL_CONFIG_FILE", nullptr);
  if (explicitPath != nullptr && *explicitPath != '\0') {
    path = explicitPath;
    return true;
  }
  const char* home = PEB1_GetEnv("ORMONDHOME", nullptr);
  if (home == nullptr || *home == '\0') {
    VEL_ERROR(
        "Can not locate the configuration file: neither VEL_CONFIG_FILE nor ORMONDHOME is set");
    return false;
  }
  path = home;
  path += "/config/";
  path += productCode ? productCode : "";
  path += "_";
  path += instanceName ? instanceName : "";
  path += ".cfg";
  return true;
}

bool ConfigParser::parseFile(const char* path, const char* productCode, const char* instanceName,
                             AgentConfig& out) {
  VEL_FLOW_ENTRY("ROV::ConfigParser::parseFile");
  out.clear();
  if (path == nullptr || *path == '\0') {
    VEL_ERROR("Can not read the configuration file: no file name");
    VEL_RETURN(false);
  }
  // Non-blocking, so that a FIFO in the file's place cannot hang the reader.
  int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    int err = errno;
    VEL_ERROR("Can not open configuration file %s: %s", path, strerror(err));
    VEL_RETURN(false);
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    VEL_ERROR("Configuration file %s is not a regular file", path);
    close(fd);
    VEL_RETURN(false);
  }
  if (static_cast<unsigned long long>(st.st_size) > kMaxFileSize) {
    VEL_ERROR("Configuration file %s is too large (%lld bytes, at most %zu)", path,
              static_cast<long long>(st.st_size), kMaxFileSize);
    close(fd);
    VEL_RETURN(false);
  }
  // Read up to the size limit (plus one byte to notice a file that grew meanwhile).
  std::string text;
  text.resize(static_cast<size_t>(st.st_size) + 1);
  size_t got = 0;
  bool failed = false;
  while (got < text.size()) {
    ssize_t n = read(fd, &text[got], text.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      VEL_ERROR("Can not read configuration file %s: %s", path, strerror(err));
      failed = true;
      break;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  if (failed) VEL_RETURN(false);
  if (got > static_cast<size_t>(st.st_size))
    VEL_ERROR("Configuration file %s changed while it was read; the first %zu bytes are used", path,
              static_cast<size_t>(st.st_size));
  text.resize(got > static_cast<size_t>(st.st_size) ? static_cast<size_t>(st.st_size) : got);
  VEL_RETURN(parseText(text.data(), text.size(), path, productCode, instanceName, out));
}

bool ConfigParser::parseConfig(const char* productCode, const char* instanceName,
                               AgentConfig& out) {
  VEL_FLOW_ENTRY("ROV::ConfigParser::parseConfig");
  std::string path;
  if (!getConfigPath(productCode, instanceName, path)) VEL_RETURN(false);
  VEL_DETAIL("Reading configuration file %s", path.c_str());
  VEL_RETURN(parseFile(path.c_str(), productCode, instanceName, out));
}

}  // namespace ROV
