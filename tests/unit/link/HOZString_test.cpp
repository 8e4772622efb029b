// The link's own growable text.
#include "HOZString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(HozString, AppendsTextAndBytesBeyondTheInitialSize) {
  HOZ::String t;
  t.append(std::string(31, 'y').c_str());
  EXPECT_EQ(t.length, 31);
  EXPECT_EQ(std::string(t.buffer), std::string(31, 'y'));
  // One-byte appends grow by 32 when full.
  HOZ::String u(2);
  u.append('a');
  u.append('b');
  u.append('c');
  EXPECT_STREQ(u.buffer, "abc");
}

TEST(HozString, ConstructionFromNullAndBoundedText) {
  HOZ::String empty(static_cast<const char*>(nullptr));
  EXPECT_EQ(empty.length, 0);
  EXPECT_STREQ(empty.buffer, "");
  empty.append(static_cast<const char*>(nullptr));
  EXPECT_EQ(empty.length, 0);

  HOZ::String abc("abcdef", 3);
  EXPECT_STREQ(abc.buffer, "abc");
  EXPECT_EQ(abc.length, 3);
  HOZ::String whole("ab", 100);
  EXPECT_EQ(whole.length, 2);

  HOZ::String src("abcdef");
  HOZ::String sub = src.substr(2, 100);
  EXPECT_STREQ(sub.buffer, "cdef");
  EXPECT_EQ(sub.length, 4);
  EXPECT_EQ(src.substr(6).length, 0);
  EXPECT_EQ(src.substr(-1, 2).length, 0);
  EXPECT_STREQ(src.substr(4).buffer, "ef");
}

TEST(HozString, SearchesRespectTheirStartAndTheLength) {
  HOZ::String s("a,b;c,d");
  EXPECT_EQ(s.indexOf(','), 1);
  EXPECT_EQ(s.indexOf(',', 2), 5);
  EXPECT_EQ(s.indexOf("x", -1), -1);
  EXPECT_EQ(s.indexOf("x", s.length), -1);
  EXPECT_EQ(s.indexOf(",d"), 5);
  EXPECT_EQ(s.indexOf("q"), -1);
  EXPECT_EQ(s.findFirstOf(";,", 2), 3);
  EXPECT_EQ(s.findFirstOf("xyz", 0), -1);
  EXPECT_EQ(s.findFirstNotOf("a,b", 0), 3);
  EXPECT_EQ(s.findFirstNotOf("abcd,;", 0), -1);
  EXPECT_EQ(s.findFirstOf(",", 99), -1);
}

TEST(HozString, NumbersCopyAndCase) {
  HOZ::String s("v");
  s.appendItoa(-5);
  s.appendXtoa(static_cast<char>(0xFF));
  s.appendXtoa(static_cast<char>(0x0A));
  EXPECT_STREQ(s.buffer, "v-5FF0A");
  s.copy("hello world");
  EXPECT_STREQ(s.buffer, "hello world");
  s.copy("abcdef", 2);
  EXPECT_STREQ(s.buffer, "ab");
  s.copy(nullptr);
  EXPECT_EQ(s.length, 0);
  HOZ::String m("mixed Case 1\xe9");
  m.toUpper();
  EXPECT_STREQ(m.buffer, "MIXED CASE 1\xe9");
}

TEST(HozString, AppendWithCountPadsAfterAnEmbeddedNul) {
  HOZ::String s;
  s.append("ab\0cd", 5);
  EXPECT_EQ(s.length, 5);
  EXPECT_EQ(0, memcmp(s.buffer, "ab\0\0\0", 6));
  HOZ::String raw;
  raw.appendBytes("ab\0cd", 5);
  EXPECT_EQ(0, memcmp(raw.buffer, "ab\0cd", 6));
}

}  // namespace
