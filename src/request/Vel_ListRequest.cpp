#include "Vel_ListRequest.h"

#include <cstdio>
#include <cstring>

#include "MUT1.h"
#include "VelUtil.h"
#include "Vel_PostEvent.h"

VEL_TRACE_UNIT("Vel_ListRequest");

Vel_ListRequest::Vel_ListRequest(const char* subnode, const char* instanceName)
    : m_subnode(subnode),
      m_instanceName(instanceName),
      m_maxLength(
          vel_getEnvAsInt("VEL_REQUEST_QUEUE_MAX_LENGTH", VEL_REQUEST_QUEUE_DEFAULT_MAX_LENGTH)) {}

bool Vel_ListRequest::appendRequest(Vel_BaseRequest* request) {
  VEL_FLOW_ENTRY("Vel_ListRequest::appendRequest");
  if (request == nullptr) VEL_RETURN(false);
  int length = 0;
  {
    VelMutexHandler lock(m_mutex);
    length = static_cast<int>(m_list.getCount());
    // The check admits one request beyond the maximum: a queue holds up to maximum + 1 requests.
    if (length <= m_maxLength && !m_list.push_back(request)) {
      VEL_ERROR("Error at memory allocation");
      VEL_RETURN(false);
    }
  }
  if (length > 0 && VEL_TRACE_ON(MUT1_DETAIL)) VEL_DETAIL("Current list length is:%d", length);
  if (length <= m_maxLength) {
    // Wakes the consumer at once (after the queue's lock is released: the event has a lock of
    // its own); its one-second wait is only the rhythm of an idle queue.
    m_event.post();
    VEL_RETURN(true);
  }
  VEL_ERROR(
      "Error at appending request, current list length is:%d, which exceed the max list "
      "length:%d",
      length, m_maxLength);
  VEL_RETURN(false);
}

Vel_ListRequest* Vel_RequestListManager::getRequestList(const char* subnode) {
  if (subnode == nullptr) return nullptr;
  VelMutexHandler lock(m_mutex);
  for (VelListBaseItem* n = m_list.getHead(); n != nullptr; n = n->getNext()) {
    Vel_ListRequest* list = static_cast<Vel_ListRequest*>(n->getDataPtr());
    if (list != nullptr && strcmp(list->getSubNode(), subnode) == 0) return list;
  }
  return nullptr;
}

bool DispatchRequest(Vel_RequestListManager* manager, Vel_AgentFacRequest* request) {
  VEL_FLOW_ENTRY("DispatchRequest");
  if (manager == nullptr || request == nullptr) VEL_RETURN(false);
  Vel_ListRequest* list = manager->getRequestList(request->getSubNode());
  if (list == nullptr) {
    VEL_ERROR("Can not find the request list for subnode:%s", request->getSubNode());
    VEL_RETURN(false);
  }
  if (list->appendRequest(request)) VEL_RETURN(true);
  char text[1024];
  snprintf(text, sizeof(text),
           "Error at appending request for handle is:%s, request id is:%s, because current list "
           "length exceeds the max list length:%d",
           request->getHandle() ? static_cast<const char*>(request->getHandle()) : "",
           request->getRequestID(), list->getMaxLength());
  VEL_ERROR("%s", text);
  Vel_PostEvent::postAgentEvent(1, list->getInstanceName(), text, 1006, "Too many request");
  VEL_RETURN(false);
}
