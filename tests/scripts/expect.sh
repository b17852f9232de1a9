# The checks of the scripts' tests, sourced by each: expect counts a check that holds and prints
# one that does not; expect_summary closes with the line "N passed, N failed" that CTest looks for.
passed=0 failed=0

#   expect <what> <wanted> <got>
expect() {
    local what=$1 wanted=$2 got=$3
    if [[ $got == "$wanted" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAILED: %s\n  wanted: %q\n  got:    %q\n' "$what" "$wanted" "$got"
    fi
}

expect_summary() {
    echo "$passed passed, $failed failed"
    [[ $failed -eq 0 ]]
}
