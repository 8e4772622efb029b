// NUMBER values of the client stand-in, fetched as OCINumber and converted with the OCINumber
// entry points.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
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
                                   "INSERT INTO vals VALUES(12.345, 12.345);");
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

TEST_F(NumberTest, RealColumnEncodesLikeTheSameNumber) {
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
}

// OCINumberShift and OCINumberRound, which the program calls for numbers beyond its own
// conversion: times 10^digits, then rounded half away from zero to the places.
TEST_F(NumberTest, ShiftsByPowersOfTenAndRoundsHalfAwayFromZero) {
  const std::tuple<const char*, int, int, const char*> cases[] = {
      {"12.345", 0, 2, "12.35"}, {"-1.5", 0, 0, "-2"},      {"50", 0, -2, "100"},
      {"42", 0, -2, "0"},        {"12.345", 2, 0, "1235"},  {"42", -2, 2, ".42"},
      {"-5", 2, 0, "-500"},      {"1E30", 40, 0, "1.0E+70"}};
  for (const auto& [value, digits, places, text] : cases) {
    const OCINumber n = fromText(value);
    OCINumber shifted{}, rounded{};
    ASSERT_EQ(OCI_SUCCESS, oci().NumberShift(conn.err, &n, digits, &shifted));
    ASSERT_EQ(OCI_SUCCESS, oci().NumberRound(conn.err, &shifted, places, &rounded));
    EXPECT_EQ(text, toText(rounded)) << value << " " << digits << " " << places;
  }
}

}  // namespace
