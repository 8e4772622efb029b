// The collector's start-up in agent mode, its registration and its teardown.
#ifndef VEL_MAIN_VELMAIN_H
#define VEL_MAIN_VELMAIN_H

class OraXMLSQLData;

// The whole run of the program; returns the process exit code (0 after a clean shutdown; 1 when
// the Oracle client cannot be loaded, the OCI environment cannot be created or AGENT_REF_FILE is
// missing; 2 when AGENT_BIN_DIR or ATTRLIB is missing; -1 when velsql.xml cannot be parsed; 3
// when the link cannot be opened or the registration fails).
int velMain(int argc, char** argv);

// Traces the Oracle client version when the client tells it.
void printClientVersion();

// Registers name (as table name and handle) with version; the link's result, 0 for a null name.
int registerAttrGroup(const char* name, int version);
// Registers the fixed groups in order, then the catalog's simple-SQL entries in catalog order,
// then completes the registration. 0, -4 when a registration failed, or the completion's result.
int registerAttrGroups(const OraXMLSQLData& catalog);

#endif  // VEL_MAIN_VELMAIN_H
