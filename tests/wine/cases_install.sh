# The install job (-install): the dialog, the W32NDIS5 protocol driver
# service, Cancel and Close, and what each leaves in Wine's registry.
# shellcheck shell=bash disable=SC2016 # checks of several steps are eval'd texts in single quotes

# shellcheck disable=SC2059 # the format is the tool's text
installed_text() { printf "$TEXT_INSTALLED_FORMAT" "$1"; }

# expect_w32ndis5 IMAGEPATH: the service as the tool registers it.
expect_w32ndis5() {
    expect_value "$W32NDIS5_KEY" Type 0x1 &&
        expect_value "$W32NDIS5_KEY" Start 0x2 &&
        expect_value "$W32NDIS5_KEY" ErrorControl 0x1 &&
        expect_value "$W32NDIS5_KEY" Group PNP_TDI &&
        expect_value "$W32NDIS5_KEY" DisplayName 'W32NDIS5 Protocol Driver' &&
        expect_value "$W32NDIS5_KEY" ImagePath "$1"
}

# close_reported LABEL DIALOG HARDWARE-ID: clicks Close on a dialog that
# reported an adapter; the run must end and leave both product values.
close_reported() {
    local label=$1 dialog=$2 id=$3
    check "$label: a click on Close" click_control "$dialog" 1 || return
    check "$label: Close ends the run within 10 s, exit status 0" expect_exit 10
    check "$label: \"InstallDriver\" = \"1\"" expect_value "$PRODUCT_KEY" InstallDriver 1
    check "$label: \"HardwareID\" = $id" expect_value "$PRODUCT_KEY" HardwareID "$id"
}

expect_waiting() {
    expect_control_text "$1" 1000 "$TEXT_LOCATING" &&
        expect_states "$1" 1 0 1 && # Close: disabled
        expect_states "$1" 2 1 1 && # Cancel: enabled
        expect_states "$1" 1002 1 0 # the "Timeout" line: hidden
}

expect_reported() {
    expect_control_text "$1" 1000 "$(installed_text "$ADAPTER_NAME")" &&
        expect_states "$1" 1 1 1 && # Close: enabled
        expect_states "$1" 2 0 1    # Cancel: disabled
}

# wait_dialog VAR SECONDS PREDICATE: waits until the install dialog's
# description satisfies PREDICATE; the last description goes into VAR.
wait_dialog() { wait_window_state "$1" "$2" "$3" "${INSTALL_DIALOG[@]}"; }

# cancel_with_yes LABEL: Cancel (Escape), string 25, Yes (Return), the end.
cancel_with_yes() {
    local label=$1 box
    check "$label: Escape on the dialog" press_key Escape "${INSTALL_DIALOG[@]}" || return
    check "$label: Cancel asks string 25" \
        eval 'wait_window box "${CONFIRM_BOX[@]}" && expect_control_text "$box" 65535 "$TEXT_CONFIRM_EXIT"' || return
    check "$label: Return answers Yes" press_key Return "${CONFIRM_BOX[@]}"
    check "$label: the run ends within 10 s, exit status 0" expect_exit 10
}

# On Windows XP with no adapter: the waiting dialog, the service, Cancel.
install_waiting_winxp() {
    local label="winxp, -install, no adapter" dialog box
    reset_machine winxp
    start_tool -install
    check "$label: the install dialog \"$TEXT_CAPTION\" appears" wait_window dialog "${INSTALL_DIALOG[@]}" || return
    check "$label: it shows string 1 (\"Locating a valid device, ...\")" \
        expect_control_text "$dialog" 1000 "$TEXT_LOCATING"
    check "$label: Close is disabled, Cancel enabled, the Timeout line hidden" expect_waiting "$dialog"
    check "$label: W32NDIS5 registered: type 1, start 2, error control 1, group PNP_TDI, image path in \\??\\ form" \
        expect_w32ndis5 "$W32NDIS5_REPAIRED_PATH"
    check "$label: W32NDIS5 is registered, not started (stopped in Wine's service manager)" \
        expect_equal "state" "$(service_state W32NDIS5)" 1

    check "$label: a click on Cancel" click_control "$dialog" 2 || return
    check "$label: Cancel asks string 25 under \"$TEXT_CAPTION\", buttons Yes and No" \
        eval 'wait_window box "${CONFIRM_BOX[@]}" && expect_control_text "$box" 65535 "$TEXT_CONFIRM_EXIT" &&
              expect_buttons "$box" "&Yes|&No|"' || return
    check "$label: a click on No" click_control "$box" 7
    check "$label: No closes the question and the dialog goes on waiting" \
        eval 'wait_gone "${CONFIRM_BOX[@]}" && wait_window dialog "${INSTALL_DIALOG[@]}" && expect_waiting "$dialog"'
    check "$label: Escape on the dialog (Cancel from the keyboard)" press_key Escape "${INSTALL_DIALOG[@]}" || return
    check "$label: string 25 again" wait_window box "${CONFIRM_BOX[@]}" || return
    check "$label: a click on Yes" click_control "$box" 6
    check "$label: Yes ends the run within 10 s, exit status 0" expect_exit 10
    check "$label: W32NDIS5 stays registered" expect_w32ndis5 "$W32NDIS5_REPAIRED_PATH"
    check "$label: Cancel writes neither \"InstallDriver\" nor \"HardwareID\"" \
        eval 'expect_no_value "$PRODUCT_KEY" InstallDriver && expect_no_value "$PRODUCT_KEY" HardwareID'
}

# On Windows XP with the adapter present at the start: reported at once;
# Close records the driver and starts the utility.
install_present_winxp() {
    local label="winxp, -install, adapter present" dialog
    reset_machine winxp
    check "$label: the adapter is entered in Wine's device registry" plant_adapter || return
    install_standin_utility
    start_tool -install
    check "$label: the install dialog appears" wait_window dialog "${INSTALL_DIALOG[@]}" || return
    check "$label: it reports string 2 with the adapter's name; Close enabled, Cancel disabled" \
        expect_reported "$dialog"
    close_reported "$label" "$dialog" "$ADAPTER_ID"
    check "$label: the utility tavarin.exe was started once, with \"-silent -hs\"" \
        eval 'expect_value "$RESULT_KEY" "tavarin.exe runs" 0x1 &&
              expect_value "$RESULT_KEY" "tavarin.exe arguments" "-silent -hs"'
}

# On Windows XP, the adapter arrives while the dialog waits: the poll alone
# reports nothing; a device-change notification does, 5 s later.
install_arrival_winxp() {
    local label="winxp, -install, adapter inserted later" dialog sent_ms now_ms
    reset_machine winxp
    start_tool -install
    check "$label: the dialog waits with string 1" \
        eval 'wait_window dialog "${INSTALL_DIALOG[@]}" && expect_waiting "$dialog"' || return
    check "$label: the adapter is entered in Wine's device registry" plant_adapter || return
    # More than one 4 s poll period: the poll sees the adapter and stops,
    # but only the settle timer reports.
    sleep 5
    check "$label: the poll alone reports nothing (still string 1 after 5 s)" \
        eval 'wait_window dialog "${INSTALL_DIALOG[@]}" && expect_waiting "$dialog"'
    check "$label: WM_DEVICECHANGE (DBT_DEVNODES_CHANGED) reaches the dialog, as Windows sends it" \
        probe devchange 5000 --exe tavsetup.exe "${INSTALL_DIALOG[@]}" || return
    sent_ms=$(date +%s%3N)
    wait_window dialog "${INSTALL_DIALOG[@]}" >/dev/null
    now_ms=$(date +%s%3N)
    if [ $((now_ms - sent_ms)) -lt 4000 ]; then
        check "$label: $((now_ms - sent_ms)) ms after the notification: still waiting (5 s settle)" \
            expect_waiting "$dialog"
    fi
    check "$label: after the 5 s settle the dialog reports string 2 with the name; Close enabled, Cancel disabled" \
        wait_dialog dialog 15 expect_reported || return
    close_reported "$label" "$dialog" "$ADAPTER_ID"
}

# On Windows NT 4.0 (switch in capitals): the package is looked for in the
# installation folder first; the service is registered without the path
# repair and access list of 2000 / XP.
install_nt40() {
    local label="nt40, -INSTALL" box dialog
    reset_machine nt40
    start_tool -INSTALL
    check "$label: with no installation folder, string 24 under an empty caption" \
        eval 'wait_window box "${EMPTY_CAPTION_BOX[@]}" && expect_control_text "$box" 65535 "$TEXT_INF_NOT_FOUND" &&
              expect_buttons "$box" "OK|"' || return
    check "$label: Return on the message" press_key Return "${EMPTY_CAPTION_BOX[@]}" || return
    check "$label: then the install dialog waits with string 1" \
        eval 'wait_window dialog "${INSTALL_DIALOG[@]}" && expect_waiting "$dialog"' || return
    check "$label: W32NDIS5 is registered with the plain image path" expect_w32ndis5 "$W32NDIS5_PLAIN_PATH"
    cancel_with_yes "$label"
}

# On Windows 2000 with W32NDIS5 already registered for demand start: the
# tool forces automatic start in its key and repairs the missing image path.
install_present_service_win2k() {
    local label="win2k, -install, W32NDIS5 present (demand start)" dialog
    reset_machine win2k
    check "$label: sc create W32NDIS5 (kernel driver, demand start, plain path)" \
        eval 'w sc create W32NDIS5 type= kernel start= demand binpath= "$W32NDIS5_PLAIN_PATH" group= PNP_TDI \
              >/dev/null && expect_value "$W32NDIS5_KEY" Start 0x3' || return
    start_tool -install
    check "$label: the install dialog waits with string 1" \
        eval 'wait_window dialog "${INSTALL_DIALOG[@]}" && expect_waiting "$dialog"' || return
    check "$label: \"Start\" is forced to 2" expect_value "$W32NDIS5_KEY" Start 0x2
    check "$label: \"ImagePath\" (no such file) is rewritten to the \\??\\ form" \
        expect_value "$W32NDIS5_KEY" ImagePath "$W32NDIS5_REPAIRED_PATH"
    cancel_with_yes "$label"
}

# On Windows 98 SE: the setup source points at the installation folder while
# the dialog is up and is put back afterwards.
install_win98() {
    local label="win98, -install" box dialog
    reset_machine win98
    mkdir -p "$WINEPREFIX/drive_c/tavtest/package"
    wreg add "$SETUP_KEY" /v SourcePath /d 'C:\WINDOWS\OPTIONS\CABS' /f
    wreg add "$PRODUCT_KEY" /v InstallPath /d "$TEST_DIR_WIN\\package" /f
    start_tool -install
    check "$label: with no package files in the installation folder, string 24 under an empty caption" \
        eval 'wait_window box "${EMPTY_CAPTION_BOX[@]}" && expect_control_text "$box" 65535 "$TEXT_INF_NOT_FOUND"' ||
        return
    check "$label: a click on OK" click_control "$box" 1 || return
    check "$label: then the install dialog waits with string 1" \
        eval 'wait_window dialog "${INSTALL_DIALOG[@]}" && expect_waiting "$dialog"' || return
    check "$label: \"SourcePath\" points at the installation folder during the job" \
        expect_value "$SETUP_KEY" SourcePath "$TEST_DIR_WIN\\package\\"
    wine_divergence "Windows 98 SE has no service control manager, so there the tool registers no W32NDIS5;"
    wine_divergence "Wine keeps one whatever the version, and the tool's request succeeds. Checked: only the"
    wine_divergence "2000 / XP steps are skipped (no image-path repair)."
    check "$label: W32NDIS5 (created by Wine's service manager) keeps the plain image path" \
        expect_value "$W32NDIS5_KEY" ImagePath "$W32NDIS5_PLAIN_PATH"
    cancel_with_yes "$label"
    check "$label: \"SourcePath\" is put back" expect_value "$SETUP_KEY" SourcePath 'C:\WINDOWS\OPTIONS\CABS'
}

# On Windows 98 SE with the adapter present: the configuration manager's
# device nodes lead to it, and the dialog reports it at once.
install_present_win98() {
    local label="win98, -install, adapter present" dialog
    reset_machine win98
    wine_divergence "Wine keeps no device nodes below HKEY_DYN_DATA\\Config Manager\\Enum and no HKLM\\Enum, where"
    wine_divergence "Windows 98 SE lists its devices: the adapter is entered there as 98 SE records one."
    check "$label: the adapter is entered (device node, HKLM\\Enum key, network class key)" plant_adapter_9x || return
    start_tool -install
    check "$label: the install dialog appears" wait_window dialog "${INSTALL_DIALOG[@]}" || return
    check "$label: it reports string 2 with the adapter's name; Close enabled, Cancel disabled" \
        expect_reported "$dialog"
    close_reported "$label" "$dialog" "$ADAPTER_ID_9X"
}

# On Windows 98 SE only the arrival of a device counts: a "device nodes
# changed" notification and the poll report nothing.
install_arrival_win98() {
    local label="win98, -install, adapter inserted later" box dialog
    reset_machine win98
    start_tool -install
    check "$label: string 24 first (no installation folder); Return" \
        eval 'wait_window box "${EMPTY_CAPTION_BOX[@]}" && press_key Return "${EMPTY_CAPTION_BOX[@]}"' || return
    check "$label: the dialog waits with string 1" \
        eval 'wait_window dialog "${INSTALL_DIALOG[@]}" && expect_waiting "$dialog"' || return
    check "$label: the adapter is entered" plant_adapter_9x || return
    check "$label: DBT_DEVNODES_CHANGED reaches the dialog" \
        probe devchange 5000 --exe tavsetup.exe "${INSTALL_DIALOG[@]}" || return
    # Longer than the 5 s settle and than a 4 s poll period.
    sleep 6
    check "$label: 6 s later still string 1: neither that notification nor the poll reports" \
        eval 'wait_window dialog "${INSTALL_DIALOG[@]}" && expect_waiting "$dialog"'
    check "$label: DBT_DEVICEARRIVAL of a device node reaches the dialog" \
        probe devarrival 5000 --exe tavsetup.exe "${INSTALL_DIALOG[@]}" || return
    check "$label: after the 5 s settle the dialog reports string 2 with the name; Close enabled, Cancel disabled" \
        wait_dialog dialog 15 expect_reported || return
    check "$label: a click on Close ends the run within 10 s" \
        eval 'click_control "$dialog" 1 && expect_exit 10'
}

run_install_cases() {
    echo "# The install job"
    install_waiting_winxp
    install_present_winxp
    install_arrival_winxp
    install_nt40
    install_present_service_win2k
    install_win98
    install_present_win98
    install_arrival_win98
}
