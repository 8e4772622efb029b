#include "VelEncoding.h"

#include <strings.h>

#include <atomic>
#include <cstring>

#include "MUT1.h"
#include "ORL2.h"

VEL_TRACE_UNIT("encoding");

namespace {

// 0 until the locale has been read. Two threads may both read it on first use; they store the
// same value.
std::atomic<int> s_defaultCodePage{0};

// Code page numbers the service spells differently from the database's character-set names.
constexpr int kCodePageGB18030Alias = 5488;
constexpr int kCodePageGB18030 = 1392;

}  // namespace

int UTF8GetLocaleDefaultCodePageID() {
  int cp = s_defaultCodePage.load(std::memory_order_acquire);
  if (cp != 0) return cp;
  ORL2_Locale* locale = ORL2_GetLocale();
  if (locale == nullptr) {
    VEL_ERROR("Error: Unable to get locale object\n");
    return 0;
  }
  cp = locale->codepage;
  ORL2_ReleaseLocale(locale);
  s_defaultCodePage.store(cp, std::memory_order_release);
  return cp;
}

int ConvertStringToUTF8(bool toCodePage, char* target, int targetLength, const char* source,
                        int sourceLength, int codePage) {
  VEL_FLOW_ENTRY("ConvertStringToUTF8");
  if (target == nullptr || targetLength <= 0) {
    VEL_ERROR("Convert Error, no target buffer for the conversion");
    VEL_RETURN(0);
  }
  if (source == nullptr) {
    source = "";
    sourceLength = 0;
  }
  if (codePage == 0) codePage = UTF8GetLocaleDefaultCodePageID();
  if (codePage == kCodePageGB18030Alias) codePage = kCodePageGB18030;

  int targetCP = toCodePage ? codePage : VEL_CODEPAGE_UTF8;
  int sourceCP = toCodePage ? VEL_CODEPAGE_UTF8 : codePage;
  int converted = 0;
  int status = 0;
  ORL2_TranslateString(targetCP, target, targetLength, sourceCP, source, sourceLength, &converted,
                       0, &status);
  size_t srcBytes = sourceLength < 0 ? strlen(source) : static_cast<size_t>(sourceLength);
  if (status != 0) {
    VEL_ERROR("Convert Error, the error id is %d", status);
    VEL_ERROR("Input Codepage ID is [%d], flagUTF8 is [%d]", codePage, toCodePage ? 1 : 0);
    VEL_DUMP(source, srcBytes, "Dump of _srcBuf");
    VEL_DUMP(target, static_cast<size_t>(targetLength), "Dump of _dstBuf");
    memset(target, 0, static_cast<size_t>(targetLength));
    VEL_RETURN(0);
  }
  VEL_DETAIL("ORL2_TranslateString() succeeds:%d converted. converted result length=%d,CCSID=%d \n",
             static_cast<int>(srcBytes), converted, codePage);
  VEL_RETURN(converted);
}

int ConvertStrToUTF8(const char* source, int sourceLength, char* target, int targetLength,
                     int codePage) {
  return ConvertStringToUTF8(false, target, targetLength, source, sourceLength, codePage);
}

int ConvertStrFromUTF8(const char* source, int sourceLength, char* target, int targetLength,
                       int codePage) {
  return ConvertStringToUTF8(true, target, targetLength, source, sourceLength, codePage);
}

std::string replaceCharWithESC(const char* text) {
  std::string out;
  if (text == nullptr) return out;
  for (const char* p = text; *p != 0; ++p) {
    switch (*p) {
      case '"':
        out += "&quot;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += *p;
    }
  }
  return out;
}

int velstricmp(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
  return strcasecmp(a, b);
}

int velFilePathCompare(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
  return strcmp(a, b);
}
