// The collector's link (cp_* API) against velagent's agent side (AgentSim) over loopback: the
// agent's shutdown ends the collector's wait and the collector's close reaches the agent. Requests,
// answers and their exact bytes are checked in tests/unit/link and tests/unit/agent, and every
// velclient run goes through this pair.
#include <gtest/gtest.h>

#include "AgentSim.h"
#include "cp_api.h"

namespace {

const char kMonitored[] = "Monitored_Databases";

TEST(LinkE2E, ShutdownEndsTheWaitAndTheCollectorCloses) {
  cp_SetConnectRetryPause(0);
  velagent::AgentSim agent;
  ASSERT_TRUE(agent.listen(0)) << agent.lastError();
  cp_setPort(agent.port());
  char prop[] = "CP_MULTITHREADED=YES";
  char* props[] = {prop};
  ASSERT_EQ(cp_OpenConnectionWithProperties(props, 1), 0);
  ASSERT_EQ(cp_RegisterAttrGroup(kMonitored, 1, kMonitored), 0);
  ASSERT_EQ(cp_RegistrationComplete(), 0);
  ASSERT_TRUE(agent.waitRegistration(5000)) << agent.lastError();
  ASSERT_TRUE(agent.sendShutdown());
  Request* r = nullptr;
  EXPECT_EQ(cp_WaitForRequest(&r), 0);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->type, SHUTDOWN_REQUEST);
  cp_FreeRequest(r);
  cp_CloseConnection();
  EXPECT_TRUE(agent.waitClientClosed(5000));
  EXPECT_TRUE(agent.violations().empty()) << agent.violations()[0];
}

}  // namespace
