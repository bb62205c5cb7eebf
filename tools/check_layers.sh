#!/usr/bin/env bash
# Fails when a file includes a folder above its own. display/ and core/ sit at
# the bottom and include only themselves; screens/ may include both; installer/
# may include everything.
set -euo pipefail
cd "$(dirname "$0")/.."
allowed() {
  case "$1" in
  display) echo "display" ;;
  core) echo "core" ;;
  screens) echo "display core screens" ;;
  installer) echo "display core screens installer" ;;
  esac
}
status=0
for folder in display core screens installer; do
  while IFS=: read -r file line include; do
    target=${include#*\"}
    target=${target%%/*}
    case " $(allowed "$folder") " in
    *" $target "*) ;;
    *)
      echo "$file:$line: $folder/ must not include $target/: $include"
      status=1
      ;;
    esac
  done < <(grep -Hn '^#include "[a-z_]*/' "$folder"/*.h "$folder"/*.cpp 2>/dev/null || true)
done
[ "$status" = 0 ] && echo "includes point down: display, core < screens < installer"
exit "$status"
