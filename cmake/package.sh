#!/bin/sh
# Builds a release package from a finished build:
#   cmake/package.sh linux   BUILD_DIR OUT_DIR   -> OUT_DIR/trvha64-<version>-linux-x86_64.tar.gz
#   cmake/package.sh windows BUILD_DIR OUT_DIR   -> OUT_DIR/trvha64-<version>-windows-x64.zip
# The emulator jar must have been built (java/build.sh). Prints the package's
# path. Needs only sh, tar and python3 (for the zip).
set -eu

kind=$1 build=$2 out=$3
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^version = "\(.*\)"/\1/p' "$root/python/pyproject.toml")
jar="$root/java/build/palvero-emulator.jar"

for f in "$jar"; do
    [ -f "$f" ] || { echo "package.sh: missing $f (run java/build.sh)" >&2; exit 2; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

case "$kind" in
    linux) name="trvha64-$version-linux-x86_64" ;;
    windows) name="trvha64-$version-windows-x64" ;;
    *) echo "package.sh: linux or windows, not $kind" >&2; exit 2 ;;
esac
top="$stage/$name"
mkdir -p "$top/include" "$top/lib" "$top/java" "$top/examples" "$top/docs"
cp "$root"/include/*.h "$top/include/"
cp "$jar" "$top/java/"
cp -r "$root/java/profiles" "$top/java/profiles"
cp "$root"/examples/*.c "$top/examples/"
cp "$root/docs/functions.md" "$top/docs/"
# The Python package's sources, without caches.
mkdir -p "$top/python"
cp "$root/python/pyproject.toml" "$root/python/README.md" "$top/python/"
cp -r "$root/python/trvha64" "$root/python/wheel_backend" "$top/python/"
find "$top/python" -name __pycache__ -prune -exec rm -rf {} +

if [ "$kind" = linux ]; then
    cp "$build/libtrvha64.so" "$top/lib/"
    cat > "$top/INSTALL.txt" <<EOF
trvha64 $version for Linux x86-64

lib/libtrvha64.so    the library (callers and the emulator load the same file)
include/             the C headers; docs/functions.md every EHLLAPI function
java/                the reference emulator (palvero-emulator.jar, JDK 17) and its profiles
examples/            C example programs
python/              the Python package and the trvha command-line tool

Start the emulator (one namespace for it and its callers):
  export TRVHA64_NAMESPACE=mine
  java -cp java/palvero-emulator.jar com.ombrel.eQintra.hllbridge.HeadlessEmulator \\
       --library \$PWD/lib/libtrvha64.so --profiles java/profiles demo=A
It prints "ready ..." when session A is offered; "quit" ends it.

C:       cc -Iinclude examples/hllapi_demo.c -Llib -ltrvha64 -o hllapi_demo
         LD_LIBRARY_PATH=\$PWD/lib ./hllapi_demo A
Python:  python3 -m venv env && env/bin/pip install ./python   (needs no package index)
         export TRVHA64_LIBRARY=\$PWD/lib/libtrvha64.so
         trvha sessions; trvha screen A
EOF
    tar -czf "$out/$name.tar.gz" -C "$stage" "$name"
    echo "$out/$name.tar.gz"
else
    cp "$build/bin/trvha64.dll" "$top/lib/"
    cp "$build/libtrvha64.dll.a" "$top/lib/"
    cp "$root/resources/trvha64.def" "$top/lib/"
    for example in hllapi_demo winhllapi_demo utlapi_demo; do
        [ -f "$build/bin/$example.exe" ] && cp "$build/bin/$example.exe" "$top/examples/"
    done
    cat > "$top/INSTALL.txt" <<EOF
trvha64 $version for Windows x64

lib\\trvha64.dll       the library: copy it beside your program or onto PATH
lib\\libtrvha64.dll.a  the import library (MinGW; lib\\trvha64.def lists the ordinals)
include\\              the C headers; docs\\functions.md every EHLLAPI function
java\\                 the reference emulator (palvero-emulator.jar, JDK 17) and its profiles
examples\\             C example programs, built and as source
python\\               the Python package and the trvha command-line tool

The entries are exported by ordinal only (hllapi 113, hllapi_thread 115):
bind by ordinal ("#113") from languages other than C and C++.

Start the emulator:
  java -cp java\\palvero-emulator.jar com.ombrel.eQintra.hllbridge.HeadlessEmulator ^
       --library %CD%\\lib\\trvha64.dll --profiles java\\profiles demo=A
Python:  pip install .\\python   (needs no package index)
         set TRVHA64_LIBRARY=%CD%\\lib\\trvha64.dll
         trvha sessions
EOF
    sed -i 's/$/\r/' "$top/INSTALL.txt"
    (cd "$stage" && python3 -m zipfile -c "$out/$name.zip" "$name")
    echo "$out/$name.zip"
fi
