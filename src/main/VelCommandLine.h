// The diagnostic command line: what velclient does when it is started with arguments. It runs
// catalog statements against a database named on the command line and prints their rows, tests a
// connection, checks catalog statements against their attribute groups, lists a catalog file and
// exercises the host utilities. Output goes to standard output; nothing reaches the agent.
#ifndef VEL_MAIN_VELCOMMANDLINE_H
#define VEL_MAIN_VELCOMMANDLINE_H

#include <string>

#include "Ora_StmtTable.h"

class OraXMLSQLInfo;
class Ora_Database;
class VelAttrGroups;
class VelCachedInstanceList;

// Command codes returned by parseOptions.
enum VelCommand {
  VEL_CMD_SQL = 1,
  VEL_CMD_TEST = 2,
  VEL_CMD_PARSETNS = 3,
  VEL_CMD_PARSELISTENER = 4,
  VEL_CMD_PARSESQL = 5,
  VEL_CMD_PARSEXML = 6,
  VEL_CMD_PARSEREF = 7,
  VEL_CMD_DLATEST = 8,
};

// The option values of one command-line run.
struct VelCommandOptions {
  std::string connectionString;            // VEL_CONN_STR, -connstr
  std::string role;                        // VEL_CONN_MODE, -role
  std::string userId;                      // VEL_CONN_USERID, -username
  std::string password;                    // VEL_CONN_PASSWORD, -password
  std::string printOption;                 // -option
  std::string catalogFile = "velsql.xml";  // -xmlsqlfilename
  std::string sqlId;                       // -sqlid
  int version = 101;                       // -version
};

// The process-wide option values that parseOptions fills and the commands read.
VelCommandOptions& velCommandOptions();

// A fetched table that also keeps each column's kind and size for the definition listing.
class VelCommandTable : public Ora_AutoStmtTable {
 public:
  int onBeforeFetch(OCIStmt* statement, OCIError* errorHandle) override;
  Ora_DefInfo::Kind getColumnKind(unsigned index) const {
    return index < m_columnCount ? m_kinds[index] : Ora_DefInfo::kUnsupported;
  }
  int getColumnSize(unsigned index) const { return index < m_columnCount ? m_sizes[index] : 0; }

 private:
  Ora_DefInfo::Kind m_kinds[kVelMaxColumns] = {};
  int m_sizes[kVelMaxColumns] = {};
};

int parseOptions(int argc, char** argv);
void usage();

int doCommandSql();
int doCommandTest();
void doParseTns(int argc, char** argv);
void doParseListener(int argc, char** argv);
// Lists the customized-SQL file named by the third word. Its exit code (where the usual 0 of a
// listing would hide a broken file from a script): 0 read without problems, 1 no file named or
// the file cannot be read, 2 read but lines were ignored or statements dropped.
int doParseSQL(int argc, char** argv);
void printSQLXML(int argc, char** argv);
void doParseREF(int argc, char** argv);
void doDLATest(int argc, char** argv);

void printTable(const char* name, const VelCommandTable& table, const char* option);
void printXMLRows(const Ora_AutoStmtTable& table);
void printXMLDefinition(const VelCommandTable& table);
void printCSVTable(const char* name, const Ora_AutoStmtTable& table);

void testOneSQLID(const OraXMLSQLInfo& info, int version, bool cluster, Ora_Database& database,
                  const VelAttrGroups& attributeGroups, const VelCachedInstanceList& instances);

// Runs the command that parseOptions chose and returns the process exit code: the result of
// doCommandTest for "test", 0 for every other command.
int velRunCommand(int command, int argc, char** argv);

#endif  // VEL_MAIN_VELCOMMANDLINE_H
