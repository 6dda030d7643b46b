#!/usr/bin/env bash
# The launcher's choices where 32-bit programs cannot start: a 32-bit program is
# not run and says why, with the launcher's own exit code; its test list comes
# from its 64-bit build; a missing 64-bit build is an error, not an empty list.
# Under a test run, a start that ended silently with a failing status is made
# once more and reported; one that said something is not.
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

# A program that fails without a word on its first start only, as Wine's failed starts look.
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
FLAG=$("$WINE_RUN" 64 winepath -w "$WORK/started" 2>/dev/null)
# No quotes: Wine's cmd would get them escaped. The temporary path has no spaces.
silent_once() { "$WINE_RUN" 64 cmd /c "if exist $FLAG (echo second start) else (type nul > $FLAG & exit 3)" 2>&1; }
export ZELMOOR_WINE_RESTARTS=$WORK/restarts
output=$(silent_once)
status=$?
check "a silent failed start is made once more" [ "$status" -eq 0 ]
check "the second start's output is passed on" grep -qF "second start" <<<"$output"
check "the restart is reported for the summary, with the arguments that tell which test it was" \
    grep -qF "cmd /c if exist $FLAG (echo second start)" "$ZELMOOR_WINE_RESTARTS"
: >"$ZELMOOR_WINE_RESTARTS"
"$WINE_RUN" 64 cmd /c "echo a failure that says so & exit 4" >/dev/null 2>&1
check "a failure with output keeps its status" [ $? -eq 4 ]
check "and is not started again" [ ! -s "$ZELMOOR_WINE_RESTARTS" ]
rm -f "$WORK/started"
unset ZELMOOR_WINE_RESTARTS
silent_once >/dev/null
check "outside a test run nothing is started again" [ $? -eq 3 ]

"$WINE_RUN" 48 "$TWIN" >/dev/null 2>&1
check "an unknown bitness is a usage error" [ $? -eq "$EXIT_USAGE" ]

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
