// Framing of the link's byte stream into messages, connecting, and whole writes.
#include "ClientSocket.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

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

TEST_F(Framing, OneMessageInThreeReads) {
  auto result = receiveAsync();
  putAndDrain("<dataRequest id=\"1\">");
  putAndDrain("<attrGroup name=\"G\"/>");
  put("</dataRequest>\n");
  EXPECT_EQ(result.get(), "<dataRequest id=\"1\"><attrGroup name=\"G\"/></dataRequest>");
}

TEST_F(Framing, ATerminatorSplitBetweenTwoReadsIsRecognised) {
  auto result = receiveAsync();
  putAndDrain("<shutdown/>");
  put("\n<next/>\n");
  EXPECT_EQ(result.get(), "<shutdown/>");
  EXPECT_EQ(receive(), "<next/>");
}

TEST_F(Framing, ASplitTerminatorBehindAnIncompleteLeftover) {
  put("<a/>\n<b");
  EXPECT_EQ(receive(), "<a/>");
  auto result = receiveAsync();
  putAndDrain("/>");  // the leftover "<b" continues; the '>' ends this read
  put("\n");
  EXPECT_EQ(result.get(), "<b/>");
}

TEST_F(Framing, LeftoverWithTheStartOfTheNextMessageIsCompletedFromTheSocket) {
  put("<a/>\n<b attr=");
  EXPECT_EQ(receive(), "<a/>");
  put("\"1\"/>\n");
  EXPECT_EQ(receive(), "<b attr=\"1\"/>");
}

TEST_F(Framing, LineFeedsWithoutAngleBracketAndBytesAfterNulStayInTheMessage) {
  put(std::string("text\nmore\0<x>\n<y/>\n", 19));
  EXPECT_EQ(receive(), std::string("text\nmore\0<x>", 13));
  EXPECT_EQ(receive(), "<y/>");
}

TEST_F(Framing, AnOverLongLineIsSkippedAndTheNextMessageReturned) {
  m_socket.setMaxMessageLength(10000);
  auto result = receiveAsync();
  std::string junk(50000, 'j');
  for (size_t i = 0; i < junk.size(); i += 7000) putAndDrain(junk.substr(i, 7000));
  put(">\n<ok/>\n");
  EXPECT_EQ(result.get(), "<ok/>");
}

TEST_F(Framing, AnOverLongLineEndingInsideALeftoverIsSkipped) {
  m_socket.setMaxMessageLength(5000);
  auto result = receiveAsync();
  putAndDrain(std::string(6000, 'j'));
  put("tail>\n<ok/>\n");
  EXPECT_EQ(result.get(), "<ok/>");
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
