#include "VelCachedInstanceList.h"

#include <cstring>

#include "MUT1.h"
#include "Ora_Command.h"
#include "Ora_Database.h"
#include "Ora_StmtTable.h"
#include "Vel_Request.h"
#include "cp_api.h"

VEL_TRACE_UNIT("VelCachedInstanceList");

namespace {

// Time-out in seconds of the statements of the instance cache.
constexpr int kInstanceStatementTimeout = 60;

// Runs a catalog statement of the cache into table; false (traced) when it is missing or fails.
bool runStatement(Ora_Database& database, const char* sqlId, Ora_AutoStmtTable& table) {
  Ora_ErrorMsg error;
  switch (runCatalogStatement(database, sqlId, Ora_SimpleCommand::kDefaultMaxRowNum, nullptr,
                              &table, time(nullptr), kInstanceStatementTimeout, error)) {
    case CatalogRun::kOk:
      return true;
    case CatalogRun::kMissing:
      VEL_ERROR("Error, can not get the SQL for:%s", sqlId);
      return false;
    case CatalogRun::kFailed:
      break;
  }
  VEL_ERROR("Error at executing %s: %d %s", sqlId, error.getErrorCode(), error.getMessage());
  return false;
}

}  // namespace

// ---- VelCachedInstance ---------------------------------------------------------------------

void VelCachedInstance::set(const char* const* row, unsigned count) {
  if (row == nullptr) return;
  for (unsigned i = 0; i < static_cast<unsigned>(kFieldCount); ++i)
    m_fields[i].assign(i < count ? row[i] : nullptr);
}

const char* VelCachedInstance::getField(int position) const {
  if (position < 1 || position > kFieldCount) return "";
  return m_fields[position - 1].c_str();
}

void VelCachedInstance::setField(int position, const char* value) {
  if (position < 1 || position > kFieldCount) return;
  m_fields[position - 1].assign(value);
}

bool VelCachedInstance::isOffline() const {
  return strcmp(getStatus(), VelCachedInstanceList::kOffline) == 0;
}

// ---- VelCachedInstanceList -----------------------------------------------------------------

void VelCachedInstanceList::init(Ora_Database& database) {
  VEL_FLOW_ENTRY("VelCachedInstanceList::init");
  Ora_AutoStmtTable table;
  if (runStatement(database, "All_Instance_Name", table)) {
    int columns = static_cast<int>(table.getColumnCount());
    const char* row[kVelMaxColumns] = {nullptr};
    for (unsigned r = 0; r < table.getStoredRowCount(); ++r) {
      if (columns < 2 || !table.getRow(r, row, columns)) continue;
      // The name may already be known when init runs again on a list that is not empty.
      if (getInstancebyInstID(row[0]) != nullptr) continue;
      VelCachedInstance* instance = new VelCachedInstance;
      if (instance == nullptr) {
        VEL_ERROR("Error at memory allocation");
        break;
      }
      instance->setField(VelCachedInstance::kInstID, row[0]);
      instance->setField(VelCachedInstance::kInstName, row[1]);
      VEL_DETAIL("InstNum is:%s, InstName is:%s", row[0] ? row[0] : "", row[1] ? row[1] : "");
      if (!m_instances.push_back(instance)) delete instance;
    }
  }
  VEL_DETAIL("Current Instance Number is:%d", static_cast<int>(m_instances.getCount()));
}

void VelCachedInstanceList::update(Ora_Database& database) {
  VEL_FLOW_ENTRY("VelCachedInstanceList::update");
  if (m_uniqueName.length() == 0) m_uniqueName.assign(database.getDatabaseInfo().m_name.c_str());
  updateGeneralInfo(database);
  updateInstanceInfo(database);
  if (VEL_TRACE_ON(MUT1_DETAIL)) dumpInfo();
}

void VelCachedInstanceList::updateGeneralInfo(Ora_Database& database) {
  VEL_FLOW_ENTRY("VelCachedInstanceList::updateGeneralInfo");
  Ora_AutoStmtTable table;
  if (!runStatement(database, "Current_Instance_Info", table)) return;
  int columns = static_cast<int>(table.getColumnCount());
  const char* row[kVelMaxColumns] = {nullptr};
  if (table.getStoredRowCount() == 0 || !table.getRow(0, row, columns)) return;
  if (columns > 0 && row[0] != nullptr) m_instanceName.assign(row[0]);
  if (columns > 1 && row[1] != nullptr) m_hostName.assign(row[1]);
}

void VelCachedInstanceList::updateInstanceInfo(Ora_Database& database) {
  VEL_FLOW_ENTRY("VelCachedInstanceList::updateInstanceInfo");
  for (auto it = m_instances.begin(); it != m_instances.end(); ++it)
    (*it)->setField(VelCachedInstance::kStatus, kOffline);
  Ora_AutoStmtTable table;
  if (!runStatement(database, "RDB_Instance_Info", table)) return;
  int columns = static_cast<int>(table.getColumnCount());
  const char* row[kVelMaxColumns] = {nullptr};
  for (unsigned r = 0; r < table.getStoredRowCount(); ++r) {
    if (columns < 1 || !table.getRow(r, row, columns)) continue;
    VelCachedInstance* instance = const_cast<VelCachedInstance*>(getInstancebyInstID(row[0]));
    if (instance != nullptr) {
      instance->set(row, static_cast<unsigned>(columns));
      continue;
    }
    instance = new VelCachedInstance;
    if (instance == nullptr) {
      VEL_ERROR("Error at memory allocation");
      return;
    }
    instance->set(row, static_cast<unsigned>(columns));
    if (!m_instances.push_back(instance)) delete instance;
  }
}

const VelCachedInstance* VelCachedInstanceList::getInstancebyInstID(const char* id) const {
  if (id == nullptr || *id == '\0') return nullptr;
  for (auto it = m_instances.begin(); it != m_instances.end(); ++it)
    if (strcmp((*it)->getInstID(), id) == 0) return *it;
  return nullptr;
}

const VelCachedInstance* VelCachedInstanceList::getInstancebyInstName(const char* name) const {
  if (name == nullptr || *name == '\0') return nullptr;
  for (auto it = m_instances.begin(); it != m_instances.end(); ++it)
    if (strcmp((*it)->getInstName(), name) == 0) return *it;
  return nullptr;
}

namespace {

// Answers requestId under sendMutex with one row of kValues values per cached instance: the
// values fill puts in (the others empty), the database unique name last.
template <int kValues, typename Instances, typename Fill>
void sendInstanceRows(const Instances& instances, const char* uniqueName, VelMutex& sendMutex,
                      const char* requestId, Fill fill) {
  VelMutexHandler lock(sendMutex);
  for (auto it = instances.begin(); it != instances.end(); ++it) {
    const VelCachedInstance* instance = *it;
    VEL_DETAIL("Processing instance %s", instance->getInstName());
    const char* values[kValues];
    for (int i = 0; i < kValues; ++i) values[i] = "";
    fill(*instance, values);
    values[kValues - 1] = uniqueName;
    cp_SetAttributeValues(values, kValues, requestId);
  }
  cp_SendData(requestId);
}

}  // namespace

void VelCachedInstanceList::ProcessReq_RDB_Instance_Info(Ora_Database&, VelMutex& sendMutex,
                                                         const char* requestId) {
  VEL_FLOW_ENTRY("VelCachedInstanceList::ProcessReq_RDB_Instance_Info");
  if (requestId == nullptr) {
    VEL_ERROR("Error, Request ID is NULL");
    return;
  }
  sendInstanceRows<18>(m_instances, m_uniqueName.c_str(), sendMutex, requestId,
                       [](const VelCachedInstance& instance, const char** values) {
                         int last = instance.isOffline() ? VelCachedInstance::kStatus
                                                         : VelCachedInstance::kFieldCount;
                         for (int f = 1; f <= last; ++f) values[f - 1] = instance.getField(f);
                       });
}

void VelCachedInstanceList::ProcessReq_ASM_Instance(Ora_Database& database, VelMutex& sendMutex,
                                                    const char* requestId) {
  VEL_FLOW_ENTRY("VelCachedInstanceList::ProcessReq_ASM_Instance");
  updateInstanceInfo(database);
  if (requestId == nullptr) {
    VEL_ERROR("Error, Request ID is NULL");
    return;
  }
  sendInstanceRows<17>(m_instances, m_uniqueName.c_str(), sendMutex, requestId,
                       [](const VelCachedInstance& instance, const char** values) {
                         if (instance.isOffline()) {
                           for (int f = 1; f <= VelCachedInstance::kStatus; ++f)
                             values[f - 1] = instance.getField(f);
                           return;
                         }
                         // Fields 1-10 are values 1-10, field 11 is not sent, fields 12-17 are
                         // values 11-16.
                         for (int f = 1; f <= 10; ++f) values[f - 1] = instance.getField(f);
                         for (int f = 12; f <= VelCachedInstance::kFieldCount; ++f)
                           values[f - 2] = instance.getField(f);
                       });
}

void VelCachedInstanceList::dumpInfo() const {
  VEL_DETAIL("Current connected instance name is:%s, hostname is:%s, database name is:%s",
             m_instanceName.c_str(), m_hostName.c_str(), m_uniqueName.c_str());
  for (auto it = m_instances.begin(); it != m_instances.end(); ++it)
    VEL_DETAIL("Instance ID:%s, Instance Name:%s, Hostname:%s", (*it)->getInstID(),
               (*it)->getInstName(), (*it)->getHostName());
}
