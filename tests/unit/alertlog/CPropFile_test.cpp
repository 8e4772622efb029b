#include "CPropFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs contents(const CPropFile& p) {
  Pairs out;
  for (int i = 0; i < p.size(); ++i) out.emplace_back(p.getKeyAt(i), p.getPropertyAt(i));
  return out;
}

void setMtime(const std::string& path, time_t t) {
  struct timeval tv[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(0, utimes(path.c_str(), tv));
}

class CPropFileTest : public ::testing::Test {
 protected:
  veltest::TempDir dir;
  std::string path = dir.file("vel.properties");
};

TEST_F(CPropFileTest, ParsesLinesAsTheyAreWritten) {
  const std::string longValue(3000, 'v');
  struct Case {
    const char* name;
    std::string text;
    Pairs expected;
  } cases[] = {
      {"comments only", "# a\n\n   \n#b=c\n", {}},
      {"value holds '='", "a = b = c\n", {{"a", "b = c"}}},
      {"junk lines skipped", "=x\nx=\nx\n\x01\xff\xfe junk\nk=v\n", {{"k", "v"}}},
      {"later duplicate wins in place", "k=1\nj=0\nk=2\n", {{"k", "2"}, {"j", "0"}}},
      {"no final newline, CRLF", "a=1\r\nb=2", {{"a", "1"}, {"b", "2"}}},
      {"long line read whole", "long=" + longValue + "\nz=1\n", {{"long", longValue}, {"z", "1"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(veltest::writeFile(path, c.text));
    CPropFile p(path.c_str());
    EXPECT_TRUE(p.load());
    EXPECT_EQ(c.expected, contents(p));
  }
}

TEST_F(CPropFileTest, ReloadsOnlyWhenTheFileIsNewer) {
  ASSERT_TRUE(veltest::writeFile(path, "k=1\n"));
  setMtime(path, 1700000000);
  CPropFile p(path.c_str());
  ASSERT_TRUE(p.load());
  ASSERT_TRUE(veltest::writeFile(path, "k=2\n"));
  setMtime(path, 1700000000);  // rewritten within the same second: not seen
  EXPECT_FALSE(p.load());
  EXPECT_STREQ("1", p.getProperty("k", nullptr));
  setMtime(path, 1700000001);
  EXPECT_TRUE(p.load());
  EXPECT_STREQ("2", p.getProperty("k", nullptr));
  ASSERT_TRUE(p.save(nullptr));
  EXPECT_FALSE(p.needLoad());
  p.clear();
  EXPECT_TRUE(p.load());  // clear forgets the file time
  EXPECT_FALSE(CPropFile(dir.file("missing").c_str()).load());
  EXPECT_FALSE(CPropFile(dir.path().c_str()).load());  // a directory: read error, no crash
}

TEST_F(CPropFileTest, LooksUpByKeyAndPosition) {
  ASSERT_TRUE(veltest::writeFile(path, "n=42\nbig=99999999999\nword=abc\nK=upper\n"));
  CPropFile p(path.c_str());
  ASSERT_TRUE(p.load());
  EXPECT_EQ(nullptr, p.getKeyAt(-1));
  EXPECT_EQ(nullptr, p.getPropertyAt(p.size()));
  EXPECT_STREQ("big", p.getKeyAt(1));
  EXPECT_EQ(nullptr, p.getProperty("k", nullptr));  // keys are case-sensitive
  EXPECT_EQ(42, p.getPropertyAsInt("n", 7));
  EXPECT_EQ(0, p.getPropertyAsInt("word", 7));  // atoi's reading, no error
  EXPECT_EQ(7, p.getPropertyAsInt("big", 7));   // out of range
  EXPECT_EQ(7, p.getPropertyAsInt("none", 7));
  EXPECT_EQ(99999999999LL, p.getPropertyAsLong("big", 0));
  EXPECT_FALSE(p.setProperty("n", ""));
  EXPECT_STREQ("42", p.getProperty("n", nullptr));
  EXPECT_TRUE(p.setPropertyAsInt("new", 5));
  EXPECT_FALSE(p.isModified());  // appending does not count as a change
  EXPECT_TRUE(p.setPropertyAsLong("n", 43));
  EXPECT_TRUE(p.isModified());
}

TEST_F(CPropFileTest, SaveKeepsOrderAndCommentsAndReplacesTheFileWhole) {
  const char* header = "#Agent runtime information";
  ASSERT_TRUE(veltest::writeFile(
      path, std::string(header) + "\n# sizes\nb.size=2\na.size=1\n\njunk line\n#end"));
  CPropFile p(path.c_str());
  ASSERT_TRUE(p.load());
  ASSERT_TRUE(p.setProperty("a.size", "3"));
  ASSERT_TRUE(p.setProperty("c.size", "4"));
  ASSERT_TRUE(p.save(header));
  ASSERT_TRUE(p.save(header));  // the header is not written twice
  EXPECT_EQ(std::string(header) + "\n# sizes\nb.size=2\na.size=3\nc.size=4\n\njunk line\n#end\n",
            veltest::readFile(path));
  struct stat st;
  ASSERT_EQ(0, stat(path.c_str(), &st));
  EXPECT_EQ(0664u, st.st_mode & 0777);
  CPropFile other(dir.file("no/such/dir/x.properties").c_str());
  other.setProperty("k", "v");
  EXPECT_FALSE(other.save(nullptr));
  EXPECT_STREQ("v", other.getProperty("k", nullptr));
  EXPECT_NE(0, access((path + "." + std::to_string(getpid()) + ".tmp").c_str(), F_OK));
}

}  // namespace
