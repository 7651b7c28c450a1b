"""The reference emulator for the Python and command-line tests.

As a module: `Emulator(...)` starts the headless emulator with the demo
profile as session A in a namespace of its own, waits for its "ready" line
and ends it with "quit".

As a program: `emulator.py [--library SO] [--root DIR] -- COMMAND...` runs
COMMAND while an emulator serves session A; COMMAND sees TRVHA64_NAMESPACE
and TRVHA64_LIBRARY. The exit status is COMMAND's.
"""

import argparse
import glob
import os
import subprocess
import sys
import threading

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
READY_LIMIT_S = 60


def java_launcher():
    home = os.environ.get("JAVA_HOME")
    if home:
        return os.path.join(home, "bin", "java")
    found = sorted(glob.glob("/usr/lib/jvm/java-17-openjdk-*/bin/java"))
    return found[0] if found else "java"


class Emulator:
    def __init__(self, library, jar=None, profiles=None, namespace=None, sessions=("demo=A",)):
        self.library = os.path.abspath(library)
        self.namespace = namespace or "pytest-%d" % os.getpid()
        self.env = dict(os.environ, TRVHA64_NAMESPACE=self.namespace, TRVHA64_UNATTENDED="1",
                        TRVHA64_LIBRARY=self.library)
        jar = jar or os.path.join(ROOT, "java", "build", "palvero-emulator.jar")
        profiles = profiles or os.path.join(ROOT, "tests", "e2e", "profiles")
        self.process = subprocess.Popen(
            [java_launcher(), "-XX:TieredStopAtLevel=1", "-cp", jar, "com.ombrel.eQintra.hllbridge.HeadlessEmulator",
             "--library", self.library, "--profiles", profiles, *sessions],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=self.env, text=True)
        self.ready = self._read_ready()

    def _read_ready(self):
        seen = []
        timer = threading.Timer(READY_LIMIT_S, self.process.kill)
        timer.start()
        try:
            for line in self.process.stdout:
                if line.startswith("ready "):
                    return line.strip()
                seen.append(line)
        finally:
            timer.cancel()
        raise RuntimeError("the emulator did not become ready; it wrote:\n%s%s"
                           % ("".join(seen), self.process.stderr.read()))

    def command(self, text):
        """One command on the emulator's standard input; its answer lines."""
        self.process.stdin.write(text + "\n")
        self.process.stdin.flush()
        lines = []
        for line in self.process.stdout:
            if line.strip() == "end":
                return lines
            lines.append(line.rstrip("\n"))
        return lines

    def quit(self):
        try:
            self.process.stdin.write("quit\n")
            self.process.stdin.close()
        except OSError:
            pass
        try:
            return self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--library", default=os.path.join(ROOT, "build", "linux", "libtrvha64.so"))
    parser.add_argument("--jar")
    parser.add_argument("--profiles")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    emulator = Emulator(args.library, args.jar, args.profiles, namespace="cmd-%d" % os.getpid())
    try:
        print("emulator: %s" % emulator.ready, flush=True)
        return subprocess.call(command, env=emulator.env)
    finally:
        emulator.quit()


if __name__ == "__main__":
    sys.exit(main())
