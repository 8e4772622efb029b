// The environment trace at start-up never lets the connection password through.
#include "VelStartup.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "TraceCapture.h"

namespace {

std::string traceEnvironment(const char* traceSpec, std::vector<std::string> entries) {
  veltest::TraceCapture trace(traceSpec);
  std::vector<char*> env;
  for (auto& e : entries) env.push_back(e.data());
  env.push_back(nullptr);
  velTraceEnvironment(env.data());
  return trace.text();
}

TEST(StartupEnvironmentTrace, MasksEveryEntryThatContainsThePasswordName) {
  std::string out = traceEnvironment(
      "detail",
      {"PATH=/usr/bin", "VEL_CONN_PASSWORD=topsecret1", "MY_VEL_CONN_PASSWORD_2=topsecret2",
       "XVEL_CONN_PASSWORDX=topsecret3", "AGENT_KEY=topsecret4", "AGENT_KEY_HOZ_TRACE=xxx"});
  EXPECT_NE(out.find("Environment variable settting is AGENT_KEY=xxx"), std::string::npos);
  EXPECT_NE(out.find("Environment variable settting is PATH=/usr/bin"), std::string::npos);
  EXPECT_EQ(out.find("topsecret"), std::string::npos) << out;
  size_t masked = 0;
  for (size_t pos = out.find("VEL_CONN_PASSWORD=**********"); pos != std::string::npos;
       pos = out.find("VEL_CONN_PASSWORD=**********", pos + 1))
    ++masked;
  EXPECT_EQ(masked, 3u);
}

TEST(StartupEnvironmentTrace, SilentWithoutDetailedTracing) {
  std::string out = traceEnvironment("error", {"PATH=/usr/bin"});
  EXPECT_EQ(out, "");
}

}  // namespace
