// What the collector receives on the link: each message parsed into a request record, data and
// task request ids kept outstanding until they are answered, and the records freed.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "MUT1.h"
#include "Parser.h"
#include "cp_api.h"
#include "cp_internal.h"

VEL_TRACE_UNIT("link");

using namespace cplink;

namespace {

void freeRequestInfo(RequestInfo* info) {
  while (info) {
    RequestInfo* next = info->next;
    free(info->name);
    free(info->value);
    free(info->op);
    free(info->logicalOp);
    free(info);
    info = next;
  }
}

char* dupOrNull(const char* s) { return s ? strdup(s) : nullptr; }

AttrGroupReg* findGroup(const HashMap* groups, const char* name) {
  if (!groups || !name) return nullptr;
  return static_cast<AttrGroupReg*>(groups->get(name));
}

// One function per message kind: each fills the record from the handler and says what to do.
IncomingAction fromDataRequest(const ClientRequestXMLHandler& h, const HashMap* groups, Request* r,
                               AttrGroupReg** dataGroup) {
  VEL_DETAIL("Got data request for attribute group %s",
             h.getAttrGroup() ? h.getAttrGroup() : "(null)");
  AttrGroupReg* reg = findGroup(groups, h.getAttrGroup());
  if (!reg) {
    VEL_ERROR("Requested attribute group was not registered for!!!");
  } else if (!h.getId()) {
    // An unanswerable request: without its id no response can name it.
    VEL_ERROR("Data request without id ignored");
  } else {
    r->handle = reg->handle;
    r->type = DATA_REQUEST;
    r->id = strdup(h.getId());
    r->requestStartedID = dupOrNull(h.getRequestStartedID());
    if (dataGroup) *dataGroup = reg;
    return IncomingAction::kReturn;
  }
  return IncomingAction::kWait;
}

IncomingAction fromTaskRequest(const ClientRequestXMLHandler& h, Request* r) {
  if (!h.getId() || !h.getTaskRequest()) {
    // A take action needs an id to answer and a command to run.
    VEL_ERROR("Task request without %s ignored", h.getId() ? "command" : "id");
  } else {
    r->action = strdup(h.getTaskRequest());
    r->user = dupOrNull(h.getTaskRequestUser());
    r->type = TASK_REQUEST;
    r->id = strdup(h.getId());
    return IncomingAction::kReturn;
  }
  return IncomingAction::kWait;
}

IncomingAction fromRequestStarted(const ClientRequestXMLHandler& h, const HashMap* groups,
                                  Request* r) {
  VEL_DETAIL("Got request start for attribute group %s", h.getAttrGroup());
  AttrGroupReg* reg = findGroup(groups, h.getAttrGroup());
  if (!reg) {
    VEL_ERROR("Requested attribute group <%s> was not registered!!!", h.getAttrGroup());
  } else {
    r->handle = reg->handle;
    r->type = REQUEST_STARTED;
    r->requestStartedID = dupOrNull(h.getRequestStartedID());
    return IncomingAction::kReturn;
  }
  return IncomingAction::kWait;
}

IncomingAction fromRequestStopped(const ClientRequestXMLHandler& h, const HashMap* groups,
                                  Request* r) {
  VEL_DETAIL("Got request stop for attribute group %s", h.getAttrGroup());
  AttrGroupReg* reg = findGroup(groups, h.getAttrGroup());
  if (reg) {
    r->handle = reg->handle;
    r->type = REQUEST_STOPPED;
    r->requestStartedID = dupOrNull(h.getRequestStartedID());
  } else {
    VEL_ERROR("Requested attribute group was not registered for!!!");
  }
  r->shuttingDown = h.isShuttingDown();
  if (r->shuttingDown)
    VEL_DETAIL("Agent is in the process of shutting down.");
  else
    VEL_DETAIL("Agent is not in the process of shutting down.");
  return IncomingAction::kReturn;
}

IncomingAction fromDataResponse(const ClientRequestXMLHandler& h, Request* r) {
  r->type = DATA_RESPONSE;
  r->responseAttrGroup = dupOrNull(h.getAttrGroup());
  r->responseRc = h.getErrorRc();
  VEL_DETAIL("Received response data for request %s subnode %s error %d",
             h.getAttrGroup() ? h.getAttrGroup() : "(null)", h.getSubnode() ? h.getSubnode() : "",
             h.getErrorRc());
  List* rows = h.getResponseDataList();
  ResponseRow** tail = &r->responseRows;
  for (int i = 0; rows && i < rows->getCount(); ++i) {
    auto* inner = static_cast<List*>(rows->get(i));
    auto* row = static_cast<ResponseRow*>(calloc(1, sizeof(ResponseRow)));
    if (!row) break;
    int n = inner->getCount();
    row->values = static_cast<char**>(calloc(n > 0 ? n : 1, sizeof(char*)));
    if (!row->values) {
      free(row);
      break;
    }
    row->count = n;
    for (int j = 0; j < n; ++j) row->values[j] = dupOrNull(static_cast<char*>(inner->get(j)));
    *tail = row;
    tail = &row->next;
  }
  return IncomingAction::kReturn;
}

// The filter entries are appended to the record whatever the message was.
void appendRequestInfo(const ClientRequestXMLHandler& h, Request* r) {
  RequestInfo** tail = &r->requestInfo;
  while (*tail) tail = &(*tail)->next;
  for (RequestInfo* info = h.getRequestInfoHead(); info; info = info->next) {
    if (!info->name || !info->value) {
      MUT1_Printf(&s_velTraceBlock, __LINE__, "Received requestInfo with null name or value");
      continue;
    }
    auto* copy = static_cast<RequestInfo*>(calloc(1, sizeof(RequestInfo)));
    if (!copy) break;
    copy->name = strdup(info->name);
    copy->value = strdup(info->value);
    copy->op = dupOrNull(info->op);
    copy->logicalOp = dupOrNull(info->logicalOp);
    *tail = copy;
    tail = &copy->next;
  }
}

}  // namespace

namespace cplink {

void freeRequestFields(Request* r) {
  free(r->id);
  free(r->requestStartedID);
  freeRequestInfo(r->requestInfo);
  free(r->action);
  free(r->subnode);
  free(r->user);
  free(r->responseAttrGroup);
  for (ResponseRow* row = r->responseRows; row;) {
    ResponseRow* next = row->next;
    for (int i = 0; i < row->count; ++i) free(row->values[i]);
    free(row->values);
    free(row);
    row = next;
  }
  memset(r, 0, sizeof *r);
}

}  // namespace cplink

// ---- Incoming requests -----------------------------------------------------------------------

Request* cpNewRequest() { return static_cast<Request*>(calloc(1, sizeof(Request))); }

IncomingAction cpBuildRequest(const ClientRequestXMLHandler& h, const HashMap* groups, Request* r,
                              const char* text, int* connectionId, AttrGroupReg** dataGroup) {
  if (dataGroup) *dataGroup = nullptr;
  if (h.getSubnode()) {
    free(r->subnode);
    r->subnode = strdup(h.getSubnode());
  }
  IncomingAction action = IncomingAction::kWait;
  if (h.isDataRequest()) {
    action = fromDataRequest(h, groups, r, dataGroup);
  } else if (h.isTaskRequest()) {
    action = fromTaskRequest(h, r);
  } else if (h.isRequestStartedRequest()) {
    action = fromRequestStarted(h, groups, r);
  } else if (h.isRequestStoppedRequest()) {
    action = fromRequestStopped(h, groups, r);
  } else if (h.isShutdownRequest()) {
    r->type = SHUTDOWN_REQUEST;
    action = IncomingAction::kReturn;
  } else if (h.isDataResponse()) {
    action = fromDataResponse(h, r);
  } else if (h.isConnection()) {
    if (connectionId) *connectionId = h.getConnectionId();
    VEL_DUMPMSG("Received connection id %d", h.getConnectionId());
    action = IncomingAction::kConnection;
  } else {
    VEL_ERROR("Unrecognized request: %s", text ? text : "");
  }
  appendRequestInfo(h, r);
  return action;
}

int cp_WaitForRequest(Request** out) {
  VEL_FLOW_ENTRY("cp_WaitForRequest");
  if (!out) VEL_RETURN(CP_BAD_STATE);
  Request* r = cpNewRequest();
  *out = r;
  if (!r) VEL_RETURN(CP_NO_MEMORY);
  if (g.state.load() != REG_COMPLETE_STATE || !g.socket) VEL_RETURN(CP_BAD_STATE);
  HOZ::String message(256);
  for (;;) {
    if (!g.socket->receive(&message)) {
      freeRequestFields(r);  // a link failure is a shutdown request and nothing else
      VEL_RETURN(CP_OK);
    }
    // The parser writes into the text; keep its start for the trace of unknown messages.
    char head[513];
    snprintf(head, sizeof head, "%.512s", message.buffer);
    ClientRequestXMLHandler handler;
    Parser parser(&handler);
    parser.parse(message.buffer);
    int connectionId = 0;
    AttrGroupReg* reg = nullptr;
    IncomingAction action = cpBuildRequest(handler, g.groups, r, head, &connectionId, &reg);
    if (action == IncomingAction::kConnection) {
      g.clientIndex = static_cast<int>(static_cast<unsigned>(connectionId) << 28);
    }
    if (action == IncomingAction::kReturn) {
      if (r->type == DATA_REQUEST || r->type == TASK_REQUEST) {
        LockGuard guard(&g.lock);
        HashMapEntry* e = g.outstanding->getEntry(r->id);
        if (e) {
          // Already outstanding: keep the stored key, update what it answers.
          e->data = r->type == DATA_REQUEST ? static_cast<const void*>(reg) : e->key;
        } else {
          char* key = strdup(r->id);
          if (key)
            g.outstanding->put(
                key, r->type == DATA_REQUEST ? static_cast<void*>(reg) : static_cast<void*>(key));
        }
      }
      VEL_RETURN(CP_OK);
    }
    // Not a request: what this message left in the record must not reach the next one.
    freeRequestFields(r);
  }
}

void cp_FreeRequest(Request* request) {
  if (!request) return;
  freeRequestFields(request);
  free(request);
}
