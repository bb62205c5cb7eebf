#!/usr/bin/env bash
# The unit layer once more as an ordinary user (nobody): nothing in it may
# need root. Tests that do (giving a folder to another user) skip those cases
# and say so. Run as root after a build into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
user=${1:-nobody}
# The user needs to read the tree and search every folder above it; nothing
# more is opened up.
chmod -R a+rX .
dir=$PWD
while [ "$dir" != / ]; do
  chmod o+x "$dir"
  dir=$(dirname "$dir")
done
mkdir -p build/Testing/Temporary
chmod -R a+rwX build/Testing
runuser -u "$user" -- env -u XDG_STATE_HOME HOME=/nonexistent \
  ctest --test-dir build -L unit -j2 --output-on-failure
