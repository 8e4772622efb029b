// Oracle's functions on a SQLite connection, evaluated through real statements.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "DialectTestSupport.h"

using simtest::Db;

namespace {

class DialectFunctions : public ::testing::Test {
 protected:
  std::string v(const std::string& expr) { return db_.value("select " + expr + " from dual"); }
  Db db_;
};

TEST_F(DialectFunctions, NvlFamilyTreatsEmptyTextAsNull) {
  EXPECT_EQ(v("nvl(null, 'a')"), "a");
  EXPECT_EQ(v("nvl('', 'b')"), "b");
  EXPECT_EQ(v("nvl('x', 'y')"), "x");
  EXPECT_EQ(v("nvl(0, 5)"), "0");
}

TEST_F(DialectFunctions, DecodeMatchesNullsAndNumbers) {
  EXPECT_EQ(v("decode(2, 1, 'one', 2, 'two', 'other')"), "two");
  EXPECT_EQ(v("decode(9, 1, 'one', 2, 'two', 'other')"), "other");
  EXPECT_EQ(v("decode(9, 1, 'one')"), "NULL");
  EXPECT_EQ(v("decode(null, 1, 'one', null, 'none')"), "none");
  EXPECT_EQ(v("decode('2', 2, 'num')"), "num");
  EXPECT_EQ(v("decode(2.0, 2, 'same')"), "same");
  EXPECT_EQ(v("decode(1, 1)"), "ORA-00938: not enough arguments for function");
}

TEST_F(DialectFunctions, ToCharOfNumbers) {
  EXPECT_EQ(v("to_char(42)"), "42");
  EXPECT_EQ(v("to_char(12.5)"), "12.5");
  EXPECT_EQ(v("to_char(0.5)"), ".5");
  EXPECT_EQ(v("to_char(-0.25)"), "-.25");
  EXPECT_EQ(v("to_char(12.345)"), "12.345");
  EXPECT_EQ(v("to_char(1e30)"), "1000000000000000000000000000000");
  EXPECT_EQ(v("to_char(1.5, 'TM9')"), "1.5");
  EXPECT_EQ(v("to_char(1, 'Q9')"), "ORA-01481: invalid number format model");
  EXPECT_EQ(v("to_char(null, '999')"), "NULL");
}

TEST_F(DialectFunctions, ToCharOfDates) {
  const std::string d = "'2026-03-07 14:05:09'";
  EXPECT_EQ(v("to_char(" + d + ", 'YYYY-MM-DD HH24:MI:SS')"), "2026-03-07 14:05:09");
  EXPECT_EQ(v("to_char('2026-03-07 14:05:09.123456', 'SS.FF3')"), "09.123");
  EXPECT_EQ(v("to_char(" + d + ", 'YYYY-BOGUS')"), "ORA-01821: date format not recognized");
  EXPECT_EQ(v("to_char(" + d + ")"), "2026-03-07 14:05:09");
}

TEST_F(DialectFunctions, ToNumberIsStrict) {
  EXPECT_EQ(v("to_number('42')"), "42");
  EXPECT_EQ(v("to_number(' -1.5 ')"), "-1.5");
  EXPECT_EQ(v("to_number('1e3') + 1"), "1001");
  EXPECT_EQ(v("to_number(null)"), "NULL");
  EXPECT_EQ(v("to_number('12a')"), "ORA-01722: invalid number");
  EXPECT_EQ(v("to_number('.')"), "ORA-01722: invalid number");
  EXPECT_EQ(v("to_number('1,234')"), "ORA-01722: invalid number");
}

TEST_F(DialectFunctions, SysdateIsCurrentLocalTime) {
  const std::string now = v("sysdate");
  ASSERT_EQ(now.size(), 19u) << now;
  EXPECT_EQ(v("to_char(sysdate, 'YYYY-MM-DD HH24:MI:SS')").substr(0, 13), now.substr(0, 13));
  char buf[32];
  const time_t t = time(nullptr);
  struct tm tm {};
  localtime_r(&t, &tm);
  strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
  EXPECT_EQ(now.substr(0, 10), buf);
}

TEST_F(DialectFunctions, SubstrCountsCharactersLikeOracle) {
  EXPECT_EQ(v("substr('hello', 2, 3)"), "ell");
  EXPECT_EQ(v("substr('hello', -3)"), "llo");
  EXPECT_EQ(v("substr('hello', -3, 2)"), "ll");
  EXPECT_EQ(v("substr('hello', 0, 2)"), "he");
  EXPECT_EQ(v("substr('hello', 9)"), "NULL");
  EXPECT_EQ(v("substr('hello', -9)"), "NULL");
  EXPECT_EQ(v("substr('hello', 2, 0)"), "NULL");
  EXPECT_EQ(v("substr('h\xc3\xa9llo', 2, 2)"), "\xc3\xa9l");
  EXPECT_EQ(v("substr(12345, 2, 2)"), "23");
}

TEST_F(DialectFunctions, InstrSearchesForwardAndBackward) {
  EXPECT_EQ(v("instr('hello world', 'o')"), "5");
  EXPECT_EQ(v("instr('hello world', 'o', 1, 2)"), "8");
  EXPECT_EQ(v("instr('hello world', 'o', 6)"), "8");
  EXPECT_EQ(v("instr('hello world', 'o', -1)"), "8");
  EXPECT_EQ(v("instr('hello world', 'o', -4)"), "8");
  EXPECT_EQ(v("instr('hello world', 'o', -5)"), "5");
  EXPECT_EQ(v("instr('abcabc', 'bc', -1, 2)"), "2");
  EXPECT_EQ(v("instr('hello', 'z')"), "0");
  EXPECT_EQ(v("instr('h\xc3\xa9llo', 'l')"), "3");
  EXPECT_EQ(v("instr(null, 'a')"), "NULL");
  EXPECT_EQ(v("instr('a', 'a', 1, 0)"), "ORA-01428: argument '0' is out of range");
}

TEST_F(DialectFunctions, RoundOnDecimals) {
  EXPECT_EQ(v("round(2.675, 2)"), "2.68");
  EXPECT_EQ(v("round(1.005, 2)"), "1.01");
  EXPECT_EQ(v("round(15.5)"), "16");
  EXPECT_EQ(v("round(-15.5)"), "-16");
  EXPECT_EQ(v("round(1550, -2)"), "1600");
  EXPECT_EQ(v("round(0.04, 1)"), "0");
  EXPECT_EQ(v("round(0.06, 1)"), "0.1");
  EXPECT_EQ(v("round(null)"), "NULL");
}

TEST_F(DialectFunctions, GreatestOfNumbersAndNull) {
  EXPECT_EQ(v("greatest(1, 5, 3)"), "5");
  EXPECT_EQ(v("greatest(1, null)"), "NULL");
}

TEST_F(DialectFunctions, OutOfRangeArgumentsAreHandled) {
  EXPECT_EQ(v("substr('abc', 1e30)"), "NULL");
  EXPECT_EQ(v("substr('abc', -1e30, 1e30)"), "NULL");
  EXPECT_EQ(v("substr('abc', 2, 1e30)"), "bc");
  EXPECT_EQ(v("instr('abc', 'c', 1e30)"), "0");
  EXPECT_EQ(v("round(1.5, 1e9)"), "1.5");
  EXPECT_EQ(v("round(123.5, -1e9)"), "0");
  EXPECT_EQ(v("sysdate + 1e300"),
            "ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
}

// Sessions translate and run statements on their own connections on many threads at once.
TEST(DialectFunctionsThreads, ConnectionsOnSeveralThreadsAgree) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&wrong, t] {
      Db db;
      for (int i = 0; i < 200; ++i) {
        const std::string n = std::to_string(t * 1000 + i);
        if (db.value("select to_char(" + n + ", 'FM00000') || nvl(null, 'x') from dual") !=
            std::string(5 - n.size(), '0') + n + "x")
          ++wrong;
        if (db.value("select substr(to_char(sysdate, 'YYYY'), 1, 2) from dual") != "20") ++wrong;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(DialectFunctions, RegistrationNeedsAConnection) {
  EXPECT_FALSE(vsim::registerFunctions(nullptr));
}

}  // namespace
