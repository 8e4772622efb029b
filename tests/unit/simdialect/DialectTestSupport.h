// Helpers of the dialect tests: an in-memory SQLite connection with the Oracle functions, and
// running translated statements on it.
#pragma once

#include <sqlite3.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "SimDialect.h"

namespace simtest {

// Whitespace runs collapsed to one blank, ends trimmed: translations keep the source's spacing.
inline std::string squeeze(const std::string& s) {
  std::string r;
  bool blank = false;
  for (char c : s) {
    if (c == ' ' || c == '\n' || c == '\t') {
      blank = true;
      continue;
    }
    if (blank && !r.empty()) r += ' ';
    blank = false;
    r += c;
  }
  return r;
}

class Db {
 public:
  explicit Db(const char* path = ":memory:") {
    sqlite3_open(path, &db_);
    vsim::registerFunctions(db_);
  }
  ~Db() { sqlite3_close(db_); }
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;
  sqlite3* get() const { return db_; }

  bool exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  }

  // Translates and runs an Oracle statement with text binds. Rows come back as text ("NULL" for
  // NULL); a failure gives one row holding "ORA-nnnnn: text".
  std::vector<std::vector<std::string>> query(
      const std::string& oracle,
      const std::vector<std::pair<std::string, std::string>>& binds = {}) {
    vsim::SqlText t;
    vsim::OraError e;
    if (!vsim::translateSql(oracle, &t, &e)) return {{ora(e)}};
    return run(t.sql, binds);
  }

  std::vector<std::vector<std::string>> run(
      const std::string& sql, const std::vector<std::pair<std::string, std::string>>& binds = {}) {
    std::vector<std::vector<std::string>> rows;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr);
    if (rc != SQLITE_OK) return {{ora(vsim::mapSqliteError(rc, sqlite3_errmsg(db_)))}};
    for (const auto& b : binds) {
      const int idx = sqlite3_bind_parameter_index(st, (":" + b.first).c_str());
      if (idx > 0) sqlite3_bind_text(st, idx, b.second.c_str(), -1, SQLITE_TRANSIENT);
    }
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        const unsigned char* v = sqlite3_column_text(st, i);
        row.push_back(v ? reinterpret_cast<const char*>(v) : "NULL");
      }
      rows.push_back(row);
    }
    if (rc != SQLITE_DONE) {
      rows = {{ora(vsim::mapSqliteError(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_)))}};
    }
    sqlite3_finalize(st);
    return rows;
  }

  // The single value of a one-row, one-column query.
  std::string value(const std::string& oracle) {
    auto rows = query(oracle);
    if (rows.size() != 1 || rows[0].size() != 1)
      return "<" + std::to_string(rows.size()) + " rows>";
    return rows[0][0];
  }

  static std::string ora(const vsim::OraError& e) {
    char head[16];
    std::snprintf(head, sizeof head, "ORA-%05d: ", e.code);
    return head + e.text;
  }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace simtest
