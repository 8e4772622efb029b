// Text encoding: conversion between the host's code page and UTF-8, escaping for XML attribute
// values, and the program's name comparisons.
#ifndef VEL_BASE_VELENCODING_H
#define VEL_BASE_VELENCODING_H

#include <string>

// Code-page number of UTF-8.
constexpr int VEL_CODEPAGE_UTF8 = 1208;

// The locale's code page, read once from the code-page service and kept for the life of the
// process. 0 when no locale object could be obtained (not cached: the next call tries again).
int UTF8GetLocaleDefaultCodePageID();

// The one conversion routine. codePage 0 means the locale's default; 5488 is converted as 1392.
// toCodePage false: source is in codePage and target gets UTF-8; true: source is UTF-8 and target
// gets codePage. The result is null-terminated and must fit in targetLength - 1 bytes. Returns
// the converted length; on failure the whole target buffer (targetLength bytes) is zero-filled
// and 0 is returned. A null target or a non-positive targetLength does nothing and returns 0.
int ConvertStringToUTF8(bool toCodePage, char* target, int targetLength, const char* source,
                        int sourceLength, int codePage);

// codePage -> UTF-8, arguments in source-first order.
int ConvertStrToUTF8(const char* source, int sourceLength, char* target, int targetLength,
                     int codePage);
// UTF-8 -> codePage, arguments in source-first order.
int ConvertStrFromUTF8(const char* source, int sourceLength, char* target, int targetLength,
                       int codePage);

// Returns text with '"', '&', '<' and '>' replaced by their XML entities; every other byte, the
// apostrophe included, is copied. Null gives "".
std::string replaceCharWithESC(const char* text);

// Case-insensitive comparison (strcasecmp) of names, keywords, roles and types. A null text
// sorts before every other text; two nulls are equal.
int velstricmp(const char* a, const char* b);

// Case-sensitive comparison (strcmp) of file paths; nulls as in velstricmp.
int velFilePathCompare(const char* a, const char* b);

#endif  // VEL_BASE_VELENCODING_H
