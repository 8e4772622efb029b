#include "GLX1.h"

#include <expat.h>

#include <new>
#include <type_traits>

// The handlers are handed to the parser library as they are, so its character type must be ours.
static_assert(std::is_same_v<XML_Char, char>, "the XML library must be built for char text");

struct GLX1_ParserRec {
  XML_Parser xml = nullptr;
};

GLX1_Parser GLX1_ParserCreate(const char* encoding) {
  GLX1_ParserRec* p = new (std::nothrow) GLX1_ParserRec();
  if (p == nullptr) return nullptr;
  p->xml = XML_ParserCreate(encoding);
  if (p->xml == nullptr) {
    delete p;
    return nullptr;
  }
  return p;
}

void GLX1_SetUserData(GLX1_Parser parser, void* userData) {
  if (parser != nullptr) XML_SetUserData(parser->xml, userData);
}

void GLX1_SetElementHandler(GLX1_Parser parser, GLX1_StartElementHandler start,
                            GLX1_EndElementHandler end) {
  if (parser != nullptr) XML_SetElementHandler(parser->xml, start, end);
}

void GLX1_SetCharacterDataHandler(GLX1_Parser parser, GLX1_CharacterDataHandler text) {
  if (parser != nullptr) XML_SetCharacterDataHandler(parser->xml, text);
}

int GLX1_Parse(GLX1_Parser parser, const char* buffer, int length, int last) {
  if (parser == nullptr || length < 0 || (buffer == nullptr && length != 0)) return 0;
  return XML_Parse(parser->xml, buffer, length, last != 0 ? XML_TRUE : XML_FALSE) ==
                 XML_STATUS_ERROR
             ? 0
             : 1;
}

unsigned long GLX1_GetErrorLine(GLX1_Parser parser) {
  return parser == nullptr ? 0 : static_cast<unsigned long>(XML_GetCurrentLineNumber(parser->xml));
}

unsigned long GLX1_GetErrorColumn(GLX1_Parser parser) {
  return parser == nullptr ? 0
                           : static_cast<unsigned long>(XML_GetCurrentColumnNumber(parser->xml));
}

const char* GLX1_GetErrorText(GLX1_Parser parser) {
  if (parser == nullptr) return "";
  const XML_LChar* text = XML_ErrorString(XML_GetErrorCode(parser->xml));
  return text != nullptr ? text : "no error";
}

void GLX1_ParserFree(GLX1_Parser parser) {
  if (parser == nullptr) return;
  XML_ParserFree(parser->xml);
  delete parser;
}
