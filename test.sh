#!/bin/sh
# Installs what is missing, builds and runs every test through CTest.
#   ./test.sh               the normal build (build/)
#   ./test.sh --sanitize    address + undefined-behaviour sanitizers (build-asan/)
#   ./test.sh --tsan        thread sanitizer (build-tsan/)
#   ./test.sh --fuzz SECS   libFuzzer targets with clang, each run SECS seconds (build-fuzz/)
set -e
cd "$(dirname "$0")"
./install-deps
JOBS=$(nproc)

run_suite() { # build-dir cmake-options...
    dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" > /dev/null
    cmake --build "$dir" -j "$JOBS"
    ctest --test-dir "$dir" --output-on-failure -j "$JOBS" --timeout 600
}

case "$1" in
"")
    run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo ;;
--sanitize)
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DPICTAVIO_SANITIZE=address -DPICTAVIO_BENCH=OFF ;;
--tsan)
    TSAN_OPTIONS=halt_on_error=1 \
        run_suite build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTAVIO_SANITIZE=thread -DPICTAVIO_BENCH=OFF ;;
--fuzz)
    seconds=${2:-60}
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPICTAVIO_FUZZ=ON -DPICTAVIO_BENCH=OFF > /dev/null
    cmake --build build-fuzz -j "$JOBS"
    for target in build-fuzz/fuzz/fuzz_*; do
        [ -x "$target" ] || continue
        corpus="build-fuzz/corpus/$(basename "$target")"
        mkdir -p "$corpus"
        echo "fuzzing $(basename "$target") for ${seconds}s"
        "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 "$corpus" fuzz/seeds/"$(basename "$target" | sed 's/^fuzz_//')" 2>&1 | tail -3
    done ;;
*)
    echo "usage: ./test.sh [--sanitize | --tsan | --fuzz SECONDS]" >&2; exit 2 ;;
esac
