// Encrypted values: values made by the velcrypt tool decrypt; altered values, wrong keys, bad
// base64 and broken key files fail cleanly; the tool's key creation and exit codes.
#include "ZAM.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "ConfigTestHelpers.h"
#include "TestSupport.h"

namespace {

using veltest::runVelcrypt;
using veltest::ScopedEnv;
using veltest::TempDir;
using veltest::ToolRun;

// Decrypts with the given key file; returns the ZAM code and the text in plain.
int decrypt(const std::string& keyFile, const std::string& text, std::string& plain) {
  char* result = reinterpret_cast<char*>(1);  // must be reset by the call
  int length = -1;
  int rc = ZAM_DecryptWithKeyFile(keyFile.c_str(), text.data(), static_cast<int>(text.size()),
                                  &result, &length);
  if (rc == ZAM_OK) {
    plain.assign(result, static_cast<size_t>(length));
    EXPECT_EQ(result[length], '\0');
    ZAM_Free(result);
  } else {
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(length, 0);
  }
  return rc;
}

class ZamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ToolRun r = runVelcrypt(m_dir, "-k '" + m_key + "' --new-key", "");
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }
  std::string encrypt(const std::string& secret, const std::string& keyFile) {
    std::string value = veltest::velcryptEncrypt(m_dir, keyFile, secret);
    EXPECT_FALSE(value.empty());
    return value;
  }
  TempDir m_dir;
  std::string m_key = m_dir.file("vel.key");
};

TEST_F(ZamTest, ValueMadeByVelcryptDecryptsThroughTheDefaultKeyFile) {
  std::string secret = "s3cr#t pass=word;";
  std::string enc = encrypt(secret + "\n", m_key);
  ASSERT_EQ(enc.rfind(ZAM_PREFIX, 0), 0u) << enc;
  // Fresh IV each time: the same secret never gives the same text twice.
  EXPECT_NE(enc, encrypt(secret, m_key));

  // VEL_KEYFILE names the key file (see the configuration tests); without it the key is looked
  // up under ORMONDHOME.
  ScopedEnv noKeyVar("VEL_KEYFILE", nullptr);
  ScopedEnv home("ORMONDHOME", m_dir.path().c_str());
  ASSERT_EQ(mkdir(m_dir.file("keyfiles").c_str(), 0700), 0);
  ASSERT_EQ(rename(m_key.c_str(), m_dir.file("keyfiles/vel.key").c_str()), 0);
  char* result = nullptr;
  int length = 0;
  ASSERT_EQ(ZAM_Decrypt(enc.data(), static_cast<int>(enc.size()), &result, &length), ZAM_OK);
  EXPECT_EQ(std::string(result), secret);
  ZAM_Free(result);
}

TEST_F(ZamTest, AlteredValueWrongKeyAndBadBase64FailWithNothingReturned) {
  std::string enc = encrypt("password1", m_key);
  std::string plain;
  ASSERT_EQ(decrypt(m_key, enc, plain), ZAM_OK);
  ASSERT_EQ(plain, "password1");

  // Any changed character of the body (IV, ciphertext or tag) fails authentication or decoding.
  size_t prefix = sizeof(ZAM_PREFIX) - 1;
  for (size_t i = prefix; i < enc.size() - 2; ++i) {  // the last two characters are padding
    std::string t = enc;
    t[i] = t[i] == 'A' ? 'B' : 'A';
    int rc = decrypt(m_key, t, plain);
    EXPECT_TRUE(rc == ZAM_E_AUTH || rc == ZAM_E_BASE64) << "position " << i << " rc " << rc;
  }
  // Cut short: the tag is gone.
  EXPECT_EQ(decrypt(m_key, enc.substr(0, enc.size() - 4), plain), ZAM_E_AUTH);
  EXPECT_EQ(decrypt(m_key, std::string(ZAM_PREFIX) + "AAAA", plain), ZAM_E_LENGTH);

  std::string otherKey = m_dir.file("other.key");
  ASSERT_EQ(runVelcrypt(m_dir, "-k '" + otherKey + "' --new-key", "").exitCode, 0);
  EXPECT_EQ(decrypt(otherKey, enc, plain), ZAM_E_AUTH);

  std::string body = enc.substr(prefix);
  EXPECT_EQ(decrypt(m_key, std::string(ZAM_PREFIX) + "!" + body.substr(1), plain), ZAM_E_BASE64);
  EXPECT_EQ(decrypt(m_key, enc + "A", plain), ZAM_E_BASE64);   // length not a multiple of 4
  EXPECT_EQ(decrypt(m_key, enc + "\n", plain), ZAM_E_BASE64);  // no blanks inside the value
  EXPECT_EQ(decrypt(m_key, std::string(ZAM_PREFIX) + "=AAA", plain), ZAM_E_BASE64);
  EXPECT_EQ(decrypt(m_key, std::string(ZAM_PREFIX), plain), ZAM_E_BASE64);
  EXPECT_EQ(decrypt(m_key, "{AES256:keyfile:b}" + body, plain), ZAM_E_FORMAT);
  EXPECT_EQ(decrypt(m_key, body, plain), ZAM_E_FORMAT);
}

TEST_F(ZamTest, MissingOrBrokenKeyFilesFailCleanly) {
  std::string enc = encrypt("pw", m_key);
  std::string plain;
  EXPECT_EQ(decrypt(m_dir.file("absent.key"), enc, plain), ZAM_E_KEYFILE);
  EXPECT_EQ(decrypt(m_dir.path(), enc, plain), ZAM_E_KEYFILE);  // a directory

  std::string shortKey = m_dir.file("short.key");
  ASSERT_TRUE(veltest::writeFile(shortKey, "AAAAAAAAAAAAAAAAAAAAAA==\n"));  // 16 bytes
  EXPECT_EQ(decrypt(shortKey, enc, plain), ZAM_E_KEY);
  std::string junkKey = m_dir.file("junk.key");
  ASSERT_TRUE(veltest::writeFile(junkKey, "not base64 at all, just words\n"));
  EXPECT_EQ(decrypt(junkKey, enc, plain), ZAM_E_KEY);
  std::string hugeKey = m_dir.file("huge.key");
  ASSERT_TRUE(veltest::writeFile(hugeKey, std::string(5000, 'A')));
  EXPECT_EQ(decrypt(hugeKey, enc, plain), ZAM_E_KEY);

  // Neither VEL_KEYFILE nor ORMONDHOME: no default location.
  ScopedEnv noKeyVar("VEL_KEYFILE", nullptr);
  ScopedEnv noHome("ORMONDHOME", nullptr);
  char* result = nullptr;
  int length = 0;
  EXPECT_EQ(ZAM_Decrypt(enc.data(), static_cast<int>(enc.size()), &result, &length), ZAM_E_KEYFILE);
  EXPECT_EQ(result, nullptr);
}

TEST_F(ZamTest, NewKeyIsPrivateAndNeverOverwritten) {
  struct stat st;
  ASSERT_EQ(stat(m_key.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::string before = veltest::readFile(m_key);
  EXPECT_EQ(before.size(), 45u);  // 44 base64 characters and a line feed

  ToolRun again = runVelcrypt(m_dir, "-k '" + m_key + "' --new-key", "");
  EXPECT_EQ(again.exitCode, 2);
  EXPECT_NE(again.err.find("exists already"), std::string::npos) << again.err;
  EXPECT_EQ(veltest::readFile(m_key), before);

  // The default location under ORMONDHOME, with its keyfiles folder created.
  ScopedEnv noKeyVar("VEL_KEYFILE", nullptr);
  ScopedEnv home("ORMONDHOME", m_dir.path().c_str());
  ToolRun made = runVelcrypt(m_dir, "--new-key", "");
  EXPECT_EQ(made.exitCode, 0) << made.err;
  ASSERT_EQ(stat(m_dir.file("keyfiles/vel.key").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_NE(veltest::readFile(m_dir.file("keyfiles/vel.key")), before);
}

TEST_F(ZamTest, VelcryptRefusesBadUsageAndBadInputWithItsExitCodes) {
  EXPECT_EQ(runVelcrypt(m_dir, "--bogus", "").exitCode, 1);
  EXPECT_EQ(runVelcrypt(m_dir, "-k", "").exitCode, 1);
  EXPECT_EQ(runVelcrypt(m_dir, "--help", "").exitCode, 0);

  EXPECT_EQ(runVelcrypt(m_dir, "-k '" + m_key + "'", "").exitCode, 3);        // empty
  EXPECT_EQ(runVelcrypt(m_dir, "-k '" + m_key + "'", "\n").exitCode, 3);      // empty line
  EXPECT_EQ(runVelcrypt(m_dir, "-k '" + m_key + "'", "a\nb\n").exitCode, 3);  // two lines
  EXPECT_EQ(runVelcrypt(m_dir, "-k '" + m_key + "'", std::string(256, 'x')).exitCode, 3);
  ToolRun longest = runVelcrypt(m_dir, "-k '" + m_key + "'", std::string(255, 'x') + "\r\n");
  EXPECT_EQ(longest.exitCode, 0) << longest.err;

  ToolRun noKey = runVelcrypt(m_dir, "-k '" + m_dir.file("absent.key") + "'", "pw\n");
  EXPECT_EQ(noKey.exitCode, 2);
  EXPECT_TRUE(noKey.out.empty());
  ScopedEnv noKeyVar("VEL_KEYFILE", nullptr);
  ScopedEnv noHome("ORMONDHOME", nullptr);
  ToolRun nowhere = runVelcrypt(m_dir, "", "pw\n");
  EXPECT_EQ(nowhere.exitCode, 2);
  EXPECT_NE(nowhere.err.find("no key file"), std::string::npos) << nowhere.err;
}

// Reads from fd until want appears, the peer closes or about two seconds pass.
std::string readUntil(int fd, const std::string& want, std::string soFar = "") {
  for (int rounds = 0; rounds < 40 && soFar.find(want) == std::string::npos; ++rounds) {
    struct pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char buf[512];
    ssize_t n = read(fd, buf, sizeof(buf));
    if (n <= 0) break;
    soFar.append(buf, static_cast<size_t>(n));
  }
  return soFar;
}

TEST_F(ZamTest, VelcryptReadsATerminalWithoutEcho) {
  std::string tool = veltest::buildDir() + "/bin/velcrypt";
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execl(tool.c_str(), "velcrypt", "-k", m_key.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string seen = readUntil(master, "Secret: ");
  EXPECT_NE(seen.find("Secret: "), std::string::npos) << seen;
  const char line[] = "tty-secret-42\n";
  ASSERT_EQ(write(master, line, sizeof(line) - 1), static_cast<ssize_t>(sizeof(line) - 1));
  // The tool prints the value and exits; the terminal then reports the end.
  seen = readUntil(master, std::string(1, '\0'), seen);
  int status = 0;
  for (int i = 0; i < 40 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(50000);
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  close(master);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(seen.find("tty-secret-42"), std::string::npos) << "the secret was echoed: " << seen;
  size_t at = seen.find(ZAM_PREFIX);
  ASSERT_NE(at, std::string::npos) << seen;
  std::string enc = seen.substr(at, seen.find('\r', at) - at);
  std::string plain;
  ASSERT_EQ(decrypt(m_key, enc, plain), ZAM_OK) << enc;
  EXPECT_EQ(plain, "tty-secret-42");
}

}  // namespace
