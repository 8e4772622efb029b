// CAlertEntry: one alert-log message found by a search (CAlertLog), handed to a
// CAlertLogListener. CAlertLogListener: the receiver of those entries.
//
// Contract: the search fills one entry object and reuses it for the next message once
// onAlertEntry returns, so a listener copies whatever it keeps. The text is already UTF-8 (the
// search converts each message line from the log's code page before taking the text apart) and
// holds at most kMaxText bytes, never cut inside a character. Locking: none; an entry belongs to
// the thread that runs the search.
#ifndef VEL_ALERTLOG_CALERTENTRY_H
#define VEL_ALERTLOG_CALERTENTRY_H

#include <ctime>

#include "VelString.h"

class CAlertEntry : public Vel_BaseMemPool {
 public:
  // Longest message text, in bytes of UTF-8.
  static constexpr int kMaxText = 160;

  CAlertEntry() = default;
  virtual ~CAlertEntry() = default;

  // Traces the entry's names, identifier, severity and text.
  void dump() const;

  const char* getInstanceName() const { return m_sInstance.c_str(); }
  // The identifier as found in the line, such as "ORA-00600" or "ORA-1102".
  const char* getMsgId() const { return m_sMsgId.c_str(); }
  // 1 (most severe) to 4.
  int getSeverity() const { return m_iSeverity; }
  // Time of the last timestamp line read before the message, or the time the search began.
  time_t getTimestamp() const { return m_tTimestamp; }
  const char* getText() const { return m_sText.c_str(); }
  const char* getHostName() const { return m_sHost.c_str(); }
  const char* getDatabaseName() const { return m_sDatabase.c_str(); }

  // Filled by the search (and by tests).
  void set(const char* instance, const char* msgid, int severity, time_t timestamp,
           const char* text, const char* host, const char* database);

 private:
  VelString m_sInstance;
  VelString m_sMsgId;
  int m_iSeverity = 0;
  time_t m_tTimestamp = 0;
  VelString m_sText;
  VelString m_sHost;
  VelString m_sDatabase;
};

// Receives the entries of a search, once per matching line, in file order, on the searching
// thread.
class CAlertLogListener {
 public:
  virtual ~CAlertLogListener() = default;
  virtual void onAlertEntry(CAlertEntry& entry) = 0;
};

#endif  // VEL_ALERTLOG_CALERTENTRY_H
