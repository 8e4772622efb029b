#include "CPropFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "MUT1.h"
#include "VelUtil.h"

VEL_TRACE_UNIT("alertlog");

namespace {

VelString* newText(const char* text) {
  VelString* s = new VelString();
  if (s != nullptr && !s->assign(text)) {
    delete s;
    return nullptr;
  }
  return s;
}

}  // namespace

CPropFile::CPropFile(const char* path) : m_sFileName(path) {}

CPropFile::~CPropFile() { clear(); }

void CPropFile::freeLines(Lines& lines) {
  for (VelString* s : lines) delete s;
  lines.clear();
}

void CPropFile::clear() {
  for (VelString* s : m_keys) delete s;
  for (VelString* s : m_values) delete s;
  for (Lines& lines : m_before) freeLines(lines);
  freeLines(m_trailer);
  m_keys.clear();
  m_values.clear();
  m_before.clear();
  m_bModified = false;
  m_tFileTime = 0;
}

int CPropFile::find(const char* key) const {
  for (size_t i = 0; i < m_keys.size(); ++i) {
    if (strcmp(m_keys[i]->c_str(), key) == 0) return static_cast<int>(i);
  }
  return -1;
}

const char* CPropFile::getKeyAt(int index) const {
  if (index < 0 || index >= size()) {
    VEL_ERROR("Index %d out of range 0-%d", index, size());
    return nullptr;
  }
  return m_keys[index]->c_str();
}

const char* CPropFile::getPropertyAt(int index) const {
  if (index < 0 || index >= size()) {
    VEL_ERROR("Index %d out of range 0-%d", index, size());
    return nullptr;
  }
  return m_values[index]->c_str();
}

const char* CPropFile::getProperty(const char* key, const char* dflt) const {
  if (key == nullptr) return dflt;
  int i = find(key);
  return i < 0 ? dflt : m_values[i]->c_str();
}

int CPropFile::getPropertyAsInt(const char* key, int dflt) const {
  const char* value = getProperty(key, nullptr);
  if (value == nullptr) return dflt;
  errno = 0;
  long v = strtol(value, nullptr, 10);  // atoi's reading, with overflow seen
  if (errno == 0 && (v > INT_MAX || v < INT_MIN)) errno = ERANGE;
  if (errno != 0) {
    int e = errno;
    VEL_ERROR("Unable to convert property '%s=%s' to integer: %d %s, use default value %d", key,
              value, e, strerror(e), dflt);
    return dflt;
  }
  return static_cast<int>(v);
}

long long CPropFile::getPropertyAsLong(const char* key, long long dflt) const {
  const char* value = getProperty(key, nullptr);
  if (value == nullptr) return dflt;
  errno = 0;
  long long v = strtoll(value, nullptr, 10);
  if (errno != 0) {
    int e = errno;
    VEL_ERROR("Unable to convert property '%s=%s' to long long: %d %s, use default value %lld", key,
              value, e, strerror(e), dflt);
    return dflt;
  }
  return v;
}

bool CPropFile::setProperty(const char* key, const char* value) {
  if (key == nullptr || value == nullptr || *key == '\0' || *value == '\0') {
    VEL_ERROR("Append property '%s'='%s' failed.", key ? key : "", value ? value : "");
    return false;
  }
  int i = find(key);
  if (i >= 0) {
    if (m_values[i]->compare(value) != 0) {
      if (!m_values[i]->assign(value)) return false;
      m_bModified = true;
    }
    return true;
  }
  VelString* k = newText(key);
  VelString* v = newText(value);
  if (k == nullptr || v == nullptr) {
    delete k;
    delete v;
    VEL_ERROR("Append property '%s'='%s' failed.", key, value);
    return false;
  }
  m_keys.push_back(k);
  m_values.push_back(v);
  m_before.emplace_back();
  return true;
}

bool CPropFile::setPropertyAsInt(const char* key, int value) {
  char buffer[30] = {};
  snprintf(buffer, sizeof buffer, "%d", value);
  return setProperty(key, buffer);
}

bool CPropFile::setPropertyAsLong(const char* key, long long value) {
  char buffer[50] = {};
  snprintf(buffer, sizeof buffer, "%lld", value);
  return setProperty(key, buffer);
}

bool CPropFile::needLoad() {
  struct stat st;
  if (stat(m_sFileName.c_str(), &st) != 0) {
    int e = errno;
    VEL_ERROR("Property file %s not exist or not accessable.: %d %s.", m_sFileName.c_str(), e,
              strerror(e));
    return false;
  }
  return st.st_mtime > m_tFileTime;
}

bool CPropFile::fileExists() const {
  int fd = open(m_sFileName.c_str(), O_RDONLY);
  if (fd < 0) {
    int e = errno;
    VEL_ERROR("Open file '%s' failed: %d %s.", m_sFileName.c_str(), e, strerror(e));
    return false;
  }
  close(fd);
  return true;
}

// One line of the file, its line end removed. Comments, blank lines and lines that hold no
// property are kept in pending (in their places for save); a property is added or updated.
void CPropFile::parseLine(char* line, int number, Lines& pending) {
  size_t n = strlen(line);
  while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = '\0';
  VelString* raw = newText(line);
  char* text = trim(line);
  if (*text == '\0' || *text == '#') {
    if (raw != nullptr) pending.push_back(raw);
    return;
  }
  char* eq = strchr(text, '=');
  const char* reason = nullptr;
  if (eq == nullptr) {
    reason = "no '='";
  } else {
    *eq = '\0';
    char* key = trim(text);
    char* value = trim(eq + 1);
    if (*key == '\0' || *value == '\0') {
      reason = "empty name or value";
    } else {
      if (find(key) >= 0) {
        VEL_ERROR("Property file '%s' line %d: key '%s' repeated, the later value is used.",
                  m_sFileName.c_str(), number, key);
        setProperty(key, value);
      } else if (setProperty(key, value)) {
        m_before.back().swap(pending);  // the comments above a new key belong to it
      }
      delete raw;
      return;
    }
  }
  // A line that holds no property is not lost: it is written back as it stood.
  VEL_ERROR("Property file '%s' line %d ignored: %s.", m_sFileName.c_str(), number, reason);
  if (raw != nullptr) pending.push_back(raw);
}

bool CPropFile::load() {
  VEL_FLOW_ENTRY("CPropFile::load");
  if (!needLoad()) VEL_RETURN(false);
  FILE* f = fopen(m_sFileName.c_str(), "r");
  if (f == nullptr) {
    int e = errno;
    VEL_ERROR("Load file '%s' failed: %d %s.", m_sFileName.c_str(), e, strerror(e));
    VEL_RETURN(false);
  }
  // Parsed into a fresh object first, so that a read error leaves this one as it was.
  CPropFile fresh(m_sFileName.c_str());
  Lines pending;
  char* line = nullptr;
  size_t capacity = 0;
  int number = 0;
  // Lines are read whole, whatever their length (getline grows the buffer).
  while (getline(&line, &capacity, f) >= 0) fresh.parseLine(line, ++number, pending);
  int readError = ferror(f) ? errno : 0;
  free(line);
  fclose(f);
  fresh.m_trailer.swap(pending);
  if (readError != 0) {
    VEL_ERROR("Load file '%s' failed: %d %s.", m_sFileName.c_str(), readError, strerror(readError));
    VEL_RETURN(false);
  }
  clear();
  m_keys.swap(fresh.m_keys);
  m_values.swap(fresh.m_values);
  m_before.swap(fresh.m_before);
  m_trailer.swap(fresh.m_trailer);
  m_bModified = fresh.m_bModified;
  struct stat st;
  m_tFileTime = stat(m_sFileName.c_str(), &st) == 0 ? st.st_mtime : 0;
  VEL_DETAIL("Load property file succeed, total %d.", size());
  if (VEL_TRACE_ON(MUT1_DETAIL)) {
    for (int i = 0; i < size(); ++i)
      VEL_DETAIL("Property #%d: '%s=%s'", i, m_keys[i]->c_str(), m_values[i]->c_str());
  }
  VEL_RETURN(true);
}

bool CPropFile::save(const char* header) {
  VEL_FLOW_ENTRY("CPropFile::save");
  // Written to a temporary file beside the old one and renamed over it: a crash in the middle
  // of a write leaves the old file whole.
  std::string tmpName = std::string(m_sFileName.c_str()) + "." + std::to_string(getpid()) + ".tmp";
  const char* tmp = tmpName.c_str();
  int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC, 0664);
  FILE* f = fd < 0 ? nullptr : fdopen(fd, "w");
  if (f == nullptr) {
    int e = errno;
    if (fd >= 0) close(fd);
    unlink(tmp);
    VEL_ERROR("Save file '%s' failed: %d %s.", m_sFileName.c_str(), e, strerror(e));
    VEL_RETURN(false);
  }
  bool skipHeader = false;  // the header read back from the file is not written twice
  if (header != nullptr) {
    fprintf(f, "%s\n", header);
    const Lines& first = !m_before.empty() ? m_before.front() : m_trailer;
    skipHeader = !first.empty() && first.front()->compare(header) == 0;
  }
  auto writeLines = [&](const Lines& lines) {
    for (const VelString* s : lines) {
      if (skipHeader) {
        skipHeader = false;
        continue;
      }
      fprintf(f, "%s\n", s->c_str());
    }
  };
  for (size_t i = 0; i < m_keys.size(); ++i) {
    writeLines(m_before[i]);
    skipHeader = false;
    fprintf(f, "%s=%s\n", m_keys[i]->c_str(), m_values[i]->c_str());
  }
  writeLines(m_trailer);
  bool ok = fflush(f) == 0 && fsync(fd) == 0 && fchmod(fd, 0664) == 0;
  int e = errno;
  ok = (fclose(f) == 0) && ok;
  if (ok && rename(tmp, m_sFileName.c_str()) != 0) {
    ok = false;
    e = errno;
  }
  if (!ok) {
    unlink(tmp);
    VEL_ERROR("Save file '%s' failed: %d %s.", m_sFileName.c_str(), e, strerror(e));
    VEL_RETURN(false);
  }
  struct stat st;
  m_tFileTime = stat(m_sFileName.c_str(), &st) == 0 ? st.st_mtime : 0;
  m_bModified = false;
  VEL_RETURN(true);
}
