// The collector's link (cp_* API, driven from a thread of this process) and velagent's agent side
// (AgentSim) over loopback: registration, data and task requests and their answers, events,
// continuous-request notices, requests sent by the collector, bad input, shutdown and the agent
// closing the connection. AgentSim checks every message the link writes (violations()).
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AgentSim.h"
#include "SendMutex.h"
#include "cp_api.h"

using namespace velagent;

namespace {

// Group names are registered with their own pointers as handles, as the program does.
const char kMonitored[] = "Monitored_Databases";
const char kEvent[] = "Agent_Event";
const char kTopSql[] = "RDB_Top_SQL";

constexpr int kWait = 5000;

// A copy of what one request record held, for checks on the test thread.
struct Seen {
  int type = -1;
  const void* handle = nullptr;
  std::string id;
  std::string requestStartedId;
  std::string subnode;
  std::string action;
  std::string user;
  bool shuttingDown = false;
  std::vector<std::vector<std::string>> info;  // name, value, op, logicalOp ("<null>" if absent)
  std::vector<std::vector<std::string>> rows;  // data responses
  std::string responseGroup;
  int responseRc = 0;
};

std::string text(const char* s) { return s == nullptr ? "<null>" : s; }

Seen copyOf(const Request* r) {
  Seen s;
  s.type = r->type;
  s.handle = r->handle;
  s.id = text(r->id);
  s.requestStartedId = text(r->requestStartedID);
  s.subnode = text(r->subnode);
  s.action = text(r->action);
  s.user = text(r->user);
  s.shuttingDown = r->shuttingDown;
  for (RequestInfo* i = r->requestInfo; i != nullptr; i = i->next) {
    s.info.push_back({text(i->name), text(i->value), text(i->op), text(i->logicalOp)});
  }
  for (ResponseRow* row = r->responseRows; row != nullptr; row = row->next) {
    std::vector<std::string> values;
    for (int k = 0; k < row->count; ++k) values.push_back(text(row->values[k]));
    s.rows.push_back(values);
  }
  s.responseGroup = text(r->responseAttrGroup);
  s.responseRc = r->responseRc;
  return s;
}

// The collector side: opens the link, registers, and runs cp_WaitForRequest on a thread until a
// shutdown request, handing each record to the handler (which answers it) and keeping a copy.
class Collector {
 public:
  using Handler = std::function<void(const Request*)>;

  int open(int port, bool threaded) {
    cp_setPort(port);
    char prop[] = "CP_MULTITHREADED=YES";
    char* props[] = {prop};
    int rc = cp_OpenConnectionWithProperties(threaded ? props : nullptr, threaded ? 1 : 0);
    if (rc != 0) return rc;
    for (const char* g : {kMonitored, kEvent}) {
      rc = cp_RegisterAttrGroup(g, 1, g);
      if (rc != 0) return rc;
    }
    rc = cp_RegisterAttrGroup(kTopSql, 2, kTopSql);
    if (rc != 0) return rc;
    return cp_RegistrationComplete();
  }

  void run(Handler handler) {
    m_thread = std::thread([this, handler] {
      for (;;) {
        Request* r = nullptr;
        int rc = cp_WaitForRequest(&r);
        Seen s = copyOf(r);
        {
          std::lock_guard<std::mutex> lock(m_mutex);
          m_seen.push_back(s);
        }
        if (rc == 0 && s.type != SHUTDOWN_REQUEST && handler) handler(r);
        cp_FreeRequest(r);
        if (rc != 0 || s.type == SHUTDOWN_REQUEST) break;
      }
      m_done = true;
    });
  }

  // Waits for the loop to end (bounded); true when it ended.
  bool join(int timeoutMs) {
    for (int waited = 0; !m_done && waited < timeoutMs; waited += 5) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!m_done) return false;
    if (m_thread.joinable()) m_thread.join();
    return true;
  }

  std::vector<Seen> seen() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_seen;
  }

  ~Collector() {
    // A test that failed early may leave the loop waiting; the agent's close ends it.
    if (m_thread.joinable()) m_thread.join();
    cp_CloseConnection();
  }

 private:
  std::thread m_thread;
  std::atomic<bool> m_done{false};
  std::mutex m_mutex;
  std::vector<Seen> m_seen;
};

// Answers a data request with one row per condition (name, value, op, logicalOp) plus a row
// holding the subnode, under the send mutex as the program does.
void echoRows(const Request* r) {
  VelMutexHandler guard(gMutexSend);
  for (RequestInfo* i = r->requestInfo; i != nullptr; i = i->next) {
    const char* row[] = {i->name, i->value, i->op, i->logicalOp};
    cp_SetAttributeValues(row, 4, r->id);
  }
  const char* sub[] = {"subnode", r->subnode};
  cp_SetAttributeValues(sub, 2, r->id);
  cp_SendData(r->id);
}

void answerTask(const Request* r) {
  VelMutexHandler guard(gMutexSend);
  const char* outputs[] = {r->action, "second|line"};
  const char* instances[] = {"inst1", ""};
  cp_SendTaskRCWithOutput(0, r->id, instances, 2, outputs, 2);
}

class LinkE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    cp_SetConnectRetryPause(0);
    ASSERT_TRUE(agent.listen(0)) << agent.lastError();
  }

  // Opens and registers the collector and starts its loop; the agent accepts and reads the
  // registration.
  void link(Collector::Handler handler, bool threaded = true) {
    ASSERT_EQ(collector.open(agent.port(), threaded), 0);
    ASSERT_TRUE(agent.waitRegistration(kWait)) << agent.lastError();
    collector.run(std::move(handler));
  }

  void TearDown() override {
    // Ends the loop in every case: the agent closing makes the wait return a shutdown request.
    agent.closeClient();
    EXPECT_TRUE(collector.join(kWait));
    EXPECT_TRUE(agent.violations().empty()) << agent.violations()[0];
  }

  // Declared first so it is destroyed last.
  AgentSim agent;
  Collector collector;
};

}  // namespace

TEST_F(LinkE2E, RegistrationListsEveryGroupWithItsVersion) {
  link(nullptr);
  Registration reg = agent.registration();
  EXPECT_EQ(reg.version, "6");
  EXPECT_TRUE(reg.threaded);
  ASSERT_EQ(reg.groups.size(), 3u);
  for (const auto& g : reg.groups) {
    EXPECT_EQ(g.version, g.name == kTopSql ? 2 : 1) << g.name;
  }
  EXPECT_TRUE(agent.isRegistered(kMonitored));
  EXPECT_TRUE(agent.isRegistered(kEvent));
  EXPECT_TRUE(agent.isRegistered(kTopSql));
}

TEST(LinkE2ESingle, RegistrationWithoutThreadedProperty) {
  cp_SetConnectRetryPause(0);
  AgentSim agent;
  ASSERT_TRUE(agent.listen(0));
  Collector collector;
  ASSERT_EQ(collector.open(agent.port(), false), 0);
  ASSERT_TRUE(agent.waitRegistration(kWait));
  EXPECT_FALSE(agent.registration().threaded);
  EXPECT_TRUE(agent.violations().empty());
}

TEST_F(LinkE2E, DataRequestIsAnsweredWithRowsAndFiltersArriveIntact) {
  link(echoRows);
  const std::string nasty = "a&b <c> \"d\" 'e'\nf";
  std::vector<RequestInfoItem> items(3);
  items[0].name = "NAME";
  items[0].value = nasty;
  items[0].op = "EQ";
  items[0].logOp = "AND";
  items[1].name = "_FILTER";
  items[1].value = "((STATUS EQ 'OPEN'))";
  items[1].op = "EQ";
  items[1].hasLogOp = false;
  items[2].name = "NOVALUE";
  items[2].hasValue = false;  // not copied into the record
  Answer a = agent.dataRequest(kMonitored, "PROD:db1", items, kWait, "r5");
  ASSERT_TRUE(a.ok()) << waitStatusName(a.status);
  EXPECT_EQ(a.group, kMonitored);
  ASSERT_EQ(a.rows.size(), 3u);
  EXPECT_EQ(a.rows[0], (Row{"NAME", nasty, "EQ", "AND"}));
  // A null logicalOp goes out as an empty value.
  EXPECT_EQ(a.rows[1], (Row{"_FILTER", "((STATUS EQ 'OPEN'))", "EQ", ""}));
  EXPECT_EQ(a.rows[2], (Row{"subnode", "PROD:db1"}));

  std::vector<Seen> seen = collector.seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].type, DATA_REQUEST);
  EXPECT_EQ(seen[0].handle, static_cast<const void*>(kMonitored));
  EXPECT_EQ(seen[0].id, a.id);
  EXPECT_EQ(seen[0].requestStartedId, "r5");
}

TEST_F(LinkE2E, EmptyAndErrorResponses) {
  link([](const Request* r) {
    VelMutexHandler guard(gMutexSend);
    if (r->subnode != nullptr && std::string(r->subnode) == "err") {
      cp_SendError(-7, r->id);
    } else {
      cp_SendData(r->id);
    }
  });
  Answer empty = agent.dataRequest(kEvent, "ok", {}, kWait);
  ASSERT_TRUE(empty.ok());
  EXPECT_TRUE(empty.rows.empty());
  EXPECT_FALSE(empty.isError);
  EXPECT_EQ(empty.raw, "<dataResponse id=\"" + empty.id +
                           "\"><attrGroup name=\"Agent_Event\"></attrGroup></dataResponse>");
  Answer err = agent.dataRequest(kTopSql, "err", {}, kWait);
  ASSERT_TRUE(err.ok());
  EXPECT_TRUE(err.isError);
  EXPECT_EQ(err.rc, -7);
}

TEST_F(LinkE2E, TaskIsAnsweredWithItsOutputAndInstances) {
  link(answerTask);
  TaskResult t = agent.task("PROD", "SELECT 'x' FROM dual;", kWait, "sys", true);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(t.rc, 0);
  ASSERT_EQ(t.outputs.size(), 2u);
  EXPECT_EQ(t.outputs[0].value, "SELECT 'x' FROM dual;");
  EXPECT_EQ(t.outputs[0].inst, "inst1");
  EXPECT_TRUE(t.outputs[1].hasInst);
  EXPECT_EQ(t.outputs[1].inst, "");
  std::vector<Seen> seen = collector.seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].type, TASK_REQUEST);
  EXPECT_EQ(seen[0].handle, nullptr);
  EXPECT_EQ(seen[0].subnode, "PROD");
  EXPECT_EQ(seen[0].user, "sys");
}

TEST_F(LinkE2E, EventsWithAndWithoutSubnodeAndEventErrors) {
  link(nullptr);
  {
    VelMutexHandler guard(gMutexSend);
    const char* row[] = {"1", "Agent", "", "1006", "queue full & more", "", "raise it"};
    ASSERT_EQ(cp_SendSubnodeEventData(row, 7, kEvent, "PROD"), 0);
    ASSERT_EQ(cp_SendEventData(row, 2, kEvent), 0);
    ASSERT_EQ(cp_SendSubnodeEventError(3, kMonitored, "PROD"), 0);
    static const char kNotRegistered[] = "Agent_Event";  // same text, other pointer
    EXPECT_EQ(cp_SendEventData(row, 1, kNotRegistered), CP_UNKNOWN_HANDLE);
  }
  ASSERT_TRUE(agent.waitEvents(3, kWait));
  std::vector<Event> ev = agent.events();
  ASSERT_EQ(ev.size(), 3u);
  EXPECT_TRUE(ev[0].hasSubnode);
  EXPECT_EQ(ev[0].subnode, "PROD");
  EXPECT_EQ(ev[0].group, kEvent);
  ASSERT_EQ(ev[0].rows.size(), 1u);
  EXPECT_EQ(ev[0].rows[0][4], "queue full & more");
  EXPECT_FALSE(ev[1].hasSubnode);
  EXPECT_EQ(ev[1].rows[0], (Row{"1", "Agent"}));
  EXPECT_TRUE(ev[2].isError);
  EXPECT_EQ(ev[2].rc, 3);
  EXPECT_EQ(ev[2].group, kMonitored);
}

TEST_F(LinkE2E, ShutdownEndsTheWaitAndTheCollectorCloses) {
  link(echoRows);
  ASSERT_TRUE(agent.sendShutdown());
  ASSERT_TRUE(collector.join(kWait));
  std::vector<Seen> seen = collector.seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].type, SHUTDOWN_REQUEST);
  cp_CloseConnection();
  EXPECT_TRUE(agent.waitClientClosed(kWait));
}

TEST_F(LinkE2E, TheAgentClosingTheSocketIsAShutdownRequest) {
  link(echoRows);
  ASSERT_TRUE(agent.dataRequest(kMonitored, "S", {}, kWait).ok());
  agent.closeClient();
  ASSERT_TRUE(collector.join(kWait));
  std::vector<Seen> seen = collector.seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].type, SHUTDOWN_REQUEST);
  EXPECT_EQ(seen[1].id, "<null>");
}

TEST_F(LinkE2E, StartStopNoticesAndUnregisteredGroups) {
  link(echoRows);
  ASSERT_TRUE(agent.sendStart(kMonitored, "S", "c1"));
  ASSERT_TRUE(agent.sendStart("Unknown_Group", "S", "c2"));  // skipped
  ASSERT_TRUE(agent.sendStop(kMonitored, "S", "c1", false));
  // A data request for an unregistered group is skipped; the next one is answered.
  std::string lost = agent.sendDataRequest("Unknown_Group", "S", {});
  Answer a = agent.dataRequest(kMonitored, "S", {}, kWait);
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(agent.waitAnswer(lost, 100).status, WaitStatus::kTimeout);
  // A stop for an unknown group is handed over as a shutdown request with the flag.
  ASSERT_TRUE(agent.sendStop("Unknown_Group", "S", "c3", true));
  ASSERT_TRUE(collector.join(kWait));
  std::vector<Seen> seen = collector.seen();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].type, REQUEST_STARTED);
  EXPECT_EQ(seen[0].requestStartedId, "c1");
  EXPECT_EQ(seen[0].handle, static_cast<const void*>(kMonitored));
  EXPECT_EQ(seen[1].type, REQUEST_STOPPED);
  EXPECT_FALSE(seen[1].shuttingDown);
  EXPECT_EQ(seen[2].type, DATA_REQUEST);
  EXPECT_EQ(seen[3].type, SHUTDOWN_REQUEST);
  EXPECT_TRUE(seen[3].shuttingDown);
}

TEST_F(LinkE2E, RequestsSentByTheCollectorCarryTheConnectionIndexAndGetAnswered) {
  link(nullptr);
  ASSERT_TRUE(agent.sendConnection(2));
  // The connection message is not handed over; a marker request shows it has been read.
  ASSERT_TRUE(agent.sendStart(kEvent, "", "mark"));
  for (int i = 0; i < 400 && collector.seen().empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(collector.seen().size(), 1u);
  RequestInfo filter{const_cast<char*>("NAME"), const_cast<char*>("x<y"), nullptr, nullptr,
                     nullptr};
  int id;
  {
    VelMutexHandler guard(gMutexSend);
    id = cp_SendSubnodeRequestWithFilter(kMonitored, "PROD", &filter);
  }
  EXPECT_EQ(id, 2 << 28);
  ASSERT_TRUE(agent.waitClientRequests(1, kWait));
  ClientRequest r = agent.clientRequests()[0];
  EXPECT_EQ(r.id, std::to_string(2 << 28));
  EXPECT_EQ(r.group, kMonitored);
  EXPECT_EQ(r.subnode, "PROD");
  ASSERT_EQ(r.items.size(), 1u);
  EXPECT_EQ(r.items[0].value, "x<y");
  EXPECT_FALSE(r.items[0].hasOp);

  ASSERT_TRUE(agent.sendDataResponse(r.id, kMonitored, {{"a", "b&c"}, {"d", ""}}, 0));
  for (int i = 0; i < 400 && collector.seen().size() < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::vector<Seen> seen = collector.seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].type, DATA_RESPONSE);
  EXPECT_EQ(seen[1].responseGroup, kMonitored);
  EXPECT_EQ(seen[1].rows, (std::vector<std::vector<std::string>>{{"a", "b&c"}, {"d", ""}}));
}

TEST_F(LinkE2E, BadInputIsSkippedAndTheNextRequestAnswered) {
  link(echoRows);
  // Each line ends with '>' and a line feed, so each is one message for the link.
  std::string noise =
      "garbage without markup>\n"
      "<dataRequest id=\"x1\"><attrGr>\n"  // no group: skipped
      "<unknownElement a=\"1\"/>\n"
      "<a v=\"outside\"/>\n"
      "<taskRequest id=\"t0\"></taskRequest>\n"  // a task without its command
      "<connection/>\n"
      "<error/>\n"
      "<dataRequest id=\"x2\" subnode=\"S\"><attrGroup name=\"Monitored_Databases\"/>"
      "<requestInfo name=\"N\" value=\"&bogus;\"/></dataRequest>\n" +
      std::string(3 * 1024 * 1024, 'z') + ">\n";
  // A message that fails to parse after its group was read is still a data request.
  agent.expectAnswer("x2", kMonitored);
  ASSERT_TRUE(agent.sendRaw(noise));
  // A request split across three writes, the terminator's '>' and line feed apart.
  std::string req =
      "<dataRequest id=\"split1\" subnode=\"T\"><attrGroup name=\"Agent_Event\"/>"
      "</dataRequest>";
  agent.expectAnswer("split1", kEvent);
  ASSERT_TRUE(agent.sendRaw(req.substr(0, 20)));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_TRUE(agent.sendRaw(req.substr(20)));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_TRUE(agent.sendRaw("\n"));
  Answer a = agent.dataRequest(kMonitored, "after", {}, kWait);
  ASSERT_TRUE(a.ok()) << waitStatusName(a.status);
  EXPECT_EQ(a.rows, (std::vector<Row>{{"subnode", "after"}}));
  Answer x2 = agent.waitAnswer("x2", kWait);
  ASSERT_TRUE(x2.ok());
  EXPECT_EQ(x2.rows, (std::vector<Row>{{"subnode", "S"}}));
  Answer split = agent.waitAnswer("split1", kWait);
  ASSERT_TRUE(split.ok());
  EXPECT_EQ(split.rows, (std::vector<Row>{{"subnode", "T"}}));
  // Nothing else was answered (TearDown checks that no answer came for an id not asked) and
  // the link handed over exactly the three data requests.
  std::vector<Seen> seen = collector.seen();
  ASSERT_EQ(seen.size(), 3u);
  for (const auto& s : seen) EXPECT_EQ(s.type, DATA_REQUEST);
}

TEST_F(LinkE2E, ResponsesFromSeveralThreadsNeverInterleave) {
  // Each data request is answered on a thread of its own with many rows, as workers do.
  std::mutex m;
  std::vector<std::thread> workers;
  link([&](const Request* r) {
    std::string id = r->id;
    std::string subnode = r->subnode ? r->subnode : "";
    std::lock_guard<std::mutex> lock(m);
    workers.emplace_back([id, subnode] {
      VelMutexHandler guard(gMutexSend);
      for (int i = 0; i < 200; ++i) {
        std::string n = std::to_string(i);
        const char* row[] = {subnode.c_str(), n.c_str(), "padding padding padding padding"};
        cp_SetAttributeValues(row, 3, id.c_str());
      }
      cp_SendData(id.c_str());
    });
  });
  constexpr int kRequests = 8;
  std::vector<std::string> ids;
  for (int i = 0; i < kRequests; ++i) {
    ids.push_back(agent.sendDataRequest(kMonitored, "S" + std::to_string(i), {}));
  }
  for (int i = 0; i < kRequests; ++i) {
    Answer a = agent.waitAnswer(ids[i], kWait);
    ASSERT_TRUE(a.ok());
    ASSERT_EQ(a.rows.size(), 200u);
    for (size_t k = 0; k < a.rows.size(); ++k) {
      ASSERT_EQ(a.rows[k][0], "S" + std::to_string(i));
      ASSERT_EQ(a.rows[k][1], std::to_string(k));
    }
  }
  agent.closeClient();
  ASSERT_TRUE(collector.join(kWait));
  for (auto& w : workers) w.join();
}
