#!/usr/bin/env bash
# The launcher's choices where 32-bit programs cannot start: a 32-bit program is
# not run and says why, with the launcher's own exit code; its test list comes
# from its 64-bit build; a missing 64-bit build is an error, not an empty list.
#   wine_run_test.sh WINE_RUN GTEST_EXE_64
# GTEST_EXE_64: any 64-bit test program of the tree; WINEPREFIX: a booted prefix.
set -uo pipefail
WINE_RUN=$1
TWIN=$2
EXIT_NOT_RUN=77
EXIT_USAGE=2
REASON="a refusal made up by this test"
FAKE_TREE=/nonexistent/x86-tree
TWIN_TREE=$(dirname "$TWIN")
PROGRAM=$FAKE_TREE/$(basename "$TWIN")
failures=0

check() {   # check DESCRIPTION CONDITION...
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}

export ZELMOOR_WIN32=$REASON
output=$("$WINE_RUN" 32 "$PROGRAM" --gtest_brief=1 2>&1)
status=$?
check "a 32-bit program is not run, with exit $EXIT_NOT_RUN" [ "$status" -eq "$EXIT_NOT_RUN" ]
check "it says why and which program" grep -qF "not run: $REASON: $PROGRAM" <<<"$output"

direct=$("$WINE_RUN" 64 "$TWIN" --gtest_list_tests 2>/dev/null)
listed=$("$WINE_RUN" 32 --listing-tree "$FAKE_TREE" "$TWIN_TREE" "$PROGRAM" --gtest_list_tests 2>/dev/null)
status=$?
check "its test list comes from the 64-bit build" [ "$status" -eq 0 ]
check "the list is the 64-bit build's own" [ -n "$direct" -a "$listed" = "$direct" ]

output=$("$WINE_RUN" 32 --listing-tree "$FAKE_TREE" /nonexistent/x64-tree "$PROGRAM" --gtest_list_tests 2>&1)
status=$?
check "no 64-bit build to list by is an error" [ "$status" -ne 0 -a "$status" -ne "$EXIT_NOT_RUN" ]
check "which names the missing build" grep -qF "no 64-bit build of it at /nonexistent/x64-tree/" <<<"$output"

"$WINE_RUN" 48 "$TWIN" >/dev/null 2>&1
check "an unknown bitness is a usage error" [ $? -eq "$EXIT_USAGE" ]

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
