#!/bin/sh
# Builds the databases of the simulated instances from the seeds into $VELSIM_DIR (or the folder
# given with -d), each under the file name the stand-in derives from its connect string:
#   dbhost1:1521/PROD    -> dbhost1_1521_PROD.db     (single.sql)
#   rac-scan:1521/RACDB  -> rac-scan_1521_RACDB.db   (rac.sql)
#   dbhost1:1521/+ASM    -> dbhost1_1521__ASM.db     (asm.sql)
#   sbhost1:1521/PRODSB  -> sbhost1_1521_PRODSB.db   (standby.sql)
# usage: mkdb.sh [-b BUILD_DIR] [-d OUT_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build="$here/../../build"
out="${VELSIM_DIR:-}"
while getopts b:d: opt; do
  case $opt in
    b) build=$OPTARG ;;
    d) out=$OPTARG ;;
    *) echo "usage: $0 [-b BUILD_DIR] [-d OUT_DIR]" >&2; exit 2 ;;
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
"$mkdb" "$here/seeds/single.sql" "$out/dbhost1_1521_PROD.db"
"$mkdb" "$here/seeds/rac.sql" "$out/rac-scan_1521_RACDB.db"
"$mkdb" "$here/seeds/asm.sql" "$out/dbhost1_1521__ASM.db"
"$mkdb" "$here/seeds/standby.sql" "$out/sbhost1_1521_PRODSB.db"
echo "mkdb.sh: databases written to $out"
