// The Oracle error codes the program acts on, by name. A session is rebuilt after every failed
// statement except those of the statement-error list: those say something about the statement
// text or the grants, not about the session.
#ifndef VEL_OCI_ORAERRORS_H
#define VEL_OCI_ORAERRORS_H

// A call was cancelled (OCIBreak after its time-out); the wrapper reports it for a time-out too.
constexpr int kOraCancelled = 1013;
// Invalid user name or password: log-on is not retried until the configuration changes.
constexpr int kOraInvalidLogon = 1017;
// A fetched value was cut to its buffer: the row is kept.
constexpr int kOraValueTruncated = 1406;
// A fetch ended with a truncation or a null without indicator (a warning): the row is kept.
constexpr int kOraFetchWarning = 24345;

// Statement errors: the session stays as it is after them.
// Invalid identifier (a column the database version does not have).
constexpr int kOraInvalidIdentifier = 904;
// Table or view does not exist (or is not granted).
constexpr int kOraNoSuchTable = 942;
// Name already used by an existing object.
constexpr int kOraNameInUse = 955;
// Not all variables bound.
constexpr int kOraNotAllBound = 1008;

constexpr int kOraStatementErrors[] = {kOraInvalidIdentifier, kOraNoSuchTable, kOraNameInUse,
                                       kOraNotAllBound};

#endif  // VEL_OCI_ORAERRORS_H
