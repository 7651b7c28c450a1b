#!/bin/sh
# The command-line tool against the reference emulator's session A, run by
# emulator.py (which sets TRVHA64_NAMESPACE and TRVHA64_LIBRARY):
#   emulator.py -- sh cli_test.sh [trvha command, default: python3 -m trvha64.cli]
# Each step checks the exit status (the EHLLAPI return code) and the output.
set -u
trvha=${1:-"python3 -m trvha64.cli"}
failures=0

# expect STATUS PATTERN ARGS...: runs trvha ARGS, wants exit STATUS and
# PATTERN (grep -E) in its standard output.
expect() {
    want=$1 pattern=$2; shift 2
    out=$($trvha "$@" 2>/tmp/trvha-cli-err.$$); got=$?
    if [ "$got" -ne "$want" ] || ! printf '%s\n' "$out" | grep -Eq -- "$pattern"; then
        echo "FAIL: trvha $* -> exit $got (wanted $want), output:"; printf '%s\n' "$out"; cat /tmp/trvha-cli-err.$$
        failures=$((failures + 1))
    else
        echo "ok: trvha $*"
    fi
}

expect 0 '"letter": "A", "long_name": "A"' sessions --json
expect 0 '^1 [0-9]+$' find A "Sign On" --timeout 10
expect 0 'Sign On' screen A
expect 0 '"length": 10,.*"protected": false' field --json A 6 35
expect 0 '^sent$' send A "DEMO01@TPALVERO@E" --wait
expect 0 '^1 [0-9]+$' find A "Main Menu" --row 1 --timeout 10
expect 24 'not found' find A "No such text"
expect 24 '"found": false' find --json A "No such text" --timeout 0.2
expect 0 '^ready$' oia A
expect 1 '"return_code": 1' send --json Q "X"
expect 0 'sent' send A "@3"
expect 0 '^1 [0-9]+$' find A "Sign On" --timeout 10

rm -f /tmp/trvha-cli-err.$$
[ "$failures" -eq 0 ] && echo "cli_test: all passed" || echo "cli_test: $failures failed"
[ "$failures" -eq 0 ]
