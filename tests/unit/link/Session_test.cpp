// The link session against a loopback peer playing the agent: every outgoing message byte for
// byte, states and result codes, outstanding ids, and what the waiting call makes of the agent's
// messages, good and bad.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "LinkPeer.h"
#include "TestSupport.h"
#include "cp_api.h"

namespace {

// Handles are the group names' own pointers, as the program registers them.
const char* const kGroupA = "A";
const char* const kGroupB = "B";

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    cp_SetConnectRetryPause(0);
    cp_SetMaxMessageLength(0);
    cp_setPort(m_peer.port());
  }
  void TearDown() override {
    cp_CloseConnection();
    cp_setPort(-1);
  }

  // Opens, registers B (version 2) then A (version 1), completes; returns the registration line.
  std::string openRegistered(bool threaded) {
    char property[] = "CP_MULTITHREADED=YES";
    char* properties[] = {property};
    EXPECT_EQ(threaded ? cp_OpenConnectionWithProperties(properties, 1) : cp_OpenConnection(), 0);
    EXPECT_TRUE(m_peer.accept());
    EXPECT_EQ(cp_GetState(), OPEN_SOCKET_STATE);
    EXPECT_EQ(cp_RegisterAttrGroup(kGroupB, 2, kGroupB), 0);
    EXPECT_EQ(cp_RegisterAttrGroup(kGroupA, 1, kGroupA), 0);
    EXPECT_EQ(cp_RegistrationComplete(), 0);
    EXPECT_EQ(cp_GetState(), REG_COMPLETE_STATE);
    return m_peer.readLine();
  }

  // The agent sends the lines; the link's next request record (owned by the caller).
  Request* next(const std::string& lines) {
    EXPECT_TRUE(m_peer.send(lines));
    Request* r = nullptr;
    EXPECT_EQ(cp_WaitForRequest(&r), 0);
    return r;
  }

  // Makes id an outstanding data request of the group.
  void dataRequest(const char* id, const char* group) {
    Request* r = next(std::string("<dataRequest id=\"") + id + "\"><attrGroup name=\"" + group +
                      "\"/></dataRequest>\n");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->type, DATA_REQUEST);
    cp_FreeRequest(r);
  }

  veltest::LinkPeer m_peer;
};

TEST_F(Session, RegistrationListsTheGroupsInTableOrder) {
  // "A" hashes to bucket 38 and "B" to 39, so A comes first whatever the registration order.
  EXPECT_EQ(openRegistered(false),
            "<cpciRegister ver=\"6\"><attrGroupList><attrGroup name=\"A\" ver=\"1\"/>"
            "<attrGroup name=\"B\" ver=\"2\"/></attrGroupList></cpciRegister>\n");
  cp_CloseConnection();
  EXPECT_EQ(openRegistered(true),
            "<cpciRegister ver=\"6\" threaded=\"1\"><attrGroupList><attrGroup name=\"A\" "
            "ver=\"1\"/><attrGroup name=\"B\" ver=\"2\"/></attrGroupList></cpciRegister>\n");
}

TEST_F(Session, DataResponsesWithAndWithoutRows) {
  openRegistered(true);
  dataRequest("11", "A");
  const char* row1[] = {"x", "", nullptr};
  const char* row2[] = {"y"};
  EXPECT_EQ(cp_SetAttributeValues(row1, 3, "11"), 0);
  EXPECT_EQ(cp_SetAttributeValues(row2, 1, "11"), 0);
  EXPECT_TRUE(m_peer.quiet());  // nothing is sent before cp_SendData
  EXPECT_EQ(cp_SendData("11"), 0);
  EXPECT_EQ(m_peer.readLine(),
            "<dataResponse id=\"11\"><attrGroup name=\"A\"><in><al><a v=\"x\"/><a v=\"\"/>"
            "<a v=\"\"/></al></in><in><al><a v=\"y\"/></al></in></attrGroup></dataResponse>\n");
  EXPECT_FALSE(cp_IsOutstanding("11"));

  dataRequest("12", "B");
  EXPECT_EQ(cp_SendData("12"), 0);
  EXPECT_EQ(m_peer.readLine(),
            "<dataResponse id=\"12\"><attrGroup name=\"B\"></attrGroup></dataResponse>\n");
  EXPECT_EQ(cp_SendData("12"), CP_UNKNOWN_ID);
  EXPECT_EQ(cp_SetAttributeValues(row2, 1, "12"), CP_UNKNOWN_ID);
  EXPECT_TRUE(m_peer.quiet());
}

TEST_F(Session, BuffersOutliveAResponseWhenNotMultithreaded) {
  openRegistered(false);
  dataRequest("1", "A");
  const char* row[] = {"v1"};
  EXPECT_EQ(cp_SetAttributeValues(row, 1, "1"), 0);
  EXPECT_EQ(cp_SendData("1"), 0);
  dataRequest("2", "A");
  EXPECT_EQ(cp_SendData("2"), 0);  // the reused buffer starts empty
  EXPECT_EQ(m_peer.readLine(),
            "<dataResponse id=\"1\"><attrGroup name=\"A\"><in><al><a "
            "v=\"v1\"/></al></in></attrGroup></dataResponse>\n");
  EXPECT_EQ(m_peer.readLine(),
            "<dataResponse id=\"2\"><attrGroup name=\"A\"></attrGroup></dataResponse>\n");
}

TEST_F(Session, ErrorResponseReplacesPendingRows) {
  openRegistered(true);
  dataRequest("13", "A");
  const char* row[] = {"dropped"};
  EXPECT_EQ(cp_SetAttributeValues(row, 1, "13"), 0);
  EXPECT_EQ(cp_SendError(-3, "13"), 0);
  EXPECT_EQ(m_peer.readLine(),
            "<dataResponse id=\"13\"><attrGroup name=\"A\"><error rc=\"-3\"/></attrGroup>"
            "</dataResponse>\n");
  EXPECT_EQ(cp_SendError(1, "13"), CP_UNKNOWN_ID);
  EXPECT_EQ(cp_GetOutstandingCount(), 0);
}

TEST_F(Session, EventsWithAndWithoutSubnode) {
  openRegistered(true);
  const char* values[] = {"1", nullptr, "m"};
  EXPECT_EQ(cp_SendSubnodeEventData(values, 3, kGroupB, "VL:db1"), 0);
  EXPECT_EQ(m_peer.readLine(),
            "<pureEvent subnode=\"VL:db1\"><attrGroup name=\"B\"><in><al><a v=\"1\"/><a v=\"\"/>"
            "<a v=\"m\"/></al></in></attrGroup></pureEvent>\n");
  EXPECT_EQ(cp_SendEventData(values, 1, kGroupA), 0);
  EXPECT_EQ(m_peer.readLine(),
            "<pureEvent><attrGroup name=\"A\"><in><al><a v=\"1\"/></al></in></attrGroup>"
            "</pureEvent>\n");
  EXPECT_EQ(cp_SendSubnodeEventError(7, kGroupA, "s"), 0);
  EXPECT_EQ(m_peer.readLine(),
            "<pureEvent subnode=\"s\"><attrGroup name=\"A\"><error rc=\"7\"/></attrGroup>"
            "</pureEvent>\n");
  EXPECT_EQ(cp_SendEventError(-1, kGroupB), 0);
  EXPECT_EQ(m_peer.readLine(),
            "<pureEvent><attrGroup name=\"B\"><error rc=\"-1\"/></attrGroup></pureEvent>\n");
  // A handle is matched by identity: an equal text elsewhere is not the registered handle.
  static char copyOfA[] = "A";
  EXPECT_EQ(cp_SendEventData(values, 1, copyOfA), CP_UNKNOWN_HANDLE);
  EXPECT_EQ(cp_SendEventError(1, nullptr), CP_UNKNOWN_HANDLE);
  EXPECT_TRUE(m_peer.quiet());
}

TEST_F(Session, TaskResponsesWithAndWithoutOutput) {
  openRegistered(true);
  Request* r = next(
      "<taskRequest id=\"t1\"><task command=\"run\"/></taskRequest>\n"
      "<taskRequest id=\"t2\"><task command=\"run\"/></taskRequest>\n");
  EXPECT_EQ(r->type, TASK_REQUEST);
  cp_FreeRequest(r);
  r = nullptr;
  EXPECT_EQ(cp_WaitForRequest(&r), 0);  // the second came in the same read
  EXPECT_STREQ(r->id, "t2");
  cp_FreeRequest(r);
  EXPECT_TRUE(cp_IsOutstanding("t1"));
  EXPECT_EQ(cp_SendTaskRC(4, "t1"), 0);
  EXPECT_EQ(m_peer.readLine(), "<taskResponse id=\"t1\" rc=\"4\"/>\n");
  const char* outputs[] = {"line <1>", "two", nullptr};
  const char* instances[] = {"", nullptr};
  EXPECT_EQ(cp_SendTaskRCWithOutput(0, "t2", instances, 2, outputs, 3), 0);
  EXPECT_EQ(m_peer.readLine(),
            "<taskResponse id=\"t2\" rc=\"0\"><output value=\"line &lt;1&gt;\" inst=\"\"/>"
            "<output value=\"two\"/><output value=\"\"/></taskResponse>\n");
  EXPECT_EQ(cp_SendTaskRC(0, "t2"), CP_UNKNOWN_ID);
  // A task id is not a data response.
  cp_FreeRequest(next("<taskRequest id=\"t3\"><task command=\"c\"/></taskRequest>\n"));
  EXPECT_EQ(cp_SendData("t3"), CP_UNKNOWN_ID);
  EXPECT_EQ(cp_SendTaskRCWithOutput(1, "t3", nullptr, 0, outputs, 0), 0);
  EXPECT_EQ(m_peer.readLine(), "<taskResponse id=\"t3\" rc=\"1\"/>\n");
}

TEST_F(Session, SpecialBytesAreEscapedSoEveryMessageStaysOneLine) {
  openRegistered(true);
  dataRequest("e1", "A");
  const char* row[] = {"a&b'c\"d<e>f\ng", "&'\"<>\n"};
  EXPECT_EQ(cp_SetAttributeValues(row, 2, "e1"), 0);
  EXPECT_EQ(cp_SendData("e1"), 0);
  EXPECT_EQ(m_peer.readLine(),
            "<dataResponse id=\"e1\"><attrGroup name=\"A\"><in><al>"
            "<a v=\"a&amp;b&apos;c&quot;d&lt;e&gt;f&#10;g\"/>"
            "<a v=\"&amp;&apos;&quot;&lt;&gt;&#10;\"/></al></in></attrGroup></dataResponse>\n");
  const char* event[] = {"x\ny"};
  EXPECT_EQ(cp_SendEventData(event, 1, kGroupA), 0);
  EXPECT_EQ(m_peer.readLine(),
            "<pureEvent><attrGroup name=\"A\"><in><al><a v=\"x&#10;y\"/>"
            "</al></in></attrGroup></pureEvent>\n");

  char* out = reinterpret_cast<char*>(1);
  substituteEntities("plain text", &out);
  EXPECT_EQ(out, nullptr);
  std::string worst(1000, '\'');
  substituteEntities(worst.c_str(), &out);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(strlen(out), 6000u);
  free(out);
}

TEST_F(Session, ResultCodesForPortAndOpening) {
  cp_setPort(-1);
  veltest::ScopedEnv noPort("CP_PORT", nullptr);
  EXPECT_EQ(cp_OpenConnection(), CP_NO_PORT);
  char other[] = "OTHER=1";
  char* properties[] = {other};
  EXPECT_EQ(cp_OpenConnectionWithProperties(properties, 1), CP_NO_PORT);
  EXPECT_EQ(cp_GetState(), CLOSED_STATE);

  // CP_PORT from the environment wins over the property.
  std::string envPort = std::to_string(m_peer.port());
  {
    veltest::ScopedEnv port("CP_PORT", envPort.c_str());
    char bogus[] = "CP_PORT=1";
    char* withPort[] = {bogus};
    EXPECT_EQ(cp_OpenConnectionWithProperties(withPort, 1), 0);
    EXPECT_TRUE(m_peer.accept());
    EXPECT_EQ(cp_CloseConnection(), 0);
  }
  // Without the environment the property gives the port.
  cp_setPort(-1);
  std::string property = "CP_PORT=" + envPort;
  char* withPort[] = {other, &property[0]};
  EXPECT_EQ(cp_OpenConnectionWithProperties(withPort, 2), 0);
  EXPECT_TRUE(m_peer.accept());
  cp_CloseConnection();

  cp_setPort(veltest::LinkPeer().port());  // a port nobody listens on any more
  EXPECT_EQ(cp_OpenConnection(), CP_OPEN_FAILED);
  EXPECT_EQ(cp_GetState(), CLOSED_STATE);
}

TEST_F(Session, CallsInTheWrongStateReturnMinusFour) {
  const char* row[] = {"v"};
  // Closed: every call (in this order) fails.
  EXPECT_EQ(
      (std::vector<int>{cp_RegisterAttrGroup("A", 1, kGroupA), cp_RegistrationComplete(),
                        cp_SetAttributeValues(row, 1, "1"), cp_SendData("1"), cp_SendError(1, "1"),
                        cp_SendEventData(row, 1, kGroupA), cp_SendEventError(1, kGroupA),
                        cp_SendTaskRC(0, "1"), cp_SendRequest("A")}),
      std::vector<int>(9, CP_BAD_STATE));
  Request* r = nullptr;
  EXPECT_EQ(cp_WaitForRequest(&r), CP_BAD_STATE);
  ASSERT_NE(r, nullptr);  // an empty record all the same
  EXPECT_EQ(r->type, SHUTDOWN_REQUEST);
  EXPECT_EQ(r->id, nullptr);
  cp_FreeRequest(r);

  ASSERT_EQ(cp_OpenConnection(), 0);
  ASSERT_TRUE(m_peer.accept());
  EXPECT_EQ(cp_RegisterAttrGroup("A", 1, kGroupA), 0);
  EXPECT_EQ(cp_SendEventData(row, 1, kGroupA), CP_BAD_STATE);  // registration not complete
  r = nullptr;
  EXPECT_EQ(cp_WaitForRequest(&r), CP_BAD_STATE);
  cp_FreeRequest(r);
  EXPECT_EQ(cp_RegistrationComplete(), 0);
  EXPECT_EQ(cp_RegisterAttrGroup("B", 1, kGroupB), CP_BAD_STATE);
  EXPECT_EQ(cp_RegistrationComplete(), CP_BAD_STATE);
  EXPECT_EQ(cp_CloseConnection(), 0);
  EXPECT_EQ(cp_GetState(), CLOSED_STATE);
}

TEST_F(Session, AFailedWriteReturnsMinusFiveAndStillRetiresTheResponse) {
  openRegistered(true);
  dataRequest("w1", "A");
  m_peer.closeConnection();
  const char* row[] = {"v"};
  int rc = 0;
  // The first writes after the peer left may still be accepted by the kernel.
  for (int i = 0; i < 400 && rc == 0; ++i) {
    rc = cp_SendEventData(row, 1, kGroupA);
    if (rc == 0) usleep(2000);
  }
  EXPECT_EQ(rc, CP_WRITE_FAILED);
  EXPECT_EQ(cp_SendData("w1"), CP_WRITE_FAILED);
  EXPECT_FALSE(cp_IsOutstanding("w1"));
  // The closed link is a shutdown request for the waiting thread.
  Request* r = nullptr;
  EXPECT_EQ(cp_WaitForRequest(&r), 0);
  EXPECT_EQ(r->type, SHUTDOWN_REQUEST);
  EXPECT_EQ(r->id, nullptr);
  cp_FreeRequest(r);
}

bool sanitized() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  return true;
#endif
#endif
  return false;
}

TEST_F(Session, ABufferThatCannotGrowReturnsMinusTenAndKeepsTheRequest) {
  if (sanitized()) GTEST_SKIP() << "address-space limits do not mix with sanitizer shadow memory";
  openRegistered(true);
  dataRequest("m1", "A");
  std::string big(64 * 1024 * 1024, 'b');
  const char* row[] = {big.c_str()};
  fflush(stdout);
  pid_t child = fork();
  if (child == 0) {
    // Leave room for what is mapped now, but not for another 128 MiB.
    long pages = 0;
    FILE* f = fopen("/proc/self/statm", "r");
    if (!f || fscanf(f, "%ld", &pages) != 1) _exit(2);
    fclose(f);
    rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + 32 * 1024 * 1024;
    rlimit rl{limit, limit};
    if (setrlimit(RLIMIT_AS, &rl) != 0) _exit(3);
    int rc = cp_SetAttributeValues(row, 1, "m1");
    _exit(rc == CP_NO_MEMORY && cp_IsOutstanding("m1") ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(Session, OutstandingIdsAndALockThatSurvivesCloseAndReopen) {
  for (int round = 0; round < 3; ++round) {
    openRegistered(true);
    dataRequest("d1", "A");
    cp_FreeRequest(next("<taskRequest id=\"k1\"><task command=\"c\"/></taskRequest>\n"));
    EXPECT_EQ(cp_GetOutstandingCount(), 2);
    EXPECT_TRUE(cp_IsOutstanding("d1"));
    EXPECT_TRUE(cp_IsOutstanding("k1"));
    // The same id again stays one entry.
    dataRequest("d1", "B");
    EXPECT_EQ(cp_GetOutstandingCount(), 2);
    EXPECT_EQ(cp_SendData("d1"), 0);
    EXPECT_EQ(m_peer.readLine(),
              "<dataResponse id=\"d1\"><attrGroup name=\"B\"></attrGroup></dataResponse>\n");
    EXPECT_EQ(cp_GetOutstandingCount(), 1);
    EXPECT_EQ(cp_CloseConnection(), 0);  // frees the task id still outstanding
    EXPECT_EQ(cp_GetOutstandingCount(), 0);
  }
}

TEST_F(Session, ConnectionMessageSetsTheIdsOfRequestsTheClientSends) {
  openRegistered(true);
  EXPECT_EQ(cp_SendRequest("A"), 0x10000000);
  EXPECT_EQ(m_peer.readLine(),
            "<dataRequest id=\"268435456\"><attrGroup name=\"A\"/></dataRequest>\n");
  Request* r = next("<connection id=\"2\"/>\n<shutdown/>\n");
  EXPECT_EQ(r->type, SHUTDOWN_REQUEST);  // the connection message itself is not returned
  cp_FreeRequest(r);
  RequestInfo second{const_cast<char*>("N2"), nullptr, nullptr, nullptr, nullptr};
  RequestInfo first{const_cast<char*>("N1"), const_cast<char*>("v<1"), const_cast<char*>("EQ"),
                    const_cast<char*>("AND"), &second};
  EXPECT_EQ(cp_SendSubnodeRequestWithFilter("B", "VL:x", &first), 0x20000001);
  EXPECT_EQ(m_peer.readLine(),
            "<dataRequest id=\"536870913\" subnode=\"VL:x\"><attrGroup name=\"B\"/>"
            "<requestInfo name=\"N1\" value=\"v&lt;1\" op=\"EQ\" logicalOp=\"AND\"/>"
            "<requestInfo name=\"N2\"/></dataRequest>\n");
  EXPECT_EQ(cp_SendSubnodeRequest("A", "s"), 0x20000002);
  EXPECT_EQ(m_peer.readLine(),
            "<dataRequest id=\"536870914\" subnode=\"s\"><attrGroup name=\"A\"/></dataRequest>\n");
}

TEST_F(Session, IncomingRecordsCarryTheRegisteredHandleAndNothingFromSkippedMessages) {
  openRegistered(true);
  Request* r = next(
      "<dataRequest id=\"s1\"><attrGroup name=\"Unknown\"/>"
      "<requestInfo name=\"stale\" value=\"1\"/></dataRequest>\n"
      "<dataRequest id=\"s2\" subnode=\"VL:a\"><attrGroup name=\"B\"/></dataRequest>\n");
  EXPECT_EQ(r->type, DATA_REQUEST);
  EXPECT_EQ(r->handle, kGroupB);
  EXPECT_STREQ(r->id, "s2");
  EXPECT_STREQ(r->subnode, "VL:a");
  EXPECT_EQ(r->requestInfo, nullptr);
  EXPECT_FALSE(cp_IsOutstanding("s1"));
  cp_FreeRequest(r);
}

TEST_F(Session, BadInputIsSkippedAndTheNextValidRequestAnswered) {
  openRegistered(true);
  // Each parser failure has its own case in Parser_test; here they meet the session.
  std::string junk = "complete garbage\n<dataRequest id=\"x\"><attrGroup name=\"A\"\n";
  junk += "<a b c d e>\n</close-without-open>\n<!-- unterminated\n<x>&#x;&unknown;</x>\n";
  junk += std::string("\0\0\0<\0>\n", 7);
  std::mt19937 random(42);
  std::string noise(1 << 20, '\0');
  for (char& c : noise) c = static_cast<char>(random() & 0xFF);
  junk += noise + ">\n";
  ASSERT_TRUE(m_peer.send(junk));
  // A line longer than the bound, sent in pieces, and a request behind it in the same write.
  std::string huge(17 * 1024 * 1024, '<');
  huge += ">\n<dataRequest id=\"ok\"><attrGroup name=\"A\"/></dataRequest>\n";
  std::thread writer([&] { m_peer.send(huge); });
  Request* r = nullptr;
  // Malformed lines may come out as partial requests of their own (a parse error keeps what was
  // read); none of them may be the shutdown of a broken link, and the valid one must arrive.
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(cp_WaitForRequest(&r), 0);
    bool done = r->type == DATA_REQUEST && r->id && strcmp(r->id, "ok") == 0;
    EXPECT_NE(r->type, SHUTDOWN_REQUEST);
    if (r->type == DATA_REQUEST) cp_SendData(r->id);
    cp_FreeRequest(r);
    if (done) break;
    ASSERT_LT(i, 49);
  }
  writer.join();
}

}  // namespace
