-- Schema shared by every simulated instance: the stand-in's own tables, the instance views and
-- the dictionary views the collector reads. Each seed reads this file first (".read common.sql")
-- and then fills the tables for its instance.
--
-- Every per-instance view v$X is a view over the table gv$X, whose first column inst_id names the
-- instance a row belongs to; v$X shows the rows of the instance this database file serves
-- (sim_local.inst_id). A cluster database has rows for several instances in gv$X.
--
-- Declared types are Oracle's (VARCHAR2(n), NUMBER, DATE, CLOB, RAW(n), TIMESTAMP): the stand-in
-- describes columns from them. Dates are text 'YYYY-MM-DD HH:MM:SS'.

CREATE TABLE sim_users(username TEXT, password TEXT, roles TEXT, locked INTEGER DEFAULT 0);
CREATE TABLE sim_faults(kind TEXT, pattern TEXT, code INTEGER, delay_ms INTEGER);
CREATE TABLE sim_local(inst_id NUMBER);

CREATE TABLE "gv$instance"(inst_id NUMBER, instance_number NUMBER, instance_name VARCHAR2(16), host_name VARCHAR2(64), version VARCHAR2(17), version_full VARCHAR2(17), startup_time DATE, status VARCHAR2(12), parallel VARCHAR2(3), "thread#" NUMBER, archiver VARCHAR2(7), logins VARCHAR2(10), shutdown_pending VARCHAR2(3), database_status VARCHAR2(17), instance_role VARCHAR2(18), active_state VARCHAR2(9), blocked VARCHAR2(3), database_type VARCHAR2(15), edition VARCHAR2(7), instance_mode VARCHAR2(11), con_id NUMBER);
CREATE VIEW "v$instance" AS SELECT instance_number, instance_name, host_name, version, version_full, startup_time, status, parallel, "thread#", archiver, logins, shutdown_pending, database_status, instance_role, active_state, blocked, database_type, edition, instance_mode, con_id FROM "gv$instance"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$database"(inst_id NUMBER, dbid NUMBER, name VARCHAR2(9), db_unique_name VARCHAR2(30), created DATE, log_mode VARCHAR2(12), open_mode VARCHAR2(20), database_role VARCHAR2(16), protection_mode VARCHAR2(20), protection_level VARCHAR2(20), switchover_status VARCHAR2(20), dataguard_broker VARCHAR2(8), force_logging VARCHAR2(39), flashback_on VARCHAR2(18), platform_name VARCHAR2(101), cdb VARCHAR2(3), current_scn NUMBER, controlfile_type VARCHAR2(7), con_id NUMBER);
CREATE VIEW "v$database" AS SELECT dbid, name, db_unique_name, created, log_mode, open_mode, database_role, protection_mode, protection_level, switchover_status, dataguard_broker, force_logging, flashback_on, platform_name, cdb, current_scn, controlfile_type, con_id FROM "gv$database"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$version"(inst_id NUMBER, banner VARCHAR2(80), banner_full VARCHAR2(160), banner_legacy VARCHAR2(80), con_id NUMBER);
CREATE VIEW "v$version" AS SELECT banner, banner_full, banner_legacy, con_id FROM "gv$version"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$parameter"(inst_id NUMBER, num NUMBER, name VARCHAR2(80), type NUMBER, value VARCHAR2(4000), display_value VARCHAR2(4000), default_value VARCHAR2(255), isdefault VARCHAR2(9), ismodified VARCHAR2(10), description VARCHAR2(255), con_id NUMBER);
CREATE VIEW "v$parameter" AS SELECT num, name, type, value, display_value, default_value, isdefault, ismodified, description, con_id FROM "gv$parameter"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$diag_info"(inst_id NUMBER, name VARCHAR2(64), value VARCHAR2(512), con_id NUMBER);
CREATE VIEW "v$diag_info" AS SELECT name, value, con_id FROM "gv$diag_info"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$session"(inst_id NUMBER, sid NUMBER, "serial#" NUMBER, username VARCHAR2(128), status VARCHAR2(8), osuser VARCHAR2(128), machine VARCHAR2(64), program VARCHAR2(84), type VARCHAR2(10), sql_id VARCHAR2(13), sql_address RAW(8), sql_hash_value NUMBER, module VARCHAR2(64), logon_time DATE, last_call_et NUMBER, event VARCHAR2(64), wait_class VARCHAR2(64), seconds_in_wait NUMBER, state VARCHAR2(19), con_id NUMBER);
CREATE VIEW "v$session" AS SELECT sid, "serial#", username, status, osuser, machine, program, type, sql_id, sql_address, sql_hash_value, module, logon_time, last_call_et, event, wait_class, seconds_in_wait, state, con_id FROM "gv$session"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$sql"(inst_id NUMBER, sql_id VARCHAR2(13), address RAW(8), hash_value NUMBER, child_number NUMBER, sql_text VARCHAR2(1000), sql_fulltext CLOB, executions NUMBER, elapsed_time NUMBER, cpu_time NUMBER, buffer_gets NUMBER, disk_reads NUMBER, rows_processed NUMBER, parse_calls NUMBER, sorts NUMBER, parsing_schema_name VARCHAR2(128), module VARCHAR2(64), first_load_time VARCHAR2(19), last_active_time DATE, command_type NUMBER, con_id NUMBER);
CREATE VIEW "v$sql" AS SELECT sql_id, address, hash_value, child_number, sql_text, sql_fulltext, executions, elapsed_time, cpu_time, buffer_gets, disk_reads, rows_processed, parse_calls, sorts, parsing_schema_name, module, first_load_time, last_active_time, command_type, con_id FROM "gv$sql"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$sqlarea"(inst_id NUMBER, sql_id VARCHAR2(13), address RAW(8), hash_value NUMBER, sql_text VARCHAR2(1000), sql_fulltext CLOB, executions NUMBER, elapsed_time NUMBER, cpu_time NUMBER, buffer_gets NUMBER, disk_reads NUMBER, rows_processed NUMBER, parsing_schema_name VARCHAR2(128), module VARCHAR2(64), last_active_time DATE, con_id NUMBER, command_type NUMBER);
CREATE VIEW "v$sqlarea" AS SELECT sql_id, address, hash_value, sql_text, sql_fulltext, executions, elapsed_time, cpu_time, buffer_gets, disk_reads, rows_processed, parsing_schema_name, module, last_active_time, con_id, command_type FROM "gv$sqlarea"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$sysstat"(inst_id NUMBER, "statistic#" NUMBER, name VARCHAR2(64), class NUMBER, value NUMBER, con_id NUMBER);
CREATE VIEW "v$sysstat" AS SELECT "statistic#", name, class, value, con_id FROM "gv$sysstat"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$archive_dest"(inst_id NUMBER, dest_id NUMBER, dest_name VARCHAR2(256), status VARCHAR2(9), binding VARCHAR2(9), target VARCHAR2(16), destination VARCHAR2(256), db_unique_name VARCHAR2(30), error VARCHAR2(256), con_id NUMBER);
CREATE VIEW "v$archive_dest" AS SELECT dest_id, dest_name, status, binding, target, destination, db_unique_name, error, con_id FROM "gv$archive_dest"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$dataguard_status"(inst_id NUMBER, facility VARCHAR2(24), severity VARCHAR2(13), dest_id NUMBER, message_num NUMBER, error_code NUMBER, callout VARCHAR2(3), "timestamp" DATE, message VARCHAR2(256), con_id NUMBER);
CREATE VIEW "v$dataguard_status" AS SELECT facility, severity, dest_id, message_num, error_code, callout, "timestamp", message, con_id FROM "gv$dataguard_status"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$managed_standby"(inst_id NUMBER, process VARCHAR2(9), pid VARCHAR2(24), status VARCHAR2(12), client_process VARCHAR2(8), "sequence#" NUMBER, "thread#" NUMBER, "block#" NUMBER, blocks NUMBER, con_id NUMBER);
CREATE VIEW "v$managed_standby" AS SELECT process, pid, status, client_process, "sequence#", "thread#", "block#", blocks, con_id FROM "gv$managed_standby"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$dataguard_stats"(inst_id NUMBER, source_dbid NUMBER, source_db_unique_name VARCHAR2(30), name VARCHAR2(32), value VARCHAR2(64), unit VARCHAR2(30), time_computed VARCHAR2(30), datum_time VARCHAR2(30), con_id NUMBER);
CREATE VIEW "v$dataguard_stats" AS SELECT source_dbid, source_db_unique_name, name, value, unit, time_computed, datum_time, con_id FROM "gv$dataguard_stats"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$archive_gap"(inst_id NUMBER, "thread#" NUMBER, "low_sequence#" NUMBER, "high_sequence#" NUMBER, con_id NUMBER);
CREATE VIEW "v$archive_gap" AS SELECT "thread#", "low_sequence#", "high_sequence#", con_id FROM "gv$archive_gap"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$recovery_file_dest"(inst_id NUMBER, name VARCHAR2(513), space_limit NUMBER, space_used NUMBER, space_reclaimable NUMBER, number_of_files NUMBER, con_id NUMBER);
CREATE VIEW "v$recovery_file_dest" AS SELECT name, space_limit, space_used, space_reclaimable, number_of_files, con_id FROM "gv$recovery_file_dest"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$asm_diskgroup"(inst_id NUMBER, group_number NUMBER, name VARCHAR2(30), sector_size NUMBER, block_size NUMBER, allocation_unit_size NUMBER, state VARCHAR2(11), type VARCHAR2(6), total_mb NUMBER, free_mb NUMBER, required_mirror_free_mb NUMBER, usable_file_mb NUMBER, offline_disks NUMBER, compatibility VARCHAR2(60), database_compatibility VARCHAR2(60), con_id NUMBER);
CREATE VIEW "v$asm_diskgroup" AS SELECT group_number, name, sector_size, block_size, allocation_unit_size, state, type, total_mb, free_mb, required_mirror_free_mb, usable_file_mb, offline_disks, compatibility, database_compatibility, con_id FROM "gv$asm_diskgroup"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$asm_disk"(inst_id NUMBER, group_number NUMBER, disk_number NUMBER, name VARCHAR2(30), path VARCHAR2(256), state VARCHAR2(8), mode_status VARCHAR2(7), mount_status VARCHAR2(7), header_status VARCHAR2(12), os_mb NUMBER, total_mb NUMBER, free_mb NUMBER, failgroup VARCHAR2(30), con_id NUMBER);
CREATE VIEW "v$asm_disk" AS SELECT group_number, disk_number, name, path, state, mode_status, mount_status, header_status, os_mb, total_mb, free_mb, failgroup, con_id FROM "gv$asm_disk"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
CREATE TABLE "gv$asm_client"(inst_id NUMBER, group_number NUMBER, instance_name VARCHAR2(64), db_name VARCHAR2(8), status VARCHAR2(12), software_version VARCHAR2(60), compatible_version VARCHAR2(60), con_id NUMBER);
CREATE VIEW "v$asm_client" AS SELECT group_number, instance_name, db_name, status, software_version, compatible_version, con_id FROM "gv$asm_client"
  WHERE inst_id = (SELECT inst_id FROM sim_local);

-- V$SQLSTATS: one row per statement (SQL_ID) of V$SQL, its figures summed over the children.
CREATE VIEW "gv$sqlstats" AS SELECT inst_id, MAX(sql_text) AS sql_text, MAX(sql_fulltext) AS sql_fulltext, sql_id, MAX(last_active_time) AS last_active_time, SUM(parse_calls) AS parse_calls, SUM(disk_reads) AS disk_reads, SUM(buffer_gets) AS buffer_gets, SUM(rows_processed) AS rows_processed, SUM(executions) AS executions, SUM(cpu_time) AS cpu_time, SUM(elapsed_time) AS elapsed_time, SUM(sorts) AS sorts, MAX(con_id) AS con_id FROM "gv$sql" GROUP BY inst_id, sql_id;
CREATE VIEW "v$sqlstats" AS SELECT sql_text, sql_fulltext, sql_id, last_active_time, parse_calls, disk_reads, buffer_gets, rows_processed, executions, cpu_time, elapsed_time, sorts, con_id FROM "gv$sqlstats"
  WHERE inst_id = (SELECT inst_id FROM sim_local);
-- V$ASM_DISKGROUP_STAT shows the same figures as V$ASM_DISKGROUP without a disk discovery.
CREATE VIEW "gv$asm_diskgroup_stat" AS SELECT * FROM "gv$asm_diskgroup";
CREATE VIEW "v$asm_diskgroup_stat" AS SELECT * FROM "v$asm_diskgroup";

CREATE TABLE dba_users(username VARCHAR2(128), user_id NUMBER, account_status VARCHAR2(32), lock_date DATE, expiry_date DATE, default_tablespace VARCHAR2(30), temporary_tablespace VARCHAR2(30), created DATE, profile VARCHAR2(128));
CREATE TABLE dba_tablespaces(tablespace_name VARCHAR2(30), block_size NUMBER, status VARCHAR2(9), contents VARCHAR2(21), logging VARCHAR2(9), extent_management VARCHAR2(10), allocation_type VARCHAR2(9), bigfile VARCHAR2(3));
CREATE TABLE dba_data_files(file_name VARCHAR2(513), file_id NUMBER, tablespace_name VARCHAR2(30), bytes NUMBER, blocks NUMBER, status VARCHAR2(9), autoextensible VARCHAR2(3), maxbytes NUMBER, increment_by NUMBER, user_bytes NUMBER, online_status VARCHAR2(7));
CREATE TABLE dba_temp_files(file_name VARCHAR2(513), file_id NUMBER, tablespace_name VARCHAR2(30), bytes NUMBER, blocks NUMBER, status VARCHAR2(7), autoextensible VARCHAR2(3), maxbytes NUMBER, user_bytes NUMBER);
CREATE TABLE dba_free_space(tablespace_name VARCHAR2(30), file_id NUMBER, block_id NUMBER, bytes NUMBER, blocks NUMBER, relative_fno NUMBER);
CREATE TABLE dba_hist_sqltext(dbid NUMBER, sql_id VARCHAR2(13), sql_text CLOB, command_type NUMBER, con_dbid NUMBER, con_id NUMBER);
CREATE TABLE dba_hist_snapshot(snap_id NUMBER, dbid NUMBER, instance_number NUMBER, begin_interval_time TIMESTAMP, end_interval_time TIMESTAMP);
CREATE TABLE dba_role_privs(grantee VARCHAR2(128), granted_role VARCHAR2(128), admin_option VARCHAR2(3), default_role VARCHAR2(3));

-- The control file's view of tablespaces and files (what a mounted standby can read), derived
-- from the dictionary tables above: a tablespace's number is its row's position in
-- dba_tablespaces, counted from 0.
CREATE VIEW "v$tablespace" AS SELECT t.rowid - 1 AS "ts#", t.tablespace_name AS name, 'YES' AS included_in_database_backup, t.bigfile AS bigfile, 'NO' AS flashback_on, NULL AS encrypt_in_backup, 0 AS con_id FROM dba_tablespaces t;
CREATE VIEW "v$datafile" AS SELECT f.file_id AS "file#", (SELECT t.rowid - 1 FROM dba_tablespaces t WHERE t.tablespace_name = f.tablespace_name) AS "ts#", f.online_status AS status, 'READ WRITE' AS enabled, f.bytes AS bytes, f.blocks AS blocks, 8192 AS block_size, f.file_name AS name, 0 AS con_id FROM dba_data_files f;
CREATE VIEW "v$tempfile" AS SELECT f.file_id AS "file#", (SELECT t.rowid - 1 FROM dba_tablespaces t WHERE t.tablespace_name = f.tablespace_name) AS "ts#", f.status AS status, 'READ WRITE' AS enabled, f.bytes AS bytes, f.blocks AS blocks, 8192 AS block_size, f.file_name AS name, 0 AS con_id FROM dba_temp_files f;

-- The CDB_ views of 12.1 and later: the DBA_ rows with the container, 0 in a database that is
-- not a container database.
CREATE VIEW cdb_tablespaces AS SELECT t.*, 0 AS con_id FROM dba_tablespaces t;
CREATE VIEW cdb_data_files AS SELECT f.*, 0 AS con_id FROM dba_data_files f;
CREATE VIEW cdb_temp_files AS SELECT f.*, 0 AS con_id FROM dba_temp_files f;
CREATE VIEW cdb_free_space AS SELECT f.*, 0 AS con_id FROM dba_free_space f;
