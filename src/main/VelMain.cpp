#include "VelMain.h"

#include <unicode/regex.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "AlertLogThread.h"
#include "MUT1.h"
#include "OraXMLParserHandler.h"
#include "OraXMLSQLData.h"
#include "Ora_OCIEnv.h"
#include "PEB1.h"
#include "ProcessRequest.h"
#include "VelAgentDefinitionParserHandler.h"
#include "VelAttrGroupNames.h"
#include "VelAttrGroups.h"
#include "VelCommandLine.h"
#include "VelEncoding.h"
#include "VelStartup.h"
#include "Vel_PostEvent.h"
#include "cp_api.h"
#include "vel00_OCI_Lib.h"

VEL_TRACE_UNIT("main");

namespace {

// The two client failures: traced, written to standard output (with a line break), and in agent
// mode raised as a start-failure event.
int clientFailure(const char* text, int eventId, bool agentMode) {
  VEL_ERROR("%s", text);
  printf("%s\n", text);
  fflush(stdout);
  if (agentMode) Vel_PostEvent::postStartFailureEvent(text, eventId);
  return 1;
}

void unloadClient() {
  Ora_OCIEnv::Terminate();
  vel00_DynamicLib::Free(vel00_OCI_Lib::m_hLibrary);
  vel00_OCI_Lib::m_hLibrary = nullptr;
}

// Agent mode, from reading the catalog to the end of the request loop.
int runAgentMode() {
  const char* binDir = PEB1_GetEnv("AGENT_BIN_DIR", nullptr);
  if (binDir == nullptr) {
    VEL_ERROR("Can not find the AGENT_BIN_DIR environment variable!");
    return 2;
  }
  std::string catalogPath;
  OraXMLSQLData* catalog = new OraXMLSQLData;
  if (!velLoadShippedCatalog(binDir, *catalog, catalogPath)) {
    VEL_ERROR("XML %s parse failed, the application will exit", catalogPath.c_str());
    delete catalog;
    return -1;
  }
  const char* customPath = PEB1_GetEnv("VEL_CUSTOM_SQLXML", nullptr);
  if (customPath != nullptr) {
    OraXMLSQLData* custom = new OraXMLSQLData;
    if (OraXMLParserHandler::parseXML(customPath, *custom))
      catalog->mergeFrom(*custom);
    else
      VEL_ERROR("Parse cusomzied SQL XML %s failed", customPath);
    delete custom;
  }
  if (VEL_TRACE_ON(MUT1_DETAIL)) catalog->dump();

  char property[] = "CP_MULTITHREADED=YES";
  char* properties[1] = {property};
  int rc = cp_OpenConnectionWithProperties(properties, 1);
  if (rc != 0) {
    VEL_ERROR("cp_OpenConnection failed: %d", rc);
    delete catalog;
    return 3;
  }
  if (registerAttrGroups(*catalog) != 0) {
    cp_CloseConnection();
    delete catalog;
    return 3;
  }

  VelAttrGroups* attrGroups = new VelAttrGroups;
  const char* refFile = PEB1_GetEnv("AGENT_REF_FILE", nullptr);
  if (refFile == nullptr) {
    // The link stays open until the process ends.
    VEL_ERROR("Can not find the AGENT_REF_FILE environment variable!");
    delete attrGroups;
    delete catalog;
    return 1;
  }
  VelAgentDefinitionParserHandler::parseXML(refFile, *attrGroups);
  const char* attrLib = PEB1_GetEnv("ATTRLIB", nullptr);
  if (attrLib == nullptr) {
    VEL_ERROR("Can not find the ATTRLIB environment variable!");
    delete attrGroups;
    delete catalog;
    return 2;
  }
  std::string atrPath = std::string(attrLib) + "/" + "vel.atr";
  parseATRFile(atrPath.c_str(), *attrGroups);
  if (VEL_TRACE_ON(MUT1_DETAIL)) attrGroups->dump();

  // ICU builds the shared tables of its regular expressions at their first use, under a lock of
  // its own that the thread checker cannot see; built here, before the threads that match (the
  // alert-log search, the Oracle Net parsers) start, they are never built by two at once.
  {
    UErrorCode status = U_ZERO_ERROR;
    UParseError where;
    std::unique_ptr<icu::RegexPattern> first(
        icu::RegexPattern::compile(icu::UnicodeString(u"a+"), 0, where, status));
    if (first != nullptr) {
      const icu::UnicodeString input(u"a");
      std::unique_ptr<icu::RegexMatcher> matcher(first->matcher(input, status));
      if (matcher != nullptr) matcher->matches(status);
    }
  }

  VelRequestLoopHooks hooks;
  hooks.alertLogThread = AlertLogThread;
  hooks.alertLogSummary = processRequestAlertLogSummary;
  ProcessRequest(*catalog, *attrGroups, hooks);

  cp_CloseConnection();
  delete attrGroups;
  delete catalog;
  return 0;
}

}  // namespace

void printClientVersion() {
  if (vel00_OCI_Lib::pMyOCIClientVersion != nullptr) {
    int major = 0, minor = 0, update = 0, patch = 0, portUpdate = 0;
    vel00_OCI_Lib::pMyOCIClientVersion(&major, &minor, &update, &patch, &portUpdate);
    VEL_DETAIL("Oracle client lib version is %d.%d.%d.%d.%d", major, minor, update, patch,
               portUpdate);
  } else {
    VEL_DETAIL(
        "Can't get OCIClientVersion function, the current Oracle client version should "
        "under 10.2");
  }
}

int registerAttrGroup(const char* name, int version) {
  if (name == nullptr) return 0;
  int rc = cp_RegisterAttrGroup(name, version, name);
  if (rc != 0) VEL_ERROR("cp_RegisterAttrGroup: handle is: %s, failed: %d", name, rc);
  return rc;
}

int registerAttrGroups(const OraXMLSQLData& catalog) {
  for (int i = 0; i < kVelFixedAttrGroupCount; ++i) {
    if (registerAttrGroup(kVelFixedAttrGroups[i].name, kVelFixedAttrGroups[i].version) != 0)
      return -4;
  }
  for (const OraXMLSQLInfo& entry : catalog.getEntries()) {
    if (!entry.isSimpleSQL()) continue;
    VEL_DETAIL(
        "Registering the simple SQL from predefined xml file, SQLID is: %s, ODIVersion is: "
        "%d",
        entry.getId(), static_cast<int>(entry.getODIVersion()));
    // The catalog outlives the link, so its identifier text can serve as the handle.
    if (registerAttrGroup(entry.getId(), entry.getODIVersion()) != 0) return -4;
  }
  int rc = cp_RegistrationComplete();
  if (rc != 0) VEL_ERROR("cp_RegistrationComplete: failed: %d", rc);
  return rc;
}

int velMain(int argc, char** argv) {
  const bool agentMode = velIsAgentMode(argc);
  velTraceEnvironment(environ);
  if (!vel00_OCI_Lib::Init())
    return clientFailure("Loading Oracle OCI library failed!", 1001, agentMode);
  if (!Ora_OCIEnv::Init())
    return clientFailure("Initializing Oracle runtime environment failed!", 1002, agentMode);
  printClientVersion();

  if (!agentMode) {
    int exitCode = 0;
    if (velstricmp(argv[1], "-help") == 0 || velstricmp(argv[1], "-h") == 0)
      usage();
    else
      exitCode = velRunCommand(parseOptions(argc, argv), argc, argv);
    unloadClient();
    return exitCode;
  }

  int code = runAgentMode();
  if (code != 0) return code;  // failure exits leave the client loaded; the process ends anyway
  unloadClient();
  return 0;
}
