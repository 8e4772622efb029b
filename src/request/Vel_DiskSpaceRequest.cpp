#include "Vel_DiskSpaceRequest.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "MUT1.h"
#include "Ora_Command.h"
#include "Ora_Database.h"
#include "VelCachedInstanceList.h"
#include "VelUtil.h"
#include "cp_api.h"

VEL_TRACE_UNIT("Vel_DiskSpaceRequest");

namespace {

const char* const kLocationStatements[] = {"RDB_Disk_Space_Archive", "RDB_Disk_Space_DumpDest",
                                           "RDB_Disk_Space_DataFile", "RDB_Disk_Space_TempFile"};
const char kDetectionStatement[] = "RDB_Disk_Space_LocalDetection";
constexpr int kLocationRowLimit = 1000;
constexpr size_t kMaxPath = 1024;

const char* textOf(const char* s) { return s != nullptr ? s : ""; }

// Runs a statement of this request; false when it is missing (traced with missingTrace) or
// fails (raised as an Oracle event).
bool runStatement(Ora_Database& database, const char* sqlId, Ora_AutoStmtTable& table, time_t start,
                  int timeout, const char* missingTrace) {
  Ora_ErrorMsg error;
  switch (runCatalogStatement(database, sqlId, kLocationRowLimit, nullptr, &table, start, timeout,
                              error)) {
    case CatalogRun::kOk:
      return true;
    case CatalogRun::kMissing:
      VEL_ERROR(missingTrace, sqlId);
      return false;
    case CatalogRun::kFailed:
      break;
  }
  velPostQueryError(error, database, sqlId);
  return false;
}

}  // namespace

bool Vel_DiskSpaceRequest::measure(const char* path, char out[7][24]) {
  long long available = 0, total = 0, used = 0;
  if (path == nullptr || !vel_disksize(path, available, total, used)) return false;
  auto megabytes = [](long long bytes) { return bytes / 1024 * 100 / 1024; };
  // An empty file system (total 0) has no free share: 0 rather than a division by zero.
  int percent =
      total > 0
          ? static_cast<int>(10000.0 * static_cast<double>(available) / static_cast<double>(total))
          : 0;
  vel_lltoa(out[0], available);
  vel_lltoa(out[1], megabytes(available));
  vel_lltoa(out[2], total);
  vel_lltoa(out[3], megabytes(total));
  snprintf(out[4], 24, "%d", percent);
  vel_lltoa(out[5], used);
  vel_lltoa(out[6], megabytes(used));
  return true;
}

void Vel_DiskSpaceRequest::detectLocalInstanceId(Ora_Database& database,
                                                 Vel_DiskSpaceInstanceInfo& info) {
  VEL_FLOW_ENTRY("Vel_DiskSpaceRequest::detectLocalInstanceId");
  Ora_AutoStmtTable table;
  if (!runStatement(database, kDetectionStatement, table, m_creationTime, m_timeout,
                    "Error, can not get SQLText for:%s"))
    return;
  int columns = static_cast<int>(table.getColumnCount());
  if (columns == 0) {
    VEL_ERROR("Unable send result for 0 column data for %s subnode %s ", getRequestID(),
              getSubNode());
    return;
  }
  const char* row[kVelMaxColumns];
  for (unsigned r = 0; r < table.getStoredRowCount(); ++r) {
    struct stat st;
    if (columns < 3 || !table.getRow(r, row, columns) || row[0] == nullptr ||
        stat(row[0], &st) != 0)
      continue;
    info.m_localInstanceId.assign(textOf(row[1]));
    info.m_localInstanceName.assign(textOf(row[2]));
    VEL_DETAIL("Found local instance id %s name %s for connection %s ", textOf(row[1]),
               textOf(row[2]), getSubNode());
    return;
  }
  info.m_localInstanceId.assign("-1");
  info.m_localInstanceName.assign("N/A");
  VEL_DETAIL("No local instance found for connection %s ", getSubNode());
}

bool Vel_DiskSpaceRequest::appendRows(Ora_Database& database, const char* sqlId,
                                      const Vel_DiskSpaceInstanceInfo& info,
                                      const VelCachedInstanceList& instances) {
  VEL_FLOW_ENTRY("Vel_DiskSpaceRequest::appendRows");
  VEL_DETAIL("Query db instance %s with maxrow %d sql: '%s'", database.getInstanceName(),
             kLocationRowLimit, sqlId);
  Ora_AutoStmtTable table;
  if (!runStatement(database, sqlId, table, m_creationTime, m_timeout,
                    "Error, can not get SQLText for:%s"))
    VEL_RETURN(false);
  int columns = static_cast<int>(table.getColumnCount());
  if (columns == 0) {
    VEL_ERROR("Unable send result for 0 column data for %s subnode %s ", getRequestID(),
              getSubNode());
    VEL_RETURN(false);
  }
  const char* row[kVelMaxColumns];
  for (unsigned r = 0; r < table.getStoredRowCount(); ++r) {
    if (!table.getRow(r, row, columns)) continue;
    auto column = [&](int i) { return i < columns ? textOf(row[i]) : ""; };
    char instanceId[64];
    vel_strncpy(instanceId, column(0), sizeof instanceId);
    const char* id = velTrim(instanceId);
    const char* ownerType = column(1);
    const char* owner = column(2);
    const char* path = column(3);
    VEL_DETAIL("InstID is:%s, OwnerType is:%s, Owner is:%s, path is:%s", id, ownerType, owner,
               path);
    char figures[7][24];
    for (auto& f : figures) snprintf(f, sizeof f, "-1");
    const VelCachedInstance* instance = instances.getInstancebyInstID(id);
    const char* host = instance ? instance->getHostName() : instances.getConnectedHostName();
    bool measured = false;
    if (*id != '\0' && strcmp(id, info.m_localInstanceId.c_str()) != 0) {
      VEL_DETAIL("Connection %s ignore remote instance %s id %s", getSubNode(),
                 instance ? instance->getInstName() : "", id);
    } else if (path[0] != '+' && path[0] != '\0') {
      measured = measure(path, figures);
      if (!measured && strcmp(ownerType, "ARCHIVE_DEST") == 0) {
        VEL_DETAIL(
            "Failed to get space information for archive destination %s. The current path will "
            "be shrunk one level.",
            path);
        char shrunk[kMaxPath];
        vel_strncpy(shrunk, path, sizeof shrunk);
        char* slash = strrchr(shrunk, '/');
        if (slash == nullptr) {
          VEL_DETAIL("Failed to find shrinking new direcotry for %s.", path);
        } else {
          // "/arch" shrinks to "/", not to an empty path.
          slash[slash == shrunk ? 1 : 0] = '\0';
          VEL_DETAIL("The shrinking new path is %s.", shrunk);
          measured = measure(shrunk, figures);
        }
      }
      if (measured)
        VEL_DETAIL(
            "Connection %s path %s found free %s freemb %s total %s totalmb %s freepct %s, used "
            "%s, usedMB %s",
            getSubNode(), path, figures[0], figures[1], figures[2], figures[3], figures[4],
            figures[5], figures[6]);
    }
    const char* values[kValues] = {id,         measured ? "YES" : "NO",
                                   ownerType,  owner,
                                   path,       figures[0],
                                   figures[1], figures[2],
                                   figures[3], figures[4],
                                   figures[5], figures[6],
                                   host,       instances.getDatabaseUniqueName()};
    if (!m_rows.append(values, kValues)) VEL_ERROR("Error at set value for %s", path);
  }
  VEL_RETURN(true);
}

void Vel_DiskSpaceRequest::process(Ora_Database& database, Vel_DiskSpaceInstanceInfo& info,
                                   const VelCachedInstanceList& instances) {
  VEL_FLOW_ENTRY("Vel_DiskSpaceRequest::process");
  if (info.m_localInstanceId.length() == 0) detectLocalInstanceId(database, info);
  for (const char* sqlId : kLocationStatements) appendRows(database, sqlId, info, instances);
}

void Vel_DiskSpaceRequest::send(VelMutex& sendMutex) {
  VEL_FLOW_ENTRY("Vel_DiskSpaceRequest::send");
  if (m_pRequest == nullptr) return;
  VelMutexHandler lock(sendMutex);
  if (m_rows.size() == 0)
    VEL_ERROR("Unable send result for 0 column data for %s subnode %s ", getRequestID(),
              getSubNode());
  const char* values[kValues];
  for (unsigned r = 0; r < m_rows.size(); ++r)
    if (m_rows.get(r, values, kValues)) cp_SetAttributeValues(values, kValues, getRequestID());
  cp_SendData(getRequestID());
}
