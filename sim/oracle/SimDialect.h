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
  // SQLite text; binds stay SQLite named parameters ":NAME", each inside SIM_BIND(...), which
  // turns a text holding a canonical number into that number (Oracle compares them as numbers).
  std::string sql;
  StmtKind kind = StmtKind::Other;
  std::vector<std::string> binds;   // bind names in order of appearance, upper-case, without ':'
  std::vector<std::string> tables;  // tables/views referenced (lower-case), for parse-only checks
  // Non-empty when the "ROWNUM<= :x" wrapper became a fetch limit on bind x. The text already
  // ends in "LIMIT :X", so SQLite enforces it once X is bound; X stays in binds.
  std::string limitBind;
  // A "rownum<1" probe: the query returns no rows. Its text still names its tables, so preparing
  // it reports a missing one.
  bool emptyProbe = false;
};

// Translates one SQL statement; ORA-00900 for text it cannot parse (ORA-01756, ORA-00907,
// ORA-00911, ORA-01745, ORA-01740 for the malformed texts Oracle names so). A PL/SQL block comes
// back unchanged with kind Plsql and its binds; parsePlsql splits it.
bool translateSql(const std::string& oracle, SqlText* out, OraError* err);

// Registers NVL, NVL2, DECODE, TO_CHAR, TO_NUMBER, TO_DATE, SYSDATE, SYSTIMESTAMP, SUBSTR, INSTR,
// TRUNC, ROUND and friends on a connection. Functions report Oracle errors as "ORA-nnnnn: text",
// which mapSqliteError turns back into the code.
bool registerFunctions(sqlite3* db);

// Maps a SQLite failure to the Oracle error a client would see (942 for a missing table, 904 for
// a missing column or function, 900 for other syntax errors, 1013 for an interrupt, ...).
OraError mapSqliteError(int rc, const char* msg);

struct PlsqlStep {
  enum Kind { Assign, SelectInto, OpenCursor, Dml, Commit, Null, Sleep, Raise } kind;
  std::string target;             // Assign / OpenCursor: bind name (upper-case, no ':')
  std::vector<std::string> into;  // SelectInto: bind names
  SqlText sql;  // Assign: "SELECT <expr>" translated; SelectInto/OpenCursor/Dml: the statement
                // (INTO removed)
  double seconds = 0;  // Sleep
  int code = 0;        // Raise: the ORA number, 20000..20999 (21000 when the block's is invalid)
  std::string text;    // Raise: the message, quotes undone
};

// True for an anonymous block: BEGIN ... END; or DECLARE ...
bool isPlsql(const std::string& text);

// Splits a block into steps; ORA-06550 for anything outside the supported subset, with Oracle's
// "line %d, column %d:\nPLS-nnnnn: ..." text.
bool parsePlsql(const std::string& block, std::vector<PlsqlStep>* out, OraError* err);

}  // namespace vsim
