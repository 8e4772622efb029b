// Code-page service of the agent runtime (ORL2_*).
//
// Code pages are CCSID numbers as the converter library names them: 1208 is UTF-8, 819
// ISO-8859-1, 367 US-ASCII, 1392 GB18030. Every call is thread-safe: converters and locale
// handles are opened per call and never shared between threads.
#ifndef VEL_BASE_ORL2_H
#define VEL_BASE_ORL2_H

// The process's locale as seen by the code-page service.
struct ORL2_Locale {
  int codepage;          // CCSID of the locale's character set; 0 when it has none
  char codesetName[64];  // the character-set name the host reports (nl_langinfo CODESET)
};

// Returns a locale object for the environment's LC_ALL / LC_CTYPE / LANG settings, without
// changing the process locale; null when no object can be allocated. A setting that names no
// installed locale falls back to the "C" locale. Release it with ORL2_ReleaseLocale.
ORL2_Locale* ORL2_GetLocale();
// Releases a locale object (null is ignored).
void ORL2_ReleaseLocale(ORL2_Locale* locale);

// Maps a character-set name (any alias the converter library knows, e.g. "UTF-8", "utf8",
// "ISO-8859-1", "GB18030") to its code-page number. Returns 0 for a null, empty or unknown name
// and for a character set that has no code-page number.
int ORL2_GetCodepageId(const char* name);

// Converts sourceLen bytes of source (a negative length: up to its terminator) from code page
// sourceCP into target (targetLen bytes) in code page targetCP. The result is always followed by a
// terminating zero byte, so it must fit in targetLen - 1 bytes. *convertedLen (may be null) gets
// the length of the result, terminator excluded; *status (may be null) gets 0 on success, or the
// converter library's positive error number: an unknown code page, a target too small, a null
// buffer, a bad length or non-zero flags (flags is reserved). On failure *convertedLen is 0 and
// the target's contents are unspecified. Bytes that are invalid in the source code page, or
// characters the target code page cannot hold, are replaced by the code page's substitution
// character rather than failing the whole text: one bad byte in an alert-log line must not
// blank the message. Returns the status.
int ORL2_TranslateString(int targetCP, char* target, int targetLen, int sourceCP,
                         const char* source, int sourceLen, int* convertedLen, int flags,
                         int* status);

#endif  // VEL_BASE_ORL2_H
