#!/bin/sh
# Builds the databases of the simulated instances from the seeds into $VELSIM_DIR (or the folder
# given with -d), each under the file name the stand-in derives from its connect string:
#   dbhost1:1521/PROD    -> dbhost1_1521_PROD.db     (single.sql)
#   rac-scan:1521/RACDB  -> rac-scan_1521_RACDB.db   (rac.sql)
#   dbhost1:1521/+ASM    -> dbhost1_1521__ASM.db     (asm.sql)
#   sbhost1:1521/PRODSB  -> sbhost1_1521_PRODSB.db   (standby.sql)
# With -a ALERT_DIR every instance writes its alert log into ALERT_DIR: its trace folder
# (background_dump_dest and the "Diag Trace" of v$diag_info) is ALERT_DIR, so the alert logs are
# ALERT_DIR/alert_<instance>.log (alert_PROD.log, alert_RACDB1.log, alert_+ASM.log ...).
# usage: mkdb.sh [-b BUILD_DIR] [-d OUT_DIR] [-a ALERT_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build="$here/../../build"
out="${VELSIM_DIR:-}"
alert=
while getopts a:b:d: opt; do
  case $opt in
    b) build=$OPTARG ;;
    d) out=$OPTARG ;;
    a) alert=$OPTARG ;;
    *) echo "usage: $0 [-b BUILD_DIR] [-d OUT_DIR] [-a ALERT_DIR]" >&2; exit 2 ;;
  esac
done
if [ -z "$out" ]; then
  echo "mkdb.sh: set VELSIM_DIR or give -d OUT_DIR" >&2
  exit 2
fi
mkdb="$build/sim/velsim-mkdb"
if [ ! -x "$mkdb" ]; then
  echo "mkdb.sh: $mkdb not built (cmake --build $build --target velsim-mkdb)" >&2
  exit 1
fi
mkdir -p "$out"
set --
if [ -n "$alert" ]; then
  # The folder as an SQL literal: single quotes doubled.
  quoted=$(printf '%s' "$alert" | sed "s/'/''/g")
  cat >"$out/alert_dest.sql" <<EOF
UPDATE "gv\$parameter" SET value = '$quoted', display_value = '$quoted'
 WHERE name = 'background_dump_dest';
UPDATE "gv\$diag_info" SET value = '$quoted' WHERE name = 'Diag Trace';
EOF
  set -- "$out/alert_dest.sql"
fi
"$mkdb" "$here/seeds/single.sql" "$@" "$out/dbhost1_1521_PROD.db"
"$mkdb" "$here/seeds/rac.sql" "$@" "$out/rac-scan_1521_RACDB.db"
"$mkdb" "$here/seeds/asm.sql" "$@" "$out/dbhost1_1521__ASM.db"
"$mkdb" "$here/seeds/standby.sql" "$@" "$out/sbhost1_1521_PRODSB.db"
rm -f "$out/alert_dest.sql"
echo "mkdb.sh: databases written to $out"
