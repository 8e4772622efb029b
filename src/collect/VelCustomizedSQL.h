// The operator's own statements: the file velcussql.properties, read into an ordered list of
// VelCustomizedSQL entries that a worker keeps for its whole life and reloads when the file
// changes. The file is written by hand:
//
//   [SELECTSQL]
//   SQL_ID = LONG_SESSIONS
//   SQL_TEXT = select username, count(*) sessions
//     from v$session group by username
//   SQL_TIMEOUT = 30
//
// Every statement begins with its own [SELECTSQL] header; lines outside such a section, lines
// longer than kMaxLineLength bytes, lines without "=" and unknown keys are ignored; a statement
// without SQL_ID or SQL_TEXT is dropped; a later statement with an identifier already listed
// replaces its text. Each of these is counted as a problem of the read (getProblems), which the
// command line reports.
//
// A list is used by one thread at a time (its worker, or the command line); it takes no lock.
#ifndef VEL_COLLECT_VELCUSTOMIZEDSQL_H
#define VEL_COLLECT_VELCUSTOMIZEDSQL_H

#include <sys/types.h>

#include <cstddef>
#include <ctime>

#include "VelList.h"
#include "VelMemManager.h"
#include "VelString.h"

// One statement of the file and the outcome of its last run.
class VelCustomizedSQL : public Vel_BaseMemPool {
 public:
  // Time-out CDP_COLLECTION_TIMEOUT (60), last run now, no message, error code 0.
  VelCustomizedSQL();

  VelString m_sqlId;
  VelString m_sqlText;  // each line followed by a line feed
  int m_timeout;        // seconds
  time_t m_lastRunTime;
  VelString m_lastMessage;
  int m_lastErrorCode = 0;
  time_t m_readTime = 0;  // when the file holding it was read
};

class Vel_CustomizedSQLList : public Vel_BaseMemPool {
 public:
  static constexpr const char* kFileName = "velcussql.properties";
  static constexpr size_t kMaxLineLength = 4096;  // bytes, line feed included
  // SQL_TIMEOUT is taken only strictly between these bounds.
  static constexpr int kMinTimeout = 5;
  static constexpr int kMaxTimeout = 1800;

  // path is used unchanged; null means ORMONDHOME/config/velcussql.properties (empty when
  // ORMONDHOME is not set).
  explicit Vel_CustomizedSQLList(const char* path);
  Vel_CustomizedSQLList(const Vel_CustomizedSQLList&) = delete;
  Vel_CustomizedSQLList& operator=(const Vel_CustomizedSQLList&) = delete;

  // Re-reads the file when it changed since the last read; with a positive interval at most once
  // per interval seconds. False when the file is missing or cannot be opened (the list then
  // stays as it was); true otherwise, also when nothing had to be read.
  bool load(int interval);
  // Parses text (size bytes, any content) as the file's content read at readTime and replaces the
  // list with its statements; entries whose identifier stays keep their last-run fields.
  void parse(const char* text, size_t size, time_t readTime);

  // The first statement with this identifier, or null.
  VelCustomizedSQL* getSQLRecord(const char* sqlId);
  // Takes the statement over: dropped (deleted, false) without identifier or text; an
  // identifier already listed gets the new text and keeps its other fields (the statement is
  // deleted, true); else appended.
  bool addRecord(VelCustomizedSQL* statement);
  void dump() const;

  const char* getPath() const { return m_path.c_str(); }
  const VelTypePtrList<VelCustomizedSQL>& getStatements() const { return m_statements; }
  unsigned getCount() const { return m_statements.getCount(); }
  // Lines ignored and statements dropped or replaced by the last parse.
  int getProblems() const { return m_problems; }

 private:
  void complete(VelCustomizedSQL*& statement);

  VelString m_path;
  VelTypePtrList<VelCustomizedSQL> m_statements;
  // What the last read saw of the file: a change of any of these is a new file.
  time_t m_mtime = 0;
  long m_mtimeNs = -1;
  off_t m_size = -1;
  ino_t m_inode = 0;
  time_t m_lastCheck = 0;
  int m_problems = 0;
};

#endif  // VEL_COLLECT_VELCUSTOMIZEDSQL_H
