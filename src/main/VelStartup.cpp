#include "VelStartup.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "MUT1.h"
#include "OraXMLParserHandler.h"

VEL_TRACE_UNIT("main");

void velTraceEnvironment(char** env) {
  if (!VEL_TRACE_ON(MUT1_DETAIL) || env == nullptr) return;
  for (char** entry = env; *entry != nullptr; ++entry) {
    if (strstr(*entry, "VEL_CONN_PASSWORD") != nullptr) {
      VEL_DETAIL("VEL_CONN_PASSWORD=**********");
      continue;
    }
    // A variable that the agent marks secret with NAME_HOZ_TRACE is traced with that text
    // instead of its value, as the subnode configuration map shows it.
    const char* equals = strchr(*entry, '=');
    const char* shown = nullptr;
    if (equals != nullptr) {
      std::string marker(*entry, static_cast<size_t>(equals - *entry));
      marker += "_HOZ_TRACE=";
      for (char** other = env; *other != nullptr && shown == nullptr; ++other) {
        if (strncmp(*other, marker.c_str(), marker.size()) == 0) shown = *other + marker.size();
      }
    }
    if (shown != nullptr) {
      std::string masked(*entry, static_cast<size_t>(equals - *entry + 1));
      masked += shown;
      VEL_DETAIL("Environment variable settting is %s", masked.c_str());
    } else {
      VEL_DETAIL("Environment variable settting is %s", *entry);
    }
  }
}

bool velLoadShippedCatalog(const char* binDir, OraXMLSQLData& catalog, std::string& path) {
  char buffer[2048];
  int written = snprintf(buffer, sizeof(buffer), "%s/%s", binDir, "velsql.xml");
  path = buffer;
  if (written < 0 || static_cast<size_t>(written) >= sizeof(buffer)) return false;
  return OraXMLParserHandler::parseXML(buffer, catalog);
}
