#include "ProcessRequest.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "MUT1.h"
#include "OraNetCheck.h"
#include "PEB1.h"
#include "SendMutex.h"
#include "VelAttrGroupNames.h"
#include "VelConfig.h"
#include "VelUtil.h"
#include "Vel_ActionRequest.h"
#include "Vel_DatabaseWorker.h"
#include "Vel_ListRequest.h"
#include "Vel_PostEvent.h"

VEL_TRACE_UNIT("request");

namespace {

constexpr size_t kMinStackSize = 1048576;
constexpr char kCollectorVersion[] = "06.31.00.01";

const char* orEmpty(const char* text) { return text != nullptr ? text : ""; }

void traceRequest(const Request* request) {
  if (!VEL_TRACE_ON(MUT1_DUMP) || request == nullptr) return;
  VEL_DUMPMSG(
      "requstInfo handle is: %s, type is %d, subnode is %s, requestStartedID is %s, action is %s, ",
      orEmpty(static_cast<const char*>(request->handle)), request->type, orEmpty(request->subnode),
      orEmpty(request->requestStartedID), orEmpty(request->action));
  for (const RequestInfo* info = request->requestInfo; info != nullptr; info = info->next) {
    VEL_DUMPMSG("RequestInfo name is %s, value is %s, op is %s, logicalOp is: %s",
                orEmpty(info->name), orEmpty(info->value), orEmpty(info->op),
                orEmpty(info->logicalOp));
  }
}

// The task result that refuses an action: -1 with the failure text. The caller holds no lock.
void refuseTakeAction(const char* requestId, const char* action) {
  char text[600];
  snprintf(text, sizeof(text), "Error, this action %.511s can't be processed", orEmpty(action));
  VEL_ERROR("%s", text);
  const char* instances[1] = {""};
  const char* outputs[1] = {text};
  VelMutexHandler lock(gMutexSend);
  cp_SendTaskRCWithOutput(-1, requestId, instances, 1, outputs, 1);
}

// An empty answer for a group whose feature is not running, then the record is freed.
void answerEmpty(Request* request) {
  {
    VelMutexHandler lock(gMutexSend);
    cp_SendData(orEmpty(request->id));
  }
  cp_FreeRequest(request);
}

bool isAlertLogSummary(const void* handle) {
  return handle == RDB_Alert_Log_Summary || handle == ASM_Alert_Log_Summary ||
         handle == DG_Alert_Log_Summary;
}

// Thread attributes with at least a 1 MiB stack; false when the default is big enough (the
// threads are then created with default attributes).
bool prepareThreadAttributes(pthread_attr_t& attr) {
  pthread_attr_init(&attr);
  size_t stackSize = 0;
  int err = pthread_attr_getstacksize(&attr, &stackSize);
  VEL_DETAIL("default stack size is:%d, err %d", static_cast<int>(stackSize), err);
  if (stackSize >= kMinStackSize) {
    pthread_attr_destroy(&attr);
    return false;
  }
  err = pthread_attr_setstacksize(&attr, kMinStackSize);
  VEL_DETAIL("set stack size is:%d, err %d, errno is:%d", static_cast<int>(kMinStackSize), err,
             errno);
  VEL_DETAIL("Increaing stack size to:%d", static_cast<int>(kMinStackSize));
  err = pthread_attr_getstacksize(&attr, &stackSize);
  VEL_DETAIL("changed stack size is:%d, err %d", static_cast<int>(stackSize), err);
  return true;
}

struct SubnodeEntry {
  VelString subnode;
  VelString instanceName;
};

}  // namespace

int velActionTimeout() {
  int value = vel_getEnvAsInt("CDP_DP_ACTION_TIMEOUT", 20) - 3;
  return value < 5 ? 5 : value;
}

int velCollectionTimeout() {
  int value = vel_getEnvAsInt("CDP_COLLECTION_TIMEOUT", 60) - 3;
  return value < 5 ? 5 : value;
}

bool velActionNewConnMode() {
  const char* value = PEB1_GetEnv("VEL_ACTION_NEWCONN", nullptr);
  return value == nullptr || u_stricmp(value, "false") != 0;
}

bool velIsTakeAction(const char* action) {
  if (action == nullptr) return false;
  return strncmp(action, kVelPLSQLActionPrefix, sizeof(kVelPLSQLActionPrefix) - 1) == 0 ||
         strncmp(action, kVelSELECTActionPrefix, sizeof(kVelSELECTActionPrefix) - 1) == 0;
}

const char* velSubnodeTypeOf(const char* databaseType) {
  if (databaseType == nullptr) return nullptr;
  if (u_stricmp(databaseType, "RDB") == 0) return "%ZUL.OracleAgentRDB";
  if (u_stricmp(databaseType, "ASM") == 0) return "%ZUL.OracleAgentASM";
  if (u_stricmp(databaseType, "DG") == 0) return "%ZUL.OracleAgentDG";
  return nullptr;
}

// Over-long names are cut to the row widths rather than refused: the agent still sees the
// subnode, and the full name remains in the trace.
void ProcessMonitoredDatabase(VelConfig* config, Request* request) {
  VEL_FLOW_ENTRY("ProcessMonitoredDatabase");
  if (config == nullptr || request == nullptr) {
    VEL_ERROR("Error at get configuration list");
    return;
  }
  {
    VelMutexHandler lock(config->getMutex());
    for (VelConfigItem* item : config->getItems()) {
      if (item == nullptr || item->getConnectStatus() != VEL_CONN_STATUS_ACTIVE) continue;
      Ora_DatabaseInfo info;
      item->getDBInfo(info);
      const char* subnodeType = velSubnodeTypeOf(info.m_type.c_str());
      if (subnodeType == nullptr) continue;
      char type[10], name[33], subnode[40];
      snprintf(type, sizeof(type), "%s", info.m_type.c_str());
      snprintf(name, sizeof(name), "%s", info.m_name.c_str());
      snprintf(subnode, sizeof(subnode), "%s", item->getSubNodeName().c_str());
      const char* values[6] = {"Reserved", subnodeType, type, name, kCollectorVersion, subnode};
      cp_SetAttributeValues(values, 6, orEmpty(request->id));
    }
  }
  cp_SendData(orEmpty(request->id));
  cp_FreeRequest(request);
  return;
}

void ProcessRequestDatabaseInformation(VelConfig* config, Request* request) {
  VEL_FLOW_ENTRY("ProcessRequestDatabaseInformation");
  if (config == nullptr || request == nullptr) {
    VEL_ERROR("Error at get configuration list");
    return;
  }
  {
    VelMutexHandler lock(config->getMutex());
    for (VelConfigItem* item : config->getItems()) {
      if (item == nullptr) continue;
      Ora_DatabaseInfo info;
      item->getDBInfo(info);
      const VelConfigInstance* instance = item->getInstance();
      const int status = item->getConnectStatus();
      const char* statusText = status == VEL_CONN_STATUS_ACTIVE     ? "Active"
                               : status == VEL_CONN_STATUS_INACTIVE ? "Inactive"
                                                                    : "Unknown";
      const char* values[10] = {instance ? instance->m_instanceName.c_str() : "",
                                info.m_name.c_str(),
                                info.m_version.c_str(),
                                info.m_type.c_str(),
                                info.m_bitVersion.c_str(),
                                statusText,
                                instance ? instance->m_dgGroup.c_str() : "",
                                info.m_role.c_str(),
                                info.m_hostName.c_str(),
                                info.m_instanceName.c_str()};
      if (VEL_TRACE_ON(MUT1_DETAIL)) {
        for (int i = 0; i < 10; ++i) VEL_DETAIL("Index %d, value is %s", i, values[i]);
      }
      cp_SetAttributeValues(values, 10, orEmpty(request->id));
    }
  }
  cp_SendData(orEmpty(request->id));
  cp_FreeRequest(request);
  return;
}

namespace {

// Everything the loop starts and the records the threads point into, on the loop's stack.
struct RequestThreads {
  VelConfig config;
  Vel_RequestListManager manager;  // the workers' queues, owned
  std::atomic<bool> shutdown{false};
  bool newConnMode = false;
  pthread_attr_t attr;
  bool customAttr = false;
  std::vector<ProcessRequestParm*> workers;  // owned
  AlertLogParm alertLogParm;
  pthread_t alertLogThread{};
  bool alertLogStarted = false;
  Vel_ListRequest actionQueue{"", "ActionConn"};
  ProcessActionParm actionParm;
  pthread_t actionThread{};
  bool actionStarted = false;
  checkTNSConnectionsParm tnsParm;
  checkListenersParm listenerParm;
  pthread_t tnsThread{};
  pthread_t listenerThread{};
  bool tnsStarted = false;
  bool listenerStarted = false;
};

// One worker per configured subnode, the alert-log thread (when main gave one), the take-action
// thread in new-connection mode and the two Oracle Net checks.
void startWorkers(RequestThreads& t, const OraXMLSQLData& catalog, const VelAttrGroups& attrGroups,
                  const VelRequestLoopHooks& hooks) {
  t.newConnMode = velActionNewConnMode();
  t.customAttr = prepareThreadAttributes(t.attr);
  pthread_attr_t* threadAttr = t.customAttr ? &t.attr : nullptr;

  // Workers run actions on their own sessions when new-connection mode is off.
  velSetWorkerActionHandler(&velRunTakeAction);

  std::vector<SubnodeEntry> subnodes;
  {
    VelMutexHandler lock(t.config.getMutex());
    for (VelConfigItem* item : t.config.getItems()) {
      if (item == nullptr) continue;
      SubnodeEntry entry;
      entry.subnode.assign(item->getSubNodeName().c_str());
      const VelConfigInstance* instance = item->getInstance();
      entry.instanceName.assign(instance ? instance->m_instanceName.c_str() : "");
      subnodes.push_back(entry);
    }
  }

  for (const SubnodeEntry& entry : subnodes) {
    Vel_ListRequest* queue = new Vel_ListRequest(entry.subnode.c_str(), entry.instanceName.c_str());
    t.manager.push_back(queue);
    ProcessRequestParm* parm = new ProcessRequestParm;
    parm->m_pConfig = &t.config;
    parm->m_pShutdown = &t.shutdown;
    parm->m_pRequestList = queue;
    parm->m_subnode.assign(entry.subnode.c_str());
    parm->m_catalog = catalog;
    parm->m_attrGroups = attrGroups;
    pthread_create(&parm->m_threadId, threadAttr, processDatabaseRequest, parm);
    t.workers.push_back(parm);
  }

  t.alertLogParm.m_pConfig = &t.config;
  t.alertLogParm.m_pRequestLists = &t.manager;
  t.alertLogStarted =
      hooks.alertLogThread != nullptr &&
      pthread_create(&t.alertLogThread, threadAttr, hooks.alertLogThread, &t.alertLogParm) == 0;

  t.actionParm.m_pConfig = &t.config;
  t.actionParm.m_pRequestList = &t.actionQueue;
  t.actionParm.m_pShutdown = &t.shutdown;
  if (t.newConnMode) {
    t.actionParm.m_catalog = catalog;
    t.actionStarted =
        pthread_create(&t.actionThread, threadAttr, processActionRequest, &t.actionParm) == 0;
  }

  // The Oracle Net checks: each thread ends at once when its interval variable disables it, and
  // its group then answers with an empty list.
  t.tnsParm.m_pShutdown = &t.shutdown;
  t.listenerParm.m_pShutdown = &t.shutdown;
  t.tnsStarted =
      pthread_create(&t.tnsThread, threadAttr, checkTNSConnectionsThreadFunc, &t.tnsParm) == 0;
  t.listenerStarted =
      pthread_create(&t.listenerThread, threadAttr, checkListenersThreadFunc, &t.listenerParm) == 0;
}

// Answers or queues one request. False once the loop must end: a shutdown request (the link is
// then closed).
bool dispatch(RequestThreads& t, Request* request, const VelRequestLoopHooks& hooks,
              int actionTimeout, int collectionTimeout) {
  const void* handle = request->handle;
  switch (request->type) {
    case SHUTDOWN_REQUEST: {
      cp_FreeRequest(request);
      // Workers may still be answering: they send under the send mutex, so closing under it
      // never cuts a response short, and every later send finds the link closed.
      VelMutexHandler lock(gMutexSend);
      cp_CloseConnection();
      return false;
    }
    case DATA_REQUEST:
      if (handle == Monitored_Databases) {
        VelMutexHandler lock(gMutexSend);
        ProcessMonitoredDatabase(&t.config, request);
      } else if (handle == Database_Information) {
        VelMutexHandler lock(gMutexSend);
        ProcessRequestDatabaseInformation(&t.config, request);
      } else if (handle == Agent_Remote_Connection || handle == Agent_Listener) {
        {
          VelMutexHandler lock(gMutexSend);
          if (handle == Agent_Remote_Connection)
            ProcessRemoteConnection(t.tnsParm, request);
          else
            ProcessListener(t.listenerParm, request);
          cp_SendData(orEmpty(request->id));
        }
        cp_FreeRequest(request);
      } else if (isAlertLogSummary(handle) && hooks.alertLogSummary != nullptr) {
        // Takes the alert-log lock and then the send mutex itself, one after the other: the
        // answer is copied out under the first and sent under the second.
        hooks.alertLogSummary(request);
      } else if (isAlertLogSummary(handle)) {
        answerEmpty(request);
      } else {
        Vel_AgentFacRequest* wrapped = new Vel_AgentFacRequest(request, collectionTimeout);
        if (!DispatchRequest(&t.manager, wrapped)) {
          {
            VelMutexHandler lock(gMutexSend);
            cp_SendData(wrapped->getRequestID());
          }
          delete wrapped;
        }
      }
      return true;
    case TASK_REQUEST:
      if (velIsTakeAction(request->action)) {
        Vel_AgentFacRequest* wrapped = new Vel_AgentFacRequest(request, actionTimeout);
        bool queued = t.newConnMode ? t.actionQueue.appendRequest(wrapped)
                                    : DispatchRequest(&t.manager, wrapped);
        if (!queued) {
          refuseTakeAction(wrapped->getRequestID(), wrapped->getAction());
          delete wrapped;
        }
      } else {
        refuseTakeAction(orEmpty(request->id), request->action);
        cp_FreeRequest(request);
      }
      return true;
    default:
      cp_FreeRequest(request);
      return true;
  }
}

// The alert-log thread first (it may wait for a worker), then the Oracle Net checks, the
// workers, then the take-action thread; the queues go with their owners.
void stopWorkers(RequestThreads& t) {
  t.alertLogParm.m_stop.store(true);
  if (t.alertLogStarted) pthread_join(t.alertLogThread, nullptr);
  t.shutdown.store(true);
  if (t.tnsStarted) pthread_join(t.tnsThread, nullptr);
  if (t.listenerStarted) pthread_join(t.listenerThread, nullptr);
  for (ProcessRequestParm* parm : t.workers) {
    pthread_join(parm->m_threadId, nullptr);
    delete parm;
  }
  if (t.actionStarted) pthread_join(t.actionThread, nullptr);
  velSetWorkerActionHandler(nullptr);
  if (t.customAttr) pthread_attr_destroy(&t.attr);
}

}  // namespace

void ProcessRequest(const OraXMLSQLData& catalog, const VelAttrGroups& attrGroups,
                    const VelRequestLoopHooks& hooks) {
  VEL_FLOW_ENTRY("ProcessRequest");
  RequestThreads threads;
  startWorkers(threads, catalog, attrGroups, hooks);

  const int actionTimeout = velActionTimeout();
  const int collectionTimeout = velCollectionTimeout();
  VEL_DETAIL("Action timeout is %d, collection timeout is %d", actionTimeout, collectionTimeout);

  for (bool running = true; running;) {
    Request* request = nullptr;
    int rc = cp_WaitForRequest(&request);
    if (request == nullptr) VEL_ERROR("Error Request with NULL pointer");
    traceRequest(request);
    if (rc != 0 || request == nullptr) {
      VEL_ERROR("Error: cp_WaitForRequest failed with %d, entring shutdown", rc);
      if (request != nullptr) cp_FreeRequest(request);
      break;
    }
    running = dispatch(threads, request, hooks, actionTimeout, collectionTimeout);
  }

  stopWorkers(threads);
}
