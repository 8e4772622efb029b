// The collector's link (cp_* API, driven from a thread of this process) against velagent's agent
// side (AgentSim) over loopback: data requests with filters, continuous-request notices,
// shutdown, and (in every test's end) the agent closing. AgentSim checks the registration and
// every message the link writes; their exact bytes, bad input and split reads are checked in
// tests/unit/link.
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
  bool shuttingDown = false;
};

std::string text(const char* s) { return s == nullptr ? "<null>" : s; }

Seen copyOf(const Request* r) {
  return {r->type, r->handle, text(r->id), text(r->requestStartedID), r->shuttingDown};
}

// The collector side: opens the link, registers, and runs cp_WaitForRequest on a thread until a
// shutdown request, handing each record to the handler (which answers it) and keeping a copy.
class Collector {
 public:
  using Handler = std::function<void(const Request*)>;

  int open(int port) {
    cp_setPort(port);
    char prop[] = "CP_MULTITHREADED=YES";
    char* props[] = {prop};
    int rc = cp_OpenConnectionWithProperties(props, 1);
    for (const char* g : {kMonitored, kEvent, kTopSql}) {
      if (rc == 0) rc = cp_RegisterAttrGroup(g, g == kTopSql ? 2 : 1, g);
    }
    return rc == 0 ? cp_RegistrationComplete() : rc;
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

class LinkE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    cp_SetConnectRetryPause(0);
    ASSERT_TRUE(agent.listen(0)) << agent.lastError();
  }

  // Opens and registers the collector and starts its loop; the agent accepts and reads the
  // registration.
  void link(Collector::Handler handler) {
    ASSERT_EQ(collector.open(agent.port()), 0);
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

TEST_F(LinkE2E, RequestsNoticesAndFiltersArriveIntact) {
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

  // Continuous-request notices; unregistered groups are skipped.
  ASSERT_TRUE(agent.sendStart(kMonitored, "S", "c1"));
  ASSERT_TRUE(agent.sendStart("Unknown_Group", "S", "c2"));  // skipped
  ASSERT_TRUE(agent.sendStop(kMonitored, "S", "c1", false));
  // A data request for an unregistered group is skipped; the next one is answered.
  std::string lost = agent.sendDataRequest("Unknown_Group", "S", {});
  ASSERT_TRUE(agent.dataRequest(kMonitored, "S", {}, kWait).ok());
  EXPECT_EQ(agent.waitAnswer(lost, 100).status, WaitStatus::kTimeout);
  // A stop for an unknown group is handed over as a shutdown request with the flag.
  ASSERT_TRUE(agent.sendStop("Unknown_Group", "S", "c3", true));
  ASSERT_TRUE(collector.join(kWait));
  seen = collector.seen();
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[1].type, REQUEST_STARTED);
  EXPECT_EQ(seen[1].requestStartedId, "c1");
  EXPECT_EQ(seen[1].handle, static_cast<const void*>(kMonitored));
  EXPECT_EQ(seen[2].type, REQUEST_STOPPED);
  EXPECT_FALSE(seen[2].shuttingDown);
  EXPECT_EQ(seen[3].type, DATA_REQUEST);
  EXPECT_EQ(seen[4].type, SHUTDOWN_REQUEST);
  EXPECT_TRUE(seen[4].shuttingDown);
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
