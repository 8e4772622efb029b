#include "cp_api.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "ClientRequestXMLHandler.h"
#include "ClientSocket.h"
#include "MUT1.h"
#include "PEB1.h"
#include "Parser.h"
#include "cp_internal.h"

VEL_TRACE_UNIT("link");

namespace {

char kLoopback[] = "127.0.0.1";

// One link session per process.
struct Session {
  int port = -1;
  std::atomic<int> state{CLOSED_STATE};
  bool multiThreaded = false;
  HashMap* groups = nullptr;       // name -> AttrGroupReg*; written only before other threads
  HashMap* outstanding = nullptr;  // id -> AttrGroupReg* (data) or the key itself (task);
                                   // guarded by lock
  // Guards outstanding and requestCounter. Never destroyed, so that it stays usable when the
  // link is closed and opened again.
  PEB1_Lock lock;
  ClientSocket* socket = nullptr;
  int initialSize = 4096;
  int growthPercent = 100;
  int requestCounter = 0;  // guarded by lock
  std::atomic<int> clientIndex{0x10000000};
  unsigned retryPause = 2;
  int maxMessage = ClientSocket::kDefaultMaxMessage;
};
Session g;

// Every per-thread message buffer alive, so that a thread's exit or the close frees each exactly
// once. Guarded by gBufferLock.
PEB1_Lock gBufferLock;
List gBuffers;

class LockGuard {
 public:
  explicit LockGuard(PEB1_Lock* lock) : m_lock(lock) { PEB1_GetLock(m_lock); }
  ~LockGuard() { PEB1_ReleaseLock(m_lock); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  PEB1_Lock* m_lock;
};

// Removes the buffer from the registry and deletes it, unless someone already did.
void retireBuffer(HOZ::String* buffer) {
  if (!buffer) return;
  bool owned = false;
  {
    LockGuard guard(&gBufferLock);
    int i = gBuffers.find(buffer, nullptr);
    if (i >= 0) {
      gBuffers.remove(i);
      owned = true;
    }
  }
  if (owned) delete buffer;
}

// Thread-exit destructor of the buffer keys: a thread's buffers die with it.
void bufferKeyDestructor(void* value) { retireBuffer(static_cast<HOZ::String*>(value)); }

// The calling thread's buffer for the group, created on first use; null when out of memory.
HOZ::String* threadBuffer(AttrGroupReg* reg) {
  auto* buffer = static_cast<HOZ::String*>(pthread_getspecific(reg->bufferKey));
  if (buffer) return buffer;
  buffer = new (std::nothrow) HOZ::String(g.initialSize);
  if (!buffer) return nullptr;
  buffer->growthPercent = g.growthPercent > 0 ? g.growthPercent : 0;
  {
    LockGuard guard(&gBufferLock);
    gBuffers.add(buffer);
  }
  pthread_setspecific(reg->bufferKey, buffer);
  return buffer;
}

void dropThreadBuffer(AttrGroupReg* reg) {
  auto* buffer = static_cast<HOZ::String*>(pthread_getspecific(reg->bufferKey));
  pthread_setspecific(reg->bufferKey, nullptr);
  retireBuffer(buffer);
}

bool checkState(int expected) {
  int state = g.state.load();
  if (state == expected) return true;
  if (expected == OPEN_SOCKET_STATE) {
    VEL_ERROR("Called with illegal state.  Expected %d (OPEN_SOCKET_STATE), got %d.", expected,
              state);
  } else {
    VEL_ERROR("Called with illegal state.  Expected %d (REG_COMPLETE_STATE), got %d.", expected,
              state);
  }
  return false;
}

// The registration of an outstanding data request, or null (traced) when the id is not
// outstanding or belongs to a task request.
AttrGroupReg* outstandingGroup(const char* requestId) {
  AttrGroupReg* reg = nullptr;
  if (requestId) {
    LockGuard guard(&g.lock);
    HashMapEntry* e = g.outstanding ? g.outstanding->getEntry(requestId) : nullptr;
    if (e && e->data != e->key) reg = static_cast<AttrGroupReg*>(const_cast<void*>(e->data));
  }
  if (!reg) VEL_ERROR("Did not find id %s", requestId ? requestId : "(null)");
  return reg;
}

// Removes the id from the outstanding requests; false when it was not there.
bool retireId(const char* requestId) {
  if (!requestId) return false;
  LockGuard guard(&g.lock);
  if (!g.outstanding) return false;
  const char* storedKey = nullptr;
  g.outstanding->remove(requestId, &storedKey);
  if (!storedKey) return false;
  free(const_cast<char*>(storedKey));
  return true;
}

void appendEscaped(HOZ::String* out, const char* text) {
  if (!text) return;
  char* escaped = nullptr;
  substituteEntities(text, &escaped);
  out->append(escaped ? escaped : text);
  free(escaped);
}

int valuesSize(const char** values, int count) {
  long long size = 0;
  for (int i = 0; values && i < count; ++i) {
    if (values[i]) size += static_cast<long long>(strlen(values[i])) + 18;
  }
  return size > 0x3FFFFFFF ? 0x3FFFFFFF : static_cast<int>(size);
}

void appendResponseHeader(HOZ::String* out, const char* id, const char* group) {
  out->append("<dataResponse id=\"");
  out->append(id);
  out->append("\"><attrGroup name=\"");
  out->append(group);
  out->append("\">");
}

void appendEventStart(HOZ::String* out, const char* subnode, const char* group) {
  if (subnode) {
    out->append("<pureEvent subnode=\"");
    out->append(subnode);
    out->append("\">");
  } else {
    out->append("<pureEvent>");
  }
  out->append("<attrGroup name=\"");
  out->append(group);
  out->append("\">");
}

bool writeMessage(HOZ::String* message) {
  return g.socket && message->buffer && g.socket->write(message);
}

AttrGroupReg* groupByHandle(const void* handle) {
  if (!g.groups) return nullptr;
  HashMapIterator it = g.groups->iterator();
  while (it.hasNext()) {
    it.next();
    auto* reg = static_cast<AttrGroupReg*>(it.getData());
    if (reg && reg->handle == handle) return reg;
  }
  return nullptr;
}

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

char* dupOrNull(const char* s) { return s ? strdup(s) : nullptr; }

AttrGroupReg* findGroup(const HashMap* groups, const char* name) {
  if (!groups || !name) return nullptr;
  return static_cast<AttrGroupReg*>(groups->get(name));
}

}  // namespace

// ---- Escaping and message segments ------------------------------------------------------------

void substituteEntities(const char* text, char** out) {
  if (!out) return;
  *out = nullptr;
  if (!text || !text[strcspn(text, "&'\"<>\n")]) return;
  size_t length = strlen(text);
  char* escaped = static_cast<char*>(malloc(length * 6 + 1));
  if (!escaped) {
    VEL_ERROR("malloc failed");
    return;
  }
  char* w = escaped;
  for (const char* p = text; *p; ++p) {
    const char* entity = nullptr;
    switch (*p) {
      case '&':
        entity = "&amp;";
        break;
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '"':
        entity = "&quot;";
        break;
      case '\'':
        entity = "&apos;";
        break;
      case '\n':
        entity = "&#10;";
        break;
      default:
        *w++ = *p;
        continue;
    }
    size_t n = strlen(entity);
    memcpy(w, entity, n);
    w += n;
  }
  *w = '\0';
  *out = escaped;
}

void buildInstanceXMLSegment(HOZ::String* out, const char** values, int count) {
  out->append("<in><al>");
  for (int i = 0; values && i < count; ++i) {
    out->append("<a v=\"");
    appendEscaped(out, values[i]);
    out->append("\"/>");
  }
  out->append("</al></in>");
}

void buildActionXMLSegment(HOZ::String* out, const char** outputs, int outputCount,
                           const char** instances, int instanceCount) {
  for (int i = 0; outputs && i < outputCount; ++i) {
    out->append("<output value=\"");
    appendEscaped(out, outputs[i]);
    out->append("\"");
    if (instances && i < instanceCount && instances[i]) {
      out->append(" inst=\"");
      appendEscaped(out, instances[i]);
      out->append("\"");
    }
    out->append("/>");
  }
}

// ---- Opening, registration, closing ----------------------------------------------------------

void cp_setPort(int port) { g.port = port; }

int cp_OpenConnection() { return cp_OpenConnectionWithProperties(nullptr, 0); }

int cp_OpenConnectionWithProperties(char** properties, int count) {
  VEL_FLOW_ENTRY("cp_OpenConnectionWithProperties");
  if (g.port == -1) {
    const char* env = getenv("CP_PORT");
    if (env) {
      g.port = atoi(env);
    } else if (!properties || count < 1) {
      VEL_ERROR("CP_PORT not found in the environment");
      VEL_RETURN(CP_NO_PORT);
    } else {
      for (int i = 0; i < count; ++i) {
        if (properties[i] && strncmp(properties[i], "CP_PORT=", 8) == 0) {
          g.port = atoi(properties[i] + 8);
          break;
        }
      }
      if (g.port == -1) {
        VEL_ERROR("CP_PORT not found in the proerties list");
        VEL_RETURN(CP_NO_PORT);
      }
    }
  }
  bool threaded = false;
  for (int i = 0; properties && i < count; ++i) {
    if (properties[i] && strncmp(properties[i], "CP_MULTITHREADED=", 17) == 0) threaded = true;
  }
  if (g.state.load() != CLOSED_STATE) cp_CloseConnection();
  g.multiThreaded = threaded;
  if (threaded) VEL_DETAIL("Custom provider is multiThreaded.");

  g.groups = new HashMap();
  {
    LockGuard guard(&g.lock);
    g.outstanding = new HashMap();
  }
  g.socket = new ClientSocket(g.port, kLoopback);
  g.socket->setFirstRetryPause(g.retryPause);
  g.socket->setMaxMessageLength(g.maxMessage);
  int result = CP_OK;
  if (g.socket->open()) {
    g.state = OPEN_SOCKET_STATE;
  } else {
    result = CP_OPEN_FAILED;
    // Nothing of a failed open is kept: the session stays closed and clean.
    delete g.socket;
    g.socket = nullptr;
    delete g.groups;
    g.groups = nullptr;
    LockGuard guard(&g.lock);
    delete g.outstanding;
    g.outstanding = nullptr;
  }
  const char* size = PEB1_GetEnv("CDP_CPCI_INITIAL_SIZE", nullptr);
  if (size) g.initialSize = atoi(size);
  if (g.initialSize < 256) g.initialSize = 256;
  VEL_RETURN(result);
}

int cp_RegisterAttrGroup(const char* name, int version, const void* handle) {
  VEL_FLOW_ENTRY("cp_RegisterAttrGroup");
  if (!checkState(OPEN_SOCKET_STATE)) VEL_RETURN(CP_BAD_STATE);
  auto* reg = static_cast<AttrGroupReg*>(calloc(1, sizeof(AttrGroupReg)));
  if (!reg) {
    VEL_ERROR("malloc failed for creating AGPTR.");
    VEL_RETURN(CP_BAD_STATE);
  }
  reg->name = name ? strdup(name) : nullptr;
  if (!reg->name) {
    VEL_ERROR("strdup failed for agPtr->name.");
    free(reg);
    VEL_RETURN(CP_BAD_STATE);
  }
  reg->version = version;
  reg->handle = handle;
  if (pthread_key_create(&reg->bufferKey, bufferKeyDestructor) != 0) {
    VEL_ERROR("pthread_key_create failed for attribute group %s", reg->name);
    free(reg->name);
    free(reg);
    VEL_RETURN(CP_BAD_STATE);
  }
  // A second registration of a name replaces the first; the first is released here so that
  // nothing is lost track of.
  auto* previous = static_cast<AttrGroupReg*>(g.groups->get(reg->name));
  if (previous) {
    const char* oldKey = nullptr;
    g.groups->remove(previous->name, &oldKey);
    dropThreadBuffer(previous);
    pthread_key_delete(previous->bufferKey);
    free(previous->name);
    free(previous);
  }
  g.groups->put(reg->name, reg);
  VEL_RETURN(CP_OK);
}

int cp_RegistrationComplete() {
  VEL_FLOW_ENTRY("cp_RegistrationComplete");
  if (!checkState(OPEN_SOCKET_STATE)) VEL_RETURN(CP_BAD_STATE);
  HOZ::String message(1024);
  message.append("<cpciRegister ver=\"6\"");
  if (g.multiThreaded) message.append(" threaded=\"1\"");
  message.append("><attrGroupList>");
  HashMapIterator it = g.groups->iterator();
  while (it.hasNext()) {
    it.next();
    auto* reg = static_cast<AttrGroupReg*>(it.getData());
    message.append("<attrGroup name=\"");
    message.append(reg->name);
    message.append("\" ver=\"");
    message.appendItoa(reg->version);
    message.append("\"/>");
  }
  message.append("</attrGroupList></cpciRegister>\n");
  bool ok = writeMessage(&message);
  g.state = REG_COMPLETE_STATE;
  VEL_RETURN(ok ? CP_OK : CP_WRITE_FAILED);
}

int cp_CloseConnection() {
  VEL_FLOW_ENTRY("cp_CloseConnection");
  if (g.socket) g.socket->closeSocket();
  g.state = CLOSED_STATE;
  delete g.socket;
  g.socket = nullptr;
  {
    LockGuard guard(&g.lock);
    if (g.outstanding) {
      g.outstanding->foreach (
          [](const char* key, const void*, void*) { free(const_cast<char*>(key)); }, nullptr);
      delete g.outstanding;
      g.outstanding = nullptr;
    }
    g.requestCounter = 0;
  }
  if (g.groups) {
    HashMapIterator it = g.groups->iterator();
    while (it.hasNext()) {
      it.next();
      auto* reg = static_cast<AttrGroupReg*>(it.getData());
      dropThreadBuffer(reg);
      pthread_key_delete(reg->bufferKey);
      free(reg->name);
      free(reg);
    }
    delete g.groups;
    g.groups = nullptr;
  }
  // Buffers of threads that are still alive are no longer reachable through their keys, so they
  // are freed here. Senders run under the program's send mutex, which the closing thread holds
  // too; a later send finds the link closed and returns before it looks for its buffer.
  List stale;
  {
    LockGuard guard(&gBufferLock);
    while (gBuffers.getCount() > 0) stale.add(gBuffers.pop());
  }
  for (int i = 0; i < stale.getCount(); ++i) delete static_cast<HOZ::String*>(stale.get(i));
  g.clientIndex = 0x10000000;
  VEL_RETURN(CP_OK);
}

// ---- Responses -------------------------------------------------------------------------------

int cp_SetAttributeValues(const char** values, int count, const char* requestId) {
  if (!checkState(REG_COMPLETE_STATE)) return CP_BAD_STATE;
  AttrGroupReg* reg = outstandingGroup(requestId);
  if (!reg) return CP_UNKNOWN_ID;
  HOZ::String* buffer = threadBuffer(reg);
  if (!buffer || !buffer->buffer) {
    printf("DxN cp_SetAttributeValues no memory in string buffer1\n");
    return CP_NO_MEMORY;
  }
  if (strncmp(buffer->buffer, "<dataResponse", 13) != 0) {
    appendResponseHeader(buffer, requestId, reg->name);
  }
  long long needed = static_cast<long long>(buffer->length) + 640 + valuesSize(values, count);
  if (needed > 0x3FFFFFFF) needed = 0x3FFFFFFF;
  buffer->reserve(static_cast<int>(needed));
  if (!buffer->buffer) {
    printf("DxN cp_SetAttributeValues Out of Memory attempting to obtain %d bytes1\n",
           static_cast<int>(needed));
    return CP_NO_MEMORY;
  }
  buildInstanceXMLSegment(buffer, values, count);
  if (!buffer->buffer) {
    printf("DxN cp_SetAttributeValues Out of Memory attempting to obtain %d bytes1\n",
           static_cast<int>(needed));
    return CP_NO_MEMORY;
  }
  return CP_OK;
}

// Writes a complete response, empties the group's buffer and retires the request id.
static int finishResponse(HOZ::String* buffer, AttrGroupReg* reg, const char* requestId) {
  bool ok = writeMessage(buffer);
  buffer->clear();
  if (g.multiThreaded) dropThreadBuffer(reg);
  retireId(requestId);
  return ok ? CP_OK : CP_WRITE_FAILED;
}

int cp_SendData(const char* requestId) {
  VEL_FLOW_ENTRY("cp_SendData");
  if (!checkState(REG_COMPLETE_STATE)) VEL_RETURN(CP_BAD_STATE);
  AttrGroupReg* reg = outstandingGroup(requestId);
  if (!reg) VEL_RETURN(CP_UNKNOWN_ID);
  HOZ::String* buffer = threadBuffer(reg);
  if (!buffer || !buffer->buffer) {
    printf("DxN cp_SendData no memory in string buffer\n");
    VEL_RETURN(CP_NO_MEMORY);
  }
  if (strncmp(buffer->buffer, "<dataResponse", 13) != 0) {
    appendResponseHeader(buffer, requestId, reg->name);
  }
  buffer->append("</attrGroup></dataResponse>\n");
  if (!buffer->buffer) {
    printf("DxN cp_SendData no memory in string buffer\n");
    VEL_RETURN(CP_NO_MEMORY);
  }
  VEL_RETURN(finishResponse(buffer, reg, requestId));
}

int cp_SendError(int rc, const char* requestId) {
  VEL_FLOW_ENTRY("cp_SendError");
  if (!checkState(REG_COMPLETE_STATE)) VEL_RETURN(CP_BAD_STATE);
  AttrGroupReg* reg = outstandingGroup(requestId);
  if (!reg) VEL_RETURN(CP_UNKNOWN_ID);
  HOZ::String* buffer = threadBuffer(reg);
  if (!buffer || !buffer->buffer) {
    printf("DxN cp_SendError no memory in string buffer\n");
    VEL_RETURN(CP_NO_MEMORY);
  }
  // Rows gathered for this response are dropped: the error answer replaces them, and the line
  // stays one well-formed message.
  buffer->clear();
  appendResponseHeader(buffer, requestId, reg->name);
  buffer->append("<error rc=\"");
  buffer->appendItoa(rc);
  buffer->append("\"/></attrGroup></dataResponse>\n");
  if (!buffer->buffer) {
    printf("DxN cp_SendError no memory in string buffer\n");
    VEL_RETURN(CP_NO_MEMORY);
  }
  VEL_RETURN(finishResponse(buffer, reg, requestId));
}

// ---- Events ----------------------------------------------------------------------------------

int cp_SendEventData(const char** values, int count, const void* handle) {
  return cp_SendSubnodeEventData(values, count, handle, nullptr);
}

int cp_SendSubnodeEventData(const char** values, int count, const void* handle,
                            const char* subnode) {
  VEL_FLOW_ENTRY("cp_SendSubnodeEventData");
  if (!checkState(REG_COMPLETE_STATE)) VEL_RETURN(CP_BAD_STATE);
  AttrGroupReg* reg = groupByHandle(handle);
  if (!reg) VEL_RETURN(CP_UNKNOWN_HANDLE);
  HOZ::String message(256);
  appendEventStart(&message, subnode, reg->name);
  long long size = static_cast<long long>(message.length) + 640 + valuesSize(values, count);
  if (size > 0x3FFFFFFF) size = 0x3FFFFFFF;
  message.reserve(static_cast<int>(size));
  if (!message.buffer) {
    printf("DxN cp_SendEventData Out of Memory attempting to obtain %d bytes\n",
           static_cast<int>(size));
    VEL_RETURN(CP_NO_MEMORY);
  }
  buildInstanceXMLSegment(&message, values, count);
  message.append("</attrGroup></pureEvent>\n");
  if (!message.buffer) {
    printf("DxN cp_SendEventData Out of Memory attempting to obtain %d bytes\n",
           static_cast<int>(size));
    VEL_RETURN(CP_NO_MEMORY);
  }
  VEL_RETURN(writeMessage(&message) ? CP_OK : CP_WRITE_FAILED);
}

int cp_SendEventError(int rc, const void* handle) {
  return cp_SendSubnodeEventError(rc, handle, nullptr);
}

int cp_SendSubnodeEventError(int rc, const void* handle, const char* subnode) {
  VEL_FLOW_ENTRY("cp_SendSubnodeEventError");
  if (!checkState(REG_COMPLETE_STATE)) VEL_RETURN(CP_BAD_STATE);
  AttrGroupReg* reg = groupByHandle(handle);
  if (!reg) VEL_RETURN(CP_UNKNOWN_HANDLE);
  HOZ::String message(256);
  appendEventStart(&message, subnode, reg->name);
  message.append("<error rc=\"");
  message.appendItoa(rc);
  message.append("\"/></attrGroup></pureEvent>\n");
  VEL_RETURN(writeMessage(&message) ? CP_OK : CP_WRITE_FAILED);
}

// ---- Take-action results ---------------------------------------------------------------------

int cp_SendTaskRC(int rc, const char* requestId) {
  return cp_SendTaskRCWithOutput(rc, requestId, nullptr, 0, nullptr, 0);
}

int cp_SendTaskRCWithOutput(int rc, const char* requestId, const char** instances,
                            int instanceCount, const char** outputs, int outputCount) {
  VEL_FLOW_ENTRY("cp_SendTaskRCWithOutput");
  if (g.state.load() != REG_COMPLETE_STATE) VEL_RETURN(CP_BAD_STATE);
  if (!retireId(requestId)) {
    VEL_ERROR("Did not find id %s", requestId ? requestId : "(null)");
    VEL_RETURN(CP_UNKNOWN_ID);
  }
  HOZ::String message(256);
  message.append("<taskResponse id=\"");
  message.append(requestId);
  message.append("\" rc=\"");
  message.appendItoa(rc);
  if (!outputs || outputCount < 1) {
    message.append("\"/>\n");
  } else {
    message.append("\">");
    buildActionXMLSegment(&message, outputs, outputCount, instances, instanceCount);
    message.append("</taskResponse>\n");
  }
  VEL_RETURN(writeMessage(&message) ? CP_OK : CP_WRITE_FAILED);
}

// ---- Requests sent by the client -------------------------------------------------------------

int cp_SendRequest(const char* attrGroup) {
  return cp_SendSubnodeRequestWithFilter(attrGroup, nullptr, nullptr);
}

int cp_SendSubnodeRequest(const char* attrGroup, const char* subnode) {
  return cp_SendSubnodeRequestWithFilter(attrGroup, subnode, nullptr);
}

int cp_SendSubnodeRequestWithFilter(const char* attrGroup, const char* subnode,
                                    RequestInfo* filter) {
  VEL_FLOW_ENTRY("cp_SendSubnodeRequestWithFilter");
  if (!checkState(REG_COMPLETE_STATE)) VEL_RETURN(CP_BAD_STATE);
  int id;
  {
    LockGuard guard(&g.lock);
    id = static_cast<int>(static_cast<unsigned>(g.requestCounter) +
                          static_cast<unsigned>(g.clientIndex.load()));
    if (++g.requestCounter > 0x0FFFFFFF) g.requestCounter = 0;
  }
  HOZ::String message(g.initialSize);
  if (!message.buffer) {
    printf("DxN cp_SendError no memory in string buffer\n");
    VEL_RETURN(CP_NO_MEMORY);
  }
  message.append("<dataRequest id=\"");
  message.appendItoa(id);
  message.append("\"");
  if (subnode) {
    message.append(" subnode=\"");
    message.append(subnode);
    message.append("\"");
  }
  message.append("><attrGroup name=\"");
  message.append(attrGroup);
  for (RequestInfo* info = filter; info; info = info->next) {
    message.append("\"/><requestInfo name=\"");
    message.append(info->name);
    // Filter values and operators are free text: escaped so that the line stays one message.
    if (info->value) {
      message.append("\" value=\"");
      appendEscaped(&message, info->value);
    }
    if (info->op) {
      message.append("\" op=\"");
      appendEscaped(&message, info->op);
    }
    if (info->logicalOp) {
      message.append("\" logicalOp=\"");
      appendEscaped(&message, info->logicalOp);
    }
  }
  // The request is closed with its own end tag, so that the line is well-formed XML.
  message.append("\"/></dataRequest>\n");
  if (!message.buffer) {
    printf("DxN cp_SendError no memory in string buffer\n");
    VEL_RETURN(CP_NO_MEMORY);
  }
  VEL_RETURN(writeMessage(&message) ? id : CP_WRITE_FAILED);
}

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
      action = IncomingAction::kReturn;
    }
  } else if (h.isTaskRequest()) {
    if (!h.getId() || !h.getTaskRequest()) {
      // A take action needs an id to answer and a command to run.
      VEL_ERROR("Task request without %s ignored", h.getId() ? "command" : "id");
    } else {
      r->action = strdup(h.getTaskRequest());
      r->user = dupOrNull(h.getTaskRequestUser());
      r->type = TASK_REQUEST;
      r->id = strdup(h.getId());
      action = IncomingAction::kReturn;
    }
  } else if (h.isRequestStartedRequest()) {
    VEL_DETAIL("Got request start for attribute group %s", h.getAttrGroup());
    AttrGroupReg* reg = findGroup(groups, h.getAttrGroup());
    if (!reg) {
      VEL_ERROR("Requested attribute group <%s> was not registered!!!", h.getAttrGroup());
    } else {
      r->handle = reg->handle;
      r->type = REQUEST_STARTED;
      r->requestStartedID = dupOrNull(h.getRequestStartedID());
      action = IncomingAction::kReturn;
    }
  } else if (h.isRequestStoppedRequest()) {
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
    action = IncomingAction::kReturn;
  } else if (h.isShutdownRequest()) {
    r->type = SHUTDOWN_REQUEST;
    action = IncomingAction::kReturn;
  } else if (h.isDataResponse()) {
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
    action = IncomingAction::kReturn;
  } else if (h.isConnection()) {
    if (connectionId) *connectionId = h.getConnectionId();
    VEL_DUMPMSG("Received connection id %d", h.getConnectionId());
    action = IncomingAction::kConnection;
  } else {
    VEL_ERROR("Unrecognized request: %s", text ? text : "");
  }

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

// ---- Inspection and tuning -------------------------------------------------------------------

int cp_GetState() { return g.state.load(); }

int cp_GetOutstandingCount() {
  LockGuard guard(&g.lock);
  return g.outstanding ? g.outstanding->getCount() : 0;
}

bool cp_IsOutstanding(const char* requestId) {
  if (!requestId) return false;
  LockGuard guard(&g.lock);
  return g.outstanding && g.outstanding->contains(requestId);
}

void cp_SetConnectRetryPause(unsigned seconds) { g.retryPause = seconds; }

void cp_SetMaxMessageLength(int bytes) {
  g.maxMessage = bytes > 0 ? bytes : ClientSocket::kDefaultMaxMessage;
  if (g.socket) g.socket->setMaxMessageLength(g.maxMessage);
}
