// Fuzz target: the alert-log search over arbitrary bytes appended to a log already read once (the
// first byte picks the code page). Every entry must carry a known identifier, a severity of 1 to
// 4 and a text of at most 160 bytes of valid UTF-8.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <unicode/ustring.h>

#include <cstring>
#include <string>

#include "CAlertLog.h"
#include "FuzzFiles.h"

namespace {
std::string g_log, g_msgids;

struct Checker : CAlertLogListener {
  void onAlertEntry(CAlertEntry& e) override {
    const char* id = e.getMsgId();
    if (strncmp(id, "ORA-", 4) != 0 && strncmp(id, "TNS-", 4) != 0) abort();
    if (strlen(id) > 21 || e.getSeverity() < 1 || e.getSeverity() > 4) abort();
    size_t n = strlen(e.getText());
    if (n > CAlertEntry::kMaxText) abort();
    UErrorCode status = U_ZERO_ERROR;
    int32_t units = 0;
    u_strFromUTF8(nullptr, 0, &units, e.getText(), static_cast<int32_t>(n), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) abort();  // not valid UTF-8
  }
};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "UTC", 1);
  g_log = velfuzz::tempFile("alert_FUZZ.log");
  g_msgids = velfuzz::tempFile("msgid.properties");
  const std::string msgids =
      "ORA-3136=5\nORA-600=1\nORA-1555=2\nORA-6[0-9]{2}=3\nORA-[0-9]*=4\nTNS-1253[0-9]=3\n";
  velfuzz::writeFile(g_msgids, msgids.data(), msgids.size());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int kCodePages[] = {1208, 1252, 1251, 1392, 0};
  const std::string first = "Wed Dec 02 10:15:30 2026\nORA-00600: internal error code\n";
  velfuzz::writeFile(g_log, first.data(), first.size());
  CPropFile msgids(g_msgids.c_str());
  if (!msgids.load()) abort();
  CAlertLog log("FUZZ", g_log.c_str(), "host", "db");
  if (size > 0) log.setCodePage(kCodePages[data[0] % 5]);
  Checker checker;
  if (log.search(msgids, checker) != 1) abort();
  if (size > 1) velfuzz::writeFile(g_log, data + 1, size - 1, "a");
  log.search(msgids, checker);
  return 0;
}
