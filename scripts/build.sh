#!/bin/sh
# Installs what the build needs (on Debian, as root), then configures and
# builds everything into ./build.  Usage: scripts/build.sh
set -eu
cd "$(dirname "$0")/.."

need=""
command -v cmake >/dev/null 2>&1 || need="$need cmake"
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || need="$need g++-mingw-w64-x86-64"
[ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null 2>&1 || need="$need wine64"
command -v xvfb-run >/dev/null 2>&1 || need="$need xvfb"
command -v xauth >/dev/null 2>&1 || need="$need xauth"
[ -f /usr/src/googletest/CMakeLists.txt ] || need="$need googletest"
command -v flock >/dev/null 2>&1 || need="$need util-linux"
command -v wixl >/dev/null 2>&1 || need="$need wixl"
command -v msiextract >/dev/null 2>&1 || need="$need msitools"
command -v osslsigncode >/dev/null 2>&1 || need="$need osslsigncode"
command -v openssl >/dev/null 2>&1 || need="$need openssl"
# The slow drive of the tests: a FUSE file system built with the host's compiler.
command -v fusermount3 >/dev/null 2>&1 || need="$need fuse3"
[ -f /usr/include/fuse3/fuse.h ] || need="$need libfuse3-dev"
command -v pkg-config >/dev/null 2>&1 || need="$need pkg-config"
command -v cc >/dev/null 2>&1 || need="$need gcc"
if [ -n "$need" ]; then
    echo "Installing:$need"
    if [ "$(id -u)" != 0 ]; then
        echo "Run as root, or install these Debian packages first:$need" >&2
        exit 1
    fi
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q $need
fi

if [ -f build/CMakeCache.txt ]; then
    cmake -S . -B build >/dev/null
else
    cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build build -j "$(nproc)"
