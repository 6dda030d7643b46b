# The one place that makes a run's Wine prefix and ends it; sourced by build.sh
# and by the test scripts that make a prefix or a Wine server of their own.
#
#   wine_prefix_for_run          a private prefix in a temporary folder (or $WINEPREFIX
#                                when set), booted; however the run ends (done, failed,
#                                Ctrl+C, killed), its processes are ended first and the
#                                temporary folder is removed after
#   wine_prefix_boot PREFIX      boots PREFIX and starts its persistent server and services
#   wine_prefix_end PREFIX       ends every Wine process of PREFIX and of prefixes below it,
#                                and waits until they are gone
#   wine_prefix_remove FOLDER    the same for FOLDER, then removes it
#   wine_prefix_processes PREFIX the ids of those processes, one a line
#
# A Wine server ends its processes when it is asked to (SIGINT, which is what
# `wineserver -k` sends). One that dies any other way (a crash, SIGTERM, or the
# SIGKILL that `wineserver -k` sends after some 10 s without an answer) leaves them
# running with no server, and once the prefix folder is gone nothing finds them.
# So the end does not rely on the server: it finds the prefix's processes itself.

WINE_PREFIX_RUN=$(dirname "${BASH_SOURCE[0]}")/wine-run
WINE_PREFIX_WINE_DIR=/usr/lib/wine     # every Wine process runs a loader or a server from here
WINE_PREFIX_SERVER_GRACE=15            # seconds for a server to end its processes (about one, idle)
WINE_PREFIX_GONE_WAIT=60               # seconds for the rest to be gone, on a loaded machine
WINE_PREFIX_POLL=0.1

# Whether process PID is a Wine process of PREFIX or of a prefix below it. A
# Windows program's environment is its Wine process's, WINEPREFIX included.
wine_prefix_owns() {
    local pid=$1 prefix=${2%/} var
    wine_prefix_runs "$pid" "$WINE_PREFIX_WINE_DIR"/wine* || return 1
    while IFS= read -r -d '' var; do
        [[ $var == "WINEPREFIX=$prefix" || $var == "WINEPREFIX=$prefix/"* ]] && return 0
    done 2>/dev/null <"/proc/$pid/environ"
    return 1
}

# Whether process PID runs one of PROGRAMS (a zombie runs none); no fork, as this polls.
wine_prefix_runs() {
    local program
    for program in "${@:2}"; do
        [ "/proc/$1/exe" -ef "$program" ] && return 0
    done
    return 1
}

wine_prefix_processes() {
    local environ pid
    # grep reads every environment at once; the few it finds are looked at closely.
    for environ in $(grep -lszF "WINEPREFIX=${1%/}" /proc/[0-9]*/environ); do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        wine_prefix_owns "$pid" "$1" && echo "$pid"
    done
    return 0
}

wine_prefix_servers() {
    local pid
    for pid in $(wine_prefix_processes "$1"); do
        wine_prefix_runs "$pid" "$WINE_PREFIX_WINE_DIR"/wineserver* && echo "$pid"
    done
    return 0
}

# Waits up to SECONDS until LISTER PREFIX lists nothing.
wine_prefix_wait_none() {
    local seconds=$1 lister=$2 prefix=$3 deadline=$((SECONDS + $1))
    while [ -n "$("$lister" "$prefix")" ]; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep "$WINE_PREFIX_POLL"
    done
}

wine_prefix_signal() {   # SIGNAL [PID...]; a process may be gone meanwhile
    [ $# -gt 1 ] && kill "-$1" "${@:2}" 2>/dev/null
    return 0
}

wine_prefix_end() {
    local prefix=$1 deadline left pid
    # By process id, not `wineserver -k`: that finds a server through the prefix
    # folder, and a copy's server in another namespace, or one whose folder is gone, would be missed.
    wine_prefix_signal INT $(wine_prefix_servers "$prefix")
    wine_prefix_wait_none "$WINE_PREFIX_SERVER_GRACE" wine_prefix_servers "$prefix" || true
    deadline=$((SECONDS + WINE_PREFIX_GONE_WAIT))
    # What is left has lost its server, or its server would not end it; killed
    # again while any is left, for one may have been starting another.
    while left=$(wine_prefix_processes "$prefix"); [ -n "$left" ]; do
        if [ "$SECONDS" -ge "$deadline" ]; then
            echo "wine-prefix: Wine processes of $prefix still run after $WINE_PREFIX_GONE_WAIT s:" >&2
            for pid in $left; do echo "  $pid $(tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline")" >&2; done
            return 1
        fi
        wine_prefix_signal KILL $left
        sleep "$WINE_PREFIX_POLL"
    done
}

# A folder whose processes would not end is kept, so that they can still be found.
wine_prefix_remove() {
    wine_prefix_end "$1" || return 1
    rm -rf "$1"
}

wine_prefix_boot() {
    local boot_log
    echo "== booting Wine prefix $1"
    boot_log=$(WINEPREFIX=$1 "$WINE_PREFIX_RUN" 64 wineboot -i 2>&1) \
        || { echo "$boot_log" >&2; echo "wine-prefix: the Wine prefix $1 did not boot" >&2; return 1; }
    WINEPREFIX=$1 wineserver -w
    # One server for the whole run: a new one for each test program costs seconds.
    WINEPREFIX=$1 wineserver -p
    # The first program of a prefix starts Wine's services, which inherit its output
    # and would keep ctest waiting on it for ever; start them here, detached.
    WINEPREFIX=$1 "$WINE_PREFIX_RUN" 64 cmd /c exit </dev/null >/dev/null 2>&1
}

# Pipe and mutex names are global within a prefix: every run gets its own.
wine_prefix_for_run() {
    if [ -z "${WINEPREFIX:-}" ]; then
        WINE_PREFIX_RUN_DIR=$(mktemp -d)
        export WINEPREFIX=$WINE_PREFIX_RUN_DIR/prefix
        trap 'wine_prefix_remove "$WINE_PREFIX_RUN_DIR" || exit 1' EXIT
    else
        trap 'wine_prefix_end "$WINEPREFIX" || exit 1' EXIT
    fi
    # The exit trap runs on these too; the status says which ended the run, as a shell's does.
    local signal
    for signal in INT TERM HUP; do
        trap "exit $((128 + $(kill -l "$signal")))" "$signal"
    done
    export WINEDEBUG=${WINEDEBUG:--all}
    wine_prefix_boot "$WINEPREFIX"
}
