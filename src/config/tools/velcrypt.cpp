// velcrypt: encrypts a secret for the instance configuration file, or creates the key file.
//
//   velcrypt [-k keyfile]             reads the secret on standard input, prints its
//                                     {AES256:keyfile:a} form on standard output
//   velcrypt [-k keyfile] --new-key   creates the key file with a fresh key (mode 0600)
//
// Exit codes: 0 done, 1 usage error, 2 key file problem, 3 bad input, 4 encryption failure.
#include <errno.h>
#include <openssl/crypto.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ZAM.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitKey = 2;
constexpr int kExitInput = 3;
constexpr int kExitCrypto = 4;

// The collector keeps decrypted values in a 255-byte field; longer secrets could not be used.
constexpr size_t kMaxSecret = 255;

const char kUsage[] =
    "usage: velcrypt [-k keyfile] [--new-key]\n"
    "\n"
    "Reads a secret on standard input (without echo when it is a terminal) and prints its\n"
    "encrypted form, " ZAM_PREFIX
    "..., to use as a value in the instance configuration file.\n"
    "\n"
    "  -k keyfile   key file (default: $VEL_KEYFILE, else $ORMONDHOME/keyfiles/vel.key)\n"
    "  --new-key    create the key file with a fresh random key (mode 0600) and exit;\n"
    "               an existing key file is never replaced\n"
    "  -h, --help   show this help\n"
    "\n"
    "Exit codes: 0 done, 1 usage error, 2 key file problem, 3 bad input, 4 encryption failure.\n";

// Terminal settings to put back when a signal ends the program while echo is off.
struct termios g_savedTerm;
volatile sig_atomic_t g_echoOff = 0;

void restoreTerminalOnSignal(int sig) {
  if (g_echoOff) tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerm);
  signal(sig, SIG_DFL);
  raise(sig);
}

// Reads the secret into buf (size bytes, wiped by the caller). Returns its length, or -1 with a
// message printed.
long readSecret(char* buf, size_t size) {
  bool tty = isatty(STDIN_FILENO) != 0;
  if (tty) {
    if (tcgetattr(STDIN_FILENO, &g_savedTerm) != 0) {
      fprintf(stderr, "velcrypt: cannot read the terminal settings: %s\n", strerror(errno));
      return -1;
    }
    struct termios quiet = g_savedTerm;
    quiet.c_lflag &= static_cast<tcflag_t>(~(ECHO | ECHOE | ECHOK | ECHONL));
    signal(SIGINT, restoreTerminalOnSignal);
    signal(SIGTERM, restoreTerminalOnSignal);
    signal(SIGHUP, restoreTerminalOnSignal);
    signal(SIGQUIT, restoreTerminalOnSignal);
    g_echoOff = 1;
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0) {
      g_echoOff = 0;
      fprintf(stderr, "velcrypt: cannot turn off echo on the terminal: %s\n", strerror(errno));
      return -1;
    }
    fputs("Secret: ", stderr);
    fflush(stderr);
  }
  size_t got = 0;
  bool failed = false;
  for (;;) {
    if (got == size) break;
    ssize_t n = read(STDIN_FILENO, buf + got, tty ? 1 : size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      failed = true;
      break;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
    if (tty && buf[got - 1] == '\n') break;  // a terminal gives one line
  }
  if (tty) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerm);
    g_echoOff = 0;
    fputc('\n', stderr);
  }
  if (failed) {
    fprintf(stderr, "velcrypt: cannot read standard input: %s\n", strerror(errno));
    return -1;
  }
  if (got == size) {
    fprintf(stderr, "velcrypt: the secret is longer than %zu bytes, which velclient cannot use\n",
            kMaxSecret);
    return -1;
  }
  // One trailing line end is not part of the secret.
  if (got > 0 && buf[got - 1] == '\n') --got;
  if (got > 0 && buf[got - 1] == '\r') --got;
  if (memchr(buf, '\n', got) != nullptr || memchr(buf, '\0', got) != nullptr) {
    fprintf(stderr, "velcrypt: the secret must be one line of text\n");
    return -1;
  }
  if (got == 0) {
    fprintf(stderr, "velcrypt: the secret is empty; nothing encrypted\n");
    return -1;
  }
  if (got > kMaxSecret) {
    fprintf(stderr, "velcrypt: the secret is longer than %zu bytes, which velclient cannot use\n",
            kMaxSecret);
    return -1;
  }
  return static_cast<long>(got);
}

int keyExitCode(int rc) {
  switch (rc) {
    case ZAM_E_KEYFILE:
    case ZAM_E_KEY:
    case ZAM_E_EXISTS:
    case ZAM_E_WRITE:
    case ZAM_E_ARGUMENT:
      return kExitKey;
    default:
      return kExitCrypto;
  }
}

}  // namespace

int main(int argc, char** argv) {
  // The library's error traces would repeat on standard error what this tool prints; keep them
  // off unless asked for.
  setenv("VEL_TRACE", "none", 0);
  const char* keyFile = nullptr;
  bool newKey = false;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (strcmp(a, "-h") == 0 || strcmp(a, "--help") == 0) {
      fputs(kUsage, stdout);
      return kExitOk;
    }
    if (strcmp(a, "--new-key") == 0) {
      newKey = true;
    } else if (strcmp(a, "-k") == 0) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        fprintf(stderr, "velcrypt: -k needs a key file name\n%s", kUsage);
        return kExitUsage;
      }
      keyFile = argv[++i];
    } else {
      fprintf(stderr, "velcrypt: unknown argument '%s'\n%s", a, kUsage);
      return kExitUsage;
    }
  }

  char path[4096];
  if (keyFile != nullptr) {
    snprintf(path, sizeof(path), "%s", keyFile);
  } else if (ZAM_GetKeyFilePath(path, sizeof(path)) != ZAM_OK) {
    fprintf(stderr, "velcrypt: no key file: give -k keyfile, or set VEL_KEYFILE or ORMONDHOME\n");
    return kExitKey;
  }

  if (newKey) {
    errno = 0;
    int rc = ZAM_CreateKeyFile(path);
    int err = errno;
    if (rc != ZAM_OK) {
      if (rc == ZAM_E_EXISTS)
        fprintf(stderr, "velcrypt: key file %s exists already; it is not replaced\n", path);
      else
        fprintf(stderr, "velcrypt: cannot create key file %s: %s (%s)\n", path, ZAM_ErrorText(rc),
                err ? strerror(err) : "no detail");
      return keyExitCode(rc);
    }
    fprintf(stderr, "velcrypt: new key written to %s (mode 0600)\n", path);
    return kExitOk;
  }

  // Check the key before asking for the secret.
  int keyRc = ZAM_CheckKeyFile(path);
  if (keyRc != ZAM_OK) {
    fprintf(stderr, "velcrypt: key file %s: %s\n", path, ZAM_ErrorText(keyRc));
    return keyExitCode(keyRc);
  }

  char secret[kMaxSecret + 3];
  long len = readSecret(secret, sizeof(secret));
  if (len < 0) {
    OPENSSL_cleanse(secret, sizeof(secret));
    return kExitInput;
  }
  char* out = nullptr;
  int outLen = 0;
  int rc = ZAM_EncryptWithKeyFile(path, secret, static_cast<int>(len), &out, &outLen);
  OPENSSL_cleanse(secret, sizeof(secret));
  if (rc != ZAM_OK) {
    fprintf(stderr, "velcrypt: cannot encrypt with key file %s: %s\n", path, ZAM_ErrorText(rc));
    return keyExitCode(rc);
  }
  bool written =
      fwrite(out, 1, static_cast<size_t>(outLen), stdout) == static_cast<size_t>(outLen) &&
      fputc('\n', stdout) != EOF && fflush(stdout) == 0;
  ZAM_Free(out);
  if (!written) {
    fprintf(stderr, "velcrypt: cannot write to standard output\n");
    return kExitCrypto;
  }
  return kExitOk;
}
