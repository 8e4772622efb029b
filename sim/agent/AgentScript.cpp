#include "AgentScript.h"

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

namespace velagent {

// ---------------------------------------------------------------------------------------------
// Printing

namespace {

size_t charCount(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not one.
size_t utf8Len(const std::string& s, size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t len;
  unsigned long cp;
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) {
    len = 2;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    unsigned char cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cc & 0x3F);
  }
  static const unsigned long kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

void printTable(std::ostream& out, const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows) {
  constexpr size_t kMaxCell = 48;
  size_t cols = header.size();
  for (const auto& r : rows) cols = r.size() > cols ? r.size() : cols;
  std::vector<std::vector<std::string>> cells;
  std::vector<size_t> width(cols, 1);
  auto addRow = [&](const std::vector<std::string>& r, bool raw) {
    std::vector<std::string> line(cols);
    for (size_t i = 0; i < cols && i < r.size(); ++i) {
      line[i] = raw ? r[i] : cellText(r[i], kMaxCell);
      size_t w = charCount(line[i]);
      if (w > width[i]) width[i] = w;
    }
    cells.push_back(std::move(line));
  };
  std::vector<std::string> head = header;
  for (size_t i = head.size(); i < cols; ++i) head.push_back(std::to_string(i));
  addRow(head, true);
  for (const auto& r : rows) addRow(r, false);
  auto emit = [&](const std::vector<std::string>& line) {
    out << '|';
    for (size_t i = 0; i < cols; ++i) {
      out << ' ' << line[i] << std::string(width[i] - charCount(line[i]), ' ') << " |";
    }
    out << '\n';
  };
  emit(cells[0]);
  out << '|';
  for (size_t i = 0; i < cols; ++i) out << std::string(width[i] + 2, '-') << '|';
  out << '\n';
  for (size_t r = 1; r < cells.size(); ++r) emit(cells[r]);
}

std::vector<std::vector<std::string>> numbered(const std::vector<Row>& rows) {
  std::vector<std::vector<std::string>> out;
  for (size_t i = 0; i < rows.size(); ++i) {
    std::vector<std::string> r;
    r.push_back(std::to_string(i + 1));
    r.insert(r.end(), rows[i].begin(), rows[i].end());
    out.push_back(std::move(r));
  }
  return out;
}

std::string jsonValues(const std::vector<std::string>& values) {
  std::string s = "[";
  for (size_t k = 0; k < values.size(); ++k) {
    if (k) s += ',';
    s += jsonString(values[k]);
  }
  return s + "]";
}

std::string plural(size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

}  // namespace

std::string cellText(const std::string& value, size_t maxChars) {
  std::string out;
  size_t chars = 0;
  for (size_t i = 0; i < value.size();) {
    if (chars >= maxChars) {
      out += "...";
      break;
    }
    unsigned char c = static_cast<unsigned char>(value[i]);
    size_t len = utf8Len(value, i);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F || len == 0) {
      char buf[8];
      snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out.append(value, i, len);
      i += len;
      ++chars;
      continue;
    }
    ++i;
    ++chars;
  }
  return out;
}

std::string jsonString(const std::string& value) {
  std::string out = "\"";
  for (size_t i = 0; i < value.size();) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    size_t len = utf8Len(value, i);
    if (len == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (len > 1) {
      out.append(value, i, len);
      i += len;
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out + "\"";
}

void Printer::setColumns(const std::string& group, const std::vector<std::string>& names) {
  m_columns[group] = names;
}

std::vector<std::string> Printer::header(const std::string& group) const {
  std::vector<std::string> h{"#"};
  auto it = m_columns.find(group);
  if (it != m_columns.end()) h.insert(h.end(), it->second.begin(), it->second.end());
  return h;
}

// Rows as arrays, or as objects keyed by the column names when the group has them (values
// beyond the named columns keep their position as key).
std::string Printer::jsonRows(const std::string& group, const std::vector<Row>& rows) const {
  auto it = m_columns.find(group);
  std::string s = "[";
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i) s += ',';
    if (it == m_columns.end()) {
      s += jsonValues(rows[i]);
      continue;
    }
    s += '{';
    for (size_t k = 0; k < rows[i].size(); ++k) {
      if (k) s += ',';
      s += jsonString(k < it->second.size() ? it->second[k] : std::to_string(k + 1));
      s += ':';
      s += jsonString(rows[i][k]);
    }
    s += '}';
  }
  return s + "]";
}

void Printer::listening(int port) {
  if (m_format == Format::kJson) {
    m_out << "{\"type\":\"listening\",\"address\":\"127.0.0.1\",\"port\":" << port << "}\n";
  } else {
    m_out << "listening on 127.0.0.1 port " << port << "\n";
  }
  m_out.flush();
}

void Printer::registration(const Registration& reg) {
  if (m_format == Format::kJson) {
    m_out << "{\"type\":\"registration\",\"version\":" << jsonString(reg.version)
          << ",\"threaded\":" << (reg.threaded ? "true" : "false") << ",\"groups\":[";
    for (size_t i = 0; i < reg.groups.size(); ++i) {
      if (i) m_out << ',';
      m_out << "{\"name\":" << jsonString(reg.groups[i].name)
            << ",\"ver\":" << reg.groups[i].version << "}";
    }
    m_out << "]}\n";
  } else {
    m_out << "registration: version " << reg.version << (reg.threaded ? ", threaded" : "") << ", "
          << plural(reg.groups.size(), "group") << "\n";
    std::vector<std::vector<std::string>> rows;
    for (const auto& g : reg.groups) rows.push_back({g.name, std::to_string(g.version)});
    printTable(m_out, {"group", "ver"}, rows);
  }
  m_out.flush();
}

void Printer::answer(const std::string& subnode, const Answer& a) {
  if (m_format == Format::kJson) {
    m_out << "{\"type\":\"data\",\"id\":" << jsonString(a.id)
          << ",\"group\":" << jsonString(a.group) << ",\"subnode\":" << jsonString(subnode)
          << ",\"status\":" << jsonString(waitStatusName(a.status))
          << ",\"error\":" << (a.isError ? "true" : "false") << ",\"rc\":" << a.rc
          << ",\"rows\":" << jsonRows(a.group, a.rows) << "}\n";
  } else {
    m_out << "data " << (a.group.empty() ? "?" : a.group);
    if (!subnode.empty()) m_out << " subnode " << subnode;
    m_out << " id " << a.id << ": ";
    if (!a.ok()) {
      m_out << "no answer (" << waitStatusName(a.status) << ")\n";
    } else if (a.isError) {
      m_out << "error rc " << a.rc << "\n";
    } else {
      m_out << plural(a.rows.size(), "row") << "\n";
      if (!a.rows.empty()) printTable(m_out, header(a.group), numbered(a.rows));
    }
  }
  m_out.flush();
}

void Printer::task(const std::string& subnode, const std::string& command, const TaskResult& t) {
  if (m_format == Format::kJson) {
    m_out << "{\"type\":\"task\",\"id\":" << jsonString(t.id)
          << ",\"subnode\":" << jsonString(subnode) << ",\"command\":" << jsonString(command)
          << ",\"status\":" << jsonString(waitStatusName(t.status)) << ",\"rc\":" << t.rc
          << ",\"outputs\":[";
    for (size_t i = 0; i < t.outputs.size(); ++i) {
      if (i) m_out << ',';
      m_out << "{\"value\":" << jsonString(t.outputs[i].value);
      if (t.outputs[i].hasInst) m_out << ",\"inst\":" << jsonString(t.outputs[i].inst);
      m_out << "}";
    }
    m_out << "]}\n";
  } else {
    m_out << "task";
    if (!subnode.empty()) m_out << " subnode " << subnode;
    m_out << " id " << t.id << ": ";
    if (!t.ok()) {
      m_out << "no answer (" << waitStatusName(t.status) << ")\n";
    } else {
      m_out << "rc " << t.rc << ", " << plural(t.outputs.size(), "output line") << "\n";
      std::vector<std::vector<std::string>> rows;
      bool anyInst = false;
      for (const auto& o : t.outputs) anyInst = anyInst || o.hasInst;
      for (size_t i = 0; i < t.outputs.size(); ++i) {
        std::vector<std::string> r{std::to_string(i + 1), t.outputs[i].value};
        if (anyInst) r.push_back(t.outputs[i].hasInst ? t.outputs[i].inst : "");
        rows.push_back(std::move(r));
      }
      if (!rows.empty()) {
        std::vector<std::string> head{"#", "output"};
        if (anyInst) head.push_back("inst");
        printTable(m_out, head, rows);
      }
    }
  }
  m_out.flush();
}

void Printer::event(const Event& e) {
  if (m_format == Format::kJson) {
    m_out << "{\"type\":\"event\",\"group\":" << jsonString(e.group)
          << ",\"subnode\":" << (e.hasSubnode ? jsonString(e.subnode) : std::string("null"))
          << ",\"error\":" << (e.isError ? "true" : "false") << ",\"rc\":" << e.rc
          << ",\"rows\":" << jsonRows(e.group, e.rows) << "}\n";
  } else {
    m_out << "event " << e.group;
    if (e.hasSubnode) m_out << " subnode " << (e.subnode.empty() ? "\"\"" : e.subnode);
    if (e.isError) {
      m_out << ": error rc " << e.rc << "\n";
    } else {
      m_out << ":\n";
      printTable(m_out, header(e.group), numbered(e.rows));
    }
  }
  m_out.flush();
}

void Printer::clientRequest(const ClientRequest& r) {
  if (m_format == Format::kJson) {
    m_out << "{\"type\":\"request\",\"id\":" << jsonString(r.id)
          << ",\"group\":" << jsonString(r.group)
          << ",\"subnode\":" << (r.hasSubnode ? jsonString(r.subnode) : std::string("null"))
          << ",\"items\":[";
    for (size_t i = 0; i < r.items.size(); ++i) {
      const auto& it = r.items[i];
      if (i) m_out << ',';
      m_out << "{\"name\":" << jsonString(it.name);
      if (it.hasValue) m_out << ",\"value\":" << jsonString(it.value);
      if (it.hasOp) m_out << ",\"op\":" << jsonString(it.op);
      if (it.hasLogOp) m_out << ",\"logicalOp\":" << jsonString(it.logOp);
      m_out << "}";
    }
    m_out << "]}\n";
  } else {
    m_out << "request from the client: " << r.group;
    if (r.hasSubnode) m_out << " subnode " << r.subnode;
    m_out << " id " << r.id << ", " << plural(r.items.size(), "condition") << "\n";
    std::vector<std::vector<std::string>> rows;
    for (const auto& it : r.items) rows.push_back({it.name, it.value, it.op, it.logOp});
    if (!rows.empty()) printTable(m_out, {"name", "value", "op", "logicalOp"}, rows);
  }
  m_out.flush();
}

void Printer::unclaimed(const DataAnswer& a) {
  Answer shown;
  static_cast<DataAnswer&>(shown) = a;
  shown.status = WaitStatus::kOk;
  if (m_format == Format::kTable) m_out << "unexpected answer:\n";
  answer(std::string(), shown);
}

void Printer::note(const std::string& kind, const std::string& text) {
  if (m_format == Format::kJson) {
    m_out << "{\"type\":" << jsonString(kind) << ",\"text\":" << jsonString(text) << "}\n";
  } else {
    m_out << kind << ": " << text << "\n";
  }
  m_out.flush();
}

void Printer::echo(const std::string& text) {
  if (m_format == Format::kJson) {
    note("echo", text);
  } else {
    m_out << text << "\n";
    m_out.flush();
  }
}

const char kCommandHelp[] =
    "data GROUP SUBNODE [rid=ID] [attrs=A,B] [filter=TEXT] [NAME OP VALUE [and|or ...]]\n"
    "task SUBNODE [user=USER] COMMAND...\n"
    "start GROUP SUBNODE RID          stop GROUP SUBNODE RID [shutting-down]\n"
    "connection ID                    shutdown\n"
    "raw TEXT                         rawpart TEXT (no line feed)\n"
    "events [COUNT]                   registration\n"
    "columns GROUP NAME,NAME,...      timeout MS          sleep MS\n"
    "close                            wait-close          wait-exit\n"
    "echo TEXT                        (prints TEXT)\n"
    "append FILE TEXT                 (appends TEXT and a line feed to FILE)\n"
    "SUBNODE '-' sends none; \"quoted words\" may hold blanks and \\n \\t \\xHH escapes.\n";

void Printer::help() {
  if (m_format == Format::kJson) {
    note("help", kCommandHelp);
  } else {
    m_out << kCommandHelp;
    m_out.flush();
  }
}

void Printer::exitCode(int code) {
  if (m_format == Format::kJson) {
    m_out << "{\"type\":\"exit\",\"code\":" << code << "}\n";
  } else {
    m_out << "client exit code " << code << "\n";
  }
  m_out.flush();
}

// ---------------------------------------------------------------------------------------------
// Parsing

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes one backslash escape at s[pos] == '\\'; advances pos past it.
bool unescape(const std::string& s, size_t& pos, std::string& out, std::string* error) {
  if (pos + 1 >= s.size()) {
    if (error) *error = "a backslash ends the line";
    return false;
  }
  char c = s[pos + 1];
  pos += 2;
  switch (c) {
    case 'n':
      out += '\n';
      return true;
    case 'r':
      out += '\r';
      return true;
    case 't':
      out += '\t';
      return true;
    case '\\':
      out += '\\';
      return true;
    case '"':
      out += '"';
      return true;
    case 'x': {
      int hi = pos < s.size() ? hexValue(s[pos]) : -1;
      int lo = pos + 1 < s.size() ? hexValue(s[pos + 1]) : -1;
      if (hi < 0 || lo < 0) break;
      out += static_cast<char>(hi * 16 + lo);
      pos += 2;
      return true;
    }
    default:
      break;
  }
  if (error) *error = std::string("unknown escape \\") + c;
  return false;
}

// Reads the next token: blanks separate tokens; double quotes group (and allow the escapes
// \n \r \t \\ \" \xHH inside). Returns false at the end of the line or on an error (then
// *error is set).
bool nextToken(const std::string& s, size_t& pos, std::string& tok, std::string* error) {
  tok.clear();
  while (pos < s.size() && isBlank(s[pos])) ++pos;
  if (pos >= s.size()) return false;
  bool quoted = false;
  while (pos < s.size()) {
    char c = s[pos];
    if (!quoted && isBlank(c)) break;
    if (c == '"') {
      quoted = !quoted;
      ++pos;
    } else if (quoted && c == '\\') {
      if (!unescape(s, pos, tok, error)) return false;
    } else {
      tok += c;
      ++pos;
    }
  }
  if (quoted) {
    if (error) *error = "unterminated quote";
    return false;
  }
  return true;
}

// The rest of the line after the blanks at pos.
std::string restOf(const std::string& s, size_t pos) {
  while (pos < s.size() && isBlank(s[pos])) ++pos;
  size_t end = s.size();
  while (end > pos && isBlank(s[end - 1])) --end;
  return s.substr(pos, end - pos);
}

bool parseNumber(const std::string& tok, long& out) {
  if (tok.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = strtol(tok.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || v < 0 || v > INT_MAX) return false;
  out = v;
  return true;
}

bool startsWith(const std::string& s, const char* prefix) {
  return s.compare(0, strlen(prefix), prefix) == 0;
}

std::string subnodeArg(const std::string& tok) { return tok == "-" ? std::string() : tok; }

bool parseData(const std::string& line, size_t pos, Command& cmd, std::string* error) {
  std::string tok;
  std::string err;
  if (!nextToken(line, pos, cmd.group, &err) || !nextToken(line, pos, tok, &err)) {
    if (error) *error = err.empty() ? "usage: data GROUP SUBNODE [options] [conditions]" : err;
    return false;
  }
  cmd.subnode = subnodeArg(tok);
  std::vector<std::string> rest;
  while (nextToken(line, pos, tok, &err)) rest.push_back(tok);
  if (!err.empty()) {
    if (error) *error = err;
    return false;
  }
  size_t i = 0;
  // Options come first.
  for (; i < rest.size(); ++i) {
    const std::string& t = rest[i];
    if (startsWith(t, "rid=")) {
      cmd.requestStartedId = t.substr(4);
    } else if (startsWith(t, "attrs=")) {
      std::string list = t.substr(6);
      size_t start = 0;
      while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string name = list.substr(start, comma - start);
        if (!name.empty()) {
          RequestInfoItem item;
          item.name = name;
          item.op = "EQ";
          item.logOp = "AND";
          cmd.items.push_back(item);
        }
        start = comma + 1;
      }
    } else if (startsWith(t, "filter=")) {
      RequestInfoItem item;
      item.name = "_FILTER";
      item.value = t.substr(7);
      item.op = "EQ";
      item.logOp = "AND";
      cmd.items.push_back(item);
    } else {
      break;
    }
  }
  // Then conditions NAME OP VALUE, joined by and/or; the connective after a condition is its
  // logOp, so a trailing connective gives the last condition one too.
  bool expectCondition = true;
  for (; i < rest.size();) {
    const std::string& t = rest[i];
    bool connective = strcasecmp(t.c_str(), "and") == 0 || strcasecmp(t.c_str(), "or") == 0;
    if (connective) {
      if (expectCondition) {
        if (error) *error = "'" + t + "' without a condition before it";
        return false;
      }
      cmd.items.back().logOp = strcasecmp(t.c_str(), "and") == 0 ? "AND" : "OR";
      cmd.items.back().hasLogOp = true;
      expectCondition = true;
      ++i;
      continue;
    }
    if (!expectCondition) {
      if (error) *error = "expected 'and' or 'or' before '" + t + "'";
      return false;
    }
    if (i + 2 >= rest.size()) {
      if (error) *error = "a condition is NAME OP VALUE";
      return false;
    }
    RequestInfoItem item;
    item.name = rest[i];
    item.op = rest[i + 1];
    item.value = rest[i + 2];
    item.hasLogOp = false;
    cmd.items.push_back(item);
    expectCondition = false;
    i += 3;
  }
  return true;
}

}  // namespace

bool parseCommand(const std::string& line, Command& cmd, std::string* error) {
  cmd = Command();
  size_t pos = 0;
  std::string word;
  std::string err;
  if (!nextToken(line, pos, word, &err)) {
    if (!err.empty()) {
      if (error) *error = err;
      return false;
    }
    return true;  // blank
  }
  if (word[0] == '#') return true;
  auto is = [&](const char* w) { return strcasecmp(word.c_str(), w) == 0; };
  auto usage = [&](const char* text) {
    if (error) *error = err.empty() ? std::string("usage: ") + text : err;
    return false;
  };
  std::string tok;
  auto optionalNumber = [&](const char* text) {
    if (nextToken(line, pos, tok, &err)) {
      if (!parseNumber(tok, cmd.number)) return usage(text);
      if (nextToken(line, pos, tok, &err)) return usage(text);
    }
    return err.empty() ? true : usage(text);
  };
  if (is("data")) {
    cmd.kind = Command::kData;
    return parseData(line, pos, cmd, error);
  }
  if (is("task")) {
    cmd.kind = Command::kTask;
    if (!nextToken(line, pos, tok, &err)) return usage("task SUBNODE [user=USER] COMMAND");
    cmd.subnode = subnodeArg(tok);
    size_t save = pos;
    if (nextToken(line, pos, tok, &err) && startsWith(tok, "user=")) {
      cmd.user = tok.substr(5);
      cmd.hasUser = true;
    } else {
      pos = save;
      err.clear();
    }
    std::string text = restOf(line, pos);
    // A command written as one quoted token may hold escapes (\n for a line feed).
    size_t qpos = 0;
    std::string single;
    std::string qerr;
    if (!text.empty() && text[0] == '"' && nextToken(text, qpos, single, &qerr) &&
        restOf(text, qpos).empty()) {
      text = single;
    }
    if (text.empty()) return usage("task SUBNODE [user=USER] COMMAND");
    cmd.text = text;
    return true;
  }
  if (is("start") || is("stop")) {
    cmd.kind = is("start") ? Command::kStart : Command::kStop;
    const char* text = cmd.kind == Command::kStart ? "start GROUP SUBNODE RID"
                                                   : "stop GROUP SUBNODE RID [shutting-down]";
    std::string sub;
    if (!nextToken(line, pos, cmd.group, &err) || !nextToken(line, pos, sub, &err) ||
        !nextToken(line, pos, cmd.requestStartedId, &err)) {
      return usage(text);
    }
    cmd.subnode = subnodeArg(sub);
    if (nextToken(line, pos, tok, &err)) {
      if (cmd.kind != Command::kStop || strcasecmp(tok.c_str(), "shutting-down") != 0 ||
          nextToken(line, pos, tok, &err)) {
        return usage(text);
      }
      cmd.flag = true;
    }
    return err.empty() ? true : usage(text);
  }
  if (is("connection")) {
    cmd.kind = Command::kConnection;
    if (!nextToken(line, pos, tok, &err) || !parseNumber(tok, cmd.number) ||
        nextToken(line, pos, tok, &err)) {
      return usage("connection ID");
    }
    return true;
  }
  if (is("raw") || is("rawpart")) {
    cmd.kind = Command::kRaw;
    cmd.flag = is("rawpart");
    // One blank separates the word from the bytes; everything after it is sent.
    size_t start = pos < line.size() ? pos + 1 : pos;
    std::string bytes;
    for (size_t i = start; i < line.size();) {
      if (line[i] == '\\') {
        if (!unescape(line, i, bytes, error)) return false;
      } else {
        bytes += line[i++];
      }
    }
    if (!cmd.flag) bytes += '\n';
    cmd.text = bytes;
    return true;
  }
  if (is("echo")) {
    // The rest of the line as it is written (no quotes or escapes), possibly empty.
    cmd.kind = Command::kEcho;
    cmd.text = restOf(line, pos);
    return true;
  }
  if (is("append")) {
    // A line written to a file, as another program (an instance writing its alert log) would.
    cmd.kind = Command::kAppend;
    if (!nextToken(line, pos, cmd.file, &err) || !nextToken(line, pos, cmd.text, &err) ||
        nextToken(line, pos, tok, &err)) {
      return usage("append FILE TEXT");
    }
    return true;
  }
  if (is("columns")) {
    cmd.kind = Command::kColumns;
    std::string list;
    if (!nextToken(line, pos, cmd.group, &err) || !nextToken(line, pos, list, &err) ||
        nextToken(line, pos, tok, &err)) {
      return usage("columns GROUP NAME,NAME,...");
    }
    size_t start = 0;
    for (;;) {
      size_t comma = list.find(',', start);
      cmd.names.push_back(list.substr(start, comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    return true;
  }
  struct Simple {
    const char* word;
    Command::Kind kind;
    const char* usage;
    bool number;
    bool numberRequired;
  };
  static const Simple kSimple[] = {
      {"shutdown", Command::kShutdown, "shutdown", false, false},
      {"sleep", Command::kSleep, "sleep MS", true, true},
      {"events", Command::kEvents, "events [COUNT]", true, false},
      {"registration", Command::kRegistration, "registration", false, false},
      {"timeout", Command::kTimeout, "timeout MS", true, true},
      {"close", Command::kClose, "close", false, false},
      {"wait-close", Command::kWaitClose, "wait-close", false, false},
      {"wait-exit", Command::kWaitExit, "wait-exit", false, false},
      {"help", Command::kHelp, "help", false, false},
  };
  for (const auto& s : kSimple) {
    if (!is(s.word)) continue;
    cmd.kind = s.kind;
    if (s.number) {
      if (!optionalNumber(s.usage)) return false;
      if (s.numberRequired && cmd.number < 0) return usage(s.usage);
      return true;
    }
    if (nextToken(line, pos, tok, &err) || !err.empty()) return usage(s.usage);
    return true;
  }
  if (error) *error = "unknown command '" + word + "'";
  return false;
}

// ---------------------------------------------------------------------------------------------
// Running

ScriptRunner::ScriptRunner(AgentSim& sim, Printer& printer, std::ostream& err, int timeoutMs)
    : m_sim(sim), m_printer(printer), m_err(err), m_timeoutMs(timeoutMs) {}

bool ScriptRunner::fail(const std::string& text) {
  ++m_failures;
  m_err << "velagent: line " << m_lineNo << ": " << text << "\n";
  m_err.flush();
  return false;
}

bool ScriptRunner::ensureRegistered() {
  if (!m_sim.registered() && !m_sim.waitRegistration(m_timeoutMs)) {
    return fail(m_sim.lastError());
  }
  if (!m_registrationShown) {
    m_registrationShown = true;
    m_printer.registration(m_sim.registration());
  }
  return true;
}

void ScriptRunner::flushBefore(size_t seq) {
  std::vector<ClientRequest> requests = m_sim.clientRequests();
  std::vector<Event> events = m_sim.events();
  // Both lists are in arrival order; merge them up to seq.
  for (;;) {
    bool hasReq = m_requestsShown < requests.size() && requests[m_requestsShown].seq < seq;
    bool hasEv = m_eventsShown < events.size() && events[m_eventsShown].seq < seq;
    if (hasReq && (!hasEv || requests[m_requestsShown].seq < events[m_eventsShown].seq)) {
      m_printer.clientRequest(requests[m_requestsShown++]);
    } else if (hasEv) {
      m_printer.event(events[m_eventsShown++]);
    } else {
      break;
    }
  }
}

void ScriptRunner::flush() {
  flushBefore(static_cast<size_t>(-1));
  for (const auto& a : m_sim.takeUnclaimedAnswers()) m_printer.unclaimed(a);
  for (const auto& t : m_sim.takeUnclaimedTaskAnswers()) {
    TaskResult shown;
    static_cast<TaskAnswer&>(shown) = t;
    shown.status = WaitStatus::kOk;
    m_printer.task(std::string(), std::string(), shown);
  }
  std::vector<std::string> v = m_sim.violations();
  for (; m_violationsShown < v.size(); ++m_violationsShown) {
    m_err << "velagent: protocol violation: " << v[m_violationsShown] << "\n";
  }
  m_err.flush();
}

bool ScriptRunner::runLine(const std::string& line) {
  ++m_lineNo;
  Command cmd;
  std::string error;
  if (!parseCommand(line, cmd, &error)) return fail(error);
  bool ok = execute(cmd);
  flush();
  return ok;
}

int ScriptRunner::runStream(std::istream& in, const char* prompt, std::ostream* promptOut) {
  std::string line;
  int before = m_failures;
  for (;;) {
    if (prompt != nullptr && promptOut != nullptr) {
      flush();
      *promptOut << prompt;
      promptOut->flush();
    }
    if (!std::getline(in, line)) break;
    runLine(line);
  }
  flush();
  return m_failures - before;
}

bool ScriptRunner::execute(const Command& cmd) {
  switch (cmd.kind) {
    case Command::kNone:
      return true;
    case Command::kData: {
      if (!ensureRegistered()) return false;
      if (!m_sim.isRegistered(cmd.group)) {
        // Sent anyway: how the client treats it is worth seeing; it will likely go unanswered.
        m_err << "velagent: line " << m_lineNo << ": warning: " << cmd.group
              << " is not registered\n";
      }
      Answer a =
          m_sim.dataRequest(cmd.group, cmd.subnode, cmd.items, m_timeoutMs, cmd.requestStartedId);
      if (a.status == WaitStatus::kNotConnected) return fail(m_sim.lastError());
      if (a.group.empty()) a.group = cmd.group;
      if (a.ok()) flushBefore(a.seq);
      m_printer.answer(cmd.subnode, a);
      if (!a.ok()) return fail(std::string("no answer: ") + waitStatusName(a.status));
      return true;
    }
    case Command::kTask: {
      if (!ensureRegistered()) return false;
      TaskResult t = m_sim.task(cmd.subnode, cmd.text, m_timeoutMs, cmd.user, cmd.hasUser);
      if (t.status == WaitStatus::kNotConnected) return fail(m_sim.lastError());
      if (t.ok()) flushBefore(t.seq);
      m_printer.task(cmd.subnode, cmd.text, t);
      if (!t.ok()) return fail(std::string("no answer: ") + waitStatusName(t.status));
      return true;
    }
    case Command::kStart:
    case Command::kStop:
    case Command::kConnection:
    case Command::kShutdown: {
      if (!ensureRegistered()) return false;
      bool sent = false;
      if (cmd.kind == Command::kStart) {
        sent = m_sim.sendStart(cmd.group, cmd.subnode, cmd.requestStartedId);
      } else if (cmd.kind == Command::kStop) {
        sent = m_sim.sendStop(cmd.group, cmd.subnode, cmd.requestStartedId, cmd.flag);
      } else if (cmd.kind == Command::kConnection) {
        sent = m_sim.sendConnection(static_cast<int>(cmd.number));
      } else {
        sent = m_sim.sendShutdown();
      }
      return sent ? true : fail(m_sim.lastError());
    }
    case Command::kRaw: {
      if (!ensureRegistered()) return false;
      std::vector<std::string> dataIds;
      std::vector<std::string> taskIds;
      if (!m_sim.sendRaw(cmd.text, &dataIds, &taskIds)) return fail(m_sim.lastError());
      // Answers to well-formed requests among the bytes are awaited like any other.
      bool ok = true;
      for (const auto& id : dataIds) {
        Answer a = m_sim.waitAnswer(id, m_timeoutMs);
        if (a.ok()) flushBefore(a.seq);
        m_printer.answer(std::string(), a);
        if (!a.ok()) ok = fail("no answer to id " + id + ": " + waitStatusName(a.status));
      }
      for (const auto& id : taskIds) {
        TaskResult t = m_sim.waitTaskAnswer(id, m_timeoutMs);
        if (t.ok()) flushBefore(t.seq);
        m_printer.task(std::string(), std::string(), t);
        if (!t.ok()) ok = fail("no answer to id " + id + ": " + waitStatusName(t.status));
      }
      return ok;
    }
    case Command::kSleep:
      std::this_thread::sleep_for(std::chrono::milliseconds(cmd.number));
      return true;
    case Command::kEvents: {
      if (cmd.number > 0 &&
          !m_sim.waitEvents(m_eventsShown + static_cast<size_t>(cmd.number), m_timeoutMs)) {
        flush();
        return fail("fewer than " + std::to_string(cmd.number) + " new events");
      }
      return true;
    }
    case Command::kRegistration:
      if (m_registrationShown) m_printer.registration(m_sim.registration());
      return ensureRegistered();
    case Command::kTimeout:
      m_timeoutMs = static_cast<int>(cmd.number);
      return true;
    case Command::kClose:
      m_sim.closeClient();
      m_printer.note("closed", "the agent closed the connection");
      return true;
    case Command::kWaitClose:
      if (!m_sim.waitClientClosed(m_timeoutMs)) return fail("the client did not close the link");
      m_printer.note("closed", "the client closed the connection");
      return true;
    case Command::kColumns:
      m_printer.setColumns(cmd.group, cmd.names);
      return true;
    case Command::kHelp:
      m_printer.help();
      return true;
    case Command::kEcho:
      m_printer.echo(cmd.text);
      return true;
    case Command::kAppend: {
      std::ofstream out(cmd.file, std::ios::app | std::ios::binary);
      out << cmd.text << '\n';
      out.close();
      if (!out) return fail("cannot append to " + cmd.file);
      return true;
    }
    case Command::kWaitExit: {
      if (m_sim.clientPid() <= 0) return fail("no client was started");
      int code = m_sim.waitClientExit(m_timeoutMs);
      if (code < 0) return fail("the client did not exit");
      m_printer.exitCode(code);
      m_exitShown = true;
      return true;
    }
  }
  return fail("unhandled command");
}

}  // namespace velagent
