#!/bin/sh
# Builds the Palvero reference emulator and runs its unit tests.
# Output goes to java/build/: classes, test classes, palvero-emulator.jar and
# jni/ (the C declarations of the bridge's native methods).
# Needs a JDK 17 and the JUnit console launcher (Debian package junit5);
# JUNIT_JAR overrides where the launcher is looked for. Installs nothing.
# Exits non-zero when compilation or any test fails.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build="$here/build"
junit="${JUNIT_JAR:-/usr/share/java/junit-platform-console-standalone.jar}"
# A small build: the quick compiler tier starts the tools much faster.
quick="-XX:TieredStopAtLevel=1"

if [ ! -f "$junit" ]; then
    echo "build.sh: JUnit console launcher not found at $junit (install the junit5 package)" >&2
    exit 2
fi

rm -rf "$build"
mkdir -p "$build/classes" "$build/test-classes"

find "$here/src/main/java" -name '*.java' > "$build/main-sources.txt"
# -h: the JNI declarations of the bridge's native methods, for comparing
# with what the native library exports.
javac -J$quick --release 17 -Xlint:all -Werror -encoding UTF-8 -d "$build/classes" -h "$build/jni" \
    @"$build/main-sources.txt"

printf 'Main-Class: com.ombrel.eQintra.emulator.Main\n' > "$build/manifest.txt"
jar -J$quick --create --file "$build/palvero-emulator.jar" --manifest "$build/manifest.txt" -C "$build/classes" .

find "$here/src/test/java" -name '*.java' > "$build/test-sources.txt"
javac -J$quick --release 17 -Xlint:all -encoding UTF-8 -cp "$build/classes:$junit" -d "$build/test-classes" \
    @"$build/test-sources.txt"

java $quick -jar "$junit" --disable-banner --details=summary --fail-if-no-tests \
    --class-path "$build/classes:$build/test-classes" --scan-class-path "$build/test-classes"
