// The listener and alias checks: two threads that, at their intervals, re-read the host's
// listener.ora and tnsnames.ora files and test every entry (a listener with tnsping when the
// Oracle home has it, else through an OCI attach; an alias always through OCI), and the request
// handlers that answer Agent_Listener and Agent_Remote_Connection from the latest results.
//
// Locking: a parameter record's mutex is held while its list is copied for a cycle and while a
// handler reads it; the list's own mutex is taken inside (never the other way round). The slow
// tests run on the copy with no lock held, so a handler never waits for a test. Handlers are
// called with gMutexSend held; the threads never take it.
#ifndef VEL_ORANET_ORANETCHECK_H
#define VEL_ORANET_ORANETCHECK_H

#include <atomic>

#include "OraNetConfig.h"
#include "VelMutex.h"
#include "VelString.h"
#include "cp_api.h"

// The start argument of the listener thread and the record its handler reads; it outlives both.
struct checkListenersParm {
  std::atomic<bool>* m_pShutdown = nullptr;  // the process's stop flag
  VelMutex m_mutex;
  OraListenerInfoList m_list;
};

// The same for the alias thread.
struct checkTNSConnectionsParm {
  std::atomic<bool>* m_pShutdown = nullptr;
  VelMutex m_mutex;
  OraNetServiceInfoList m_list;
};

// Thread functions; the argument points to the record. They return when the stop flag is set, at
// once when their interval variable is below 1.
void* checkListenersThreadFunc(void* parm);
void* checkTNSConnectionsThreadFunc(void* parm);

// Add one row per entry (twelve values for a listener, seven for an alias) to the answer of
// request; nothing for a null request. The caller holds gMutexSend and sends the answer.
void ProcessListener(checkListenersParm& parm, Request* request);
void ProcessRemoteConnection(checkTNSConnectionsParm& parm, Request* request);

// ---- The pieces of one check ---------------------------------------------------------------

// Seconds between cycles from the variable (read with getenv): 300 when unset or empty.
int velNetCheckInterval(const char* name);
// The listener that no file defines, added when VEL_DYNAMIC_LISTENER is "TRUE".
void velMakeDynamicListener(OraListenerInfo& info);
// path = VEL_ORACLE_HOME + "/bin/tnsping"; whether that file exists.
bool velFindTnsping(VelString& path);
// The descriptor tested for a listener: just its address for tnsping, with a CONNECT_DATA of
// VEL_DEFAULT_ORACLE_SERVICE_NAME (default "orcl") for the OCI test.
void velListenerDescriptor(const OraListenerInfo& info, bool forTnsping, VelString& out);
// Reads what tnsping printed: a "TNS-" error gives its number and the text from there on, "OK"
// gives 0 and the text from there on, anything else 0 and no text. Texts are at most 255 bytes.
void velParseTnspingOutput(const char* output, int& code, VelString& message);
// Tests one listener; returns the code (0 reachable) and sets message.
int velCheckListener(const OraListenerInfo& info, VelString& message);
// Attaches to descriptor through OCI; returns 0 or the Oracle error code with its text.
int velTestDescriptor(const char* descriptor, VelString& message);

// One cycle of a thread: re-read the changed files, test every entry of a copy of the list and
// store the results. files' times are updated. Stops early when the stop flag is set.
void velRunListenerCycle(checkListenersParm& parm, OraNetFileInfoList& files,
                         OraNetConfigListeners& parser);
void velRunAliasCycle(checkTNSConnectionsParm& parm, OraNetFileInfoList& files,
                      OraNetConfigTnsNames& parser);

#endif  // VEL_ORANET_ORANETCHECK_H
