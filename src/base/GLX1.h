// Event-driven XML parser of the agent runtime (GLX1_*).
//
// The parser is fed a document in blocks of any size and calls the caller's handlers as it
// recognises elements and text; a block may end anywhere, even inside a name or a multi-byte
// character. One parser serves one document on one thread at a time.
#ifndef VEL_BASE_GLX1_H
#define VEL_BASE_GLX1_H

typedef struct GLX1_ParserRec* GLX1_Parser;

// start(userData, name, attributes): attributes is a null-terminated array of alternating
// attribute names and values, in document order, entities already replaced.
typedef void (*GLX1_StartElementHandler)(void* userData, const char* name, const char** attributes);
typedef void (*GLX1_EndElementHandler)(void* userData, const char* name);
// text(userData, characters, length): one piece of character data, not null-terminated; the
// text of one element may arrive in several pieces.
typedef void (*GLX1_CharacterDataHandler)(void* userData, const char* characters, int length);

// Creates a parser. encoding null: the document's own declaration (UTF-8 by default); else the
// name of the encoding to assume. Text reaches the handlers in UTF-8. Null when out of memory.
GLX1_Parser GLX1_ParserCreate(const char* encoding);

// Stores the state pointer that is passed to every handler.
void GLX1_SetUserData(GLX1_Parser parser, void* userData);
// Sets the element handlers; either may be null.
void GLX1_SetElementHandler(GLX1_Parser parser, GLX1_StartElementHandler start,
                            GLX1_EndElementHandler end);
// Sets the character-data handler; may be null.
void GLX1_SetCharacterDataHandler(GLX1_Parser parser, GLX1_CharacterDataHandler text);

// Feeds length bytes of the document. last non-zero marks the final block, after which an
// unfinished document is an error. Returns 1 on success, 0 when the document is malformed (or
// the parser is null, or a previous call already failed).
int GLX1_Parse(GLX1_Parser parser, const char* buffer, int length, int last);

// After a failed GLX1_Parse: the line (counted from 1) and column (from 0) where the error was
// found, and a short English description ("" for a null parser, "no error" before any error).
unsigned long GLX1_GetErrorLine(GLX1_Parser parser);
unsigned long GLX1_GetErrorColumn(GLX1_Parser parser);
const char* GLX1_GetErrorText(GLX1_Parser parser);

// Releases the parser (null is ignored).
void GLX1_ParserFree(GLX1_Parser parser);

#endif  // VEL_BASE_GLX1_H
