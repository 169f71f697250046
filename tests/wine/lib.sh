# Shell library of the Wine suite (tests/wine/run.sh) and of
# scripts/take-screenshots.sh: a private X display (Xvfb) and a private
# Wine prefix with Wine's own desktop (32-bit for the i686 build, 64-bit for
# the x86_64 build; scripts/wine-arch.sh chooses); the tool started in the
# background; its windows read through winprobe.exe; keys and clicks sent
# with xdotool as a user's would be; Wine's registry and services read with
# Wine's own reg and sc. Every wait is bounded.
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

# Where the programs live inside the prefix.
TEST_DIR_WIN='C:\tavtest'
TOOL_WIN="$TEST_DIR_WIN\\tavsetup.exe"
PROBE_WIN="$TEST_DIR_WIN\\winprobe.exe"
# The suite's own results (stand-ins record what reached them here).
RESULT_KEY='HKLM\Software\TavWineSuite'
PRODUCT_KEY='HKLM\Software\Zelmar\TavarinApp'
# shellcheck disable=SC2034 # for the case files
SERVICES_KEY='HKLM\System\CurrentControlSet\Services'

CHECKS_PASSED=0
CHECKS_FAILED=0
TOOL_PID=
TOOL_RC=
XVFB_PID=
STANDIN_PID=
WINE_WORK=

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
# 0x..., a REG_MULTI_SZ joined with \0); status 1 when it is missing.
reg_value() {
    local out line
    out=$(w reg query "$1" /v "$2") || return 1
    line=$(printf '%s\n' "$out" | grep -F -m1 "    $2    REG_") || return 1
    printf '%s\n' "${line#*    "$2"    REG_*    }"
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

expect_no_value() {
    local actual
    actual=$(reg_value "$1" "$2") || return 0
    echo "$1 \"$2\" = \"$actual\", expected no such value"
    return 1
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

# The Windows version Wine reports to programs started from now on.
set_windows() { wreg add 'HKCU\Software\Wine' /v Version /d "$1" /f; }

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

    local dir="$WINEPREFIX/drive_c/tavtest" probe_exe
    mkdir -p "$dir"
    cp "$exe" "$dir/tavsetup.exe" || die "cannot copy $exe"
    probe_exe=$(find_winprobe "$exe") || die "winprobe.exe is not built next to $exe and cannot be built:
$(cat "$WINE_WORK/winprobe-build.log" 2>/dev/null)"
    cp "$probe_exe" "$dir/winprobe.exe"
}

# winprobe.exe from the Windows build that made the tool, else built here.
find_winprobe() {
    local built
    built="$(dirname "$1")/tests/wine/winprobe.exe"
    if [ -f "$built" ]; then
        echo "$built"
        return 0
    fi
    local out="$WINE_WORK/winprobe.exe"
    "$WINE_BUILD-w64-mingw32-g++" -std=c++17 -O2 -static -o "$out" "$WINE_LIB_DIR/winprobe.cpp" -ladvapi32 -luser32 \
        >"$WINE_WORK/winprobe-build.log" 2>&1 || return 1
    echo "$out"
}

wine_env_stop() {
    stop_tool
    stop_standin_window
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

# The utility "tavarin.exe", played by a copy of winprobe that records how
# it was started; ExecPath of the product key points at its folder.
install_standin_utility() {
    mkdir -p "$WINEPREFIX/drive_c/tavtest/utility"
    cp "$WINEPREFIX/drive_c/tavtest/winprobe.exe" "$WINEPREFIX/drive_c/tavtest/utility/tavarin.exe"
    wreg add "$PRODUCT_KEY" /v ExecPath /d "$TEST_DIR_WIN\\utility" /f
}

# A supported adapter as Wine's SetupAPI sees one: a device of the network
# class under HKLM\System\CurrentControlSet\Enum with the adapter's hardware
# IDs, running a driver whose class key names a supported ID. Wine has no
# such hardware; this entry is all there is of it.
NET_CLASS='{4D36E972-E325-11CE-BFC1-08002BE10318}'
ADAPTER_NAME='Zelmar Dual-Band Wireless LAN PCI Adapter'
ADAPTER_ID='PCI\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01'
ADAPTER_DEVICE_KEY='HKLM\System\CurrentControlSet\Enum\PCI\VEN_168C&DEV_0012&SUBSYS_1022168C&REV_01'
ADAPTER_KEY="$ADAPTER_DEVICE_KEY\\4&2a0c5e41&0&30F0"
ADAPTER_DRIVER_KEY="HKLM\\System\\CurrentControlSet\\Control\\Class\\$NET_CLASS\\0000"

plant_adapter() {
    wreg add "$ADAPTER_KEY" /v HardwareID /t REG_MULTI_SZ \
        /d "$ADAPTER_ID\\0PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C" /f &&
        wreg add "$ADAPTER_KEY" /v ClassGUID /d "$NET_CLASS" /f &&
        wreg add "$ADAPTER_KEY" /v Class /d Net /f &&
        wreg add "$ADAPTER_KEY" /v Driver /d "$NET_CLASS\\0000" /f &&
        wreg add "$ADAPTER_KEY" /v DeviceDesc /d "$ADAPTER_NAME" /f &&
        wreg add "$ADAPTER_DRIVER_KEY" /v ComponentId /d 'pci\ven_168c&dev_0012&subsys_1022168c' /f
}

remove_adapter() {
    wreg delete "$ADAPTER_DEVICE_KEY" /f
    wreg delete "$ADAPTER_DRIVER_KEY" /f
    return 0
}

# The same adapter as Windows 98 SE / Me record one: a device node of the
# configuration manager below HKEY_DYN_DATA naming its hardware key, the
# hardware key below HKLM\Enum (maker, driver, description), and the
# driver's key of the network class naming a supported ID.
ADAPTER_NODE_9X='Config Manager\Enum\C29A3E40'
ADAPTER_HARDWARE_KEY_9X='PCI\VEN_168C&DEV_0012&SUBSYS_1022168C\BUS_00&DEV_0C&FUNC_00'
ADAPTER_ID_9X='PCI\VEN_168C&DEV_0012&SUBSYS_1022168C'
ADAPTER_DRIVER_KEY_9X='HKLM\System\CurrentControlSet\Services\Class\Net\0000'

plant_adapter_9x() {
    local enum_key="HKLM\\Enum\\$ADAPTER_HARDWARE_KEY_9X"
    wreg add "$enum_key" /v Mfg /d 'Zelmar' /f &&
        wreg add "$enum_key" /v Driver /d 'Net\0000' /f &&
        wreg add "$enum_key" /v DeviceDesc /d "$ADAPTER_NAME" /f &&
        wreg add "$ADAPTER_DRIVER_KEY_9X" /v MatchingDeviceId /d "$ADAPTER_ID_9X" /f &&
        probe dyndata set "$ADAPTER_NODE_9X" HardWareKey "$ADAPTER_HARDWARE_KEY_9X"
}

remove_adapter_9x() {
    probe dyndata delete "$ADAPTER_NODE_9X"
    # The device key, above the instance key.
    local device_key=${ADAPTER_HARDWARE_KEY_9X%\\*}
    wreg delete "HKLM\\Enum\\$device_key" /f
    wreg delete "$ADAPTER_DRIVER_KEY_9X" /f
    return 0
}

# Undoes whatever a case may have changed, then sets the Windows version.
reset_machine() {
    stop_tool
    stop_standin_window
    # Services first: a stand-in service records its stop in the result key.
    delete_service W32NDIS5
    delete_service ZelmSS
    wreg delete 'HKLM\Software\Zelmar' /f
    wreg delete "$RESULT_KEY" /f
    wreg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Setup' /v SourcePath /f
    remove_adapter
    remove_adapter_9x
    set_windows "$1"
}
