// VelString: allocation by the pool's classes, append, resize, compare, copies, self-reference.
#include "VelString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

static_assert(sizeof(VelString) == sizeof(char*) + 8, "a string is a pointer and two 32-bit words");

long long poolUsed() {
  long long used = 0;
  VelMemManager::getUsage(nullptr, nullptr, &used);
  return used;
}

TEST(VelStringTest, EmptyStringsAllocateNothing) {
  long long before = poolUsed();
  {
    VelString s;
    EXPECT_EQ(s.length(), 0u);
    EXPECT_EQ(s.capacity(), 0u);
    EXPECT_STREQ(s.c_str(), "");
    VelString t(nullptr);
    VelString u("");
    EXPECT_TRUE(s.assign(""));
    EXPECT_TRUE(s.assign(nullptr));
    EXPECT_EQ(s.capacity(), 0u);
    EXPECT_EQ(t.c_str(), s.c_str());  // the shared terminator
    EXPECT_EQ(u.c_str(), s.c_str());
    EXPECT_EQ(poolUsed(), before);
  }
  EXPECT_EQ(poolUsed(), before);
}

TEST(VelStringTest, AppendCopiesExactlyNBytes) {
  VelString s("ab");
  const char* before = s.c_str();
  EXPECT_TRUE(s.append("c\0d", 3));
  EXPECT_EQ(s.length(), 5u);
  EXPECT_EQ(memcmp(s.c_str(), "abc\0d", 6), 0);
  EXPECT_EQ(s.c_str(), before);  // it fitted: same buffer

  EXPECT_TRUE(s.append(nullptr));
  EXPECT_TRUE(s.append(nullptr, 4));
  EXPECT_TRUE(s.append("xyz", 0));
  EXPECT_EQ(s.length(), 5u);

  VelString e;
  EXPECT_TRUE(e.append("xyz", 2));
  EXPECT_STREQ(e.c_str(), "xy");
  EXPECT_EQ(e.capacity(), 64u);
}

TEST(VelStringTest, TextFromTheStringItselfSurvives) {
  std::string t(60, 'k');
  t += "tail";
  VelString s(t.c_str());
  // Growing append of its own text.
  EXPECT_TRUE(s.append(s.c_str()));
  EXPECT_EQ(std::string(s.c_str()), t + t);
  // Append in place of its own text.
  VelString w("abc");
  EXPECT_TRUE(w.append(w.c_str()));
  EXPECT_STREQ(w.c_str(), "abcabc");
  // Assign of its own tail.
  EXPECT_TRUE(s.assign(s.c_str() + t.size() + 60));
  EXPECT_STREQ(s.c_str(), "tail");
  EXPECT_EQ(s.capacity(), 64u);
  EXPECT_TRUE(s.assign(s.c_str()));
  EXPECT_STREQ(s.c_str(), "tail");
}

TEST(VelStringTest, ResizeTruncatesInPlaceOrPadsWithSpaces) {
  VelString s("hello world");
  const char* before = s.c_str();
  s.resize(5);
  EXPECT_EQ(s.c_str(), before);
  EXPECT_STREQ(s.c_str(), "hello");
  EXPECT_EQ(s.length(), 5u);
  s.resize(5);
  EXPECT_STREQ(s.c_str(), "hello");

  s.resize(9);
  EXPECT_STREQ(s.c_str(), "hello    ");
  EXPECT_EQ(s.length(), 9u);
  EXPECT_EQ(s.capacity(), 64u);
  s.resize(64);  // needs 65 bytes
  EXPECT_EQ(s.capacity(), 128u);
  EXPECT_EQ(s.length(), 64u);
  EXPECT_EQ(strlen(s.c_str()), 64u);
  EXPECT_EQ(std::string(s.c_str()), "hello" + std::string(59, ' '));

  VelString e;
  e.resize(0);
  EXPECT_EQ(e.capacity(), 0u);
  e.resize(3);
  EXPECT_STREQ(e.c_str(), "   ");
}

TEST(VelStringTest, CompareAgainstNullAndText) {
  VelString e;
  VelString s("beta");
  EXPECT_EQ(e.compare(nullptr), 1);
  EXPECT_EQ(s.compare(nullptr), 1);
  EXPECT_EQ(e.compare(""), 0);
  EXPECT_LT(e.compare("a"), 0);
  EXPECT_EQ(s.compare("beta"), 0);
  EXPECT_GT(s.compare("alpha"), 0);
  EXPECT_LT(s.compare("gamma"), 0);
  EXPECT_LT(s.compare("betamax"), 0);
}

TEST(VelStringTest, CopiesOwnTheirBuffers) {
  long long before = poolUsed();
  {
    VelString a("first value");
    VelString b(a);
    EXPECT_STREQ(b.c_str(), "first value");
    EXPECT_NE(b.c_str(), a.c_str());
    VelString c;
    c = a;
    EXPECT_NE(c.c_str(), a.c_str());
    a.assign("changed");
    EXPECT_STREQ(b.c_str(), "first value");
    EXPECT_STREQ(c.c_str(), "first value");
    const char* p = c.c_str();
    VelString& alias = c;
    c = alias;  // self-assignment changes nothing
    EXPECT_EQ(c.c_str(), p);
    EXPECT_STREQ(c.c_str(), "first value");
    VelString empty;
    c = empty;
    EXPECT_EQ(c.capacity(), 0u);
    VelString* heap = new VelString("pooled object");
    delete heap;
  }
  EXPECT_EQ(poolUsed(), before);  // every buffer went back
}

}  // namespace
