// Request objects. Two families:
//  - queue items (Vel_BaseRequest): what a subnode's queue holds. Vel_AgentFacRequest wraps an
//    agent request record, Vel_SQLRequest asks a worker to run a catalog statement for another
//    thread, Vel_IntervalSQLRequest asks it to refresh an interval statement's cached result;
//  - data requests (Vel_BaseDataRequest): built by a worker from an agent request to answer it.
//    Vel_SimpleRequest is the catalog request: it runs the group's catalog statement with the
//    request's filter, maps the result columns onto the group's attributes by name and sends the
//    rows.
// A request object is used by one thread at a time: created by one thread, handed over through a
// queue, then used by the worker alone.
#ifndef VEL_REQUEST_VEL_REQUEST_H
#define VEL_REQUEST_VEL_REQUEST_H

#include <ctime>

#include "Ora_StmtTable.h"
#include "VelMemManager.h"
#include "VelMutex.h"
#include "VelString.h"
#include "cp_api.h"

class Ora_Database;
class VelAttrGroups;
class VelAttributeGroupDef;
class VelCachedInstanceList;

// Type() codes of the queue items.
constexpr int VEL_REQUEST_TYPE_SQL = 2;
constexpr int VEL_REQUEST_TYPE_INTERVAL_SQL = 5;
constexpr int VEL_REQUEST_TYPE_AGENT = 12;

// The shortest time-out of an agent request, in seconds.
constexpr int VEL_REQUEST_MIN_TIMEOUT = 5;

// ---- The catalog-statement runner ---------------------------------------------------------

// What runCatalogStatement did: kMissing, the catalog has no text for this session (nothing ran);
// kFailed, the statement failed and error is filled (empty when the session was not active).
enum class CatalogRun { kOk, kMissing, kFailed };

// Runs catalog statement sqlId for this session's version and cluster flag into table (may be
// null), with the entry's own row limit, else maxRowDefault. With a filter (the request's
// conditions) the statement is wrapped as the filter command does, the conditions bound, never
// pasted; without one it runs under its row limit. start and timeout bound the run. Traces and
// events are the caller's: each caller keeps its own texts.
CatalogRun runCatalogStatement(Ora_Database& db, const char* sqlId, int maxRowDefault,
                               const RequestInfo* filter, Ora_BaseStmtTable* table, time_t start,
                               int timeout, Ora_ErrorMsg& error);

// Raises the Oracle error of a failed catalog statement as an event with the detail "Query
// attribute group '<sqlId>'"; nothing when the record is empty (the session was not active).
void velPostQueryError(const Ora_ErrorMsg& error, Ora_Database& database, const char* sqlId);

// ---- Family 1: queue items -------------------------------------------------------------------

class Vel_BaseRequest : public Vel_BaseMemPool {
 public:
  virtual ~Vel_BaseRequest() = default;
  virtual int Type() const = 0;
  virtual void printRequestInfo() const = 0;
};

// An agent request on its way to a worker. Owns the record until a data request takes it over.
class Vel_AgentFacRequest : public Vel_BaseRequest {
 public:
  // Takes the record over (may be null); a time-out below 5 seconds becomes 5; the creation time
  // is now.
  Vel_AgentFacRequest(Request* request, int timeout);
  // Frees a record still owned (cp_FreeRequest).
  ~Vel_AgentFacRequest() override;
  Vel_AgentFacRequest(const Vel_AgentFacRequest&) = delete;
  Vel_AgentFacRequest& operator=(const Vel_AgentFacRequest&) = delete;

  int Type() const override { return VEL_REQUEST_TYPE_AGENT; }
  void printRequestInfo() const override;

  // The record's type, -1 without a record.
  int getReqType() const;
  // The record's table handle (the registered group name), null without a record.
  const void* getHandle() const;
  // The texts below are "" when the record or the field is missing, never null.
  const char* getSubNode() const;
  RequestInfo* getFilterInfo() const;
  const char* getAction() const;
  const char* getRequestID() const;

  int getTimeout() const { return m_timeout; }
  time_t getCreationTime() const { return m_creationTime; }
  Request* getRequest() const { return m_pRequest; }
  // Gives the record up; the caller owns it afterwards.
  Request* releaseRequest();

 private:
  static const char m_emptyText[1];
  int m_timeout;
  time_t m_creationTime;
  Request* m_pRequest;  // owned
};

// A catalog statement run on a subnode's session for another thread, which creates it, queues
// it, waits for its completion event and then reads the table. The creator owns it: the worker
// never deletes it.
class Vel_SQLRequest : public Vel_BaseRequest {
 public:
  explicit Vel_SQLRequest(const char* sqlId);
  int Type() const override { return VEL_REQUEST_TYPE_SQL; }
  void printRequestInfo() const override;

  // Runs the statement for this session into the table, the start time bounding the time-out.
  // A missing statement is traced; an Oracle error is also raised as an event. False on either.
  bool process(Ora_Database& database, int timeout);
  // Posts the completion event.
  void markComplete() { m_complete.post(); }
  // Waits for markComplete up to milliseconds (whole seconds); whether it came.
  bool waitComplete(unsigned milliseconds) { return m_complete.waitWithTimeout(milliseconds); }

  const char* getSQLID() const { return m_sqlId.c_str(); }
  Ora_AutoStmtTable& getTable() { return m_table; }
  void setStartTime(time_t start) { m_startTime = start; }
  time_t getStartTime() const { return m_startTime; }
  bool succeeded() const { return m_succeeded; }

 private:
  VelString m_sqlId;
  VelEvent m_complete;
  Ora_AutoStmtTable m_table;
  time_t m_startTime;
  bool m_succeeded = false;
};

// Asks the worker to run an interval statement and keep its result.
class Vel_IntervalSQLRequest : public Vel_BaseRequest {
 public:
  explicit Vel_IntervalSQLRequest(const char* sqlId) : m_sqlId(sqlId) {}
  int Type() const override { return VEL_REQUEST_TYPE_INTERVAL_SQL; }
  void printRequestInfo() const override;
  const char* getSQLID() const { return m_sqlId.c_str(); }

 private:
  VelString m_sqlId;
};

// ---- Family 2: data requests -----------------------------------------------------------------

class Vel_BaseDataRequest : public Vel_BaseMemPool {
 public:
  // Takes over the wrapper's time-out, creation time and record (the wrapper's becomes null).
  explicit Vel_BaseDataRequest(Vel_AgentFacRequest& request);
  // Frees the record (cp_FreeRequest).
  virtual ~Vel_BaseDataRequest();
  Vel_BaseDataRequest(const Vel_BaseDataRequest&) = delete;
  Vel_BaseDataRequest& operator=(const Vel_BaseDataRequest&) = delete;

  // The catalog identifier: the record's table handle (the group name); "" without a record.
  virtual const char* getSQLID() const;
  virtual RequestInfo* getFilterInfo() const;
  virtual Request* getRequest() const { return m_pRequest; }

  // The record's request id and subnode; "" when missing.
  const char* getRequestID() const;
  const char* getSubNode() const;
  int getTimeout() const { return m_timeout; }
  time_t getCreationTime() const { return m_creationTime; }

 protected:
  int m_timeout;
  time_t m_creationTime;
  Request* m_pRequest;  // owned
};

// The catalog request.
class Vel_SimpleRequest : public Vel_BaseDataRequest {
 public:
  static constexpr int kMaxValues = 128;

  explicit Vel_SimpleRequest(Vel_AgentFacRequest& request);

  // Runs the group's statement for this session's version and cluster flag, with the request's
  // filter, the row limit (the entry's own, else defaultMaxRow), the request's creation time and
  // time-out, into table. A missing statement is traced; an Oracle error is raised as an event.
  virtual bool process(Ora_Database& database, Ora_AutoStmtTable* table, int defaultMaxRow);
  // Hooks of send: onSendRow adds the current values as a row, onSendEnd sends the answer.
  virtual void onSendRow(int count);
  virtual void onSendEnd();
  virtual void onSendBegin(const VelAttributeGroupDef* definition);
  // Maps the group's attributes onto the table's columns by name (ignoring case); DBINSTNAME,
  // DBHOSTNAME and DBUNIQNAME are filled from the cached instances. Null when the group has no
  // definition.
  virtual const VelAttributeGroupDef* prepareColumnInfo(const Ora_AutoStmtTable* table,
                                                        const VelAttrGroups& groups,
                                                        const VelCachedInstanceList& instances);
  // Fills the values of one fetched row (row: kVelMaxColumns pointers, null past the row's
  // columns). False only for a null row.
  virtual bool getNextRow(const char* const* row, const VelCachedInstanceList& instances);

  // Sends the table's rows, all under sendMutex. Without a definition nothing is sent.
  void send(VelMutex& sendMutex, const Ora_AutoStmtTable* table, const VelAttrGroups& groups,
            const VelCachedInstanceList& instances);

  // For tests and tools.
  const char* getValue(int position) const {
    return position >= 0 && position < kMaxValues ? m_values[position] : nullptr;
  }
  int getColumnMap(int position) const {
    return position >= 0 && position < kMaxValues ? m_columnMap[position] : -1;
  }
  int getColumnCount() const { return m_columnCount; }
  int getInstanceIDColumn() const { return m_instanceIDColumn; }
  void setInstanceIDColumn(int column) { m_instanceIDColumn = column; }

 protected:
  const char* m_values[kMaxValues];
  int m_columnMap[kMaxValues];
  int m_instanceIDColumn = -1;
  int m_instNamePos = -1;
  int m_hostNamePos = -1;
  int m_uniqNamePos = -1;
  int m_columnCount = 0;
};

// The discovery parameter requests of RDB_Parameter and ASM_Parameter: a "_FILTER" condition that
// names one of the "VANTOR_EXTAGT_" parameters. Every other request of those groups is a catalog
// request.
//
// Answer layout: one row of two values (name, value) per parameter named in the filter, in the
// order DBINFO, INSTANCE_INFO, RAC_INFO; names outside these three give no row. Each value is a
// list of "KEY=value" items separated by ';' (at most 4000 bytes, cut at an item boundary):
//  - VANTOR_EXTAGT_DBINFO: every column of the first row of the catalog statement
//    "ASM_DLA_GetDatabaseInfo" as COLUMN=value, then LOCALHOST (the local host name with its
//    domain) and LOCALADDR (its address);
//  - VANTOR_EXTAGT_INSTANCE_INFO: one item per row of "RDB_DLA_InstanceInfo", each row's columns
//    as COLUMN=value joined with ',';
//  - VANTOR_EXTAGT_RAC_INFO: CLUSTER=YES|NO, DBUNIQNAME, and INSTANCES=name@host joined with ','
//    from the cached instance list (OFFLINE instances included, marked "name@host(OFFLINE)").
// A statement that is missing or fails leaves its items out (the failure is traced, an Oracle
// error also raised as an event); the row is still sent.
class Vel_DLABaseParameterRequest : public Vel_BaseDataRequest {
 public:
  static constexpr int kMaxValueLength = 4000;

  explicit Vel_DLABaseParameterRequest(Vel_AgentFacRequest& request)
      : Vel_BaseDataRequest(request) {}

  // True when a "_FILTER" condition contains "PAPANAME EQ 'VANTOR_EXTAGT_" or
  // "NAME EQ 'VANTOR_EXTAGT_".
  static bool isDLAParameterRequest(const RequestInfo* conditions);

  // Builds the rows (running the statements on database) and sends them under sendMutex.
  void process(Ora_Database& database, VelMutex& sendMutex, const VelCachedInstanceList& instances,
               const char* localHostName, const char* localAddress);
};

#endif  // VEL_REQUEST_VEL_REQUEST_H
