// The alert-log thread and the alert-log summary request. The request loop starts
// AlertLogThread once with an AlertLogParm and joins it after setting the parm's stop flag. The
// thread makes one CDBAlertLog per configured connection (gDBAlertLogs), and every search
// interval asks each connection's worker for the database's instances and searches their alert
// logs, sending each message found as an event row and keeping the read positions in the
// runtime property file. The summary request reads gDBAlertLogs from the request-loop thread.
//
// Tuning: VEL_LOG_INTERVAL (seconds between cycles, 300 when unset, 60-3600, anything else turns
// the feature off); the first cycle comes 60 seconds after the thread starts.
// VEL_ALERTLOG_TEST_INTERVAL_MS, when set to a positive number, replaces both the first delay
// and the interval by that many milliseconds (for process-level tests; ignored unless set).
#ifndef VEL_ALERTLOG_ALERTLOGTHREAD_H
#define VEL_ALERTLOG_ALERTLOGTHREAD_H

#include <string>

#include "CDBAlertLog.h"
#include "CPropFile.h"
#include "ProcessRequest.h"
#include "VelString.h"
#include "cp_api.h"

// The catalog statement that lists the instances: instance name, background dump destination,
// host name and database name, one row per instance.
extern const char kAlertLogInstanceSQLID[];

// Thread body; arg is the request loop's AlertLogParm (ProcessRequest.h).
void* AlertLogThread(void* arg);
// Seconds between cycles; 0 means the feature is off.
int getSearchInterval();
// VEL_ALERTLOG_TEST_INTERVAL_MS when set to a positive number, else 0.
int getTestIntervalMs();
// Makes sure the instance's message-identifier file exists (a copy of the template) and sets
// out to the file to use: the instance's file, or the template when the copy failed.
void makeMessageIdProps(std::string& out, VelString& home, VelString& instance, VelString& host);
// Runs the instance statement on the connection's worker and waits for it; infos receives its
// rows. False when the connection has no database information yet, has no queue, the queue
// refuses the statement, or the statement was still queued when the stop flag was set or 60
// seconds had passed (it is then taken back).
bool refreshAlertLogInfo(AlertLogParm* parm, CDBAlertLog* log,
                         VelTypePtrList<CDBAlertLogInfo>& infos);
// One cycle over gDBAlertLogs: reload both files when they changed, search every connection
// whose instances the database could tell, write the runtime file to runtimePath (not when it is
// empty: the positions then live in memory only).
void runAlertLogCycle(AlertLogParm* parm, CPropFile& msgids, CPropFile& runtime,
                      const char* runtimePath);
// Answers a summary request: one row of ten values per alert log of the request's subnode, then
// the end of the answer; frees the record. Takes gDBAlertLogsMutex and then gMutexSend itself,
// so the caller must hold neither.
void processRequestAlertLogSummary(Request* request);

#endif  // VEL_ALERTLOG_ALERTLOGTHREAD_H
