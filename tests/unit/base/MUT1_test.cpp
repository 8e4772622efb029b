// Trace service: settings, per-unit flags, whole lines under concurrency, re-reading on SIGHUP.
#include "MUT1.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "TraceCapture.h"

VEL_TRACE_UNIT("traceunit");

namespace {

MUT1_Block otherBlock = {"other", {MUT1_STALE}, 0, nullptr};

class TraceTest : public ::testing::Test {
 protected:
  void configure(const char* spec) {
    m_trace.reset();  // restore before replacing, or the old guard would undo the new value
    m_trace.emplace(spec);
  }
  std::string output() { return m_trace->text(); }
  std::optional<veltest::TraceCapture> m_trace;
};

TEST_F(TraceTest, DefaultIsErrorsOnly) {
  configure(nullptr);
  EXPECT_TRUE(VEL_TRACE_ON(MUT1_ERROR));
  EXPECT_FALSE(VEL_TRACE_ON(MUT1_DETAIL));
  VEL_DETAIL("hidden %d", 1);
  VEL_ERROR("shown %d", 2);
  std::string out = output();
  EXPECT_EQ(out.find("hidden"), std::string::npos);
  EXPECT_NE(out.find("traceunit:"), std::string::npos);
  EXPECT_NE(out.find(" shown 2\n"), std::string::npos);
}

TEST_F(TraceTest, WordsHexMaskAndPerUnitSettings) {
  configure("detail,dump;other=0x40;TRACEUNIT=flow|error");
  // The per-unit entry wins over the default, and unit names compare case-insensitively.
  EXPECT_TRUE(VEL_TRACE_ON(MUT1_FLOW));
  EXPECT_TRUE(VEL_TRACE_ON(MUT1_ERROR));
  EXPECT_FALSE(VEL_TRACE_ON(MUT1_DETAIL));
  EXPECT_TRUE(MUT1_On(&otherBlock, MUT1_FLOW));
  EXPECT_FALSE(MUT1_On(&otherBlock, MUT1_ERROR));
  configure("none");
  EXPECT_FALSE(VEL_TRACE_ON(MUT1_ERROR | MUT1_DETAIL | MUT1_FLOW | MUT1_DUMP));
  configure("all");
  EXPECT_TRUE(VEL_TRACE_ON(MUT1_DETAIL));
  EXPECT_TRUE(MUT1_On(&otherBlock, MUT1_DUMP));
}

TEST_F(TraceTest, SighupRereadsTheSettings) {
  configure("error");
  EXPECT_FALSE(VEL_TRACE_ON(MUT1_DETAIL));
  setenv("VEL_TRACE", "detail", 1);
  EXPECT_FALSE(VEL_TRACE_ON(MUT1_DETAIL)) << "settings must be cached until they are invalidated";
  MUT1_InstallSighup();
  raise(SIGHUP);
  EXPECT_TRUE(VEL_TRACE_ON(MUT1_DETAIL));
}

int flowTraced(int v) {
  VEL_FLOW_ENTRY("flowTraced");
  if (v < 0) VEL_RETURN(-1);
  return v;
}

TEST_F(TraceTest, FlowScopeTracesEntryAndExitWithValue) {
  configure("flow");
  EXPECT_EQ(flowTraced(-5), -1);
  EXPECT_EQ(flowTraced(3), 3);
  std::string out = output();
  EXPECT_NE(out.find("Entry flowTraced"), std::string::npos);
  EXPECT_NE(out.find("Exit, result -1"), std::string::npos);
  EXPECT_NE(out.find("Exit\n"), std::string::npos);
}

TEST_F(TraceTest, DumpWritesHexAndText) {
  configure("dump");
  const char data[] = "AB\x01";
  VEL_DUMP(data, 3, "Dump of %s", "buf");
  std::string out = output();
  EXPECT_NE(out.find("Dump of buf (3 bytes)"), std::string::npos);
  EXPECT_NE(out.find("41 42 01"), std::string::npos);
  EXPECT_NE(out.find("AB."), std::string::npos);
}

TEST_F(TraceTest, LinesFromManyThreadsNeverInterleave) {
  configure("detail");
  const std::string payload(3000, 'x');  // longer than the stack buffer of a message
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) VEL_DETAIL("T%d %s END", t, payload.c_str());
    });
  for (auto& th : threads) th.join();
  std::istringstream in(output());
  std::string line;
  int lines = 0;
  while (std::getline(in, line)) {
    ++lines;
    ASSERT_NE(line.find(payload + " END"), std::string::npos)
        << "broken line: " << line.substr(0, 80);
  }
  EXPECT_EQ(lines, 800);
}

}  // namespace
