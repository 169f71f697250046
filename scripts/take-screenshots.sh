#!/usr/bin/env bash
# Takes the pictures of the tool's windows shown in the README, from a
# Windows build running under Wine on a private Xvfb display, with the same
# set-up as the Wine suite (tests/wine/lib.sh: the i686 build in a 32-bit
# prefix where this machine runs 32-bit programs, else its x86_64 twin).
# Builds nothing: give it the tavsetup.exe to photograph (the suite's helpers
# are taken from the same build folder).
#
#   scripts/take-screenshots.sh build/win-i686/tavsetup.exe [OUTDIR]
#
# Writes to OUTDIR (default docs/):
#   install-waiting.png     -install on Windows XP, no adapter: string 1, Close disabled
#   install-reported.png    -install on Windows XP with an adapter entered in Wine's
#                           device registry: string 2 with its name, Close enabled
#   refusal.png             a refused Windows version (NT 5.2): string 23 under an empty caption
#   uninstall-found.png     -uninstall on Windows XP with the adapter: its name, Remove enabled
#   uninstall-removed.png   the same after Remove: string 17, the name marked " ( REMOVED )"
#   uninstall-failed.png    the same with a class installer that refuses the removal: string 16
#   uninstall-no-device.png -uninstall on Windows XP, no adapter: string 21, Remove disabled
#   uninstall-removing.png  -uninstallb on Windows 98 SE while the device-removal program
#                           runs: string 18, both buttons disabled, the dialog still painted
#   upgrade-waiting.png     -Upgrade on Windows XP, no adapter: string 30, Close disabled
#   upgrade-upgraded.png    the adapter entered while the dialog waits: string 34 after the
#                           5 s settle, Close enabled
#   upgrade-failed.png      -Upgrade with newdev unavailable: "Upgrade Device Failed"
set -u
[ $# -ge 1 ] || { echo "usage: $0 path/to/tavsetup.exe [OUTDIR]" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(readlink -f "$1")
outdir=${2:-$root/docs}
mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)
if ! command -v import >/dev/null; then
    echo "ImageMagick's import is missing (scripts/setup-debian.sh installs it)" >&2
    exit 1
fi

# shellcheck source=tests/wine/lib.sh
source "$root/tests/wine/lib.sh"
# shellcheck source=tests/wine/expectations.sh
source "$root/tests/wine/expectations.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/tav-shots.XXXXXX")
trap 'wine_env_stop; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
wine_env_start "$work" "$exe"
# The set-ups of the uninstall and upgrade cases (devices, package files,
# stand-ins); they need the started environment.
# shellcheck source=tests/wine/cases_uninstall.sh
source "$root/tests/wine/cases_uninstall.sh"
# shellcheck source=tests/wine/cases_upgrade.sh
source "$root/tests/wine/cases_upgrade.sh"

# take FILE FILTER...: waits for the window, lets it finish painting, keeps
# the pointer out of the way, and photographs it.
take() {
    local file=$1 window
    shift
    wait_window window "$@" || die "no window to photograph for $file"
    xdotool mousemove 0 0
    sleep 1
    wait_window window "$@" >/dev/null || die "the window for $file went away"
    shot "$outdir/$file" "$window" || die "import could not take $file"
    echo "$outdir/$file: $(window_caption "$window")"
    printf '%s\n' "$window" | grep '^control id=\(1000\|1007\|1010\|65535\) '
}

# settled VAR PREDICATE FILTER...: waits up to 20 s for the state, or stops.
settled() { wait_window_state "$@" >/dev/null || die "the window did not reach the state $2"; }
# click_and_end WINDOW-DESCRIPTION ID: a click that ends the run.
click_and_end() { { click_control "$1" "$2" >/dev/null && wait_tool_exit 10; } || die "the run did not end"; }
cancel_and_end() {
    { press_key Escape "$@" && press_key Return "${CONFIRM_BOX[@]}" && wait_tool_exit 10; } || die "the run did not end"
}

dialog=

reset_machine winxp
start_tool -install
take install-waiting.png "${INSTALL_DIALOG[@]}"
cancel_and_end "${INSTALL_DIALOG[@]}"

reset_machine winxp
plant_adapter >/dev/null || die "could not enter the adapter in Wine's registry"
start_tool -install
take install-reported.png "${INSTALL_DIALOG[@]}"
wait_window dialog "${INSTALL_DIALOG[@]}" >/dev/null
click_and_end "$dialog" 1

reset_machine winxp64
start_tool
take refusal.png "${EMPTY_CAPTION_BOX[@]}"
{ press_key Return "${EMPTY_CAPTION_BOX[@]}" && wait_tool_exit 10; } || die "the refusal message did not close"

reset_machine winxp
set_up_package_files oem9.inf
reg_put "$ADAPTER_DRIVER_KEY" InfPath oem9.inf
plant_adapter >/dev/null || die "could not enter the adapter in Wine's registry"
start_tool -uninstall
take uninstall-found.png "${UNINSTALL_DIALOG[@]}"
wait_window dialog "${UNINSTALL_DIALOG[@]}" >/dev/null
click_control "$dialog" 1006 >/dev/null
settled dialog 20 removed_adapter "${UNINSTALL_DIALOG[@]}"
take uninstall-removed.png "${UNINSTALL_DIALOG[@]}"
click_and_end "$dialog" 1

reset_machine winxp
{ refuse_removals && plant_adapter >/dev/null; } || die "could not enter the adapter and the refusing class installer"
start_tool -uninstall
wait_window dialog "${UNINSTALL_DIALOG[@]}" >/dev/null
click_control "$dialog" 1006 >/dev/null
settled dialog 20 refused_adapter "${UNINSTALL_DIALOG[@]}"
take uninstall-failed.png "${UNINSTALL_DIALOG[@]}"
click_and_end "$dialog" 1

reset_machine winxp
start_tool -uninstall
take uninstall-no-device.png "${UNINSTALL_DIALOG[@]}"
wait_window dialog "${UNINSTALL_DIALOG[@]}" >/dev/null
click_and_end "$dialog" 1

reset_machine win98
install_standin_program "$UTILITY_B_DIR_WIN" Zovavizu.exe
reg_put "$PROFILE_B_KEY" ExecPath "$UTILITY_B_DIR_WIN"
plant_card_9x >/dev/null || die "could not enter the card in Wine's registry"
TAV_STANDIN_MS=6000 start_tool -uninstallb
wait_window dialog "${UNINSTALL_DIALOG[@]}" >/dev/null
click_control "$dialog" 1006 >/dev/null
settled dialog 5 removing_card "${UNINSTALL_DIALOG[@]}"
take uninstall-removing.png "${UNINSTALL_DIALOG[@]}"
settled dialog 20 removed_card "${UNINSTALL_DIALOG[@]}"
click_and_end "$dialog" 1

reset_machine winxp
reg_put "$PRODUCT_KEY" InstallPath "$PACKAGE_DIR_WIN"
reg_apply
start_tool -Upgrade
take upgrade-waiting.png "${UPGRADE_DIALOG[@]}"
{ put_package_inf && plant_adapter >/dev/null; } || die "could not enter the adapter and the package INF"
probe devchange 5000 --exe tavsetup.exe "${UPGRADE_DIALOG[@]}" || die "no notification reached the upgrade dialog"
settled dialog 20 upgraded_adapter "${UPGRADE_DIALOG[@]}"
take upgrade-upgraded.png "${UPGRADE_DIALOG[@]}"
click_and_end "$dialog" 1

reset_machine winxp
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;newdev=d" start_tool -Upgrade
take upgrade-failed.png "${FRAMEWORK_BOX[@]}"
{ press_key Return "${FRAMEWORK_BOX[@]}" && wait_tool_exit 10; } || die "the failure box did not close"
