// Request queues: the length limit, lookup by subnode, dispatch with the queue-full event, and
// several producers with one consumer.
#include "Vel_ListRequest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "RequestTestSupport.h"
#include "TestSupport.h"

namespace {

using veltest::ScopedEnv;

// A queue item that reports its destruction.
class Probe : public Vel_BaseRequest {
 public:
  explicit Probe(int id, std::atomic<int>* destroyed = nullptr)
      : m_id(id), m_destroyed(destroyed) {}
  ~Probe() override {
    if (m_destroyed) ++*m_destroyed;
  }
  int Type() const override { return 99; }
  void printRequestInfo() const override {}
  int id() const { return m_id; }

 private:
  int m_id;
  std::atomic<int>* m_destroyed;
};

TEST(RequestQueue, DefaultLimitAdmitsFiftyOneRequests) {
  // A queue admits one request more than its limit (50 unless configured).
  for (auto [limit, admitted] : {std::pair<const char*, int>{nullptr, 51}, {"0", 1}, {"3", 4}}) {
    SCOPED_TRACE(admitted);
    ScopedEnv env("VEL_REQUEST_QUEUE_MAX_LENGTH", limit);
    std::atomic<int> destroyed{0};
    {
      Vel_ListRequest queue(nullptr, nullptr);
      EXPECT_STREQ(queue.getSubNode(), "");
      EXPECT_EQ(queue.getMaxLength(), admitted - 1);
      for (int i = 0; i < admitted; ++i)
        ASSERT_TRUE(queue.appendRequest(new Probe(i, &destroyed))) << i;
      Probe refused(-1);
      EXPECT_FALSE(queue.appendRequest(&refused));
      EXPECT_EQ(queue.getCount(), static_cast<size_t>(admitted));
      // Oldest first; a removed request makes room for exactly one more.
      Vel_BaseRequest* first = queue.remove();
      ASSERT_NE(first, nullptr);
      EXPECT_EQ(static_cast<Probe*>(first)->id(), 0);
      delete first;
      EXPECT_TRUE(queue.appendRequest(new Probe(admitted, &destroyed)));
      EXPECT_FALSE(queue.appendRequest(&refused));
      EXPECT_FALSE(queue.appendRequest(nullptr));
    }
    // The queue destroys what it still holds; the refused request stayed with its owner.
    EXPECT_EQ(destroyed.load(), admitted + 1);
  }
}

TEST(RequestQueue, DirectoryFindsQueuesBySubnodeExactly) {
  Vel_RequestListManager manager;
  Vel_ListRequest* a = new Vel_ListRequest("PROD-inst-host", "PROD");
  Vel_ListRequest* b = new Vel_ListRequest("PROD", "PROD2");
  ASSERT_TRUE(manager.push_back(a));
  ASSERT_TRUE(manager.push_back(b));
  EXPECT_EQ(manager.getRequestList("PROD-inst-host"), a);
  EXPECT_EQ(manager.getRequestList("PROD"), b);
  EXPECT_EQ(manager.getRequestList("prod"), nullptr);
  EXPECT_EQ(manager.getRequestList("PROD-inst"), nullptr);
  EXPECT_EQ(manager.getRequestList(nullptr), nullptr);
}

TEST(RequestQueue, ProducersAndConsumerLoseNothing) {
  ScopedEnv big("VEL_REQUEST_QUEUE_MAX_LENGTH", "1000000");
  Vel_ListRequest queue("s", "i");
  constexpr int kProducers = 4;
  constexpr int kEach = 2000;
  std::atomic<int> producing{kProducers};
  std::vector<int> seen;
  std::thread consumer([&] {
    for (;;) {
      Vel_BaseRequest* r = queue.remove();
      if (r == nullptr) {
        if (producing.load() == 0 && queue.getCount() == 0) break;
        std::this_thread::yield();
        continue;
      }
      seen.push_back(static_cast<Probe*>(r)->id());
      delete r;
    }
  });
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p)
    producers.emplace_back([&, p] {
      for (int i = 0; i < kEach; ++i) EXPECT_TRUE(queue.appendRequest(new Probe(p * kEach + i)));
      --producing;
    });
  for (auto& t : producers) t.join();
  consumer.join();
  ASSERT_EQ(seen.size(), static_cast<size_t>(kProducers * kEach));
  EXPECT_EQ(std::set<int>(seen.begin(), seen.end()).size(), seen.size());
  // Each producer's requests come out in the order it queued them.
  std::vector<int> last(kProducers, -1);
  for (int id : seen) {
    EXPECT_GT(id, last[id / kEach]);
    last[id / kEach] = id;
  }
}

TEST(RequestDispatch, UnknownSubnodeAndFullQueue) {
  ScopedEnv one("VEL_REQUEST_QUEUE_MAX_LENGTH", "1");
  reqtest::LinkPeer peer;
  Vel_RequestListManager manager;
  Vel_ListRequest* queue = new Vel_ListRequest("SUB1", "CONN1");
  ASSERT_TRUE(manager.push_back(queue));

  std::string id;
  Vel_AgentFacRequest unknown(peer.receive(reqtest::kStats, "OTHER", {}, &id), 60);
  EXPECT_FALSE(DispatchRequest(&manager, &unknown));
  EXPECT_FALSE(DispatchRequest(&manager, nullptr));

  for (int i = 0; i < 2; ++i) {
    Vel_AgentFacRequest* ok = new Vel_AgentFacRequest(peer.receive(reqtest::kStats, "SUB1"), 60);
    ASSERT_TRUE(DispatchRequest(&manager, ok));
  }
  std::string fullId;
  Vel_AgentFacRequest full(peer.receive(reqtest::kStats, "SUB1", {}, &fullId), 60);
  EXPECT_FALSE(DispatchRequest(&manager, &full));
  EXPECT_EQ(queue->getCount(), 2u);

  std::vector<velagent::Event> events = peer.events(1);
  ASSERT_EQ(events.size(), 1u);
  // The category "Too many request" in the event's 13-byte category field.
  EXPECT_EQ(
      reqtest::eventRow(events[0]),
      (std::vector<std::string>{
          "1", "Too many req", "CONN1", "1006",
          "Error at appending request for handle is:TEST_STATS, request id is:" + fullId +
              ", because current list length exceeds the max list length:1",
          "", "The database connection is slow or hang, restart agent to make re-connection"}));
}

}  // namespace
