#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer, libFuzzer)
# and runs each for a set time: tests/fuzz/run.sh [SECONDS-PER-TARGET] [TARGET...]
# Inputs that crash are copied to tests/fuzz/crashes/ to become regression cases.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
seconds="${1:-600}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_linereader fuzz_cinifile fuzz_recognizer fuzz_filename fuzz_epub fuzz_replacerules
    fuzz_cleanup fuzz_tidy)
source "$root/scripts/setup.sh"
VELLOMAR_PACKAGES+=(clang libclang-rt-14-dev)
vellomar_install_packages
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DVELLOMAR_FUZZ=ON -DVELLOMAR_GUI=OFF \
    -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build-fuzz" --target "${targets[@]}"
mkdir -p "$root/tests/fuzz/crashes"
status=0
for t in "${targets[@]}"; do
    work="$root/build-fuzz/corpus/$t"
    mkdir -p "$work"
    echo "== $t for ${seconds}s"
    if ! "$root/build-fuzz/tests/fuzz/$t" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
        -artifact_prefix="$root/tests/fuzz/crashes/$t-" -print_final_stats=1 \
        "$work" "$root/tests/fuzz/seeds/$t" 2>"$root/build-fuzz/$t.log"; then
        status=1
        echo "   FOUND A CRASH: see $root/build-fuzz/$t.log and tests/fuzz/crashes/"
    fi
    grep -E '^stat::number_of_executed_units|^Done' "$root/build-fuzz/$t.log" | sed 's/^/   /'
done
exit $status
