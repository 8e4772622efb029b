#include "Ora_Database.h"

#include <cstdio>
#include <cstring>

#include "MUT1.h"
#include "OraErrors.h"
#include "Ora_Wrapper.h"
#include "VelConfigFile.h"
#include "VelConfigInstance.h"
#include "VelEncoding.h"
#include "VelUtil.h"
#include "Vel_PostEvent.h"
#include "vel00_OCI_Lib.h"

VEL_TRACE_UNIT("database");

using L = vel00_OCI_Lib;

namespace {
unsigned ptrBits(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }

const char kRoleSuggestion[] = "The role of the user for this connection may be not right.";
const int kCatalogLookupVersion = 101;

// A handle of the given type from the process environment.
template <typename Handle>
int alloc(Handle** handle, ub4 type) {
  return Ora_Wrapper::OCIHandleAlloc(Ora_OCIEnv::m_pOCIEnv, reinterpret_cast<void**>(handle), type,
                                     0, nullptr);
}
}  // namespace

// ---- Ora_DataBaseInfoCmd ---------------------------------------------------------------------

Ora_DataBaseInfoCmd::Ora_DataBaseInfoCmd(const char* sql) {
  setSQL(sql);
  memset(m_dbName, 0, sizeof m_dbName);
  memset(m_dbType, 0, sizeof m_dbType);
  memset(m_version, 0, sizeof m_version);
  memset(m_bitVersion, 0, sizeof m_bitVersion);
  memset(m_isCluster, 0, sizeof m_isCluster);
  memset(m_dbRole, 0, sizeof m_dbRole);
  memset(m_instanceName, 0, sizeof m_instanceName);
  memset(m_hostName, 0, sizeof m_hostName);
  if (L::pMyOCINumberSetZero)
    L::pMyOCINumberSetZero(Ora_OCIEnv::m_pOCIError, m_shortVersion.number());
}

int Ora_DataBaseInfoCmd::onBindParameters(OCIStmt* statement, OCIError* errorHandle) {
  struct {
    const char* name;
    void* buffer;
    int size;
    uint16_t type;
  } binds[] = {
      {":db_name", m_dbName, sizeof m_dbName, SQLT_STR},
      {":db_type", m_dbType, sizeof m_dbType, SQLT_STR},
      {":version", m_version, sizeof m_version, SQLT_STR},
      {":shortversion", m_shortVersion.number(), OCI_NUMBER_SIZE, SQLT_VNU},
      {":bitversion", m_bitVersion, sizeof m_bitVersion, SQLT_STR},
      {":iscluster", m_isCluster, sizeof m_isCluster, SQLT_STR},
      {":db_role", m_dbRole, sizeof m_dbRole, SQLT_STR},
      {":dbinstance_name", m_instanceName, sizeof m_instanceName, SQLT_STR},
      {":dbhostname", m_hostName, sizeof m_hostName, SQLT_STR},
  };
  for (const auto& b : binds) {
    int rc = BindParameter(statement, errorHandle, b.name, b.buffer, b.size, b.type);
    if (!Ora_OK(rc)) return rc;
  }
  return OCI_SUCCESS;
}

int Ora_DataBaseInfoCmd::onPLSQLEnd(OCISvcCtx*, OCIError*, Ora_DefInfoArray*) {
  return m_shortVersion.getInt(m_shortVersionValue) ? OCI_SUCCESS : OCI_ERROR;
}

// ---- Ora_Database ----------------------------------------------------------------------------

bool Ora_Database::isStatementError(int oracleCode) {
  for (int code : kOraStatementErrors)
    if (oracleCode == code) return true;
  return false;
}

Ora_Database::Ora_Database(const OraXMLSQLData& catalog, const char* connectionString,
                           const char* userId, const char* password, const char* role,
                           const char* instanceName, const char* subnodeName)
    : m_catalog(catalog), m_created(time(nullptr)) {
  if (connectionString) m_connectionString.assign(connectionString);
  if (userId) m_userId.assign(userId);
  m_password.setSecret();
  if (password) m_password.assign(password);
  if (instanceName) m_instanceName.assign(instanceName);
  if (subnodeName) m_subnodeName.assign(subnodeName);
  // The role is compared exactly, as the configuration spells it.
  if (role != nullptr) {
    if (strcmp(role, "SYSDBA") == 0)
      m_sessionMode = OCI_SYSDBA;
    else if (strcmp(role, "SYSOPER") == 0)
      m_sessionMode = OCI_SYSOPER;
    else if (strcmp(role, "SYSASM") == 0)
      m_sessionMode = OCI_SYSASM;
  }
}

Ora_Database::~Ora_Database() { Disconnect(); }

const char* Ora_Database::getSQL(const char* sqlId, int& maxRowNum) const {
  int32_t rows = maxRowNum;
  const char* sql = m_catalog.getSQL(m_info.m_shortVersion, sqlId, rows, m_info.m_isCluster);
  maxRowNum = rows;
  return sql;
}

bool Ora_Database::stepOk(int status, const char* step, Ora_ErrorMsg& error) {
  if (Ora_OK(status)) return true;
  error.fromOCI(m_pError, status, m_instanceName.c_str(), step, nullptr);
  Disconnect();
  return false;
}

int Ora_Database::setAttr(void* target, ub4 targetType, void* value, ub4 size, ub4 attribute) {
  return L::pMyOCIAttrSet(target, targetType, value, size, attribute, m_pError);
}

int Ora_Database::setText(void* target, ub4 targetType, const VelString& value, ub4 attribute) {
  return setAttr(target, targetType, const_cast<char*>(value.c_str()),
                 static_cast<ub4>(value.length()), attribute);
}

void Ora_Database::postIfInfo(int status, const char* step) {
  if (status != OCI_SUCCESS_WITH_INFO) return;
  Ora_ErrorMsg info(m_pError, status);
  Ora_ErrorMsg::printOCIError(m_pError, status, m_instanceName.c_str(), step, nullptr);
  Vel_PostEvent::postOraEvent(info, m_instanceName.c_str(), step, nullptr, nullptr);
}

int Ora_Database::attachServer() {
  int rc = L::pMyOCIServerAttach(m_pServer, m_pError,
                                 reinterpret_cast<const text*>(m_connectionString.c_str()),
                                 static_cast<sb4>(m_connectionString.length()), OCI_DEFAULT);
  if (!Ora_OK(rc))
    VEL_ERROR("env is %X, Conntion string is:%s, UserID is:%s, error pointer is %X",
              ptrBits(Ora_OCIEnv::m_pOCIEnv), m_connectionString.c_str(), m_userId.c_str(),
              ptrBits(m_pError));
  return rc;
}

int Ora_Database::innerConnect(Ora_ErrorMsg& error) {
  VEL_FLOW_ENTRY("Ora_Database::innerConnect");
  if (m_wrongCredentials) {
    VelConfigFile file;
    VelConfigInstance instance;
    if (!file.getInstance(m_subnodeName.c_str(), instance)) {
      VEL_ERROR("Can't refresh the configuration from cfg file for subnode %s",
                m_subnodeName.c_str());
      VEL_RETURN(-1);
    }
    if (m_userId.compare(instance.m_userId.c_str()) == 0 &&
        m_password.compare(instance.m_password.c_str()) == 0) {
      VEL_DETAIL("There is no change at configuration file");
      VEL_ERROR(
          "The previous error for connecting to database is invalid userid/password, agent will "
          "not try to connect the database again");
      VEL_RETURN(-1);
    }
    VEL_ERROR("Found userid/password changed in the cfg file, reload them and retry connection");
    m_userId.assign(instance.m_userId.c_str());
    m_password.assign(instance.m_password.c_str());
    VEL_ERROR("The new userid is:%s, password's length is:%d", m_userId.c_str(),
              static_cast<int>(m_password.length()));
    m_wrongCredentials = false;
  }
  VEL_DETAIL("env is %X, Conntion string is:%s, UserID is:%s, error pointer is %X",
             ptrBits(Ora_OCIEnv::m_pOCIEnv), m_connectionString.c_str(), m_userId.c_str(),
             ptrBits(m_pError));

  int rc = OCI_SUCCESS;
  auto step = [&](int status, const char* name) { return stepOk(rc = status, name, error); };
  if (!step(alloc(&m_pError, OCI_HTYPE_ERROR), "Handle Alloc Error")) VEL_RETURN(rc);
  if (!step(alloc(&m_pServer, OCI_HTYPE_SERVER), "Handle Alloc Server")) VEL_RETURN(rc);
  if (!step(attachServer(), "ServerAttach")) VEL_RETURN(rc);
  postIfInfo(rc, "ServerAttach");
  if (!step(alloc(&m_pSvcCtx, OCI_HTYPE_SVCCTX), "Handle Alloc SvcCtx")) VEL_RETURN(rc);
  if (!step(setAttr(m_pSvcCtx, OCI_HTYPE_SVCCTX, m_pServer, 0, OCI_ATTR_SERVER),
            "AttrSet OCI_ATTR_SERVER"))
    VEL_RETURN(rc);
  if (!step(alloc(&m_pSession, OCI_HTYPE_SESSION), "Handle Alloc Session")) VEL_RETURN(rc);
  if (!step(setText(m_pSession, OCI_HTYPE_SESSION, m_userId, OCI_ATTR_USERNAME), "Set UserName"))
    VEL_RETURN(rc);
  if (!step(setText(m_pSession, OCI_HTYPE_SESSION, m_password, OCI_ATTR_PASSWORD), "Set Password"))
    VEL_RETURN(rc);
  if (!step(L::pMyOCISessionBegin(m_pSvcCtx, m_pError, m_pSession, OCI_CRED_RDBMS, m_sessionMode),
            "Session Begin")) {
    if (error.getErrorCode() == kOraInvalidLogon) m_wrongCredentials = true;
    VEL_RETURN(rc);
  }
  postIfInfo(rc, "Session Begin");
  // The session begin's status is returned unless the last step fails.
  int last = setAttr(m_pSvcCtx, OCI_HTYPE_SVCCTX, m_pSession, 0, OCI_ATTR_SESSION);
  if (!stepOk(last, "Set Session to ServiceCtx", error)) VEL_RETURN(last);
  setNoneBlockMode(true);
  VEL_RETURN(rc);
}

bool Ora_Database::Connect(Ora_ErrorMsg& error, bool postEvents) {
  VEL_FLOW_ENTRY("Ora_Database::Connect");
  int status = innerConnect(error);
  if (Ora_OK(status)) {
    (void)checkDBInfoPrivileges(postEvents);
    int32_t rows = 0;
    const char* sql =
        m_catalog.getSQL(kCatalogLookupVersion, Ora_DataBaseInfoCmd::getSQLID(), rows, false);
    if (sql == nullptr) {
      VEL_ERROR("Can not load the SQLID %s", Ora_DataBaseInfoCmd::getSQLID());
      VEL_RETURN(false);
    }
    Ora_DataBaseInfoCmd command(sql);
    if (executePLSQLCommand(command, error, static_cast<long>(time(nullptr)), 60)) {
      m_info.setInfo(command.m_dbType, command.m_dbName, command.m_version,
                     command.m_shortVersionValue, command.m_bitVersion, command.m_isCluster,
                     command.m_dbRole, command.m_instanceName, command.m_hostName);
      if (VEL_TRACE_ON(MUT1_DETAIL)) m_info.dump();
      m_connected = true;
      VEL_RETURN(true);
    }
    m_connected = false;
    Disconnect();
    VEL_RETURN(false);
  }
  if (postEvents) {
    bool post = m_postConnectEvents;
    if (m_wrongCredentials) m_postConnectEvents = false;
    if (post) {
      const char* suggestion = nullptr;
      bool isSys = velstricmp(m_userId.c_str(), "sys") == 0;
      if (error.getErrorCode() != kOraInvalidLogon &&
          ((isSys && m_sessionMode == 0) || (!isSys && m_sessionMode != 0)))
        suggestion = kRoleSuggestion;
      Vel_PostEvent::postOraEvent(error, m_instanceName.c_str(), "Connecting database", nullptr,
                                  suggestion);
    }
  }
  VEL_RETURN(false);
}

bool Ora_Database::Disconnect() {
  VEL_FLOW_ENTRY("Ora_Database::Disconnect");
  m_connected = false;
  m_privilegesChecked = false;
  bool result = true;
  if (m_pSvcCtx != nullptr && m_pSession != nullptr) {
    int rc = Ora_Wrapper::SessionEnd(m_pSvcCtx, m_pError, m_pSession, OCI_DEFAULT,
                                     static_cast<long>(time(nullptr)), 30);
    if (!Ora_ErrorMsg::okOrTrace(m_pError, rc, m_instanceName.c_str(), "SessionEnd"))
      result = false;
  }
  if (m_pServer != nullptr) {
    int rc = L::pMyOCIServerDetach(m_pServer, m_pError, OCI_DEFAULT);
    if (!Ora_ErrorMsg::okOrTrace(m_pError, rc, m_instanceName.c_str(), "ServerDetach"))
      result = false;
  }
  struct {
    void** handle;
    unsigned type;
    const char* step;
  } handles[] = {
      {reinterpret_cast<void**>(&m_pSession), OCI_HTYPE_SESSION, "HandleFree Session"},
      {reinterpret_cast<void**>(&m_pSvcCtx), OCI_HTYPE_SVCCTX, "HandleFree Context"},
      {reinterpret_cast<void**>(&m_pServer), OCI_HTYPE_SERVER, "HandleFree Server"},
  };
  for (const auto& h : handles) {
    if (*h.handle == nullptr) continue;
    int rc = Ora_Wrapper::OCIHandleFree(*h.handle, h.type);
    Ora_ErrorMsg::okOrTrace(m_pError, rc, m_instanceName.c_str(), h.step);
    *h.handle = nullptr;
  }
  if (m_pError != nullptr) {
    Ora_Wrapper::OCIHandleFree(m_pError, OCI_HTYPE_ERROR);
    m_pError = nullptr;
  }
  VEL_RETURN(result);
}

bool Ora_Database::prepareStatement(OCIStmt* statement, const char* sql, Ora_ErrorMsg& error) {
  int rc = L::pMyOCIStmtPrepare(statement, m_pError, reinterpret_cast<const text*>(sql),
                                static_cast<ub4>(strlen(sql)), OCI_NTV_SYNTAX, OCI_DEFAULT);
  if (Ora_OK(rc)) return true;
  error.fromOCI(m_pError, rc, m_instanceName.c_str(), "OCIStmtPrepare", sql);
  return false;
}

bool Ora_Database::hookFailed(OCIStmt* statement, const char* sql, Ora_ErrorMsg& error, int rc,
                              const char* step) {
  error.fromOCI(m_pError, rc, m_instanceName.c_str(), step, sql);
  Ora_DumpStatement(statement, m_pError);
  return false;
}

bool Ora_Database::prepareAndBind(Ora_BaseCommand& command, OCIStmt* statement, const char* sql,
                                  Ora_ErrorMsg& error) {
  if (m_pSvcCtx == nullptr || m_pError == nullptr) return false;
  error.clear();
  if (statement == nullptr) return false;
  if (!prepareStatement(statement, sql, error)) return false;
  int rc = command.onAfterPrepare(statement, m_pError);
  if (!Ora_OK(rc)) return hookFailed(statement, sql, error, rc, "AfterPrepare");
  rc = command.onBindParameters(statement, m_pError);
  if (!Ora_OK(rc)) return hookFailed(statement, sql, error, rc, "BindParameters");
  return true;
}

bool Ora_Database::executeTableCommand(Ora_TableCommand& command, Ora_BaseStmtTable* table,
                                       Ora_ErrorMsg& error, long start, int timeout) {
  VEL_FLOW_ENTRY("Ora_Database::executeTableCommand");
  const char* sql = command.getSQL();
  if (sql == nullptr || *sql == 0) {
    VEL_ERROR("SQL is empty");
    VEL_RETURN(false);
  }
  VEL_FLOWMSG("Executing the SQL:%s", sql);
  Ora_OCIStmtHandler stmt;
  OCIStmt* statement = stmt.handle();
  if (!prepareAndBind(command, statement, sql, error)) VEL_RETURN(false);
  int rc = OCI_SUCCESS;
  if (table != nullptr) {
    rc = table->onDefineParameters(statement, m_pError);
    if (!Ora_OK(rc)) VEL_RETURN(hookFailed(statement, sql, error, rc, "DefineParameters"));
  }
  if (timeout < 5) timeout = 5;
  rc = Ora_Wrapper::StmtExecuteTimeOut(m_pSvcCtx, statement, m_pError, 0, OCI_DEFAULT, start,
                                       timeout, error);
  if (!Ora_OK(rc)) VEL_RETURN(false);
  command.onAfterExecute(statement, m_pError);
  if (table != nullptr) {
    rc = table->executeFetch(m_pSvcCtx, statement, m_pError, error, &m_defineArray);
    // The fetch loop has filled the record before its statement dump reset the error handle
    // (and a time-out keeps the cancellation record), so it is not read again here.
    if (!Ora_OK(rc)) {
      Ora_ErrorMsg::printOCIError(m_pError, rc, m_instanceName.c_str(), "Fetching", sql);
      Ora_DumpStatement(statement, m_pError);
      VEL_RETURN(false);
    }
  }
  VEL_RETURN(true);
}

bool Ora_Database::executePLSQLCommand(Ora_PLSQLCommand& command, Ora_ErrorMsg& error, long start,
                                       int timeout) {
  VEL_FLOW_ENTRY("Ora_Database::executePLSQLCommand");
  const char* sql = command.getSQL();
  if (sql == nullptr || *sql == 0) {
    VEL_ERROR("SQL is empty");
    VEL_RETURN(false);
  }
  VEL_DETAIL("SQL is: %s", sql);
  Ora_OCIStmtHandler stmt;
  OCIStmt* statement = stmt.handle();
  if (!prepareAndBind(command, statement, sql, error)) VEL_RETURN(false);
  int rc = Ora_Wrapper::StmtExecuteTimeOut(m_pSvcCtx, statement, m_pError, 1, OCI_COMMIT_ON_SUCCESS,
                                           start, timeout, error);
  if (!Ora_OK(rc)) {
    Ora_ErrorMsg::printOCIError(m_pError, rc, m_instanceName.c_str(), "OCIStmtExecute", sql);
    VEL_RETURN(false);
  }
  rc = command.onPLSQLEnd(m_pSvcCtx, m_pError, &m_defineArray);
  if (!Ora_OK(rc)) VEL_RETURN(hookFailed(statement, sql, error, rc, "onPLSQLEnd"));
  rc = command.onAfterExecute(statement, m_pError);
  if (!Ora_OK(rc)) VEL_RETURN(hookFailed(statement, sql, error, rc, "onAfterExecute"));
  VEL_RETURN(true);
}

template <typename Run>
bool Ora_Database::runReconnecting(const Ora_ErrorMsg& error, Run run) {
  if (!m_connected) {
    VEL_ERROR("Database is not active");
    return false;
  }
  if (run()) return true;
  if (!isStatementError(error.getErrorCode())) {
    Disconnect();
    Ora_ErrorMsg scratch;
    Connect(scratch, false);
  }
  return false;
}

bool Ora_Database::executeTableCmd(Ora_TableCommand& command, Ora_BaseStmtTable* table,
                                   Ora_ErrorMsg& error, long start, int timeout) {
  return runReconnecting(
      error, [&] { return executeTableCommand(command, table, error, start, timeout); });
}

bool Ora_Database::executePLSQLCmd(Ora_PLSQLCommand& command, Ora_ErrorMsg& error, long start,
                                   int timeout) {
  return runReconnecting(error,
                         [&] { return executePLSQLCommand(command, error, start, timeout); });
}

bool Ora_Database::checkTablePermission(OCIStmt* statement, const char* table,
                                        Ora_ErrorMsg& error) {
  if (m_pSvcCtx == nullptr || statement == nullptr || m_pError == nullptr || table == nullptr ||
      *table == 0)
    return false;
  VelString sql("select * from ");
  sql.append(table);
  sql.append(" where rownum<1");
  VEL_DETAIL("SQL is: %s", sql.c_str());
  error.clear();
  if (!prepareStatement(statement, sql.c_str(), error)) return false;
  int rc = Ora_Wrapper::StmtExecuteTimeOut(m_pSvcCtx, statement, m_pError, 0, OCI_PARSE_ONLY,
                                           static_cast<long>(time(nullptr)), 60, error);
  return Ora_OK(rc);
}

bool Ora_Database::checkTables(const std::vector<OraXMLSQLTable>& tables, bool postEvents) {
  Ora_OCIStmtHandler stmt;
  if (stmt.handle() == nullptr) {
    VEL_ERROR("Can not allocate the memory for OCIStmt");
    return false;
  }
  int limit = vel_getEnvAsInt("VEL_CHECK_PRIVILEGE_EVENT_COUNT", 1);
  if (limit < 1) limit = 1;
  bool result = true;
  int failures = 0;
  setNoneBlockMode(false);
  for (const OraXMLSQLTable& table : tables) {
    Ora_ErrorMsg error;
    if (checkTablePermission(stmt.handle(), table.getQueryName(), error)) continue;
    result = false;
    if (postEvents) {
      if (++failures <= limit) {
        VelString text("Checking the privilege of user \"");
        text.append(m_userId.c_str());
        text.append("\" on table \"");
        text.append(table.getGrantName());
        text.append("\".");
        Vel_PostEvent::postOraEvent(error, m_instanceName.c_str(), text.c_str(), "Check Privilege",
                                    nullptr);
      }
    } else {
      fprintf(stderr, "Checking privilege on %s failed, please run velgrant.sql\n",
              table.getQueryName());
    }
  }
  setNoneBlockMode(true);
  if (postEvents && failures > limit) {
    char text[256];
    snprintf(text, sizeof text,
             "Too many pieces of Check Privilege Event, %d  piece(s) of event is(are) posted, and "
             "%d  piece(s) of event is(are) ignored.",
             limit, failures - limit);
    Vel_PostEvent::postAgentEvent(2, m_instanceName.c_str(), text, 1005, "Check Privilege");
  }
  return result;
}

bool Ora_Database::checkPrivileges(bool postEvents) {
  VEL_FLOW_ENTRY("Ora_Database::checkPrivileges");
  if (m_privilegesChecked) VEL_RETURN(true);
  int typeCode = OraXMLSQLDBType::TYPE_RDB;
  if (velstricmp(m_info.m_type.c_str(), "ASM") == 0)
    typeCode = OraXMLSQLDBType::TYPE_ASM;
  else if (velstricmp(m_info.m_type.c_str(), "DG") == 0)
    typeCode = OraXMLSQLDBType::TYPE_DG;
  int roleCode = velstricmp(m_info.m_role.c_str(), "LOGICAL STANDBY") == 0
                     ? OraXMLSQLDBType::ROLE_LOGICAL_STANDBY
                     : OraXMLSQLDBType::ROLE_PRIMARY;
  std::vector<OraXMLSQLTable> tables;
  for (const OraXMLSQLInfo& info : m_catalog.getEntries())
    info.getPrivilegeTables(m_info.m_shortVersion, typeCode, roleCode, tables);
  bool result = checkTables(tables, postEvents);
  m_privilegesChecked = result;
  VEL_RETURN(result);
}

bool Ora_Database::checkDBInfoPrivileges(bool postEvents) {
  VEL_FLOW_ENTRY("Ora_Database::checkDBInfoPrivileges");
  std::vector<OraXMLSQLTable> tables;
  const OraXMLSQLInfo* info = m_catalog.getSQLInfo(Ora_DataBaseInfoCmd::getSQLID());
  if (info != nullptr)
    info->getPrivilegeTables(kCatalogLookupVersion, OraXMLSQLDBType::TYPE_RDB,
                             OraXMLSQLDBType::ROLE_PRIMARY, tables);
  VEL_RETURN(checkTables(tables, postEvents));
}

void Ora_Database::setNoneBlockMode(bool on) {
  // A real client keeps the mode on the server handle, and every set toggles it whatever the value
  // given: the mode is read first and set only when it must change (not on the service context
  // and not unconditionally, as described).
  if (m_pServer == nullptr || m_pError == nullptr) return;
  ub1 mode = 0;
  int rc = L::pMyOCIAttrGet(m_pServer, OCI_HTYPE_SERVER, &mode, nullptr, OCI_ATTR_NONBLOCKING_MODE,
                            m_pError);
  VEL_FLOWMSG("NoneBlock mode is %d, return code is %d", mode, rc);
  if (!Ora_OK(rc) || (mode != 0) == on) return;
  ub1 wanted = on ? 1 : 0;
  rc = setAttr(m_pServer, OCI_HTYPE_SERVER, &wanted, 0, OCI_ATTR_NONBLOCKING_MODE);
  VEL_FLOWMSG("Setting NoneBlock mode is %d, return code is %d", wanted, rc);
  rc = L::pMyOCIAttrGet(m_pServer, OCI_HTYPE_SERVER, &mode, nullptr, OCI_ATTR_NONBLOCKING_MODE,
                        m_pError);
  VEL_FLOWMSG("NoneBlock mode is %d, return code is %d", mode, rc);
}

// ---- Ora_DatabaseConnection ------------------------------------------------------------------

int Ora_DatabaseConnection::testConnection(const char* connectionString, Ora_ErrorMsg& error) {
  VEL_DETAIL("Connection string is: %s", connectionString ? connectionString : "");
  if (connectionString == nullptr || *connectionString == 0) return -2;
  if (!Ora_OK(alloc(&m_pError, OCI_HTYPE_ERROR))) {
    VEL_ERROR("Error at handle allocation OCI_HTYPE_ERROR");
    clear();
    return -2;
  }
  if (!Ora_OK(alloc(&m_pServer, OCI_HTYPE_SERVER))) {
    VEL_ERROR("Error at handle allocation OCI_HTYPE_SERVER");
    clear();
    return -2;
  }
  if (m_pError == nullptr || m_pServer == nullptr) {
    clear();
    return -1;
  }
  VEL_DETAIL("Server addr is:%X, OCIError addr is:%X", ptrBits(m_pServer), ptrBits(m_pError));
  int rc =
      L::pMyOCIServerAttach(m_pServer, m_pError, reinterpret_cast<const text*>(connectionString),
                            static_cast<sb4>(strlen(connectionString)), OCI_DEFAULT);
  if (Ora_OK(rc))
    Ora_ErrorMsg::okOrTrace(m_pError, L::pMyOCIServerDetach(m_pServer, m_pError, OCI_DEFAULT),
                            connectionString, "ServerDetach");
  else
    error.fromOCI(m_pError, rc, connectionString, "ServerAttach", nullptr);
  clear();
  return 0;
}

void Ora_DatabaseConnection::clear() {
  if (m_pServer != nullptr) Ora_Wrapper::OCIHandleFree(m_pServer, OCI_HTYPE_SERVER);
  if (m_pError != nullptr) Ora_Wrapper::OCIHandleFree(m_pError, OCI_HTYPE_ERROR);
  m_pServer = nullptr;
  m_pError = nullptr;
}
