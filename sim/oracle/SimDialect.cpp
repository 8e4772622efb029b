// Oracle SQL and the PL/SQL subset over SQLite.
//
// The translation works on tokens and rewrites only identifiers, bind names and the few clauses
// SQLite lacks; the text of every other token, string literals above all, is copied unchanged.
#include "SimDialect.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace vsim {
namespace {

enum class Tok { Space, Comment, Ident, QIdent, String, Number, Bind, Op };

struct Token {
  Tok kind;
  std::string text;    // output text; emptied when the token is dropped
  std::string upper;   // identifiers and binds: upper-case name (no ':')
  size_t pos;          // offset in the source text
  int depth = 0;       // parenthesis depth; '(' and ')' carry the outer depth
  std::string suffix;  // text emitted right after the token
};

std::string upperOf(const std::string& s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

std::string lowerOf(const std::string& s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

bool isIdStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool isIdChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c >= 0x80;
}

OraError makeError(int code, const std::string& text) {
  OraError e;
  e.code = code;
  e.text = text;
  return e;
}

struct LexFailure {
  int code = 0;
  std::string text;
  size_t pos = 0;
};

// Splits Oracle text into tokens. Fails on an unterminated literal, quoted name or comment, and
// on a ':' that introduces no valid bind name.
bool lex(const std::string& s, std::vector<Token>* out, LexFailure* fail) {
  out->clear();
  size_t i = 0;
  const size_t n = s.size();
  int depth = 0;
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    Token t{Tok::Op, std::string(), std::string(), i, 0, std::string()};
    size_t j = i + 1;
    if (std::isspace(c)) {
      while (j < n && std::isspace(static_cast<unsigned char>(s[j]))) ++j;
      t.kind = Tok::Space;
    } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      while (j < n && s[j] != '\n') ++j;
      t.kind = Tok::Comment;
    } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      const size_t e = s.find("*/", i + 2);
      if (e == std::string::npos) {
        *fail = {1756, "quoted string not properly terminated", i};
        return false;
      }
      j = e + 2;
      t.kind = Tok::Comment;
    } else if ((c == 'q' || c == 'Q') && i + 2 < n && s[i + 1] == '\'') {
      // Alternative quoting q'[...]': becomes an ordinary literal with the same value.
      char open = s[i + 2];
      char close = open == '['   ? ']'
                   : open == '(' ? ')'
                   : open == '{' ? '}'
                   : open == '<' ? '>'
                                 : open;
      size_t k = i + 3;
      while (k + 1 < n && !(s[k] == close && s[k + 1] == '\'')) ++k;
      if (k + 1 >= n) {
        *fail = {1756, "quoted string not properly terminated", i};
        return false;
      }
      std::string value = s.substr(i + 3, k - (i + 3));
      std::string lit = "'";
      for (char ch : value) {
        lit += ch;
        if (ch == '\'') lit += '\'';
      }
      lit += '\'';
      t.kind = Tok::String;
      out->push_back(t);
      out->back().text = lit;
      out->back().depth = depth;
      i = k + 2;
      continue;
    } else if (c == '\'') {
      for (;;) {
        if (j >= n) {
          *fail = {1756, "quoted string not properly terminated", i};
          return false;
        }
        if (s[j] == '\'') {
          if (j + 1 < n && s[j + 1] == '\'') {
            j += 2;
            continue;
          }
          ++j;
          break;
        }
        ++j;
      }
      t.kind = Tok::String;
    } else if (c == '"') {
      while (j < n && s[j] != '"') ++j;
      if (j >= n) {
        *fail = {1740, "missing double quote in identifier", i};
        return false;
      }
      ++j;
      t.kind = Tok::QIdent;
      t.upper = s.substr(i + 1, j - i - 2);
    } else if (std::isdigit(c) ||
               (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      while (j < n && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
      if (j < n && (s[j] == 'e' || s[j] == 'E')) {
        size_t k = j + 1;
        if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < n && std::isdigit(static_cast<unsigned char>(s[k]))) {
          j = k;
          while (j < n && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
        }
      }
      t.kind = Tok::Number;
    } else if (isIdStart(c)) {
      while (j < n && isIdChar(static_cast<unsigned char>(s[j]))) ++j;
      t.kind = Tok::Ident;
      t.upper = upperOf(s.substr(i, j - i));
    } else if (c == ':' && i + 1 < n && s[i + 1] == '=') {
      j = i + 2;
      t.kind = Tok::Op;
    } else if (c == ':') {
      if (j < n && (isIdChar(static_cast<unsigned char>(s[j])))) {
        while (j < n && isIdChar(static_cast<unsigned char>(s[j]))) ++j;
        t.kind = Tok::Bind;
        t.upper = upperOf(s.substr(i + 1, j - i - 1));
      } else {
        *fail = {1745, "invalid host/bind variable name", i};
        return false;
      }
    } else {
      static const char* const kTwo[] = {"<=", ">=", "<>", "!=", "^=", "||", "=>", "**", ".."};
      t.kind = Tok::Op;
      for (const char* op : kTwo) {
        if (i + 1 < n && s[i] == op[0] && s[i + 1] == op[1]) j = i + 2;
      }
    }
    t.text = s.substr(i, j - i);
    if (t.kind == Tok::Op && t.text == ")") --depth;
    t.depth = depth;
    if (t.kind == Tok::Op && t.text == "(") ++depth;
    out->push_back(t);
    i = j;
  }
  return true;
}

bool significant(const Token& t) { return t.kind != Tok::Space && t.kind != Tok::Comment; }
bool isWord(const Token& t, const char* w) { return t.kind == Tok::Ident && t.upper == w; }
bool isOp(const Token& t, const char* op) { return t.kind == Tok::Op && t.text == op; }

// Indexes of the significant tokens.
std::vector<size_t> sigIndex(const std::vector<Token>& toks) {
  std::vector<size_t> r;
  for (size_t i = 0; i < toks.size(); ++i)
    if (significant(toks[i])) r.push_back(i);
  return r;
}

std::string joinTokens(const std::vector<Token>& toks, size_t from, size_t to) {
  std::string r;
  for (size_t i = from; i < to && i < toks.size(); ++i) {
    r += toks[i].text;
    r += toks[i].suffix;
  }
  return r;
}

bool isClauseEnd(const Token& t) {
  static const char* const kWords[] = {"WHERE",  "GROUP",  "ORDER",     "HAVING",  "UNION",
                                       "MINUS",  "EXCEPT", "INTERSECT", "CONNECT", "START",
                                       "ON",     "USING",  "SET",       "VALUES",  "FOR",
                                       "WINDOW", "LIMIT",  "FETCH",     "OFFSET",  "RETURNING"};
  if (t.kind != Tok::Ident) return false;
  for (const char* w : kWords)
    if (t.upper == w) return true;
  return false;
}

// The rewriter over one statement's tokens.
class Translator {
 public:
  Translator(std::vector<Token>* toks, SqlText* out) : t_(*toks), out_(*out) {}

  bool run(OraError* err) {
    sig_ = sigIndex(t_);
    if (!checkUnsupported(err)) return false;
    collectCteNames();
    rewriteBinds();
    rewriteFromClauses();
    rewriteDates();
    rewriteConcat();
    rewriteRownum();
    rewriteMisc();
    return true;
  }

 private:
  Token& S(size_t k) { return t_[sig_[k]]; }
  size_t nsig() const { return sig_.size(); }

  bool checkUnsupported(OraError* err) {
    for (size_t k = 0; k + 2 < nsig(); ++k) {
      if (isOp(S(k), "(") && isOp(S(k + 1), "+") && isOp(S(k + 2), ")")) {
        // The old outer-join marker has no SQLite counterpart; ANSI joins do.
        *err = makeError(900, "invalid SQL statement");
        return false;
      }
    }
    return true;
  }

  void collectCteNames() {
    if (nsig() == 0 || !isWord(S(0), "WITH")) return;
    // WITH name AS ( ... ) , name AS ( ... ) SELECT
    size_t k = 1;
    while (k < nsig() && S(k).kind == Tok::Ident) {
      cte_.push_back(lowerOf(S(k).upper));
      ++k;
      if (k < nsig() && isOp(S(k), "(")) k = skipGroup(k);  // column list
      if (k < nsig() && isWord(S(k), "AS")) ++k;
      if (k < nsig() && isOp(S(k), "(")) k = skipGroup(k);
      if (k < nsig() && isOp(S(k), ",")) {
        ++k;
        continue;
      }
      break;
    }
  }

  // From an opening parenthesis at significant index k, the index after its closing one.
  size_t skipGroup(size_t k) {
    const int d = S(k).depth;
    ++k;
    while (k < nsig() && !(isOp(S(k), ")") && S(k).depth == d)) ++k;
    return k < nsig() ? k + 1 : k;
  }

  void rewriteBinds() {
    for (size_t k = 0; k < nsig(); ++k) {
      Token& tok = S(k);
      if (tok.kind != Tok::Bind) continue;
      tok.text = "SIM_BIND(:" + tok.upper + ")";
      bool seen = false;
      for (const std::string& b : out_.binds) seen = seen || b == tok.upper;
      if (!seen) out_.binds.push_back(tok.upper);
    }
  }

  void addTable(const std::string& name) {
    const std::string low = lowerOf(name);
    for (const std::string& c : cte_)
      if (c == low) return;
    for (const std::string& t : out_.tables)
      if (t == low) return;
    out_.tables.push_back(low);
  }

  // A table reference at significant index k: drops an Oracle schema qualifier (SQLite knows
  // only "main" and "temp"), replaces DUAL by a one-row subquery and records the name.
  void tableReference(size_t k) {
    Token& first = S(k);
    if (first.kind != Tok::Ident && first.kind != Tok::QIdent) return;
    size_t nameAt = k;
    if (k + 2 < nsig() && isOp(S(k + 1), ".") &&
        (S(k + 2).kind == Tok::Ident || S(k + 2).kind == Tok::QIdent)) {
      if (first.upper != "MAIN" && first.upper != "TEMP") {
        first.text.clear();
        S(k + 1).text.clear();
      }
      nameAt = k + 2;
    }
    Token& name = S(nameAt);
    if (name.kind == Tok::Ident && isClauseEnd(name)) return;
    if (name.upper == "DUAL" || (name.kind == Tok::QIdent && name.upper == "DUAL")) {
      const bool aliased = nameAt + 1 < nsig() && S(nameAt + 1).kind == Tok::Ident &&
                           !isClauseEnd(S(nameAt + 1)) && !isWord(S(nameAt + 1), "JOIN") &&
                           !isWord(S(nameAt + 1), "INNER") && !isWord(S(nameAt + 1), "LEFT") &&
                           !isWord(S(nameAt + 1), "CROSS");
      name.text = aliased ? "(SELECT 'X' AS DUMMY)" : "(SELECT 'X' AS DUMMY) AS DUAL";
      return;
    }
    addTable(name.kind == Tok::QIdent ? name.upper : name.text);
  }

  void rewriteFromClauses() {
    if (nsig() == 0) return;
    const Token& verb = S(0);
    if (isWord(verb, "INSERT") && nsig() > 2 && isWord(S(1), "INTO")) tableReference(2);
    if (isWord(verb, "UPDATE") && nsig() > 1) tableReference(1);
    if (isWord(verb, "DELETE") && nsig() > 1) {
      tableReference(isWord(S(1), "FROM") && nsig() > 2 ? 2 : 1);
    }
    if (isWord(verb, "TRUNCATE") && nsig() > 2 && isWord(S(1), "TABLE")) {
      S(0).text = "DELETE";
      S(1).text = "FROM";
      tableReference(2);
    }
    // FROM lists at any depth: FROM a x, b JOIN c ON ..., (subquery) y
    std::vector<bool> inFrom(1, false);
    std::vector<bool> inCall(1, false);  // inside EXTRACT( .. FROM ..) or TRIM( .. FROM ..)
    for (size_t k = 0; k < nsig(); ++k) {
      Token& tok = S(k);
      const size_t d = static_cast<size_t>(tok.depth < 0 ? 0 : tok.depth);
      if (inFrom.size() <= d + 1) inFrom.resize(d + 2, false);
      if (inCall.size() <= d + 1) inCall.resize(d + 2, false);
      if (isOp(tok, "(")) {
        inFrom[d + 1] = false;
        inCall[d + 1] = k > 0 && (isWord(S(k - 1), "EXTRACT") || isWord(S(k - 1), "TRIM"));
        continue;
      }
      if (isWord(tok, "FROM") && inCall[d]) continue;
      if (isWord(tok, "FROM") || isWord(tok, "JOIN")) {
        inFrom[d] = true;
        if (k + 1 < nsig() && !isOp(S(k + 1), "(")) tableReference(k + 1);
        continue;
      }
      if (inFrom[d] && isOp(tok, ",") && k + 1 < nsig() && !isOp(S(k + 1), "(")) {
        tableReference(k + 1);
        continue;
      }
      if (isClauseEnd(tok) && !isWord(tok, "ON") && !isWord(tok, "USING")) inFrom[d] = false;
    }
  }

  // End (exclusive, significant index) of the operand that follows a '+' or '-' at index k:
  // one primary, extended over '*' and '/' since those bind tighter.
  size_t operandEnd(size_t k, bool multiplicative = true) {
    size_t e = k;
    for (;;) {
      if (e >= nsig()) return e;
      if (isOp(S(e), "-") || isOp(S(e), "+")) ++e;  // unary sign
      if (e >= nsig()) return e;
      if (isOp(S(e), "(")) {
        e = skipGroup(e);
      } else if (S(e).kind == Tok::Ident || S(e).kind == Tok::QIdent) {
        ++e;
        while (e + 1 < nsig() && isOp(S(e), ".") &&
               (S(e + 1).kind == Tok::Ident || S(e + 1).kind == Tok::QIdent))
          e += 2;
        if (e < nsig() && isOp(S(e), "(")) e = skipGroup(e);
      } else if (S(e).kind == Tok::Number || S(e).kind == Tok::Bind || S(e).kind == Tok::String) {
        ++e;
      } else {
        return e;
      }
      if (multiplicative && e < nsig() && (isOp(S(e), "*") || isOp(S(e), "/"))) {
        ++e;
        continue;
      }
      return e;
    }
  }

  // SYSDATE and SYSTIMESTAMP are functions without parentheses. "SYSDATE - x + y ..." becomes
  // date arithmetic, left to right (x in days, or a date for a difference in days).
  void rewriteDates() {
    std::vector<bool> consumed(nsig(), false);  // operators taken by an arithmetic chain
    for (size_t k = 0; k < nsig(); ++k) {
      Token& tok = S(k);
      if (tok.kind != Tok::Ident || (tok.upper != "SYSDATE" && tok.upper != "SYSTIMESTAMP"))
        continue;
      if (k > 0 && isOp(S(k - 1), ".")) continue;
      if (k + 1 < nsig() && isOp(S(k + 1), "(")) continue;
      std::string head = tok.upper + "()";
      size_t pos = k + 1;
      while (pos + 1 < nsig() && !consumed[pos] && (isOp(S(pos), "+") || isOp(S(pos), "-"))) {
        const size_t end = operandEnd(pos + 1);
        if (end == pos + 1) break;
        head = std::string(isOp(S(pos), "+") ? "SIM_DATE_ADD(" : "SIM_DATE_SUB(") + head;
        consumed[pos] = true;
        S(pos).text = ",(";
        S(end - 1).suffix += "))";
        pos = end;
      }
      tok.text = head;
    }
  }

  // Start (significant index) of the primary that ends at index k: a literal, bind, name
  // (qualified), parenthesised group or function call.
  size_t operandStart(size_t k) {
    size_t b = k;
    if (isOp(S(b), ")")) {
      const int d = S(b).depth;
      while (b > 0 && !(isOp(S(b), "(") && S(b).depth == d)) --b;
      if (b > 0 && S(b - 1).kind == Tok::Ident) --b;
    }
    while (b >= 2 && isOp(S(b - 1), ".") &&
           (S(b - 2).kind == Tok::Ident || S(b - 2).kind == Tok::QIdent))
      b -= 2;
    return b;
  }

  // "a || b || c" becomes SIM_CONCAT(a, b, c): Oracle treats a NULL operand as empty text.
  void rewriteConcat() {
    for (size_t k = 1; k + 1 < nsig(); ++k) {
      if (!isOp(S(k), "||")) continue;
      const size_t start = operandStart(k - 1);
      size_t e = k;
      while (e + 1 < nsig() && isOp(S(e), "||")) {
        const size_t next = operandEnd(e + 1, false);
        if (next == e + 1) break;
        S(e).text = ",";
        e = next;
        if (e >= nsig()) break;
      }
      S(start).text = "SIM_CONCAT(" + S(start).text;
      S(e - 1).suffix += ")";
      k = e;
    }
  }

  struct Scope {
    size_t select;     // significant index of SELECT
    size_t end;        // exclusive end of the query block
    size_t where = 0;  // index of WHERE, 0 if none
    size_t whereEnd = 0;
    bool compound = false;
  };

  Scope scopeOf(size_t k) {
    Scope sc;
    sc.select = k;
    const int d = S(k).depth;
    size_t e = k + 1;
    for (; e < nsig(); ++e) {
      const Token& tok = S(e);
      if (tok.depth < d) break;
      if (isOp(tok, ")") && tok.depth == d - 1) break;
      if (tok.depth != d) continue;
      if (isOp(tok, ";")) break;
      if (isWord(tok, "UNION") || isWord(tok, "MINUS") || isWord(tok, "EXCEPT") ||
          isWord(tok, "INTERSECT")) {
        sc.compound = true;
        break;
      }
      if (isWord(tok, "WHERE") && sc.where == 0) {
        sc.where = e;
      } else if (sc.where != 0 && sc.whereEnd == 0 &&
                 (isWord(tok, "GROUP") || isWord(tok, "ORDER") || isWord(tok, "HAVING") ||
                  isWord(tok, "CONNECT") || isWord(tok, "START") || isWord(tok, "WINDOW") ||
                  isWord(tok, "LIMIT") || isWord(tok, "FOR"))) {
        sc.whereEnd = e;
      }
    }
    sc.end = e;
    if (sc.where != 0 && sc.whereEnd == 0) sc.whereEnd = e;
    // A select preceded by a set operator at the same depth is part of a compound as well.
    if (k > 0) {
      const Token& prev = S(k - 1);
      if (prev.depth == d &&
          (isWord(prev, "UNION") || isWord(prev, "ALL") || isWord(prev, "MINUS") ||
           isWord(prev, "EXCEPT") || isWord(prev, "INTERSECT")))
        sc.compound = true;
    }
    return sc;
  }

  struct Conjunct {
    size_t from, to;  // significant indexes [from, to)
  };

  // A ROWNUM bound in [from, to): returns 0 none, 1 "<= bound" (bind or number), with the
  // bound in *bound (significant index) and *strict set for "<".
  int rownumBound(size_t from, size_t to, size_t* bound, bool* strict, bool* equal) {
    while (to - from >= 2 && isOp(S(from), "(") && skipGroup(from) == to) {
      ++from;
      --to;
    }
    if (to - from != 3) return 0;
    const Token& a = S(from);
    const Token& op = S(from + 1);
    const Token& b = S(from + 2);
    auto operand = [](const Token& x) { return x.kind == Tok::Bind || x.kind == Tok::Number; };
    *equal = false;
    if (isWord(a, "ROWNUM") && operand(b)) {
      *bound = from + 2;
      if (isOp(op, "<=")) return *strict = false, 1;
      if (isOp(op, "<")) return *strict = true, 1;
      if (isOp(op, "=")) return *strict = false, *equal = true, 1;
    } else if (isWord(b, "ROWNUM") && operand(a)) {
      *bound = from;
      if (isOp(op, ">=")) return *strict = false, 1;
      if (isOp(op, ">")) return *strict = true, 1;
      if (isOp(op, "=")) return *strict = false, *equal = true, 1;
    }
    return 0;
  }

  void clearRange(size_t from, size_t to) {
    for (size_t k = from; k < to; ++k) {
      S(k).text.clear();
      S(k).suffix.clear();
    }
  }

  // ROWNUM bounds in the WHERE clause of a query block become a LIMIT on that block: Oracle
  // numbers the rows that pass the other conditions, so the bound is a row limit after them.
  void rewriteRownum() {
    for (size_t k = 0; k < nsig(); ++k) {
      if (!isWord(S(k), "SELECT")) continue;
      Scope sc = scopeOf(k);
      if (sc.where == 0 || sc.compound) continue;
      const int d = S(sc.where).depth;
      std::vector<Conjunct> parts;
      bool anyOr = false;
      bool pendingBetween = false;
      size_t start = sc.where + 1;
      for (size_t e = sc.where + 1; e < sc.whereEnd; ++e) {
        if (S(e).depth != d) continue;
        if (isWord(S(e), "OR")) anyOr = true;
        if (isWord(S(e), "BETWEEN")) pendingBetween = true;
        if (isWord(S(e), "AND")) {
          if (pendingBetween) {
            pendingBetween = false;
            continue;
          }
          parts.push_back({start, e});
          start = e + 1;
        }
      }
      parts.push_back({start, sc.whereEnd});
      if (anyOr) continue;
      for (size_t p = 0; p < parts.size(); ++p) {
        size_t bound = 0;
        bool strict = false, equal = false;
        if (!rownumBound(parts[p].from, parts[p].to, &bound, &strict, &equal)) continue;
        const Token& b = S(bound);
        const bool outer = S(k).depth == 0 && k == firstSelect();
        std::string limit;
        bool empty = false;
        if (b.kind == Tok::Number) {
          const double v = std::strtod(b.text.c_str(), nullptr);
          long long n = v > 1e15 ? 1000000000000000LL : v < 0 ? -1 : static_cast<long long>(v);
          if (strict && static_cast<double>(n) == v) n -= 1;
          if (equal) n = v == 1.0 ? 1 : 0;
          if (n < 1) empty = true;
          limit = std::to_string(n);
        } else {
          limit = strict ? "(" + b.text + ")-1" : b.text;
          if (equal) limit = "CASE WHEN " + b.text + "=1 THEN 1 ELSE 0 END";
          if (outer && !strict && !equal) out_.limitBind = b.upper;
        }
        if (empty) {
          // Keep the statement valid (so tables are still checked) but return nothing.
          clearRange(parts[p].from, parts[p].to);
          S(parts[p].from).text = "(1=0)";
          if (outer) out_.emptyProbe = true;
        } else {
          // Drop the conjunct and one adjacent AND; a lone conjunct takes WHERE with it.
          if (parts.size() == 1) {
            clearRange(sc.where, sc.whereEnd);
          } else if (p > 0) {
            clearRange(parts[p - 1].to, parts[p].to);
          } else {
            clearRange(parts[p].from, parts[p + 1].from);
          }
          const size_t last = sc.end - 1;
          S(last).suffix += " LIMIT " + limit;
        }
        break;
      }
    }
  }

  size_t firstSelect() {
    for (size_t k = 0; k < nsig(); ++k)
      if (isWord(S(k), "SELECT") && S(k).depth == 0) return k;
    return nsig();
  }

  void rewriteMisc() {
    for (size_t k = 0; k < nsig(); ++k) {
      Token& tok = S(k);
      if (isWord(tok, "MINUS")) tok.text = "EXCEPT";
      // SQLite reads '#' as the start of a parameter: names like THREAD# are quoted.
      if (tok.kind == Tok::Ident && tok.text.find('#') != std::string::npos) {
        tok.text = "\"" + tok.text + "\"";
      }
      if (isOp(tok, "^=")) tok.text = "<>";
      // DATE 'YYYY-MM-DD' and TIMESTAMP '...' literals are dates in the stored text form.
      if ((isWord(tok, "DATE") || isWord(tok, "TIMESTAMP")) && k + 1 < nsig() &&
          S(k + 1).kind == Tok::String && !(k > 0 && isOp(S(k - 1), "."))) {
        tok.text.clear();
        std::string& lit = S(k + 1).text;
        if (isWord(tok, "DATE") && lit.size() == 12) lit.insert(11, " 00:00:00");
      }
      // OFFSET n ROWS / FETCH FIRST n ROWS ONLY are SQLite's LIMIT and OFFSET.
      if (isWord(tok, "OFFSET") && k + 2 < nsig() && isCount(S(k + 1)) && isRows(S(k + 2))) {
        const std::string offset = S(k + 1).text;
        std::string limit = "-1";
        size_t end = k + 3;
        if (fetchClause(k + 3, &limit)) end = k + 8;
        clearRange(k, end);
        tok.text = "LIMIT " + limit + " OFFSET " + offset;
        k = end - 1;
        continue;
      }
      std::string limit;
      if (isWord(tok, "FETCH") && fetchClause(k, &limit)) {
        clearRange(k, k + 5);
        tok.text = "LIMIT " + limit;
        k += 4;
        continue;
      }
      // NUMBER division is decimal: 1/24 is not 0.
      if (isOp(tok, "/")) tok.text = "*1.0/";
      // Any ROWNUM left (a select list, for instance) numbers the rows of its query.
      if (tok.kind == Tok::Ident && upperOf(tok.text) == "ROWNUM" &&
          !(k > 0 && isOp(S(k - 1), "."))) {
        tok.text = "ROW_NUMBER() OVER ()";
      }
    }
  }

  static bool isCount(const Token& t) { return t.kind == Tok::Number || t.kind == Tok::Bind; }
  static bool isRows(const Token& t) { return isWord(t, "ROW") || isWord(t, "ROWS"); }

  // FETCH FIRST|NEXT n ROW|ROWS ONLY at k: the count in *limit.
  bool fetchClause(size_t k, std::string* limit) {
    if (k + 4 >= nsig() || !isWord(S(k), "FETCH") ||
        !(isWord(S(k + 1), "FIRST") || isWord(S(k + 1), "NEXT")) || !isCount(S(k + 2)) ||
        !isRows(S(k + 3)) || !isWord(S(k + 4), "ONLY"))
      return false;
    *limit = S(k + 2).text;
    return true;
  }

  std::vector<Token>& t_;
  SqlText& out_;
  std::vector<size_t> sig_;
  std::vector<std::string> cte_;
};

// 1-based line and column of an offset.
void lineCol(const std::string& s, size_t pos, int* line, int* col) {
  *line = 1;
  *col = 1;
  for (size_t i = 0; i < pos && i < s.size(); ++i) {
    if (s[i] == '\n') {
      ++*line;
      *col = 1;
    } else {
      ++*col;
    }
  }
}

}  // namespace

bool translateSql(const std::string& oracle, SqlText* out, OraError* err) {
  *out = SqlText();
  *err = OraError();
  std::vector<Token> toks;
  LexFailure lf;
  if (!lex(oracle, &toks, &lf)) {
    *err = makeError(lf.code, lf.text);
    return false;
  }
  const std::vector<size_t> sig = sigIndex(toks);
  if (sig.empty()) {
    *err = makeError(900, "invalid SQL statement");
    return false;
  }
  const Token& first = toks[sig[0]];
  if (isWord(first, "BEGIN") || isWord(first, "DECLARE")) {
    out->kind = StmtKind::Plsql;
    out->sql = oracle;
    for (size_t k : sig) {
      if (toks[k].kind != Tok::Bind) continue;
      bool seen = false;
      for (const std::string& b : out->binds) seen = seen || b == toks[k].upper;
      if (!seen) out->binds.push_back(toks[k].upper);
    }
    return true;
  }
  // A statement sent through the call interface carries no terminator, nor any other ';'.
  for (size_t k : sig) {
    if (isOp(toks[k], ";")) {
      *err = makeError(911, "invalid character");
      return false;
    }
  }
  if (isWord(first, "ALTER") && sig.size() > 1 && isWord(toks[sig[1]], "SESSION")) {
    // Session settings (NLS formats, tracing) are not simulated: accepted and ignored.
    out->kind = StmtKind::Other;
    out->sql = "SELECT 0 WHERE 0";
    return true;
  }
  int depth = 0;
  for (size_t k : sig) {
    if (isOp(toks[k], "(")) ++depth;
    if (isOp(toks[k], ")") && --depth < 0) break;
  }
  if (depth > 0) {
    *err = makeError(907, "missing right parenthesis");
    return false;
  }
  if (depth < 0) {
    *err = makeError(933, "SQL command not properly ended");
    return false;
  }
  if (isWord(first, "SELECT") || isWord(first, "WITH") || isOp(first, "(")) {
    out->kind = StmtKind::Select;
  } else if (isWord(first, "INSERT")) {
    out->kind = StmtKind::Insert;
  } else if (isWord(first, "UPDATE")) {
    out->kind = StmtKind::Update;
  } else if (isWord(first, "DELETE") || isWord(first, "TRUNCATE")) {
    out->kind = StmtKind::Delete;
  } else {
    static const char* const kOther[] = {"CREATE", "ALTER",   "DROP",    "COMMIT",  "ROLLBACK",
                                         "GRANT",  "REVOKE",  "COMMENT", "ANALYZE", "SAVEPOINT",
                                         "LOCK",   "EXPLAIN", "RENAME",  "SET",     "MERGE"};
    bool known = false;
    for (const char* w : kOther) known = known || isWord(first, w);
    if (!known) {
      *err = makeError(900, "invalid SQL statement");
      return false;
    }
    out->kind = StmtKind::Other;
  }
  Translator tr(&toks, out);
  if (!tr.run(err)) {
    out->binds.clear();
    out->tables.clear();
    return false;
  }
  out->sql = joinTokens(toks, 0, toks.size());
  return true;
}

OraError mapSqliteError(int rc, const char* msg) {
  const std::string m = msg ? msg : "";
  const int primary = rc & 0xff;
  // Our own functions report Oracle errors as "ORA-nnnnn: text".
  const size_t ora = m.find("ORA-");
  if (ora != std::string::npos && ora + 9 <= m.size() && m[ora + 9] == ':') {
    const int code = std::atoi(m.substr(ora + 4, 5).c_str());
    if (code > 0) {
      size_t textAt = ora + 10;
      while (textAt < m.size() && m[textAt] == ' ') ++textAt;
      return makeError(code, m.substr(textAt));
    }
  }
  auto after = [&m](const char* prefix, std::string* rest) {
    const size_t at = m.find(prefix);
    if (at == std::string::npos) return false;
    *rest = m.substr(at + std::strlen(prefix));
    return true;
  };
  auto quoted = [](const std::string& name) {
    // "T.C" -> "T"."C" as Oracle names a qualified column.
    std::string r = "\"";
    for (char c : upperOf(name)) r += c == '.' ? std::string("\".\"") : std::string(1, c);
    return r + "\"";
  };
  std::string rest;
  if (primary == SQLITE_INTERRUPT)
    return makeError(1013, "user requested cancel of current operation");
  if (after("no such table: ", &rest)) return makeError(942, "table or view does not exist");
  if (after("no such column: ", &rest))
    return makeError(904, quoted(rest) + ": invalid identifier");
  if (after("no such function: ", &rest))
    return makeError(904, quoted(rest) + ": invalid identifier");
  if (after("ambiguous column name: ", &rest)) return makeError(918, "column ambiguously defined");
  if (after("wrong number of arguments to function ", &rest)) {
    return makeError(909, "invalid number of arguments");
  }
  if (after("already exists", &rest)) {
    return makeError(955, "name is already used by an existing object");
  }
  if (after("UNIQUE constraint failed: ", &rest) ||
      after("PRIMARY KEY constraint failed: ", &rest)) {
    return makeError(1, "unique constraint (" + upperOf(rest) + ") violated");
  }
  if (after("NOT NULL constraint failed: ", &rest)) {
    return makeError(1400, "cannot insert NULL into (" + quoted(rest) + ")");
  }
  if (after("CHECK constraint failed: ", &rest)) {
    return makeError(2290, "check constraint (" + upperOf(rest) + ") violated");
  }
  if (after(" values were supplied", &rest)) {
    // "table t has 2 columns but 3 values were supplied"
    int cols = 0, vals = 0;
    const size_t has = m.find(" has ");
    if (has != std::string::npos &&
        std::sscanf(m.c_str() + has, " has %d columns but %d values", &cols, &vals) == 2 &&
        vals < cols)
      return makeError(947, "not enough values");
    return makeError(913, "too many values");
  }
  if (after("syntax error", &rest) || after("incomplete input", &rest) ||
      after("unrecognized token", &rest)) {
    return makeError(900, "invalid SQL statement");
  }
  switch (primary) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return makeError(54, "resource busy and acquire with NOWAIT specified or timeout expired");
    case SQLITE_READONLY:
      return makeError(16000, "database or pluggable database open for read-only access");
    case SQLITE_MISMATCH:
      return makeError(1722, "invalid number");
    case SQLITE_CONSTRAINT:
      return makeError(2290, "check constraint violated");
    case SQLITE_NOMEM:
      return makeError(4030, "out of process memory");
    case SQLITE_RANGE:
      return makeError(1036, "illegal variable name/number");
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return makeError(1034, "ORACLE not available");
    default:
      break;
  }
  if (m.find("datatype mismatch") != std::string::npos) return makeError(1722, "invalid number");
  if (m.find("misuse of") != std::string::npos)
    return makeError(934, "group function is not allowed here");
  char text[600];
  std::snprintf(text, sizeof text, "internal error code, arguments: [sqlite%d], [%.500s]", rc,
                m.c_str());
  return makeError(600, text);
}

bool isPlsql(const std::string& text) {
  size_t i = 0;
  const size_t n = text.size();
  for (;;) {
    while (i < n && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i + 1 < n && text[i] == '-' && text[i + 1] == '-') {
      while (i < n && text[i] != '\n') ++i;
      continue;
    }
    if (i + 1 < n && text[i] == '/' && text[i + 1] == '*') {
      const size_t e = text.find("*/", i + 2);
      if (e == std::string::npos) return false;
      i = e + 2;
      continue;
    }
    break;
  }
  size_t j = i;
  while (j < n && isIdChar(static_cast<unsigned char>(text[j]))) ++j;
  const std::string word = upperOf(text.substr(i, j - i));
  return word == "BEGIN" || word == "DECLARE";
}

namespace {

class PlsqlParser {
 public:
  PlsqlParser(const std::string& src, std::vector<PlsqlStep>* out, OraError* err)
      : src_(src), out_(*out), err_(*err) {}

  bool run() {
    out_.clear();
    err_ = OraError();
    LexFailure lf;
    if (!lex(src_, &toks_, &lf)) {
      return fail(lf.pos,
                  "PLS-00103: Encountered the symbol \"end-of-file\" when expecting one of "
                  "the following:\n\n   ' \"");
    }
    sig_ = sigIndex(toks_);
    if (sig_.empty()) return fail(0, endOfFile());
    if (!isWord(S(0), "BEGIN")) {
      return fail(S(0).pos, "PLS-00103: Encountered the symbol \"" + S(0).upper +
                                "\" when expecting one of the following:\n\n   begin");
    }
    size_t k = 1;
    bool any = false;
    for (;;) {
      if (k >= nsig()) return fail(src_.size(), endOfFile());
      if (isWord(S(k), "END")) break;
      size_t e = k;
      while (e < nsig() && !(isOp(S(e), ";") && S(e).depth == 0)) ++e;
      if (e >= nsig()) return fail(src_.size(), endOfFile());
      if (e == k) return fail(S(k).pos, encountered(";"));
      if (!statement(k, e)) return false;
      any = true;
      k = e + 1;
    }
    if (!any) return fail(S(k).pos, encountered("END"));
    size_t e = k + 1;
    if (e < nsig() && S(e).kind == Tok::Ident) ++e;  // END label;
    if (e >= nsig() || !isOp(S(e), ";")) {
      return fail(e < nsig() ? S(e).pos : src_.size(),
                  e < nsig() ? encountered(S(e).text) : endOfFile());
    }
    ++e;
    if (e < nsig() && isOp(S(e), "/")) ++e;
    if (e < nsig()) return fail(S(e).pos, encountered(S(e).text));
    return true;
  }

 private:
  Token& S(size_t k) { return toks_[sig_[k]]; }
  size_t nsig() const { return sig_.size(); }

  static std::string endOfFile() {
    return "PLS-00103: Encountered the symbol \"end-of-file\" when expecting one of the "
           "following:\n\n   ( begin case declare end exception exit for goto if loop mod null "
           "pragma raise return select update while with <an identifier>";
  }
  static std::string encountered(const std::string& sym) {
    return "PLS-00103: Encountered the symbol \"" + upperOf(sym) +
           "\" when expecting one of the following:\n\n   ( begin case declare exit for goto "
           "if loop mod null pragma raise return select update while with <an identifier>";
  }

  bool fail(size_t pos, const std::string& pls, const char* tail = nullptr) {
    int line = 0, col = 0;
    lineCol(src_, pos, &line, &col);
    char head[64];
    std::snprintf(head, sizeof head, "line %d, column %d:\n", line, col);
    err_.code = 6550;
    err_.text = std::string(head) + pls;
    if (tail) err_.text += std::string("\nORA-06550: ") + head + tail;
    out_.clear();
    return false;
  }

  std::string text(size_t from, size_t to) {  // significant indexes [from, to)
    if (from >= to) return std::string();
    return joinTokens(toks_, sig_[from], sig_[to - 1] + 1);
  }

  bool translate(size_t at, const std::string& sql, SqlText* out) {
    OraError e;
    if (!translateSql(sql, out, &e)) {
      char ora[32];
      std::snprintf(ora, sizeof ora, "PL/SQL: ORA-%05d: ", e.code);
      return fail(S(at).pos, ora + e.text, "PL/SQL: SQL Statement ignored");
    }
    return true;
  }

  static bool numberValue(const Token& t, double* v) {
    if (t.kind != Tok::Number) return false;
    char* end = nullptr;
    *v = std::strtod(t.text.c_str(), &end);
    return end && *end == '\0';
  }

  bool statement(size_t k, size_t e) {
    PlsqlStep step{};
    step.kind = PlsqlStep::Null;
    const Token& head = S(k);
    if (head.kind == Tok::Bind && k + 1 < e && isOp(S(k + 1), ":=")) {
      if (k + 2 >= e) return fail(S(k + 1).pos, encountered(";"));
      step.kind = PlsqlStep::Assign;
      step.target = head.upper;
      if (!translate(k + 2, "SELECT " + text(k + 2, e), &step.sql)) return false;
    } else if (isWord(head, "SELECT")) {
      size_t into = 0, from = 0;
      for (size_t j = k + 1; j < e; ++j) {
        if (S(j).depth != 0) continue;
        if (!into && isWord(S(j), "INTO")) into = j;
        if (into && !from && isWord(S(j), "FROM")) from = j;
      }
      if (!into) {
        return fail(head.pos, "PLS-00428: an INTO clause is expected in this SELECT statement");
      }
      if (!from) return fail(S(into).pos, encountered(";"));
      for (size_t j = into + 1; j < from; ++j) {
        const bool wantBind = (j - into) % 2 == 1;
        if (wantBind && S(j).kind == Tok::Bind) {
          step.into.push_back(S(j).upper);
        } else if (wantBind) {
          return fail(S(j).pos, "PLS-00201: identifier '" + S(j).upper + "' must be declared",
                      "PL/SQL: ORA-00904: invalid identifier");
        } else if (!isOp(S(j), ",")) {
          return fail(S(j).pos, encountered(S(j).text));
        }
      }
      if (step.into.empty() || (from - into) % 2 != 0)
        return fail(S(from).pos, encountered("FROM"));
      step.kind = PlsqlStep::SelectInto;
      if (!translate(k, text(k, into) + " " + text(from, e), &step.sql)) return false;
    } else if (isWord(head, "OPEN")) {
      if (k + 3 >= e || S(k + 1).kind != Tok::Bind || !isWord(S(k + 2), "FOR")) {
        const size_t at = k + 1 < e ? k + 1 : k;
        return fail(S(at).pos, "PLS-00201: identifier '" + S(at).upper + "' must be declared",
                    "PL/SQL: Statement ignored");
      }
      step.kind = PlsqlStep::OpenCursor;
      step.target = S(k + 1).upper;
      if (!isWord(S(k + 3), "SELECT") && !isWord(S(k + 3), "WITH") && !isOp(S(k + 3), "(")) {
        return fail(S(k + 3).pos, encountered(S(k + 3).text));
      }
      if (!translate(k + 3, text(k + 3, e), &step.sql)) return false;
    } else if (isWord(head, "INSERT") || isWord(head, "UPDATE") || isWord(head, "DELETE")) {
      step.kind = PlsqlStep::Dml;
      if (!translate(k, text(k, e), &step.sql)) return false;
    } else if (isWord(head, "COMMIT") && (e == k + 1 || (e == k + 2 && isWord(S(k + 1), "WORK")))) {
      step.kind = PlsqlStep::Commit;
    } else if (isWord(head, "NULL") && e == k + 1) {
      step.kind = PlsqlStep::Null;
    } else if (isCall(k, e, "DBMS_LOCK", "SLEEP") || isCall(k, e, "DBMS_SESSION", "SLEEP")) {
      double v = 0;
      if (e != k + 6 || !numberValue(S(k + 4), &v)) {
        return fail(S(k + 4).pos,
                    "PLS-00306: wrong number or types of arguments in call to 'SLEEP'",
                    "PL/SQL: Statement ignored");
      }
      step.kind = PlsqlStep::Sleep;
      step.seconds = v;
    } else if (isWord(head, "RAISE_APPLICATION_ERROR") && k + 1 < e && isOp(S(k + 1), "(")) {
      // RAISE_APPLICATION_ERROR ( [-] n , 'text' )
      size_t j = k + 2;
      bool negative = false;
      if (j < e && isOp(S(j), "-")) negative = true, ++j;
      double v = 0;
      if (j + 4 != e || !numberValue(S(j), &v) || !isOp(S(j + 1), ",") ||
          S(j + 2).kind != Tok::String || !isOp(S(j + 3), ")")) {
        return fail(S(k).pos,
                    "PLS-00306: wrong number or types of arguments in call to "
                    "'RAISE_APPLICATION_ERROR'",
                    "PL/SQL: Statement ignored");
      }
      const long n =
          v > 1e9 ? (negative ? -1000000000L : 1000000000L) : static_cast<long>(negative ? -v : v);
      step.kind = PlsqlStep::Raise;
      const std::string& lit = S(j + 2).text;
      for (size_t c = 1; c + 1 < lit.size(); ++c) {
        step.text += lit[c];
        if (lit[c] == '\'' && lit[c + 1] == '\'') ++c;
      }
      if (n > -20000 || n < -20999) {
        // Oracle refuses numbers outside the user range when the block runs.
        char buf[120];
        std::snprintf(buf, sizeof buf,
                      "error number argument to raise_application_error of %ld is out of range", n);
        step.code = 21000;
        step.text = buf;
      } else {
        step.code = static_cast<int>(-n);
      }
    } else if (head.kind == Tok::Ident && !isKeyword(head)) {
      std::string name = head.upper;
      for (size_t j = k + 1; j + 1 < e && isOp(S(j), "."); j += 2) name += "." + S(j + 1).upper;
      return fail(head.pos, "PLS-00201: identifier '" + name + "' must be declared",
                  "PL/SQL: Statement ignored");
    } else {
      return fail(head.pos, encountered(head.kind == Tok::Ident ? head.upper : head.text));
    }
    out_.push_back(step);
    return true;
  }

  bool isCall(size_t k, size_t e, const char* pkg, const char* fn) {
    return k + 4 < e && isWord(S(k), pkg) && isOp(S(k + 1), ".") && isWord(S(k + 2), fn) &&
           isOp(S(k + 3), "(") && isOp(S(e - 1), ")");
  }

  static bool isKeyword(const Token& t) {
    static const char* const kWords[] = {
        "IF",        "LOOP",   "FOR",   "WHILE",  "DECLARE", "BEGIN",   "EXCEPTION",
        "RAISE",     "RETURN", "EXIT",  "GOTO",   "CASE",    "EXECUTE", "FORALL",
        "FETCH",     "CLOSE",  "OPEN",  "PRAGMA", "WITH",    "MERGE",   "ROLLBACK",
        "SAVEPOINT", "ELSE",   "ELSIF", "WHEN",   "THEN"};
    for (const char* w : kWords)
      if (t.upper == w) return true;
    return false;
  }

  const std::string& src_;
  std::vector<PlsqlStep>& out_;
  OraError& err_;
  std::vector<Token> toks_;
  std::vector<size_t> sig_;
};

}  // namespace

bool parsePlsql(const std::string& block, std::vector<PlsqlStep>* out, OraError* err) {
  PlsqlParser p(block, out, err);
  return p.run();
}

}  // namespace vsim
