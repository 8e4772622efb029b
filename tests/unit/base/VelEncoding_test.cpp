// Conversions between code pages and UTF-8, XML escaping and name comparisons.
#include "VelEncoding.h"

#include <gtest/gtest.h>

#include <cstring>

#include "ORL2.h"
#include "TestSupport.h"

namespace {

const char kLatin1Text[] =
    "Gr\xFC\xDF"
    "e";  // "Grüße" in ISO-8859-1
const char kUtf8Text[] =
    "Gr\xC3\xBC\xC3\x9F"
    "e";                                            // the same in UTF-8
const char kGbText[] = "\xD6\xD0\xCE\xC4";          // two Chinese characters in GB18030
const char kGbUtf8[] = "\xE4\xB8\xAD\xE6\x96\x87";  // the same in UTF-8

bool allZero(const char* buf, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (buf[i] != 0) return false;
  return true;
}

// First in this file on purpose: the default code page is read on first use and kept.
TEST(VelEncoding, DefaultCodePageIsReadOnceAndKept) {
  int first = UTF8GetLocaleDefaultCodePageID();
  ASSERT_NE(first, 0);
  // Switch the environment to a locale with another code page: the cached value stays.
  veltest::ScopedEnv all("LC_ALL", first == 367 ? "C.UTF-8" : "C");
  ORL2_Locale* loc = ORL2_GetLocale();
  ASSERT_NE(loc, nullptr);
  EXPECT_NE(loc->codepage, first);
  ORL2_ReleaseLocale(loc);
  EXPECT_EQ(UTF8GetLocaleDefaultCodePageID(), first);

  // Code page 0 converts with the cached default: plain ASCII passes either way.
  char out[16];
  EXPECT_EQ(ConvertStrToUTF8("plain", 5, out, sizeof out, 0), 5);
  EXPECT_STREQ(out, "plain");
}

TEST(VelEncoding, Latin1RoundTripThroughUtf8) {
  char utf8[8];  // seven bytes and the terminator: exactly
  EXPECT_EQ(ConvertStrToUTF8(kLatin1Text, 5, utf8, sizeof utf8, 819), 7);
  EXPECT_STREQ(utf8, kUtf8Text);
  char back[32] = "xxxxxxxxxxxxxxx";  // the terminator must be written
  EXPECT_EQ(ConvertStrFromUTF8(utf8, 7, back, sizeof back, 819), 5);
  EXPECT_STREQ(back, kLatin1Text);
}

TEST(VelEncoding, CodePage5488ConvertsLike1392) {
  char a[32];
  char b[32];
  EXPECT_EQ(ConvertStrToUTF8(kGbText, 4, a, sizeof a, 1392), 6);
  EXPECT_STREQ(a, kGbUtf8);
  EXPECT_EQ(ConvertStrToUTF8(kGbText, 4, b, sizeof b, 5488), 6);
  EXPECT_STREQ(b, kGbUtf8);
  EXPECT_EQ(ConvertStrFromUTF8(kGbUtf8, 6, b, sizeof b, 5488), 4);
  EXPECT_STREQ(b, kGbText);
}

TEST(VelEncoding, FailedConversionZeroFillsWholeTarget) {
  char out[7];
  memset(out, 'x', sizeof out);
  // Seven bytes of UTF-8 plus the terminator do not fit in seven.
  EXPECT_EQ(ConvertStrToUTF8(kLatin1Text, 5, out, sizeof out, 819), 0);
  EXPECT_TRUE(allZero(out, sizeof out));
  char big[64];
  memset(big, 'x', sizeof big);
  EXPECT_EQ(ConvertStrToUTF8("abc", 3, big, sizeof big, 99999), 0);  // unknown code page
  EXPECT_TRUE(allZero(big, sizeof big));
  // Nothing to write into: nothing happens. No source: an empty text.
  EXPECT_EQ(ConvertStrToUTF8("abc", 3, nullptr, 10, 819), 0);
  memset(big, 'x', sizeof big);
  EXPECT_EQ(ConvertStrToUTF8(nullptr, 5, big, sizeof big, 819), 0);
  EXPECT_STREQ(big, "");
}

TEST(VelEncoding, EscapesTheFourXmlCharactersOnly) {
  EXPECT_EQ(replaceCharWithESC("a\"b&c<d>e'f"), "a&quot;b&amp;c&lt;d&gt;e'f");
  EXPECT_EQ(replaceCharWithESC("&amp;"), "&amp;amp;");
  EXPECT_EQ(replaceCharWithESC(kUtf8Text), kUtf8Text);
  EXPECT_EQ(replaceCharWithESC(""), "");
  EXPECT_EQ(replaceCharWithESC(nullptr), "");
}

TEST(VelEncoding, NameAndPathComparisons) {
  EXPECT_EQ(velstricmp("SYSDBA", "sysdba"), 0);
  EXPECT_LT(velstricmp("abc", "ABD"), 0);
  EXPECT_GT(velstricmp("b", "A"), 0);
  EXPECT_NE(velFilePathCompare("/u01/Listener.ora", "/u01/listener.ora"), 0);
  EXPECT_EQ(velFilePathCompare("/u01/listener.ora", "/u01/listener.ora"), 0);
  EXPECT_EQ(velstricmp(nullptr, nullptr), 0);
  EXPECT_LT(velstricmp(nullptr, ""), 0);
  EXPECT_GT(velFilePathCompare("", nullptr), 0);
}

}  // namespace
