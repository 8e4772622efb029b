// What the collector sends on the link: data responses, events, take-action results and its own
// data requests, each one line; values escaped as XML attribute text.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "MUT1.h"
#include "cp_api.h"
#include "cp_internal.h"

VEL_TRACE_UNIT("link");

using namespace cplink;

namespace {

int valuesSize(const char** values, int count) {
  long long size = 0;
  for (int i = 0; values && i < count; ++i) {
    if (values[i]) size += static_cast<long long>(strlen(values[i])) + kValueMarkup;
  }
  return size > kMaxReserve ? kMaxReserve : static_cast<int>(size);
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

// The reports of a sender that ran out of memory (on standard output, where the agent's
// support tools look for them); both return CP_NO_MEMORY.
int noMemory(const char* sender, const char* suffix = "") {
  printf("DxN %s no memory in string buffer%s\n", sender, suffix);
  return CP_NO_MEMORY;
}
int noMemory(const char* sender, long long size, const char* suffix = "") {
  printf("DxN %s Out of Memory attempting to obtain %d bytes%s\n", sender, static_cast<int>(size),
         suffix);
  return CP_NO_MEMORY;
}

// The start of every response: the request must be an outstanding data request and the calling
// thread gets its buffer for the group. CP_OK with *reg and *buffer set, else the status.
int responseBuffer(const char* requestId, const char* sender, const char* suffix,
                   AttrGroupReg** reg, HOZ::String** buffer) {
  if (!checkState(REG_COMPLETE_STATE)) return CP_BAD_STATE;
  *reg = outstandingGroup(requestId);
  if (!*reg) return CP_UNKNOWN_ID;
  *buffer = threadBuffer(*reg);
  if (!*buffer || !(*buffer)->buffer) return noMemory(sender, suffix);
  return CP_OK;
}

// Room for the values and the markup around them, at most kMaxReserve.
int reserveFor(const HOZ::String& message, const char** values, int count) {
  long long size =
      static_cast<long long>(message.length) + kMessageMarkup + valuesSize(values, count);
  return size > kMaxReserve ? kMaxReserve : static_cast<int>(size);
}

// Writes a complete response, empties the group's buffer and retires the request id.
int finishResponse(HOZ::String* buffer, AttrGroupReg* reg, const char* requestId) {
  bool ok = writeMessage(buffer);
  buffer->clear();
  if (g.multiThreaded) dropThreadBuffer(reg);
  retireId(requestId);
  return ok ? CP_OK : CP_WRITE_FAILED;
}

}  // namespace

namespace cplink {

void appendEscaped(HOZ::String* out, const char* text) {
  if (!text) return;
  char* escaped = nullptr;
  substituteEntities(text, &escaped);
  out->append(escaped ? escaped : text);
  free(escaped);
}

}  // namespace cplink

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

// ---- Responses -------------------------------------------------------------------------------

int cp_SetAttributeValues(const char** values, int count, const char* requestId) {
  AttrGroupReg* reg = nullptr;
  HOZ::String* buffer = nullptr;
  int status = responseBuffer(requestId, "cp_SetAttributeValues", "1", &reg, &buffer);
  if (status != CP_OK) return status;
  if (strncmp(buffer->buffer, "<dataResponse", 13) != 0) {
    appendResponseHeader(buffer, requestId, reg->name);
  }
  int needed = reserveFor(*buffer, values, count);
  buffer->reserve(needed);
  if (!buffer->buffer) return noMemory("cp_SetAttributeValues", needed, "1");
  buildInstanceXMLSegment(buffer, values, count);
  if (!buffer->buffer) return noMemory("cp_SetAttributeValues", needed, "1");
  return CP_OK;
}

int cp_SendData(const char* requestId) {
  VEL_FLOW_ENTRY("cp_SendData");
  AttrGroupReg* reg = nullptr;
  HOZ::String* buffer = nullptr;
  int status = responseBuffer(requestId, "cp_SendData", "", &reg, &buffer);
  if (status != CP_OK) VEL_RETURN(status);
  if (strncmp(buffer->buffer, "<dataResponse", 13) != 0) {
    appendResponseHeader(buffer, requestId, reg->name);
  }
  buffer->append("</attrGroup></dataResponse>\n");
  if (!buffer->buffer) VEL_RETURN(noMemory("cp_SendData"));
  VEL_RETURN(finishResponse(buffer, reg, requestId));
}

int cp_SendError(int rc, const char* requestId) {
  VEL_FLOW_ENTRY("cp_SendError");
  AttrGroupReg* reg = nullptr;
  HOZ::String* buffer = nullptr;
  int status = responseBuffer(requestId, "cp_SendError", "", &reg, &buffer);
  if (status != CP_OK) VEL_RETURN(status);
  // Rows gathered for this response are dropped: the error answer replaces them, and the line
  // stays one well-formed message.
  buffer->clear();
  appendResponseHeader(buffer, requestId, reg->name);
  buffer->append("<error rc=\"");
  buffer->appendItoa(rc);
  buffer->append("\"/></attrGroup></dataResponse>\n");
  if (!buffer->buffer) VEL_RETURN(noMemory("cp_SendError"));
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
  int size = reserveFor(message, values, count);
  message.reserve(size);
  if (!message.buffer) VEL_RETURN(noMemory("cp_SendEventData", size));
  buildInstanceXMLSegment(&message, values, count);
  message.append("</attrGroup></pureEvent>\n");
  if (!message.buffer) VEL_RETURN(noMemory("cp_SendEventData", size));
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
  if (!message.buffer) VEL_RETURN(noMemory("cp_SendError"));
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
  if (!message.buffer) VEL_RETURN(noMemory("cp_SendError"));
  VEL_RETURN(writeMessage(&message) ? id : CP_WRITE_FAILED);
}
