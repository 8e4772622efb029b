// Encrypted configuration values: AES-256-GCM through OpenSSL (format in ZAM.h).
#include "ZAM.h"

#include <errno.h>
#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "MUT1.h"
#include "PEB1.h"

VEL_TRACE_UNIT("zam");

namespace {

constexpr size_t kKeySize = 32;
constexpr size_t kIvSize = 12;
constexpr size_t kTagSize = 16;
constexpr size_t kPrefixSize = sizeof(ZAM_PREFIX) - 1;
// A key file is one base64 line of 44 characters; anything much larger is not a key file.
constexpr size_t kMaxKeyFileSize = 1024;

// Result buffers carry their capacity in front so that ZAM_Free can wipe them.
struct ResultHeader {
  size_t capacity;  // bytes after the header
  size_t pad;       // keeps the text aligned like malloc's result
};

char* allocResult(size_t textLength) {
  size_t capacity = textLength + 1;
  void* block = malloc(sizeof(ResultHeader) + capacity);
  if (block == nullptr) return nullptr;
  ResultHeader* h = static_cast<ResultHeader*>(block);
  h->capacity = capacity;
  h->pad = 0;
  char* text = reinterpret_cast<char*>(h + 1);
  memset(text, 0, capacity);
  return text;
}

// Key material wiped on every way out.
struct Key {
  unsigned char bytes[kKeySize];
  Key() { memset(bytes, 0, sizeof(bytes)); }
  ~Key() { OPENSSL_cleanse(bytes, sizeof(bytes)); }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
};

// A heap buffer wiped and freed on every way out.
struct Secret {
  unsigned char* data = nullptr;
  size_t size = 0;
  explicit Secret(size_t n) : data(static_cast<unsigned char*>(malloc(n ? n : 1))), size(n) {}
  ~Secret() {
    if (data) {
      OPENSSL_cleanse(data, size);
      free(data);
    }
  }
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;
};

struct CipherCtx {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  ~CipherCtx() { EVP_CIPHER_CTX_free(ctx); }
  CipherCtx(const CipherCtx&) = delete;
  CipherCtx& operator=(const CipherCtx&) = delete;
  CipherCtx() = default;
};

const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int b64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Strict base64: length a multiple of 4, padding only at the end, unused bits zero. Writes at
// most outSize bytes; returns the decoded length, or -1 for text that is not base64.
long b64Decode(const char* in, size_t inLen, unsigned char* out, size_t outSize) {
  if (inLen == 0 || inLen % 4 != 0) return -1;
  size_t pad = 0;
  if (in[inLen - 1] == '=') pad = (in[inLen - 2] == '=') ? 2 : 1;
  size_t outLen = inLen / 4 * 3 - pad;
  if (outLen > outSize) return -1;
  size_t o = 0;
  for (size_t i = 0; i < inLen; i += 4) {
    bool last = (i + 4 == inLen);
    int v[4];
    for (size_t k = 0; k < 4; ++k) {
      unsigned char c = static_cast<unsigned char>(in[i + k]);
      if (c == '=' && last && k >= 4 - pad) {
        v[k] = 0;
        continue;
      }
      v[k] = b64Value(c);
      if (v[k] < 0) return -1;
    }
    unsigned long triple =
        (static_cast<unsigned long>(v[0]) << 18) | (static_cast<unsigned long>(v[1]) << 12) |
        (static_cast<unsigned long>(v[2]) << 6) | static_cast<unsigned long>(v[3]);
    if (last && pad == 1 && (triple & 0xFF) != 0) return -1;
    if (last && pad == 2 && (triple & 0xFFFF) != 0) return -1;
    unsigned char bytes[3] = {static_cast<unsigned char>(triple >> 16),
                              static_cast<unsigned char>(triple >> 8),
                              static_cast<unsigned char>(triple)};
    size_t n = last ? 3 - pad : 3;
    for (size_t k = 0; k < n; ++k) out[o++] = bytes[k];
  }
  return static_cast<long>(o);
}

// Encodes in[0..inLen) into out, which holds at least 4 * ((inLen + 2) / 3) + 1 bytes.
size_t b64Encode(const unsigned char* in, size_t inLen, char* out) {
  size_t o = 0;
  for (size_t i = 0; i < inLen; i += 3) {
    size_t n = inLen - i < 3 ? inLen - i : 3;
    unsigned long triple = static_cast<unsigned long>(in[i]) << 16;
    if (n > 1) triple |= static_cast<unsigned long>(in[i + 1]) << 8;
    if (n > 2) triple |= in[i + 2];
    out[o++] = kB64[(triple >> 18) & 63];
    out[o++] = kB64[(triple >> 12) & 63];
    out[o++] = n > 1 ? kB64[(triple >> 6) & 63] : '=';
    out[o++] = n > 2 ? kB64[triple & 63] : '=';
  }
  out[o] = '\0';
  return o;
}

int keyFilePath(const char* keyFile, char* out, size_t size) {
  if (keyFile != nullptr) {
    int n = snprintf(out, size, "%s", keyFile);
    return (n < 0 || static_cast<size_t>(n) >= size) ? ZAM_E_ARGUMENT : ZAM_OK;
  }
  return ZAM_GetKeyFilePath(out, size);
}

int loadKey(const char* keyFile, Key& key) {
  char path[4096];
  int rc = keyFilePath(keyFile, path, sizeof(path));
  if (rc != ZAM_OK) {
    VEL_ERROR("Can not locate the key file: %s", ZAM_ErrorText(rc));
    return rc;
  }
  int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    int err = errno;
    VEL_ERROR("Can not open key file %s: %s", path, strerror(err));
    return ZAM_E_KEYFILE;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    VEL_ERROR("Key file %s is not a regular file", path);
    close(fd);
    return ZAM_E_KEYFILE;
  }
  if (st.st_mode & (S_IRWXG | S_IRWXO))
    VEL_ERROR("Key file %s can be read by others (mode %03o); it should be 0600", path,
              static_cast<unsigned>(st.st_mode & 0777));
  char text[kMaxKeyFileSize + 1];
  size_t got = 0;
  for (;;) {
    ssize_t n = read(fd, text + got, sizeof(text) - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    if (got == sizeof(text)) break;
  }
  close(fd);
  rc = ZAM_OK;
  if (got > kMaxKeyFileSize) {
    VEL_ERROR("Key file %s is too large to be a key file", path);
    rc = ZAM_E_KEY;
  } else {
    size_t b = 0;
    size_t e = got;
    while (b < e && (text[b] == ' ' || text[b] == '\t' || text[b] == '\n' || text[b] == '\r')) ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t' || text[e - 1] == '\n' ||
                     text[e - 1] == '\r'))
      --e;
    unsigned char raw[kKeySize + 3];
    long n = b64Decode(text + b, e - b, raw, sizeof(raw));
    if (n != static_cast<long>(kKeySize)) {
      VEL_ERROR("Key file %s does not hold a base64-encoded 32-byte key", path);
      rc = ZAM_E_KEY;
    } else {
      memcpy(key.bytes, raw, kKeySize);
    }
    OPENSSL_cleanse(raw, sizeof(raw));
  }
  OPENSSL_cleanse(text, sizeof(text));
  return rc;
}

}  // namespace

extern "C" {

const char* ZAM_ErrorText(int code) {
  switch (code) {
    case ZAM_OK:
      return "success";
    case ZAM_E_ARGUMENT:
      return "invalid argument";
    case ZAM_E_FORMAT:
      return "the value does not start with " ZAM_PREFIX;
    case ZAM_E_BASE64:
      return "the encrypted value is not valid base64";
    case ZAM_E_LENGTH:
      return "the encrypted value is too short";
    case ZAM_E_KEYFILE:
      return "the key file cannot be located or read";
    case ZAM_E_KEY:
      return "the key file does not hold a base64-encoded 32-byte key";
    case ZAM_E_AUTH:
      return "authentication failed: wrong key or altered value";
    case ZAM_E_CRYPTO:
      return "the cipher library failed";
    case ZAM_E_MEMORY:
      return "out of memory";
    case ZAM_E_EXISTS:
      return "the key file exists already";
    case ZAM_E_WRITE:
      return "the key file cannot be written";
    default:
      return "unknown error";
  }
}

int ZAM_GetKeyFilePath(char* out, size_t size) {
  if (out == nullptr || size == 0) return ZAM_E_ARGUMENT;
  out[0] = '\0';
  int n;
  const char* file = PEB1_GetEnv("VEL_KEYFILE", nullptr);
  if (file != nullptr && *file != '\0') {
    n = snprintf(out, size, "%s", file);
  } else {
    const char* home = PEB1_GetEnv("ORMONDHOME", nullptr);
    if (home == nullptr || *home == '\0') return ZAM_E_KEYFILE;
    n = snprintf(out, size, "%s/keyfiles/vel.key", home);
  }
  if (n < 0 || static_cast<size_t>(n) >= size) {
    out[0] = '\0';
    return ZAM_E_ARGUMENT;
  }
  return ZAM_OK;
}

int ZAM_DecryptWithKeyFile(const char* keyFile, const char* text, int length, char** result,
                           int* resultLength) {
  VEL_FLOW_ENTRY("ZAM_Decrypt");
  if (result == nullptr || resultLength == nullptr) VEL_RETURN(ZAM_E_ARGUMENT);
  *result = nullptr;
  *resultLength = 0;
  if (text == nullptr || length < 0) VEL_RETURN(ZAM_E_ARGUMENT);
  size_t len = static_cast<size_t>(length);
  if (len < kPrefixSize || memcmp(text, ZAM_PREFIX, kPrefixSize) != 0) VEL_RETURN(ZAM_E_FORMAT);
  const char* b64 = text + kPrefixSize;
  size_t b64Len = len - kPrefixSize;

  size_t maxRaw = b64Len / 4 * 3;
  Secret raw(maxRaw);
  if (raw.data == nullptr) VEL_RETURN(ZAM_E_MEMORY);
  long rawLen = b64Decode(b64, b64Len, raw.data, maxRaw);
  if (rawLen < 0) VEL_RETURN(ZAM_E_BASE64);
  if (static_cast<size_t>(rawLen) < kIvSize + kTagSize) VEL_RETURN(ZAM_E_LENGTH);
  size_t cipherLen = static_cast<size_t>(rawLen) - kIvSize - kTagSize;
  if (cipherLen > 0x7FFFFFF0u) VEL_RETURN(ZAM_E_LENGTH);

  Key key;
  int rc = loadKey(keyFile, key);
  if (rc != ZAM_OK) VEL_RETURN(rc);

  CipherCtx c;
  if (c.ctx == nullptr) VEL_RETURN(ZAM_E_MEMORY);
  Secret plain(cipherLen + 1);
  if (plain.data == nullptr) VEL_RETURN(ZAM_E_MEMORY);
  const unsigned char* iv = raw.data;
  const unsigned char* cipher = raw.data + kIvSize;
  unsigned char* tag = raw.data + kIvSize + cipherLen;
  int outl = 0;
  int finl = 0;
  if (EVP_DecryptInit_ex(c.ctx, EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
      EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(kIvSize), nullptr) != 1 ||
      EVP_DecryptInit_ex(c.ctx, nullptr, nullptr, key.bytes, iv) != 1 ||
      EVP_DecryptUpdate(c.ctx, plain.data, &outl, cipher, static_cast<int>(cipherLen)) != 1 ||
      EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_SET_TAG, static_cast<int>(kTagSize), tag) != 1) {
    VEL_ERROR("Decryption could not be set up");
    VEL_RETURN(ZAM_E_CRYPTO);
  }
  if (EVP_DecryptFinal_ex(c.ctx, plain.data + outl, &finl) != 1) {
    VEL_ERROR("Decryption failed: wrong key or altered value");
    VEL_RETURN(ZAM_E_AUTH);
  }
  size_t plainLen = static_cast<size_t>(outl) + static_cast<size_t>(finl);
  char* out = allocResult(plainLen);
  if (out == nullptr) VEL_RETURN(ZAM_E_MEMORY);
  memcpy(out, plain.data, plainLen);
  out[plainLen] = '\0';
  *result = out;
  *resultLength = static_cast<int>(plainLen);
  VEL_RETURN(ZAM_OK);
}

int ZAM_Decrypt(const char* text, int length, char** result, int* resultLength) {
  return ZAM_DecryptWithKeyFile(nullptr, text, length, result, resultLength);
}

int ZAM_EncryptWithKeyFile(const char* keyFile, const char* plain, int length, char** result,
                           int* resultLength) {
  VEL_FLOW_ENTRY("ZAM_Encrypt");
  if (result == nullptr || resultLength == nullptr) VEL_RETURN(ZAM_E_ARGUMENT);
  *result = nullptr;
  *resultLength = 0;
  if ((plain == nullptr && length != 0) || length < 0 || length > 0x3FFFFFF0)
    VEL_RETURN(ZAM_E_ARGUMENT);
  size_t plainLen = static_cast<size_t>(length);

  Key key;
  int rc = loadKey(keyFile, key);
  if (rc != ZAM_OK) VEL_RETURN(rc);

  size_t rawLen = kIvSize + plainLen + kTagSize;
  Secret raw(rawLen);
  if (raw.data == nullptr) VEL_RETURN(ZAM_E_MEMORY);
  if (RAND_bytes(raw.data, static_cast<int>(kIvSize)) != 1) VEL_RETURN(ZAM_E_CRYPTO);
  CipherCtx c;
  if (c.ctx == nullptr) VEL_RETURN(ZAM_E_MEMORY);
  int outl = 0;
  int finl = 0;
  unsigned char* cipher = raw.data + kIvSize;
  if (EVP_EncryptInit_ex(c.ctx, EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
      EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(kIvSize), nullptr) != 1 ||
      EVP_EncryptInit_ex(c.ctx, nullptr, nullptr, key.bytes, raw.data) != 1 ||
      EVP_EncryptUpdate(c.ctx, cipher, &outl, reinterpret_cast<const unsigned char*>(plain),
                        length) != 1 ||
      EVP_EncryptFinal_ex(c.ctx, cipher + outl, &finl) != 1 ||
      static_cast<size_t>(outl) + static_cast<size_t>(finl) != plainLen ||
      EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_GET_TAG, static_cast<int>(kTagSize),
                          cipher + plainLen) != 1) {
    VEL_ERROR("Encryption failed in the cipher library");
    VEL_RETURN(ZAM_E_CRYPTO);
  }
  size_t outLen = kPrefixSize + 4 * ((rawLen + 2) / 3);
  char* out = allocResult(outLen);
  if (out == nullptr) VEL_RETURN(ZAM_E_MEMORY);
  memcpy(out, ZAM_PREFIX, kPrefixSize);
  b64Encode(raw.data, rawLen, out + kPrefixSize);
  *result = out;
  *resultLength = static_cast<int>(outLen);
  VEL_RETURN(ZAM_OK);
}

int ZAM_CheckKeyFile(const char* keyFile) {
  Key key;
  return loadKey(keyFile, key);
}

int ZAM_CreateKeyFile(const char* keyFile) {
  VEL_FLOW_ENTRY("ZAM_CreateKeyFile");
  char path[4096];
  int rc = keyFilePath(keyFile, path, sizeof(path));
  if (rc != ZAM_OK) VEL_RETURN(rc);
  if (path[0] == '\0') VEL_RETURN(ZAM_E_ARGUMENT);

  // Create the immediate parent directory when it is missing (for $ORMONDHOME/keyfiles).
  char dir[sizeof(path)];
  snprintf(dir, sizeof(dir), "%s", path);
  char* slash = strrchr(dir, '/');
  if (slash != nullptr && slash != dir) {
    *slash = '\0';
    struct stat st;
    if (stat(dir, &st) != 0 && errno == ENOENT && mkdir(dir, 0700) != 0 && errno != EEXIST) {
      int err = errno;
      VEL_ERROR("Can not create the key directory %s: %s", dir, strerror(err));
      VEL_RETURN(ZAM_E_WRITE);
    }
  }

  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    int err = errno;
    if (err == EEXIST) {
      VEL_ERROR("Key file %s exists already; it is not replaced", path);
      VEL_RETURN(ZAM_E_EXISTS);
    }
    VEL_ERROR("Can not create key file %s: %s", path, strerror(err));
    VEL_RETURN(ZAM_E_WRITE);
  }
  // The mode given to open is reduced by the umask; a key file must not be more open than 0600.
  if (fchmod(fd, 0600) != 0) {
    int err = errno;
    VEL_ERROR("Can not set mode 0600 on key file %s: %s", path, strerror(err));
    close(fd);
    unlink(path);
    VEL_RETURN(ZAM_E_WRITE);
  }
  Key key;
  char text[4 * ((kKeySize + 2) / 3) + 2];
  if (RAND_bytes(key.bytes, static_cast<int>(kKeySize)) != 1) {
    close(fd);
    unlink(path);
    VEL_RETURN(ZAM_E_CRYPTO);
  }
  size_t n = b64Encode(key.bytes, kKeySize, text);
  text[n++] = '\n';
  size_t done = 0;
  while (done < n) {
    ssize_t w = write(fd, text + done, n - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) break;
    done += static_cast<size_t>(w);
  }
  OPENSSL_cleanse(text, sizeof(text));
  bool ok = done == n && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (!ok) {
    VEL_ERROR("Can not write key file %s", path);
    unlink(path);
    VEL_RETURN(ZAM_E_WRITE);
  }
  VEL_RETURN(ZAM_OK);
}

void ZAM_Free(char* result) {
  if (result == nullptr) return;
  ResultHeader* h = reinterpret_cast<ResultHeader*>(result) - 1;
  OPENSSL_cleanse(result, h->capacity);
  free(h);
}

}  // extern "C"
