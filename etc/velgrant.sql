-- velgrant.sql: creates (or updates) the database user that velclient logs on with, with the
-- least privileges the shipped catalog (velsql.xml) needs: CREATE SESSION and SELECT on exactly
-- the views the catalog reads, nothing more.
--
-- Run it in SQL*Plus as a user with SYSDBA (or one allowed to create users and grant on SYS
-- objects), giving the user name and its password:
--
--   Database that is not a container database (11.2 and later), or one pluggable database
--   (connect to the PDB's service; the user is local to it):
--       sqlplus / as sysdba @velgrant.sql VELMON 'password'
--
--   Container database (12.1 and later), one common user for the root and every PDB:
--   connect to CDB$ROOT and give a common user name (beginning with C##):
--       sqlplus / as sysdba @velgrant.sql C##VELMON 'password'
--   The user is created and granted in every container (CONTAINER=ALL), and may see the rows
--   of every container in the V$ and CDB_ views (CONTAINER_DATA=ALL).
--
--   RAC: run it once, on any instance. Data Guard: run it on the primary; the standby gets the
--   user and its grants with the redo.
--
--   ASM instances have no data dictionary: velclient logs on to them with a user of the ASM
--   password file and the role SYSASM or SYSDBA (VEL_CONN_MODE), for example ASMSNMP.
--
-- The password may hold a single quote (quote the argument for the shell: "Secret'2026"), but not
-- a double quote: the script stops with "the password must not contain a double quote".
--
-- Running it again is safe: an existing user gets the password given and the grants below again;
-- grants made by hand are left as they are. A view that the database's release does not have
-- (the CDB_ views before 12.1) is skipped with a message. DBA_HIST_SQLTEXT belongs to the
-- Automatic Workload Repository; reading it needs the Diagnostics Pack licence.
--
-- Then store the password for velclient (velcrypt prints its encrypted form) and check the
-- connection and the grants with "velclient test" (see docs/operating.md).

SET VERIFY OFF
SET SERVEROUTPUT ON
WHENEVER SQLERROR EXIT FAILURE

DECLARE
  TYPE t_names IS TABLE OF VARCHAR2(128);
  -- The views of velsql.xml. V$ and GV$ names are public synonyms; the grants go to the SYS
  -- views behind them (V_$ and GV_$).
  v_views t_names := t_names(
    -- views:begin
    'V_$INSTANCE',
    'GV_$INSTANCE',
    'V_$PARAMETER',
    'GV_$PARAMETER',
    'V_$DATABASE',
    'V_$DIAG_INFO',
    'GV_$DIAG_INFO',
    'V_$SQLAREA',
    'GV_$SQLAREA',
    'V_$SQLSTATS',
    'GV_$SQLSTATS',
    'V_$SYSSTAT',
    'GV_$SYSSTAT',
    'V_$SESSION',
    'GV_$SESSION',
    'V_$DATAGUARD_STATUS',
    'V_$ARCHIVE_DEST',
    'GV_$ARCHIVE_DEST',
    'V_$RECOVERY_FILE_DEST',
    'V_$DATAFILE',
    'V_$TEMPFILE',
    'V_$TABLESPACE',
    'V_$ASM_DISKGROUP_STAT',
    'V_$ASM_DISK',
    'DBA_HIST_SQLTEXT',
    'DBA_TABLESPACES',
    'DBA_DATA_FILES',
    'DBA_TEMP_FILES',
    'DBA_FREE_SPACE',
    'CDB_TABLESPACES',
    'CDB_DATA_FILES',
    'CDB_TEMP_FILES',
    'CDB_FREE_SPACE'
    -- views:end
  );
  v_user      VARCHAR2(128) := UPPER('&1');
  -- Quoted with q'"..."', so that a single quote in the password is taken as it is; a double
  -- quote is refused below.
  v_password  VARCHAR2(128) := q'"&2"';
  v_container VARCHAR2(20) := NULL;
  v_common    BOOLEAN := FALSE;
  v_count     NUMBER;
BEGIN
  IF v_user IS NULL OR v_password IS NULL THEN
    RAISE_APPLICATION_ERROR(-20001, 'usage: @velgrant.sql <user> <password>');
  END IF;
  -- The password is given to CREATE/ALTER USER as a quoted identifier, which cannot hold a double
  -- quote (nor can an Oracle password).
  IF INSTR(v_password, '"') > 0 THEN
    RAISE_APPLICATION_ERROR(-20003, 'the password must not contain a double quote (")');
  END IF;
  -- A common user (C##...) in the root of a container database is created in every container.
  IF v_user LIKE 'C##%' THEN
    BEGIN
      EXECUTE IMMEDIATE 'SELECT SYS_CONTEXT(''USERENV'', ''CON_NAME'') FROM dual' INTO v_container;
    EXCEPTION
      WHEN OTHERS THEN v_container := NULL;  -- before 12.1: no containers
    END;
    IF v_container <> 'CDB$ROOT' OR v_container IS NULL THEN
      RAISE_APPLICATION_ERROR(-20002, 'a C## user is created in CDB$ROOT of a container database');
    END IF;
    v_common := TRUE;
    v_container := ' CONTAINER=ALL';
  END IF;

  SELECT COUNT(*) INTO v_count FROM dba_users WHERE username = v_user;
  IF v_count = 0 THEN
    EXECUTE IMMEDIATE 'CREATE USER "' || v_user || '" IDENTIFIED BY "' || v_password || '"'
                      || v_container;
    DBMS_OUTPUT.PUT_LINE('Created user ' || v_user);
  ELSE
    EXECUTE IMMEDIATE 'ALTER USER "' || v_user || '" IDENTIFIED BY "' || v_password || '"'
                      || v_container;
    DBMS_OUTPUT.PUT_LINE('Updated user ' || v_user);
  END IF;
  EXECUTE IMMEDIATE 'GRANT CREATE SESSION TO "' || v_user || '"' || v_container;

  FOR i IN 1 .. v_views.COUNT LOOP
    SELECT COUNT(*) INTO v_count FROM dba_objects
     WHERE owner = 'SYS' AND object_name = v_views(i) AND object_type = 'VIEW';
    IF v_count > 0 THEN
      EXECUTE IMMEDIATE 'GRANT SELECT ON SYS.' || v_views(i) || ' TO "' || v_user || '"'
                        || v_container;
    ELSE
      DBMS_OUTPUT.PUT_LINE('Skipped ' || v_views(i) || ': not in this release');
    END IF;
  END LOOP;

  IF v_common THEN
    EXECUTE IMMEDIATE 'ALTER USER "' || v_user || '" SET CONTAINER_DATA=ALL CONTAINER=CURRENT';
  END IF;
  DBMS_OUTPUT.PUT_LINE('Granted CREATE SESSION and SELECT on ' || v_views.COUNT
                       || ' views to ' || v_user);
END;
/

UNDEFINE 1
UNDEFINE 2
EXIT
