#include "Vel_ActionRequest.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "MUT1.h"
#include "Ora_Database.h"
#include "Ora_OCIEnv.h"
#include "Ora_StmtTable.h"
#include "SendMutex.h"
#include "VelConfig.h"
#include "VelUtil.h"
#include "Vel_ListRequest.h"
#include "cp_api.h"

VEL_TRACE_UNIT("action");

namespace {

const char* actionText(const Request* record) {
  return (record != nullptr && record->action != nullptr) ? record->action : "";
}

// One task result with a single output line; the caller holds no lock.
void sendSingleLine(int rc, const char* requestId, const char* text) {
  const char* instances[1] = {""};
  const char* outputs[1] = {text != nullptr ? text : ""};
  VelMutexHandler lock(gMutexSend);
  cp_SendTaskRCWithOutput(rc, requestId, instances, 1, outputs, 1);
}

// The code answered for a failed statement: the Oracle error, or -1 when the failure carries none
// (a worker session that never connected fails without calling the database).
int failureCode(const Ora_ErrorMsg& error) {
  return error.getErrorCode() != 0 ? error.getErrorCode() : -1;
}

// The text answered for a failed statement; a failure without an Oracle record is still explained.
const char* failureText(const Ora_ErrorMsg& error) {
  const char* text = error.getMessage();
  return (text != nullptr && *text != '\0') ? text : "The database session is not connected";
}

}  // namespace

VelString velStripTrailingSemicolons(const char* text) {
  VelString out;
  if (text == nullptr) return out;
  size_t len = strlen(text);
  while (len > 0 && text[len - 1] == ';') --len;
  out.assign(std::string(text, len).c_str());
  return out;
}

const char* Vel_PLSQLActionRequest::getSQLID() const {
  const char* action = actionText(getRequest());
  const size_t prefix = sizeof(kVelPLSQLActionPrefix) - 1;
  return strncmp(action, kVelPLSQLActionPrefix, prefix) == 0 ? action + prefix : "";
}

bool Vel_PLSQLActionRequest::process(Ora_Database& database) {
  VEL_FLOW_ENTRY("Vel_PLSQLActionRequest::process");
  Ora_TakeActionCmd command(getSQLID());
  Ora_ErrorMsg error;
  bool ok =
      database.executePLSQLCmd(command, error, static_cast<long>(getCreationTime()), getTimeout());
  const int rc = ok ? 0 : failureCode(error);
  const char* message = ok ? "" : failureText(error);
  if (!ok) VEL_ERROR("PL/SQL action failed with %d: %s", rc, message);
  sendSingleLine(rc, getRequestID(), message);
  VEL_RETURN(true);
}

bool Vel_SELECTActionRequest::process(Ora_Database& database, int maxRow) {
  VEL_FLOW_ENTRY("Vel_SELECTActionRequest::process");
  const char* action = actionText(getRequest());
  const size_t prefix = sizeof(kVelSELECTActionPrefix) - 1;
  const char* query = strncmp(action, kVelSELECTActionPrefix, prefix) == 0 ? action + prefix : "";
  if (*query == '\0') {
    VEL_ERROR("Error, invalid SQL for %s", action);
    VEL_RETURN(false);
  }
  VelString sql = velStripTrailingSemicolons(query);
  Ora_SimpleCommand command(sql.c_str(), maxRow);
  Ora_AutoStmtTable table;
  Ora_ErrorMsg error;
  bool ok = database.executeTableCmd(command, &table, error, static_cast<long>(getCreationTime()),
                                     getTimeout());
  if (!ok) {
    sendSingleLine(failureCode(error), getRequestID(), failureText(error));
    table.clearRows();
    VEL_RETURN(true);
  }
  const unsigned columns = table.getColumnCount();
  VEL_DETAIL("The column count is %d", static_cast<int>(columns));
  // Row lines in reverse fetch order, the column-name line last.
  std::vector<std::string> lines;
  const unsigned rows = table.getStoredRowCount();
  std::vector<const char*> values(columns > 0 ? columns : 1, nullptr);
  for (unsigned r = rows; r-- > 0;) {
    std::string line;
    if (columns > 0) table.getRow(r, values.data(), static_cast<int>(columns));
    for (unsigned c = 0; c < columns; ++c) {
      if (c > 0) line += " / ";
      if (values[c] != nullptr) line += values[c];
    }
    lines.push_back(line);
  }
  std::string header;
  for (unsigned c = 0; c < columns; ++c) {
    if (c > 0) header += " / ";
    const char* name = table.getColumnName(c);
    if (name != nullptr) header += name;
  }
  lines.push_back(header);
  std::vector<const char*> outputs;
  std::vector<const char*> instances(lines.size(), "");
  for (const std::string& l : lines) outputs.push_back(l.c_str());
  {
    VelMutexHandler lock(gMutexSend);
    cp_SendTaskRCWithOutput(0, getRequestID(), instances.data(), static_cast<int>(lines.size()),
                            outputs.data(), static_cast<int>(outputs.size()));
  }
  table.clearRows();
  VEL_RETURN(true);
}

void velRunTakeAction(Vel_AgentFacRequest& request, Ora_Database& database, int selectMaxRow) {
  const char* action = request.getAction();
  if (action == nullptr) action = "";
  if (strncmp(action, kVelPLSQLActionPrefix, sizeof(kVelPLSQLActionPrefix) - 1) == 0) {
    Vel_PLSQLActionRequest plsql(request);
    plsql.process(database);
  } else if (strncmp(action, kVelSELECTActionPrefix, sizeof(kVelSELECTActionPrefix) - 1) == 0) {
    Vel_SELECTActionRequest select(request);
    select.process(database, selectMaxRow);
  } else {
    VEL_ERROR("Error, this action %s can't be processed", action);
  }
}

namespace {

// Runs one queued take action on a session of its own.
void runActionOnNewSession(ProcessActionParm& parm, Vel_AgentFacRequest& request, int maxRow) {
  const char* subnode = request.getSubNode();
  if (subnode == nullptr) subnode = "";
  VelConfigInstance instance;
  if (parm.m_pConfig == nullptr || !parm.m_pConfig->getConfigInfo(subnode, instance)) {
    char text[1100];
    snprintf(text, sizeof(text), "Can not get the subnode item for %.1023s", subnode);
    VEL_ERROR("%s", text);
    sendSingleLine(-2, request.getRequestID(), text);
    return;
  }
  Ora_Database database(parm.m_catalog, instance.m_connectString.c_str(), instance.m_userId.c_str(),
                        instance.m_password.c_str(), instance.m_connectMode.c_str(),
                        instance.m_instanceName.c_str(), subnode);
  velWipeString(instance.m_password);
  Ora_ErrorMsg error;
  if (!database.Connect(error, true)) {
    sendSingleLine(-2, request.getRequestID(), "Can not connect to the database");
    return;
  }
  velRunTakeAction(request, database, maxRow);
  // The session ends with database.
}

}  // namespace

void* processActionRequest(void* arg) {
  ProcessActionParm* parm = static_cast<ProcessActionParm*>(arg);
  if (parm == nullptr || parm->m_pRequestList == nullptr || parm->m_pShutdown == nullptr)
    return nullptr;
  VEL_DETAIL("Started Process Take Action thread %x",
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(pthread_self())));
  const int maxRow = vel_getEnvAsInt("VEL_SELECT_ACTION_MAXROW", VEL_SELECT_ACTION_DEFAULT_MAXROW);
  std::atomic<bool>& shutdown = *parm->m_pShutdown;
  while (!shutdown.load()) {
    // Waits on the queue's event rather than sleeping a whole second: an appended action wakes
    // the thread at once, and an idle queue is still looked at once a second.
    parm->m_pRequestList->getEvent().waitWithTimeout(1000);
    for (;;) {
      Vel_BaseRequest* queued = parm->m_pRequestList->remove();
      if (queued == nullptr) break;
      if (shutdown.load()) {
        delete queued;
        break;
      }
      if (queued->Type() != VEL_REQUEST_TYPE_AGENT) {
        VEL_ERROR("The request type %d is not a valid request type", queued->Type());
        delete queued;
        continue;
      }
      Vel_AgentFacRequest* request = static_cast<Vel_AgentFacRequest*>(queued);
      if (request->getReqType() == TASK_REQUEST) runActionOnNewSession(*parm, *request, maxRow);
      delete request;
    }
  }
  return nullptr;
}
