#include "Parser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

HashMap EMPTY_ATTRS;

XMLHandler::~XMLHandler() = default;
void XMLHandler::startElement(const char*, HashMap*) {}
void XMLHandler::endElement(const char*) {}
void XMLHandler::characters(const char*) {}
void XMLHandler::fatalError(const char*) {}

void XMLHandler::fatalError(const char* format, const char* a) {
  if (!format) return;
  if (!a) a = "";
  size_t size = strlen(format) + strlen(a) + 1;
  char* text = static_cast<char*>(malloc(size));
  if (!text) {
    fatalError(format);
    return;
  }
  snprintf(text, size, format, a);
  fatalError(static_cast<const char*>(text));
  free(text);
}

void XMLHandler::fatalError(const char* format, const char* a, const char* b) {
  if (!format) return;
  if (!a) a = "";
  if (!b) b = "";
  size_t size = strlen(format) + strlen(a) + strlen(b) + 1;
  char* text = static_cast<char*>(malloc(size));
  if (!text) {
    fatalError(format);
    return;
  }
  snprintf(text, size, format, a, b);
  fatalError(static_cast<const char*>(text));
  free(text);
}

namespace {

// Decodes one entity name into a byte; false when the name is not recognised.
bool decodeEntity(XMLHandler* handler, const char* name, char* out) {
  if (*name == '\0') {
    if (handler) handler->fatalError("Entity name cannot be empty");
    return false;
  }
  if (strcmp(name, "lt") == 0) {
    *out = '<';
  } else if (strcmp(name, "gt") == 0) {
    *out = '>';
  } else if (strcmp(name, "amp") == 0) {
    *out = '&';
  } else if (strcmp(name, "quot") == 0) {
    *out = '"';
  } else if (strcmp(name, "apos") == 0) {
    *out = '\'';
  } else if (strlen(name) < 2 || name[0] != '#') {
    if (handler) handler->fatalError("Unrecognized entity: %s", name);
    return false;
  } else if (name[1] == 'x') {
    unsigned int value = 0;
    if (sscanf(name + 2, "%x", &value) != 1) value = 0;
    *out = static_cast<char>(value & 0xFF);
  } else {
    *out = static_cast<char>(atoi(name + 1) & 0xFF);
  }
  return true;
}

}  // namespace

// One pass with a read and a write position: each decoded byte replaces its '&' and the rest of
// the text follows it, exactly as if the tail were moved up after every entity, but in linear
// time. Once no ';' is left, no later '&' can start an entity, so the rest is kept as it is.
bool replaceEntities(XMLHandler* handler, char* text) {
  if (!text) return true;
  char* amp = strchr(text, '&');
  if (!amp) return true;
  char* out = amp;
  char* in = amp;
  while (*in) {
    if (*in != '&') {
      *out++ = *in++;
      continue;
    }
    char* semi = strchr(in + 1, ';');
    if (!semi) {
      // No terminator anywhere after: every remaining '&' stays; copy the tail.
      size_t rest = strlen(in);
      memmove(out, in, rest + 1);
      return true;
    }
    *semi = '\0';
    char decoded = 0;
    bool ok = decodeEntity(handler, in + 1, &decoded);
    *semi = ';';
    if (!ok) {
      // Leave the text well formed (terminated) after a failure.
      size_t rest = strlen(in);
      memmove(out, in, rest + 1);
      return false;
    }
    *out++ = decoded;
    in = semi + 1;
  }
  *out = '\0';
  return true;
}

Parser::Parser(XMLHandler* handler) : m_handler(handler), m_attributes(32) {}

Parser::~Parser() = default;

bool Parser::fail(const char* message) {
  if (m_handler) m_handler->fatalError(message);
  return false;
}

bool Parser::fail(const char* format, const char* a) {
  if (m_handler) m_handler->fatalError(format, a);
  return false;
}

bool Parser::fail(const char* format, const char* a, const char* b) {
  if (m_handler) m_handler->fatalError(format, a, b);
  return false;
}

bool Parser::parseAttributes(char* name, char** pos, char* end) {
  char* p = *pos;
  for (;;) {
    while (p < end && *p == ' ') ++p;
    if (p >= end) return fail("Cannot find end of tag or start of attribute");
    if (*p == '>') {
      if (m_handler) m_handler->startElement(name, &m_attributes);
      m_open.addGrowing(name);
      *pos = p + 1;
      return true;
    }
    if (*p == '/') {
      if (p + 1 >= end || p[1] != '>') return fail("Incorrect end of tag found");
      if (m_handler) {
        m_handler->startElement(name, &m_attributes);
        m_handler->endElement(name);
      }
      *pos = p + 2;
      return true;
    }
    char* eq = strchr(p, '=');
    if (!eq) return fail("Cannot find start of attribute value");
    if (eq[1] != '"') return fail("Attribute value does not start with quote");
    char* value = eq + 2;
    char* close = strchr(value, '"');
    if (!close) return fail("Cannot find end of attribute value");
    *eq = '\0';
    *close = '\0';
    if (!replaceEntities(m_handler, value)) return false;
    m_attributes.put(p, value);
    p = close + 1;
  }
}

bool Parser::parse(char* text) {
  if (!text) return true;
  char* end = text + strlen(text);
  char* p = text;
  bool ok = true;
  while (ok && p < end) {
    char* lt = strchr(p, '<');
    if (!lt) {
      if (m_open.getCount() > 0) {
        ok = fail("Missing end tag for element: %s", static_cast<const char*>(m_open.peek()));
      }
      break;
    }
    if (lt > p && m_handler) {
      *lt = '\0';
      if (!replaceEntities(m_handler, p)) {
        ok = false;
        break;
      }
      m_handler->characters(p);
    }
    char* name = lt + 1;
    if (strncmp(name, "!--", 3) == 0) {
      char* close = strstr(name + 3, "-->");
      if (!close) {
        ok = fail("Unfinished comment found");
        break;
      }
      p = close + 3;
      continue;
    }
    if (*name == '?') {
      char* close = strstr(name + 1, "?>");
      if (!close) {
        ok = fail("Unfinished declaration found");
        break;
      }
      p = close + 2;
      continue;
    }
    char* q = name + strcspn(name, " />");
    if (q >= end) {
      ok = fail("Cannot find end of tag");
      break;
    }
    if (q == name) q = name + strcspn(name, " >");
    if (q >= end) {
      ok = fail("Cannot find end of tag");
      break;
    }
    if (*q == '/') {
      if (q + 1 >= end || q[1] != '>') {
        ok = fail("Incorrect end of tag");
        break;
      }
      *q = '\0';
      p = q + 2;
      if (*name == '/') {
        ok = fail("Self terminated tag for end tag: %s", name);
        break;
      }
      if (m_handler) {
        m_handler->startElement(name, &EMPTY_ATTRS);
        m_handler->endElement(name);
      }
      continue;
    }
    if (*q == '>') {
      *q = '\0';
      p = q + 1;
      if (*name == '/') {
        if (m_open.getCount() == 0) {
          ok = fail("Unbalanced end tag found:");
          break;
        }
        const char* open = static_cast<const char*>(m_open.pop());
        if (strcmp(name + 1, open) != 0) {
          ok = fail("Mismatched end tag found: %s != %s", name + 1, open);
          break;
        }
        if (m_handler) m_handler->endElement(name + 1);
      } else {
        if (m_handler) m_handler->startElement(name, &EMPTY_ATTRS);
        m_open.addGrowing(name);
      }
      continue;
    }
    // A space: a tag with attributes.
    *q = '\0';
    if (*name == '/') {
      ok = fail("Element ending tags cannot have attributes");
      break;
    }
    p = q + 1;
    ok = parseAttributes(name, &p, end);
    m_attributes.clear();
  }
  m_open.clear();
  return ok;
}
