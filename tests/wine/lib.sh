# Shell library of the Wine suite (tests/wine/run.sh) and of
# scripts/take-screenshots.sh: a private X display (Xvfb) and a private
# Wine prefix with Wine's own desktop (32-bit for the i686 build, 64-bit for
# the x86_64 build; scripts/wine-arch.sh chooses); the tool started in the
# background; its windows read through winprobe.exe; keys and clicks sent
# with xdotool as a user's would be; Wine's registry and services read with
# Wine's own reg and sc, and changed in batches through Wine's regedit (one
# Wine program per batch: each start of one costs a fifth of a second);
# the machine's files written from this side, below the prefix's drive_c.
# Every wait is bounded.
#
# Use: source this file, call wine_env_start WORKDIR TAVSETUP_EXE, and
# wine_env_stop on the way out (from an EXIT trap).

WINE_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Set by wine_env_start from scripts/wine-arch.sh: the program run (the
# given one, or its x86_64 twin where 32-bit programs cannot run), its
# build, and the Wine that runs it.
WINE_EXE=
WINE_BUILD=
WINE_LOADER=
WINESERVER=
WINE_PREFIX_ARCH=

# Bounds: a run that shows no window must end within TOOL_EXIT_SECONDS; a
# window must appear or go within WINDOW_WAIT_MS.
TOOL_EXIT_SECONDS=${TOOL_EXIT_SECONDS:-20}
WINDOW_WAIT_MS=${WINDOW_WAIT_MS:-20000}

# Where the programs live inside the prefix (TEST_DIR is the same folder
# as this side sees it, set by wine_env_start).
TEST_DIR_WIN='C:\tavtest'
TEST_DIR=
TOOL_WIN="$TEST_DIR_WIN\\tavsetup.exe"
PROBE_WIN="$TEST_DIR_WIN\\winprobe.exe"
# The suite's own results (stand-ins record what reached them here).
RESULT_KEY='HKLM\Software\TavWineSuite'
PRODUCT_KEY='HKLM\Software\Zelmar\TavarinApp'
# The Boingo companion's entry in the list of installed programs.
COMPANION_UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\{736CAD5F-0944-4498-BF9E-0E75549854C7}'
SESSION_MANAGER_KEY='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'
# shellcheck disable=SC2034 # for the case files
SERVICES_KEY='HKLM\System\CurrentControlSet\Services'

CHECKS_PASSED=0
CHECKS_FAILED=0
TOOL_PID=
TOOL_RC=
XVFB_PID=
STANDIN_PID=
HOLDER_PID=
WINE_WORK=
# The shell folders of Wine's "Shell Folders" keys (Windows paths), read by
# wine_env_start: the current user's start-up and Start Menu programs
# folders, and the all-users ones.
SHELL_STARTUP=
SHELL_PROGRAMS=
SHELL_COMMON_STARTUP=
SHELL_COMMON_PROGRAMS=

# --- reporting -----------------------------------------------------------

ok() {
    CHECKS_PASSED=$((CHECKS_PASSED + 1))
    echo "ok   $*"
}

fail() {
    CHECKS_FAILED=$((CHECKS_FAILED + 1))
    echo "FAIL $*"
}

# A difference between Wine and the Windows it stands for, met by a check.
wine_divergence() { echo "     (Wine) $*"; }

# Indents diagnostic lines under a FAIL line.
detail() { sed 's/^/       | /'; }

die() {
    echo "FAIL $*"
    exit 1
}

# check DESCRIPTION COMMAND...: one ok/FAIL line for the command's status;
# on FAIL, what the command printed follows, indented. The command runs in
# this shell (not a subshell), so variables it sets are kept.
check() {
    local description=$1
    shift
    local log="$WINE_WORK/check.log"
    if "$@" >"$log" 2>&1; then
        ok "$description"
        return 0
    fi
    fail "$description"
    detail <"$log"
    return 1
}

# expect_equal WHAT ACTUAL EXPECTED
expect_equal() {
    [ "$2" = "$3" ] && return 0
    echo "$1: got \"$2\""
    echo "$1: expected \"$3\""
    return 1
}

# --- Wine programs, registry, services -------------------------------------

# Every Wine program runs through here, with a time limit, and prints its
# output (without Windows line ends) once it has ended. The output goes to a
# file, never to a pipe: a Windows process that Wine starts on the program's
# behalf (the desktop, the service manager, a service) inherits the
# descriptors and would hold a pipe open long after the program has ended.
w() {
    local out status
    out=$(mktemp "$WINE_WORK/out.XXXXXX")
    timeout -k 5 60 "$WINE_LOADER" "$@" >"$out" 2>&1 </dev/null
    status=$?
    tr -d '\r' <"$out"
    rm -f "$out"
    return $status
}

wreg() { w reg "$@" >/dev/null; }

# reg_value KEY NAME: the value's data as reg shows it (a REG_DWORD as
# 0x..., a REG_MULTI_SZ joined with \0, its closing empty string left out);
# status 1 when it is missing. Names are matched ignoring case, as the
# registry does (Wine's "Shell Folders" say "StartUp" where Windows says
# "Startup").
reg_value() {
    local out line
    out=$(w reg query "$1" /v "$2") || return 1
    line=$(printf '%s\n' "$out" | grep -i -F -m1 "    $2    REG_") || return 1
    printf '%s\n' "${line#*    REG_*    }"
}

# expect_value KEY NAME EXPECTED
expect_value() {
    local actual
    if ! actual=$(reg_value "$1" "$2"); then
        echo "$1 has no value \"$2\" (expected \"$3\")"
        return 1
    fi
    expect_equal "$1 \"$2\"" "$actual" "$3"
}

# wait_value KEY NAME EXPECTED SECONDS: for a value that a program started
# in the background writes.
wait_value() {
    local deadline=$((SECONDS + $4)) actual
    until actual=$(reg_value "$1" "$2") && [ "$actual" = "$3" ]; do
        if [ $SECONDS -ge $deadline ]; then
            expect_equal "$1 \"$2\" after $4 s" "${actual:-(none)}" "$3"
            return 1
        fi
        sleep 0.2
    done
}

expect_no_value() {
    local actual
    actual=$(reg_value "$1" "$2") || return 0
    echo "$1 \"$2\" = \"$actual\", expected no such value"
    return 1
}

# value_names KEY: the names of the key's values, one a line (nothing when
# the key is missing).
value_names() { w reg query "$1" | sed -n 's/^    \(.*\)    REG_[A-Z_]*    .*$/\1/p; s/^    \(.*\)    REG_[A-Z_]*$/\1/p'; }

# expect_values KEY present|absent NAME...: one reading of the key for all
# the names (case ignored, as the registry does).
expect_values() {
    local key=$1 want=$2 names name status=0
    shift 2
    names=$(value_names "$key")
    for name in "$@"; do
        if printf '%s\n' "$names" | grep -qixF -- "$name"; then
            [ "$want" = present ] || { echo "$key \"$name\" is still there"; status=1; }
        else
            [ "$want" = absent ] || { echo "$key has no value \"$name\""; status=1; }
        fi
    done
    return $status
}

key_exists() { w reg query "$1" >/dev/null; }

expect_key() {
    key_exists "$1" && return 0
    echo "$1 is missing"
    return 1
}

expect_no_key() {
    key_exists "$1" || return 0
    echo "$1 exists:"
    w reg query "$1" /s
    return 1
}

# --- registry batches ------------------------------------------------------
# reg_put (a text), reg_put_multi, reg_drop_key and reg_drop_value collect
# changes (KEY as reg takes it: HKLM\..., HKCU\..., or HKEY_DYN_DATA\...,
# which reg cannot reach but regedit can); reg_apply makes them with one run
# of Wine's regedit, in the order given, and forgets them.
REG_BATCH=()

# The key's name as a .reg file has it.
reg_key_name() {
    case "$1" in
        HKLM\\*) printf 'HKEY_LOCAL_MACHINE\\%s' "${1#HKLM\\}" ;;
        HKCU\\*) printf 'HKEY_CURRENT_USER\\%s' "${1#HKCU\\}" ;;
        *) printf '%s' "$1" ;;
    esac
}

# A text as a quoted .reg string.
reg_quoted() {
    local text=${1//\\/\\\\}
    printf '"%s"' "${text//\"/\\\"}"
}

reg_put() { REG_BATCH+=("[$(reg_key_name "$1")]" "$(reg_quoted "$2")=$(reg_quoted "$3")"); }

# reg_put_multi KEY NAME TEXT...: a REG_MULTI_SZ of the texts.
reg_put_multi() {
    local key=$1 name=$2 bytes='' text hex
    shift 2
    for text in "$@"; do
        hex=$(printf '%s' "$text" | od -An -tx1 -v | tr -s ' \n' ',')
        bytes+="${hex#,}00,"
    done
    REG_BATCH+=("[$(reg_key_name "$key")]" "$(reg_quoted "$name")=hex(7):${bytes}00")
}

reg_drop_key() { REG_BATCH+=("[-$(reg_key_name "$1")]"); }
reg_drop_value() { REG_BATCH+=("[$(reg_key_name "$1")]" "$(reg_quoted "$2")=-"); }

reg_apply() {
    local file="$TEST_DIR/batch.reg" status
    { printf 'REGEDIT4\r\n\r\n'; printf '%s\r\n' "${REG_BATCH[@]}"; } >"$file"
    REG_BATCH=()
    w regedit /s "$TEST_DIR_WIN\\batch.reg" >/dev/null
    status=$?
    rm -f "$file"
    return $status
}

# service_state NAME: the number sc query shows (1 stopped, 4 running, ...);
# empty when there is no such service.
service_state() { w sc query "$1" | sed -n 's/^ *STATE *: *\([0-9]*\).*/\1/p'; }

# wait_service_state NAME STATE SECONDS
wait_service_state() {
    local deadline=$((SECONDS + $3)) state
    while state=$(service_state "$1"); [ "$state" != "$2" ]; do
        if [ $SECONDS -ge $deadline ]; then
            echo "service $1: state \"$state\" after $3 s, expected $2"
            return 1
        fi
        sleep 0.2
    done
}

delete_service() {
    local state
    state=$(service_state "$1")
    [ -n "$state" ] || return 0
    if [ "$state" != 1 ]; then
        w sc stop "$1" >/dev/null
        wait_service_state "$1" 1 15 >/dev/null
    fi
    w sc delete "$1" >/dev/null
    return 0
}

# --- the environment -------------------------------------------------------

wine_env_start() {
    WINE_WORK=$1
    local exe=$2
    mkdir -p "$WINE_WORK"
    [ -f "$exe" ] || die "no such file: $exe"
    local tool
    for tool in Xvfb xdotool timeout; do
        command -v "$tool" >/dev/null || die "$tool is not installed (scripts/setup-debian.sh installs it)"
    done
    local choice
    choice=$("$WINE_LIB_DIR/../../scripts/wine-arch.sh" env "$exe") || die "no Wine can run $exe"
    eval "$choice"
    WINESERVER=$WINE_SERVER
    exe=$WINE_EXE
    [ -x "$WINE_LOADER" ] || die "$WINE_LOADER is missing (scripts/setup-debian.sh installs Wine)"

    # A display of our own: Xvfb picks a free number and writes it to fd 3.
    local display_file="$WINE_WORK/display"
    : >"$display_file"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >"$WINE_WORK/xvfb.log" 2>&1 </dev/null &
    XVFB_PID=$!
    local deadline=$((SECONDS + 15))
    while ! grep -q '[0-9]' "$display_file"; do
        [ $SECONDS -ge $deadline ] && die "Xvfb did not start within 15 s: $(cat "$WINE_WORK/xvfb.log")"
        sleep 0.1
    done
    DISPLAY=":$(tr -dc '0-9' <"$display_file")"
    export DISPLAY

    export WINEPREFIX="$WINE_WORK/prefix" WINEDEBUG=-all WINELOADER="$WINE_LOADER" WINEARCH="$WINE_PREFIX_ARCH"
    # No Mono or Gecko installer dialogs, no menu entries on the host.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    timeout -k 5 180 "$WINE_LOADER" wineboot -i >"$WINE_WORK/wineboot.log" 2>&1 </dev/null ||
        die "wineboot could not make a prefix within 180 s: $(tail -5 "$WINE_WORK/wineboot.log")"
    timeout -k 5 60 "$WINESERVER" -w >/dev/null 2>&1 </dev/null

    # Wine's own desktop: without a window manager Wine draws no frames and
    # keys may not reach a message box. It takes effect with a new server;
    # the persistent server keeps later runs fast.
    wreg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
    wreg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f
    timeout -k 5 30 "$WINESERVER" -k >/dev/null 2>&1 </dev/null
    timeout -k 5 30 "$WINESERVER" -w >/dev/null 2>&1 </dev/null
    # Persistent for a while, not for ever: should this script be killed
    # outright, the server and its processes still go 60 s later.
    "$WINESERVER" -p60 >/dev/null 2>&1 </dev/null || die "wineserver did not start"

    TEST_DIR="$WINEPREFIX/drive_c/tavtest"
    mkdir -p "$TEST_DIR"
    cp "$exe" "$TEST_DIR/tavsetup.exe" || die "cannot copy $exe"
    local helper built
    for helper in winprobe.exe standin.exe refusing_installer.dll; do
        built=$(find_helper "$exe" "$helper") || die "$helper is not built next to $exe and cannot be built:
$(cat "$WINE_WORK/helper-build.log" 2>/dev/null)"
        cp "$built" "$TEST_DIR/$helper"
    done

    local folders='Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
    if ! { SHELL_STARTUP=$(reg_value "HKCU\\$folders" Startup) &&
        SHELL_PROGRAMS=$(reg_value "HKCU\\$folders" Programs) &&
        SHELL_COMMON_STARTUP=$(reg_value "HKLM\\$folders" 'Common Startup') &&
        SHELL_COMMON_PROGRAMS=$(reg_value "HKLM\\$folders" 'Common Programs'); }; then
        die "Wine's prefix has no \"Shell Folders\" for the start-up and programs folders"
    fi
}

# find_helper TOOL_EXE NAME: a helper of the suite (winprobe.exe,
# standin.exe, refusing_installer.dll) from the Windows build that made the
# tool, else built here.
find_helper() {
    local built
    built="$(dirname "$1")/tests/wine/$2"
    if [ -f "$built" ]; then
        echo "$built"
        return 0
    fi
    local out="$WINE_WORK/$2" compiler="$WINE_BUILD-w64-mingw32-g++"
    case "$2" in
        winprobe.exe)
            "$compiler" -std=c++17 -O2 -static -o "$out" "$WINE_LIB_DIR/winprobe.cpp" -ladvapi32 -luser32
            ;;
        standin.exe)
            "$compiler" -std=c++17 -O2 -static -mwindows -o "$out" "$WINE_LIB_DIR/standin.cpp" -ladvapi32 -luser32
            ;;
        refusing_installer.dll)
            "$compiler" -std=c++17 -O2 -static -shared -Wl,--kill-at -o "$out" \
                "$WINE_LIB_DIR/refusing_installer.cpp" -ladvapi32
            ;;
    esac >"$WINE_WORK/helper-build.log" 2>&1 || return 1
    echo "$out"
}

wine_env_stop() {
    stop_tool
    stop_standin_window
    stop_holder
    if [ -n "${WINEPREFIX:-}" ]; then
        timeout -k 5 30 "$WINESERVER" -k >/dev/null 2>&1 </dev/null
        timeout -k 5 30 "$WINESERVER" -w >/dev/null 2>&1 </dev/null
    fi
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    fi
    return 0
}

# --- the tool --------------------------------------------------------------

# start_tool ARGS...: starts tavsetup.exe with these switches in the
# background, for at most 300 s.
start_tool() {
    stop_tool
    TOOL_RC=
    echo "--- tavsetup.exe $*" >>"$WINE_WORK/tool.log"
    timeout -k 5 300 "$WINE_LOADER" "$TOOL_WIN" "$@" >>"$WINE_WORK/tool.log" 2>&1 </dev/null &
    TOOL_PID=$!
}

tool_running() { [ -n "$TOOL_PID" ] && kill -0 "$TOOL_PID" 2>/dev/null; }

# wait_tool_exit SECONDS: status 0 when the tool has ended within SECONDS;
# its exit status is then in TOOL_RC.
wait_tool_exit() {
    if [ -n "$TOOL_PID" ]; then
        local deadline=$((SECONDS + $1))
        while tool_running; do
            if [ $SECONDS -ge $deadline ]; then
                echo "tavsetup.exe still runs after $1 s; the windows on the desktop:"
                probe list
                return 1
            fi
            sleep 0.1
        done
        wait "$TOOL_PID" 2>/dev/null
        TOOL_RC=$?
        TOOL_PID=
    fi
    return 0
}

# end_process PID: ends a program started under timeout: timeout hands the
# TERM on to it (Wine ends the Windows process) and follows up with KILL
# 5 s later, so the wait is bounded.
end_process() {
    kill -TERM "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}

# Ends the tool (a case that failed half-way).
stop_tool() {
    tool_running && end_process "$TOOL_PID"
    TOOL_PID=
}

# run_tool ARGS...: a run that must show no window. Nobody answers a window
# here, so a run that showed one would still be waiting: status 0 when the
# tool ends by itself within TOOL_EXIT_SECONDS, with exit status 0.
run_tool() {
    start_tool "$@"
    if ! wait_tool_exit "$TOOL_EXIT_SECONDS"; then
        stop_tool
        return 1
    fi
    expect_equal "exit status of tavsetup.exe $*" "$TOOL_RC" 0
}

# expect_exit SECONDS: the tool ends within SECONDS with exit status 0.
expect_exit() {
    wait_tool_exit "$1" || return 1
    expect_equal "exit status" "$TOOL_RC" 0
}

# --- windows ---------------------------------------------------------------

probe() { w "$PROBE_WIN" "$@"; }

# wait_window VAR FILTER...: waits for a visible window of the tool that
# matches (see winprobe.cpp); its description goes into VAR. On time-out,
# prints what the desktop shows.
wait_window() {
    local var=$1
    shift
    local out status
    out=$(probe wait "$WINDOW_WAIT_MS" --exe tavsetup.exe "$@")
    status=$?
    printf -v "$var" '%s' "$out"
    if [ $status -ne 0 ]; then
        echo "no window of tavsetup.exe ($(printf '%q ' "$@")) within $((WINDOW_WAIT_MS / 1000)) s"
        printf '%s\n' "$out"
    fi
    return $status
}

# wait_gone FILTER...: waits until no visible window of the tool matches.
wait_gone() {
    local out
    out=$(probe gone "$WINDOW_WAIT_MS" --exe tavsetup.exe "$@") && return 0
    echo "a window of tavsetup.exe ($(printf '%q ' "$@")) is still shown after $((WINDOW_WAIT_MS / 1000)) s"
    printf '%s\n' "$out"
    return 1
}

# wait_window_state VAR SECONDS PREDICATE FILTER...: waits until the
# matching window's description satisfies PREDICATE (a function given the
# description); the last description goes into VAR.
wait_window_state() {
    local var=$1 limit=$2 predicate=$3 seen
    local deadline=$((SECONDS + limit))
    shift 3
    while :; do
        wait_window seen "$@" || return 1
        printf -v "$var" '%s' "$seen"
        "$predicate" "$seen" >/dev/null && return 0
        if [ $SECONDS -ge $deadline ]; then
            echo "after $limit s the window is not as expected:"
            "$predicate" "$seen"
            printf '%s\n' "$seen"
            return 1
        fi
        sleep 0.3
    done
}

# Fields of a window description (from wait_window); texts stay escaped as
# winprobe prints them (a line break is \n, a quote \").
window_caption() { printf '%s\n' "$1" | sed -n 's/^window .* caption="\(.*\)"$/\1/p'; }
window_rect() { printf '%s\n' "$1" | sed -n 's/^window .* rect=\([-0-9,]*\) .*/\1/p'; }
control_line() { printf '%s\n' "$1" | grep -m1 "^control id=$2 "; }
control_text() { control_line "$1" "$2" | sed -n 's/^control .* text="\(.*\)"$/\1/p'; }
control_enabled() { control_line "$1" "$2" | sed -n 's/^control .* enabled=\([01]\) .*/\1/p'; }
control_visible() { control_line "$1" "$2" | sed -n 's/^control .* visible=\([01]\) .*/\1/p'; }
# The texts of the window's buttons, one per line, in window order.
button_texts() { printf '%s\n' "$1" | sed -n 's/^control .* class="Button" text="\(.*\)"$/\1/p'; }

# expect_control_text DESCRIPTION ID EXPECTED
expect_control_text() { expect_equal "text of control $2" "$(control_text "$1" "$2")" "$3"; }

# expect_states DESCRIPTION ID ENABLED VISIBLE
expect_states() {
    local line
    line=$(control_line "$1" "$2")
    if [ -z "$line" ]; then
        echo "no control $2 in:"
        printf '%s\n' "$1"
        return 1
    fi
    expect_equal "control $2 enabled" "$(control_enabled "$1" "$2")" "$3" &&
        expect_equal "control $2 visible" "$(control_visible "$1" "$2")" "$4"
}

expect_buttons() {
    local actual
    actual=$(button_texts "$1" | tr '\n' '|')
    expect_equal "buttons" "$actual" "$2"
}

# click_control DESCRIPTION ID: a left click in the middle of the control
# (screen and Wine desktop share their origin).
click_control() {
    local rect l t r b
    rect=$(control_line "$1" "$2" | sed -n 's/^control .* rect=\([-0-9,]*\) .*/\1/p')
    if [ -z "$rect" ]; then
        echo "no control $2 to click in:"
        printf '%s\n' "$1"
        return 1
    fi
    IFS=, read -r l t r b <<<"$rect"
    xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
}

# press_key KEY FILTER...: waits until the matching window of the tool is
# the foreground window, then presses the key, as a user at the keyboard.
press_key() {
    # shellcheck disable=SC2034 # target is filled by wait_window
    local key=$1 target
    shift
    wait_window target --active 1 "$@" || return 1
    xdotool key "$key"
}

# shot FILE DESCRIPTION: a PNG of the screen inside the window's rectangle.
shot() {
    local l t r b
    IFS=, read -r l t r b <<<"$(window_rect "$2")"
    import -window root -crop "$((r - l))x$((b - t))+$l+$t" +repage "$1"
}

# --- stand-ins and test-only set-ups ---------------------------------------

# The security service "ZelmSS", played by winprobe: state running|stopped.
create_security_service() {
    w sc create ZelmSS binpath= "$PROBE_WIN service ZelmSS" start= demand >/dev/null ||
        { echo "sc create ZelmSS failed"; return 1; }
    [ "$1" = running ] || return 0
    w sc start ZelmSS >/dev/null
    wait_service_state ZelmSS 4 15
}

# The security program's window (class "ZelmSS"), played by winprobe for at
# most 60 s.
start_standin_window() {
    stop_standin_window
    local out="$WINE_WORK/standin.out"
    : >"$out"
    timeout -k 5 90 "$WINE_LOADER" "$PROBE_WIN" window ZelmSS 60000 >"$out" 2>&1 </dev/null &
    STANDIN_PID=$!
    local deadline=$((SECONDS + 15))
    until grep -q ready "$out"; do
        if [ $SECONDS -ge $deadline ] || ! kill -0 "$STANDIN_PID" 2>/dev/null; then
            echo "the ZelmSS stand-in window did not come up: $(cat "$out")"
            return 1
        fi
        sleep 0.1
    done
}

stop_standin_window() {
    [ -n "$STANDIN_PID" ] && kill -0 "$STANDIN_PID" 2>/dev/null && end_process "$STANDIN_PID"
    STANDIN_PID=
}

# start_holder hold|load WINPATH: a program that keeps the file in use (open
# without sharing writing or deletion, or loaded as a library), played by
# winprobe for at most 60 s.
start_holder() {
    stop_holder
    local out="$WINE_WORK/holder.out"
    : >"$out"
    timeout -k 5 90 "$WINE_LOADER" "$PROBE_WIN" "$1" "$2" 60000 >"$out" 2>&1 </dev/null &
    HOLDER_PID=$!
    local deadline=$((SECONDS + 15))
    until grep -q ready "$out"; do
        if [ $SECONDS -ge $deadline ] || ! kill -0 "$HOLDER_PID" 2>/dev/null; then
            echo "the program holding $2 did not come up: $(cat "$out")"
            return 1
        fi
        sleep 0.1
    done
}

stop_holder() {
    [ -n "$HOLDER_PID" ] && kill -0 "$HOLDER_PID" 2>/dev/null && end_process "$HOLDER_PID"
    HOLDER_PID=
}

# --- files of the machine ----------------------------------------------------

# unix_path WINPATH: where a path of drive C: lies on this side.
unix_path() {
    local path=${1//\\//}
    case "$path" in
        [Cc]:/*) path="$WINEPREFIX/drive_c/${path:3}" ;;
        [Cc]:) path="$WINEPREFIX/drive_c" ;;
    esac
    printf '%s\n' "$path"
}

# put_file WINPATH [TEXT]: a file with that text (its name by default),
# with the folders above it.
put_file() {
    local path
    path=$(unix_path "$1")
    mkdir -p "$(dirname "$path")" && printf '%s\n' "${2:-$1}" >"$path"
}

file_exists() { [ -e "$(unix_path "$1")" ]; }

expect_file() {
    file_exists "$1" && return 0
    echo "$1 is missing"
    return 1
}

expect_no_file() {
    file_exists "$1" || return 0
    echo "$1 is still there"
    return 1
}

# expect_files_gone WINPATH...: every one was deleted.
expect_files_gone() {
    local path status=0
    for path in "$@"; do expect_no_file "$path" || status=1; done
    return $status
}

expect_files_kept() {
    local path status=0
    for path in "$@"; do expect_file "$path" || status=1; done
    return $status
}

# Files of the package and of the companion software that cases put into
# Wine's Windows folders, taken away by reset_machine.
WINDOWS_DIR_WIN='C:\windows'
SYSTEM_DIR_WIN='C:\windows\system32'
CATALOG_DIR_WIN='C:\windows\SYSTEM\CatRoot\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}'
SOLVANE_FOLDER_WIN='C:\Program Files\Solvane 802.11a'
WINDOWS_TEST_FILES=(
    "$SYSTEM_DIR_WIN\\ZLMSecurity.dll" "$SYSTEM_DIR_WIN\\ZLMSecurity.new"
    "$WINDOWS_DIR_WIN\\inf\\oem9.inf" "$WINDOWS_DIR_WIN\\inf\\OEM3.INF"
    "$WINDOWS_DIR_WIN\\inf\\netzl11a.inf" "$WINDOWS_DIR_WIN\\inf\\ntzl11ab.inf"
    "$SYSTEM_DIR_WIN\\drivers\\ntzl11ab.sys" "$SYSTEM_DIR_WIN\\drivers\\zelm11a.sys"
    "$CATALOG_DIR_WIN" "$WINDOWS_DIR_WIN\\WININIT.INI" "$SOLVANE_FOLDER_WIN"
)

reset_files() {
    local path folder
    for path in "${WINDOWS_TEST_FILES[@]}"; do rm -rf "$(unix_path "$path")"; done
    rm -rf "$TEST_DIR/utility" "$TEST_DIR/utility-b" "$TEST_DIR/package"
    for folder in "$SHELL_STARTUP" "$SHELL_PROGRAMS" "$SHELL_COMMON_STARTUP" "$SHELL_COMMON_PROGRAMS"; do
        folder=$(unix_path "$folder")
        rm -rf "$folder/Zelmar" "$folder/Tavarin 802.11.lnk" "$folder/Solvane 802.11a.lnk"
    done
}

# --- stand-ins for the companion software ------------------------------------

# install_standin_program WINFOLDER NAME: a copy of standin.exe under that
# name (it records how it was started, see standin.cpp).
install_standin_program() {
    local folder
    folder=$(unix_path "$1")
    mkdir -p "$folder" && cp "$TEST_DIR/standin.exe" "$folder/$2"
}

# The utility "tavarin.exe", played by a copy of standin.exe that records
# how it was started; ExecPath of the product key points at its folder.
UTILITY_DIR_WIN="$TEST_DIR_WIN\\utility"
install_standin_utility() {
    install_standin_program "$UTILITY_DIR_WIN" tavarin.exe
    reg_put "$PRODUCT_KEY" ExecPath "$UTILITY_DIR_WIN"
    reg_apply
}

# Windows Installer, played by a copy of standin.exe in the system folder.
# Wine runs its own msiexec.exe whatever that folder holds, unless a program
# is started with MSIEXEC_NATIVE in WINEDLLOVERRIDES: then the copy runs.
MSIEXEC_NATIVE='msiexec.exe=n'
install_standin_msiexec() { install_standin_program "$SYSTEM_DIR_WIN" msiexec.exe; }

# --- devices -----------------------------------------------------------------

# A supported adapter as Wine's SetupAPI sees one: a device of the network
# class under HKLM\System\CurrentControlSet\Enum with the adapter's hardware
# IDs, running a driver whose class key names a supported ID. Wine has no
# such hardware; this entry is all there is of it.
NET_CLASS='{4D36E972-E325-11CE-BFC1-08002BE10318}'
NET_CLASS_KEY="HKLM\\System\\CurrentControlSet\\Control\\Class\\$NET_CLASS"
ADAPTER_NAME='Zelmar Dual-Band Wireless LAN PCI Adapter'
ADAPTER_ID='PCI\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01'
ADAPTER_DEVICE_KEY='HKLM\System\CurrentControlSet\Enum\PCI\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01'
ADAPTER_KEY="$ADAPTER_DEVICE_KEY\\4&2a0c5e41&0&30F0"
ADAPTER_DRIVER_KEY="$NET_CLASS_KEY\\0000"

plant_adapter() {
    reg_put_multi "$ADAPTER_KEY" HardwareID "$ADAPTER_ID" 'PCI\VEN_168C&DEV_0012&SUBSYS_1022168C'
    reg_put "$ADAPTER_KEY" ClassGUID "$NET_CLASS"
    reg_put "$ADAPTER_KEY" Class Net
    reg_put "$ADAPTER_KEY" Driver "$NET_CLASS\\0000"
    reg_put "$ADAPTER_KEY" DeviceDesc "$ADAPTER_NAME"
    reg_put "$ADAPTER_DRIVER_KEY" ComponentId 'pci\ven_168c&dev_0012&subsys_1022168c'
    reg_apply && expect_value "$ADAPTER_DRIVER_KEY" ComponentId 'pci\ven_168c&dev_0012&subsys_1022168c'
}

# Makes the network class's installer refuse every removal: "Installer32"
# names refusing_installer.dll (see its source), which SetupAPI loads from
# the system folder.
refuse_removals() {
    cp "$TEST_DIR/refusing_installer.dll" "$(unix_path "$SYSTEM_DIR_WIN")/" || return 1
    reg_put "$NET_CLASS_KEY" Installer32 'refusing_installer.dll,RefuseRemoval'
    reg_apply
}

# The adapters as Windows 98 SE / Me record them: a device node of the
# configuration manager below HKEY_DYN_DATA naming its hardware key, the
# hardware key below HKLM\Enum (maker, driver, description), and the
# driver's key of the network class naming a supported ID. Wine keeps
# nothing of its own below HKLM\Enum and "Services\Class".
DYN_ENUM_KEY='HKEY_DYN_DATA\Config Manager\Enum'
NET_CLASS_KEY_9X='HKLM\System\CurrentControlSet\Services\Class\Net'
ADAPTER_NODE_9X="$DYN_ENUM_KEY\\C29A3E40"
ADAPTER_HARDWARE_KEY_9X='PCI\VEN_168C&DEV_0012&SUBSYS_1022168C\BUS_00&DEV_0C&FUNC_00'
ADAPTER_ID_9X='PCI\VEN_168C&DEV_0012&SUBSYS_1022168C'
ADAPTER_DRIVER_KEY_9X="$NET_CLASS_KEY_9X\\0000"
# The Solvane 802.11b PC Card (profile 1, -installb / -uninstallb).
CARD_NAME='Zelmar Solvane 802.11b LAN PC Card'
CARD_NODE_9X="$DYN_ENUM_KEY\\C1A2B3C4"
CARD_HARDWARE_KEY_9X='PCMCIA\ZELMAR-SOLVANE_802.11B/LAN_PC_CARD-5D2E\1'
CARD_ID_9X='pcmcia\zelmar-solvane_802.11b/lan_pc_card-5d2e'
CARD_DRIVER_KEY_9X="$NET_CLASS_KEY_9X\\0001"

# plant_device_9x NODE HARDWARE-KEY DRIVER-INSTANCE NAME ID
plant_device_9x() {
    local enum_key="HKLM\\Enum\\$2"
    reg_put "$enum_key" Mfg Zelmar
    reg_put "$enum_key" Driver "Net\\$3"
    reg_put "$enum_key" DeviceDesc "$4"
    reg_put "$NET_CLASS_KEY_9X\\$3" MatchingDeviceId "$5"
    reg_put "$1" HardWareKey "$2"
    reg_apply && expect_value "$NET_CLASS_KEY_9X\\$3" MatchingDeviceId "$5"
}

plant_adapter_9x() { plant_device_9x "$ADAPTER_NODE_9X" "$ADAPTER_HARDWARE_KEY_9X" 0000 "$ADAPTER_NAME" "$ADAPTER_ID_9X"; }
plant_card_9x() { plant_device_9x "$CARD_NODE_9X" "$CARD_HARDWARE_KEY_9X" 0001 "$CARD_NAME" "$CARD_ID_9X"; }

# Undoes whatever a case may have changed, then sets the Windows version
# that Wine reports to programs started from now on.
reset_machine() {
    stop_tool
    stop_standin_window
    stop_holder
    # Services first: a stand-in service records its stop in the result key.
    delete_service W32NDIS5
    delete_service ZelmSS
    reset_files
    reg_drop_key 'HKLM\Software\Zelmar'
    reg_drop_key "$RESULT_KEY"
    reg_drop_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Solvane 802.11a'
    reg_drop_key "$COMPANION_UNINSTALL_KEY"
    reg_drop_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Setup' SourcePath
    reg_drop_value "$SESSION_MANAGER_KEY" PendingFileRenameOperations
    reg_drop_key "$ADAPTER_DEVICE_KEY"
    reg_drop_key "$ADAPTER_DRIVER_KEY"
    reg_drop_value "$NET_CLASS_KEY" Installer32
    reg_drop_key 'HKLM\Enum'
    reg_drop_key 'HKLM\System\CurrentControlSet\Services\Class'
    reg_drop_key "$ADAPTER_NODE_9X"
    reg_drop_key "$CARD_NODE_9X"
    reg_put 'HKCU\Software\Wine' Version "$1"
    reg_apply
}
