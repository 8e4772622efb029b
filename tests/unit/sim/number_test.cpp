// NUMBER values of the client stand-in, fetched as OCINumber and converted with the OCINumber
// entry points.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "SimClient.h"
#include "TestSupport.h"

using namespace simtest;

namespace {

class NumberTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(oci().complete);
    makeDb(dir.file("num.db"), std::string(kUsers) +
                                   "CREATE TABLE vals(r REAL, n NUMBER);"
                                   "INSERT INTO vals VALUES(12.345, 12.345);"
                                   "CREATE TABLE reals(k INTEGER, r REAL);"
                                   "INSERT INTO reals VALUES(1, 0.1), (2, 0.1 + 0.2), "
                                   "(3, 1e-7), (4, 123456.789), (5, -2.5e20), (6, 1.0/3);");
    ASSERT_EQ(OCI_SUCCESS, conn.logon("num", "scott", "tiger")) << conn.error(-1).text;
  }

  // The NUMBER of `select :v from dual` with v bound as text.
  OCINumber fromText(const std::string& value) {
    OCINumber n{};
    Stmt s(conn);
    EXPECT_EQ(OCI_SUCCESS, s.prepare("select :v from dual"));
    std::string v = value;
    EXPECT_EQ(OCI_SUCCESS, s.bind(":v", &v[0], static_cast<sb4>(v.size() + 1), SQLT_STR));
    EXPECT_EQ(OCI_SUCCESS, s.define(1, &n, sizeof n, SQLT_VNU));
    EXPECT_EQ(OCI_SUCCESS, s.execute()) << conn.error(-1).text;
    EXPECT_EQ(OCI_SUCCESS, s.fetch()) << conn.error(-1).text;
    return n;
  }

  std::string toText(const OCINumber& n) {
    text buf[100];
    ub4 size = sizeof buf;
    const sword rc = oci().NumberToText(conn.err, &n, reinterpret_cast<const text*>("TM9"), 3,
                                        nullptr, 0, &size, buf);
    if (rc != OCI_SUCCESS) return "error " + conn.error(rc).text;
    return std::string(reinterpret_cast<char*>(buf), size);
  }

  veltest::TempDir dir;
  veltest::ScopedEnv env{"VELSIM_DIR", dir.path().c_str()};
  Conn conn;
};

std::vector<int> bytesOf(const OCINumber& n) {
  std::vector<int> r;
  for (int i = 0; i <= n.bytes[0] && i < 22; ++i) r.push_back(n.bytes[i]);
  return r;
}

TEST_F(NumberTest, EncodesOracleNumberByteForByteAndPrintsTheMinimalText) {
  struct Case {
    const char* in;
    std::vector<int> bytes;  // empty: only the text is checked
    const char* text;
  };
  const Case cases[] = {
      {"0", {0x01, 0x80}, "0"},
      {"42", {0x02, 0xC1, 0x2B}, "42"},
      {"-5", {0x03, 0x3E, 0x60, 0x66}, "-5"},
      {"-1.5", {0x04, 0x3E, 0x64, 0x33, 0x66}, "-1.5"},
      {"1E30", {0x02, 0xD0, 0x02}, "1000000000000000000000000000000"},
      {"12.345", {0x04, 0xC1, 0x0D, 0x23, 0x33}, "12.345"},
      // 2^63 = 9 22 33 72 03 68 54 77 58 08 in base 100, exponent 9.
      {"9223372036854775808",
       {0x0B, 0xCA, 0x0A, 0x17, 0x22, 0x49, 0x04, 0x45, 0x37, 0x4E, 0x3B, 0x09},
       "9223372036854775808"},
      // 0.05 = 5 * 100^-1: exponent byte 192, digit 6.
      {".05", {0x02, 0xC0, 0x06}, ".05"},
      {"0.5", {}, ".5"},
      {"1.5E70", {}, "1.5E+70"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    const OCINumber n = fromText(c.in);
    if (!c.bytes.empty()) {
      EXPECT_EQ(c.bytes, bytesOf(n));
    }
    EXPECT_EQ(c.text, toText(n));
  }
  // A buffer too small and a format other than the text-minimum one fail.
  const OCINumber n = fromText("12.345");
  text small[4];
  ub4 size = sizeof small;
  sword rc = oci().NumberToText(conn.err, &n, reinterpret_cast<const text*>("TM9"), 3, nullptr, 0,
                                &size, small);
  EXPECT_EQ(22065, conn.error(rc).code);
  text buf[40];
  size = sizeof buf;
  rc = oci().NumberToText(conn.err, &n, reinterpret_cast<const text*>("999"), 3, nullptr, 0, &size,
                          buf);
  EXPECT_EQ(22061, conn.error(rc).code);
}

TEST_F(NumberTest, RealColumnBecomesItsShortestDecimal) {
  Stmt s(conn);
  OCINumber r{}, n{};
  ASSERT_EQ(OCI_SUCCESS, s.prepare("select r, n from vals"));
  ASSERT_EQ(OCI_SUCCESS, s.define(1, &r, sizeof r, SQLT_VNU));
  ASSERT_EQ(OCI_SUCCESS, s.define(2, &n, sizeof n, SQLT_VNU));
  ASSERT_EQ(OCI_SUCCESS, s.execute());
  ASSERT_EQ(OCI_SUCCESS, s.fetch());
  EXPECT_EQ((std::vector<int>{0x04, 0xC1, 0x0D, 0x23, 0x33}), bytesOf(r));
  EXPECT_EQ(bytesOf(r), bytesOf(n));
  EXPECT_EQ("12.345", toText(r));

  // Every REAL becomes the shortest decimal that reads back as the same double.
  Stmt all(conn);
  ASSERT_EQ(OCI_SUCCESS, all.prepare("select r from reals order by k"));
  ASSERT_EQ(OCI_SUCCESS, all.define(1, &r, sizeof r, SQLT_VNU));
  ASSERT_EQ(OCI_SUCCESS, all.execute());
  std::vector<std::string> texts;
  while (all.fetch() == OCI_SUCCESS) texts.push_back(toText(r));
  EXPECT_EQ((std::vector<std::string>{".1", ".30000000000000004", ".0000001", "123456.789",
                                      "-250000000000000000000", ".3333333333333333"}),
            texts);
}

TEST_F(NumberTest, ConvertsToIntegersWithOverflowChecks) {
  int32_t i32 = 0;
  int64_t i64 = 0;
  uint64_t u64 = 0;
  int8_t i8 = 0;
  const OCINumber n42 = fromText("42");
  EXPECT_EQ(OCI_SUCCESS, oci().NumberToInt(conn.err, &n42, 1, 2, &i8));
  EXPECT_EQ(42, i8);
  const OCINumber minus5 = fromText("-5");
  EXPECT_EQ(OCI_SUCCESS, oci().NumberToInt(conn.err, &minus5, 4, 2, &i32));
  EXPECT_EQ(-5, i32);
  // A negative number has no unsigned form.
  sword rc = oci().NumberToInt(conn.err, &minus5, 4, 0, &i32);
  EXPECT_EQ(OCI_ERROR, rc);
  EXPECT_EQ(22053, conn.error(rc).code);
  const OCINumber big = fromText("9223372036854775808");
  rc = oci().NumberToInt(conn.err, &big, 8, 2, &i64);
  EXPECT_EQ(OCI_ERROR, rc);
  EXPECT_EQ("ORA-22053: overflow error\n", conn.error(rc).text);
  EXPECT_EQ(OCI_SUCCESS, oci().NumberToInt(conn.err, &big, 8, 0, &u64));
  EXPECT_EQ(9223372036854775808ULL, u64);
  const OCINumber huge = fromText("1E30");
  EXPECT_EQ(OCI_ERROR, oci().NumberToInt(conn.err, &huge, 8, 0, &u64));
  // 300 does not fit one byte.
  const OCINumber n300 = fromText("300");
  EXPECT_EQ(OCI_ERROR, oci().NumberToInt(conn.err, &n300, 1, 2, &i8));
  // -1.5 is cut toward zero.
  const OCINumber minus15 = fromText("-1.5");
  EXPECT_EQ(OCI_SUCCESS, oci().NumberToInt(conn.err, &minus15, 8, 2, &i64));
  EXPECT_EQ(-1, i64);
}

TEST_F(NumberTest, RoundsHalfAwayFromZeroAndShiftsByPowersOfTen) {
  OCINumber out{};
  auto round = [&](const std::string& v, int places) {
    const OCINumber n = fromText(v);
    EXPECT_EQ(OCI_SUCCESS, oci().NumberRound(conn.err, &n, places, &out));
    return toText(out);
  };
  auto shift = [&](const std::string& v, int digits) {
    const OCINumber n = fromText(v);
    EXPECT_EQ(OCI_SUCCESS, oci().NumberShift(conn.err, &n, digits, &out));
    return toText(out);
  };
  EXPECT_EQ("12.35", round("12.345", 2));  // exact decimal: no binary rounding
  EXPECT_EQ("12", round("12.345", 0));
  EXPECT_EQ("-2", round("-1.5", 0));
  EXPECT_EQ("0", round("0", 3));
  EXPECT_EQ("0", round("42", -2));
  EXPECT_EQ("100", round("50", -2));
  EXPECT_EQ("1000000000000000000000000000000", round("1E30", 0));
  EXPECT_EQ("9223372036854775808", round("9223372036854775808", 0));
  EXPECT_EQ("1234.5", shift("12.345", 2));
  EXPECT_EQ(".42", shift("42", -2));
  EXPECT_EQ("-500", shift("-5", 2));
  EXPECT_EQ("1.0E+70", shift("1E30", 40));
  EXPECT_EQ("0", shift("0", 5));
  // Round then convert, as the program turns a number into an integer text.
  const OCINumber n = fromText("12.345");
  OCINumber shifted{}, rounded{};
  int64_t v = 0;
  ASSERT_EQ(OCI_SUCCESS, oci().NumberShift(conn.err, &n, 2, &shifted));
  ASSERT_EQ(OCI_SUCCESS, oci().NumberRound(conn.err, &shifted, 0, &rounded));
  ASSERT_EQ(OCI_SUCCESS, oci().NumberToInt(conn.err, &rounded, 8, 2, &v));
  EXPECT_EQ(1235, v);
}

TEST_F(NumberTest, SetZeroAndInvalidBytes) {
  OCINumber n;
  std::memset(&n, 0x55, sizeof n);
  oci().NumberSetZero(conn.err, &n);
  EXPECT_EQ((std::vector<int>{0x01, 0x80}), bytesOf(n));
  EXPECT_EQ("0", toText(n));
  OCINumber junk{};
  int64_t v = 0;
  const sword rc = oci().NumberToInt(conn.err, &junk, 8, 2, &v);
  EXPECT_EQ(OCI_ERROR, rc);
  EXPECT_EQ(22060, conn.error(rc).code);
}

TEST_F(NumberTest, NumberBindsRoundTrip) {
  // A NUMBER bound in comes back unchanged, also beyond 64 bits.
  for (const char* v : {"-1.5", "12.345", "9223372036854775808", "42"}) {
    OCINumber in = fromText(v), out{};
    Stmt s(conn);
    ASSERT_EQ(OCI_SUCCESS, s.prepare("select :n from dual"));
    ASSERT_EQ(OCI_SUCCESS, s.bind(":n", &in, sizeof in, SQLT_VNU));
    ASSERT_EQ(OCI_SUCCESS, s.define(1, &out, sizeof out, SQLT_VNU));
    ASSERT_EQ(OCI_SUCCESS, s.execute());
    ASSERT_EQ(OCI_SUCCESS, s.fetch());
    EXPECT_EQ(toText(in), toText(out)) << v;
    EXPECT_EQ(bytesOf(in), bytesOf(out)) << v;
  }
}

}  // namespace
