#include "AgentWire.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace velagent {

// ---------------------------------------------------------------------------------------------
// Outgoing

std::string escapeAttr(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out += c;
        break;
    }
  }
  return out;
}

namespace {

void appendAttr(std::string& out, const char* name, const std::string& value) {
  out += ' ';
  out += name;
  out += "=\"";
  out += escapeAttr(value);
  out += '"';
}

void appendRows(std::string& out, const std::vector<std::vector<std::string>>& rows) {
  for (const auto& row : rows) {
    out += "<in><al>";
    for (const auto& v : row) {
      out += "<a v=\"";
      out += escapeAttr(v);
      out += "\"/>";
    }
    out += "</al></in>";
  }
}

}  // namespace

std::string buildDataRequest(const std::string& id, const std::string& requestStartedId,
                             const std::string& subnode, const std::string& group,
                             const std::vector<RequestInfoItem>& items) {
  std::string out = "<dataRequest";
  appendAttr(out, "id", id);
  if (!requestStartedId.empty()) appendAttr(out, "requestStartedID", requestStartedId);
  if (!subnode.empty()) appendAttr(out, "subnode", subnode);
  out += "><attrGroup";
  appendAttr(out, "name", group);
  out += "/>";
  for (const auto& item : items) {
    out += "<requestInfo";
    appendAttr(out, "name", item.name);
    if (item.hasValue) appendAttr(out, "value", item.value);
    if (item.hasOp) appendAttr(out, "op", item.op);
    if (item.hasLogOp) appendAttr(out, "logOp", item.logOp);
    out += "/>";
  }
  out += "</dataRequest>\n";
  return out;
}

std::string buildTaskRequest(const std::string& id, const std::string& subnode,
                             const std::string& command, const std::string& user, bool hasUser) {
  std::string out = "<taskRequest";
  appendAttr(out, "id", id);
  if (!subnode.empty()) appendAttr(out, "subnode", subnode);
  out += "><task";
  appendAttr(out, "command", command);
  if (hasUser) appendAttr(out, "user", user);
  out += "/></taskRequest>\n";
  return out;
}

std::string buildStartRequest(const std::string& requestStartedId, const std::string& group,
                              const std::string& subnode) {
  std::string out = "<startRequestInfo";
  if (!requestStartedId.empty()) appendAttr(out, "requestStartedID", requestStartedId);
  if (!group.empty()) appendAttr(out, "ag", group);
  if (!subnode.empty()) appendAttr(out, "subnode", subnode);
  out += "/>\n";
  return out;
}

std::string buildStopRequest(const std::string& requestStartedId, const std::string& group,
                             const std::string& subnode, bool shuttingDown) {
  std::string out = "<stopRequestInfo";
  if (!requestStartedId.empty()) appendAttr(out, "requestStartedID", requestStartedId);
  if (!group.empty()) appendAttr(out, "ag", group);
  if (!subnode.empty()) appendAttr(out, "subnode", subnode);
  appendAttr(out, "shuttingDown", shuttingDown ? "TRUE" : "FALSE");
  out += "/>\n";
  return out;
}

std::string buildShutdown() { return "<shutdown/>\n"; }

std::string buildConnection(int id) {
  char buf[64];
  snprintf(buf, sizeof buf, "<connection id=\"%d\"/>\n", id);
  return buf;
}

std::string buildDataResponse(const std::string& id, const std::string& group,
                              const std::vector<std::vector<std::string>>& rows, int rc) {
  std::string out = "<dataResponse";
  appendAttr(out, "id", id);
  out += "><attrGroup";
  appendAttr(out, "name", group);
  out += ">";
  appendRows(out, rows);
  if (rc != 0) {
    char buf[48];
    snprintf(buf, sizeof buf, "<error rc=\"%d\"/>", rc);
    out += buf;
  }
  out += "</attrGroup></dataResponse>\n";
  return out;
}

// ---------------------------------------------------------------------------------------------
// Strict reader

const std::string* XmlElement::attr(std::string_view attrName) const {
  for (const auto& a : attrs) {
    if (a.first == attrName) return &a.second;
  }
  return nullptr;
}

namespace {

// Deep enough for every message of the link (four levels); bounds the recursion on hostile input.
constexpr int kMaxDepth = 32;

bool isNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
}
bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

void appendUtf8(std::string& out, unsigned long cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

class LineParser {
 public:
  explicit LineParser(std::string_view s) : m_s(s) {}

  XmlParseResult run() {
    XmlParseResult r;
    if (m_s.empty()) {
      r.error = "empty message";
      return r;
    }
    if (m_s.size() >= 2 && m_s[0] == '<' && m_s[1] == '?') {
      r.error = "XML declaration or processing instruction";
      return r;
    }
    if (!element(r.root, 0)) {
      r.error = m_error;
      return r;
    }
    if (m_pos != m_s.size()) {
      r.error = at("data after the root element");
      return r;
    }
    r.ok = true;
    r.endTagMismatch = m_mismatch;
    return r;
  }

 private:
  std::string at(const char* what) const {
    return std::string(what) + " at offset " + std::to_string(m_pos);
  }
  bool fail(const char* what) {
    if (m_error.empty()) m_error = at(what);
    return false;
  }
  bool end() const { return m_pos >= m_s.size(); }
  char cur() const { return m_s[m_pos]; }

  bool name(std::string& out) {
    if (end() || !isNameStart(cur())) return fail("expected a name");
    size_t start = m_pos;
    while (!end() && isNameChar(cur())) ++m_pos;
    out.assign(m_s.substr(start, m_pos - start));
    return true;
  }

  bool entity(std::string& out) {
    // m_pos is on '&'
    size_t semi = m_s.find(';', m_pos + 1);
    if (semi == std::string_view::npos || semi - m_pos > 12) return fail("unescaped '&'");
    std::string_view ent = m_s.substr(m_pos + 1, semi - m_pos - 1);
    if (ent == "amp") {
      out += '&';
    } else if (ent == "lt") {
      out += '<';
    } else if (ent == "gt") {
      out += '>';
    } else if (ent == "quot") {
      out += '"';
    } else if (ent == "apos") {
      out += '\'';
    } else if (ent.size() >= 2 && ent[0] == '#') {
      bool hex = ent[1] == 'x';
      std::string digits(ent.substr(hex ? 2 : 1));
      if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF"
                                                         : "0123456789") != std::string::npos) {
        return fail("malformed character reference");
      }
      unsigned long cp = strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
      if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return fail("character reference out of range");
      }
      appendUtf8(out, cp);
    } else {
      return fail("unknown entity");
    }
    m_pos = semi + 1;
    return true;
  }

  bool attrValue(std::string& out) {
    if (end() || cur() != '"') return fail("attribute value does not start with '\"'");
    ++m_pos;
    while (!end()) {
      char c = cur();
      if (c == '"') {
        ++m_pos;
        return true;
      }
      if (c == '&') {
        if (!entity(out)) return false;
        continue;
      }
      // A correct writer escapes every one of these inside a value.
      if (c == '<') return fail("unescaped '<' in attribute value");
      if (c == '>') return fail("unescaped '>' in attribute value");
      if (c == '\'') return fail("unescaped ''' in attribute value");
      out += c;
      ++m_pos;
    }
    return fail("unterminated attribute value");
  }

  bool element(XmlElement& el, int depth) {
    if (depth > kMaxDepth) return fail("elements nested too deeply");
    if (end() || cur() != '<') return fail("expected '<'");
    ++m_pos;
    if (!end() && (cur() == '!' || cur() == '?')) return fail("comment or declaration");
    if (!name(el.name)) return false;
    for (;;) {
      bool spaced = false;
      while (!end() && isSpace(cur())) {
        ++m_pos;
        spaced = true;
      }
      if (end()) return fail("unterminated start tag");
      if (cur() == '/') {
        ++m_pos;
        if (end() || cur() != '>') return fail("expected '>' after '/'");
        ++m_pos;
        return true;
      }
      if (cur() == '>') {
        ++m_pos;
        break;
      }
      if (!spaced) return fail("attributes must be separated by blanks");
      std::string an;
      if (!name(an)) return false;
      if (end() || cur() != '=') return fail("expected '=' after the attribute name");
      ++m_pos;
      std::string av;
      if (!attrValue(av)) return false;
      if (el.attr(an) != nullptr) return fail("repeated attribute");
      el.attrs.emplace_back(std::move(an), std::move(av));
    }
    // Content: child elements only, up to the end tag.
    for (;;) {
      if (end()) return fail(("missing end tag of <" + el.name + ">").c_str());
      if (cur() != '<') return fail("text between elements");
      if (m_pos + 1 < m_s.size() && m_s[m_pos + 1] == '/') {
        m_pos += 2;
        std::string endName;
        if (!name(endName)) return false;
        while (!end() && isSpace(cur())) ++m_pos;
        if (end() || cur() != '>') return fail("malformed end tag");
        ++m_pos;
        if (endName != el.name && m_mismatch.empty()) {
          m_mismatch = "</" + endName + "> closes <" + el.name + ">";
        }
        return true;
      }
      el.children.emplace_back();
      if (!element(el.children.back(), depth + 1)) return false;
    }
  }

  std::string_view m_s;
  size_t m_pos = 0;
  std::string m_error;
  std::string m_mismatch;
};

// Collects the problems of one message while it is interpreted.
class Checker {
 public:
  explicit Checker(std::vector<std::string>& problems) : m_problems(problems) {}

  void problem(const std::string& text) { m_problems.push_back(text); }

  // Reports attributes outside the allowed list.
  void onlyAttrs(const XmlElement& el, std::initializer_list<const char*> allowed) {
    for (const auto& a : el.attrs) {
      bool ok = false;
      for (const char* n : allowed) ok = ok || a.first == n;
      if (!ok) problem("unexpected attribute " + a.first + " on <" + el.name + ">");
    }
  }

  std::string required(const XmlElement& el, const char* attrName) {
    const std::string* v = el.attr(attrName);
    if (v == nullptr) {
      problem(std::string("<") + el.name + "> without " + attrName);
      return std::string();
    }
    return *v;
  }

  int integer(const XmlElement& el, const char* attrName) {
    const std::string* v = el.attr(attrName);
    if (v == nullptr) {
      problem(std::string("<") + el.name + "> without " + attrName);
      return 0;
    }
    errno = 0;
    char* endp = nullptr;
    long n = strtol(v->c_str(), &endp, 10);
    if (v->empty() || *endp != '\0' || errno != 0 || n < INT_MIN || n > INT_MAX) {
      problem(std::string("<") + el.name + "> " + attrName + "=\"" + *v + "\" is not a number");
      return 0;
    }
    return static_cast<int>(n);
  }

  void noChildren(const XmlElement& el) {
    if (!el.children.empty()) problem("<" + el.name + "> holds elements");
  }

  // Reads <in><al><a v=".."/>...</al></in> into a row.
  bool row(const XmlElement& in, Row& out) {
    onlyAttrs(in, {});
    if (in.children.size() != 1 || in.children[0].name != "al") {
      problem("<in> must hold exactly one <al>");
      return false;
    }
    const XmlElement& al = in.children[0];
    onlyAttrs(al, {});
    for (const auto& a : al.children) {
      if (a.name != "a") {
        problem("<al> holds <" + a.name + ">");
        continue;
      }
      onlyAttrs(a, {"v"});
      noChildren(a);
      out.push_back(required(a, "v"));
    }
    return true;
  }

  // Reads the one <attrGroup name=".."> of a response or event: rows or one error.
  void groupBody(const XmlElement& parent, std::string& group, std::vector<Row>& rows,
                 bool& isError, int& rc) {
    if (parent.children.size() != 1 || parent.children[0].name != "attrGroup") {
      problem("<" + parent.name + "> must hold exactly one <attrGroup>");
      if (parent.children.empty()) return;
    }
    const XmlElement& ag = parent.children[0];
    onlyAttrs(ag, {"name"});
    group = required(ag, "name");
    for (const auto& child : ag.children) {
      if (child.name == "in") {
        Row r;
        if (row(child, r)) rows.push_back(std::move(r));
      } else if (child.name == "error") {
        onlyAttrs(child, {"rc"});
        noChildren(child);
        if (isError) problem("more than one <error>");
        isError = true;
        rc = integer(child, "rc");
      } else {
        problem("<attrGroup> holds <" + child.name + ">");
      }
    }
    if (isError && !rows.empty()) problem("rows and <error> in one message");
  }

 private:
  std::vector<std::string>& m_problems;
};

void readRegistration(const XmlElement& root, Incoming& m, Checker& ck) {
  m.kind = MessageKind::kRegistration;
  Registration& reg = m.registration;
  ck.onlyAttrs(root, {"ver", "threaded"});
  reg.version = ck.required(root, "ver");
  if (!reg.version.empty() && reg.version != "6") {
    ck.problem("registration version \"" + reg.version + "\" is not 6");
  }
  if (const std::string* t = root.attr("threaded")) {
    reg.threaded = true;
    if (*t != "1") ck.problem("threaded=\"" + *t + "\" is not 1");
  }
  if (root.children.size() != 1 || root.children[0].name != "attrGroupList") {
    ck.problem("<cpciRegister> must hold exactly one <attrGroupList>");
    if (root.children.empty()) return;
  }
  const XmlElement& list = root.children[0];
  ck.onlyAttrs(list, {});
  for (const auto& g : list.children) {
    if (g.name != "attrGroup") {
      ck.problem("<attrGroupList> holds <" + g.name + ">");
      continue;
    }
    ck.onlyAttrs(g, {"name", "ver"});
    ck.noChildren(g);
    RegisteredGroup rg;
    rg.name = ck.required(g, "name");
    rg.version = ck.integer(g, "ver");
    for (const auto& seen : reg.groups) {
      if (seen.name == rg.name) ck.problem("group " + rg.name + " registered twice");
    }
    reg.groups.push_back(std::move(rg));
  }
}

void readDataAnswer(const XmlElement& root, Incoming& m, Checker& ck) {
  m.kind = MessageKind::kDataAnswer;
  ck.onlyAttrs(root, {"id"});
  m.data.id = ck.required(root, "id");
  ck.groupBody(root, m.data.group, m.data.rows, m.data.isError, m.data.rc);
}

void readEvent(const XmlElement& root, Incoming& m, Checker& ck) {
  m.kind = MessageKind::kEvent;
  ck.onlyAttrs(root, {"subnode"});
  if (const std::string* s = root.attr("subnode")) {
    m.event.hasSubnode = true;
    m.event.subnode = *s;
  }
  ck.groupBody(root, m.event.group, m.event.rows, m.event.isError, m.event.rc);
  if (!m.event.isError && m.event.rows.size() != 1) {
    ck.problem("an event carries " + std::to_string(m.event.rows.size()) + " rows instead of one");
  }
}

void readTaskAnswer(const XmlElement& root, Incoming& m, Checker& ck) {
  m.kind = MessageKind::kTaskAnswer;
  ck.onlyAttrs(root, {"id", "rc"});
  m.task.id = ck.required(root, "id");
  m.task.rc = ck.integer(root, "rc");
  for (const auto& o : root.children) {
    if (o.name != "output") {
      ck.problem("<taskResponse> holds <" + o.name + ">");
      continue;
    }
    ck.onlyAttrs(o, {"value", "inst"});
    ck.noChildren(o);
    TaskOutput out;
    out.value = ck.required(o, "value");
    if (const std::string* inst = o.attr("inst")) {
      out.hasInst = true;
      out.inst = *inst;
    }
    m.task.outputs.push_back(std::move(out));
  }
}

void readClientRequest(const XmlElement& root, Incoming& m, Checker& ck) {
  m.kind = MessageKind::kClientRequest;
  ck.onlyAttrs(root, {"id", "subnode"});
  m.request.id = ck.required(root, "id");
  if (const std::string* s = root.attr("subnode")) {
    m.request.hasSubnode = true;
    m.request.subnode = *s;
  }
  if (root.children.empty() || root.children[0].name != "attrGroup") {
    ck.problem("<dataRequest> does not begin with <attrGroup>");
  }
  for (const auto& c : root.children) {
    if (c.name == "attrGroup") {
      ck.onlyAttrs(c, {"name"});
      ck.noChildren(c);
      m.request.group = ck.required(c, "name");
    } else if (c.name == "requestInfo") {
      ck.onlyAttrs(c, {"name", "value", "op", "logicalOp"});
      ck.noChildren(c);
      RequestInfoItem item;
      item.name = ck.required(c, "name");
      const std::string* v = c.attr("value");
      const std::string* op = c.attr("op");
      const std::string* lop = c.attr("logicalOp");
      item.hasValue = v != nullptr;
      item.hasOp = op != nullptr;
      item.hasLogOp = lop != nullptr;
      if (v) item.value = *v;
      if (op) item.op = *op;
      if (lop) item.logOp = *lop;
      m.request.items.push_back(std::move(item));
    } else {
      ck.problem("<dataRequest> holds <" + c.name + ">");
    }
  }
}

}  // namespace

XmlParseResult parseXmlLine(std::string_view line) { return LineParser(line).run(); }

Incoming interpretMessage(std::string_view line) {
  Incoming m;
  Checker ck(m.problems);
  XmlParseResult pr = parseXmlLine(line);
  if (!pr.ok) {
    ck.problem("not well-formed: " + pr.error);
    return m;
  }
  const XmlElement& root = pr.root;
  if (root.name == "cpciRegister") {
    readRegistration(root, m, ck);
    m.registration.raw.assign(line);
  } else if (root.name == "dataResponse") {
    readDataAnswer(root, m, ck);
    m.data.raw.assign(line);
  } else if (root.name == "pureEvent") {
    readEvent(root, m, ck);
    m.event.raw.assign(line);
  } else if (root.name == "taskResponse") {
    readTaskAnswer(root, m, ck);
    m.task.raw.assign(line);
  } else if (root.name == "dataRequest") {
    readClientRequest(root, m, ck);
    m.request.raw.assign(line);
  } else {
    ck.problem("unknown message <" + root.name + ">");
  }
  if (!pr.endTagMismatch.empty()) {
    // The collector's own data request is closed by the response's end tag; that is its known
    // wire form and not reported.
    bool known =
        root.name == "dataRequest" && pr.endTagMismatch == "</dataResponse> closes <dataRequest>";
    if (!known) ck.problem("mismatched end tag: " + pr.endTagMismatch);
  }
  return m;
}

const char* kindName(MessageKind kind) {
  switch (kind) {
    case MessageKind::kRegistration:
      return "registration";
    case MessageKind::kDataAnswer:
      return "data";
    case MessageKind::kEvent:
      return "event";
    case MessageKind::kTaskAnswer:
      return "task";
    case MessageKind::kClientRequest:
      return "request";
    case MessageKind::kInvalid:
      break;
  }
  return "invalid";
}

}  // namespace velagent
