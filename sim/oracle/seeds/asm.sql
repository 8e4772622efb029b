-- An ASM instance +ASM on host dbhost1 with disk groups DATA and FRA, serving database PROD.
-- velsim-mkdb asm.sql "$VELSIM_DIR/dbhost1_1521__ASM.db" serves dbhost1:1521/+ASM.
.read common.sql

INSERT INTO sim_users VALUES('monitor', 'monitor', '', 0);
INSERT INTO sim_users VALUES('sys', 'oracle', 'SYSASM,SYSDBA,SYSOPER', 0);
INSERT INTO sim_users VALUES('scott', 'tiger', '', 1);
INSERT INTO sim_users VALUES('asmsnmp', 'asmsnmp', 'SYSDBA', 0);
INSERT INTO sim_local VALUES(1);
INSERT INTO "gv$instance" VALUES(1, 1, '+ASM', 'dbhost1', '19.0.0.0.0', '19.3.0.0.0', '2026-11-30 06:12:44', 'STARTED', 'NO', 1, 'STOPPED', 'ALLOWED', 'NO', 'ACTIVE', 'UNKNOWN', 'NORMAL', 'NO', 'SINGLE', 'EE', 'REGULAR', 0);
INSERT INTO "gv$version" VALUES(1, 'Oracle Database 19c Enterprise Edition Release 19.0.0.0.0 - Production', 'Oracle Database 19c Enterprise Edition Release 19.0.0.0.0 - Production
Version 19.3.0.0.0', 'Oracle Database 19c Enterprise Edition Release 19.0.0.0.0 - Production', 0);
INSERT INTO "gv$parameter" VALUES(1, 1, 'instance_name', 2, '+ASM', '+ASM', NULL, 'FALSE', 'FALSE', 'instance name', 0);
INSERT INTO "gv$parameter" VALUES(1, 2, 'db_name', 2, '', '', NULL, 'FALSE', 'FALSE', 'db name', 0);
INSERT INTO "gv$parameter" VALUES(1, 3, 'db_unique_name', 2, '+ASM', '+ASM', NULL, 'FALSE', 'FALSE', 'db unique name', 0);
INSERT INTO "gv$parameter" VALUES(1, 4, 'cluster_database', 1, 'FALSE', 'FALSE', NULL, 'FALSE', 'FALSE', 'cluster database', 0);
INSERT INTO "gv$parameter" VALUES(1, 5, 'background_dump_dest', 2, '/u01/app/oracle/diag/asm/+asm/+ASM/trace', '/u01/app/oracle/diag/asm/+asm/+ASM/trace', NULL, 'FALSE', 'FALSE', 'background dump dest', 0);
INSERT INTO "gv$parameter" VALUES(1, 6, 'user_dump_dest', 2, '/u01/app/oracle/diag/asm/+asm/+ASM/trace', '/u01/app/oracle/diag/asm/+asm/+ASM/trace', NULL, 'FALSE', 'FALSE', 'user dump dest', 0);
INSERT INTO "gv$parameter" VALUES(1, 7, 'core_dump_dest', 2, '/u01/app/oracle/diag/asm/+asm/+ASM/cdump', '/u01/app/oracle/diag/asm/+asm/+ASM/cdump', NULL, 'FALSE', 'FALSE', 'core dump dest', 0);
INSERT INTO "gv$parameter" VALUES(1, 8, 'diagnostic_dest', 2, '/u01/app/oracle', '/u01/app/oracle', NULL, 'FALSE', 'FALSE', 'diagnostic dest', 0);
INSERT INTO "gv$parameter" VALUES(1, 9, 'audit_file_dest', 2, '/u01/app/oracle/admin/+ASM/adump', '/u01/app/oracle/admin/+ASM/adump', NULL, 'FALSE', 'FALSE', 'audit file dest', 0);
INSERT INTO "gv$parameter" VALUES(1, 10, 'db_block_size', 3, '8192', '8192', NULL, 'FALSE', 'FALSE', 'db block size', 0);
INSERT INTO "gv$parameter" VALUES(1, 11, 'processes', 3, '300', '300', NULL, 'FALSE', 'FALSE', 'processes', 0);
INSERT INTO "gv$parameter" VALUES(1, 12, 'compatible', 2, '19.0.0', '19.0.0', NULL, 'FALSE', 'FALSE', 'compatible', 0);
INSERT INTO "gv$parameter" VALUES(1, 13, 'instance_type', 2, 'ASM', 'ASM', NULL, 'FALSE', 'FALSE', 'instance type', 0);
INSERT INTO "gv$parameter" VALUES(1, 14, 'asm_diskstring', 2, '/dev/oracleasm/disks/*', '/dev/oracleasm/disks/*', NULL, 'FALSE', 'FALSE', 'asm diskstring', 0);
INSERT INTO "gv$parameter" VALUES(1, 15, 'asm_diskgroups', 2, 'DATA,FRA', 'DATA,FRA', NULL, 'FALSE', 'FALSE', 'asm diskgroups', 0);
INSERT INTO "gv$diag_info" VALUES(1, 'Diag Enabled', 'TRUE', 0);
INSERT INTO "gv$diag_info" VALUES(1, 'ADR Base', '/u01/app/oracle', 0);
INSERT INTO "gv$diag_info" VALUES(1, 'ADR Home', '/u01/app/oracle/diag/asm/+asm/+ASM', 0);
INSERT INTO "gv$diag_info" VALUES(1, 'Diag Trace', '/u01/app/oracle/diag/asm/+asm/+ASM/trace', 0);
INSERT INTO "gv$diag_info" VALUES(1, 'Diag Alert', '/u01/app/oracle/diag/asm/+asm/+ASM/alert', 0);
INSERT INTO "gv$diag_info" VALUES(1, 'Default Trace File', '/u01/app/oracle/diag/asm/+asm/+ASM/trace/+ASM_ora_4711.trc', 0);
INSERT INTO "gv$sysstat" VALUES(1, 0, 'logons cumulative', 1, 1200, 0);
INSERT INTO "gv$sysstat" VALUES(1, 1, 'logons current', 1, 41, 0);
INSERT INTO "gv$sysstat" VALUES(1, 6, 'user commits', 1, 98231, 0);
INSERT INTO "gv$sysstat" VALUES(1, 9, 'session logical reads', 1, 12873311, 0);
INSERT INTO "gv$sysstat" VALUES(1, 14, 'execute count', 1, 771200, 0);
INSERT INTO "gv$asm_diskgroup" VALUES(1, 1, 'DATA', 512, 4096, 4194304, 'MOUNTED', 'EXTERN', 102400, 61440, 0, 61440, 0, '19.0.0.0.0', '10.1.0.0.0', 0);
INSERT INTO "gv$asm_diskgroup" VALUES(1, 2, 'FRA', 512, 4096, 4194304, 'MOUNTED', 'EXTERN', 51200, 40960, 0, 40960, 0, '19.0.0.0.0', '10.1.0.0.0', 0);
INSERT INTO "gv$asm_disk" VALUES(1, 1, 0, 'DATA_0000', '/dev/oracleasm/disks/DATA1', 'NORMAL', 'ONLINE', 'CACHED', 'MEMBER', 51200, 51200, 30720, 'DATA_0000', 0);
INSERT INTO "gv$asm_disk" VALUES(1, 1, 1, 'DATA_0001', '/dev/oracleasm/disks/DATA2', 'NORMAL', 'ONLINE', 'CACHED', 'MEMBER', 51200, 51200, 30720, 'DATA_0001', 0);
INSERT INTO "gv$asm_disk" VALUES(1, 2, 0, 'FRA_0000', '/dev/oracleasm/disks/FRA1', 'NORMAL', 'ONLINE', 'CACHED', 'MEMBER', 51200, 51200, 40960, 'FRA_0000', 0);
INSERT INTO "gv$asm_client" VALUES(1, 1, 'PROD', 'PROD', 'CONNECTED', '19.0.0.0.0', '19.0.0.0.0', 0);
INSERT INTO "gv$asm_client" VALUES(1, 2, 'PROD', 'PROD', 'CONNECTED', '19.0.0.0.0', '19.0.0.0.0', 0);
