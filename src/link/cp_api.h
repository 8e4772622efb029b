// The agent link as the program sees it: open the connection, register the attribute groups,
// wait for the agent's requests and answer them, post events, close.
//
// Calling order: open, register every group, complete the registration, then any number of waits
// (main thread only) and sends (any thread, holding gMutexSend, see SendMutex.h), then close.
// Every function returns 0 for success or one of the negative CP_* codes below.
#ifndef VEL_LINK_CP_API_H
#define VEL_LINK_CP_API_H

// Session states.
constexpr int OPEN_SOCKET_STATE = 1;
constexpr int REG_COMPLETE_STATE = 2;
constexpr int CLOSED_STATE = 3;

// Results of the cp_* functions.
constexpr int CP_OK = 0;
constexpr int CP_NO_PORT = -1;         // CP_PORT neither set, in the environment nor properties
constexpr int CP_OPEN_FAILED = -2;     // the connection could not be opened
constexpr int CP_BAD_STATE = -4;       // wrong state, or a registration could not be allocated
constexpr int CP_WRITE_FAILED = -5;    // writing to the socket failed
constexpr int CP_UNKNOWN_HANDLE = -8;  // an event names an unregistered handle
constexpr int CP_UNKNOWN_ID = -9;      // a response names an id that is not outstanding
constexpr int CP_NO_MEMORY = -10;      // the message buffer could not be allocated or grown

// Request type codes.
constexpr int SHUTDOWN_REQUEST = 0;  // shutdown, link ended, or a stop for an unknown group
constexpr int DATA_REQUEST = 1;      // answer with cp_SetAttributeValues / cp_SendData
constexpr int TASK_REQUEST = 2;      // answer with cp_SendTaskRCWithOutput
constexpr int REQUEST_STARTED = 3;
constexpr int REQUEST_STOPPED = 4;
constexpr int DATA_RESPONSE = 5;  // the agent's answer to a request the client sent

// One filter condition of a request; a singly linked list in message order. Texts are owned.
struct RequestInfo {
  char* name;       // attribute (column) name
  char* value;      // compared value
  char* op;         // comparison operator code, or null
  char* logicalOp;  // connective with the next condition, or null
  RequestInfo* next;
};

// One row of a data response; values and their texts are owned.
struct ResponseRow {
  char** values;
  int count;
  ResponseRow* next;
};

// What the link hands over for each agent request. Allocated by cp_WaitForRequest, released only
// by cp_FreeRequest; every text is owned by the record.
struct Request {
  const void* handle;  // the handle registered for the group (the program passes the group name);
                       // null for task requests
  int type;            // a *_REQUEST code above
  char* id;            // request id, passed back with the answer
  char* requestStartedID;     // continuous request this one belongs to, or null
  RequestInfo* requestInfo;   // filter conditions, in message order
  char* action;               // take-action command text (task requests)
  bool shuttingDown;          // stop requests: the agent is shutting down
  char* subnode;              // subnode named by the message, or null
  char* user;                 // user of a take action, or null
  ResponseRow* responseRows;  // rows of a data response (type 5), in order
  char* responseAttrGroup;    // attribute group of a data response
  int responseRc;             // return code of a data response (0 without error)
};

void cp_setPort(int port);
int cp_OpenConnection();
// properties: texts "NAME=value"; CP_PORT=n and CP_MULTITHREADED=anything are understood.
// 0, CP_NO_PORT or CP_OPEN_FAILED. Opening an open session closes it first.
int cp_OpenConnectionWithProperties(char** properties, int count);
// Needs OPEN_SOCKET_STATE. name is copied; handle is returned in every request of the group.
int cp_RegisterAttrGroup(const char* name, int version, const void* handle);
// Sends the registration; REG_COMPLETE_STATE afterwards even when the write failed (-5).
int cp_RegistrationComplete();
// Blocks until the next request. *out always receives a record (free it with cp_FreeRequest);
// a closed or failed link gives a SHUTDOWN_REQUEST. 0, or CP_BAD_STATE in the wrong state.
int cp_WaitForRequest(Request** out);
void cp_FreeRequest(Request* request);
// Adds one row to this thread's response for the request; nothing is sent yet.
int cp_SetAttributeValues(const char** values, int count, const char* requestId);
// Sends this thread's response for the request (header and end alone when no rows were added)
// and retires the id.
int cp_SendData(const char* requestId);
int cp_SendError(int rc, const char* requestId);
int cp_SendEventData(const char** values, int count, const void* handle);
int cp_SendSubnodeEventData(const char** values, int count, const void* handle,
                            const char* subnode);
int cp_SendEventError(int rc, const void* handle);
int cp_SendSubnodeEventError(int rc, const void* handle, const char* subnode);
int cp_SendTaskRC(int rc, const char* requestId);
// instances[i] (when present) names the instance of outputs[i].
int cp_SendTaskRCWithOutput(int rc, const char* requestId, const char** instances,
                            int instanceCount, const char** outputs, int outputCount);
// Requests sent by the client; the result is the new request id (>= 0) or a negative code.
int cp_SendRequest(const char* attrGroup);
int cp_SendSubnodeRequest(const char* attrGroup, const char* subnode);
int cp_SendSubnodeRequestWithFilter(const char* attrGroup, const char* subnode,
                                    RequestInfo* filter);
int cp_CloseConnection();
// Configuration lookups through the process-wide configuration map. The bodies live with the
// map (library vel_config); a program that calls them links it.
const char* cp_GetConfigurationProperty(const char* name);
const char* cp_GetSubnodeConfigurationProperty(const char* type, const char* subnode,
                                               const char* name);

// Escapes '&', '\'', '"', '<', '>' and line feed. *out is null when the text needs no escaping
// (or the copy could not be allocated): the caller then uses text itself; otherwise the caller
// frees *out.
void substituteEntities(const char* text, char** out);

// ---- Inspection and tuning for tests and tools (not part of the agent protocol) -------------

// Current session state.
int cp_GetState();
// Number of outstanding request ids.
int cp_GetOutstandingCount();
// Whether the id is outstanding.
bool cp_IsOutstanding(const char* requestId);
// Pause in seconds before the first connection retry (doubled after each failure); 2 by
// default. Tests set 0 so that a refused port fails at once.
void cp_SetConnectRetryPause(unsigned seconds);
// The longest incoming line accepted (bytes); longer lines are traced and skipped.
void cp_SetMaxMessageLength(int bytes);

#endif  // VEL_LINK_CP_API_H
