// CAlertLog: watches one Oracle alert log. Each search reads only what was appended since the
// previous one (the first time, and after the file was truncated or replaced, at most the last
// getMaxReadSize() bytes), follows the timestamp lines, picks out the lines that begin with a
// known message-identifier prefix ("ORA-00600: ..."), maps the identifier to a severity through
// the regular expressions of the message-identifier file (pattern=level, CPropFile) and hands
// each line of severity 1 to 4 to a listener as a CAlertEntry.
// CAlertRegexpMsgid: one compiled expression of that file with its level.
//
// Timestamp lines are the classic "Wed Dec 02 10:15:30 2026" (a zone word before the year is
// dropped; the time is read in the process's own zone) and the ISO 8601 form written from 12.2
// on, "2026-12-02T10:15:30.123456+00:00" (its own offset), with years 1971 to 2099.
//
// Contract: search() is called by one thread (the alert-log thread); the file, its buffers and
// the compiled expressions exist only while it runs. The counters, the last search time and the
// file state are atomics, so another thread (the summary request) may read them at any time;
// the names and the path never change after construction. Everything else (last size and
// modification time, code page) belongs to the searching thread. Nothing throws.
#ifndef VEL_ALERTLOG_CALERTLOG_H
#define VEL_ALERTLOG_CALERTLOG_H

#include <sys/types.h>
#include <unicode/umachine.h>
#include <unicode/uversion.h>

#include <atomic>
#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

#include "CAlertEntry.h"
#include "CPropFile.h"
#include "VelString.h"

U_NAMESPACE_BEGIN
class RegexPattern;
class RegexMatcher;
U_NAMESPACE_END
struct UConverter;

class CAlertRegexpMsgid : public Vel_BaseMemPool {
 public:
  // Takes ownership of pattern.
  CAlertRegexpMsgid(icu::RegexPattern* pattern, int level);
  virtual ~CAlertRegexpMsgid();
  CAlertRegexpMsgid(const CAlertRegexpMsgid&) = delete;
  CAlertRegexpMsgid& operator=(const CAlertRegexpMsgid&) = delete;

  // Whether the whole text matches the expression (not a search inside the text).
  bool match(const char* text);
  int getLevel() const { return m_iLevel; }

 private:
  icu::RegexPattern* m_pPattern;
  int m_iLevel;
};

class CAlertLog : public Vel_BaseMemPool {
 public:
  // File state values (getFileState).
  static constexpr int kFileUnknown = 0;  // not yet checked
  static constexpr int kFileExists = 1;   // the file existed at the last check
  static constexpr int kFileMissing = 2;  // missing (or not a readable file) at the last check

  // name: the instance name, used in entries and traces; path: the alert log's file name; host
  // and database may be null (empty).
  CAlertLog(const char* name, const char* path, const char* host, const char* database);
  virtual ~CAlertLog();
  CAlertLog(const CAlertLog&) = delete;
  CAlertLog& operator=(const CAlertLog&) = delete;

  // The most bytes one search reads (VEL_LOG_MAXREAD, default 5 MiB); computed once per process.
  static int getMaxReadSize();
  // The size a VEL_LOG_MAXREAD value stands for: a number of bytes, with an optional "k" or "m"
  // suffix; the default for a null, non-positive or unreadable value.
  static int parseMaxReadSize(const char* value);

  // The code page of the log's text (a code-page number of the code-page service, 0 = the
  // locale's default, which is also the initial value). Message lines are converted from it to
  // UTF-8 before they are taken apart; bytes invalid in it become the substitution character.
  void setCodePage(int codePage) { m_iCodePage = codePage; }
  int getCodePage() const { return m_iCodePage; }

  // The file's current size when it changed since the last search, else 0.
  long isNeedSearch();
  // One search: the number of entries delivered, 0 when the file could not be opened (the same
  // range is searched again next time), -1 when there was nothing to do.
  int search(CPropFile& msgids, CAlertLogListener& listener);

  const char* getName() const { return m_sName.c_str(); }
  const char* getPath() const { return m_sPath.c_str(); }
  const char* getHostName() const { return m_sHost.c_str(); }
  const char* getDatabaseName() const { return m_sDatabase.c_str(); }

  // The read position carried across restarts: the size the previous search read up to (0 =
  // never searched) and the modification time that goes with it.
  long getLastSize() const { return m_lLastSize; }
  void setLastSize(long size) { m_lLastSize = size; }
  time_t getLastModifiedTime() const { return m_tLastModified; }
  void setLastModifiedTime(time_t mtime) { m_tLastModified = mtime; }

  // Entries of severity 1 and 2 since the object was created, and in the most recent search.
  long getLevel1Total() const { return m_lLevel1Total.load(std::memory_order_relaxed); }
  long getLevel2Total() const { return m_lLevel2Total.load(std::memory_order_relaxed); }
  long getLevel1Last() const { return m_lLevel1Last.load(std::memory_order_relaxed); }
  long getLevel2Last() const { return m_lLevel2Last.load(std::memory_order_relaxed); }
  // Wall-clock time at which the most recent search began; 0 before the first.
  time_t getLastSearchTime() const { return m_tLastSearch.load(std::memory_order_relaxed); }
  // kFileUnknown, kFileExists or kFileMissing.
  int getFileState() const { return m_iFileState.load(std::memory_order_relaxed); }

  // ---- The steps of a search (public for the tests) ------------------------------------------
  // Compiles the expressions of the message-identifier file; invalid ones are traced and skipped.
  bool search_loadregexp(CPropFile& msgids);
  // Opens the file for the byte range [start, end) (start moved up to end - getMaxReadSize()).
  bool search_init(CPropFile& msgids, long start, long end);
  // Fills entry with the next message; false at the end of the file.
  bool search_next(CPropFile& msgids, CAlertEntry& entry);
  // The next line, right-trimmed, or null at the end; lines longer than 8191 bytes come in
  // pieces. Valid until the next call.
  const char* search_nextline();
  // Closes the file and frees the buffers and expressions.
  void search_term();
  // Whether the line is a timestamp line; if so it becomes the current timestamp.
  bool search_timestamp(const char* line);
  // out (at least 22 bytes) = the identifier at the start of the line ("ORA-00600"), when the
  // line begins with a known prefix and "-".
  bool get_msgid(const char* line, char* out);
  // Severity 1-4 of the identifier, or 5 (ignore).
  int get_severity(CPropFile& msgids, char* msgid);
  // The time of a classic timestamp line read in the local zone with the given tm_isdst; 0 when
  // the line lacks the fixed layout, -2 when it cannot be parsed.
  time_t convertStr2time(const char* text, int isdst);
  // out (at least as long as in) = in without the word before the year:
  // "Wed Jun 15 10:20:30 CEST 2005" -> "Wed Jun 15 10:20:30 2005".
  static void convert_ts(const char* in, char* out);
  // The time of an ISO 8601 timestamp line, or 0 when the line is not one.
  static time_t convertIso2time(const char* text, size_t length);

  // Time of the last timestamp line converted by this log (0 before any).
  time_t getLastConvertedTime() const { return m_tLastConverted; }
  // The current timestamp of the running search.
  time_t getCurrentTimestamp() const { return m_tCurrent; }

 private:
  bool isTimestampLine(const char* line, size_t length);
  const char* nextLine(size_t& length);
  bool fillBlock();
  void messageText(const char* in, size_t length, char* out);
  void openConverter();
  void clearExpressions();

  const VelString m_sName;
  const VelString m_sPath;
  long m_lLastSize = 0;           // offset the previous search read up to
  time_t m_tLastModified = 0;     // modification time that goes with m_lLastSize
  time_t m_tPendingModified = 0;  // seen by the current check
  ino_t m_inode = 0;              // file identity at the last check; 0 = unknown
  dev_t m_device = 0;
  std::atomic<long> m_lLevel1Total{0};
  std::atomic<long> m_lLevel2Total{0};
  std::atomic<long> m_lLevel1Last{0};
  std::atomic<long> m_lLevel2Last{0};
  std::atomic<time_t> m_tLastSearch{0};
  std::atomic<int> m_iFileState{kFileUnknown};
  long m_lRangeStart = 0;
  long m_lRangeEnd = 0;
  int m_fd = -1;              // open only during a search
  long m_lBlockOffset = 0;    // file offset of m_pBlock[0]
  long m_lReadLimit = 0;      // no line starting at or beyond this offset is read
  char* m_pLine = nullptr;    // pieces of long lines
  char* m_pBlock = nullptr;   // read buffer
  UChar* m_pUnits = nullptr;  // a message line converted to UTF-16
  size_t m_blockPos = 0;      // next unread byte in m_pBlock
  size_t m_blockLen = 0;      // bytes held in m_pBlock
  bool m_bEof = false;
  time_t m_tCurrent = 0;        // current timestamp of the search
  int m_iIsDst = 0;             // tm_isdst at the start of the search
  time_t m_tLastConverted = 0;  // last classic time converted by this log
  int m_hourKey[5] = {};        // cache: the local hour converted last (y, m, d, h, dst)
  time_t m_hourBase = 0;        // ... and its time at minute 0
  std::vector<CAlertRegexpMsgid*> m_expressions;         // owned, during a search
  std::vector<std::string> m_prefixes;                   // during a search
  std::unordered_map<std::string, int> m_severityCache;  // identifier -> level, per search
  UConverter* m_pConverter = nullptr;                    // code page -> UTF-16, during a search
  int m_iCodePage = 0;
  const VelString m_sHost;
  const VelString m_sDatabase;
};

#endif  // VEL_ALERTLOG_CALERTLOG_H
