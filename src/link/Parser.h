// The link's in-place parser for one line of agent XML, and the handler interface it calls.
//
// The accepted language is the link's own subset: elements, double-quoted attributes separated by
// spaces, comments, skipped declarations, the five named entities and numeric references.
#ifndef VEL_LINK_PARSER_H
#define VEL_LINK_PARSER_H

#include "HashMap.h"
#include "List.h"

// Receives the parse events. Names, values and text point into the parsed text and are valid
// only during the callback; the attribute map is cleared after each tag.
class XMLHandler {
 public:
  virtual ~XMLHandler();
  virtual void startElement(const char* name, HashMap* attributes);
  virtual void endElement(const char* name);
  virtual void characters(const char* text);
  virtual void fatalError(const char* message);

  // Format the message (sprintf-style, %s arguments) and pass it to fatalError(message).
  void fatalError(const char* format, const char* a);
  void fatalError(const char* format, const char* a, const char* b);
};

// The shared, always empty attribute map of tags without attributes.
extern HashMap EMPTY_ATTRS;

// Decodes character references of text in place. False after reporting an error to handler
// (when not null).
bool replaceEntities(XMLHandler* handler, char* text);

// One parser per message; used by one thread at a time.
class Parser {
 public:
  explicit Parser(XMLHandler* handler);
  ~Parser();
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  // Parses the whole NUL-terminated text in place, calling the handler. True when the text was
  // consumed without error; after an error the handler got one fatalError. The open-element list
  // is empty afterwards either way.
  bool parse(char* text);

 private:
  bool fail(const char* message);
  bool fail(const char* format, const char* a);
  bool fail(const char* format, const char* a, const char* b);
  // Parses the attributes of a tag whose name ends at *pos; moves *pos past the tag.
  bool parseAttributes(char* name, char** pos, char* end);

  XMLHandler* m_handler;
  List m_open;           // names of start tags not yet closed, innermost last
  HashMap m_attributes;  // reused for every tag
};

#endif  // VEL_LINK_PARSER_H
