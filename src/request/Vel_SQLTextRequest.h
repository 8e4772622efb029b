// The SQL text group (RDB_SQLTEXT): the full text of one statement, either still in the shared
// SQL area (found by its address and database identifier, catalog statement RDB_DBA_SQLTEXT) or
// in the workload history (found by its SQL identifier and database identifier, catalog statement
// RDB_DBA_HIST_SQLTEXT). The agent's conditions choose the lookup; their values are bound, never
// pasted into the statement. The text goes back in numbered pieces of at most 512 characters
// (UTF-8 characters, never a split one), one row of six values per piece.
//
// Used by the subnode's worker alone; send holds the send mutex for the whole answer.
#ifndef VEL_REQUEST_VEL_SQLTEXTREQUEST_H
#define VEL_REQUEST_VEL_SQLTEXTREQUEST_H

#include <string>
#include <vector>

#include "Ora_Command.h"
#include "Ora_StmtTable.h"
#include "Vel_Request.h"

// A lookup of one statement's text: "select * from (sql) where ROWNUM<= :maxrownum" and two
// conditions, each value bound as a null-terminated string of its field's width (a longer value
// is cut there). A negative row limit becomes 1000.
class Ora_SQLTextLookupCommand : public Ora_AutoCommand {
 public:
  int onBindParameters(OCIStmt* statement, OCIError* errorHandle) override;

 protected:
  struct Field {
    const char* bindName;
    const char* value;
    int width;  // bytes, terminator included; at most 256
  };
  Ora_SQLTextLookupCommand(const char* sql, int maxRows, const char* conditions, Field first,
                           Field second);

 private:
  char m_maxRowNum[20];
  const char* m_names[2];
  int m_widths[2];
  char m_values[2][256];
};

// The history lookup: ":BindValue1" (SQL identifier, 256 bytes), ":BindValue2" (database
// identifier, 256 bytes).
class Ora_HistSQLTextCommand : public Ora_SQLTextLookupCommand {
 public:
  Ora_HistSQLTextCommand(const char* dbid, const char* sqlId, const char* sql, int maxRows);
};

// The current lookup: ":dbidValue" (database identifier, 20 bytes), ":BindValue1" (address, 256
// bytes).
class Ora_SQLTextCommand : public Ora_SQLTextLookupCommand {
 public:
  Ora_SQLTextCommand(const char* dbid, const char* address, const char* sql, int maxRows);
};

class Vel_SQLTextRequest : public Vel_BaseDataRequest {
 public:
  enum Kind : unsigned char { kNone = 0, kHistory = 1, kCurrent = 2 };
  static constexpr int kPieceLength = 512;  // characters
  static constexpr int kValues = 6;

  explicit Vel_SQLTextRequest(Vel_AgentFacRequest& request);
  // Reads the conditions: address/sqlid/dbid with "eq" and not joined by "or"; anything else
  // makes the request kNone.
  Kind getSQLType();
  // Runs the chosen lookup (nothing for kNone); a failure is raised as an Oracle event.
  void process(Ora_Database& database);
  // One row per piece of every fetched text; the answer always ends.
  void send(VelMutex& sendMutex);

  // text cut into pieces of at most kPieceLength characters; carriage return, line feed and tab
  // become a space; an empty text gives no piece.
  static std::vector<std::string> cutPieces(const char* text);

 private:
  // Sends the pieces of text with the other five values of the row (the piece number and text go
  // into positions 3 and 4).
  void setAttrValues(const char** values, const char* text);

  Ora_AutoStmtTable m_table;
  Kind m_kind = kNone;
  char m_dbid[30] = {0};
  char m_sqlId[256] = {0};
  char m_address[256] = {0};
};

#endif  // VEL_REQUEST_VEL_SQLTEXTREQUEST_H
