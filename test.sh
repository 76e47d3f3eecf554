#!/bin/sh
# Installs what is missing, builds and runs every test through CTest.
#   ./test.sh               the normal build (build/)
#   ./test.sh --sanitize    address + undefined-behaviour sanitizers (build-asan/)
#   ./test.sh --tsan        thread sanitizer and lock annotations, with clang (build-tsan/)
#   ./test.sh --fuzz SECS   libFuzzer targets with clang, each run SECS seconds (build-fuzz/)
set -e
cd "$(dirname "$0")"
./install-deps
JOBS=$(nproc)
# A compiler cache, when one is installed, makes rebuilds of unchanged files free.
LAUNCHER=""
command -v ccache > /dev/null && LAUNCHER="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"

run_suite() { # build-dir cmake-options...
    dir=$1; shift
    cmake -S . -B "$dir" -G Ninja $LAUNCHER "$@" > /dev/null
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
    # Built with clang, whose thread-safety analysis checks the lock annotations too.
    CC=clang CXX=clang++ TSAN_OPTIONS=halt_on_error=1 \
        run_suite build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTAVIO_SANITIZE=thread -DPICTAVIO_BENCH=OFF ;;
--fuzz)
    seconds=${2:-60}
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja $LAUNCHER -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPICTAVIO_FUZZ=ON -DPICTAVIO_BENCH=OFF > /dev/null
    targets=$(for source in fuzz/*.cpp; do echo "fuzz_$(basename "$source" .cpp)"; done)
    cmake --build build-fuzz -j "$JOBS" --target $targets
    for name in $targets; do
        corpus="build-fuzz/corpus/$name"
        seeds="fuzz/seeds/${name#fuzz_}"
        mkdir -p "$corpus" "$seeds"
        echo "fuzzing $name for ${seconds}s"
        if ! "build-fuzz/fuzz/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
                -artifact_prefix="build-fuzz/$name-" "$corpus" "$seeds" > "build-fuzz/$name.log" 2>&1; then
            tail -40 "build-fuzz/$name.log"
            echo "$name found a failing input (saved under build-fuzz/)" >&2
            exit 1
        fi
        tail -1 "build-fuzz/$name.log"
    done ;;
*)
    echo "usage: ./test.sh [--sanitize | --tsan | --fuzz SECONDS]" >&2; exit 2 ;;
esac
