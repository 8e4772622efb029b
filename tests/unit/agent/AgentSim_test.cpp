// AgentSim against a raw-socket collector: framing, answers, events, checks of the collector's
// messages, closing from either side, and starting a program the way the agent does.
#include "AgentSim.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "RawClient.h"
#include "TestSupport.h"

using namespace velagent;

namespace {

const char kRegistration[] =
    "<cpciRegister ver=\"6\" threaded=\"1\"><attrGroupList><attrGroup name=\"G\" ver=\"1\"/>"
    "<attrGroup name=\"Agent_Event\" ver=\"1\"/></attrGroupList></cpciRegister>\n";

// An agent listening, with a raw client connected and registered.
class AgentLinked : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.listen(0)) << sim.lastError();
    ASSERT_TRUE(client.connect(sim.port()));
    ASSERT_TRUE(sim.acceptClient(2000)) << sim.lastError();
    ASSERT_TRUE(client.send(kRegistration));
    ASSERT_TRUE(sim.waitRegistration(2000)) << sim.lastError();
  }

  // Reads the next line the agent sent and returns the value of its id attribute.
  std::string readId() {
    std::string line;
    if (!client.readLine(line, 2000)) return std::string();
    XmlParseResult pr = parseXmlLine(line);
    const std::string* id = pr.ok ? pr.root.attr("id") : nullptr;
    return id == nullptr ? std::string() : *id;
  }

  AgentSim sim;
  RawClient client;
};

std::string answerFor(const std::string& id, const std::string& group, const std::string& rows) {
  return "<dataResponse id=\"" + id + "\"><attrGroup name=\"" + group + "\">" + rows +
         "</attrGroup></dataResponse>\n";
}

bool writeScript(const std::string& path, const std::string& body) {
  if (!veltest::writeFile(path, "#!/bin/bash\n" + body)) return false;
  return chmod(path.c_str(), 0755) == 0;
}

bool mentions(const std::vector<std::string>& list, const std::string& part) {
  for (const auto& s : list) {
    if (s.find(part) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

TEST(AgentSimListen, PortZeroPicksAFreePortATakenPortIsRefusedAndAcceptTimesOut) {
  AgentSim a;
  ASSERT_TRUE(a.listen(0));
  EXPECT_GT(a.port(), 0);
  AgentSim b;
  EXPECT_FALSE(b.listen(a.port()));
  EXPECT_FALSE(b.lastError().empty());
  EXPECT_FALSE(b.listen(70000));
  // Without a client, accepting and waiting for the registration time out.
  EXPECT_FALSE(a.acceptClient(50));
  EXPECT_FALSE(a.waitRegistration(50));
  EXPECT_FALSE(a.connected());
}

TEST_F(AgentLinked, DataRequestIsWrittenExactlyAndItsAnswerCollected) {
  std::vector<RequestInfoItem> items(1);
  items[0].name = "_FILTER";
  items[0].value = "((A EQ 'x'))";
  items[0].op = "EQ";
  items[0].logOp = "AND";
  std::string id = sim.sendDataRequest("G", "S1", items, "r9");
  ASSERT_FALSE(id.empty());
  std::string line;
  ASSERT_TRUE(client.readLine(line, 2000));
  EXPECT_EQ(line, "<dataRequest id=\"" + id +
                      "\" requestStartedID=\"r9\" subnode=\"S1\"><attrGroup name=\"G\"/>"
                      "<requestInfo name=\"_FILTER\" value=\"((A EQ &apos;x&apos;))\" op=\"EQ\" "
                      "logOp=\"AND\"/></dataRequest>");
  EXPECT_EQ(sim.outstanding(), std::vector<std::string>{id});
  // An event and the answer in one write: both are taken apart.
  ASSERT_TRUE(client.send(
      "<pureEvent subnode=\"S1\"><attrGroup name=\"Agent_Event\"><in><al><a v=\"e\"/></al></in>"
      "</attrGroup></pureEvent>\n" +
      answerFor(id, "G",
                "<in><al><a v=\"1\"/><a v=\"x&amp;y\"/></al></in><in><al><a v=\"2\"/>"
                "<a v=\"\"/></al></in>")));
  Answer a = sim.waitAnswer(id, 2000);
  ASSERT_TRUE(a.ok()) << waitStatusName(a.status);
  EXPECT_EQ(a.group, "G");
  ASSERT_EQ(a.rows.size(), 2u);
  EXPECT_EQ(a.rows[0], (Row{"1", "x&y"}));
  EXPECT_EQ(a.rows[1], (Row{"2", ""}));
  ASSERT_TRUE(sim.waitEvents(1, 2000));
  std::vector<Event> ev = sim.events();
  ASSERT_EQ(ev.size(), 1u);
  EXPECT_EQ(ev[0].subnode, "S1");
  EXPECT_LT(ev[0].seq, a.seq);
  EXPECT_TRUE(sim.outstanding().empty());
  EXPECT_TRUE(sim.violations().empty()) << sim.violations()[0];
  // The answer was taken: waiting again finds nothing.
  EXPECT_EQ(sim.waitAnswer(id, 50).status, WaitStatus::kTimeout);
}

TEST_F(AgentLinked, AnswersThatWereNotAskedForAreViolations) {
  // Never sent.
  ASSERT_TRUE(client.send(answerFor("999", "G", "")));
  // Answered twice, and for the wrong group.
  std::string id = sim.sendDataRequest("G", "S", {});
  ASSERT_EQ(readId(), id);
  ASSERT_TRUE(client.send(answerFor(id, "Agent_Event", "")));
  ASSERT_TRUE(sim.waitAnswer(id, 2000).ok());
  ASSERT_TRUE(client.send(answerFor(id, "G", "")));
  ASSERT_TRUE(client.send("<taskResponse id=\"12345\" rc=\"0\"/>\n"));
  ASSERT_TRUE(client.send("<dataResponse id=\"1\"\n"));  // a line that does not end with '>'
  ASSERT_TRUE(client.send(kRegistration));
  // A marker event: once it is in, everything before it has been read.
  ASSERT_TRUE(
      client.send("<pureEvent><attrGroup name=\"Nope\"><in><al></al></in></attrGroup>"
                  "</pureEvent>\n"));
  ASSERT_TRUE(sim.waitEvents(1, 2000));
  std::vector<std::string> v = sim.violations();
  EXPECT_TRUE(mentions(v, "answer for id 999, which is not outstanding")) << v.size();
  EXPECT_TRUE(mentions(v, "answer for group Agent_Event to a request for G"));
  EXPECT_TRUE(mentions(v, "answer for id " + id + ", which is not outstanding"));
  EXPECT_TRUE(mentions(v, "task answer for id 12345"));
  EXPECT_TRUE(mentions(v, "does not end with '>'"));
  EXPECT_TRUE(mentions(v, "a second registration"));
  EXPECT_TRUE(mentions(v, "event for group Nope, which is not registered"));
  EXPECT_EQ(v.size(), 7u);
  std::vector<DataAnswer> stray = sim.takeUnclaimedAnswers();
  ASSERT_EQ(stray.size(), 2u);
  EXPECT_EQ(stray[0].id, "999");
  EXPECT_TRUE(sim.takeUnclaimedAnswers().empty());
  EXPECT_EQ(sim.takeUnclaimedTaskAnswers().size(), 1u);
}

TEST(AgentSimChecks, TheFirstMessageMustBeTheRegistration) {
  AgentSim sim;
  ASSERT_TRUE(sim.listen(0));
  RawClient client;
  ASSERT_TRUE(client.connect(sim.port()));
  ASSERT_TRUE(sim.acceptClient(2000));
  ASSERT_TRUE(
      client.send("<pureEvent><attrGroup name=\"G\"><in><al></al></in></attrGroup>"
                  "</pureEvent>\n"));
  ASSERT_TRUE(sim.waitEvents(1, 2000));
  EXPECT_TRUE(mentions(sim.violations(), "the first message is not the registration"));
  // Ending in the middle of a message is noted as well.
  ASSERT_TRUE(client.send("<pureEvent>"));
  client.close();
  ASSERT_TRUE(sim.waitClientClosed(2000));
  EXPECT_TRUE(mentions(sim.violations(), "ended inside a message"));
}

TEST_F(AgentLinked, WaitsEndOnTimeOutOrWhenTheCollectorCloses) {
  std::string id = sim.sendDataRequest("G", "S", {});
  EXPECT_EQ(sim.waitAnswer(id, 100).status, WaitStatus::kTimeout);
  EXPECT_FALSE(sim.waitEvents(1, 50));
  EXPECT_FALSE(sim.waitClientClosed(50));
  EXPECT_TRUE(sim.connected());
  // A thread already waiting for the answer is woken by the close, long before its limit.
  auto waiting = std::async(std::launch::async, [&] { return sim.waitAnswer(id, 60000).status; });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // lets it start waiting
  client.close();
  EXPECT_TRUE(sim.waitClientClosed(2000));
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), WaitStatus::kClosed);
  EXPECT_FALSE(sim.connected());
  // A wait longer than the test's own limit returns at once once the collector is gone.
  EXPECT_EQ(sim.waitAnswer(id, 60000).status, WaitStatus::kClosed);
  EXPECT_EQ(sim.waitTaskAnswer("7", 60000).status, WaitStatus::kClosed);
  // Nothing is sent any more.
  EXPECT_TRUE(sim.sendDataRequest("G", "S", {}).empty());
  EXPECT_FALSE(sim.sendShutdown());
  EXPECT_TRUE(sim.outstanding() == std::vector<std::string>{id});
}

TEST_F(AgentLinked, TheAgentClosingIsSeenByTheCollectorAndNotCountedAsItsClose) {
  sim.closeClient();
  EXPECT_TRUE(client.waitEof(2000));
  EXPECT_FALSE(sim.connected());
  EXPECT_FALSE(sim.waitClientClosed(50));
  EXPECT_TRUE(sim.sendDataRequest("G", "S", {}).empty());
  EXPECT_EQ(sim.dataRequest("G", "S", {}, 1000).status, WaitStatus::kNotConnected);
  EXPECT_TRUE(sim.violations().empty());
  // A new connection is accepted and starts afresh; a registration sent in pieces is one message.
  RawClient again;
  ASSERT_TRUE(again.connect(sim.port()));
  ASSERT_TRUE(sim.acceptClient(2000));
  EXPECT_FALSE(sim.registered());
  std::string reg = kRegistration;
  ASSERT_TRUE(again.send(reg.substr(0, 10)));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(again.send(reg.substr(10, reg.size() - 11)));  // up to the final '>'
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(sim.registered());
  ASSERT_TRUE(again.send("\n"));
  ASSERT_TRUE(sim.waitRegistration(2000));
  Registration r = sim.registration();
  EXPECT_TRUE(r.threaded);
  ASSERT_EQ(r.groups.size(), 2u);
  EXPECT_TRUE(sim.isRegistered("Agent_Event"));
  EXPECT_FALSE(sim.isRegistered("Other"));
  EXPECT_TRUE(sim.violations().empty());
}

TEST(AgentSimProcess, AProgramThatExitsBeforeConnectingEndsTheWaitAtOnce) {
  veltest::TempDir dir;
  std::string prog = dir.file("quit.sh");
  ASSERT_TRUE(writeScript(prog, "exit 3\n"));
  AgentSim sim;
  ASSERT_TRUE(sim.listen(0));
  ASSERT_TRUE(sim.startClient(prog, ClientOptions()));
  // The limit is far beyond the test's own; the exit ends the wait.
  EXPECT_FALSE(sim.waitRegistration(60000));
  EXPECT_NE(sim.lastError().find("exited with status 3"), std::string::npos) << sim.lastError();
  EXPECT_EQ(sim.waitClientExit(1000), 3);
}

TEST(AgentSimProcess, AHangingProgramIsKilledOnRequestAndOnDestruction) {
  veltest::TempDir dir;
  std::string prog = dir.file("hang.sh");
  ASSERT_TRUE(writeScript(prog, "exec sleep 30\n"));
  AgentSim sim;
  ASSERT_TRUE(sim.listen(0));
  ASSERT_TRUE(sim.startClient(prog, ClientOptions()));
  EXPECT_EQ(sim.waitClientExit(50), -1);
  sim.killClient();
  EXPECT_EQ(sim.waitClientExit(0), 128 + SIGKILL);

  pid_t pid;
  {
    AgentSim scoped;
    ASSERT_TRUE(scoped.listen(0));
    ASSERT_TRUE(scoped.startClient(prog, ClientOptions()));
    pid = scoped.clientPid();
  }
  // Killed and reaped: the pid no longer exists.
  EXPECT_EQ(kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
}
