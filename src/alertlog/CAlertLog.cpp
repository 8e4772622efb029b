#include "CAlertLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "MUT1.h"
#include "VelEncoding.h"
#include "VelMemManager.h"

VEL_TRACE_UNIT("alertlog");

namespace {

constexpr int kDefaultMaxRead = 5242880;  // 5 MiB
constexpr int kLineBuffer = 8193;         // one line piece and its terminator
constexpr size_t kPiece = 8191;           // longer lines come in pieces of this many bytes
constexpr size_t kBlock = 1 << 20;        // read buffer
constexpr int kMaxMsgId = 21;             // identifier: prefix, "-" and digits
constexpr int kMaxPrefix = 127;
constexpr int kCodePageGB18030Alias = 5488;
constexpr int kCodePageGB18030 = 1392;
constexpr int32_t kMatchTimeLimit = 50;  // engine steps, of the order of a millisecond each

// Years a timestamp line may carry. The last word of a line must lie in this range for the line
// to be a timestamp line; from 1971 to 2099 so that today's entries carry their own time (the
// fixed layout keeps ordinary lines that end in a number out).
constexpr int kMinYear = 1971;
constexpr int kMaxYear = 2099;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isBlankOrEol(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads up to `count` decimal digits (at least one) at *p; false when there is none.
bool readNumber(const char*& p, int count, int& value) {
  if (!isDigit(*p)) return false;
  value = 0;
  for (int i = 0; i < count && isDigit(*p); ++i, ++p) value = value * 10 + (*p - '0');
  return true;
}

// Matches a weekday or month name at *p as strptime's %A and %B do: the abbreviation or the full
// name, any case. Returns the index in names, or -1.
int readName(const char*& p, const char* const* names, const char* const* full, int count) {
  for (int i = 0; i < count; ++i) {
    size_t n = strlen(full[i]);
    if (strncasecmp(p, full[i], n) == 0) {
      p += n;
      return i;
    }
  }
  for (int i = 0; i < count; ++i) {
    if (strncasecmp(p, names[i], 3) == 0) {
      p += 3;
      return i;
    }
  }
  return -1;
}

void skipBlanks(const char*& p) {
  while (*p == ' ' || *p == '\t') ++p;
}

// "%A %B %d %T %Y" in the C locale, by hand: strptime follows the process's LC_TIME, and a search
// must not depend on the language the agent happens to run in.
bool parseClassic(const char* text, struct tm& tm) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kDaysFull[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  static const char* const kMonthsFull[] = {"January",   "February", "March",    "April",
                                            "May",       "June",     "July",     "August",
                                            "September", "October",  "November", "December"};
  const char* p = text;
  memset(&tm, 0, sizeof tm);
  skipBlanks(p);
  int wday = readName(p, kDays, kDaysFull, 7);
  skipBlanks(p);
  int mon = readName(p, kMonths, kMonthsFull, 12);
  skipBlanks(p);
  int day = 0, hour = 0, minute = 0, second = 0, year = 0;
  if (wday < 0 || mon < 0 || !readNumber(p, 2, day)) return false;
  skipBlanks(p);
  if (!readNumber(p, 2, hour) || *p++ != ':' || !readNumber(p, 2, minute) || *p++ != ':' ||
      !readNumber(p, 2, second))
    return false;
  skipBlanks(p);
  if (!readNumber(p, 4, year)) return false;
  if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return false;
  tm.tm_wday = wday;
  tm.tm_mon = mon;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_year = year - 1900;
  return true;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  long era = (y >= 0 ? y : y - 399) / 400;
  long yoe = y - era * 400;
  long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

char* zeroed(size_t n) {
  char* p = static_cast<char*>(VelMemManager::Malloc(n));
  if (p != nullptr) memset(p, 0, n);
  return p;
}

}  // namespace

// ---- CAlertRegexpMsgid ------------------------------------------------------------------------

CAlertRegexpMsgid::CAlertRegexpMsgid(icu::RegexPattern* pattern, int level)
    : m_pPattern(pattern), m_iLevel(level) {}

CAlertRegexpMsgid::~CAlertRegexpMsgid() { delete m_pPattern; }

bool CAlertRegexpMsgid::match(const char* text) {
  if (m_pPattern == nullptr || text == nullptr) return false;
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString input = icu::UnicodeString::fromUTF8(text);
  icu::RegexMatcher* matcher = m_pPattern->matcher(input, status);
  if (U_FAILURE(status) || matcher == nullptr) {
    VEL_ERROR("Create matcher for input '%s' failed, status: %d", text, static_cast<int>(status));
    delete matcher;
    return false;
  }
  // An expression that backtracks without end gives up (no match) instead of stalling the thread.
  matcher->setTimeLimit(kMatchTimeLimit, status);
  bool result = matcher->matches(status);
  delete matcher;
  return U_SUCCESS(status) && result;
}

// ---- CAlertLog --------------------------------------------------------------------------------

CAlertLog::CAlertLog(const char* name, const char* path, const char* host, const char* database)
    : m_sName(name), m_sPath(path), m_sHost(host), m_sDatabase(database) {
  VEL_DETAIL("Create CAlertLog for %s on file %s.", m_sName.c_str(), m_sPath.c_str());
}

CAlertLog::~CAlertLog() { search_term(); }

int CAlertLog::parseMaxReadSize(const char* value) {
  if (value == nullptr) return kDefaultMaxRead;
  char text[512];
  snprintf(text, sizeof text, "%s", value);  // at most 511 characters are used
  size_t n = strlen(text);
  long long multiplier = 1;
  if (n > 0 && (text[n - 1] == 'm' || text[n - 1] == 'M')) {
    multiplier = 1048576;
    text[--n] = '\0';
  } else if (n > 0 && (text[n - 1] == 'k' || text[n - 1] == 'K')) {
    multiplier = 1024;
    text[--n] = '\0';
  }
  long long size = static_cast<long long>(atoi(text)) * multiplier;
  if (size < 1) {
    VEL_ERROR("VLE_LOG_MAXREAD contains invalid value '%s', using default value.", value);
    return kDefaultMaxRead;
  }
  // A size beyond what an int holds is taken as the largest one.
  return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

int CAlertLog::getMaxReadSize() {
  static const int size = parseMaxReadSize(getenv("VEL_LOG_MAXREAD"));
  return size;
}

long CAlertLog::isNeedSearch() {
  const char* path = m_sPath.c_str();
  struct stat st;
  bool found = stat(path, &st) == 0;
  if (found && !S_ISREG(st.st_mode)) {
    // A directory (or another kind of file) where the log should be is treated as a missing
    // log, with its own reason in the trace.
    if (m_iFileState.load() != kFileMissing)
      VEL_ERROR("File %s is not a regular file, not need to search, reported only once.", path);
    found = false;
  } else if (!found && m_iFileState.load() != kFileMissing) {
    VEL_ERROR("File %s not exist, not need to search, reported only once.", path);
  }
  if (!found) {
    m_iFileState.store(kFileMissing);
    m_lLastSize = 0;
    m_inode = 0;
    return 0;
  }
  m_iFileState.store(kFileExists);
  // A log renamed away and recreated (rotation) is a new file: it is read from its start even
  // when it has already grown beyond the old size. The identity is known only after a first
  // check in this process.
  if (m_inode != 0 && (st.st_ino != m_inode || st.st_dev != m_device) && m_lLastSize != 0) {
    VEL_ERROR("File %s was replaced by a new file, searching it from its start.", path);
    m_lLastSize = 0;
  }
  m_inode = st.st_ino;
  m_device = st.st_dev;
  long size = static_cast<long>(st.st_size);
  if (size == m_lLastSize && st.st_mtime == m_tLastModified) return 0;
  if (size == 0 && m_lLastSize != 0) {
    // Truncated to nothing: whatever is written next is read from the start.
    VEL_ERROR("File %s changed since last search, old size %ld new size %ld.", path, m_lLastSize,
              size);
    m_lLastSize = 0;
    m_tLastModified = st.st_mtime;
    return 0;
  }
  m_tPendingModified = st.st_mtime;
  VEL_DETAIL("File %s changed since last search, old size %ld new size %ld.", path, m_lLastSize,
             size);
  return size;
}

int CAlertLog::search(CPropFile& msgids, CAlertLogListener& listener) {
  VEL_FLOW_ENTRY("CAlertLog::search");
  m_tLastSearch.store(time(nullptr));
  m_lLevel1Last.store(0);
  m_lLevel2Last.store(0);
  long size = isNeedSearch();
  if (size <= 0) {
    VEL_DETAIL("File %s not changed since last check.", m_sPath.c_str());
    VEL_RETURN(-1);
  }
  long start = m_lLastSize;
  if (m_lLastSize == 0 || m_lLastSize > size) {
    VEL_DETAIL(
        "First time to search file %s, or the file was archived/truncated: last size %ld current "
        "size %ld.",
        m_sPath.c_str(), m_lLastSize, size);
    start = 0;
  }
  if (!search_init(msgids, start, size)) VEL_RETURN(0);
  m_lLastSize = size;
  m_tLastModified = m_tPendingModified;

  CAlertEntry entry;
  int count = 0;
  while (search_next(msgids, entry)) {
    if (entry.getSeverity() == 1) {
      m_lLevel1Total.fetch_add(1);
      m_lLevel1Last.fetch_add(1);
    } else if (entry.getSeverity() == 2) {
      m_lLevel2Total.fetch_add(1);
      m_lLevel2Last.fetch_add(1);
    }
    ++count;
    listener.onAlertEntry(entry);
  }
  // Lines appended while the search ran have been read by it; the next search starts behind
  // them, so each line is delivered once.
  m_lLastSize = m_lBlockOffset + static_cast<long>(m_blockPos);
  search_term();
  VEL_RETURN(count);
}

bool CAlertLog::search_init(CPropFile& msgids, long start, long end) {
  VEL_FLOW_ENTRY("CAlertLog::search_init");
  search_term();
  const char* path = m_sPath.c_str();
  m_lRangeStart = start;
  m_lRangeEnd = end;
  VEL_DETAIL("Search file %s init, range %ld-%ld .", path, start, end);
  long maxRead = getMaxReadSize();
  if (end - start > maxRead) {
    m_lRangeStart = end - maxRead;
    VEL_DETAIL("Search file %s range adjusted %ld-%ld .", path, m_lRangeStart, end);
  }
  // Non-blocking open: a FIFO put in the log's place must not hang the thread.
  m_fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  int e = errno;
  struct stat st = {};
  if (m_fd >= 0 && (fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    e = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    close(m_fd);
    m_fd = -1;
  }
  if (m_fd < 0) {
    VEL_ERROR("Search file %s initializaition failed, errno %d:%s", path, e, strerror(e));
    VEL_RETURN(false);
  }
  if (m_lRangeStart != 0 && lseek(m_fd, m_lRangeStart, SEEK_SET) < 0) {
    e = errno;
    VEL_ERROR("Search file %s initializaition failed, errno %d:%s", path, e, strerror(e));
    search_term();
    VEL_RETURN(false);
  }
  m_pLine = zeroed(kLineBuffer);
  m_pBlock = static_cast<char*>(VelMemManager::Malloc(kBlock + 1));
  m_pUnits = static_cast<UChar*>(VelMemManager::Malloc(kLineBuffer * sizeof(UChar)));
  if (m_pLine == nullptr || m_pBlock == nullptr || m_pUnits == nullptr) {
    VEL_ERROR("Search file %s initializaition failed, errno %d:%s", path, ENOMEM, strerror(ENOMEM));
    search_term();
    VEL_RETURN(false);
  }
  m_lBlockOffset = m_lRangeStart;
  m_blockPos = m_blockLen = 0;
  m_bEof = false;
  // Reading stops at the first line that starts this far beyond the range, so a log written
  // faster than it is read cannot keep one search going forever.
  m_lReadLimit = m_lRangeEnd + maxRead;
  m_tCurrent = time(nullptr);
  struct tm now;
  m_iIsDst = localtime_r(&m_tCurrent, &now) != nullptr ? now.tm_isdst : 0;
  openConverter();
  search_loadregexp(msgids);
  VEL_RETURN(true);
}

void CAlertLog::openConverter() {
  int cp = m_iCodePage != 0 ? m_iCodePage : UTF8GetLocaleDefaultCodePageID();
  if (cp == kCodePageGB18030Alias) cp = kCodePageGB18030;
  UErrorCode status = U_ZERO_ERROR;
  m_pConverter = cp > 0 ? ucnv_openCCSID(cp, UCNV_IBM, &status) : nullptr;
  if (m_pConverter == nullptr || U_FAILURE(status)) {
    if (m_pConverter != nullptr) ucnv_close(m_pConverter);
    VEL_ERROR("Alert log %s: no converter for code page %d (%d), its text is read as UTF-8.",
              m_sPath.c_str(), cp, static_cast<int>(status));
    status = U_ZERO_ERROR;
    m_pConverter = ucnv_open("UTF-8", &status);
    if (U_FAILURE(status)) m_pConverter = nullptr;
  }
}

bool CAlertLog::search_loadregexp(CPropFile& msgids) {
  clearExpressions();
  for (int i = 0; i < msgids.size(); ++i) {
    const char* key = msgids.getKeyAt(i);
    const char* value = msgids.getPropertyAt(i);
    VEL_DETAIL("Checking regexp msg id '%s'='%s'", key, value);
    int level = atoi(value);
    if (level < 1 || level > 5) {
      VEL_ERROR("Invalid level of regexp msg id '%s' : %s ", key, value);
      continue;
    }
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    memset(&parseError, 0, sizeof parseError);
    icu::RegexPattern* pattern =
        icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(key), 0, parseError, status);
    if (U_FAILURE(status) || pattern == nullptr) {
      delete pattern;
      VEL_ERROR("Invalid regexp pattern '%s', error code %d, offset %d", key,
                static_cast<int>(status), static_cast<int>(parseError.offset));
      continue;
    }
    CAlertRegexpMsgid* expression = new CAlertRegexpMsgid(pattern, level);
    if (expression == nullptr) {
      delete pattern;
      continue;
    }
    m_expressions.push_back(expression);
    VEL_DETAIL("Append regexp msgid #%d '%s'  level %d", static_cast<int>(m_expressions.size()) - 1,
               key, level);
    const char* dash = strchr(key, '-');
    if (dash != nullptr) {
      std::string prefix(key, dash - key);
      bool known = false;
      for (const std::string& p : m_prefixes) known = known || p == prefix;
      if (!known) m_prefixes.push_back(prefix);
    }
  }
  return true;
}

void CAlertLog::clearExpressions() {
  for (CAlertRegexpMsgid* e : m_expressions) delete e;
  m_expressions.clear();
  m_prefixes.clear();
  m_severityCache.clear();
}

void CAlertLog::search_term() {
  clearExpressions();
  if (m_pConverter != nullptr) ucnv_close(m_pConverter);
  m_pConverter = nullptr;
  VelMemManager::Free(m_pLine);
  VelMemManager::Free(m_pBlock);
  VelMemManager::Free(m_pUnits);
  m_pLine = m_pBlock = nullptr;
  m_pUnits = nullptr;
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
}

bool CAlertLog::fillBlock() {
  if (m_blockPos > 0) {
    memmove(m_pBlock, m_pBlock + m_blockPos, m_blockLen - m_blockPos);
    m_lBlockOffset += static_cast<long>(m_blockPos);
    m_blockLen -= m_blockPos;
    m_blockPos = 0;
  }
  while (m_blockLen < kBlock) {
    ssize_t n = read(m_fd, m_pBlock + m_blockLen, kBlock - m_blockLen);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int e = errno;
      VEL_ERROR("Read of alert log %s failed at offset %ld: %d %s", m_sPath.c_str(),
                m_lBlockOffset + static_cast<long>(m_blockLen), e, strerror(e));
    }
    if (n <= 0) {
      m_bEof = true;
      break;
    }
    m_blockLen += static_cast<size_t>(n);
    break;
  }
  return m_blockLen > 0;
}

const char* CAlertLog::nextLine(size_t& length) {
  if (m_fd < 0 || m_pBlock == nullptr) return nullptr;
  for (;;) {
    if (m_lBlockOffset + static_cast<long>(m_blockPos) >= m_lReadLimit) return nullptr;
    size_t avail = m_blockLen - m_blockPos;
    char* p = m_pBlock + m_blockPos;
    const char* nl =
        avail > 0
            ? static_cast<const char*>(memchr(p, '\n', avail < kPiece + 1 ? avail : kPiece + 1))
            : nullptr;
    size_t n;
    if (nl != nullptr) {
      n = static_cast<size_t>(nl - p);
      m_blockPos += n + 1;
    } else if (avail >= kPiece) {
      // A line longer than a piece comes back in pieces, each handled as a line.
      memcpy(m_pLine, p, kPiece);
      m_pLine[kPiece] = '\0';
      m_blockPos += kPiece;
      p = m_pLine;
      n = kPiece;
    } else if (!m_bEof) {
      fillBlock();
      continue;
    } else if (avail > 0) {
      // The last line without a line end is read now, not left for the next search.
      n = avail;
      m_blockPos += n;
    } else {
      return nullptr;
    }
    while (n > 0 && isBlankOrEol(p[n - 1])) --n;
    p[n] = '\0';
    length = n;
    return p;
  }
}

const char* CAlertLog::search_nextline() {
  size_t n = 0;
  return nextLine(n);
}

bool CAlertLog::search_next(CPropFile& msgids, CAlertEntry& entry) {
  (void)msgids;  // the expressions were compiled from it by search_init
  char msgid[kMaxMsgId + 1];
  char text[CAlertEntry::kMaxText + 1];
  size_t n = 0;
  while (const char* line = nextLine(n)) {
    if (isTimestampLine(line, n)) continue;
    if (!get_msgid(line, msgid)) {
      VEL_DETAIL("Ignore line '%s', msgid not found.", line);
      continue;
    }
    int severity = get_severity(msgids, msgid);
    if (severity == 5) {
      VEL_DETAIL("Ignore line '%s', the msgid %s is not defined.", line, msgid);
      continue;
    }
    messageText(line + strlen(msgid), n - strlen(msgid), text);
    entry.set(m_sName.c_str(), msgid, severity, m_tCurrent, text, m_sHost.c_str(),
              m_sDatabase.c_str());
    VEL_DETAIL("Found msg line '%s', severity %d, timestamp %ld.", line, severity,
               static_cast<long>(m_tCurrent));
    return true;
  }
  return false;
}

// The message text after the identifier, in UTF-8, at most kMaxText bytes and never cut inside a
// character. The line is converted from the log's code page first, so that the characters are
// known when the punctuation after the identifier is skipped.
void CAlertLog::messageText(const char* in, size_t length, char* out) {
  out[0] = '\0';
  if (m_pConverter == nullptr || m_pUnits == nullptr) return;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_reset(m_pConverter);
  int32_t units = ucnv_toUChars(m_pConverter, m_pUnits, kLineBuffer - 1, in,
                                static_cast<int32_t>(length), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR || status == U_STRING_NOT_TERMINATED_WARNING) {
    units = kLineBuffer - 1;  // the text is cut far beyond what is kept anyway
  } else if (U_FAILURE(status)) {
    VEL_ERROR("Alert log %s: conversion of a message line failed: %d", m_sPath.c_str(),
              static_cast<int>(status));
    return;
  }
  int32_t i = 0;
  // Skip everything that is neither a letter, a digit nor a quote. Departure on purpose: the
  // letters and digits of every script count (a Chinese or Cyrillic message keeps its first
  // words; so does an accented Latin one), not only the ASCII ones.
  while (i < units) {
    UChar32 c;
    int32_t at = i;
    U16_NEXT(m_pUnits, i, units, c);
    if (c == '\'' || c == '"' || (c < 0x80 ? isalnum(c) != 0 : u_isalnum(c) != 0)) {
      i = at;
      break;
    }
  }
  int32_t written = 0;
  while (i < units) {
    UChar32 c;
    U16_NEXT(m_pUnits, i, units, c);
    if (c == 0) break;
    if (U_IS_SURROGATE(c)) c = 0xFFFD;  // never write a lone surrogate into UTF-8
    if (written + U8_LENGTH(c) > CAlertEntry::kMaxText) break;
    U8_APPEND_UNSAFE(out, written, c);
  }
  out[written] = '\0';
}

// A cheap look at the fixed positions before the full check; most lines fail it at once.
bool CAlertLog::isTimestampLine(const char* line, size_t n) {
  bool iso = n >= 20 && line[4] == '-' && line[10] == 'T' && isDigit(line[0]);
  bool classic = n >= 24 && line[3] == ' ' && line[7] == ' ' && line[10] == ' ' && line[19] == ' ';
  return (iso || classic) && search_timestamp(line);
}

bool CAlertLog::search_timestamp(const char* line) {
  size_t n = strlen(line);
  // The ISO 8601 line that releases from 12.2 on write ("2026-12-02T10:15:30.123456+00:00")
  // is a timestamp line too, carrying its own offset.
  if (n >= 20 && line[4] == '-' && line[10] == 'T' && isDigit(line[0])) {
    time_t t = convertIso2time(line, n);
    if (t <= 0) return false;
    m_tCurrent = t;
    return true;
  }
  const char* blank = strrchr(line, ' ');
  if (blank == nullptr || !isDigit(blank[1])) return false;
  int year = atoi(blank + 1);
  if (year < kMinYear || year > kMaxYear) return false;
  time_t t = convertStr2time(line, m_iIsDst);
  if (t <= 0) return false;
  m_tCurrent = t;
  return true;
}

time_t CAlertLog::convertStr2time(const char* text, int isdst) {
  size_t n = strlen(text);
  // Departure on purpose: a line without the fixed layout is not a timestamp line (0), rather
  // than one carrying the last time converted anywhere in the process. Real logs are full of
  // such lines ("  4K, 2048K", "Version ... PDT 2015"); they must neither stamp later messages
  // with another log's time nor hide an ORA- line that ends in a number. The last converted time
  // is kept per log (m_tLastConverted), never shared between logs or threads.
  if (n < 20 || text[3] != ' ' || text[7] != ' ' || text[10] != ' ' || text[19] != ' ') return 0;
  char converted[kLineBuffer];
  if (n < 25) {
    snprintf(converted, sizeof converted, "%s", text);
  } else {
    // The zone word before the year is dropped; the time is read in the process's own zone.
    char* buffer = n < sizeof converted ? converted : static_cast<char*>(malloc(n + 1));
    if (buffer == nullptr) return -2;
    convert_ts(text, buffer);
    if (buffer != converted) {
      snprintf(converted, sizeof converted, "%s", buffer);
      free(buffer);
    }
  }
  VEL_DETAIL("convertStr2time() input timestamp: %s. converted timestamp: %s.", text, converted);
  struct tm tm;
  if (!parseClassic(converted, tm)) {
    VEL_DETAIL("convertStr2time error in input arg: %s.", text);
    return -2;
  }
  tm.tm_isdst = isdst;
  // mktime once per local hour: timestamp lines come every few lines, and mktime consults the
  // zone rules on every call. Within one hour and one tm_isdst the result is linear.
  int key[5] = {tm.tm_year, tm.tm_mon, tm.tm_mday, tm.tm_hour, isdst};
  time_t t;
  if (m_hourBase > 0 && memcmp(key, m_hourKey, sizeof key) == 0) {
    t = m_hourBase + tm.tm_min * 60 + tm.tm_sec;
  } else {
    struct tm hour = tm;
    hour.tm_min = 0;
    hour.tm_sec = 0;
    time_t base = mktime(&hour);
    if (base >= 0) {
      memcpy(m_hourKey, key, sizeof key);
      m_hourBase = base;
      t = base + tm.tm_min * 60 + tm.tm_sec;
    } else {
      static const int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
      long year = tm.tm_year + 1900;
      t = (year - 1970) * 31536000L + (year / 4 - 492) * 86400L + kDaysBefore[tm.tm_mon] * 86400L +
          tm.tm_mday * 86400L + tm.tm_hour * 3600L + tm.tm_min * 60L + tm.tm_sec;
    }
  }
  m_tLastConverted = t;
  return t;
}

void CAlertLog::convert_ts(const char* in, char* out) {
  VEL_DETAIL("Input String is: %s", in);
  const char* p = in;
  int blanks = 0;
  while (*p != '\0' && blanks < 4) {
    if (*p == ' ') ++blanks;
    ++p;
  }
  size_t head = static_cast<size_t>(p - in);
  memcpy(out, in, head);
  out[head] = '\0';
  if (blanks < 4) return;
  VEL_DETAIL("The first 4 fields of Converted String is: %s", out);
  const char* skipped = p;
  const char* next = strchr(skipped, ' ');
  const char* year = next != nullptr ? next + 1 : skipped;
  size_t k = 0;
  while (k < 4 && year[k] != '\0') ++k;
  memcpy(out + head, year, k);
  out[head + k] = '\0';
  VEL_DETAIL("Converted String is: %s", out);
}

time_t CAlertLog::convertIso2time(const char* text, size_t n) {
  // YYYY-MM-DDThh:mm:ss[.fraction](+hh:mm|-hh:mm|+hhmm|Z), and nothing after it.
  const char* p = text;
  const char* end = text + n;
  int year, mon, day, hour, minute, second;
  if (!readNumber(p, 4, year) || p - text != 4 || *p++ != '-' || !readNumber(p, 2, mon) ||
      *p++ != '-' || !readNumber(p, 2, day) || *p++ != 'T' || !readNumber(p, 2, hour) ||
      *p++ != ':' || !readNumber(p, 2, minute) || *p++ != ':' || !readNumber(p, 2, second) ||
      p - text != 19)
    return 0;
  if (p < end && *p == '.') {
    ++p;
    if (p >= end || !isDigit(*p)) return 0;
    while (p < end && isDigit(*p)) ++p;
  }
  long offset = 0;
  if (p < end && *p == 'Z') {
    ++p;
  } else if (p < end && (*p == '+' || *p == '-')) {
    int sign = *p++ == '-' ? -1 : 1;
    int oh = 0, om = 0;
    const char* q = p;
    if (!readNumber(p, 2, oh) || p - q != 2) return 0;
    if (p < end && *p == ':') ++p;
    q = p;
    if (!readNumber(p, 2, om) || p - q != 2 || oh > 23 || om > 59) return 0;
    offset = sign * (oh * 3600L + om * 60L);
  } else {
    return 0;
  }
  if (p != end) return 0;
  if (year < kMinYear || year > kMaxYear || mon < 1 || mon > 12 || day < 1 || day > 31 ||
      hour > 23 || minute > 59 || second > 60)
    return 0;
  return static_cast<time_t>(daysFromCivil(year, mon, day) * 86400L + hour * 3600L + minute * 60L +
                             second - offset);
}

bool CAlertLog::get_msgid(const char* line, char* out) {
  // Equal to taking the text before the line's first "-" and looking it up in the prefixes
  // (a prefix holds no "-"), without scanning lines that cannot match.
  for (const std::string& prefix : m_prefixes) {
    size_t n = prefix.size();
    if (n > kMaxPrefix || line[0] != prefix[0] || strncmp(line, prefix.c_str(), n) != 0 ||
        line[n] != '-')
      continue;
    size_t pos = n + 1;
    while (pos < static_cast<size_t>(kMaxMsgId) && isDigit(line[pos])) ++pos;
    if (pos > static_cast<size_t>(kMaxMsgId)) pos = kMaxMsgId;
    memcpy(out, line, pos);
    out[pos] = '\0';
    return true;
  }
  return false;
}

int CAlertLog::get_severity(CPropFile& msgids, char* msgid) {
  (void)msgids;  // the expressions were compiled from it by search_loadregexp
  const char* dash = strchr(msgid, '-');
  if (dash == nullptr) {
    VEL_ERROR("Message ID %s doesn't contains '-'.", msgid);
    return 5;
  }
  auto cached = m_severityCache.find(msgid);
  if (cached != m_severityCache.end()) return cached->second;
  // The number without leading zeros ("ORA-00600" -> "ORA-600"). Oracle writes many identifiers
  // that way ("ORA-1102 signalled during: ..."), so the keys of the message-identifier file are
  // written without leading zeros and then match both spellings.
  char normalised[kMaxPrefix + 32];
  long number = strtol(dash + 1, nullptr, 10);
  snprintf(normalised, sizeof normalised, "%.*s-%ld", static_cast<int>(dash - msgid), msgid,
           number);
  int severity = 5;
  for (size_t i = 0; i < m_expressions.size(); ++i) {
    CAlertRegexpMsgid* e = m_expressions[i];
    if (e->match(msgid) || e->match(normalised)) {
      severity = e->getLevel();
      VEL_DETAIL("Get msgid %s serverity %d from regexp #%d.", msgid, severity,
                 static_cast<int>(i));
      break;
    }
  }
  if (severity < 1 || severity > 5) {
    VEL_ERROR("Message ID %s is ignored, value out of range: %d.", msgid, severity);
    severity = 5;
  }
  VEL_DETAIL("Get msgid '%s' serverity result %d.", msgid, severity);
  // The expressions do not change during a search, so each identifier is matched once.
  if (m_severityCache.size() < 4096) m_severityCache.emplace(msgid, severity);
  return severity;
}
