# The Windows version check, on every version Wine offers: admitted versions
# run a switch-less start to its quiet end, refused ones show the refusal
# message and change nothing.
# shellcheck shell=bash disable=SC2016 # checks of several steps are eval'd texts in single quotes

# Wine's versions the tool admits: 98 (Wine reports service-pack text " A ",
# so 98 SE), Me, NT 4.0, 2000, XP.
ADMITTED_KINDS=(win98 winme nt40 win2k winxp)

no_switch_on() {
    local kind=$1
    reset_machine "$kind"
    check "$kind, no switch: ends by itself without a window, exit status 0" run_tool
    check "$kind, no switch: $PRODUCT_KEY exists afterwards" expect_key "$PRODUCT_KEY"
}

# refused_on KIND HOW: HOW is key:KEYNAME or click.
refused_on() {
    local kind=$1 how=$2 box
    reset_machine "$kind"
    start_tool
    check "$kind, no switch: a message box with an empty caption appears" \
        wait_window box --caption "" --control 65535 || return
    check "$kind: the box shows the refusal text" expect_control_text "$box" 65535 "$TEXT_UNSUPPORTED"
    check "$kind: the box has one button, OK" expect_buttons "$box" "OK|"
    check "$kind: the tool waits for the user while the box is shown" tool_running
    case "$how" in
        click) check "$kind: a click on OK" click_control "$box" 1 ;;
        key:*) check "$kind: the ${how#key:} key" press_key "${how#key:}" --caption "" --control 65535 ;;
    esac
    check "$kind: the box goes and the tool ends, exit status 0" expect_exit 10
    check "$kind: nothing written, no HKLM\\Software\\Zelmar" expect_no_key 'HKLM\Software\Zelmar'
}

# A switch the tool does not know: the same quiet run, and no job.
unknown_switch() {
    reset_machine winxp
    check "winxp, -installx (unknown): ends by itself without a window" run_tool -installx
    check "winxp, -installx: $PRODUCT_KEY exists, no W32NDIS5 service" \
        eval 'expect_key "$PRODUCT_KEY" && expect_no_key "$SERVICES_KEY\\W32NDIS5"'
}

run_version_cases() {
    echo "# The Windows version check"
    local kind
    for kind in "${ADMITTED_KINDS[@]}"; do no_switch_on "$kind"; done
    unknown_switch
    # Refused: Windows 95, NT 5.2, NT 6.1; the message dismissed three ways.
    refused_on win95 key:Return
    refused_on winxp64 click
    refused_on win7 key:Escape
}
