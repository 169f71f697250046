#!/usr/bin/env bash
# Takes the pictures of the tool's windows shown in the README, from the
# x86_64 Windows build running under Wine on a private Xvfb display (the same
# set-up as the Wine suite, tests/wine/lib.sh). Builds nothing: give it the
# tavsetup.exe to photograph (winprobe.exe, the suite's helper, is taken from
# the same build folder).
#
#   scripts/take-screenshots.sh build/win-x86_64/tavsetup.exe [OUTDIR]
#
# Writes to OUTDIR (default docs/):
#   install-waiting.png   -install on Windows XP, no adapter: string 1, Close disabled
#   install-reported.png  -install on Windows XP with an adapter entered in Wine's
#                         device registry: string 2 with its name, Close enabled
#   refusal.png           a refused Windows version (NT 5.2): string 23 under an empty caption
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
    printf '%s\n' "$window" | grep '^control id=\(1000\|65535\) '
}

reset_machine winxp
start_tool -install
take install-waiting.png "${INSTALL_DIALOG[@]}"
if ! { press_key Escape "${INSTALL_DIALOG[@]}" && press_key Return "${CONFIRM_BOX[@]}" && wait_tool_exit 10; }; then
    die "the waiting install dialog did not close"
fi

reset_machine winxp
plant_adapter || die "could not enter the adapter in Wine's registry"
start_tool -install
take install-reported.png "${INSTALL_DIALOG[@]}"
dialog=
if ! { wait_window dialog "${INSTALL_DIALOG[@]}" >/dev/null && click_control "$dialog" 1 && wait_tool_exit 10; }; then
    die "the reporting install dialog did not close"
fi

reset_machine winxp64
start_tool
take refusal.png "${EMPTY_CAPTION_BOX[@]}"
if ! { press_key Return "${EMPTY_CAPTION_BOX[@]}" && wait_tool_exit 10; }; then
    die "the refusal message did not close"
fi
