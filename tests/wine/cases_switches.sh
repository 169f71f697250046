# The side switches and their combinations, in the fixed order of a run:
# -StopService (the security service or program "ZelmSS"), then -SvcSetup
# (the end of the run), then the install job.
# shellcheck shell=bash disable=SC2016 # checks of several steps are eval'd texts in single quotes

stop_requests() { reg_value "$RESULT_KEY" ZelmSSStopRequests || echo none; }
window_commands() { reg_value "$RESULT_KEY" ZelmSSCommands || echo none; }

# -SvcSetup ends the run before any job, wherever it stands on the line.
svcsetup_with_install() {
    local kind=$1
    shift
    local label="$kind, $*"
    reset_machine "$kind"
    check "$label: ends at once without a window" run_tool "$@"
    check "$label: no W32NDIS5 service (the install job never began)" expect_no_key "$W32NDIS5_KEY"
    check "$label: $PRODUCT_KEY exists (made before the switches are read)" expect_key "$PRODUCT_KEY"
}

# On Windows XP the security product is the service: a running one is asked
# to stop; the program's window is left alone.
stopservice_running_winxp() {
    local label="winxp, -StopService, ZelmSS service running"
    reset_machine winxp
    check "$label: sc create ZelmSS, sc start ZelmSS: running" create_security_service running || return
    check "$label: the ZelmSS stand-in window is up" start_standin_window
    check "$label: ends at once without a window" run_tool -StopService
    check "$label: the service received one stop request" expect_equal "stop requests" "$(stop_requests)" 0x1
    check "$label: the service has stopped, and is still registered" wait_service_state ZelmSS 1 15
    check "$label: the window received no command" expect_equal "commands" "$(window_commands)" none
}

stopservice_stopped_winxp() {
    local label="winxp, -StopService, ZelmSS service stopped"
    reset_machine winxp
    check "$label: sc create ZelmSS (demand start, not started)" create_security_service stopped || return
    check "$label: ends at once without a window" run_tool -StopService
    check "$label: the service stays registered and stopped, nothing reached it" \
        eval 'expect_equal state "$(service_state ZelmSS)" 1 && expect_equal "stop requests" "$(stop_requests)" none'
}

# On Windows 98 SE the security product is a program: its window receives
# the stop command, and no service is touched.
stopservice_win98() {
    local label="win98, -StopService"
    reset_machine win98
    wine_divergence "Windows 98 SE has no services; Wine keeps its service manager under any version. A running"
    wine_divergence "ZelmSS service is set up all the same, to show that the 98 SE branch leaves services alone."
    check "$label: sc create ZelmSS, sc start ZelmSS: running" create_security_service running || return
    check "$label: the ZelmSS stand-in window is up" start_standin_window || return
    check "$label: ends at once without a window" run_tool -StopService
    check "$label: the window of class ZelmSS received command 1129 once" \
        expect_equal "commands" "$(window_commands)" 0x1
    check "$label: the ZelmSS service received no stop request and still runs" \
        eval 'expect_equal "stop requests" "$(stop_requests)" none && expect_equal state "$(service_state ZelmSS)" 4'
}

# -StopService -SvcSetup -install: the stop, then the end; no install job.
stopservice_svcsetup_install_win2k() {
    local label="win2k, -StopService -SvcSetup -install"
    reset_machine win2k
    check "$label: ZelmSS service running" create_security_service running || return
    check "$label: ends at once without a window" run_tool -StopService -SvcSetup -install
    check "$label: the service received one stop request" expect_equal "stop requests" "$(stop_requests)" 0x1
    check "$label: no W32NDIS5 service" expect_no_key "$W32NDIS5_KEY"
}

# -install -StopService: the stop comes first, then the install dialog.
install_stopservice_winxp() {
    local label="winxp, -install -StopService" dialog
    reset_machine winxp
    check "$label: ZelmSS service running" create_security_service running || return
    start_tool -install -StopService
    check "$label: the install dialog appears" wait_window dialog "${INSTALL_DIALOG[@]}" || return
    check "$label: the stop request came before the dialog" expect_equal "stop requests" "$(stop_requests)" 0x1
    check "$label: Escape, then Return (Yes) on string 25, ends the run" \
        eval 'press_key Escape "${INSTALL_DIALOG[@]}" && press_key Return "${CONFIRM_BOX[@]}" && expect_exit 10'
}

# -uninstall -install: only the install dialog is shown.
uninstall_install_winxp() {
    # shellcheck disable=SC2034 # dialog is used by the eval'd check
    local label="winxp, -uninstall -install" dialog
    reset_machine winxp
    start_tool -uninstall -install
    check "$label: the install dialog appears, waiting with string 1" \
        eval 'wait_window dialog "${INSTALL_DIALOG[@]}" &&
              expect_control_text "$dialog" 1000 "$TEXT_LOCATING"' || return
    check "$label: Escape, then Return (Yes) on string 25, ends the run: no uninstall dialog follows" \
        eval 'press_key Escape "${INSTALL_DIALOG[@]}" && press_key Return "${CONFIRM_BOX[@]}" && expect_exit 10'
}

run_switches_cases() {
    echo "# Side switches and combinations"
    svcsetup_with_install winxp -SvcSetup -install
    svcsetup_with_install winxp -install -SvcSetup
    svcsetup_with_install win2k -SvcSetup
    stopservice_running_winxp
    stopservice_stopped_winxp
    stopservice_win98
    stopservice_svcsetup_install_win2k
    install_stopservice_winxp
    uninstall_install_winxp
}
