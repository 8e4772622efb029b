// Framing of the link's byte stream into messages, connecting, and whole writes.
#include "ClientSocket.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "LinkPeer.h"

namespace {

char kLoopback[] = "127.0.0.1";

// A ClientSocket reading from one end of a socket pair; the test writes to the other end.
class Framing : public ::testing::Test {
 protected:
  Framing() : m_socket(0, kLoopback) {
    int fds[2];
    socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
    m_socket.socket = fds[0];
    m_peer = fds[1];
  }
  ~Framing() override {
    if (m_peer >= 0) close(m_peer);
  }
  void put(const std::string& bytes) {
    ASSERT_EQ(write(m_peer, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Writes bytes and waits (bounded) until the reader has taken all of them, so that the next
  // write lands in a read of its own.
  void putAndDrain(const std::string& bytes) {
    put(bytes);
    for (int i = 0; i < 2000; ++i) {
      int pending = 0;
      ioctl(m_socket.socket, FIONREAD, &pending);
      if (pending == 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    FAIL() << "reader did not take the bytes";
  }
  std::string receive(bool* ok = nullptr) {
    HOZ::String message;
    bool result = m_socket.receive(&message);
    if (ok) *ok = result;
    return message.buffer ? std::string(message.buffer, message.length) : std::string();
  }
  // Runs receive on another thread while the test writes.
  std::future<std::string> receiveAsync() {
    return std::async(std::launch::async, [this] { return receive(); });
  }
  void closePeer() {
    close(m_peer);
    m_peer = -1;
  }

  ClientSocket m_socket;
  int m_peer = -1;
};

TEST_F(Framing, TwoMessagesInOneReadComeOutOneByOneWithoutReadingAgain) {
  put("<a x=\"1\"/>\n<b/>\n");
  EXPECT_EQ(receive(), "<a x=\"1\"/>");
  closePeer();  // the second message must come from what was already read
  bool ok = false;
  EXPECT_EQ(receive(&ok), "<b/>");
  EXPECT_TRUE(ok);
  EXPECT_EQ(receive(&ok), "");
  EXPECT_FALSE(ok);
}

TEST_F(Framing, MessagesSplitAcrossReadsAreReassembled) {
  // Each piece is written once the reader has taken the one before: a read of its own.
  const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
      {{"<dataRequest id=\"1\">", "<attrGroup name=\"G\"/>", "</dataRequest>\n"},
       {"<dataRequest id=\"1\"><attrGroup name=\"G\"/></dataRequest>"}},
      {{"<shutdown/>", "\n<next/>\n"}, {"<shutdown/>", "<next/>"}},  // a split terminator
      {{"<a/>\n<b", "/>", "\n"}, {"<a/>", "<b/>"}},  // the same behind an incomplete leftover
      {{"<a/>\n<b attr=", "\"1\"/>\n"}, {"<a/>", "<b attr=\"1\"/>"}},
      // Line feeds without '>' before them and bytes after a NUL stay in the message.
      {{std::string("text\nmore\0<x>\n<y/>\n", 19)}, {std::string("text\nmore\0<x>", 13), "<y/>"}},
  };
  for (const auto& c : cases) {
    auto result = std::async(std::launch::async, [&] {
      std::vector<std::string> got;
      while (got.size() < c.second.size()) got.push_back(receive());
      return got;
    });
    for (const std::string& piece : c.first) putAndDrain(piece);
    EXPECT_EQ(result.get(), c.second);
  }
}

TEST_F(Framing, AnOverLongLineIsSkippedAndTheNextMessageReturned) {
  // Over the bound across several reads, and over it within one read, ending in the leftover.
  struct {
    int bound, junk, read;
    const char* tail;
  } const cases[] = {{10000, 50000, 7000, ">\n<ok/>\n"}, {5000, 6000, 6000, "tail>\n<ok/>\n"}};
  for (const auto& c : cases) {
    m_socket.setMaxMessageLength(c.bound);
    auto result = receiveAsync();
    for (int i = 0; i < c.junk; i += c.read)
      putAndDrain(std::string(std::min(c.read, c.junk - i), 'j'));
    put(c.tail);
    EXPECT_EQ(result.get(), "<ok/>") << c.bound;
  }
}

TEST_F(Framing, PeerShutdownEndsTheReceive) {
  put("<partial");
  closePeer();
  bool ok = true;
  std::string partial = receive(&ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(partial, "<partial");
}

TEST(ClientSocketConnect, ConnectsAndWritesWholeMessages) {
  veltest::LinkPeer peer;
  ClientSocket socket(peer.port(), kLoopback);
  ASSERT_TRUE(socket.open());
  ASSERT_TRUE(peer.accept());
  // Larger than the socket buffers: the write completes only if short sends are continued.
  std::string big(8 * 1024 * 1024, 'v');
  big += ">\n";
  HOZ::String message(big.c_str());
  auto reader = std::async(std::launch::async, [&] { return peer.readLine(5000); });
  EXPECT_TRUE(socket.write(&message));
  EXPECT_EQ(reader.get().size(), big.size());
  socket.closeSocket();
  EXPECT_EQ(socket.socket, -1);
  EXPECT_FALSE(socket.write(&message));
}

}  // namespace
