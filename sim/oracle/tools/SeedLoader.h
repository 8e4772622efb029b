// Loads an SQL seed of the Oracle stand-in into a SQLite database. A seed is plain SQL; a line
// ".read FILE" loads FILE (relative to the seed's folder) at that point, so every seed can share
// one schema file.
#pragma once

#include <sqlite3.h>

#include <fstream>
#include <sstream>
#include <string>

namespace vsim {

// Runs the seed at path on db; on failure returns false with a message in *err.
inline bool loadSeed(sqlite3* db, const std::string& path, std::string* err, int depth = 0) {
  if (depth > 8) {
    *err = path + ": .read nested too deeply";
    return false;
  }
  std::ifstream in(path);
  if (!in) {
    *err = path + ": cannot open";
    return false;
  }
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string sql, line;
  int lineNo = 0, chunkStart = 1;
  auto flush = [&]() {
    char* msg = nullptr;
    if (!sql.empty() && sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
      std::ostringstream os;
      os << path << " (statement at line " << chunkStart << "): " << (msg ? msg : "error");
      *err = os.str();
      sqlite3_free(msg);
      return false;
    }
    sql.clear();
    chunkStart = lineNo + 1;
    return true;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    if (line.compare(0, 6, ".read ") == 0) {
      if (!flush()) return false;
      std::string name = line.substr(6);
      while (!name.empty() && (name.back() == ' ' || name.back() == '\r')) name.pop_back();
      if (name.empty() || !loadSeed(db, name[0] == '/' ? name : dir + name, err, depth + 1)) {
        if (name.empty()) *err = path + ": .read without a file name";
        return false;
      }
      continue;
    }
    if (sql.empty()) {
      // Blank and comment lines between statements: the next statement starts further down.
      const size_t first = line.find_first_not_of(" \t\r");
      if (first == std::string::npos || line.compare(first, 2, "--") == 0) {
        chunkStart = lineNo + 1;
        continue;
      }
    }
    // A statement may span lines; SQLite runs the chunk statement by statement.
    sql += line;
    sql += '\n';
    if (sqlite3_complete(sql.c_str()) && !flush()) return false;
  }
  return flush();
}

}  // namespace vsim
