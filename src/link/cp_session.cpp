// The link session: opening and closing the connection to the agent, the registrations of the
// attribute groups, the outstanding request ids, and each thread's message buffer per group.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "MUT1.h"
#include "PEB1.h"
#include "cp_api.h"
#include "cp_internal.h"

VEL_TRACE_UNIT("link");

namespace cplink {

Session g;

namespace {

char kLoopback[] = "127.0.0.1";

// Every per-thread message buffer alive, so that a thread's exit or the close frees each exactly
// once. Guarded by gBufferLock.
PEB1_Lock gBufferLock;
List gBuffers;

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

// Releases a registration: the calling thread's buffer, the key, the name and the record. Other
// threads' buffers die with their threads or at the close.
void freeGroup(AttrGroupReg* reg) {
  dropThreadBuffer(reg);
  pthread_key_delete(reg->bufferKey);
  free(reg->name);
  free(reg);
}

}  // namespace

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

bool writeMessage(HOZ::String* message) {
  return g.socket && message->buffer && g.socket->write(message);
}

}  // namespace cplink

using namespace cplink;

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
    freeGroup(previous);
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
      freeGroup(static_cast<AttrGroupReg*>(it.getData()));
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
