#!/bin/sh
# Configures, builds and runs the ThreadSanitizer variant of the delay object test.
#   run.sh <cmake> <source folder> <build folder>
# Exits 77 (skipped) only when the ThreadSanitizer runtime cannot start on
# this kernel's address layout even with randomisation turned off.
set -e
"$1" -S "$2" -B "$3" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
"$1" --build "$3" >/dev/null
set +e
export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1"
log="$3/last-run.log"
"$3/delaytime_tsan" >"$log" 2>&1
status=$?
if grep -q "unexpected memory mapping" "$log"; then
    setarch "$(uname -m)" -R "$3/delaytime_tsan" >"$log" 2>&1
    status=$?
    if grep -q "unexpected memory mapping" "$log"; then
        cat "$log"
        exit 77
    fi
fi
cat "$log"
exit $status
