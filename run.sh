#!/bin/sh
# Installs what is missing, builds, and starts the viewer from its program
# folder (build/pictavio). Extra arguments go to the viewer.
set -e
cd "$(dirname "$0")"
./install-deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build --target pictavio_program
exec build/pictavio/pictavio "$@"
