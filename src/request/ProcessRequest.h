// The request loop: started by main once the link is open and registered, it starts one worker
// per configured subnode (and the take-action thread in new-connection mode), then waits for the
// agent's requests on the main thread. Monitored_Databases and Database_Information are answered
// at once from memory; other data requests and take actions are queued for the thread that
// serves them. A shutdown request or a link failure ends the loop; every thread is then joined.
#ifndef VEL_REQUEST_PROCESSREQUEST_H
#define VEL_REQUEST_PROCESSREQUEST_H

#include <atomic>

#include "OraXMLSQLData.h"
#include "VelAttrGroups.h"
#include "cp_api.h"

class VelConfig;
class Vel_RequestListManager;

// The record of the alert-log thread, on the loop's stack: the thread ends once m_stop is set;
// it reads the configuration and queues statements on the subnodes' workers.
struct AlertLogParm {
  std::atomic<bool> m_stop{false};
  VelConfig* m_pConfig = nullptr;
  Vel_RequestListManager* m_pRequestLists = nullptr;
};

// What main hands the loop of the layers above it (the alert-log monitoring queues its
// statements on the workers, so the loop cannot call it directly). A null member leaves its part
// out: no thread is started, the groups are answered empty.
struct VelRequestLoopHooks {
  // Thread body, started with an AlertLogParm after the workers and joined first at shutdown.
  void* (*alertLogThread)(void*) = nullptr;
  // Answers an RDB_/ASM_/DG_Alert_Log_Summary request and frees it; called without gMutexSend.
  void (*alertLogSummary)(Request*) = nullptr;
};

// Runs until shutdown; every thread it started is joined before it returns.
void ProcessRequest(const OraXMLSQLData& catalog, const VelAttrGroups& attrGroups,
                    const VelRequestLoopHooks& hooks = VelRequestLoopHooks());

// One row per active subnode (six values), then the end of the answer; frees the record.
// The caller holds gMutexSend.
void ProcessMonitoredDatabase(VelConfig* config, Request* request);
// One row per configured subnode (ten values), then the end of the answer; frees the record.
// The caller holds gMutexSend.
void ProcessRequestDatabaseInformation(VelConfig* config, Request* request);

// Time-outs in seconds: the variable (default 20 for actions, 60 for collections) minus 3, at
// least 5.
int velActionTimeout();
int velCollectionTimeout();
// New-connection mode of take actions: on unless VEL_ACTION_NEWCONN equals "false" ignoring case.
bool velActionNewConnMode();
// Whether the action names a take action this process runs ("VELPLSQL:" or "VELSELECT:",
// case-sensitive).
bool velIsTakeAction(const char* action);
// The subnode type of Monitored_Databases for a database type (ignoring case), null for others.
const char* velSubnodeTypeOf(const char* databaseType);

#endif  // VEL_REQUEST_PROCESSREQUEST_H
