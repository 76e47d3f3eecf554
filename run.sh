#!/bin/sh
# Installs what is missing, builds, and starts the viewer from its program
# folder (build/pictavio). Extra arguments go to the viewer.
#   ./run.sh --demo   shows the bundled demo album even when you have pictures
# Without --demo the demo album is used when your pictures folder is missing
# or holds no JPEG.
set -e
cd "$(dirname "$0")"
./install-deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build --target pictavio_program

pictures_folder() {
    if [ -n "$PICTAVIO_MY_DOCUMENTS" ]; then echo "$PICTAVIO_MY_DOCUMENTS"; return; fi
    dirs="${XDG_CONFIG_HOME:-$HOME/.config}/user-dirs.dirs"
    if [ -f "$dirs" ]; then
        folder=$(sed -n 's/^XDG_PICTURES_DIR="\(.*\)"/\1/p' "$dirs" | sed "s|\$HOME|$HOME|")
        [ -n "$folder" ] && { echo "$folder"; return; }
    fi
    echo "$HOME/Pictures"
}

has_jpeg() {
    [ -d "$1" ] && [ -n "$(find "$1" -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) -print -quit 2>/dev/null)" ]
}

if [ "$1" = "--demo" ]; then
    shift
    export PICTAVIO_MY_DOCUMENTS="$PWD/build/pictavio/demo"
elif ! has_jpeg "$(pictures_folder)"; then
    echo "run.sh: no pictures in $(pictures_folder), showing the demo album"
    export PICTAVIO_MY_DOCUMENTS="$PWD/build/pictavio/demo"
fi
exec build/pictavio/pictavio "$@"
