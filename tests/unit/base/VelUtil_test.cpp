// External commands, process-list queries, host names, time stamps and the small helpers.
#include "VelUtil.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <string>

#include "TestSupport.h"

namespace {

std::string str(const VelString& s) { return std::string(s.c_str(), s.length()); }

// Writes an executable shell script and returns its path.
std::string writeScript(const veltest::TempDir& dir, const std::string& name,
                        const std::string& body) {
  std::string path = dir.file(name);
  EXPECT_TRUE(veltest::writeFile(path, "#!/bin/sh\n" + body));
  EXPECT_EQ(chmod(path.c_str(), 0755), 0);
  return path;
}

// True when this process has no child left, collected or not: no zombie stays behind.
bool noChildLeft() {
  int status;
  return waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

// Sets TZ for the life of the object so local times are predictable.
class ScopedTZ {
 public:
  explicit ScopedTZ(const char* tz) : m_env("TZ", tz) { tzset(); }
  ~ScopedTZ() { tzset(); }

 private:
  veltest::ScopedEnv m_env;
};

TEST(VelExecuteSystemCommand, CollectsBothStreamsAndAppends) {
  veltest::TempDir dir;
  std::string script =
      writeScript(dir, "both.sh", "echo \"out:$1\"\necho \"err:$2\" >&2\nexit 3\n");
  VelString out("before|");
  VelString err;
  EXPECT_TRUE(velExecuteSystemCommand((script + " one two").c_str(), out, err));
  EXPECT_EQ(str(out), "before|out:one\n");
  EXPECT_EQ(str(err), "err:two\n");
}

TEST(VelExecuteSystemCommand, MissingProgramIsReportedInTheErrorText) {
  VelString out;
  VelString err;
  EXPECT_TRUE(velExecuteSystemCommand("/nonexistent/velprog -x", out, err));
  EXPECT_EQ(out.length(), 0u);
  EXPECT_EQ(str(err), "Return from execvp for command:/nonexistent/velprog -x, with errno = " +
                          std::to_string(ENOENT) + "\n");
  EXPECT_TRUE(noChildLeft());
}

TEST(VelExecuteSystemCommand, SplitsAtSpacesOnlyWithoutEmptyArguments) {
  VelString out;
  VelString err;
  // An empty argument between the two spaces would make printf print "[a][][b]".
  ASSERT_TRUE(velExecuteSystemCommand("printf [%s]  a  b", out, err));
  EXPECT_EQ(str(out), "[a][b]");
  // No shell: quotes are ordinary characters and $HOME stays as written.
  out.clear();
  ASSERT_TRUE(velExecuteSystemCommand("printf [%s] 'x y' $HOME", out, err));
  EXPECT_EQ(str(out), "['x][y'][$HOME]");
  EXPECT_EQ(err.length(), 0u);
}

TEST(VelExecuteSystemCommand, ChildFillingErrorStreamDoesNotDeadlock) {
  // Far more than a pipe holds, on both streams, error first: reading only the output stream
  // to its end before the error stream would block both sides forever.
  veltest::TempDir dir;
  std::string script = writeScript(dir, "noisy.sh",
                                   "head -c 300000 /dev/zero | tr '\\0' e >&2\n"
                                   "head -c 200000 /dev/zero | tr '\\0' o\n"
                                   "head -c 100000 /dev/zero | tr '\\0' E >&2\n");
  VelString out;
  VelString err;
  ASSERT_TRUE(velExecuteSystemCommand(script.c_str(), out, err));
  ASSERT_EQ(out.length(), 200000u);
  ASSERT_EQ(err.length(), 400000u);
  EXPECT_EQ(std::string(out.c_str()).find_first_not_of('o'), std::string::npos);
  EXPECT_EQ(err.c_str()[299999], 'e');
  EXPECT_EQ(err.c_str()[300000], 'E');
  EXPECT_TRUE(noChildLeft());
}

TEST(VelExecuteSystemCommand, ChildReadingStandardInputSeesItsEnd) {
  VelString out;
  VelString err;
  ASSERT_TRUE(velExecuteSystemCommand("cat", out, err));  // would wait forever on our input
  EXPECT_EQ(out.length(), 0u);
}

TEST(VelExecuteSystemCommand, ChildThatClosesItsOutputButStaysIsStoppedAndCollected) {
  veltest::TempDir dir;
  std::string script = writeScript(dir, "stays.sh", "exec >&- 2>&-\nexec sleep 60\n");
  VelString out;
  VelString err;
  const time_t start = time(nullptr);
  EXPECT_TRUE(velExecuteSystemCommand(script.c_str(), out, err, 200));
  EXPECT_LT(time(nullptr) - start, 10);
  EXPECT_TRUE(noChildLeft());
}

TEST(VelGetSplitString, ReturnsTokenAndPositionAfterSeparatorRun) {
  VelString token;
  const char* text = "alpha,;,beta";
  const char* rest = velGetSplitString(text, ",;", token);
  EXPECT_EQ(str(token), "alpha");
  EXPECT_STREQ(rest, "beta");
  rest = velGetSplitString(rest, ",;", token);
  EXPECT_EQ(str(token), "beta");
  EXPECT_EQ(*rest, 0);
  rest = velGetSplitString(",x", ",", token);
  EXPECT_EQ(token.length(), 0u);
  EXPECT_STREQ(rest, "x");
  EXPECT_EQ(velGetSplitString(nullptr, ",", token), nullptr);
}

const char* const kPsFixture =
    "  PID TTY      STAT   TIME COMMAND\r\n"
    "    1 ?        Ss     0:06 /sbin/init splash HOME=/ TERM=linux\r\n"
    " 4242 ?        Ssl    1:01 /u01/app/19c/grid/bin/crsd.bin reboot "
    "ORACLE_HOME=/u01/app/19c/grid "
    "ORACLE_SID=+ASM1\n"
    " 5150 ?        Ss     0:00 ora_pmon_PROD ORACLE_HOME_LIST=/wrong ORACLE_SID=PROD "
    "ORACLE_HOME=/u01/app/oracle/product/19c LANG=C\n"
    "  515 ?        S      0:00 /usr/bin/tail ORACLE_HOME=/not/this/one\n";

TEST(VelProcessList, EnvironmentValuesAndHomeOfOneProcess) {
  VelString home;
  ASSERT_TRUE(velGetOracleHome(kPsFixture, 5150, home));
  EXPECT_EQ(str(home), "/u01/app/oracle/product/19c");  // not the _LIST variable
  ASSERT_TRUE(velGetEnvValueByPID(kPsFixture, 4242, "ORACLE_SID", home));
  EXPECT_EQ(str(home), "+ASM1");
  ASSERT_TRUE(velGetOracleHome(kPsFixture, 515, home));
  EXPECT_EQ(str(home), "/not/this/one");
  VelString out("unchanged");
  EXPECT_FALSE(velGetOracleHome(kPsFixture, 1, out));      // HOME= is not ORACLE_HOME=
  EXPECT_FALSE(velGetOracleHome(kPsFixture, 51, out));     // no such pid, prefix of others
  EXPECT_FALSE(velGetOracleHome(kPsFixture, 99999, out));  // no such pid
  // The program path itself is not an environment field.
  EXPECT_FALSE(velGetEnvValueByPID(kPsFixture, 4242, "/u01/app/19c/grid/bin/crsd.bin", out));
  EXPECT_EQ(str(out), "unchanged");
  ASSERT_TRUE(velGetOracleCRSHome(kPsFixture, home));
  EXPECT_EQ(str(home), "/u01/app/19c/grid");
  EXPECT_FALSE(velGetHomePathByProcessName(kPsFixture, "/bin/ocssd.bin", home));
  // Only the program path counts, not the arguments after it.
  EXPECT_FALSE(velGetHomePathByProcessName(kPsFixture, "splash", home));
}

TEST(VelProcessList, ClusterToolsGiveTheirFirstLine) {
  veltest::TempDir dir;
  ASSERT_EQ(mkdir(dir.file("bin").c_str(), 0755), 0);
  writeScript(dir, "bin/cemutlo", "[ \"$1\" = -n ] || exit 2\nprintf 'prodclu\\nsecond\\n'\n");
  writeScript(dir, "bin/olsnodes", "printf 'node1\\r\\nnode2\\n'\n");
  VelString out;
  ASSERT_TRUE(velGetOracleRACName(dir.path().c_str(), out));
  EXPECT_EQ(str(out), "prodclu");
  ASSERT_TRUE(velGetOracleRACPrimaryNode(dir.path().c_str(), out));
  EXPECT_EQ(str(out), "node1");
  EXPECT_FALSE(velGetOracleRACName("", out));
  EXPECT_FALSE(velGetOracleRACName(nullptr, out));
  EXPECT_FALSE(velGetOracleRACPrimaryNode(dir.file("missing").c_str(), out));
}

TEST(VelHostNames, ResolvesLocalhostAndReadsNslookupOutput) {
  VelString full("keep");
  VelString addr;
  ASSERT_TRUE(velGetHostNameAndIP("localhost", full, addr));
  EXPECT_TRUE(str(addr) == "127.0.0.1" || str(addr) == "::1") << str(addr);
  EXPECT_EQ(str(full), "keep");  // "localhost" holds no '.', so fullName is left alone
  EXPECT_FALSE(velGetHostNameAndIP("no-such-host.invalid", full, addr));
  EXPECT_FALSE(velGetHostNameAndIP(nullptr, full, addr));

  const char* output =
      "Server:\t\t10.0.0.53\nAddress:\t10.0.0.53#53\n\nNon-authoritative answer:\n"
      "Name:\tdbhost.example.com\nAddress: 10.1.2.3\n";
  VelString name;
  ASSERT_TRUE(velFindNslookupName(output, name));
  EXPECT_EQ(str(name), "dbhost.example.com");
  EXPECT_FALSE(velFindNslookupName("** server can't find x: NXDOMAIN\n", name));
  EXPECT_FALSE(velFindNslookupName("Name:\n", name));  // no field after it
  EXPECT_FALSE(velGetFullyNameByNslookup("", name));
}

TEST(VelTime, AgentTimestampAndTimeString) {
  ScopedTZ tz("UTC");
  char out[64];
  memset(out, 'x', sizeof out);
  time2ct(veltest::utcTime(2026, 3, 15, 10, 20, 30), out);
  EXPECT_STREQ(out, "1260315102030000");
  time2ct(veltest::utcTime(1999, 12, 31, 23, 59, 58), out);
  EXPECT_STREQ(out, "0991231235958000");
  getTimeString(veltest::utcTime(2026, 1, 5, 7, 8, 9), out);
  EXPECT_STREQ(out, "2026-01-05 07:08:09");
  ScopedTZ tz2("UTC-2");  // two hours east of UTC
  getTimeString(veltest::utcTime(2026, 12, 31, 23, 0, 0), out);
  EXPECT_STREQ(out, "2027-01-01 01:00:00");
}

TEST(VelEnv, EnvAsIntReadsLeadingDigitsOrDefault) {
  const char* name = "VEL_UTIL_TEST_NUMBER";
  const struct {
    const char* value;
    int expected;
  } cases[] = {{nullptr, 42},
               {"", 42},
               {"12abc", 12},
               {"-7", -7},
               {"abc", 0},  // set but not a number: atoi's 0
               {"99999999999999", INT_MAX}};
  for (const auto& c : cases) {
    veltest::ScopedEnv v(name, c.value);
    EXPECT_EQ(vel_getEnvAsInt(name, 42), c.expected) << (c.value ? c.value : "unset");
  }
}

TEST(VelStrings, StricmpComparesLowerCasedAndHandlesNulls) {
  EXPECT_EQ(u_stricmp("SysDba", "sysdba"), 0);
  EXPECT_EQ(u_stricmp("B", "a"), 1);
  EXPECT_LT(u_stricmp("abc", "abd"), 0);
  EXPECT_LT(u_stricmp("ab", "abc"), 0);
  EXPECT_EQ(u_stricmp(nullptr, nullptr), 0);
  EXPECT_EQ(u_stricmp("A", nullptr), 1);
  EXPECT_EQ(u_stricmp(nullptr, "A"), 1);
}

TEST(VelStrings, LltoaAndBoundedCopy) {
  char buf[32];
  EXPECT_STREQ(vel_lltoa(buf, LLONG_MIN), "-9223372036854775808");
  EXPECT_STREQ(vel_lltoa(buf, 0), "0");

  char dst[8];
  memset(dst, 'x', sizeof dst);
  char* end = vel_strncpy(dst, "abcdefghij", 5);
  EXPECT_STREQ(dst, "abcd");
  EXPECT_EQ(end, dst + 5);
  EXPECT_EQ(dst[5], 'x');  // nothing written beyond size
  end = vel_strncpy(dst, "ab", 8);
  EXPECT_STREQ(dst, "ab");
  EXPECT_EQ(end, dst + 3);
  EXPECT_EQ(vel_strncpy(dst, "ab", 0), nullptr);
  EXPECT_EQ(vel_strncpy(nullptr, "ab", 3), nullptr);
  EXPECT_EQ(vel_strncpy(dst, nullptr, 3), nullptr);
}

TEST(VelStrings, Trimming) {
  char a[] = " \t\r\n value with  inner \t\r\n ";
  EXPECT_STREQ(velTrim(a), "value with  inner");
  char b[] = "\tleft only";
  EXPECT_STREQ(trim(b), "left only");
  char c[] = "  keep left \r\n";
  EXPECT_STREQ(velTrimRight(c), "  keep left");
  char d[] = " \t\r\n";
  EXPECT_STREQ(velTrim(d), "");
  char e[] = "";
  EXPECT_STREQ(velTrimRight(e), "");
  EXPECT_TRUE(velisWhiteSpace('\r'));
  EXPECT_FALSE(velisWhiteSpace('\v'));  // not one of the four
  EXPECT_EQ(velTrim(nullptr), nullptr);
}

}  // namespace
