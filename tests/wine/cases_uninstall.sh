# The uninstall jobs (-uninstall, -uninstallb): what the run does before the
# dialog (the utility told to exit, its data files and shortcuts deleted),
# the dialog in each of its ends (removed, refused, no device), the driver
# package's files after a removal, and what Close and Escape leave behind.
#
# What Wine does, as measured with Wine 8.0:
# - DIF_REMOVE through SetupDiCallClassInstaller on the adapter entered in
#   HKLM\System\CurrentControlSet\Enum succeeds and takes the device out:
#   its Enum key (with the device key above it) and its driver key go, so
#   the dialog reports string 17. A class installer named by the class key's
#   "Installer32" is called first, and its refusal comes back as FALSE with
#   nothing removed: string 16.
# - With the version set to win98 the tool searches HKEY_DYN_DATA "Config
#   Manager\Enum". Wine has that key, empty: no device is found (string 21)
#   until one is entered there as Windows 98 SE records it.
# - ShellExecuteEx of a missing program shows the shell's own "Error" box
#   ("File not found."), as Windows does when the caller does not ask for
#   SEE_MASK_FLAG_NO_UI; only after it is answered does the call fail.
# shellcheck shell=bash disable=SC2016 # checks of several steps are eval'd texts in single quotes

# The folder of the Solvane PC Card's utility (ExecPath of profile 1).
UTILITY_B_DIR_WIN="$TEST_DIR_WIN\\utility-b"

removed_text() { printf '%s%s' "$1" "$TEXT_REMOVED_SUFFIX"; }

# The dialog's states, each given the dialog's description and the
# device's name.
expect_found() {
    expect_control_text "$1" 1010 "$2" &&
        expect_control_text "$1" 1000 "$TEXT_WILL_REMOVE" &&
        expect_states "$1" 1010 1 1 && # the name box: shown
        expect_states "$1" 1006 1 1 && # Remove: enabled
        expect_states "$1" 1 1 1       # Close: enabled
}

expect_removing() {
    expect_control_text "$1" 1007 "$TEXT_REMOVING" &&
        expect_states "$1" 1006 0 1 &&
        expect_states "$1" 1 0 1 &&
        expect_control_text "$1" 1010 "$2"
}

expect_removed() {
    expect_control_text "$1" 1010 "$(removed_text "$2")" &&
        expect_control_text "$1" 1000 "$TEXT_REMOVED" &&
        expect_control_text "$1" 1007 "" &&
        expect_states "$1" 1006 0 1 &&
        expect_states "$1" 1 1 1
}

expect_refused() {
    expect_control_text "$1" 1007 "$TEXT_REMOVE_FAILED" &&
        expect_control_text "$1" 1000 "$TEXT_WILL_REMOVE" &&
        expect_control_text "$1" 1010 "$2" &&
        expect_states "$1" 1006 0 1 &&
        expect_states "$1" 1 1 1
}

expect_no_device() {
    expect_control_text "$1" 1000 "$TEXT_NO_DEVICE" &&
        expect_states "$1" 1006 0 1 && # Remove: disabled
        expect_states "$1" 1010 1 0 && # the name box: hidden
        expect_states "$1" 1 1 1
}

removing_card() { expect_removing "$1" "$CARD_NAME"; }
removed_adapter() { expect_removed "$1" "$ADAPTER_NAME"; }
removed_card() { expect_removed "$1" "$CARD_NAME"; }
refused_adapter() { expect_refused "$1" "$ADAPTER_NAME"; }
refused_card() { expect_refused "$1" "$CARD_NAME"; }

# The utility of profile 2 with its data files (one read-only) and the
# dynamic values of its key and of the security product's key.
DYNAMIC_VALUES=(DynamicSwitch DynamicProfile DynamicCard)
SECURITY_VALUES=(VID0 VID1 VID2 VID3)
set_up_utility() {
    install_standin_program "$UTILITY_DIR_WIN" tavarin.exe
    put_file "$UTILITY_DIR_WIN\\_tavarin.dat" && chmod a-w "$(unix_path "$UTILITY_DIR_WIN\\_tavarin.dat")"
    put_file "$UTILITY_DIR_WIN\\profile.pro"
    reg_put "$PRODUCT_KEY" ExecPath "$UTILITY_DIR_WIN"
    local name
    for name in "${DYNAMIC_VALUES[@]}"; do reg_put "$PRODUCT_KEY" "$name" 1; done
    for name in "${SECURITY_VALUES[@]}" VID4; do reg_put "$SECURITY_KEY" "$name" 0012F3A1; done
}

# expect_dynamic_values present|absent: the values the run clears after the
# dialog; "ExecPath" and "VID4" are never touched.
expect_dynamic_values() {
    expect_values "$PRODUCT_KEY" "$1" "${DYNAMIC_VALUES[@]}" &&
        expect_values "$SECURITY_KEY" "$1" "${SECURITY_VALUES[@]}" &&
        expect_values "$PRODUCT_KEY" present ExecPath &&
        expect_values "$SECURITY_KEY" present VID4
}

# The utility's shortcuts in Wine's shell folders; the all-users group also
# holds another product's shortcut.
UTILITY_SHORTCUTS=(
    "$SHELL_STARTUP\\$UTILITY_SHORTCUT"
    "$SHELL_PROGRAMS\\$START_MENU_GROUP\\$UTILITY_SHORTCUT"
    "$SHELL_PROGRAMS\\$START_MENU_GROUP\\$UTILITY_HELP_SHORTCUT"
    "$SHELL_COMMON_STARTUP\\$UTILITY_SHORTCUT"
    "$SHELL_COMMON_PROGRAMS\\$START_MENU_GROUP\\$UTILITY_SHORTCUT"
    "$SHELL_COMMON_PROGRAMS\\$START_MENU_GROUP\\$UTILITY_HELP_SHORTCUT"
)
OTHER_SHORTCUT="$SHELL_COMMON_PROGRAMS\\$START_MENU_GROUP\\Other Product.lnk"
set_up_shortcuts() {
    local path
    for path in "${UTILITY_SHORTCUTS[@]}" "$OTHER_SHORTCUT"; do put_file "$path"; done
}

# The Boingo companion, installed; Windows Installer played by winprobe.
set_up_companion() {
    install_standin_msiexec
    reg_put "$PRODUCT_KEY" BoingoInstallRun 1
    reg_put "$COMPANION_UNINSTALL_KEY" DisplayName 'Boingo Wireless'
}

msiexec_runs() { reg_value "$RESULT_KEY" "msiexec.exe runs" || echo none; }

# The driver package as Windows keeps it: the INF copy Windows made
# (INFPATH, named by the driver key's "InfPath"), the package INFs and
# driver images, and the catalogs.
PACKAGE_FILES_AB=(
    "$WINDOWS_DIR_WIN\\inf\\ntzl11ab.inf" "$SYSTEM_DIR_WIN\\drivers\\ntzl11ab.sys" "$CATALOG_DIR_WIN\\ntzl11ab.cat"
)
PACKAGE_FILES_A=(
    "$WINDOWS_DIR_WIN\\inf\\netzl11a.inf" "$SYSTEM_DIR_WIN\\drivers\\zelm11a.sys" "$CATALOG_DIR_WIN\\netzl11a.cat"
)
set_up_package_files() {
    local path
    for path in "$WINDOWS_DIR_WIN\\inf\\$1" "${PACKAGE_FILES_AB[@]}" "${PACKAGE_FILES_A[@]}"; do put_file "$path"; done
}

# On Windows XP with no adapter: the steps before the dialog, string 21,
# and Escape: no companion removal, the dynamic values cleared all the same.
uninstall_no_device_winxp() {
    local label="winxp, -uninstall, no adapter" dialog
    reset_machine winxp
    set_up_utility
    set_up_shortcuts
    set_up_companion
    check "$label: the utility, its data files, dynamic values, shortcuts and the companion are in place" reg_apply ||
        return
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$MSIEXEC_NATIVE" start_tool -uninstall
    check "$label: the uninstall dialog \"$TEXT_UNINSTALL_CAPTION\" appears" \
        wait_window dialog "${UNINSTALL_DIALOG[@]}" || return
    check "$label: it shows string 21; Remove disabled, the name box hidden, Close enabled" expect_no_device "$dialog"
    check "$label: before the dialog, tavarin.exe was started once with \"-killapp\"" \
        eval 'wait_value "$RESULT_KEY" "tavarin.exe runs" 0x1 10 && expect_value "$RESULT_KEY" "tavarin.exe arguments" -killapp'
    check "$label: \"_tavarin.dat\" (read-only) and \"profile.pro\" are deleted; tavarin.exe stays" \
        eval 'expect_files_gone "$UTILITY_DIR_WIN\\_tavarin.dat" "$UTILITY_DIR_WIN\\profile.pro" &&
              expect_file "$UTILITY_DIR_WIN\\tavarin.exe"'
    check "$label: the shortcuts are gone from the start-up and Start Menu folders of the user and of all users" \
        expect_files_gone "${UTILITY_SHORTCUTS[@]}"
    check "$label: the user's emptied \"$START_MENU_GROUP\" group is removed; the all-users one keeps another product's shortcut" \
        eval 'expect_no_file "$SHELL_PROGRAMS\\$START_MENU_GROUP" && expect_file "$OTHER_SHORTCUT"'
    check "$label: the dynamic values are still there while the dialog is open" expect_dynamic_values present
    check "$label: Escape ends the run within 10 s, exit status 0" \
        eval 'press_key Escape "${UNINSTALL_DIALOG[@]}" && expect_exit 10'
    check "$label: Escape leaves the companion installed (msiexec.exe never ran)" expect_equal runs "$(msiexec_runs)" none
    check "$label: afterwards DynamicSwitch, DynamicProfile, DynamicCard and VID0..VID3 are deleted; ExecPath, VID4 stay" \
        expect_dynamic_values absent
}

# On Windows XP with the adapter: Remove takes it out through SetupAPI and
# deletes the dual-band package's files; Close runs the companion's removal.
# (After Remove, no control has the keyboard focus: Remove had it and was
# disabled, and Windows moves the focus nowhere, so only a click closes.)
uninstall_removed_winxp() {
    local label="winxp, -uninstall, adapter present" dialog
    reset_machine winxp
    set_up_companion
    set_up_package_files oem9.inf
    reg_put "$ADAPTER_DRIVER_KEY" InfPath oem9.inf
    check "$label: the adapter is entered in Wine's device registry, installed from oem9.inf" plant_adapter || return
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$MSIEXEC_NATIVE" start_tool -uninstall
    check "$label: the uninstall dialog appears" wait_window dialog "${UNINSTALL_DIALOG[@]}" || return
    check "$label: it names the adapter below the instructions; Remove and Close enabled" \
        expect_found "$dialog" "$ADAPTER_NAME"
    check "$label: a click on Remove" click_control "$dialog" 1006 || return
    check "$label: string 17, \"$TEXT_REMOVED_SUFFIX\" after the name, the status line cleared; Remove disabled, Close enabled" \
        wait_window_state dialog 20 removed_adapter "${UNINSTALL_DIALOG[@]}"
    check "$label: Wine's SetupAPI carried out DIF_REMOVE: the adapter's Enum key and driver key are gone" \
        eval 'expect_no_key "$ADAPTER_DEVICE_KEY" && expect_no_key "$ADAPTER_DRIVER_KEY"'
    check "$label: the INF copy oem9.inf, inf\\ntzl11ab.inf and drivers\\ntzl11ab.sys are deleted (the dual-band set)" \
        expect_files_gone "$WINDOWS_DIR_WIN\\inf\\oem9.inf" "${PACKAGE_FILES_AB[@]:0:2}"
    check "$label: the dual-band catalog (98 SE only) and the 802.11a set stay" \
        expect_files_kept "${PACKAGE_FILES_AB[2]}" "${PACKAGE_FILES_A[@]}"
    check "$label: a click on Close" click_control "$dialog" 1 || return
    check "$label: Close ends the run within 10 s, exit status 0" expect_exit 10
    check "$label: Close ran the companion's removal once: msiexec.exe /x {736CAD5F-...} /qb" \
        eval 'expect_equal runs "$(msiexec_runs)" 0x1 &&
              expect_value "$RESULT_KEY" "msiexec.exe arguments" "/x {736CAD5F-0944-4498-BF9E-0E75549854C7} /qb"'
}

# On Windows XP with a class installer that refuses the removal: string 16,
# the adapter and every package file stay.
uninstall_refused_winxp() {
    local label="winxp, -uninstall, removal refused" dialog
    reset_machine winxp
    set_up_package_files oem9.inf
    reg_put "$ADAPTER_DRIVER_KEY" InfPath oem9.inf
    check "$label: the network class's installer refuses removals; the adapter is entered" \
        eval 'refuse_removals && plant_adapter' || return
    start_tool -uninstall
    check "$label: the dialog names the adapter" \
        eval 'wait_window dialog "${UNINSTALL_DIALOG[@]}" && expect_found "$dialog" "$ADAPTER_NAME"' || return
    check "$label: a click on Remove" click_control "$dialog" 1006 || return
    check "$label: string 16 in the status line; instructions and name unchanged; Remove disabled, Close enabled" \
        wait_window_state dialog 20 refused_adapter "${UNINSTALL_DIALOG[@]}"
    check "$label: the class installer was asked once, and refused" expect_value "$RESULT_KEY" RefusedRemovals 0x1
    check "$label: the adapter stays in Wine's device registry" \
        eval 'expect_key "$ADAPTER_KEY" && expect_key "$ADAPTER_DRIVER_KEY"'
    check "$label: every package file stays, the INF copy too" \
        expect_files_kept "$WINDOWS_DIR_WIN\\inf\\oem9.inf" "${PACKAGE_FILES_AB[@]}"
    check "$label: a click on Close ends the run within 10 s" eval 'click_control "$dialog" 1 && expect_exit 10'
}

# -uninstallb on Windows 98 SE with nothing below HKEY_DYN_DATA but what
# Wine keeps there: string 21.
uninstallb_no_device_win98() {
    local label="win98, -uninstallb, no card" dialog nodes
    reset_machine win98
    nodes=$(probe dyndata list 'Config Manager\Enum')
    case "$nodes" in
        "key Config Manager\\\\Enum") wine_divergence "HKEY_DYN_DATA\\Config Manager\\Enum: there, empty" ;;
        "error "*) wine_divergence "HKEY_DYN_DATA\\Config Manager\\Enum: missing ($nodes)" ;;
    esac
    check "$label: Wine keeps no device node below HKEY_DYN_DATA\\Config Manager\\Enum" \
        expect_equal "keys below it" "$(printf '%s\n' "$nodes" | sed 1d | grep -c '^key ')" 0
    start_tool -uninstallb
    check "$label: the dialog shows string 21; Remove disabled, the name box hidden" \
        eval 'wait_window dialog "${UNINSTALL_DIALOG[@]}" && expect_no_device "$dialog"' || return
    check "$label: Escape ends the run within 10 s" eval 'press_key Escape "${UNINSTALL_DIALOG[@]}" && expect_exit 10'
}

# -uninstallb on Windows 98 SE with the Solvane PC Card: Zovavizu.exe takes
# 3 s while the dialog keeps answering; then the package's INF and catalog
# go. No shortcut is touched by this switch.
uninstallb_removed_win98() {
    local label="win98, -uninstallb, card present" dialog clicked elapsed
    reset_machine win98
    wine_divergence "Wine has no device node below HKEY_DYN_DATA\\Config Manager\\Enum and no HKLM\\Enum, where"
    wine_divergence "Windows 98 SE lists its devices: the card is entered there as 98 SE records one."
    install_standin_program "$UTILITY_B_DIR_WIN" Zovavizu.exe
    reg_put "$PROFILE_B_KEY" ExecPath "$UTILITY_B_DIR_WIN"
    reg_put "$CARD_DRIVER_KEY_9X" InfPath OEM3.INF
    set_up_package_files OEM3.INF
    put_file "$SHELL_STARTUP\\$UTILITY_SHORTCUT"
    check "$label: the card is entered (device node, HKLM\\Enum key, network class key); Zovavizu.exe in ExecPath" \
        plant_card_9x || return
    TAV_STANDIN_MS=3000 start_tool -uninstallb
    check "$label: the dialog names the card; Remove and Close enabled" \
        eval 'wait_window dialog "${UNINSTALL_DIALOG[@]}" && expect_found "$dialog" "$CARD_NAME"' || return
    check "$label: a click on Remove" click_control "$dialog" 1006 || return
    clicked=$(date +%s%3N)
    check "$label: while Zovavizu.exe runs: string 18, Remove and Close disabled, and the dialog answers messages" \
        wait_window_state dialog 3 removing_card "${UNINSTALL_DIALOG[@]}"
    check "$label: then string 17 with \"$TEXT_REMOVED_SUFFIX\"; Close enabled" \
        wait_window_state dialog 20 removed_card "${UNINSTALL_DIALOG[@]}" || return
    elapsed=$(($(date +%s%3N) - clicked))
    check "$label: the dialog waited for the removal program's 3 s ($elapsed ms from the click)" \
        test "$elapsed" -ge 3000
    check "$label: Zovavizu.exe was started once with -u \"<name>\" \"Net\" \"<hardware key>\"" \
        eval 'expect_value "$RESULT_KEY" "zovavizu.exe runs" 0x1 &&
              expect_value "$RESULT_KEY" "zovavizu.exe arguments" "-u \"$CARD_NAME\" \"Net\" \"$CARD_HARDWARE_KEY_9X\""'
    check "$label: OEM3.INF, inf\\netzl11a.inf and the catalog netzl11a.cat are deleted at once (nothing in WININIT.INI)" \
        expect_files_gone "$WINDOWS_DIR_WIN\\inf\\OEM3.INF" "${PACKAGE_FILES_A[0]}" "${PACKAGE_FILES_A[2]}" \
        "$WINDOWS_DIR_WIN\\WININIT.INI"
    check "$label: profile 1 leaves the driver image zelm11a.sys and the dual-band set" \
        expect_files_kept "${PACKAGE_FILES_A[1]}" "${PACKAGE_FILES_AB[@]}"
    check "$label: -uninstallb leaves the shortcuts alone" expect_file "$SHELL_STARTUP\\$UTILITY_SHORTCUT"
    check "$label: a click on Close ends the run within 10 s" eval 'click_control "$dialog" 1 && expect_exit 10'
}

# -uninstallb on Windows 98 SE with no Zovavizu.exe where ExecPath points:
# the shell says so, and the dialog reports string 16.
uninstallb_missing_program_win98() {
    # shellcheck disable=SC2034 # box is filled by the eval'd check
    local label="win98, -uninstallb, Zovavizu.exe missing" dialog box
    reset_machine win98
    mkdir -p "$(unix_path "$UTILITY_B_DIR_WIN")"
    reg_put "$PROFILE_B_KEY" ExecPath "$UTILITY_B_DIR_WIN"
    reg_put "$CARD_DRIVER_KEY_9X" InfPath OEM3.INF
    set_up_package_files OEM3.INF
    check "$label: the card is entered" plant_card_9x || return
    start_tool -uninstallb
    check "$label: the dialog names the card" \
        eval 'wait_window dialog "${UNINSTALL_DIALOG[@]}" && expect_found "$dialog" "$CARD_NAME"' || return
    check "$label: a click on Remove" click_control "$dialog" 1006 || return
    check "$label: the shell reports the missing program in its own box (caption \"Error\", OK)" \
        eval 'wait_window box --caption Error --control 65535 && expect_buttons "$box" "OK|"' || return
    check "$label: Return on the shell's box" press_key Return --caption Error --control 65535 || return
    check "$label: string 16: nothing was started; Close enabled" \
        wait_window_state dialog 10 refused_card "${UNINSTALL_DIALOG[@]}"
    check "$label: every package file stays" \
        expect_files_kept "$WINDOWS_DIR_WIN\\inf\\OEM3.INF" "${PACKAGE_FILES_A[@]}"
    check "$label: a click on Close ends the run within 10 s" eval 'click_control "$dialog" 1 && expect_exit 10'
}

run_uninstall_cases() {
    echo "# The uninstall jobs"
    uninstall_no_device_winxp
    uninstall_removed_winxp
    uninstall_refused_winxp
    uninstallb_no_device_win98
    uninstallb_removed_win98
    uninstallb_missing_program_win98
}
