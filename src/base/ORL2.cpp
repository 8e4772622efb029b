#include "ORL2.h"

#include <langinfo.h>
#include <locale.h>
#include <unicode/ucnv.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "MUT1.h"

VEL_TRACE_UNIT("orl2");

namespace {

// Closes a converter on every way out.
struct Converter {
  UConverter* cnv = nullptr;
  ~Converter() {
    if (cnv != nullptr) ucnv_close(cnv);
  }
};

// The converter library's platform whose numbering our code-page numbers (CCSIDs) follow; it is
// the first value of the platform enumeration.
constexpr UConverterPlatform kCcsidPlatform = static_cast<UConverterPlatform>(0);

// Opens the converter of a code-page number; null (with err set) when the number is unknown.
UConverter* openCodepage(int cp, UErrorCode* err) {
  if (cp <= 0) {
    *err = U_FILE_ACCESS_ERROR;  // what the library reports for an unknown code page
    return nullptr;
  }
  return ucnv_openCCSID(cp, kCcsidPlatform, err);
}

}  // namespace

ORL2_Locale* ORL2_GetLocale() {
  ORL2_Locale* loc = new (std::nothrow) ORL2_Locale();
  if (loc == nullptr) return nullptr;
  // A private locale handle, so the process locale (and other threads' view of it) never changes.
  locale_t handle = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (handle == static_cast<locale_t>(0)) {
    VEL_DETAIL("The environment names no installed locale; using the C locale");
    handle = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
  }
  const char* codeset = "ANSI_X3.4-1968";  // the C locale's character set
  if (handle != static_cast<locale_t>(0)) {
    const char* cs = nl_langinfo_l(CODESET, handle);
    if (cs != nullptr && *cs != 0) codeset = cs;
  }
  (void)snprintf(loc->codesetName, sizeof loc->codesetName, "%s", codeset);
  if (handle != static_cast<locale_t>(0)) freelocale(handle);
  loc->codepage = ORL2_GetCodepageId(loc->codesetName);
  VEL_DETAIL("Locale character set %s, code page %d", loc->codesetName, loc->codepage);
  return loc;
}

void ORL2_ReleaseLocale(ORL2_Locale* locale) { delete locale; }

int ORL2_GetCodepageId(const char* name) {
  if (name == nullptr || *name == 0) return 0;
  UErrorCode err = U_ZERO_ERROR;
  Converter c;
  c.cnv = ucnv_open(name, &err);
  if (U_FAILURE(err)) {
    VEL_DETAIL("Unknown character set %s: %s", name, u_errorName(err));
    return 0;
  }
  int id = ucnv_getCCSID(c.cnv, &err);
  if (U_FAILURE(err) || id < 0) return 0;
  return id;
}

int ORL2_TranslateString(int targetCP, char* target, int targetLen, int sourceCP,
                         const char* source, int sourceLen, int* convertedLen, int flags,
                         int* status) {
  int dummyLen = 0;
  int dummyStatus = 0;
  if (convertedLen == nullptr) convertedLen = &dummyLen;
  if (status == nullptr) status = &dummyStatus;
  *convertedLen = 0;
  if (target == nullptr || targetLen <= 0 || flags != 0 || (source == nullptr && sourceLen != 0)) {
    *status = U_ILLEGAL_ARGUMENT_ERROR;
    return *status;
  }
  if (source == nullptr) source = "";
  if (sourceLen < 0) sourceLen = static_cast<int>(strlen(source));

  UErrorCode err = U_ZERO_ERROR;
  Converter from;
  Converter to;
  from.cnv = openCodepage(sourceCP, &err);
  if (U_SUCCESS(err)) to.cnv = openCodepage(targetCP, &err);
  if (U_FAILURE(err)) {
    VEL_DETAIL("No converter for code page %d or %d: %s", sourceCP, targetCP, u_errorName(err));
    *status = err;
    return *status;
  }

  char* out = target;
  const char* in = source;
  // Reserve the terminator's byte; the converter never writes it.
  ucnv_convertEx(to.cnv, from.cnv, &out, target + targetLen - 1, &in, source + sourceLen, nullptr,
                 nullptr, nullptr, nullptr, true, true, &err);
  if (U_FAILURE(err)) {
    *status = err;
    return *status;
  }
  *out = 0;
  *convertedLen = static_cast<int>(out - target);
  *status = 0;
  return 0;
}
