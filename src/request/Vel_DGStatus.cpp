#include "Vel_DGStatus.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "MUT1.h"
#include "Ora_Database.h"
#include "SendMutex.h"
#include "VelAttrGroupNames.h"
#include "VelCachedInstanceList.h"
#include "VelUtil.h"
#include "Vel_PostEvent.h"
#include "cp_api.h"

VEL_TRACE_UNIT("Vel_DGStatus");

namespace {
constexpr int kEventValues = 11;
constexpr int kPassedColumns = 8;  // values 1-8 are the row's columns
constexpr int kMessageNumColumn = 3;
}  // namespace

Ora_DGStatusCmd::Ora_DGStatusCmd(const char* sql, const char* latestMessageNum, int maxRowNum)
    : Ora_AutoCommand(sql) {
  vel_strncpy(m_latest, latestMessageNum != nullptr ? latestMessageNum : "0", sizeof m_latest);
  snprintf(m_maxRowNumText, sizeof m_maxRowNumText, "%d", maxRowNum);
}

int Ora_DGStatusCmd::onBindParameters(OCIStmt* statement, OCIError* errorHandle) {
  int rc = BindParameter(statement, errorHandle, ":maxrownum", m_maxRowNumText,
                         sizeof m_maxRowNumText, SQLT_STR);
  if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO) {
    VEL_ERROR("Bind max row num num failed.");
    return rc;
  }
  rc = BindParameter(statement, errorHandle, ":vellastmessagenum", m_latest, sizeof m_latest,
                     SQLT_STR);
  if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO) VEL_ERROR("Bind last message num failed.");
  return rc;
}

bool updateDGStatus(const char* subnode, Ora_Database& database, int timeout,
                    VelString& latestMessageNum, int maxRowNum,
                    const VelCachedInstanceList& instances) {
  VEL_FLOW_ENTRY("updateDGStatus");
  if (subnode == nullptr) subnode = "";
  VEL_DETAIL("DG_Status subnode %s latest message num before update: %s", subnode,
             latestMessageNum.c_str());
  int rows = maxRowNum;
  const char* sql = database.getSQL(DG_Status, rows);
  if (sql == nullptr) {
    VEL_ERROR("Error, can not load the SQLID %s from sql xml file", DG_Status);
    VEL_RETURN(false);
  }
  Ora_DGStatusCmd command(sql, latestMessageNum.c_str(), rows);
  Ora_AutoStmtTable table;
  Ora_ErrorMsg error;
  if (!database.executeTableCmd(command, &table, error, static_cast<long>(time(nullptr)),
                                timeout)) {
    if (error.getErrorCode() != 0 || error.getStatus() != 0) {
      char detail[256];
      snprintf(detail, sizeof detail, "Query attribute group '%s'", DG_Status);
      Vel_PostEvent::postOraEvent(error, database.getInstanceName(), detail, nullptr, nullptr);
    }
    VEL_RETURN(false);
  }
  if (!database.isConnected()) VEL_RETURN(false);
  VEL_DETAIL("DG_Status subnode %s returning %d row(s).", subnode,
             static_cast<int>(table.getStoredRowCount()));
  VelMutexHandler lock(gMutexSend);
  int columns = static_cast<int>(table.getColumnCount());
  if (columns == 0) {
    VEL_ERROR("Unable send result for 0 column data for subnode %s ", subnode);
    VEL_RETURN(true);
  }
  char candidate[Ora_DGStatusCmd::kNumberSize] = {0};
  const char* row[kVelMaxColumns];
  for (unsigned r = 0; r < table.getStoredRowCount(); ++r) {
    if (!table.getRow(r, row, columns)) continue;
    const char* values[kEventValues];
    for (int i = 0; i < kPassedColumns; ++i) values[i] = i < columns && row[i] ? row[i] : "";
    values[8] = instances.getConnectedInstanceName();
    values[9] = instances.getConnectedHostName();
    values[10] = instances.getDatabaseUniqueName();
    // A row the link did not take is not counted as reported: the next check sends it again.
    int rc = cp_SendSubnodeEventData(values, kEventValues, DG_Status, subnode);
    if (rc != 0) {
      VEL_ERROR("DG_Status subnode %s: sending a status message failed: %d", subnode, rc);
      break;
    }
    if (columns > kMessageNumColumn && row[kMessageNumColumn] != nullptr &&
        *row[kMessageNumColumn] != '\0')
      vel_strncpy(candidate, row[kMessageNumColumn], sizeof candidate);
  }
  if (candidate[0] != '\0') {
    latestMessageNum.assign(candidate);
    VEL_DETAIL("DGStatus subnode %s update latest message num: %s", subnode, candidate);
  }
  VEL_RETURN(true);
}
