#!/bin/sh
# The Linux release package, unpacked into an empty directory: the C example
# built from its headers and library and run twice in a row against one
# emulator started from its jar (the example signs off again, so the second
# run starts where the first did), then the Python package installed from
# it into a fresh virtual environment and its trvha tool driven by
# cli_test.sh.
#   package_test.sh BUILD_DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tarball=$(sh "$root/cmake/package.sh" linux "$build" "$work/out")
mkdir "$work/empty"
tar -xzf "$tarball" -C "$work/empty"
cd "$work/empty"/trvha64-*
test -f INSTALL.txt

cc -Iinclude examples/hllapi_demo.c -Llib -ltrvha64 -o hllapi_demo
/usr/bin/python3 -m venv env
env/bin/pip install --quiet --no-index ./python

unpacked=$(pwd)
python3 "$here/emulator.py" --library "$unpacked/lib/libtrvha64.so" --jar "$unpacked/java/palvero-emulator.jar" \
    --profiles "$unpacked/java/profiles" -- sh -c '
        set -e
        LD_LIBRARY_PATH=lib ./hllapi_demo A >first.txt || { cat first.txt; exit 1; }
        LD_LIBRARY_PATH=lib ./hllapi_demo A >second.txt || { cat second.txt; exit 1; }
        echo "hllapi_demo ran twice"
        unset TRVHA64_LIBRARY
        TRVHA64_LIBRARY=lib env/bin/python -c "import trvha64, sys; print(trvha64.__file__); sys.exit(0 if \"/env/\" in trvha64.__file__ else 1)"
        TRVHA64_LIBRARY=lib sh "'"$here"'/cli_test.sh" env/bin/trvha'
