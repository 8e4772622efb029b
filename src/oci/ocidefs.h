// Our own declarations of the Oracle Call Interface: scalar types, opaque handles, constants and
// the signatures of the entry points the program resolves at run time. They match the published
// interface of the Oracle client on 64-bit Linux; nothing of the vendor's headers is used.
#ifndef VEL_OCI_OCIDEFS_H
#define VEL_OCI_OCIDEFS_H

#include <cstddef>

extern "C" {

typedef unsigned char ub1;
typedef signed char sb1;
typedef unsigned short ub2;
typedef signed short sb2;
typedef unsigned int ub4;
typedef signed int sb4;
typedef int sword;
typedef unsigned int uword;
typedef unsigned char text;
typedef unsigned char OraText;

struct OCIEnv;
struct OCIError;
struct OCISvcCtx;
struct OCIStmt;
struct OCIBind;
struct OCIDefine;
struct OCIDescribe;
struct OCIServer;
struct OCISession;
struct OCIParam;
struct OCISnapshot;

// 22 bytes: length byte, exponent byte, base-100 digits.
#define OCI_NUMBER_SIZE 22
struct OCINumber {
  ub1 OCINumberPart[OCI_NUMBER_SIZE];
};

// 8 bytes, alignment 2.
struct OCITime {
  ub1 OCITimeHH;
  ub1 OCITimeMI;
  ub1 OCITimeSS;
};
struct OCIDate {
  sb2 OCIDateYYYY;
  ub1 OCIDateMM;
  ub1 OCIDateDD;
  OCITime OCIDateTime;
};
static_assert(sizeof(OCIDate) == 8, "OCIDate is 8 bytes");
static_assert(alignof(OCIDate) == 2, "OCIDate is aligned on 2 bytes");

// Return codes.
#define OCI_SUCCESS 0
#define OCI_SUCCESS_WITH_INFO 1
#define OCI_ERROR (-1)
#define OCI_INVALID_HANDLE (-2)
#define OCI_NEED_DATA 99
#define OCI_NO_DATA 100
#define OCI_STILL_EXECUTING (-3123)
#define OCI_CONTINUE (-24200)

// Modes.
#define OCI_DEFAULT 0x0
#define OCI_THREADED 0x1
#define OCI_OBJECT 0x2

// Handle and descriptor types.
#define OCI_HTYPE_ENV 1
#define OCI_HTYPE_ERROR 2
#define OCI_HTYPE_SVCCTX 3
#define OCI_HTYPE_STMT 4
#define OCI_HTYPE_BIND 5
#define OCI_HTYPE_DEFINE 6
#define OCI_HTYPE_DESCRIBE 7
#define OCI_HTYPE_SERVER 8
#define OCI_HTYPE_SESSION 9
#define OCI_DTYPE_PARAM 53

// Credentials and session modes.
#define OCI_CRED_RDBMS 1
#define OCI_CRED_EXT 2
#define OCI_SYSDBA 0x2
#define OCI_SYSOPER 0x4
#define OCI_SYSASM 0x8000

// Statements.
#define OCI_NTV_SYNTAX 1
#define OCI_DESCRIBE_ONLY 0x10
#define OCI_COMMIT_ON_SUCCESS 0x20
#define OCI_PARSE_ONLY 0x100
#define OCI_FETCH_NEXT 0x02

// Numbers.
#define OCI_NUMBER_UNSIGNED 0
#define OCI_NUMBER_SIGNED 2

// Statement types (OCI_ATTR_STMT_TYPE).
#define OCI_STMT_SELECT 1
#define OCI_STMT_UPDATE 2
#define OCI_STMT_DELETE 3
#define OCI_STMT_INSERT 4
#define OCI_STMT_CREATE 5
#define OCI_STMT_DROP 6
#define OCI_STMT_ALTER 7
#define OCI_STMT_BEGIN 8
#define OCI_STMT_DECLARE 9

// Attributes.
#define OCI_ATTR_DATA_SIZE 1
#define OCI_ATTR_DATA_TYPE 2
#define OCI_ATTR_NONBLOCKING_MODE 3
#define OCI_ATTR_NAME 4
#define OCI_ATTR_SERVER 6
#define OCI_ATTR_SESSION 7
#define OCI_ATTR_SQLFNCODE 10
#define OCI_ATTR_PREFETCH_ROWS 11
#define OCI_ATTR_PREFETCH_MEMORY 13
#define OCI_ATTR_PARAM_COUNT 18
#define OCI_ATTR_USERNAME 22
#define OCI_ATTR_PASSWORD 23
#define OCI_ATTR_STMT_TYPE 24
#define OCI_ATTR_CHARSET_ID 31
#define OCI_ATTR_MAXDATA_SIZE 33
#define OCI_ATTR_STATEMENT 144
#define OCI_ATTR_MAX_CHARSIZE 163
#define OCI_ATTR_STMT_STATE 182
#define OCI_ATTR_CHAR_USED 285
#define OCI_ATTR_CHAR_SIZE 286

// External data types.
#define SQLT_CHR 1
#define SQLT_NUM 2
#define SQLT_INT 3
#define SQLT_STR 5
#define SQLT_VNU 6
#define SQLT_LNG 8  // LONG: text up to 2 GB
#define SQLT_DAT 12
#define SQLT_BIN 23
#define SQLT_LBI 24  // LONG RAW
#define SQLT_AFC 96
#define SQLT_IBFLOAT 100
#define SQLT_IBDOUBLE 101
#define SQLT_CLOB 112
#define SQLT_BLOB 113
#define SQLT_RSET 116
#define SQLT_ODT 156
#define SQLT_TIMESTAMP 187
#define SQLT_TIMESTAMP_TZ 188
#define SQLT_TIMESTAMP_LTZ 232

// Memory callbacks.
typedef void* (*OCIMallocFp)(void* ctxp, size_t size);
typedef void* (*OCIReallocFp)(void* ctxp, void* memptr, size_t newsize);
typedef void (*OCIFreeFp)(void* ctxp, void* memptr);

// Entry points, as function-pointer types.
typedef sword (*OCIErrorGet_t)(void* hndlp, ub4 recordno, text* sqlstate, sb4* errcodep, text* bufp,
                               ub4 bufsiz, ub4 type);
typedef void (*OCINumberSetZero_t)(OCIError* err, OCINumber* num);
typedef sword (*OCINumberToInt_t)(OCIError* err, const OCINumber* number, uword rsl_length,
                                  uword rsl_flag, void* rsl);
typedef sword (*OCINumberToText_t)(OCIError* err, const OCINumber* number, const text* fmt,
                                   ub4 fmt_length, const text* nls_params, ub4 nls_p_length,
                                   ub4* buf_size, text* buf);
typedef sword (*OCINumberRound_t)(OCIError* err, const OCINumber* number, sword decplace,
                                  OCINumber* result);
typedef sword (*OCINumberShift_t)(OCIError* err, const OCINumber* number, sword nDig,
                                  OCINumber* result);
typedef sword (*OCIBindByName_t)(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp,
                                 const text* placeholder, sb4 placeh_len, void* valuep,
                                 sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep,
                                 ub4 maxarr_len, ub4* curelep, ub4 mode);
typedef sword (*OCIDefineByPos_t)(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position,
                                  void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* rlenp,
                                  ub2* rcodep, ub4 mode);
typedef sword (*OCIInitialize_t)(ub4 mode, const void* ctxp, OCIMallocFp malocfp,
                                 OCIReallocFp ralocfp, OCIFreeFp mfreefp);
typedef sword (*OCIEnvCreate_t)(OCIEnv** envhpp, ub4 mode, const void* ctxp, OCIMallocFp malocfp,
                                OCIReallocFp ralocfp, OCIFreeFp mfreefp, size_t xtramemsz,
                                void** usrmempp);
typedef sword (*OCIEnvNlsCreate_t)(OCIEnv** envhpp, ub4 mode, const void* ctxp, OCIMallocFp malocfp,
                                   OCIReallocFp ralocfp, OCIFreeFp mfreefp, size_t xtramemsz,
                                   void** usrmempp, ub2 charset, ub2 ncharset);
typedef ub2 (*OCINlsCharSetNameToId_t)(void* envhp, const text* name);
typedef sword (*OCINlsGetInfo_t)(void* hndl, OCIError* errhp, text* buf, size_t buflen, ub2 item);
typedef sword (*OCIHandleAlloc_t)(const void* parenth, void** hndlpp, ub4 type, size_t xtramem_sz,
                                  void** usrmempp);
typedef sword (*OCIHandleFree_t)(void* hndlp, ub4 type);
typedef sword (*OCIDescriptorFree_t)(void* descp, ub4 type);
typedef sword (*OCITerminate_t)(ub4 mode);
typedef sword (*OCIServerAttach_t)(OCIServer* srvhp, OCIError* errhp, const text* dblink,
                                   sb4 dblink_len, ub4 mode);
typedef sword (*OCIServerDetach_t)(OCIServer* srvhp, OCIError* errhp, ub4 mode);
typedef sword (*OCISessionBegin_t)(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt,
                                   ub4 mode);
typedef sword (*OCISessionEnd_t)(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 mode);
typedef sword (*OCIParamGet_t)(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp,
                               ub4 pos);
typedef sword (*OCIAttrGet_t)(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                              ub4 attrtype, OCIError* errhp);
typedef sword (*OCIAttrSet_t)(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size,
                              ub4 attrtype, OCIError* errhp);
typedef sword (*OCIStmtPrepare_t)(OCIStmt* stmtp, OCIError* errhp, const text* stmt, ub4 stmt_len,
                                  ub4 language, ub4 mode);
typedef sword (*OCIStmtExecute_t)(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters,
                                  ub4 rowoff, const OCISnapshot* snap_in, OCISnapshot* snap_out,
                                  ub4 mode);
typedef sword (*OCIStmtFetch2_t)(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation,
                                 sb4 fetchOffset, ub4 mode);
typedef sword (*OCIStmtRelease_t)(OCIStmt* stmtp, OCIError* errhp, const text* key, ub4 keylen,
                                  ub4 mode);
typedef sword (*OCIBreak_t)(void* hndlp, OCIError* errhp);
typedef sword (*OCIReset_t)(void* hndlp, OCIError* errhp);
typedef void (*OCIClientVersion_t)(int* major_version, int* minor_version, int* update_num,
                                   int* patch_num, int* port_update_num);

}  // extern "C"

#endif  // VEL_OCI_OCIDEFS_H
