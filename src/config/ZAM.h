// Crypto services of the agent runtime (ZAM): encrypted configuration values.
//
// An encrypted value is the prefix "{AES256:keyfile:a}" followed by the base64 (standard
// alphabet, '=' padding, no line breaks) of: a 12-byte IV, the AES-256-GCM ciphertext and the
// 16-byte GCM tag. The key is 32 bytes, stored base64-encoded (one line) in the key file:
// $VEL_KEYFILE when set, otherwise $ORMONDHOME/keyfiles/vel.key.
//
// Results are heap buffers, NUL-terminated, that must be released with ZAM_Free, which wipes
// them. Functions return ZAM_OK (0) or one of the non-zero codes below; on failure nothing is
// returned (the result pointer is set to null and the length to 0), and every intermediate
// buffer holding key or plain text has been wiped.
#ifndef VEL_CONFIG_ZAM_H
#define VEL_CONFIG_ZAM_H

#include <stddef.h>

extern "C" {

#define ZAM_PREFIX "{AES256:keyfile:a}"

enum {
  ZAM_OK = 0,
  ZAM_E_ARGUMENT = 1,  // null pointer or negative length
  ZAM_E_FORMAT = 2,    // the text does not start with ZAM_PREFIX
  ZAM_E_BASE64 = 3,    // the text after the prefix is not valid base64
  ZAM_E_LENGTH = 4,    // the decoded value is too short to hold IV and tag
  ZAM_E_KEYFILE = 5,   // no key file location, or the key file cannot be read
  ZAM_E_KEY = 6,       // the key file does not hold 32 base64-encoded bytes
  ZAM_E_AUTH = 7,      // authentication failed: wrong key or altered value
  ZAM_E_CRYPTO = 8,    // the cipher library failed
  ZAM_E_MEMORY = 9,    // out of memory
  ZAM_E_EXISTS = 10,   // ZAM_CreateKeyFile: the key file exists already
  ZAM_E_WRITE = 11     // ZAM_CreateKeyFile: the key file cannot be written
};

// Decrypts text[0..length) with the key of the default key file. On success *result holds the
// plain text (NUL-terminated, owned by the caller, release with ZAM_Free) and *resultLength its
// length without the terminator.
int ZAM_Decrypt(const char* text, int length, char** result, int* resultLength);

// Wipes and releases a result of this library; null is ignored.
void ZAM_Free(char* result);

// ---- Services for the key tool and tests -----------------------------------------------------

// Writes the default key file location into out (size bytes); ZAM_E_KEYFILE when neither
// VEL_KEYFILE nor ORMONDHOME is set, ZAM_E_ARGUMENT when it does not fit.
int ZAM_GetKeyFilePath(char* out, size_t size);

// As ZAM_Decrypt with an explicit key file (null: the default one).
int ZAM_DecryptWithKeyFile(const char* keyFile, const char* text, int length, char** result,
                           int* resultLength);

// Encrypts plain[0..length) with a fresh random IV under the key of keyFile (null: the default
// one). *result receives the prefixed text (release with ZAM_Free).
int ZAM_EncryptWithKeyFile(const char* keyFile, const char* plain, int length, char** result,
                           int* resultLength);

// Checks that keyFile (null: the default one) can be read and holds a valid key.
int ZAM_CheckKeyFile(const char* keyFile);

// Creates keyFile (null: the default one) with a fresh random key, mode 0600. Never replaces an
// existing file (ZAM_E_EXISTS). A missing parent directory is created with mode 0700 (one level).
int ZAM_CreateKeyFile(const char* keyFile);

// A short English description of a result code.
const char* ZAM_ErrorText(int code);

}  // extern "C"

#endif  // VEL_CONFIG_ZAM_H
