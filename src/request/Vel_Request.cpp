#include "Vel_Request.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "MUT1.h"
#include "Ora_Database.h"
#include "Ora_FilterList.h"
#include "VelAttrGroups.h"
#include "VelCachedInstanceList.h"
#include "VelUtil.h"
#include "Vel_PostEvent.h"

VEL_TRACE_UNIT("Vel_Request");

namespace {

const char* textOf(const char* s) { return s != nullptr ? s : ""; }

// Traces the record the way the loop and the workers dump an incoming request.
void traceRequest(const Request* request) {
  if (request == nullptr) {
    VEL_ERROR("Error Request with NULL pointer");
    return;
  }
  VEL_DUMPMSG(
      "requstInfo handle is: %s, type is %d, subnode is %s, requestStartedID is %s, action is "
      "%s, ",
      request->handle ? static_cast<const char*>(request->handle) : "", request->type,
      textOf(request->subnode), textOf(request->requestStartedID), textOf(request->action));
  for (const RequestInfo* info = request->requestInfo; info != nullptr; info = info->next)
    VEL_DUMPMSG("RequestInfo name is %s, value is %s, op is %s, logicalOp is: %s",
                textOf(info->name), textOf(info->value), textOf(info->op), textOf(info->logicalOp));
}

}  // namespace

// ---- The catalog-statement runner ---------------------------------------------------------

CatalogRun runCatalogStatement(Ora_Database& db, const char* sqlId, int maxRowDefault,
                               const RequestInfo* filter, Ora_BaseStmtTable* table, time_t start,
                               int timeout, Ora_ErrorMsg& error) {
  error.clear();
  int maxRowNum = maxRowDefault;
  const char* sql = sqlId != nullptr ? db.getSQL(sqlId, maxRowNum) : nullptr;
  if (sql == nullptr) return CatalogRun::kMissing;
  bool ok;
  if (filter != nullptr) {
    Ora_SimpleFilterCommand command(sql, maxRowNum, filter);
    ok = db.executeTableCmd(command, table, error, static_cast<long>(start), timeout);
  } else {
    Ora_SimpleCommand command(sql, maxRowNum);
    ok = db.executeTableCmd(command, table, error, static_cast<long>(start), timeout);
  }
  return ok ? CatalogRun::kOk : CatalogRun::kFailed;
}

void velPostQueryError(const Ora_ErrorMsg& error, Ora_Database& database, const char* sqlId) {
  // A session that is not active fails without an Oracle error: there is nothing to raise.
  if (error.getErrorCode() == 0 && error.getStatus() == 0) return;
  char detail[256];
  snprintf(detail, sizeof(detail), "Query attribute group '%s'", sqlId);
  Vel_PostEvent::postOraEvent(error, database.getInstanceName(), detail, nullptr, nullptr);
}

// ---- Vel_AgentFacRequest -------------------------------------------------------------------

const char Vel_AgentFacRequest::m_emptyText[1] = {0};

Vel_AgentFacRequest::Vel_AgentFacRequest(Request* request, int timeout)
    : m_timeout(timeout < VEL_REQUEST_MIN_TIMEOUT ? VEL_REQUEST_MIN_TIMEOUT : timeout),
      m_creationTime(time(nullptr)),
      m_pRequest(request) {}

Vel_AgentFacRequest::~Vel_AgentFacRequest() {
  if (m_pRequest != nullptr) cp_FreeRequest(m_pRequest);
}

void Vel_AgentFacRequest::printRequestInfo() const { traceRequest(m_pRequest); }

int Vel_AgentFacRequest::getReqType() const { return m_pRequest ? m_pRequest->type : -1; }

const void* Vel_AgentFacRequest::getHandle() const {
  return m_pRequest ? m_pRequest->handle : nullptr;
}

const char* Vel_AgentFacRequest::getSubNode() const {
  return m_pRequest && m_pRequest->subnode ? m_pRequest->subnode : m_emptyText;
}

RequestInfo* Vel_AgentFacRequest::getFilterInfo() const {
  return m_pRequest ? m_pRequest->requestInfo : nullptr;
}

const char* Vel_AgentFacRequest::getAction() const {
  return m_pRequest && m_pRequest->action ? m_pRequest->action : m_emptyText;
}

const char* Vel_AgentFacRequest::getRequestID() const {
  return m_pRequest && m_pRequest->id ? m_pRequest->id : m_emptyText;
}

Request* Vel_AgentFacRequest::releaseRequest() {
  Request* request = m_pRequest;
  m_pRequest = nullptr;
  return request;
}

// ---- Vel_SQLRequest / Vel_IntervalSQLRequest -----------------------------------------------

Vel_SQLRequest::Vel_SQLRequest(const char* sqlId) : m_sqlId(sqlId), m_startTime(time(nullptr)) {}

void Vel_SQLRequest::printRequestInfo() const { VEL_DUMPMSG("SQLID is %s", m_sqlId.c_str()); }

bool Vel_SQLRequest::process(Ora_Database& database, int timeout) {
  VEL_FLOW_ENTRY("Vel_SQLRequest::process");
  m_succeeded = false;
  m_table.clearRows();
  Ora_ErrorMsg error;
  switch (runCatalogStatement(database, m_sqlId.c_str(), Ora_SimpleCommand::kDefaultMaxRowNum,
                              nullptr, &m_table, m_startTime, timeout, error)) {
    case CatalogRun::kOk:
      m_succeeded = true;
      VEL_RETURN(true);
    case CatalogRun::kMissing:
      VEL_ERROR("Error, can not load the SQLID %s from sql xml file", m_sqlId.c_str());
      VEL_RETURN(false);
    case CatalogRun::kFailed:
      break;
  }
  velPostQueryError(error, database, m_sqlId.c_str());
  VEL_RETURN(false);
}

void Vel_IntervalSQLRequest::printRequestInfo() const {
  VEL_DUMPMSG("SQLID is %s", m_sqlId.c_str());
}

// ---- Vel_BaseDataRequest -------------------------------------------------------------------

Vel_BaseDataRequest::Vel_BaseDataRequest(Vel_AgentFacRequest& request)
    : m_timeout(request.getTimeout()),
      m_creationTime(request.getCreationTime()),
      m_pRequest(request.releaseRequest()) {}

Vel_BaseDataRequest::~Vel_BaseDataRequest() {
  if (m_pRequest != nullptr) cp_FreeRequest(m_pRequest);
}

const char* Vel_BaseDataRequest::getSQLID() const {
  return m_pRequest && m_pRequest->handle ? static_cast<const char*>(m_pRequest->handle) : "";
}

RequestInfo* Vel_BaseDataRequest::getFilterInfo() const {
  return m_pRequest ? m_pRequest->requestInfo : nullptr;
}

const char* Vel_BaseDataRequest::getRequestID() const {
  return m_pRequest && m_pRequest->id ? m_pRequest->id : "";
}

const char* Vel_BaseDataRequest::getSubNode() const {
  return m_pRequest && m_pRequest->subnode ? m_pRequest->subnode : "";
}

// ---- Vel_SimpleRequest ---------------------------------------------------------------------

Vel_SimpleRequest::Vel_SimpleRequest(Vel_AgentFacRequest& request) : Vel_BaseDataRequest(request) {
  for (int i = 0; i < kMaxValues; ++i) {
    m_values[i] = nullptr;
    m_columnMap[i] = -1;
  }
}

bool Vel_SimpleRequest::process(Ora_Database& database, Ora_AutoStmtTable* table,
                                int defaultMaxRow) {
  VEL_FLOW_ENTRY("Vel_SimpleRequest::process");
  if (m_pRequest == nullptr || table == nullptr) VEL_RETURN(false);
  const char* sqlId = getSQLID();
  const OraXMLSQLInfo* info = database.getCatalog().getSQLInfo(sqlId);
  if (info == nullptr) {
    VEL_ERROR("Error, can not load the SQLID %s from sql xml file", sqlId);
    VEL_RETURN(false);
  }
  m_instanceIDColumn = info->getInstanceIDIndex();
  Ora_ErrorMsg error;
  switch (runCatalogStatement(database, sqlId, defaultMaxRow, getFilterInfo(), table,
                              m_creationTime, m_timeout, error)) {
    case CatalogRun::kOk:
      VEL_RETURN(true);
    case CatalogRun::kMissing:
      VEL_ERROR("Error, can not load the SQLID %s from sql xml file", sqlId);
      VEL_RETURN(false);
    case CatalogRun::kFailed:
      break;
  }
  velPostQueryError(error, database, sqlId);
  VEL_RETURN(false);
}

void Vel_SimpleRequest::onSendBegin(const VelAttributeGroupDef*) {}

void Vel_SimpleRequest::onSendRow(int count) {
  cp_SetAttributeValues(m_values, count, getRequestID());
}

void Vel_SimpleRequest::onSendEnd() { cp_SendData(getRequestID()); }

const VelAttributeGroupDef* Vel_SimpleRequest::prepareColumnInfo(
    const Ora_AutoStmtTable* table, const VelAttrGroups& groups,
    const VelCachedInstanceList& instances) {
  VEL_FLOW_ENTRY("Vel_SimpleRequest::prepareColumnInfo");
  const char* sqlId = getSQLID();
  const VelAttributeGroupDef* definition = groups.getAGDef(sqlId);
  if (definition == nullptr) {
    VEL_ERROR("Error at searching attribute group for SQLID:%s", sqlId);
    VEL_RETURN(definition);
  }
  const std::vector<VelAttributeDef>& attributes = definition->getAttributes();
  int count = static_cast<int>(attributes.size());
  // Attributes past the value array cannot be sent; the row is cut there.
  if (count > kMaxValues) count = kMaxValues;
  unsigned columns = table != nullptr ? table->getColumnCount() : 0;
  for (int i = 0; i < count; ++i) {
    const char* name = attributes[i].getName();
    if (strcmp(name, "DBINSTNAME") == 0) {
      m_instNamePos = i;
    } else if (strcmp(name, "DBHOSTNAME") == 0) {
      m_hostNamePos = i;
    } else if (strcmp(name, "DBUNIQNAME") == 0) {
      m_uniqNamePos = i;
    } else {
      // Oracle describes unquoted column names in upper case; the definitions may not, so the
      // names are compared ignoring case.
      int found = -1;
      for (unsigned c = 0; c < columns; ++c) {
        if (u_stricmp(table->getColumnName(c), name) == 0) {
          found = static_cast<int>(c);
          break;
        }
      }
      if (found >= 0) {
        m_columnMap[i] = found;
      } else {
        VEL_ERROR("Error, the column %s is not found at attribute group:%s definition!", name,
                  sqlId);
      }
    }
  }
  m_columnCount = count;
  if (m_uniqNamePos >= 0) m_values[m_uniqNamePos] = instances.getDatabaseUniqueName();
  if (m_instanceIDColumn < 0) {
    if (m_instNamePos >= 0) m_values[m_instNamePos] = instances.getConnectedInstanceName();
    if (m_hostNamePos >= 0) m_values[m_hostNamePos] = instances.getConnectedHostName();
  }
  VEL_RETURN(definition);
}

bool Vel_SimpleRequest::getNextRow(const char* const* row, const VelCachedInstanceList& instances) {
  if (row == nullptr) return false;
  for (int i = 0; i < m_columnCount; ++i) {
    int column = m_columnMap[i];
    if (column < 0) continue;
    m_values[i] = column < static_cast<int>(kVelMaxColumns) ? row[column] : nullptr;
  }
  if (m_instanceIDColumn >= 0) {
    const char* id =
        m_instanceIDColumn < static_cast<int>(kVelMaxColumns) ? row[m_instanceIDColumn] : nullptr;
    const VelCachedInstance* instance = instances.getInstancebyInstID(id);
    if (m_instNamePos >= 0) m_values[m_instNamePos] = instance ? instance->getInstName() : "";
    if (m_hostNamePos >= 0) m_values[m_hostNamePos] = instance ? instance->getHostName() : "";
  }
  return true;
}

void Vel_SimpleRequest::send(VelMutex& sendMutex, const Ora_AutoStmtTable* table,
                             const VelAttrGroups& groups, const VelCachedInstanceList& instances) {
  VEL_FLOW_ENTRY("Vel_SimpleRequest::send");
  VelMutexHandler lock(sendMutex);
  const VelAttributeGroupDef* definition = prepareColumnInfo(table, groups, instances);
  if (definition == nullptr) return;
  onSendBegin(definition);
  bool dump = VEL_TRACE_ON(MUT1_DUMP);
  int totalRows = 0;
  int totalBytes = 0;
  if (definition->getAttributeCount() > 0) {
    unsigned rows = table != nullptr ? table->getStoredRowCount() : 0;
    int columns = table != nullptr ? static_cast<int>(table->getColumnCount()) : 0;
    const char* row[kVelMaxColumns];
    for (unsigned r = 0; r < rows; ++r) {
      for (unsigned c = 0; c < kVelMaxColumns; ++c) row[c] = nullptr;
      if (!table->getRow(r, row, columns)) continue;
      if (!getNextRow(row, instances)) continue;
      onSendRow(m_columnCount);
      if (dump) CountTotalRowsAndBytes(m_values, m_columnCount, totalRows, totalBytes);
    }
  } else {
    VEL_ERROR("Unable send result for 0 column data for %s subnode %s ", getRequestID(),
              getSubNode());
  }
  onSendEnd();
  if (dump)
    VEL_DUMPMSG("Attribute group is:%s, id is:%s, Total Rows:%d, TotalBytes:%d", getSQLID(),
                getRequestID(), totalRows, totalBytes);
}

// ---- Vel_DLABaseParameterRequest -----------------------------------------------------------

namespace {

const char kDLAPrefix[] = "VANTOR_EXTAGT_";
const char* const kDLAParameters[] = {"VANTOR_EXTAGT_DBINFO", "VANTOR_EXTAGT_INSTANCE_INFO",
                                      "VANTOR_EXTAGT_RAC_INFO"};

// Appends "item" to a ';'-separated list unless it would pass the limit.
void appendItem(std::string& out, const std::string& item, char separator) {
  size_t extra = item.size() + (out.empty() ? 0 : 1);
  if (out.size() + extra > static_cast<size_t>(Vel_DLABaseParameterRequest::kMaxValueLength))
    return;
  if (!out.empty()) out += separator;
  out += item;
}

// Runs a discovery statement into table; false (traced, Oracle errors raised) on failure.
bool runDiscoveryStatement(Ora_Database& database, const char* sqlId, Ora_AutoStmtTable& table,
                           time_t start, int timeout) {
  Ora_ErrorMsg error;
  switch (runCatalogStatement(database, sqlId, Ora_SimpleCommand::kDefaultMaxRowNum, nullptr,
                              &table, start, timeout, error)) {
    case CatalogRun::kOk:
      return true;
    case CatalogRun::kMissing:
      VEL_ERROR("Error, can not load the SQLID %s from sql xml file", sqlId);
      return false;
    case CatalogRun::kFailed:
      break;
  }
  velPostQueryError(error, database, sqlId);
  return false;
}

// Row r of the table as "COLUMN=value" items joined with separator.
std::string rowItems(const Ora_AutoStmtTable& table, unsigned r, char separator) {
  std::string out;
  const char* row[kVelMaxColumns] = {nullptr};
  int columns = static_cast<int>(table.getColumnCount());
  if (!table.getRow(r, row, columns)) return out;
  for (int c = 0; c < columns; ++c) {
    std::string item = table.getColumnName(static_cast<unsigned>(c));
    item += '=';
    item += textOf(row[c]);
    appendItem(out, item, separator);
  }
  return out;
}

}  // namespace

bool Vel_DLABaseParameterRequest::isDLAParameterRequest(const RequestInfo* conditions) {
  for (const RequestInfo* info = conditions; info != nullptr; info = info->next) {
    if (info->name == nullptr || info->value == nullptr || strcmp(info->name, "_FILTER") != 0)
      continue;
    // "PAPANAME EQ '..." contains "NAME EQ '...", so one search finds both forms.
    if (strstr(info->value, "NAME EQ 'VANTOR_EXTAGT_") != nullptr) return true;
  }
  return false;
}

void Vel_DLABaseParameterRequest::process(Ora_Database& database, VelMutex& sendMutex,
                                          const VelCachedInstanceList& instances,
                                          const char* localHostName, const char* localAddress) {
  VEL_FLOW_ENTRY("Vel_DLABaseParameterRequest::process");
  // Which parameters the filter names.
  bool wanted[3] = {false, false, false};
  for (const RequestInfo* info = getFilterInfo(); info != nullptr; info = info->next) {
    if (info->name == nullptr || info->value == nullptr || strcmp(info->name, "_FILTER") != 0)
      continue;
    for (const char* p = strstr(info->value, kDLAPrefix); p != nullptr;
         p = strstr(p + 1, kDLAPrefix)) {
      size_t length = strcspn(p, "' )");
      for (int k = 0; k < 3; ++k)
        if (strlen(kDLAParameters[k]) == length && strncmp(p, kDLAParameters[k], length) == 0)
          wanted[k] = true;
    }
  }
  std::string values[3];
  if (wanted[0]) {
    Ora_AutoStmtTable table;
    if (runDiscoveryStatement(database, "ASM_DLA_GetDatabaseInfo", table, m_creationTime,
                              m_timeout) &&
        table.getStoredRowCount() > 0)
      values[0] = rowItems(table, 0, ';');
    appendItem(values[0], std::string("LOCALHOST=") + textOf(localHostName), ';');
    appendItem(values[0], std::string("LOCALADDR=") + textOf(localAddress), ';');
  }
  if (wanted[1]) {
    Ora_AutoStmtTable table;
    if (runDiscoveryStatement(database, "RDB_DLA_InstanceInfo", table, m_creationTime, m_timeout)) {
      for (unsigned r = 0; r < table.getStoredRowCount(); ++r)
        appendItem(values[1], rowItems(table, r, ','), ';');
    }
  }
  if (wanted[2]) {
    bool cluster = database.isConnected() && database.getDatabaseInfo().m_isCluster;
    appendItem(values[2], cluster ? "CLUSTER=YES" : "CLUSTER=NO", ';');
    appendItem(values[2], std::string("DBUNIQNAME=") + instances.getDatabaseUniqueName(), ';');
    std::string list;
    for (auto it = instances.getInstances().begin(); it != instances.getInstances().end(); ++it) {
      std::string item = std::string((*it)->getInstName()) + "@" + (*it)->getHostName();
      if ((*it)->isOffline()) item += "(OFFLINE)";
      appendItem(list, item, ',');
    }
    appendItem(values[2], "INSTANCES=" + list, ';');
  }
  VelMutexHandler lock(sendMutex);
  for (int k = 0; k < 3; ++k) {
    if (!wanted[k]) continue;
    const char* row[2] = {kDLAParameters[k], values[k].c_str()};
    cp_SetAttributeValues(row, 2, getRequestID());
  }
  cp_SendData(getRequestID());
}
