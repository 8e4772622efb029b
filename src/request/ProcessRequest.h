// The request loop: started by main once the link is open and registered, it starts one worker
// per configured subnode (and the take-action thread in new-connection mode), then waits for the
// agent's requests on the main thread. Monitored_Databases and Database_Information are answered
// at once from memory; other data requests and take actions are queued for the thread that
// serves them. A shutdown request or a link failure ends the loop; every thread is then joined.
#ifndef VEL_REQUEST_PROCESSREQUEST_H
#define VEL_REQUEST_PROCESSREQUEST_H

#include "OraXMLSQLData.h"
#include "VelAttrGroups.h"
#include "cp_api.h"

class VelConfig;

// Runs until shutdown; every thread it started is joined before it returns.
void ProcessRequest(const OraXMLSQLData& catalog, const VelAttrGroups& attrGroups);

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
