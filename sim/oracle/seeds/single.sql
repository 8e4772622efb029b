-- A single-instance database PROD on host dbhost1 (Oracle 19c, primary, archive log mode).
-- velsim-mkdb single.sql "$VELSIM_DIR/dbhost1_1521_PROD.db" serves connect string dbhost1:1521/PROD.
.read common.sql

INSERT INTO sim_users VALUES('monitor', 'monitor', '', 0);
INSERT INTO sim_users VALUES('sys', 'oracle', 'SYSDBA,SYSOPER', 0);
INSERT INTO sim_users VALUES('scott', 'tiger', '', 1);
INSERT INTO sim_local VALUES(1);
INSERT INTO "gv$instance" VALUES(1, 1, 'PROD', 'dbhost1', '19.0.0.0.0', '19.3.0.0.0', '2026-11-30 06:12:44', 'OPEN', 'NO', 1, 'STARTED', 'ALLOWED', 'NO', 'ACTIVE', 'PRIMARY_INSTANCE', 'NORMAL', 'NO', 'SINGLE', 'EE', 'REGULAR', 0);
INSERT INTO "gv$version" VALUES(1, 'Oracle Database 19c Enterprise Edition Release 19.0.0.0.0 - Production', 'Oracle Database 19c Enterprise Edition Release 19.0.0.0.0 - Production
Version 19.3.0.0.0', 'Oracle Database 19c Enterprise Edition Release 19.0.0.0.0 - Production', 0);
INSERT INTO "gv$parameter" VALUES(1, 1, 'instance_name', 2, 'PROD', 'PROD', NULL, 'FALSE', 'FALSE', 'instance name', 0);
INSERT INTO "gv$parameter" VALUES(1, 2, 'db_name', 2, 'PROD', 'PROD', NULL, 'FALSE', 'FALSE', 'db name', 0);
INSERT INTO "gv$parameter" VALUES(1, 3, 'db_unique_name', 2, 'PROD', 'PROD', NULL, 'FALSE', 'FALSE', 'db unique name', 0);
INSERT INTO "gv$parameter" VALUES(1, 4, 'cluster_database', 1, 'FALSE', 'FALSE', NULL, 'FALSE', 'FALSE', 'cluster database', 0);
INSERT INTO "gv$parameter" VALUES(1, 5, 'background_dump_dest', 2, '/u01/app/oracle/diag/rdbms/prod/PROD/trace', '/u01/app/oracle/diag/rdbms/prod/PROD/trace', NULL, 'FALSE', 'FALSE', 'background dump dest', 0);
INSERT INTO "gv$parameter" VALUES(1, 6, 'user_dump_dest', 2, '/u01/app/oracle/diag/rdbms/prod/PROD/trace', '/u01/app/oracle/diag/rdbms/prod/PROD/trace', NULL, 'FALSE', 'FALSE', 'user dump dest', 0);
INSERT INTO "gv$parameter" VALUES(1, 7, 'core_dump_dest', 2, '/u01/app/oracle/diag/rdbms/prod/PROD/cdump', '/u01/app/oracle/diag/rdbms/prod/PROD/cdump', NULL, 'FALSE', 'FALSE', 'core dump dest', 0);
INSERT INTO "gv$parameter" VALUES(1, 8, 'diagnostic_dest', 2, '/u01/app/oracle', '/u01/app/oracle', NULL, 'FALSE', 'FALSE', 'diagnostic dest', 0);
INSERT INTO "gv$parameter" VALUES(1, 9, 'audit_file_dest', 2, '/u01/app/oracle/admin/PROD/adump', '/u01/app/oracle/admin/PROD/adump', NULL, 'FALSE', 'FALSE', 'audit file dest', 0);
INSERT INTO "gv$parameter" VALUES(1, 10, 'db_block_size', 3, '8192', '8192', NULL, 'FALSE', 'FALSE', 'db block size', 0);
INSERT INTO "gv$parameter" VALUES(1, 11, 'processes', 3, '300', '300', NULL, 'FALSE', 'FALSE', 'processes', 0);
INSERT INTO "gv$parameter" VALUES(1, 12, 'compatible', 2, '19.0.0', '19.0.0', NULL, 'FALSE', 'FALSE', 'compatible', 0);
INSERT INTO "gv$parameter" VALUES(1, 13, 'instance_type', 2, 'RDBMS', 'RDBMS', NULL, 'FALSE', 'FALSE', 'instance type', 0);
INSERT INTO "gv$parameter" VALUES(1, 14, 'log_archive_dest_1', 2, 'LOCATION=/u01/app/oracle/arch/PROD', 'LOCATION=/u01/app/oracle/arch/PROD', NULL, 'FALSE', 'FALSE', 'log archive dest 1', 0);
INSERT INTO "gv$parameter" VALUES(1, 15, 'db_recovery_file_dest', 2, '/u01/app/oracle/fra', '/u01/app/oracle/fra', NULL, 'FALSE', 'FALSE', 'db recovery file dest', 0);
INSERT INTO "gv$parameter" VALUES(1, 16, 'db_recovery_file_dest_size', 6, '10737418240', '10737418240', NULL, 'FALSE', 'FALSE', 'db recovery file dest size', 0);
INSERT INTO "gv$diag_info" VALUES(1, 'Diag Enabled', 'TRUE', 0);
INSERT INTO "gv$diag_info" VALUES(1, 'ADR Base', '/u01/app/oracle', 0);
INSERT INTO "gv$diag_info" VALUES(1, 'ADR Home', '/u01/app/oracle/diag/rdbms/prod/PROD', 0);
INSERT INTO "gv$diag_info" VALUES(1, 'Diag Trace', '/u01/app/oracle/diag/rdbms/prod/PROD/trace', 0);
INSERT INTO "gv$diag_info" VALUES(1, 'Diag Alert', '/u01/app/oracle/diag/rdbms/prod/PROD/alert', 0);
INSERT INTO "gv$diag_info" VALUES(1, 'Default Trace File', '/u01/app/oracle/diag/rdbms/prod/PROD/trace/PROD_ora_4711.trc', 0);
INSERT INTO "gv$sysstat" VALUES(1, 0, 'logons cumulative', 1, 1200, 0);
INSERT INTO "gv$sysstat" VALUES(1, 1, 'logons current', 1, 41, 0);
INSERT INTO "gv$sysstat" VALUES(1, 6, 'user commits', 1, 98231, 0);
INSERT INTO "gv$sysstat" VALUES(1, 9, 'session logical reads', 1, 12873311, 0);
INSERT INTO "gv$sysstat" VALUES(1, 14, 'execute count', 1, 771200, 0);
INSERT INTO "gv$database" VALUES(1, 1234567890, 'PROD', 'PROD', '2026-01-10 10:00:00', 'ARCHIVELOG', 'READ WRITE', 'PRIMARY', 'MAXIMUM PERFORMANCE', 'MAXIMUM PERFORMANCE', 'NOT ALLOWED', 'DISABLED', 'NO', 'NO', 'Linux x86 64-bit', 'NO', 2417733, 'CURRENT', 0);
INSERT INTO "gv$session" VALUES(1, 1, 1, NULL, 'ACTIVE', 'oracle', 'dbhost', 'oracle@dbhost (PMON)', 'BACKGROUND', NULL, NULL, NULL, NULL, '2026-11-30 06:12:45', 0, 'pmon timer', 'Idle', 3, 'WAITING', 0);
INSERT INTO "gv$session" VALUES(1, 101, 4711, 'MONITOR', 'ACTIVE', 'vel', 'monhost', 'velclient@monhost', 'USER', '8f2r1kq0x7a1z', '00000000DEADBEEF', 3735928559, 'velclient', '2026-12-01 08:00:00', 2, 'SQL*Net message from client', 'Idle', 2, 'WAITING', 0);
INSERT INTO "gv$session" VALUES(1, 142, 2201, 'APP', 'ACTIVE', 'app', 'apphost', 'JDBC Thin Client', 'USER', '5zruc4v6y32f9', '000000007A3B9C10', 2050660112, 'orders', '2026-12-01 07:30:00', 15, 'db file sequential read', 'User I/O', 0, 'WAITED SHORT TIME', 0);
INSERT INTO "gv$sql" VALUES(1, '5zruc4v6y32f9', '000000007A3B9C10', 2050660112, 0, 'select o.id, o.status from orders o where o.customer_id = :1', 'select o.id, o.status from orders o where o.customer_id = :1', 51234, 912000000, 701000000, 8812345, 12011, 51234, 51240, 0, 'APP', 'orders', '2026-11-30/06:20:11', '2026-12-01 07:59:58', 3, 0);
INSERT INTO "gv$sql" VALUES(1, '8f2r1kq0x7a1z', '00000000DEADBEEF', 3735928559, 0, 'select instance_name, host_name from v$instance', 'select instance_name, host_name from v$instance', 120, 1200000, 1100000, 240, 0, 120, 120, 0, 'MONITOR', 'velclient', '2026-12-01/08:00:01', '2026-12-01 08:00:01', 3, 0);
INSERT INTO "gv$sql" VALUES(1, 'a1b2c3d4e5f6g', '0000000011223344', 287454020, 0, 'update orders set status = ''SHIPPED'' where id = :1', 'update orders set status = ''SHIPPED'' where id = :1', 9311, 311000000, 250000000, 98221, 3321, 9311, 9311, 0, 'APP', 'shipping', '2026-11-30/06:25:40', '2026-12-01 07:58:12', 6, 0);
INSERT INTO "gv$sqlarea" VALUES(1, '5zruc4v6y32f9', '000000007A3B9C10', 2050660112, 'select o.id, o.status from orders o where o.customer_id = :1', 'select o.id, o.status from orders o where o.customer_id = :1', 51234, 912000000, 701000000, 8812345, 12011, 51234, 'APP', 'orders', '2026-12-01 07:59:58', 0, 3);
INSERT INTO "gv$archive_dest" VALUES(1, 1, 'LOG_ARCHIVE_DEST_1', 'VALID', 'OPTIONAL', 'PRIMARY', '/u01/app/oracle/arch/PROD', NULL, NULL, 0);
INSERT INTO "gv$archive_dest" VALUES(1, 2, 'LOG_ARCHIVE_DEST_2', 'INACTIVE', 'OPTIONAL', 'STANDBY', NULL, NULL, NULL, 0);
INSERT INTO "gv$recovery_file_dest" VALUES(1, '/u01/app/oracle/fra', 10737418240, 2147483648, 1073741824, 42, 0);
INSERT INTO dba_users VALUES('SYS', 0, 'OPEN', NULL, NULL, 'SYSTEM', 'TEMP', '2026-01-10 10:00:00', 'DEFAULT');
INSERT INTO dba_users VALUES('SYSTEM', 9, 'OPEN', NULL, NULL, 'SYSTEM', 'TEMP', '2026-01-10 10:00:00', 'DEFAULT');
INSERT INTO dba_users VALUES('MONITOR', 110, 'OPEN', NULL, '2027-06-01 00:00:00', 'USERS', 'TEMP', '2026-02-01 09:00:00', 'DEFAULT');
INSERT INTO dba_users VALUES('APP', 111, 'OPEN', NULL, NULL, 'USERS', 'TEMP', '2026-02-01 09:00:00', 'DEFAULT');
INSERT INTO dba_users VALUES('SCOTT', 112, 'LOCKED', '2026-03-01 12:00:00', NULL, 'USERS', 'TEMP', '2026-02-01 09:00:00', 'DEFAULT');
INSERT INTO dba_tablespaces VALUES('SYSTEM', 8192, 'ONLINE', 'PERMANENT', 'LOGGING', 'LOCAL', 'SYSTEM', 'NO');
INSERT INTO dba_tablespaces VALUES('SYSAUX', 8192, 'ONLINE', 'PERMANENT', 'LOGGING', 'LOCAL', 'SYSTEM', 'NO');
INSERT INTO dba_tablespaces VALUES('UNDOTBS1', 8192, 'ONLINE', 'UNDO', 'LOGGING', 'LOCAL', 'SYSTEM', 'NO');
INSERT INTO dba_tablespaces VALUES('TEMP', 8192, 'ONLINE', 'TEMPORARY', 'NOLOGGING', 'LOCAL', 'UNIFORM', 'NO');
INSERT INTO dba_tablespaces VALUES('USERS', 8192, 'ONLINE', 'PERMANENT', 'LOGGING', 'LOCAL', 'SYSTEM', 'NO');
INSERT INTO dba_data_files VALUES('/u01/app/oracle/oradata/PROD/system01.dbf', 1, 'SYSTEM', 996147200, 121600, 'AVAILABLE', 'YES', 34359721984, 1280, 995098624, 'SYSTEM');
INSERT INTO dba_data_files VALUES('/u01/app/oracle/oradata/PROD/sysaux01.dbf', 3, 'SYSAUX', 576716800, 70400, 'AVAILABLE', 'YES', 34359721984, 1280, 575668224, 'ONLINE');
INSERT INTO dba_data_files VALUES('/u01/app/oracle/oradata/PROD/undotbs01.dbf', 4, 'UNDOTBS1', 346030080, 42240, 'AVAILABLE', 'YES', 34359721984, 640, 344981504, 'ONLINE');
INSERT INTO dba_data_files VALUES('/u01/app/oracle/oradata/PROD/users01.dbf', 7, 'USERS', 5242880, 640, 'AVAILABLE', 'YES', 34359721984, 160, 4194304, 'ONLINE');
INSERT INTO dba_temp_files VALUES('/u01/app/oracle/oradata/PROD/temp01.dbf', 1, 'TEMP', 33554432, 4096, 'ONLINE', 'YES', 34359721984, 32505856);
INSERT INTO dba_free_space VALUES('SYSTEM', 1, 120000, 8388608, 1024, 1);
INSERT INTO dba_free_space VALUES('SYSAUX', 3, 68000, 26214400, 3200, 3);
INSERT INTO dba_free_space VALUES('UNDOTBS1', 4, 100, 314572800, 38400, 4);
INSERT INTO dba_free_space VALUES('USERS', 7, 200, 1048576, 128, 7);
INSERT INTO dba_role_privs VALUES('MONITOR', 'SELECT_CATALOG_ROLE', 'NO', 'YES');
INSERT INTO dba_role_privs VALUES('SYS', 'DBA', 'YES', 'YES');
INSERT INTO dba_hist_sqltext VALUES(1234567890, '5zruc4v6y32f9', 'select o.id, o.status from orders o where o.customer_id = :1', 3, 1234567890, 0);
-- A 1,300-character statement (tab, line feed and multi-byte text in it): three SQL text pieces.
INSERT INTO dba_hist_sqltext VALUES(1234567890, '7hq2v0n6bx3ut', 'select o.id, o.status, c.name, c.city from orders o join customers c on c.id = o.customer_id
	where c.city in (''Zürich'', ''Malmö'', ''Kraków'', ''São Paulo'') and o.status = :1 and o.tag000 = ''ü'' and o.tag001 = ''ü'' and o.tag002 = ''ü'' and o.tag003 = ''ü'' and o.tag004 = ''ü'' and o.tag005 = ''ü'' and o.tag006 = ''ü'' and o.tag007 = ''ü'' and o.tag008 = ''ü'' and o.tag009 = ''ü'' and o.tag010 = ''ü'' and o.tag011 = ''ü'' and o.tag012 = ''ü'' and o.tag013 = ''ü'' and o.tag014 = ''ü'' and o.tag015 = ''ü'' and o.tag016 = ''ü'' and o.tag017 = ''ü'' and o.tag018 = ''ü'' and o.tag019 = ''ü'' and o.tag020 = ''ü'' and o.tag021 = ''ü'' and o.tag022 = ''ü'' and o.tag023 = ''ü'' and o.tag024 = ''ü'' and o.tag025 = ''ü'' and o.tag026 = ''ü'' and o.tag027 = ''ü'' and o.tag028 = ''ü'' and o.tag029 = ''ü'' and o.tag030 = ''ü'' and o.tag031 = ''ü'' and o.tag032 = ''ü'' and o.tag033 = ''ü'' and o.tag034 = ''ü'' and o.tag035 = ''ü'' and o.tag036 = ''ü'' and o.tag037 = ''ü'' and o.tag038 = ''ü'' and o.tag039 = ''ü'' and o.tag040 = ''ü'' and o.tag041 = ''ü'' and o.tag042 = ''ü'' and o.tag043 = ''ü'' and o.tag044 = ''ü'' and o.tag045 = ''ü'' and o.tag046 = ''ü'' and o.tag047 = ''ü'' and o.tag048 = ''ü'' and o.tag049 = ''ü'' and o.tag050 = ''ü'' and o.tag051 = ''ü'' and o.tag052 = ''ü'' and o.tag053 = ''ü'' and o.tag054 = ''ü'' and o.tag055 = ''ü'' and o.tag056 = ''ü'' and o.tag057 = ''ü'' and o.tag058 = ''ü'' and o.ta', 3, 1234567890, 0);
INSERT INTO dba_hist_snapshot VALUES(101, 1234567890, 1, '2026-12-01 07:00:00', '2026-12-01 08:00:00');
