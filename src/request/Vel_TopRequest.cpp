#include "Vel_TopRequest.h"

#include <cctype>
#include <cstring>

#include "MUT1.h"
#include "Ora_Database.h"
#include "VelCachedInstanceList.h"
#include "VelEncoding.h"
#include "VelUtil.h"
#include "cp_api.h"
#include "vel00_OCI_Lib.h"

VEL_TRACE_UNIT("Vel_TopRequest");

namespace {

bool isNameChar(char c) {
  return isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#';
}

}  // namespace

Ora_TopCommand::Ora_TopCommand(const char* sql, Ora_AutoStmtTable* table)
    : m_pCursor(m_cursor.handle()), m_pTable(table) {
  if (sql == nullptr) VEL_ERROR("Warning: The input SQL for topcommand is NULL");
  m_sql.assign(sql != nullptr ? sql : "");
}

bool Ora_TopCommand::usesPlaceholder(const char* text, const char* name) {
  if (text == nullptr || name == nullptr) return false;
  if (*name == ':') ++name;
  size_t length = strlen(name);
  if (length == 0) return false;
  for (const char* p = strchr(text, ':'); p != nullptr; p = strchr(p + 1, ':')) {
    if (strncasecmp(p + 1, name, length) == 0 && !isNameChar(p[1 + length])) return true;
  }
  return false;
}

void Ora_TopCommand::addBindInfo(const RequestInfo* conditions) {
  for (const RequestInfo* c = conditions; c != nullptr; c = c->next) {
    if (c->name == nullptr || c->value == nullptr || c->op == nullptr || c->logicalOp == nullptr)
      continue;
    if (velstricmp(c->name, "_req_type") == 0 || velstricmp(c->name, "originnode") == 0 ||
        velstricmp(c->name, "timestamp") == 0) {
      VEL_DETAIL("Skip non filter %s", c->name);
      continue;
    }
    Ora_FilterList::BindInfo* bind = new Ora_FilterList::BindInfo;
    if (bind == nullptr || !bind->m_name.assign(c->name) || !bind->m_value.assign(c->value) ||
        !m_binds.push_back(bind)) {
      VEL_ERROR("Error at memory allocation");
      delete bind;
    }
  }
}

int Ora_TopCommand::onBindParameters(OCIStmt* statement, OCIError* errorHandle) {
  const char* text = m_sql.c_str();
  for (auto it = m_binds.begin(); it != m_binds.end(); ++it) {
    Ora_FilterList::BindInfo* bind = *it;
    const char* name = bind->m_name.c_str();
    int length = static_cast<int>(bind->m_value.length()) + 1;
    // The placeholder must appear as one: a plain substring search would also match inside
    // longer names and words, and binding a name the block does not declare fails the run.
    if (!usesPlaceholder(text, name)) {
      VEL_DETAIL(
          "Binding parameter %s, value is %s, length is %d not found in the sql, will skip it",
          name, bind->m_value.c_str(), length);
      continue;
    }
    VelString* placeholder = new VelString(*name == ':' ? "" : ":");
    if (placeholder == nullptr || !placeholder->append(name) ||
        !m_placeholders.push_back(placeholder)) {
      delete placeholder;
      VEL_ERROR("Binding parameter %s error ", name);
      return OCI_ERROR;
    }
    int rc = BindParameter(statement, errorHandle, placeholder->c_str(),
                           const_cast<char*>(bind->m_value.c_str()), length, SQLT_STR);
    if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO) {
      VEL_ERROR("Binding parameter %s error ", name);
      return rc;
    }
  }
  if (strstr(text, kCursorName) == nullptr) return OCI_SUCCESS;
  OCIStmt* cursor = m_cursor.handle();
  OCIBind* bind = nullptr;
  int rc = cursor == nullptr
               ? OCI_INVALID_HANDLE
               : vel00_OCI_Lib::pMyOCIBindByName(
                     statement, &bind, errorHandle, reinterpret_cast<const ::text*>(kCursorName),
                     static_cast<sb4>(strlen(kCursorName)), &m_pCursor, 0, SQLT_RSET, nullptr,
                     nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO)
    VEL_ERROR("Binding cursor  %s error", kCursorName);
  return rc;
}

int Ora_TopCommand::onPLSQLEnd(OCISvcCtx* serviceContext, OCIError* errorHandle,
                               Ora_DefInfoArray* defineArray, Ora_ErrorMsg& error) {
  if (m_pTable == nullptr || m_cursor.handle() == nullptr) return OCI_SUCCESS;
  return m_pTable->executeFetch(serviceContext, m_cursor.handle(), errorHandle, error, defineArray);
}

// ---- Vel_TopRequest ------------------------------------------------------------------------

bool Vel_TopRequest::process(Ora_Database& database) {
  VEL_FLOW_ENTRY("Vel_TopRequest::process");
  const char* sqlId = getSQLID();
  int maxRowNum = Ora_SimpleCommand::kDefaultMaxRowNum;
  const char* sql = database.getSQL(sqlId, maxRowNum);
  if (sql == nullptr) {
    VEL_ERROR(" Error, can not load the SQLID %s from sql xml file", sqlId);
    VEL_RETURN(true);
  }
  Ora_TopCommand command(sql, &m_table);
  command.addBindInfo(getFilterInfo());
  Ora_ErrorMsg error;
  if (!database.executePLSQLCmd(command, error, static_cast<long>(m_creationTime), m_timeout))
    velPostQueryError(error, database, sqlId);
  VEL_RETURN(true);
}

void Vel_TopRequest::send(VelMutex& sendMutex, const VelCachedInstanceList& instances) {
  VEL_FLOW_ENTRY("Vel_TopRequest::send");
  if (m_pRequest == nullptr) return;
  VelMutexHandler lock(sendMutex);
  int columns = static_cast<int>(m_table.getColumnCount());
  unsigned rows = m_table.getStoredRowCount();
  const char* row[kVelMaxColumns];
  for (unsigned r = 0; r < rows; ++r) {
    if (!m_table.getRow(r, row, columns)) continue;
    const char* values[kValues];
    for (int i = 0; i < kFetchedValues; ++i) values[i] = i < columns && row[i] ? row[i] : "";
    const VelCachedInstance* instance =
        columns > 1 ? instances.getInstancebyInstID(row[1]) : nullptr;
    values[79] = instance ? instance->getInstName() : instances.getConnectedInstanceName();
    values[80] = instance ? instance->getHostName() : instances.getConnectedHostName();
    values[81] = instances.getDatabaseUniqueName();
    cp_SetAttributeValues(values, kValues, getRequestID());
  }
  if (rows == 0)
    VEL_ERROR("Unable send result for 0 column data for %s subnode %s ", getRequestID(),
              getSubNode());
  cp_SendData(getRequestID());
}
