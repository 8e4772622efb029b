// velagent's script runner against a raw collector: failed lines are counted and reported by line,
// so that the demo's end-to-end test can trust a clean run. The console's parsing and cosmetics
// are left untested here: the demo's end-to-end test runs them.
#include "AgentScript.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "RawClient.h"

using namespace velagent;

namespace {

// A runner over an agent with a raw collector that answers in a thread.
class AgentRunner : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.listen(0));
    ASSERT_TRUE(client.connect(sim.port()));
    ASSERT_TRUE(
        client.send("<cpciRegister ver=\"6\"><attrGroupList><attrGroup name=\"G\" ver=\"1\"/>"
                    "</attrGroupList></cpciRegister>\n"));
  }
  AgentSim sim;
  RawClient client;
  std::ostringstream out;
  std::ostringstream err;
  Printer printer{out, Format::kTable};
};

}  // namespace

TEST_F(AgentRunner, FailuresAreCountedAndReportedByLine) {
  ScriptRunner runner(sim, printer, err, 3000);
  std::istringstream script(
      "# nothing to do\n"
      "timeout 100\n"
      "bogus\n"
      "data G S\n"
      "data Other S\n"
      "events 1\n"
      "wait-exit\n");
  EXPECT_EQ(runner.runStream(script, nullptr, nullptr), 5);
  std::string e = err.str();
  EXPECT_NE(e.find("line 3: unknown command 'bogus'"), std::string::npos) << e;
  EXPECT_NE(e.find("line 4: no answer: timeout"), std::string::npos) << e;
  EXPECT_NE(e.find("line 5: warning: Other is not registered"), std::string::npos) << e;
  EXPECT_NE(e.find("line 6: fewer than 1 new events"), std::string::npos) << e;
  EXPECT_NE(e.find("line 7: no client was started"), std::string::npos) << e;
  EXPECT_NE(out.str().find("data G subnode S id 1: no answer (timeout)"), std::string::npos);
}

TEST_F(AgentRunner, ViolationsAndTheCollectorsCloseAreReported) {
  ScriptRunner runner(sim, printer, err, 2000);
  ASSERT_TRUE(runner.runLine("registration"));
  ASSERT_TRUE(
      client.send("<dataResponse id=\"77\"><attrGroup name=\"G\"></attrGroup>"
                  "</dataResponse>\n"));
  client.close();
  EXPECT_TRUE(runner.runLine("wait-close"));
  EXPECT_EQ(runner.violationCount(), 1u);
  EXPECT_NE(err.str().find("protocol violation: message 2: answer for id 77"), std::string::npos)
      << err.str();
  EXPECT_NE(out.str().find("unexpected answer:\ndata G id 77: 0 rows"), std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("closed: the client closed the connection"), std::string::npos);
  EXPECT_FALSE(runner.runLine("shutdown"));
}
