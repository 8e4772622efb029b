// Feeding an XML file to the event parser, shared by the catalog and reference-file readers.
#ifndef VEL_CATALOG_VELXMLFILE_H
#define VEL_CATALOG_VELXMLFILE_H

#include "GLX1.h"

// Opens fileName, creates a parser with userData and the given handlers (characters may be
// null), and feeds the file to it in 4096-byte blocks, never flagging the last one. Returns false
// (with a trace naming the file and the reason) for a null or empty name, a file that cannot be
// opened or read, a parser that cannot be created, or malformed XML; true otherwise.
bool velParseXMLFile(const char* fileName, void* userData, GLX1_StartElementHandler start,
                     GLX1_EndElementHandler end, GLX1_CharacterDataHandler characters);

// Traces, after a successful velParseXMLFile, a file that held no element or stopped inside an
// open one (the parser does not report these because the last block is never flagged).
void velTraceIncompleteXML(const char* fileName, bool sawDocument, unsigned long openDepth);

// The integer at the start of an attribute value, as atoi reads it (leading blanks and a sign,
// then digits; junk or null gives 0); values beyond the int range are clamped, where atoi's
// result would be undefined.
int velAttrToInt(const char* value);

#endif  // VEL_CATALOG_VELXMLFILE_H
