// The Oracle dialect of the client stand-in: Oracle SQL text and PL/SQL blocks turned into what
// the SQLite databases of the simulated instances can run, plus the Oracle functions registered
// on each SQLite connection.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

namespace vsim {

// An Oracle error: code 942, text "table or view does not exist" (no "ORA-" prefix, no line feed).
struct OraError {
  int code = 0;
  std::string text;
};

enum class StmtKind { Select, Insert, Update, Delete, Plsql, Other };

struct SqlText {
  std::string sql;  // SQLite text; binds stay as SQLite named parameters ":NAME"
  StmtKind kind = StmtKind::Other;
  std::vector<std::string> binds;   // bind names in order of appearance, upper-case, without ':'
  std::vector<std::string> tables;  // tables/views referenced (lower-case), for parse-only checks
  std::string limitBind;    // non-empty when the "ROWNUM<= :x" wrapper became a fetch limit on x
  bool emptyProbe = false;  // a "rownum<1" probe: the query returns no rows
};

// Translates one SQL statement; ORA-00900 for text it cannot parse.
bool translateSql(const std::string& oracle, SqlText* out, OraError* err);

// Registers NVL, NVL2, DECODE, TO_CHAR, TO_NUMBER, TO_DATE, SYSDATE, SYSTIMESTAMP, SUBSTR, INSTR,
// TRUNC, ROUND and friends on a connection.
bool registerFunctions(sqlite3* db);

// Maps a SQLite failure to the Oracle error a client would see (942 for a missing table, 904 for
// a missing column, 900 for other syntax errors, ...).
OraError mapSqliteError(int rc, const char* msg);

struct PlsqlStep {
  enum Kind { Assign, SelectInto, OpenCursor, Dml, Commit, Null, Sleep, Raise } kind;
  std::string target;             // Assign / OpenCursor: bind name (upper-case, no ':')
  std::vector<std::string> into;  // SelectInto: bind names
  SqlText sql;  // Assign: "SELECT <expr>" translated; SelectInto/OpenCursor/Dml: the statement
  double seconds = 0;  // Sleep
  int code = 0;        // Raise
  std::string text;    // Raise
};

// True for an anonymous block: BEGIN ... END; or DECLARE ...
bool isPlsql(const std::string& text);

// Splits a block into steps; ORA-06550 for anything outside the supported subset.
bool parsePlsql(const std::string& block, std::vector<PlsqlStep>* out, OraError* err);

}  // namespace vsim
