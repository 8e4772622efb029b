#include "VelXMLFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "MUT1.h"

VEL_TRACE_UNIT("catalog");

namespace {

constexpr size_t kBlockSize = 4096;  // bytes handed to the parser at a time

// Closes the file and frees the parser on every way out.
struct ParseResources {
  FILE* file = nullptr;
  GLX1_Parser parser = nullptr;
  ~ParseResources() {
    if (parser != nullptr) GLX1_ParserFree(parser);
    if (file != nullptr) (void)fclose(file);
  }
};

}  // namespace

bool velParseXMLFile(const char* fileName, void* userData, GLX1_StartElementHandler start,
                     GLX1_EndElementHandler end, GLX1_CharacterDataHandler characters) {
  VEL_FLOW_ENTRY("velParseXMLFile");
  if (fileName == nullptr || *fileName == 0) {
    VEL_ERROR("Can not parse an XML file without a file name");
    VEL_RETURN(false);
  }
  ParseResources r;
  r.file = fopen(fileName, "r");
  if (r.file == nullptr) {
    int err = errno;
    VEL_ERROR("Can not open file %s", fileName);
    VEL_ERROR("Open of %s failed: %d %s", fileName, err, strerror(err));
    VEL_RETURN(false);
  }
  r.parser = GLX1_ParserCreate(nullptr);
  if (r.parser == nullptr) {
    VEL_ERROR("Can not create the XML parser for file %s", fileName);
    VEL_RETURN(false);
  }
  GLX1_SetUserData(r.parser, userData);
  GLX1_SetElementHandler(r.parser, start, end);
  if (characters != nullptr) GLX1_SetCharacterDataHandler(r.parser, characters);

  char block[kBlockSize];
  size_t n;
  while ((n = fread(block, 1, sizeof block, r.file)) > 0) {
    if (GLX1_Parse(r.parser, block, static_cast<int>(n), 0) == 0) {
      VEL_ERROR("XML parsing error at file %s", fileName);
      VEL_ERROR("XML error in %s at line %lu column %lu: %s", fileName, GLX1_GetErrorLine(r.parser),
                GLX1_GetErrorColumn(r.parser), GLX1_GetErrorText(r.parser));
      VEL_RETURN(false);
    }
  }
  if (ferror(r.file) != 0) {
    int err = errno;
    VEL_ERROR("Can not read file %s: %d %s", fileName, err, strerror(err));
    VEL_RETURN(false);
  }
  VEL_RETURN(true);
}

void velTraceIncompleteXML(const char* fileName, bool sawDocument, unsigned long openDepth) {
  if (!sawDocument)
    VEL_ERROR("XML file %s is empty or holds no element", fileName);
  else if (openDepth != 0)
    VEL_ERROR("XML file %s ends inside an open element (depth %lu)", fileName, openDepth);
}

int velAttrToInt(const char* value) {
  if (value == nullptr) return 0;
  long v = strtol(value, nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}
