// One logged-in session to one monitored database: its OCI handles, credentials and role, the
// facts learnt right after log-on, and a private copy of the SQL catalog. Each subnode's worker
// owns one; statements run through executeTableCmd / executePLSQLCmd, which rebuild the session
// after errors that suggest it is broken.
#ifndef VEL_OCI_ORA_DATABASE_H
#define VEL_OCI_ORA_DATABASE_H

#include <ctime>

#include "OraXMLSQLData.h"
#include "Ora_Command.h"
#include "Ora_DatabaseInfo.h"
#include "Ora_OCIEnv.h"
#include "Ora_StmtTable.h"
#include "VelMemManager.h"
#include "VelString.h"
#include "ocidefs.h"

// The PL/SQL block that assigns the nine database-information binds.
class Ora_DataBaseInfoCmd : public Ora_PLSQLCommand {
 public:
  static const char* getSQLID() { return "DatabaseInformation"; }
  explicit Ora_DataBaseInfoCmd(const char* sql);
  int onBindParameters(OCIStmt* statement, OCIError* errorHandle) override;
  int onPLSQLEnd(OCISvcCtx* serviceContext, OCIError* errorHandle,
                 Ora_DefInfoArray* defineArray) override;

  char m_dbName[50];
  char m_dbType[50];
  char m_version[20];
  OraNum m_shortVersion;
  int m_shortVersionValue = 0;
  char m_bitVersion[4];
  char m_isCluster[20];
  char m_dbRole[20];
  char m_instanceName[20];
  char m_hostName[65];
};

class Ora_Database : public Vel_BaseMemPool {
 public:
  // Oracle errors that say nothing about the session (kOraStatementErrors): the session is kept
  // after them.
  static bool isStatementError(int oracleCode);

  Ora_Database(const OraXMLSQLData& catalog, const char* connectionString, const char* userId,
               const char* password, const char* role, const char* instanceName,
               const char* subnodeName);
  virtual ~Ora_Database();
  Ora_Database(const Ora_Database&) = delete;
  Ora_Database& operator=(const Ora_Database&) = delete;

  // Logs on, checks the information grants and reads the database information. With
  // postEvents, a failure is raised as an event (once while the credentials stay wrong).
  bool Connect(Ora_ErrorMsg& error, bool postEvents);
  // Ends the session and frees its handles; false when the session end or detach failed.
  bool Disconnect();

  // The catalog text of sqlId for this database's version and cluster flag, or null.
  const char* getSQL(const char* sqlId, int& maxRowNum) const;

  // Runs a query (and fetches into table when given); reconnects after a session error.
  bool executeTableCmd(Ora_TableCommand& command, Ora_BaseStmtTable* table, Ora_ErrorMsg& error,
                       long start, int timeout);
  bool executeTableCommand(Ora_TableCommand& command, Ora_BaseStmtTable* table, Ora_ErrorMsg& error,
                           long start, int timeout);
  bool executePLSQLCmd(Ora_PLSQLCommand& command, Ora_ErrorMsg& error, long start, int timeout);
  bool executePLSQLCommand(Ora_PLSQLCommand& command, Ora_ErrorMsg& error, long start, int timeout);

  bool checkPrivileges(bool postEvents);
  bool checkDBInfoPrivileges(bool postEvents);
  bool checkTablePermission(OCIStmt* statement, const char* table, Ora_ErrorMsg& error);
  void setNoneBlockMode(bool on);

  bool isConnected() const { return m_connected; }
  bool isPrivilegesChecked() const { return m_privilegesChecked; }
  bool isWrongCredentials() const { return m_wrongCredentials; }
  const Ora_DatabaseInfo& getDatabaseInfo() const { return m_info; }
  const OraXMLSQLData& getCatalog() const { return m_catalog; }
  const char* getInstanceName() const { return m_instanceName.c_str(); }
  const char* getSubnodeName() const { return m_subnodeName.c_str(); }
  const char* getUserId() const { return m_userId.c_str(); }
  unsigned getSessionMode() const { return m_sessionMode; }
  time_t getCreated() const { return m_created; }
  OCISvcCtx* getServiceContext() const { return m_pSvcCtx; }
  OCIError* getErrorHandle() const { return m_pError; }
  Ora_DefInfoArray* getDefineArray() { return &m_defineArray; }

 protected:
  // Log-on steps; returns the OCI status (0 or 1 success).
  int innerConnect(Ora_ErrorMsg& error);
  // Runs the privilege probes of the given tables; the shared part of both checks.
  bool checkTables(const std::vector<OraXMLSQLTable>& tables, bool postEvents);

 private:
  // One log-on step: Ora_OK(status), or else error filled, traced with step, session torn down.
  bool stepOk(int status, const char* step, Ora_ErrorMsg& error);
  // OCIAttrSet with the session's error handle.
  int setAttr(void* target, ub4 targetType, void* value, ub4 size, ub4 attribute);
  // setAttr with a text value and its length.
  int setText(void* target, ub4 targetType, const VelString& value, ub4 attribute);
  // A step that succeeded with information: the information is traced and raised as an event.
  void postIfInfo(int status, const char* step);
  // OCIServerAttach to the connect string; a failure also traces the log-on parameters.
  int attachServer();
  // Runs a statement (run returns its success, error its record) on an active session; after a
  // failure that is not a statement error, the session is rebuilt (its outcome is not reported).
  template <typename Run>
  bool runReconnecting(const Ora_ErrorMsg& error, Run run);
  bool prepareStatement(OCIStmt* statement, const char* sql, Ora_ErrorMsg& error);
  // Needs a session and a statement; clears error, prepares the statement and runs the
  // command's after-prepare and bind hooks.
  bool prepareAndBind(Ora_BaseCommand& command, OCIStmt* statement, const char* sql,
                      Ora_ErrorMsg& error);
  // Fills error from the handle, traces the failed step and dumps the statement; false.
  bool hookFailed(OCIStmt* statement, const char* sql, Ora_ErrorMsg& error, int rc,
                  const char* step);

  bool m_connected = false;
  bool m_privilegesChecked = false;
  OraXMLSQLData m_catalog;
  Ora_DatabaseInfo m_info;
  VelString m_instanceName;
  VelString m_subnodeName;
  bool m_wrongCredentials = false;
  bool m_postConnectEvents = true;
  OCIServer* m_pServer = nullptr;
  OCISvcCtx* m_pSvcCtx = nullptr;
  OCISession* m_pSession = nullptr;
  OCIError* m_pError = nullptr;
  VelString m_connectionString;
  VelString m_userId;
  VelString m_password;
  unsigned m_sessionMode = 0;
  time_t m_created;
  Ora_DefInfoArray m_defineArray;
};

// A bare reachability probe: attach to the server and detach again.
class Ora_DatabaseConnection {
 public:
  ~Ora_DatabaseConnection() { clear(); }
  // -2 for an empty connect string or a handle that could not be allocated, -1 when a handle is
  // missing after allocation, 0 when the attach was attempted: its outcome is in error (which the
  // caller clears first).
  int testConnection(const char* connectionString, Ora_ErrorMsg& error);
  void clear();

 private:
  OCIServer* m_pServer = nullptr;
  OCIError* m_pError = nullptr;
};

#endif  // VEL_OCI_ORA_DATABASE_H
