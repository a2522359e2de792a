#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (GUI tests on Qt's offscreen platform).
#   ./test.sh              the normal build in build/
#   ./test.sh --sanitize   the engine, command-line and fuzz-replay tests built with AddressSanitizer
#                          and UBSan in build-sanitize/ (the window tests run in the normal build)
#   ./test.sh --threads    the tests of the passes that use a second thread, built with
#                          ThreadSanitizer in build-tsan/
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$root/scripts/setup.sh"
vellomar_install_packages
if [ "${1:-}" = "--sanitize" ]; then
    shift
    cmake -S "$root" -B "$root/build-sanitize" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELLOMAR_SANITIZE=ON -DVELLOMAR_GUI=OFF >/dev/null
    cmake --build "$root/build-sanitize" --parallel "$(nproc)"
    cd "$root/build-sanitize"
    # Qt and fontconfig keep caches alive until exit; only our own leaks matter.
    export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
elif [ "${1:-}" = "--threads" ]; then
    shift
    threaded=(tst_analysis tst_repeatedchapters tst_scriptconverter tst_filewriter tst_outputpass tst_outputplan tst_overwritequestion tst_cli tst_batch tst_zipcontainer tst_epub tst_azw3)
    cmake -S "$root" -B "$root/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELLOMAR_TSAN=ON -DVELLOMAR_GUI=OFF >/dev/null
    cmake --build "$root/build-tsan" --parallel "$(nproc)" --target vellomar-cli "${threaded[@]}"
    cd "$root/build-tsan"
    # die_after_fork=0: a test runs a reference converter as a child process; the child only
    # execs it, so the threads the fork left behind do not matter.
    export TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 suppressions=$root/tests/tsan.supp"
    set -- -R "^($(IFS='|'; echo "${threaded[*]}"))\$" "$@"
else
    vellomar_build "$root"
    cd "$root/build"
fi
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 "$@"
