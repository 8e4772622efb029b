// An agent simulator (velagent's AgentSim) on loopback with the link of this process connected
// to it and the given groups registered (each with its own name as handle and version 1): the
// tests of the layers that send through the link observe requests, answers and events with it.
// One at a time per process: the link is process-wide.
#ifndef VEL_TESTS_SUPPORT_LINKEDAGENT_H
#define VEL_TESTS_SUPPORT_LINKEDAGENT_H

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "AgentSim.h"
#include "Vel_PostEvent.h"
#include "cp_api.h"

namespace veltest {

class LinkedAgent {
 public:
  explicit LinkedAgent(std::initializer_list<const char*> groups = {kAgentEventGroup}) {
    EXPECT_TRUE(m_agent.listen(0));
    cp_setPort(m_agent.port());
    char property[] = "CP_MULTITHREADED=YES";
    char* properties[] = {property};
    EXPECT_EQ(cp_OpenConnectionWithProperties(properties, 1), 0);
    EXPECT_TRUE(m_agent.acceptClient(5000));
    for (const char* g : groups) EXPECT_EQ(cp_RegisterAttrGroup(g, 1, g), 0) << g;
    EXPECT_EQ(cp_RegistrationComplete(), 0);
    EXPECT_TRUE(m_agent.waitRegistration(5000));
  }
  ~LinkedAgent() { cp_CloseConnection(); }
  LinkedAgent(const LinkedAgent&) = delete;
  LinkedAgent& operator=(const LinkedAgent&) = delete;

  // The agent sends a data request; returns the record the link hands over (id in *id).
  Request* receive(const std::string& group, const std::string& subnode,
                   const std::vector<velagent::RequestInfoItem>& items = {},
                   std::string* id = nullptr) {
    std::string sent = m_agent.sendDataRequest(group, subnode, items);
    EXPECT_FALSE(sent.empty());
    if (id) *id = sent;
    Request* request = nullptr;
    EXPECT_EQ(cp_WaitForRequest(&request), 0);
    return request;
  }
  velagent::Answer answer(const std::string& id, int timeoutMs = 5000) {
    return m_agent.waitAnswer(id, timeoutMs);
  }
  // The events that arrived within a short wait for at least count of them.
  std::vector<velagent::Event> events(size_t count, int timeoutMs = 3000) {
    m_agent.waitEvents(count, timeoutMs);
    return m_agent.events();
  }
  velagent::AgentSim& agent() { return m_agent; }

 private:
  velagent::AgentSim m_agent;
};

// The values of an Agent_Event row: severity, category, subnode, id, message, detail, suggestion.
inline std::vector<std::string> eventRow(const velagent::Event& e) {
  return e.rows.empty() ? std::vector<std::string>{} : e.rows[0];
}

}  // namespace veltest

#endif  // VEL_TESTS_SUPPORT_LINKEDAGENT_H
