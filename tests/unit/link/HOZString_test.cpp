// The link's own growable text: the appends the message writer and the framing use.
#include "HOZString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
  u.appendItoa(-5);
  EXPECT_STREQ(u.buffer, "abc-5");
}

TEST(HozString, NullText) {
  HOZ::String empty(static_cast<const char*>(nullptr));
  EXPECT_EQ(empty.length, 0);
  EXPECT_STREQ(empty.buffer, "");
  empty.append(static_cast<const char*>(nullptr));
  EXPECT_EQ(empty.length, 0);
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
