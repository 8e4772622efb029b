// Code-page service: names to numbers, the locale's code page, and conversions.
#include "ORL2.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <string>

#include "TestSupport.h"

namespace {

const char kLatin1Text[] =
    "Gr\xFC\xDF"
    "e";  // "Grüße" in ISO-8859-1
const char kUtf8Text[] =
    "Gr\xC3\xBC\xC3\x9F"
    "e";  // the same in UTF-8

TEST(ORL2, CodepageIdsOfCharacterSetNames) {
  EXPECT_EQ(ORL2_GetCodepageId("UTF-8"), 1208);
  EXPECT_EQ(ORL2_GetCodepageId("utf8"), 1208);
  EXPECT_EQ(ORL2_GetCodepageId("ISO-8859-1"), 819);
  EXPECT_EQ(ORL2_GetCodepageId("GB18030"), 1392);
  EXPECT_EQ(ORL2_GetCodepageId("ANSI_X3.4-1968"), 367);
  EXPECT_EQ(ORL2_GetCodepageId("no-such-charset"), 0);
  EXPECT_EQ(ORL2_GetCodepageId(""), 0);
  EXPECT_EQ(ORL2_GetCodepageId(nullptr), 0);
}

TEST(ORL2, LocaleFollowsEnvironmentWithoutChangingProcessLocale) {
  std::string before = setlocale(LC_CTYPE, nullptr);
  veltest::ScopedEnv lang("LANG", nullptr);
  veltest::ScopedEnv ctype("LC_CTYPE", nullptr);
  // A locale that is not installed falls back to the C locale.
  const struct {
    const char* locale;
    int codepage;
  } cases[] = {{"C.UTF-8", 1208}, {"C", 367}, {"xx_NOWHERE.BOGUS", 367}};
  for (const auto& c : cases) {
    veltest::ScopedEnv all("LC_ALL", c.locale);
    ORL2_Locale* loc = ORL2_GetLocale();
    ASSERT_NE(loc, nullptr);
    EXPECT_EQ(loc->codepage, c.codepage) << c.locale;
    if (c.codepage == 1208) {
      EXPECT_STREQ(loc->codesetName, "UTF-8");
    }
    ORL2_ReleaseLocale(loc);
  }
  EXPECT_EQ(before, setlocale(LC_CTYPE, nullptr));
  ORL2_ReleaseLocale(nullptr);
}

TEST(ORL2, ResultMustFitWithItsTerminator) {
  char out[8];
  int len = -1;
  int status = 0;
  ORL2_TranslateString(1208, out, 8, 819, kLatin1Text, 5, &len, 0, &status);  // 7 + 1 fits
  EXPECT_EQ(status, 0);
  EXPECT_EQ(len, 7);
  EXPECT_STREQ(out, kUtf8Text);
  ORL2_TranslateString(1208, out, 7, 819, kLatin1Text, 5, &len, 0, &status);  // no room for NUL
  EXPECT_NE(status, 0);
  EXPECT_EQ(len, 0);
  // An empty text converts to an empty result.
  ORL2_TranslateString(1208, out, 1, 819, "", 0, &len, 0, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out[0], 0);
}

TEST(ORL2, RefusesUnknownCodePagesAndBadArguments) {
  char out[16];
  int len = -1;
  int status = 0;
  EXPECT_NE(ORL2_TranslateString(1208, out, 16, 5488, "ab", 2, &len, 0, &status), 0);
  EXPECT_NE(status, 0);
  EXPECT_EQ(len, 0);
  EXPECT_NE(ORL2_TranslateString(0, out, 16, 1208, "ab", 2, &len, 0, &status), 0);
  EXPECT_NE(ORL2_TranslateString(1208, nullptr, 16, 819, "ab", 2, &len, 0, &status), 0);
  EXPECT_NE(ORL2_TranslateString(1208, out, 0, 819, "ab", 2, &len, 0, &status), 0);
  EXPECT_NE(ORL2_TranslateString(1208, out, 16, 819, "ab", 2, &len, 1, &status), 0);
  EXPECT_NE(ORL2_TranslateString(1208, out, 16, 819, nullptr, 2, &len, 0, &status), 0);
}

}  // namespace
