// Several threads answering requests at once, each holding the send mutex from its first row to
// its final send: every response reaches the agent whole, never interleaved with another.
#include "SendMutex.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "EventLine.h"
#include "cp_api.h"

namespace {

const char* const kGroup = "Rows";
constexpr int kThreads = 8;
constexpr int kRowsPerResponse = 200;

TEST(SendMutex, ConcurrentResponsesAndEventsNeverInterleave) {
  veltest::LinkPeer peer;
  veltest::openEventLink(peer, {kGroup});
  // The agent asks kThreads questions; the main thread waits for each as the program does.
  std::string requests;
  for (int t = 0; t < kThreads; ++t)
    requests +=
        "<dataRequest id=\"r" + std::to_string(t) + "\"><attrGroup name=\"Rows\"/></dataRequest>\n";
  ASSERT_TRUE(peer.send(requests));
  std::vector<std::string> ids;
  for (int t = 0; t < kThreads; ++t) {
    Request* r = nullptr;
    ASSERT_EQ(cp_WaitForRequest(&r), 0);
    ASSERT_EQ(r->type, DATA_REQUEST);
    ids.push_back(r->id);
    cp_FreeRequest(r);
  }

  std::vector<int> results(kThreads * 2, -99);
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      const std::string& id = ids[t];
      {
        VelMutexHandler hold(gMutexSend);
        for (int row = 0; row < kRowsPerResponse; ++row) {
          std::string value = id + "-" + std::to_string(row);
          const char* values[] = {value.c_str(), id.c_str()};
          if (cp_SetAttributeValues(values, 2, id.c_str()) != 0) return;
          if (row % 50 == 0) std::this_thread::yield();  // invite the others in
        }
        results[t] = cp_SendData(id.c_str());
      }
      VelMutexHandler hold(gMutexSend);
      const char* event[] = {id.c_str()};
      results[kThreads + t] = cp_SendEventData(event, 1, kAgentEventGroup);
    });
  }
  // Read while the workers write, so that no write waits on a full socket buffer.
  std::vector<std::string> lines;
  for (int i = 0; i < kThreads * 2; ++i) lines.push_back(peer.readLine(5000));
  for (auto& w : workers) w.join();
  for (int rc : results) EXPECT_EQ(rc, 0);

  std::set<std::string> answered, evented;
  for (const std::string& line : lines) {
    ASSERT_FALSE(line.empty());
    if (line.rfind("<pureEvent>", 0) == 0) {
      std::vector<std::string> values = veltest::eventValues(line);
      ASSERT_EQ(values.size(), 1u) << line;
      evented.insert(values[0]);
      continue;
    }
    // One whole response: its header, its own rows in order, its end, one line feed.
    size_t quote = line.find('"', 18);
    ASSERT_NE(quote, std::string::npos);
    std::string id = line.substr(18, quote - 18);
    std::string expected = "<dataResponse id=\"" + id + "\"><attrGroup name=\"Rows\">";
    for (int row = 0; row < kRowsPerResponse; ++row)
      expected += "<in><al><a v=\"" + id + "-" + std::to_string(row) + "\"/><a v=\"" + id +
                  "\"/></al></in>";
    EXPECT_EQ(line, expected + "</attrGroup></dataResponse>\n");
    answered.insert(id);
  }
  EXPECT_EQ(answered, std::set<std::string>(ids.begin(), ids.end()));
  EXPECT_EQ(evented, answered);
  EXPECT_EQ(cp_GetOutstandingCount(), 0);
  cp_CloseConnection();
  cp_setPort(-1);
}

}  // namespace
