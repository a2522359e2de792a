#!/usr/bin/env bash
# Installs what is missing, builds, and starts Vellomar (a novel's path may follow).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$root/scripts/setup.sh"
vellomar_install_packages
# Only the programs: the tests are test.sh's to build.
targets=(vellomar-cli)
if cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
   cmake --build "$root/build" --target help | grep -q '^vellomar:'; then
    targets+=(vellomar)
fi
vellomar_build "$root" RelWithDebInfo "${targets[@]}"
if [ -x "$root/build/src/app/vellomar" ]; then
    exec "$root/build/src/app/vellomar" "$@"
fi
echo "Built the engine and the command line: $root/build/src/cli/vellomar-cli (try --help)."
echo "The desktop window is not built yet."
