// Start-up steps of velclient that run before the mode is known.
#ifndef VEL_MAIN_VELSTARTUP_H
#define VEL_MAIN_VELSTARTUP_H

#include <string>

class OraXMLSQLData;

// Traces every entry of the environment (env: a null-terminated array of "NAME=value" texts)
// when detailed tracing is on for the main unit. An entry that contains VEL_CONN_PASSWORD
// anywhere is traced as a fixed masked text, so the secret never reaches the trace.
void velTraceEnvironment(char** env);

// True when the process runs as the agent's collector (no command-line arguments); any argument,
// even an unknown word, selects the diagnostic command line.
inline bool velIsAgentMode(int argc) { return argc <= 1; }

// Reads the shipped catalog, binDir + "/velsql.xml", into catalog; path receives the file's path
// for the caller's failure message. The path is composed in a 2048-byte buffer: a directory too
// long for it is refused like an unreadable catalog. False when the file cannot be parsed.
bool velLoadShippedCatalog(const char* binDir, OraXMLSQLData& catalog, std::string& path);

#endif  // VEL_MAIN_VELSTARTUP_H
