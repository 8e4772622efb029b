// Code-page service: names to numbers and the locale's code page; its conversions are tested
// through their one user, VelEncoding.
#include "ORL2.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <string>

#include "TestSupport.h"

namespace {

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

}  // namespace
