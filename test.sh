#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (GUI tests on Qt's offscreen platform).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$root/scripts/setup.sh"
vellomar_install_packages
vellomar_build "$root"
cd "$root/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 "$@"
