#!/usr/bin/env bash
# Runs the scripts' tests one after the other and adds up their closing "N passed, N failed" lines.
#   tests/scripts/scripts_test.sh <build folder>
set -uo pipefail
here=$(dirname "${BASH_SOURCE[0]}")
passed=0 failed=0
for test in sound_setup_test.sh run_command_test.sh icon_strips_test.sh wmvcore_copy_test.sh deps_cache_test.sh; do
    echo "== $test"
    output=$(bash "$here/$test" "$@" 2>&1)
    status=$?
    printf '%s\n' "$output"
    if [[ $(tail -n 1 <<<"$output") =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
        passed=$((passed + BASH_REMATCH[1]))
        failed=$((failed + BASH_REMATCH[2]))
    fi
    # A test that stopped before its count, or ended badly despite it, counts as one failure more.
    if [[ $status -ne 0 && ! $(tail -n 1 <<<"$output") =~ [1-9][0-9]*\ failed$ ]]; then
        failed=$((failed + 1))
    fi
done
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
