// velagent's request language as the demo and the benchmarks use it: the data line, the runner
// against a raw collector, and the velagent command itself. The console's cosmetics (cell
// escaping, table and JSON layouts) and the other commands' spellings are left untested here: the
// demo's end-to-end test runs them.
#include "AgentScript.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <thread>

#include "RawClient.h"
#include "TestSupport.h"

using namespace velagent;

namespace {

Command parse(const std::string& line) {
  Command c;
  std::string err;
  EXPECT_TRUE(parseCommand(line, c, &err)) << line << ": " << err;
  return c;
}

}  // namespace

TEST(AgentScriptParse, DataLineBuildsRequestInfoInOrder) {
  Command c = parse(
      "data RDB_Tablespace PROD rid=r1 attrs=NAME,STATUS filter=\"((STATUS EQ 'ONLINE'))\" "
      "ID GT 5 and NAME EQ \"a b\" OR X LE 1");
  EXPECT_EQ(c.kind, Command::kData);
  EXPECT_EQ(c.group, "RDB_Tablespace");
  EXPECT_EQ(c.subnode, "PROD");
  EXPECT_EQ(c.requestStartedId, "r1");
  ASSERT_EQ(c.items.size(), 6u);
  EXPECT_EQ(c.items[0].name, "NAME");
  EXPECT_EQ(c.items[0].value, "");
  EXPECT_EQ(c.items[0].op, "EQ");
  EXPECT_EQ(c.items[0].logOp, "AND");
  EXPECT_EQ(c.items[1].name, "STATUS");
  EXPECT_EQ(c.items[2].name, "_FILTER");
  EXPECT_EQ(c.items[2].value, "((STATUS EQ 'ONLINE'))");
  EXPECT_EQ(c.items[3].name, "ID");
  EXPECT_EQ(c.items[3].op, "GT");
  EXPECT_EQ(c.items[3].value, "5");
  EXPECT_EQ(c.items[3].logOp, "AND");
  EXPECT_EQ(c.items[4].value, "a b");
  EXPECT_EQ(c.items[4].logOp, "OR");
  // The last condition has no connective after it, so no logOp.
  EXPECT_FALSE(c.items[5].hasLogOp);
  // A trailing connective gives it one; '-' means no subnode.
  Command t = parse("data G - A EQ 1 and");
  EXPECT_EQ(t.subnode, "");
  ASSERT_EQ(t.items.size(), 1u);
  EXPECT_TRUE(t.items[0].hasLogOp);
  EXPECT_EQ(t.items[0].logOp, "AND");
}

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
