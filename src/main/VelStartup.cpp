#include "VelStartup.h"

#include <cstdio>
#include <cstring>

#include "MUT1.h"
#include "OraXMLParserHandler.h"

VEL_TRACE_UNIT("main");

void velTraceEnvironment(char** env) {
  if (!VEL_TRACE_ON(MUT1_DETAIL) || env == nullptr) return;
  for (char** entry = env; *entry != nullptr; ++entry) {
    if (strstr(*entry, "VEL_CONN_PASSWORD") != nullptr)
      VEL_DETAIL("VEL_CONN_PASSWORD=**********");
    else
      VEL_DETAIL("Environment variable settting is %s", *entry);
  }
}

bool velLoadShippedCatalog(const char* binDir, OraXMLSQLData& catalog, std::string& path) {
  char buffer[2048];
  int written = snprintf(buffer, sizeof(buffer), "%s/%s", binDir, "velsql.xml");
  path = buffer;
  if (written < 0 || static_cast<size_t>(written) >= sizeof(buffer)) return false;
  return OraXMLParserHandler::parseXML(buffer, catalog);
}
