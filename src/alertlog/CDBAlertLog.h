// The alert logs of one monitored connection (CDBAlertLog): which instances the database has and
// where each writes its alert log (from the database's answer, or from the connection's
// configured paths), one CAlertLog per instance, the read positions kept in the runtime property
// file, and the event row sent to the agent for each message found. gDBAlertLogs holds one
// CDBAlertLog per configured connection while the alert-log thread runs.
//
// Locking: the alert-log thread alone creates, searches, reconfigures and deletes these objects.
// It holds gDBAlertLogsMutex only while it changes gDBAlertLogs or a connection's list of logs
// (the reconfiguration at the start of a search); the search itself, which may read megabytes,
// runs without it, as the figures the summary reads from each log are atomics. The summary
// request (request-loop thread) holds the mutex while it copies the rows out. Event rows are
// sent under gMutexSend outside gDBAlertLogsMutex; nothing holds one of the two while it takes
// the other.
#ifndef VEL_ALERTLOG_CDBALERTLOG_H
#define VEL_ALERTLOG_CDBALERTLOG_H

#include <string>
#include <vector>

#include "CAlertLog.h"
#include "CPropFile.h"
#include "VelList.h"
#include "VelMemManager.h"
#include "VelMutex.h"
#include "VelString.h"

// An alert log named by VEL_LOG_PATHS: the file name (after the last '/') and the full path.
class CDBAlertConfiguredPath : public Vel_BaseMemPool {
 public:
  CDBAlertConfiguredPath(const char* fileName, const char* path)
      : m_fileName(fileName), m_path(path) {}
  virtual ~CDBAlertConfiguredPath() = default;
  VelString m_fileName;
  VelString m_path;
};

// One row of the instance statement.
class CDBAlertLogInfo : public Vel_BaseMemPool {
 public:
  virtual ~CDBAlertLogInfo() = default;
  VelString m_instanceName;
  VelString m_dumpDest;  // background dump destination (the trace folder)
  VelString m_hostName;
  VelString m_databaseName;
};

// One resolved alert log.
class CDBAlertLogEntry : public Vel_BaseMemPool {
 public:
  virtual ~CDBAlertLogEntry() = default;
  VelString m_path;
  VelString m_instanceName;
  VelString m_hostName;
  VelString m_databaseName;
};

// The nine values of an event row and the ten of a summary row, as text.
using CAlertRow = std::vector<std::string>;

class CDBAlertLog : public CAlertLogListener {
 public:
  // charset: VEL_LOG_CHARSET; empty or "DEFAULT" means the locale's code page. An unknown one is
  // traced, raised as agent event 1003, and replaced by the locale's code page.
  CDBAlertLog(const char* connection, const char* configuredPaths, const char* subnode,
              const char* charset);
  ~CDBAlertLog() override;
  CDBAlertLog(const CDBAlertLog&) = delete;
  CDBAlertLog& operator=(const CDBAlertLog&) = delete;

  // One cycle: reconfigures from infos under gDBAlertLogsMutex (so the caller must not hold it),
  // then searches every log in order and stores each log's position in runtime (the caller
  // writes the file).
  void search(CPropFile& msgids, CPropFile& runtime, VelTypePtrList<CDBAlertLogInfo>& infos);
  // Creates, keeps or replaces the logs for the instances in infos; an empty list changes
  // nothing.
  void configureInstances(CPropFile& runtime, VelTypePtrList<CDBAlertLogInfo>& infos);
  // out = one entry per info row: "alert_<instance>.log" in its configured path when one has
  // that name (ignoring case), else in the row's dump destination.
  void genAlertLogPaths(VelTypePtrList<CDBAlertLogInfo>& infos,
                        VelTypePtrList<CDBAlertLogEntry>& out) const;
  // Restores the log's size and modification time from runtime when its saved path is the
  // log's path (unless VEL_LOG_NOREPEAT says otherwise).
  void loadAlertLogProps(CAlertLog& log, CPropFile& runtime) const;
  // Writes the log's path, size and modification time into runtime.
  void saveAlertLogProps(CAlertLog& log, CPropFile& runtime) const;
  // Splits the ':'-separated list of absolute alert-log paths into the configured paths.
  void parseConfiguredPath(const char* paths);
  // The full configured path whose file name equals fileName ignoring case, else null.
  const char* getConfiguredPath(const char* fileName) const;

  // Sends the entry as an event row of the Details group of the database type, under
  // gMutexSend (so the caller must not hold it).
  void onAlertEntry(CAlertEntry& entry) override;
  // The nine values of the event row for entry; false when the database type has no Details
  // group (nothing is to be sent). *group receives the group's registered name.
  bool makeEventRow(const CAlertEntry& entry, CAlertRow& row, const char** group) const;
  // Appends one summary row (ten values) per alert log. The caller holds gDBAlertLogsMutex.
  void appendSummaryRows(std::vector<CAlertRow>& rows) const;

  void setDatabase(const char* name, const char* type) {
    m_databaseName.assign(name);
    m_databaseType.assign(type);
  }
  const char* getConnectionName() const { return m_connectionName.c_str(); }
  const char* getSubnodeName() const { return m_subnodeName.c_str(); }
  const char* getDatabaseType() const { return m_databaseType.c_str(); }
  int getCodePage() const { return m_codePage; }
  const std::vector<CAlertLog*>& getAlertLogs() const { return m_alertLogs; }
  const VelTypePtrList<CDBAlertConfiguredPath>& getConfiguredPaths() const {
    return m_configuredPaths;
  }

 private:
  CAlertLog* findAlertLog(const char* instance, size_t* index) const;

  VelString m_connectionName;
  VelString m_subnodeName;
  VelString m_charset;
  VelString m_databaseName;
  VelString m_databaseType;
  std::vector<CAlertLog*> m_alertLogs;  // owned, in order of first discovery
  int m_codePage = 0;
  VelTypePtrList<CDBAlertConfiguredPath> m_configuredPaths;
};

// One per configured connection while the alert-log thread runs; owned, guarded by
// gDBAlertLogsMutex.
extern std::vector<CDBAlertLog*> gDBAlertLogs;
extern VelMutex gDBAlertLogsMutex;

// VEL_LOG_NOREPEAT, read once: whether saved read positions are restored after a restart.
bool velAlertLogNoRepeat();

#endif  // VEL_ALERTLOG_CDBALERTLOG_H
