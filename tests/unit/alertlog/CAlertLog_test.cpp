#include "CAlertLog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "TestSupport.h"

namespace {

// Identifier, severity, time and text of one entry.
using Row = std::tuple<std::string, int, time_t, std::string>;
std::string textOf(const Row& r) { return std::get<3>(r); }

struct Collector : CAlertLogListener {
  std::vector<Row> rows;
  void onAlertEntry(CAlertEntry& e) override {
    rows.emplace_back(e.getMsgId(), e.getSeverity(), e.getTimestamp(), e.getText());
  }
};

using veltest::utcTime;

// The keys are written as the shipped template writes them: without leading zeros.
const char* const kMsgIds =
    "# message identifier = severity\n"
    "ORA-3136=5\nORA-600=1\nORA-7445=1\nORA-4031=2\nORA-1555=2\nORA-1102=2\nORA-604=3\n"
    "ORA-6512=4\nORA-[=1\nORA-1578=7\nTNS-12535=3\nORA-6[0-9][0-9][0-9][0-9]=4\n";

class CAlertLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(veltest::writeFile(msgidPath, kMsgIds));
    ASSERT_TRUE(msgids.load());
    tzset();
  }
  // One search of log; the rows it delivered.
  std::vector<Row> search(CAlertLog& log, int expectedResult) {
    Collector c;
    EXPECT_EQ(expectedResult, log.search(msgids, c));
    return c.rows;
  }
  void append(const std::string& text) { std::ofstream(logPath, std::ios::app) << text; }
  veltest::ScopedEnv tz{"TZ", "UTC"};
  veltest::TempDir dir;
  std::string msgidPath = dir.file("msgid.properties");
  std::string logPath = dir.file("alert_PROD1.log");
  CPropFile msgids{msgidPath.c_str()};
  CAlertLog log{"PROD1", logPath.c_str(), "host1", "PROD"};
};

TEST_F(CAlertLogTest, FindsMessagesWithTheirTimesSeveritiesAndTexts) {
  const time_t t1 = utcTime(2026, 12, 2, 10, 15, 30), t2 = utcTime(2025, 1, 2, 8, 0, 0);
  const std::string longText(200, 'x');
  struct Case {
    const char* name;
    std::string text;
    std::vector<Row> rows;
  } cases[] = {
      {"classic line, leading zeros",
       "Wed Dec 02 10:15:30 2026\nORA-00600: internal error code, arguments: [kcbz]\n",
       {{"ORA-00600", 1, t1, "internal error code, arguments: [kcbz]"}}},
      {"zone word dropped",
       "Wed Dec 02 10:15:30 CEST 2026\nORA-7445: exception\n",
       {{"ORA-7445", 1, t1, "exception"}}},
      {"ISO line with its own offset",
       "2026-12-02T12:15:30.123456+02:00\nTNS-12535: TNS:operation timed out\n",
       {{"TNS-12535", 3, t1, "TNS:operation timed out"}}},
      {"years after 2020 are timestamps, a lone year is not",
       "Thu Jan 02 08:00:00 2025\nCompleted: ALTER DATABASE OPEN 2025\nORA-4031: \"pool\"\n",
       {{"ORA-4031", 2, t2, "\"pool\""}}},
      {"only identifiers at the start of a line",
       "Wed Dec 02 10:15:30 2026\nErrors in file /u01/trace/PROD1_ora_42.trc: ORA-00600\n"
       "WARNING: inbound connection timed out (ORA-3136)\n  ORA-00600: indented\n",
       {}},
      {"level 5, undefined, invalid level and invalid expression are not reported",
       "Wed Dec 02 10:15:30 2026\nORA-3136: timed out\nORA-00001: unique\nORA-01578: block\n",
       {}},
      {"text cut at 160 bytes",
       "Wed Dec 02 10:15:30 2026\nORA-600: " + longText + "\n",
       {{"ORA-600", 1, t1, longText.substr(0, 160)}}},
      {"departure: identifiers as Oracle writes them, with and without leading zeros",
       "Wed Dec 02 10:15:30 2026\nORA-1102 signalled during: ALTER DATABASE MOUNT...\n"
       "ORA-01102: cannot mount database in EXCLUSIVE mode\n",
       {{"ORA-1102", 2, t1, "signalled during: ALTER DATABASE MOUNT..."},
        {"ORA-01102", 2, t1, "cannot mount database in EXCLUSIVE mode"}}},
      {"expression over the number part",
       "Wed Dec 02 10:15:30 2026\nORA-65011: PDB\n",
       {{"ORA-65011", 4, t1, "PDB"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(veltest::writeFile(logPath, c.text));
    CAlertLog fresh("PROD1", logPath.c_str(), nullptr, nullptr);
    EXPECT_EQ(c.rows, search(fresh, static_cast<int>(c.rows.size())));
  }
}

TEST_F(CAlertLogTest, ClassicLinesAreReadInTheProcesssZone) {
  veltest::ScopedEnv jst("TZ", "JST-9");
  tzset();
  ASSERT_TRUE(veltest::writeFile(logPath,
                                 "Wed Dec 02 10:15:30 2026\nORA-600: x\n"
                                 "2026-12-02T10:15:30+00:00\nORA-600: y\n"));
  auto rows = search(log, 2);
  EXPECT_EQ(utcTime(2026, 12, 2, 1, 15, 30), std::get<2>(rows.at(0)));
  EXPECT_EQ(utcTime(2026, 12, 2, 10, 15, 30), std::get<2>(rows.at(1)));
}

TEST_F(CAlertLogTest, ReadsOnlyWhatIsNewAndRestartsAfterTruncationOrRotation) {
  const time_t before = time(nullptr);
  ASSERT_TRUE(veltest::writeFile(logPath, "ORA-600: first\n"));
  auto rows = search(log, 1);
  EXPECT_GE(std::get<2>(rows.at(0)), before);  // no timestamp line yet: the time the search began
  EXPECT_TRUE(search(log, -1).empty());
  append("Wed Dec 02 10:15:30 2026\nORA-600: second\nORA-7445: no line end");
  rows = search(log, 2);
  EXPECT_EQ("second", textOf(rows.at(0)));
  EXPECT_EQ("no line end", textOf(rows.at(1)));  // read in the same cycle
  EXPECT_EQ(2, log.getLevel1Last());
  EXPECT_EQ(3, log.getLevel1Total());
  ASSERT_TRUE(veltest::writeFile(logPath, "ORA-4031: truncated\n"));
  EXPECT_EQ("truncated", textOf(search(log, 1).at(0)));
  EXPECT_EQ(1, log.getLevel2Last());
  EXPECT_EQ(0, log.getLevel1Last());
  // Renamed away and recreated, already longer than the old log.
  ASSERT_EQ(0, rename(logPath.c_str(), (logPath + ".1").c_str()));
  ASSERT_TRUE(veltest::writeFile(logPath, "ORA-600: rotated and longer than before\n"));
  EXPECT_EQ("rotated and longer than before", textOf(search(log, 1).at(0)));
  ASSERT_EQ(0, unlink(logPath.c_str()));
  EXPECT_TRUE(search(log, -1).empty());
  EXPECT_EQ(CAlertLog::kFileMissing, log.getFileState());
  ASSERT_EQ(0, mkdir(logPath.c_str(), 0755));  // a directory where the log should be
  EXPECT_TRUE(search(log, -1).empty());
  EXPECT_EQ(CAlertLog::kFileMissing, log.getFileState());
  ASSERT_EQ(0, rmdir(logPath.c_str()));
  ASSERT_TRUE(veltest::writeFile(logPath, "ORA-600: back\n"));
  EXPECT_EQ("back", textOf(search(log, 1).at(0)));
  EXPECT_EQ(CAlertLog::kFileExists, log.getFileState());
  if (geteuid() != 0) {  // root reads whatever the mode says
    append("ORA-600: unreadable for now\n");
    ASSERT_EQ(0, chmod(logPath.c_str(), 0));
    EXPECT_TRUE(search(log, 0).empty());
    ASSERT_EQ(0, chmod(logPath.c_str(), 0644));
    EXPECT_EQ("unreadable for now", textOf(search(log, 1).at(0)));  // the same range again
  }
}

TEST_F(CAlertLogTest, FirstSearchReadsTheTailAndBadBytesLoseNothing) {
  const std::pair<const char*, int> sizes[] = {
      {"2M", 2097152}, {"64k", 65536}, {"0", 5242880}, {"abc", 5242880}};
  for (auto s : sizes) EXPECT_EQ(s.second, CAlertLog::parseMaxReadSize(s.first)) << s.first;
  std::string text = "ORA-600: too old\n";
  text += std::string(static_cast<size_t>(CAlertLog::getMaxReadSize()), 'x');  // one long line
  text += "\n" + std::string("\x00\xff\xfe\x80 binary\n", 12) + "ORA-600: bad \xff\xfe bytes\n";
  text += "ORA-600: kept\n";
  ASSERT_TRUE(veltest::writeFile(logPath, text));
  log.setCodePage(1208);
  auto rows = search(log, 2);
  EXPECT_EQ("bad \xEF\xBF\xBD\xEF\xBF\xBD bytes", textOf(rows.at(0)));  // invalid UTF-8 substituted
  EXPECT_EQ("kept", textOf(rows.at(1)));
}

// The summary reads the counters on another thread while the alert-log thread searches.
TEST_F(CAlertLogTest, CountersAreReadableWhileASearchRuns) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "ORA-600: x\nORA-4031: y\n";
  ASSERT_TRUE(veltest::writeFile(logPath, text));
  std::atomic<bool> done{false};
  long highest = 0;
  std::thread summary([&] {
    while (!done.load()) {
      highest = std::max(highest, log.getLevel1Total() + log.getLevel2Last());
    }
  });
  search(log, 6000);
  done.store(true);
  summary.join();
  EXPECT_LE(highest, 6000);
  EXPECT_EQ(std::make_pair(3000L, 3000L),
            std::make_pair(log.getLevel1Total(), log.getLevel2Last()));
}

// Departures on purpose from the reading described for these logs.
TEST_F(CAlertLogTest, LinesWithoutTheLayoutAreOrdinaryAndTimesStayPerLog) {
  ASSERT_TRUE(veltest::writeFile(logPath, "Wed Dec 02 10:15:30 2026\nORA-600: a\n"));
  ASSERT_EQ(1u, search(log, 1).size());
  std::string other = dir.file("alert_PROD2.log");
  ASSERT_TRUE(veltest::writeFile(
      other,
      "Patch Apply Time: 2019-04-18T16:21:17+09:00\n  4K, 2048K\n"
      "Version 19.3.0.0.0 Production PDT 2015\nORA-1555: snapshot too old at 2019\n"));
  CAlertLog second("PROD2", other.c_str(), nullptr, nullptr);
  const time_t before = time(nullptr);
  auto rows = search(second, 1);
  EXPECT_EQ("snapshot too old at 2019", textOf(rows.at(0)));
  EXPECT_GE(std::get<2>(rows.at(0)), before);
  EXPECT_EQ(0, second.getLastConvertedTime());
}

TEST_F(CAlertLogTest, TextsOfOtherScriptsKeepTheirFirstWords) {
  struct Case {
    int codePage;
    std::string line, text;
  } cases[] = {
      {1208, "ORA-01555: \xE5\xBF\xAB\xE7\x85\xA7\xE8\xBF\x87\xE6\x97\xA7",
       "\xE5\xBF\xAB\xE7\x85\xA7\xE8\xBF\x87\xE6\x97\xA7"},
      {1392, "ORA-01555: \xBF\xEC\xD5\xD5", "\xE5\xBF\xAB\xE7\x85\xA7"},  // GB18030
      {1251, "ORA-01555: \xF1\xED\xE8\xEC\xEE\xEA",                       // windows-1251
       "\xD1\x81\xD0\xBD\xD0\xB8\xD0\xBC\xD0\xBE\xD0\xBA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codePage);
    ASSERT_TRUE(veltest::writeFile(logPath, c.line + "\n"));
    CAlertLog fresh("PROD1", logPath.c_str(), nullptr, nullptr);
    fresh.setCodePage(c.codePage);
    EXPECT_EQ(c.text, textOf(search(fresh, 1).at(0)));
  }
}

// A busy 19c instance: ISO lines, error stacks, identifiers inside lines, lines ending in numbers,
// one classic line with a zone word, and no line end after the last line.
TEST_F(CAlertLogTest, BusyInstanceLogGivesEveryStackLineInOrder) {
  std::string text = "Starting ORACLE instance (normal) (OS id: 4242)\n  4K, 2048K\n";
  std::vector<Row> expected;
  for (int i = 0; i < 3; ++i) {
    char iso[64];
    snprintf(iso, sizeof iso, "2026-12-02T10:%02d:00.123456+00:00\n", 10 * i);
    const time_t t = utcTime(2026, 12, 2, 10, 10 * i, 0);
    text += iso;
    text +=
        "Thread 1 advanced to log sequence 1234 (LGWR switch)\n"
        "  Current log# 3 seq# 1234 mem# 0: /u01/oradata/PROD/redo03.log\n"
        "WARNING: inbound connection timed out (ORA-3136) opiodr aborting process 4711\n"
        "Errors in file /u01/diag/PROD1_j000_4711.trc:\n"
        "ORA-00604: error occurred at recursive SQL level 1\n"
        "ORA-01555: snapshot too old: rollback segment number 23 too small\n"
        "ORA-06512: at \"SYS.DBMS_STATS\", line 12\n";
    expected.push_back({"ORA-00604", 3, t, "error occurred at recursive SQL level 1"});
    expected.push_back(
        {"ORA-01555", 2, t, "snapshot too old: rollback segment number 23 too small"});
    expected.push_back({"ORA-06512", 4, t, "at \"SYS.DBMS_STATS\", line 12"});
  }
  text +=
      "Wed Dec 02 11:00:00 PST 2026\nCompleted checkpoint up to RBA [0x1a2.2.10], SCN: 2026\n"
      "ORA-04031: unable to allocate 4160 bytes of shared memory";
  expected.push_back({"ORA-04031", 2, utcTime(2026, 12, 2, 11, 0, 0),
                      "unable to allocate 4160 bytes of shared memory"});
  ASSERT_TRUE(veltest::writeFile(logPath, text));
  EXPECT_EQ(expected, search(log, 10));
}

}  // namespace
