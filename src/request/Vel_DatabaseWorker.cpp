#include "Vel_DatabaseWorker.h"

#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "MUT1.h"
#include "Ora_Command.h"
#include "Ora_Database.h"
#include "PEB1.h"
#include "SendMutex.h"
#include "VelAttrGroupNames.h"
#include "VelCachedInstanceList.h"
#include "VelConfig.h"
#include "VelCustomizedSQL.h"
#include "VelEncoding.h"
#include "VelUtil.h"
#include "Vel_CustomSQLRequest.h"
#include "Vel_DGStatus.h"
#include "Vel_DiskSpaceRequest.h"
#include "Vel_ListRequest.h"
#include "Vel_PostEvent.h"
#include "Vel_Request.h"
#include "Vel_SQLTextRequest.h"
#include "Vel_TopRequest.h"

VEL_TRACE_UNIT("Vel_DatabaseWorker");

namespace {

std::atomic<VelWorkerActionHandler> g_actionHandler{nullptr};

// Time-out in seconds of the statement that checks a live session.
constexpr int kProbeTimeout = 10;

// The ping interval: VEL_PING_INTERVAL seconds, 60 when unset, 0 or negative.
int readPingInterval() {
  int value = vel_getEnvAsInt("VEL_PING_INTERVAL", 60);
  return value > 0 ? value : 60;
}

// CDP_COLLECTION_TIMEOUT minus 3 seconds, at least 5.
int readCollectionTimeout() {
  int value = vel_getEnvAsInt("CDP_COLLECTION_TIMEOUT", 60) - 3;
  return value < 5 ? 5 : value;
}

// The send of an empty task result: what a worker answers a take action it cannot run.
void refuseAction(Vel_AgentFacRequest& request) {
  char text[512];
  snprintf(text, sizeof(text), "Error, this action %s can't be processed", request.getAction());
  VEL_ERROR("%s", text);
  const char* instances[] = {""};
  const char* outputs[] = {text};
  VelMutexHandler lock(gMutexSend);
  cp_SendTaskRCWithOutput(-1, request.getRequestID(), instances, 1, outputs, 1);
}

// Everything one worker owns while it runs.
struct WorkerState {
  ProcessRequestParm* parm;
  Ora_Database* database;
  VelCachedInstanceList instances;
  IntervalSQLList intervals;
  int shortVersion = 0;
  bool isCluster = false;
  VelString databaseType;
  int pingInterval = 60;
  int collectionTimeout = 57;
  int selectMaxRow = 10;
  int defaultMaxRow = 1000;
  time_t lastPing = 0;
  time_t now = 0;  // the current turn's time
  bool hostKnown = false;
  VelString hostName;  // with its domain
  VelString hostAddress;
  Vel_CustomizedSQLList* customSQL = nullptr;  // owned by the thread's frame
  Vel_DiskSpaceInstanceInfo diskSpace;
  VelString dgLatestMessageNum{"0"};  // the latest Data Guard message reported
};

void setStatusFromSession(WorkerState& w) {
  velSetSubnodeStatus(
      w.parm->m_pConfig, w.parm->m_subnode.c_str(),
      w.database->isConnected() ? VEL_CONN_STATUS_ACTIVE : VEL_CONN_STATUS_INACTIVE);
}

void keepAlive(WorkerState& w) {
  VEL_DETAIL("Entring the interval processing");
  const char* subnode = w.parm->m_subnode.c_str();
  testDatabaseConnection(*w.database, w.parm->m_pConfig, w.parm->m_catalog, w.shortVersion, subnode,
                         w.isCluster, w.databaseType);
  setStatusFromSession(w);
  if (w.database->isConnected())
    buildIntervalSQLInfo(w.intervals, w.parm->m_catalog, subnode, w.databaseType.c_str());
  VEL_DETAIL("Database type is:%s", w.databaseType.c_str());
  if (velstricmp(w.databaseType.c_str(), "DG") == 0 && w.database->isConnected())
    updateDGStatus(subnode, *w.database, w.collectionTimeout, w.dgLatestMessageNum, w.defaultMaxRow,
                   w.instances);
  w.instances.update(*w.database);
  w.lastPing = time(nullptr);
  w.customSQL->load(0);
}

// Runs an interval statement and keeps its result as the entry's cached table.
void runIntervalSQL(WorkerState& w, const char* sqlId) {
  VEL_FLOW_ENTRY("runIntervalSQL");
  const OraXMLSQLInfo* info = w.parm->m_catalog.getSQLInfo(sqlId);
  if (info == nullptr || info->getSQL(w.shortVersion, w.isCluster) == nullptr) {
    VEL_ERROR("Error, can not load the SQLID %s from sql xml file", sqlId);
    return;
  }
  int timeout = info->getTimeout() > 0 ? info->getTimeout() : w.collectionTimeout;
  VEL_DETAIL("Interval SQL %s timeout is %d", sqlId, timeout);
  Ora_AutoStmtTable* table = new Ora_AutoStmtTable;
  if (table == nullptr) {
    VEL_ERROR("Error at memory allocation");
    return;
  }
  Ora_ErrorMsg error;
  CatalogRun run = runCatalogStatement(*w.database, sqlId, w.defaultMaxRow, nullptr, table, w.now,
                                       timeout, error);
  if (run != CatalogRun::kOk) {
    // A session that is not active leaves the record empty: nothing to raise.
    if (error.getErrorCode() != 0 || error.getStatus() != 0)
      Vel_PostEvent::postOraEvent(error, w.database->getInstanceName(), sqlId, nullptr, nullptr);
    delete table;
    if (run == CatalogRun::kMissing) {
      VEL_ERROR("Error, can not load the SQLID %s from sql xml file", sqlId);
    } else {
      VEL_ERROR("Execute Interval SQL %s failed %d %s", sqlId, error.getErrorCode(),
                error.getMessage());
    }
    return;
  }
  refreshIntervalSQLData(w.intervals, sqlId, table);
}

// A catalog request, answered from the interval cache when it holds a result.
void processCatalogRequest(WorkerState& w, Vel_AgentFacRequest& request) {
  Vel_SimpleRequest data(request);
  IntervalSQLInfo* interval = searchIntervalSQLData(w.intervals, data.getSQLID());
  if (interval != nullptr && interval->getCachedTable() != nullptr) {
    const Ora_AutoStmtTable* table = interval->getCachedTable();
    VEL_DETAIL(
        "Got cached data for interval SQL %s, last query time %d, column count %d row size %d",
        interval->getSQLID(), static_cast<int>(interval->getLastQueryTime()),
        static_cast<int>(table->getColumnCount()), static_cast<int>(table->getStoredRowCount()));
    // The cached result names the entry's instance column; this request did not look it up.
    const OraXMLSQLInfo* info = w.parm->m_catalog.getSQLInfo(data.getSQLID());
    if (info != nullptr) data.setInstanceIDColumn(info->getInstanceIDIndex());
    data.send(gMutexSend, table, w.parm->m_attrGroups, w.instances);
    return;
  }
  Ora_AutoStmtTable table;
  data.process(*w.database, &table, w.defaultMaxRow);
  data.send(gMutexSend, &table, w.parm->m_attrGroups, w.instances);
}

void processDiscoveryRequest(WorkerState& w, Vel_AgentFacRequest& request) {
  if (!w.hostKnown) {
    VelString local;
    if (velGetLocalHostName(local)) velGetHostNameAndIP(local.c_str(), w.hostName, w.hostAddress);
    if (w.hostName.length() == 0) w.hostName.assign(local.c_str());
    w.hostKnown = true;
  }
  Vel_DLABaseParameterRequest data(request);
  data.process(*w.database, gMutexSend, w.instances, w.hostName.c_str(), w.hostAddress.c_str());
}

void processAgentRequest(WorkerState& w, Vel_AgentFacRequest& request) {
  if (VEL_TRACE_ON(MUT1_DUMP)) request.printRequestInfo();
  int type = request.getReqType();
  if (type == DATA_REQUEST) {
    const void* handle = request.getHandle();
    if (handle == RDB_Customized_SQL_Summary || handle == DG_Customized_SQL_Summary) {
      // The file is checked (one stat) before each customized request as well as at every
      // keep-alive check, so an edit shows in the next answer.
      w.customSQL->load(0);
      Vel_CustomSQLSummaryRequest data(request);
      data.send(gMutexSend, *w.customSQL, w.instances);
    } else if (handle == RDB_Customized_SQL_Detail || handle == DG_Customized_SQL_Detail) {
      w.customSQL->load(0);
      Vel_CustomSQLDetailRequest data(request);
      data.process(*w.database, *w.customSQL, gMutexSend, w.instances);
    } else if ((handle == RDB_Parameter || handle == ASM_Parameter) &&
               Vel_DLABaseParameterRequest::isDLAParameterRequest(request.getFilterInfo())) {
      processDiscoveryRequest(w, request);
    } else if (handle == RDB_Top_SQL) {
      Vel_TopRequest data(request);
      data.process(*w.database);
      data.send(gMutexSend, w.instances);
    } else if (handle == RDB_SQLTEXT) {
      Vel_SQLTextRequest data(request);
      data.process(*w.database);
      data.send(gMutexSend);
    } else if (handle == RDB_Disk_Space || handle == DG_Disk_Space) {
      Vel_DiskSpaceRequest data(request);
      data.process(*w.database, w.diskSpace, w.instances);
      data.send(gMutexSend);
    } else if (handle == ASM_Instance) {
      w.instances.ProcessReq_ASM_Instance(*w.database, gMutexSend, request.getRequestID());
    } else if (handle == RDB_Instance_Info) {
      w.instances.ProcessReq_RDB_Instance_Info(*w.database, gMutexSend, request.getRequestID());
    } else {
      processCatalogRequest(w, request);
    }
    return;
  }
  if (type == TASK_REQUEST) {
    const char* action = request.getAction();
    if (strncmp(action, "VELPLSQL:", 9) != 0 && strncmp(action, "VELSELECT:", 10) != 0) {
      VEL_ERROR("Error, this action %s can't be processed", action);
      return;
    }
    VelWorkerActionHandler handler = g_actionHandler.load();
    if (handler != nullptr) {
      handler(request, *w.database, w.selectMaxRow);
    } else {
      refuseAction(request);
    }
  }
  // Any other request type is dropped without an answer.
}

// Handles one queued request; owns it unless it is a Vel_SQLRequest (its creator owns it).
void handleRequest(WorkerState& w, Vel_BaseRequest* request) {
  switch (request->Type()) {
    case VEL_REQUEST_TYPE_INTERVAL_SQL:
      runIntervalSQL(w, static_cast<Vel_IntervalSQLRequest*>(request)->getSQLID());
      break;
    case VEL_REQUEST_TYPE_SQL: {
      Vel_SQLRequest* sql = static_cast<Vel_SQLRequest*>(request);
      sql->process(*w.database, w.collectionTimeout);
      sql->markComplete();
      return;
    }
    case VEL_REQUEST_TYPE_AGENT:
      processAgentRequest(w, *static_cast<Vel_AgentFacRequest*>(request));
      break;
    default:
      VEL_ERROR("Can't process the request type %d", request->Type());
      break;
  }
  delete request;
}

}  // namespace

// ---- IntervalSQLInfo -----------------------------------------------------------------------

IntervalSQLInfo::IntervalSQLInfo(const char* sqlId, int interval)
    : m_sqlId(sqlId), m_interval(interval), m_nextRunTime(time(nullptr)) {}

IntervalSQLInfo::~IntervalSQLInfo() { delete m_pCachedTable; }

void IntervalSQLInfo::setCachedTable(Ora_AutoStmtTable* table) {
  if (table == m_pCachedTable) return;
  delete m_pCachedTable;
  m_pCachedTable = table;
}

void IntervalSQLInfo::buildNextRunTime(time_t now) {
  m_nextRunTime = now + m_interval;
  m_lastQueryTime = now;
}

// ---- Interval list -------------------------------------------------------------------------

void buildIntervalSQLInfo(IntervalSQLList& list, const OraXMLSQLData& catalog, const char* subnode,
                          const char* databaseType) {
  VEL_FLOW_ENTRY("buildIntervalSQLInfo");
  if (!list.empty()) return;
  if (databaseType == nullptr || *databaseType == '\0') {
    VEL_DETAIL(
        "The database connection for subnode %s is not established, database type unknown yet.",
        subnode ? subnode : "");
    return;
  }
  for (const OraXMLSQLInfo& info : catalog.getEntries()) {
    if (info.getInterval() == 0 || u_stricmp(info.getType(), databaseType) != 0) continue;
    IntervalSQLInfo* entry = new IntervalSQLInfo(info.getId(), info.getInterval());
    if (entry == nullptr) {
      VEL_ERROR("Error at memory allocation");
      return;
    }
    if (!list.push_back(entry)) {
      delete entry;
      continue;
    }
    VEL_DETAIL("Interval SQL ID %s interval %d for %s type %s", info.getId(), info.getInterval(),
               subnode ? subnode : "", databaseType);
  }
}

void enqueueIntervalSQLRequest(const char* subnode, IntervalSQLList& list, Vel_ListRequest* queue) {
  VEL_FLOW_ENTRY("enqueueIntervalSQLRequest");
  if (queue == nullptr) return;
  time_t now = time(nullptr);
  for (auto it = list.begin(); it != list.end(); ++it) {
    IntervalSQLInfo* entry = *it;
    if (!entry->isPending() && now < entry->getNextRunTime()) continue;
    Vel_IntervalSQLRequest* request = new Vel_IntervalSQLRequest(entry->getSQLID());
    if (request == nullptr) {
      VEL_ERROR("Error at memory allocation");
      return;
    }
    if (queue->appendRequest(request)) {
      entry->setPending(true);
      VEL_DETAIL("Enqueue data request for interval SQL ID %s", entry->getSQLID());
    } else {
      delete request;
    }
  }
  (void)subnode;
}

void refreshIntervalSQLData(IntervalSQLList& list, const char* sqlId, Ora_AutoStmtTable* table) {
  IntervalSQLInfo* entry = searchIntervalSQLData(list, sqlId);
  if (entry == nullptr) {
    delete table;
    return;
  }
  entry->setCachedTable(table);
  entry->buildNextRunTime(time(nullptr));
  entry->setPending(false);
}

IntervalSQLInfo* searchIntervalSQLData(IntervalSQLList& list, const char* sqlId) {
  if (sqlId == nullptr) return nullptr;
  for (auto it = list.begin(); it != list.end(); ++it)
    if (u_stricmp((*it)->getSQLID(), sqlId) == 0) return *it;
  return nullptr;
}

// ---- Connection ----------------------------------------------------------------------------

void velSetSubnodeStatus(VelConfig* config, const char* subnode, int status) {
  if (config == nullptr || subnode == nullptr) return;
  VelMutexHandler lock(config->getMutex());
  VelConfigItem* item = config->searchBySubNode(subnode);
  if (item != nullptr) item->setConnectStatus(status);
}

void testDatabaseConnection(Ora_Database& database, VelConfig* config, const OraXMLSQLData&,
                            int& shortVersion, const char* subnode, bool& isCluster,
                            VelString& databaseType) {
  VEL_FLOW_ENTRY("testDatabaseConnection");
  if (subnode == nullptr) return;
  const Ora_DatabaseInfo& info = database.getDatabaseInfo();
  if (database.isConnected()) {
    // A live session is kept rather than logged on again at every check (connecting over it
    // would also leave its handles behind): a light statement proves it is alive, and a broken
    // one is rebuilt by the statement's own error handling.
    Ora_AutoCommand probe("select 1 from dual");
    Ora_ErrorMsg probeError;
    if (database.executeTableCmd(probe, nullptr, probeError, static_cast<long>(time(nullptr)),
                                 kProbeTimeout)) {
      isCluster = info.m_isCluster;
      databaseType.assign(info.m_type.c_str());
      shortVersion = info.m_shortVersion;
      return;
    }
    VEL_ERROR("The database session of subnode %s failed its check: %d %s", subnode,
              probeError.getErrorCode(), probeError.getMessage());
  }
  if (!database.isConnected()) {
    Ora_ErrorMsg error;
    if (!database.Connect(error, true)) return;
  }
  if (VEL_TRACE_ON(MUT1_DETAIL)) info.dump();
  if (config != nullptr) {
    VelMutexHandler lock(config->getMutex());
    VelConfigItem* item = config->searchBySubNode(subnode);
    if (item != nullptr) item->updateDatabaseInfo(info);
  }
  isCluster = info.m_isCluster;
  databaseType.assign(info.m_type.c_str());
  shortVersion = info.m_shortVersion;
  database.checkPrivileges(true);
}

void velSetWorkerActionHandler(VelWorkerActionHandler handler) { g_actionHandler.store(handler); }

// ---- The worker ----------------------------------------------------------------------------

void* processDatabaseRequest(void* arg) {
  VEL_FLOW_ENTRY("processDatabaseRequest");
  ProcessRequestParm* parm = static_cast<ProcessRequestParm*>(arg);
  if (parm == nullptr || parm->m_pShutdown == nullptr || parm->m_pRequestList == nullptr)
    return nullptr;
  {
    size_t stackSize = 0;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
      pthread_attr_getstacksize(&attr, &stackSize);
      pthread_attr_destroy(&attr);
    }
    VEL_DETAIL("current stack size is:%d", static_cast<int>(stackSize));
    VEL_DETAIL("Started processDatabaseRequest thread %x",
               static_cast<unsigned>(reinterpret_cast<uintptr_t>(pthread_self())));
  }
  const char* subnode = parm->m_subnode.c_str();
  WorkerState w;
  w.parm = parm;
  w.pingInterval = readPingInterval();

  VelConfigInstance instance;
  if (parm->m_pConfig == nullptr || !parm->m_pConfig->getConfigInfo(subnode, instance)) {
    VEL_ERROR("Can not get the subnode information");
    return nullptr;
  }
  Ora_Database database(parm->m_catalog, instance.m_connectString.c_str(),
                        instance.m_userId.c_str(), instance.m_password.c_str(),
                        instance.m_connectMode.c_str(), instance.m_instanceName.c_str(), subnode);
  velWipeString(instance.m_password);
  w.database = &database;
  VEL_DETAIL("Processing database request for configured instance %s, subnode is %s",
             instance.m_instanceName.c_str(), subnode);

  testDatabaseConnection(database, parm->m_pConfig, parm->m_catalog, w.shortVersion, subnode,
                         w.isCluster, w.databaseType);
  w.instances.init(database);
  w.instances.update(database);
  setStatusFromSession(w);
  buildIntervalSQLInfo(w.intervals, parm->m_catalog, subnode, w.databaseType.c_str());
  w.lastPing = time(nullptr);
  w.collectionTimeout = readCollectionTimeout();
  w.selectMaxRow = vel_getEnvAsInt("VEL_SELECT_ACTION_MAXROW", 10);
  w.defaultMaxRow = vel_getEnvAsInt("VEL_DEFAULT_MAXROWNUM", 1000);
  Vel_CustomizedSQLList customSQL(PEB1_GetEnv("VEL_CUSTOMIZED_SQL", nullptr));
  w.customSQL = &customSQL;
  customSQL.load(0);

  Vel_ListRequest* queue = parm->m_pRequestList;
  std::atomic<bool>& shutdown = *parm->m_pShutdown;
  while (!shutdown.load()) {
    queue->getEvent().waitWithTimeout(1000);
    if (shutdown.load()) break;
    if (time(nullptr) - w.lastPing > w.pingInterval) keepAlive(w);
    if (database.isConnected() && !w.intervals.empty())
      enqueueIntervalSQLRequest(subnode, w.intervals, queue);
    w.now = time(nullptr);
    while (!shutdown.load()) {
      Vel_BaseRequest* request = queue->remove();
      if (request == nullptr) break;
      handleRequest(w, request);
      if (!database.isConnected())
        velSetSubnodeStatus(parm->m_pConfig, subnode, VEL_CONN_STATUS_INACTIVE);
    }
  }
  VEL_DETAIL("Stopping processDatabaseRequest thread for subnode %s", subnode);
  return nullptr;
}
