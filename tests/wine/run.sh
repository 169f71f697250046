#!/usr/bin/env bash
# The Wine suite: runs a Windows build of the tool under Wine (the shipped
# i686 build in a 32-bit prefix; where this machine cannot run 32-bit
# programs, the x86_64 build beside it in a 64-bit prefix, and it says so),
# in a private prefix on a private Xvfb display with Wine's own desktop, with
# the prefix set to each Windows version Wine offers, and checks what a user
# sees (windows, texts, button states; answered with keys and clicks) and
# what the machine keeps (Wine's registry, services and files, and what the
# programs the tool starts were told). One ok/FAIL line per check, and the
# time each group took; the exit status is non-zero when any check failed.
#
#   tests/wine/run.sh path/to/tavsetup.exe [GROUP...]
#
# GROUP: version, install, switches, uninstall, upgrade, solvane (all of
# them, in this order, when none is named).
# TAV_WINE_KEEP=1 keeps the work folder (prefix, logs) for a look afterwards.
set -u
all_groups=(version install switches uninstall upgrade solvane)
[ $# -ge 1 ] || {
    echo "usage: $0 path/to/tavsetup.exe [$(IFS='|'; echo "${all_groups[*]}")...]" >&2
    exit 2
}
exe=$(readlink -f "$1")
shift
groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=("${all_groups[@]}")

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/wine/lib.sh
source "$here/lib.sh"
# shellcheck source=tests/wine/expectations.sh
source "$here/expectations.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/tav-wine.XXXXXX")
finish() {
    wine_env_stop
    if [ "${TAV_WINE_KEEP:-0}" = 1 ]; then echo "work folder kept: $work"; else rm -rf "$work"; fi
}
trap finish EXIT
trap 'exit 130' INT TERM

started=$SECONDS
wine_env_start "$work" "$exe"
echo "# $("$WINE_LOADER" --version 2>/dev/null), the $WINE_BUILD build ($WINE_EXE) in a $WINE_PREFIX_ARCH prefix: prefix and desktop ready in $((SECONDS - started)) s, display $DISPLAY"

for group in "${groups[@]}"; do
    case " ${all_groups[*]} " in
        *" $group "*)
            group_started=$SECONDS
            # shellcheck source=/dev/null
            source "$here/cases_$group.sh"
            "run_${group}_cases"
            echo "# ($group: $((SECONDS - group_started)) s)"
            ;;
        *) die "unknown group $group" ;;
    esac
done

echo "# $CHECKS_PASSED passed, $CHECKS_FAILED failed, in $((SECONDS - started)) s"
[ "$CHECKS_FAILED" -eq 0 ]
