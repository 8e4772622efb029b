#include "VelCommandLine.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "MUT1.h"
#include "OraNetConfig.h"
#include "OraXMLParserHandler.h"
#include "OraXMLSQLData.h"
#include "Ora_Command.h"
#include "Ora_Database.h"
#include "PEB1.h"
#include "VelAgentDefinitionParserHandler.h"
#include "VelAttrGroups.h"
#include "VelCachedInstanceList.h"
#include "VelCustomizedSQL.h"
#include "VelEncoding.h"
#include "VelMutex.h"
#include "VelStartup.h"
#include "VelUtil.h"
#include "Vel_Request.h"

VEL_TRACE_UNIT("cmdline");

namespace {

constexpr int kSqlRowLimit = 1000;
constexpr int kRefRowLimit = 10;
constexpr int kStatementTimeout = 60;
constexpr size_t kValueSize = 1024;
constexpr size_t kMaxDefinitionColumnName = 10;

std::string envText(const char* name) {
  // An unset variable is taken as an empty value: the session then refuses the log-on with the
  // database's own error rather than the tool guessing a default.
  const char* value = PEB1_GetEnv(name, nullptr);
  return value != nullptr ? value : "";
}

void printSessionError(FILE* out, const Ora_ErrorMsg& error) {
  fprintf(out, "error is %d %.100s\n", error.getErrorCode(), error.getMessage());
}

// Runs one statement with a row limit and the 60-second time-out; the fetched rows stay in table.
bool runStatement(Ora_Database& database, const char* sql, int rowLimit, Ora_AutoStmtTable& table,
                  Ora_ErrorMsg& error) {
  Ora_SimpleCommand command(sql, rowLimit);
  table.clearRows();
  return database.executeTableCmd(command, &table, error, static_cast<long>(time(nullptr)),
                                  kStatementTimeout);
}

// One statement of the "sql" command: run, print, clear. An error goes to standard error so that
// standard output stays a well-formed document.
void runAndPrint(Ora_Database& database, const char* sqlId, const char* sql) {
  std::unique_ptr<VelCommandTable> table(new VelCommandTable);
  Ora_ErrorMsg error;
  if (!runStatement(database, sql, kSqlRowLimit, *table, error)) {
    VEL_ERROR("Executing the SQL for %s failed: %d %s", sqlId, error.getErrorCode(),
              error.getMessage());
    printSessionError(stderr, error);
  }
  printTable(sqlId, *table, velCommandOptions().printOption.c_str());
  table->clearRows();
}

// A data request that only maps the columns: the rows are not sent anywhere.
class VelCheckRequest : public Vel_SimpleRequest {
 public:
  VelCheckRequest(Vel_AgentFacRequest& request, const char* sqlId)
      : Vel_SimpleRequest(request), m_sqlId(sqlId) {}
  const char* getSQLID() const override { return m_sqlId.c_str(); }
  void onSendRow(int) override {}
  void onSendEnd() override {}

 private:
  std::string m_sqlId;
};

bool isOptionWithValue(const char* word) {
  static const char* const kWords[] = {"-option",         "-username", "-connstr", "-password",
                                       "-xmlsqlfilename", "-sqlid",    "-version", "-role"};
  for (const char* w : kWords)
    if (velstricmp(word, w) == 0) return true;
  return false;
}

void setOption(VelCommandOptions& o, const char* word, const char* value) {
  if (velstricmp(word, "-option") == 0) {
    o.printOption = value;
  } else if (velstricmp(word, "-username") == 0) {
    o.userId = value;
  } else if (velstricmp(word, "-connstr") == 0) {
    o.connectionString = value;
  } else if (velstricmp(word, "-password") == 0) {
    o.password = value;
  } else if (velstricmp(word, "-xmlsqlfilename") == 0) {
    o.catalogFile = value;
  } else if (velstricmp(word, "-sqlid") == 0) {
    o.sqlId = value;
  } else if (velstricmp(word, "-role") == 0) {
    o.role = value;
  } else {  // -version: a decimal number; anything else is refused and the version kept
    char* end = nullptr;
    errno = 0;
    long v = strtol(value, &end, 10);
    if (end == value || *end != '\0' || errno != 0 || v < INT_MIN || v > INT_MAX)
      printf("Invalid value for option: %s %s\n", word, value);
    else
      o.version = static_cast<int>(v);
  }
}

}  // namespace

VelCommandOptions& velCommandOptions() {
  static VelCommandOptions options;
  return options;
}

int VelCommandTable::onBeforeFetch(OCIStmt* statement, OCIError* errorHandle) {
  int status = Ora_AutoStmtTable::onBeforeFetch(statement, errorHandle);
  for (unsigned i = 0; i < m_columnCount && m_pDefineArray != nullptr; ++i) {
    const Ora_DefInfo* def = m_pDefineArray->getDefInfo(i);
    m_kinds[i] = def != nullptr ? def->m_kind : Ora_DefInfo::kUnsupported;
    m_sizes[i] = def != nullptr ? def->m_bufferLength : 0;
  }
  return status;
}

int parseOptions(int argc, char** argv) {
  VEL_FLOW_ENTRY("parseOptions");
  VelCommandOptions& o = velCommandOptions();
  // Every run starts from the defaults, so that a second parse does not inherit the first one's
  // options.
  o = VelCommandOptions();
  o.connectionString = envText("VEL_CONN_STR");
  o.role = envText("VEL_CONN_MODE");
  o.userId = envText("VEL_CONN_USERID");
  o.password = envText("VEL_CONN_PASSWORD");

  static const char* const kStopWords[] = {"-parsetns", "-parselistener", "-parsesql",
                                           "-parsexml", "-parseref",      "-dlatest"};
  int command = VEL_CMD_SQL;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    if (isOptionWithValue(word)) {
      if (i + 1 >= argc) {
        // An option word given last has no value: it is reported and ignored.
        printf("Missing value for option: %s\n", word);
        break;
      }
      setOption(o, word, argv[++i]);
      continue;
    }
    if (velstricmp(word, "sql") == 0) {
      command = VEL_CMD_SQL;
      continue;
    }
    if (velstricmp(word, "test") == 0) {
      command = VEL_CMD_TEST;
      continue;
    }
    for (int s = 0; s < 6; ++s) {
      if (velstricmp(word, kStopWords[s]) == 0) VEL_RETURN(VEL_CMD_PARSETNS + s);
    }
    // The word after an unknown option word may be the value of a mistyped "-password": it is
    // echoed as the mask, so that no secret reaches standard output (a departure on purpose from
    // echoing every word).
    bool afterUnknownOption =
        i > 1 && argv[i - 1][0] == '-' && word[0] != '-' && !isOptionWithValue(argv[i - 1]);
    printf("Unknown option: %s\n", afterUnknownOption ? kVelSecretMask : word);
  }
  VEL_RETURN(command);
}

void usage() {
  printf(
      "Usage: velclient [OPTION] [COMMAND]\n"
      "COMMANDs\n"
      "sql                        do a simple sql query\n"
      "test                       check if can connect\n"
      "\n"
      "OPTIONs\n"
      "\t-h,-help:                display this help message\n"
      "-option <option name>      printXMLRow or printXMLDefinition\n"
      "-connstr <connstr>         oracle connection string\n"
      "-username <username>       oracle logon user\n"
      "-password <password>       oracle logon password\n"
      "-role <role>               SYSDBA, NORMAL or DEFAULT\n"
      "-xmlsqlfilename <file>     default is velsql.xml\n"
      "-sqlid <sqlid>/all         sql ID in the xml\n"
      "-version <DBVersion>       database version, default 101\n");
}

int doCommandSql() {
  VEL_FLOW_ENTRY("doCommandSql");
  const VelCommandOptions& o = velCommandOptions();
  std::unique_ptr<OraXMLSQLData> catalog(new OraXMLSQLData);
  if (!OraXMLParserHandler::parseXML(o.catalogFile.c_str(), *catalog)) {
    // Without a catalog there is nothing to run; said on standard error like the other set-up
    // failures.
    fprintf(stderr, "XML %s parse failed\n", o.catalogFile.c_str());
    VEL_RETURN(0);
  }
  std::unique_ptr<Ora_Database> database(new Ora_Database(*catalog, o.connectionString.c_str(),
                                                          o.userId.c_str(), o.password.c_str(),
                                                          o.role.c_str(), "", ""));
  Ora_ErrorMsg error;
  if (!database->Connect(error, false)) {
    printSessionError(stdout, error);
    VEL_RETURN(0);
  }

  printf("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<ROOT>\n");
  if (velstricmp(o.sqlId.c_str(), "all") == 0) {
    const int dbVersion = database->getDatabaseInfo().m_shortVersion;
    for (const OraXMLSQLInfo& info : catalog->getEntries()) {
      if (!info.isSimpleSQL()) continue;
      for (const OraXMLSQL& sql : info.getSQLList()) {
        if (sql.getDBVersion() > dbVersion) continue;
        if (sql.getSQLText()[0] == '\0') {
          VEL_DETAIL("The SQL is empty for %s", info.getId());
        } else {
          runAndPrint(*database, info.getId(), sql.getSQLText());
        }
        if (sql.getClusterSQLText()[0] != '\0')
          runAndPrint(*database, info.getId(), sql.getClusterSQLText());
      }
    }
  } else {
    int maxRow = 0;
    const char* id = o.sqlId.c_str();
    const char* text = catalog->getSQL(o.version, id, maxRow, false);
    const char* clusterText = catalog->getSQL(o.version, id, maxRow, true);
    if (text == nullptr || text[0] == '\0') {
      VEL_DETAIL("The SQL is empty for %s", id);
    } else {
      runAndPrint(*database, id, text);
      if (clusterText != nullptr && clusterText[0] != '\0' && strcmp(clusterText, text) != 0)
        runAndPrint(*database, id, clusterText);
    }
  }
  printf("</ROOT>\n");
  VEL_RETURN(0);
}

int doCommandTest() {
  VEL_FLOW_ENTRY("doCommandTest");
  const VelCommandOptions& o = velCommandOptions();
  const char* binDir = PEB1_GetEnv("AGENT_BIN_DIR", nullptr);
  if (binDir == nullptr) {
    fprintf(stderr, "Can not find the AGENT_BIN_DIR environment variable!\n");
    VEL_RETURN(-2);
  }
  std::string path;
  std::unique_ptr<OraXMLSQLData> catalog(new OraXMLSQLData);
  if (!velLoadShippedCatalog(binDir, *catalog, path)) {
    fprintf(stderr, "XML %s parse failed, the application will exit\n", path.c_str());
    VEL_RETURN(-1);
  }
  std::unique_ptr<Ora_Database> database(new Ora_Database(*catalog, o.connectionString.c_str(),
                                                          o.userId.c_str(), o.password.c_str(),
                                                          o.role.c_str(), "", ""));
  Ora_ErrorMsg error;
  if (database->Connect(error, false)) {
    if (!database->checkPrivileges(false)) VEL_RETURN(-3);
    printf("Connection test successful\n");
    VEL_RETURN(0);
  }
  if (error.getErrorCode() == 15000 && velstricmp(o.role.c_str(), "SYSASM") == 0)
    printf("Connect as SYSASM failed, try to connect as SYSDBA: %s\n", error.getMessage());
  else
    printf("%s\n", error.getMessage());
  VEL_RETURN(1);
}

namespace {

// Whether the Net file named on the command line can be read; prints why not.
bool netFileReadable(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) {
    printf("Can't read file %s: %s\n", path, strerror(errno));
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    printf("Can't read file %s: not a regular file\n", path);
    return false;
  }
  FILE* file = fopen(path, "rb");
  if (file == nullptr) {
    printf("Can't read file %s: %s\n", path, strerror(errno));
    return false;
  }
  fclose(file);
  return true;
}

// Reads the Net file named by the third word with the parser the checks use and prints one line
// per entry with print(entry), then the count; a missing word prints usage.
template <typename List, typename Parser, typename Print>
void listNetFile(int argc, char** argv, const char* usage, const char* counted, Print print) {
  if (argc < 3) {
    printf("%s\n", usage);
    return;
  }
  if (!netFileReadable(argv[2])) return;
  List list;
  Parser parser(list);
  parser.ReadNetConfigFile(argv[2], -1);  // -1 is never a file time: always read
  list.forEach(print);
  printf("%u %s in %s\n", list.getCount(), counted, argv[2]);
}

}  // namespace

// The operator's view of what the checks read: one line per alias of a tnsnames.ora.
void doParseTns(int argc, char** argv) {
  listNetFile<OraNetServiceInfoList, OraNetConfigTnsNames>(
      argc, argv, "Invalid option for parsetns", "aliases", [](const OraNetServiceInfo& info) {
        printf("Alias: %s, descriptor: %s\n", info.m_name.c_str(), info.m_descriptor.c_str());
      });
}

// One line per listener address of a listener.ora.
void doParseListener(int argc, char** argv) {
  listNetFile<OraListenerInfoList, OraNetConfigListeners>(
      argc, argv, "Invalid option for parselistener", "listener addresses",
      [](const OraListenerInfo& info) {
        printf("Listener: %s, protocol: %s, host: %s, port: %s, address: %s\n",
               info.m_listenerName.c_str(), info.m_protocol.c_str(), info.m_host.c_str(),
               info.m_port.c_str(), info.m_address.c_str());
      });
}

int doParseSQL(int argc, char** argv) {
  if (argc < 3) {
    printf("Invalid option for parseSQL\n");
    return 1;
  }
  Vel_CustomizedSQLList list(argv[2]);
  if (!list.load(0)) {
    printf("Load file: %s Failed\n", argv[2]);
    return 1;
  }
  for (auto it = list.getStatements().begin(); it != list.getStatements().end(); ++it) {
    printf("SQLID: %s\n", (*it)->m_sqlId.c_str());
    printf("SQL: %s\n", (*it)->m_sqlText.c_str());
  }
  if (list.getProblems() == 0) return 0;
  printf("%d line(s) ignored or statement(s) dropped, see the trace\n", list.getProblems());
  return 2;
}

void printSQLXML(int argc, char** argv) {
  VEL_FLOW_ENTRY("printSQLXML");
  if (argc < 3) return;
  std::unique_ptr<OraXMLSQLData> catalog(new OraXMLSQLData);
  if (!OraXMLParserHandler::parseXML(argv[2], *catalog)) {
    printf("Can't parse the sql\n");
    return;
  }
  printf("Succeed on parsing xml file\n");
  for (const OraXMLSQLInfo& info : catalog->getEntries()) {
    printf("SQLID:%s, ODIVersion:%d, Interval:%d, MaxRow:%d, Timeout:%d, SimpleSQL:%d, Type:%s\n",
           info.getId(), static_cast<int>(info.getODIVersion()),
           static_cast<int>(info.getInterval()), static_cast<int>(info.getMaxRowNum()),
           static_cast<int>(info.getTimeout()), info.isSimpleSQL() ? 1 : 0, info.getType());
    for (const OraXMLSQLDBType& type : info.getDatabaseTypes())
      printf("\tDBType is %d DBRole is %d\n", static_cast<int>(type.getDatabaseType()),
             static_cast<int>(type.getRole()));
    for (const OraXMLSQL& sql : info.getSQLList()) {
      printf("\tSQLVersion:%d\n", static_cast<int>(sql.getDBVersion()));
      printf("\tSQL:%s\n", sql.getSQLText());
      printf("\tClusterSQL:%s\n", sql.getClusterSQLText());
      for (const OraXMLSQLTable& table : sql.getBaseTables())
        printf("\t\tQueryTable Name:%s GrantTable Name:%s\n", table.getQueryName(),
               table.getGrantName());
    }
  }
  return;
}

void testOneSQLID(const OraXMLSQLInfo& info, int version, bool cluster, Ora_Database& database,
                  const VelAttrGroups& attributeGroups, const VelCachedInstanceList& instances) {
  VEL_FLOW_ENTRY("testOneSQLID");
  printf("Testing %s, version:%d, cluster:%d\n", info.getId(), version, cluster ? 1 : 0);
  const char* sql = info.getSQL(version, cluster);
  if (sql == nullptr || sql[0] == '\0') {
    printf("Error, failed getting SQL for version:%d, cluster:%d, for SQLID:%s\n", version,
           cluster ? 1 : 0, info.getId());
    return;
  }
  std::unique_ptr<Ora_AutoStmtTable> table(new Ora_AutoStmtTable);
  Ora_ErrorMsg error;
  if (!runStatement(database, sql, kRefRowLimit, *table, error)) {
    printSessionError(stdout, error);
    // Without fetched columns there is nothing to hold against the definition.
    return;
  }
  Vel_AgentFacRequest wrapper(nullptr, kStatementTimeout);
  VelCheckRequest request(wrapper, info.getId());
  VelMutex sendMutex;
  request.send(sendMutex, table.get(), attributeGroups, instances);
  return;
}

void doParseREF(int argc, char** argv) {
  VEL_FLOW_ENTRY("doParseREF");
  if (argc < 7) {
    printf("Invalid option for parseREF\n");
    printf("velclient -parseref connstring userid password role filename\n");
    return;
  }
  // The definition and catalog files are read from the current directory, where the support
  // engineer runs the tool beside copies of the shipped files.
  std::unique_ptr<VelAttrGroups> groups(new VelAttrGroups);
  VelAgentDefinitionParserHandler::parseXML("vel.ref", *groups);
  parseATRFile("vel.atr", *groups);
  groups->dump();
  std::unique_ptr<OraXMLSQLData> catalog(new OraXMLSQLData);
  if (!OraXMLParserHandler::parseXML("velsql.xml", *catalog))
    VEL_ERROR("XML %s parse failed", "velsql.xml");
  std::unique_ptr<Ora_Database> database(
      new Ora_Database(*catalog, argv[2], argv[3], argv[4], argv[5], "", ""));
  Ora_ErrorMsg error;
  if (!database->Connect(error, false)) {
    printf("Can not connect to database\n");
    return;
  }
  std::unique_ptr<VelCachedInstanceList> instances(new VelCachedInstanceList);
  instances->init(*database);
  instances->update(*database);
  instances->dumpInfo();

  FILE* file = fopen(argv[6], "r");
  if (file == nullptr) {
    printf("Error, opening file %s failed\n", argv[6]);
    return;
  }
  static const int kVersions[] = {101, 102, 111, 112};
  char line[1024];
  while (fgets(line, sizeof line, file) != nullptr) {
    velTrimRight(line);
    if (line[0] == '\0') continue;  // blank lines name nothing
    if (groups->getAGDef(line) == nullptr) {
      printf("Error at searching attribute group for SQLID:%s\n", line);
      continue;
    }
    const OraXMLSQLInfo* info = catalog->getSQLInfo(line);
    if (info == nullptr) {
      printf("Can not get the SQL for:%s\n", line);
      continue;
    }
    for (int version : kVersions) {
      testOneSQLID(*info, version, false, *database, *groups, *instances);
      testOneSQLID(*info, version, true, *database, *groups, *instances);
    }
  }
  fclose(file);
  return;
}

void doDLATest(int argc, char** argv) {
  VEL_FLOW_ENTRY("doDLATest");
  if (argc < 4) {
    // Both the process identifier and the host name are needed.
    printf("Invalid option for dlatest\n");
    return;
  }
  VelString ps;
  velGetPSResult(ps);
  printf("ps result is:%s,\n", ps.c_str());
  // Each line: the process identifier, three more fields, then the program path.
  VelString line;
  for (const char* p = velGetSplitString(ps.c_str(), "\n", line); line.length() > 0 || *p != '\0';
       p = velGetSplitString(p, "\n", line)) {
    const char* field = line.c_str();
    while (*field == ' ' || *field == '\t') ++field;
    VelString pid, path;
    field = velGetSplitString(field, " \t", pid);
    for (int i = 0; i < 4 && *field != '\0'; ++i) field = velGetSplitString(field, " \t", path);
    if (pid.length() > 0) VEL_DETAIL("pid is:%s, path is:%s", pid.c_str(), path.c_str());
  }
  VelString home, crsHome, racName, primaryNode, localName, fullName, address, nslookupName;
  velGetOracleHome(ps.c_str(), atoi(argv[2]), home);
  printf("Get the Oracle Home %s at pid %s\n", home.c_str(), argv[2]);
  velGetOracleCRSHome(ps.c_str(), crsHome);
  printf("Get the Oracle CRS path %s\n", crsHome.c_str());
  velGetOracleRACName(crsHome.c_str(), racName);
  printf("Get the cluster name:%s\n", racName.c_str());
  velGetOracleRACPrimaryNode(crsHome.c_str(), primaryNode);
  printf("Get the primary node name:%s\n", primaryNode.c_str());
  velGetLocalHostName(localName);
  velGetHostNameAndIP(localName.c_str(), fullName, address);
  printf("Get hostname:%s, with domain name:%s, IP is:%s\n", localName.c_str(), fullName.c_str(),
         address.c_str());
  velGetFullyNameByNslookup(argv[3], nslookupName);
  printf("getting name for %s is:%s\n", argv[3], nslookupName.c_str());
  return;
}

void printCSVTable(const char*, const Ora_AutoStmtTable&) {
  // The comma-separated form prints nothing.
}

void printTable(const char* name, const VelCommandTable& table, const char* option) {
  if (option == nullptr || option[0] == '\0')
    printCSVTable(name, table);
  else if (velstricmp(option, "printXMLDefinition") == 0)
    printXMLDefinition(table);
  else if (velstricmp(option, "printXMLRow") == 0)
    printXMLRows(table);
  // Any other print option prints nothing, like the comma-separated form.
}

void printXMLRows(const Ora_AutoStmtTable& table) {
  printf("\t\t\t<ResultSet>\n");
  const unsigned columns = table.getColumnCount();
  const char* values[kVelMaxColumns];
  for (unsigned r = 0; r < table.getStoredRowCount(); ++r) {
    for (const char*& v : values) v = nullptr;
    if (!table.getRow(r, values, static_cast<int>(columns))) continue;
    printf("\t\t\t\t<Row Num=\"%u\">\n", r);
    for (unsigned c = 0; c < columns; ++c) {
      const char* name = c < kVelMaxColumns ? table.getColumnName(c) : nullptr;
      std::string value;
      if (c < kVelMaxColumns && values[c] != nullptr) {
        char local[kValueSize];
        local[0] = '\0';
        ConvertStrFromUTF8(values[c], static_cast<int>(strlen(values[c])), local,
                           static_cast<int>(sizeof local), 0);
        value = replaceCharWithESC(local);
      }
      printf("\t\t\t\t\t<Colum Name=\"%s\"  Value=\"%s\" />\n", name != nullptr ? name : "",
             value.c_str());
    }
    printf("\t\t\t\t</Row>\n");
  }
  printf("\t\t\t</ResultSet>\n");
}

void printXMLDefinition(const VelCommandTable& table) {
  const unsigned columns = table.getColumnCount();
  VEL_DETAIL("current column num is:%d", static_cast<int>(columns));
  printf("\t<requestInfo>\n\t\t<item name=\"_REQ_TYPE\"/>\n");
  for (unsigned c = 0; c < columns; ++c)
    printf("\t\t<item name=\"%s\"/>\n", replaceCharWithESC(table.getColumnName(c)).c_str());
  printf("\t</requestInfo>\n");
  for (unsigned c = 0; c < columns; ++c) {
    const char* name = table.getColumnName(c);
    if (strlen(name) > kMaxDefinitionColumnName) {
      // Attribute names of the definition format are limited; the column is left out.
      printf("Error! column len exceed 10 characters\n");
      continue;
    }
    std::string escaped = replaceCharWithESC(name);
    const char* n = escaped.c_str();
    char type[128];
    switch (table.getColumnKind(c)) {
      case Ora_DefInfo::kText:
        snprintf(type, sizeof type, "<displayString size=\"%d\"/>", table.getColumnSize(c));
        break;
      case Ora_DefInfo::kNumber:
        snprintf(type, sizeof type, "%s",
                 "<counter64>\n\t\t\t<enum name=\"Not_Available\" value=\"-1\"/>\n\t\t"
                 "</counter64>");
        break;
      case Ora_DefInfo::kDate:
        snprintf(type, sizeof type, "%s", "<timestamp/>");
        break;
      default:
        printf("Unknown type for %s\n", n);
        continue;
    }
    printf(
        "\t<attribute name=\"%s\" id=\"%s\" caption=\"%s\" help=\"%s\" atomic=\"false\" "
        "key=\"false\">\n\t\t%s\n\t</attribute>\n",
        n, n, n, n, type);
  }
}

int velRunCommand(int command, int argc, char** argv) {
  switch (command) {
    case VEL_CMD_TEST:
      return doCommandTest();
    case VEL_CMD_PARSETNS:
      doParseTns(argc, argv);
      break;
    case VEL_CMD_PARSELISTENER:
      doParseListener(argc, argv);
      break;
    case VEL_CMD_PARSESQL: {
      int code = doParseSQL(argc, argv);
      fflush(stdout);
      return code;
    }
    case VEL_CMD_PARSEXML:
      printSQLXML(argc, argv);
      break;
    case VEL_CMD_PARSEREF:
      doParseREF(argc, argv);
      break;
    case VEL_CMD_DLATEST:
      doDLATest(argc, argv);
      break;
    default:
      doCommandSql();
      break;
  }
  fflush(stdout);
  return 0;
}
