// Host and process utilities: external commands, the process list, host names, time stamps,
// file times, disk sizes, environment numbers and small string helpers. Every function is
// reentrant and keeps no state between calls.
#ifndef VEL_BASE_VELUTIL_H
#define VEL_BASE_VELUTIL_H

#include <ctime>

#include "VelString.h"

// ---- External commands ----------------------------------------------------------------------

// Runs command without a shell: the text is split at spaces only (no quoting, at most 49
// arguments) and the program is searched on PATH. Its standard output is appended to out and
// its standard error to err. Returns false for a null or empty command or when the pipes or the
// child cannot be created; true once the child has ended, whatever its exit status. A program
// that cannot be started leaves a message in err. Blocks until the child has ended and been
// collected. With timeoutMs above 0 the command runs in a process group of its own, and when it
// has not ended (and closed its output) within that time the whole group is killed; the call
// then still returns true with what was collected, err ending in a line that says so, and
// *timedOut (when given) true. A child that has closed its output but does not end is waited for
// until that time (at least one second more), or 5 seconds without timeoutMs, then killed and
// collected (traced; the output stands).
bool velExecuteSystemCommand(const char* command, VelString& out, VelString& err, int timeoutMs = 0,
                             bool* timedOut = nullptr);

// Reads fd in pieces of up to 4095 bytes, appending each to out, until a read returns 0 or fails
// (an interrupted read is resumed).
void velReadFromPipe(int fd, VelString& out);

// Splits buffer in place at spaces into at most max - 1 arguments; every one of the max slots of
// args is set, unused ones to null. An argument is only taken when a space follows it, so callers
// append one space to the text.
void velMakeArgList(char** args, int max, char* buffer);

// out = the standard output of the BSD-style process list "ps axwweee" (each process's command
// line followed by its environment), from /usr/ucb/ps where it exists, else from the ps found
// on PATH. False, with the command's standard error traced, when it cannot run or prints nothing.
bool velGetPSResult(VelString& out);

// token = text up to the first of the separator characters; returns the position after the run
// of separators that follows it, or the end of text when there is none. A null text returns null
// with an empty token.
const char* velGetSplitString(const char* text, const char* separators, VelString& token);

// ---- Process-list queries (on the text of velGetPSResult) -----------------------------------

// Finds the line of process pid; among its fields after the fifth (the program path), the first
// of the form name=value gives out = value. True when found.
bool velGetEnvValueByPID(const char* psOutput, int pid, const char* name, VelString& out);
// The first line whose fifth field (the program path) contains name gives out = that field
// without its last strlen(name) characters. True when found.
bool velGetHomePathByProcessName(const char* psOutput, const char* name, VelString& out);
// The cluster home: the path of the running "/bin/crsd.bin" without that suffix.
bool velGetOracleCRSHome(const char* psOutput, VelString& out);
// The ORACLE_HOME of process pid.
bool velGetOracleHome(const char* psOutput, int pid, VelString& out);
// out = the first line printed by crsHome/bin/cemutlo -n (the cluster name). False for a null or
// empty home, a command that cannot run, or no output.
bool velGetOracleRACName(const char* crsHome, VelString& out);
// out = the first line printed by crsHome/bin/olsnodes (the first node). False as above.
bool velGetOracleRACPrimaryNode(const char* crsHome, VelString& out);

// ---- Host names -----------------------------------------------------------------------------

// out = this host's name, cut at its first '.'.
bool velGetLocalHostName(VelString& out);
// Resolves host: fullName = its canonical name when that holds a '.', address = its first IPv4
// or IPv6 address as text. False when it cannot be resolved.
bool velGetHostNameAndIP(const char* host, VelString& fullName, VelString& address);
// out = the fully qualified name that "/usr/sbin/nslookup host" prints after "Name:".
bool velGetFullyNameByNslookup(const char* host, VelString& out);
// The scan of velGetFullyNameByNslookup over the text nslookup printed: out = the field after the
// first field "Name:" of any line (fields split at spaces and tabs). True when found.
bool velFindNslookupName(const char* output, VelString& out);

// Brackets the use of the resolver; there is nothing to set up on this platform.
class velSocketHelper {
 public:
  velSocketHelper() {}
  ~velSocketHelper() {}
  velSocketHelper(const velSocketHelper&) = delete;
  velSocketHelper& operator=(const velSocketHelper&) = delete;
};

// ---- Small functions ------------------------------------------------------------------------

// out (at least 17 bytes) = the local time t in the agent's time-stamp form
// "%03d%02d%02d%02d%02d%02d000" (years since 1900, month 01-12, day, hour, minute, second);
// empty when the time cannot be converted.
void time2ct(time_t t, char* out);
// out (at least 20 bytes) = the local time t as "YYYY-MM-DD hh:mm:ss"; empty on failure.
void getTimeString(time_t t, char* out);
// The file's modification time; 0 for a null or empty path or a file that cannot be read.
long getFileLastModifiedTime(const char* path);
// Sizes in bytes of the file system that holds path: available to unprivileged users, total and
// used. All three are 0 and the result false when it cannot be measured.
bool vel_disksize(const char* path, long long& available, long long& total, long long& used);
// atoi of the environment variable when it is set and not empty, else dflt.
int vel_getEnvAsInt(const char* name, int dflt);
// Case-insensitive comparison: the difference of the first differing lower-cased characters.
// When either is null: 0 if both are, else 1.
int u_stricmp(const char* a, const char* b);
// Whether the agent's architecture code in WXA_BINARCH names a 64-bit platform; false when unset.
bool vel_isBinarch64();
// Writes v in decimal into out (at least 21 bytes); returns out.
char* vel_lltoa(char* out, long long v);
// Copies at most size - 1 bytes of in and terminates; returns the position after the terminator.
// Null for a null argument or size 0 (nothing written).
char* vel_strncpy(char* out, const char* in, unsigned size);
// In-place helpers on null-terminated text; each returns its argument (null is ignored).
// White space is tab, line feed, carriage return and space.
char* strlower(char* text);
char* trim(char* text);          // removes leading and trailing white space
char* velTrimRight(char* text);  // removes trailing white space
char* velTrim(char* text);       // removes leading and trailing white space
bool velisWhiteSpace(char c);
// Adds the lengths of the non-null values to bytes and 1 to rows.
void CountTotalRowsAndBytes(const char** values, int count, int& rows, int& bytes);

#endif  // VEL_BASE_VELUTIL_H
