// The measuring helpers of bench_request: percentiles and the /proc figures it reports.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "BenchStats.h"

namespace {

using velbench::LatencySummary;
using velbench::ProcMemory;

TEST(BenchPercentile, NearestRankOnSmallAndLargeSamples) {
  std::vector<double> hundred;
  for (int i = 1; i <= 100; ++i) hundred.push_back(i);
  EXPECT_EQ(velbench::percentileOfSorted(hundred, 50), 50);
  EXPECT_EQ(velbench::percentileOfSorted(hundred, 90), 90);
  EXPECT_EQ(velbench::percentileOfSorted(hundred, 99), 99);
  EXPECT_EQ(velbench::percentileOfSorted(hundred, 100), 100);
  // Ten values: p99 is the largest one, p50 the fifth, never an interpolation.
  std::vector<double> ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 1000};
  EXPECT_EQ(velbench::percentileOfSorted(ten, 50), 5);
  EXPECT_EQ(velbench::percentileOfSorted(ten, 90), 9);
  EXPECT_EQ(velbench::percentileOfSorted(ten, 99), 1000);
  EXPECT_EQ(velbench::percentileOfSorted({7}, 50), 7);
  EXPECT_EQ(velbench::percentileOfSorted({7}, 99), 7);
  EXPECT_EQ(velbench::percentileOfSorted({}, 50), 0);
}

TEST(BenchPercentile, SummarySortsItsSample) {
  std::vector<double> ms = {9, 1, 5, 3, 7};
  LatencySummary s = velbench::summarize(&ms);
  EXPECT_EQ(s.count, 5u);
  EXPECT_DOUBLE_EQ(s.mean, 5);
  EXPECT_EQ(s.p50, 5);
  EXPECT_EQ(s.p90, 9);
  EXPECT_EQ(s.max, 9);
  EXPECT_EQ(ms, (std::vector<double>{1, 3, 5, 7, 9}));

  std::vector<double> none;
  LatencySummary empty = velbench::summarize(&none);
  EXPECT_EQ(empty.count, 0u);
  EXPECT_EQ(empty.max, 0);
  EXPECT_EQ(velbench::summarize(nullptr).count, 0u);
}

TEST(BenchProcStatus, ReadsResidentAndPeakMemoryAndThreads) {
  const std::string status =
      "Name:\tvelclient\nVmPeak:\t  300000 kB\nVmSize:\t  290000 kB\nVmHWM:\t    9216 kB\n"
      "VmRSS:\t    8528 kB\nRssAnon:\t    2000 kB\nThreads:\t53\nSigQ:\t0/63373\n";
  ProcMemory m;
  ASSERT_TRUE(velbench::parseProcStatus(status, &m));
  EXPECT_EQ(m.vmRssKb, 8528);
  EXPECT_EQ(m.vmHwmKb, 9216);
  EXPECT_EQ(m.threads, 53);

  // A kernel thread has no VmRSS line: nothing is reported and the output stays as it was.
  ProcMemory untouched;
  untouched.vmRssKb = 42;
  EXPECT_FALSE(velbench::parseProcStatus("Name:\tkworker\nThreads:\t1\n", &untouched));
  EXPECT_EQ(untouched.vmRssKb, 42);
  EXPECT_FALSE(velbench::parseProcStatus("VmRSS:\t  n/a\n", &m));
}

TEST(BenchProcStat, AddsUserAndSystemTicksPastAnAwkwardCommandName) {
  // Fields after the name: state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt
  // utime stime ...
  const std::string tail = " S 1 2 3 0 -1 4194304 100 0 0 0 1234 567 0 0 20 0 53 0";
  unsigned long long ticks = 0;
  ASSERT_TRUE(velbench::parseProcStatTicks("4711 (velclient)" + tail, &ticks));
  EXPECT_EQ(ticks, 1801u);
  // The name may hold blanks and parentheses; only the last ')' ends it.
  ASSERT_TRUE(velbench::parseProcStatTicks("4711 (a) 9 9 (b)" + tail, &ticks));
  EXPECT_EQ(ticks, 1801u);

  ticks = 5;
  EXPECT_FALSE(velbench::parseProcStatTicks("4711 (velclient) S 1 2 3", &ticks));
  EXPECT_FALSE(velbench::parseProcStatTicks("no parenthesis at all", &ticks));
  EXPECT_FALSE(
      velbench::parseProcStatTicks("4711 (x) S 1 2 3 0 -1 4194304 100 0 0 0 12x 567 0 0", &ticks));
  EXPECT_EQ(ticks, 5u);
}

TEST(BenchProcFiles, ReadsALiveProcessAndRefusesAMissingOne) {
  ProcMemory m;
  ASSERT_TRUE(velbench::readProcMemory(getpid(), &m));
  EXPECT_GT(m.vmRssKb, 0);
  EXPECT_GE(m.vmHwmKb, m.vmRssKb);
  EXPECT_GE(m.threads, 1);
  unsigned long long ticks = 0;
  EXPECT_TRUE(velbench::readProcCpuTicks(getpid(), &ticks));
  // This very thread has run, so the sum over the threads is not zero.
  unsigned long long ns = 0;
  if (velbench::readProcCpuNanos(getpid(), &ns)) {
    EXPECT_GT(ns, 0u);
  }
  // Above the kernel's largest process id.
  EXPECT_FALSE(velbench::readProcMemory(0x7ffffff0, &m));
  EXPECT_FALSE(velbench::readProcCpuTicks(0x7ffffff0, &ticks));
  EXPECT_FALSE(velbench::readProcCpuNanos(0x7ffffff0, &ns));
}

TEST(BenchCpu, PercentOfOneCoreAndSchedulerTime) {
  EXPECT_DOUBLE_EQ(velbench::cpuPercent(500000000ULL, 1.0), 50.0);
  EXPECT_DOUBLE_EQ(velbench::cpuPercent(3000000000ULL, 2.0), 150.0);  // two busy cores
  EXPECT_DOUBLE_EQ(velbench::cpuPercent(30000000ULL, 30.0), 0.1);
  EXPECT_EQ(velbench::cpuPercent(10, 0), 0);

  unsigned long long ns = 7;
  ASSERT_TRUE(velbench::parseSchedstatNs("135039863 105511594 384\n", &ns));
  EXPECT_EQ(ns, 135039863u);
  ASSERT_TRUE(velbench::parseSchedstatNs("0 0 1\n", &ns));
  EXPECT_EQ(ns, 0u);
  ns = 7;
  EXPECT_FALSE(velbench::parseSchedstatNs("", &ns));
  EXPECT_FALSE(velbench::parseSchedstatNs("12ab 3 4", &ns));
  EXPECT_EQ(ns, 7u);
}

}  // namespace
