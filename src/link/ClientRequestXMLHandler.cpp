#include "ClientRequestXMLHandler.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "MUT1.h"

VEL_TRACE_UNIT("link");

namespace {

// Replaces *field with a copy of value (null keeps nothing).
void setCopy(char** field, const char* value) {
  free(*field);
  *field = value ? strdup(value) : nullptr;
}

const char* attr(HashMap* attributes, const char* name) {
  return attributes ? static_cast<const char*>(attributes->get(name)) : nullptr;
}

}  // namespace

ClientRequestXMLHandler::ClientRequestXMLHandler() = default;

ClientRequestXMLHandler::~ClientRequestXMLHandler() {
  free(attrGroup);
  free(taskCommand);
  free(id);
  free(requestStartedID);
  free(subnode);
  free(taskUser);
  while (requestInfo) {
    RequestInfo* next = requestInfo->next;
    free(requestInfo->name);
    free(requestInfo->value);
    free(requestInfo->op);
    free(requestInfo->logicalOp);
    free(requestInfo);
    requestInfo = next;
  }
  if (responseData) {
    for (int i = 0; i < responseData->getCount(); ++i) {
      auto* row = static_cast<List*>(responseData->get(i));
      for (int j = 0; j < row->getCount(); ++j) free(row->get(j));
      delete row;
    }
    delete responseData;
  }
}

void ClientRequestXMLHandler::endElement(const char*) {}

void ClientRequestXMLHandler::fatalError(const char* message) {
  ++errorCount;
  // The reason may quote a whole attacker-sized name; keep the trace line bounded.
  VEL_ERROR("Client request parse error found: %.512s\n", message ? message : "");
}

void ClientRequestXMLHandler::startElement(const char* name, HashMap* attributes) {
  if (!name) return;
  const char* sub = attr(attributes, "subnode");
  if (sub) setCopy(&subnode, sub);

  if (strcmp(name, "dataRequest") == 0) {
    dataRequest = true;
    const char* v = attr(attributes, "id");
    if (!v) VEL_DETAIL("id is null");
    setCopy(&id, v);
    v = attr(attributes, "requestStartedID");
    if (!v) VEL_DETAIL("requestStartedID is null");
    setCopy(&requestStartedID, v);
  } else if (strcmp(name, "taskRequest") == 0) {
    VEL_DETAIL("received task request");
    taskRequest = true;
    const char* v = attr(attributes, "id");
    if (!v) VEL_DETAIL("id is null");
    setCopy(&id, v);
  } else if (strcmp(name, "attrGroup") == 0) {
    const char* v = attr(attributes, "name");
    if (v) setCopy(&attrGroup, v);
  } else if (strcmp(name, "error") == 0) {
    // An error without rc is ignored rather than converted.
    const char* v = attr(attributes, "rc");
    if (v) errorRc = atoi(v);
  } else if (strcmp(name, "task") == 0) {
    const char* v = attr(attributes, "command");
    if (v) setCopy(&taskCommand, v);
    v = attr(attributes, "user");
    if (v) setCopy(&taskUser, v);
  } else if (strcmp(name, "startRequestInfo") == 0) {
    VEL_DETAIL("request started");
    requestStarted = true;
    const char* v = attr(attributes, "requestStartedID");
    if (!v) VEL_DETAIL("request started - requestStartedID is null");
    setCopy(&requestStartedID, v);
    v = attr(attributes, "ag");
    if (v) setCopy(&attrGroup, v);
    if (!attrGroup || !requestStartedID) requestStarted = false;
  } else if (strcmp(name, "stopRequestInfo") == 0) {
    VEL_DETAIL("request stopped");
    requestStopped = true;
    const char* v = attr(attributes, "requestStartedID");
    if (v) setCopy(&requestStartedID, v);
    v = attr(attributes, "ag");
    if (v) setCopy(&attrGroup, v);
    v = attr(attributes, "shuttingDown");
    shuttingDown = v && strcasecmp(v, "TRUE") == 0;
    if (!attrGroup || !requestStartedID) requestStopped = false;
  } else if (strcmp(name, "requestInfo") == 0) {
    VEL_DETAIL("request filter info");
    auto* info = static_cast<RequestInfo*>(calloc(1, sizeof(RequestInfo)));
    if (!info) return;
    const char* n = attr(attributes, "name");
    const char* v = attr(attributes, "value");
    if (!n) VEL_DETAIL("request filter info - name is null");
    if (!v) VEL_DETAIL("request filter info - value is null");
    setCopy(&info->name, n);
    setCopy(&info->value, v);
    setCopy(&info->op, attr(attributes, "op"));
    setCopy(&info->logicalOp, attr(attributes, "logOp"));
    if (requestInfoTail)
      requestInfoTail->next = info;
    else
      requestInfo = info;
    requestInfoTail = info;
    VEL_DETAIL("received requestInfo %s, val %s", n ? n : "(null)", v ? v : "(null)");
  } else if (strcmp(name, "dataResponse") == 0) {
    dataResponse = true;
    const char* v = attr(attributes, "id");
    if (!v) VEL_DETAIL("id is null");
    setCopy(&id, v);
  } else if (strcmp(name, "in") == 0) {
    if (!responseData) responseData = new List();
    responseData->addGrowing(new List());
  } else if (strcmp(name, "a") == 0) {
    // A value outside any row, or without v, is ignored.
    const char* v = attr(attributes, "v");
    if (!v || !responseData || responseData->getCount() == 0) return;
    char* copy = strdup(v);
    if (copy) static_cast<List*>(responseData->peek())->addGrowing(copy);
  } else if (strcmp(name, "connection") == 0) {
    // A connection without id is noted; its id stays at the initial 1.
    connection = true;
    const char* v = attr(attributes, "id");
    if (v) connectionId = atoi(v);
  } else if (strcmp(name, "shutdown") == 0) {
    shutdown = true;
    shuttingDown = true;
  } else {
    VEL_DETAIL("unknown element:<%.256s>", name);
  }
}
