# The upgrade jobs: -Upgrade (the driver of a present adapter, else the
# upgrade dialog that waits for one; "Upgrade Device Failed" when newdev
# cannot be used) and -UpgradeFiles (the staged security library).
#
# What Wine does, as measured with Wine 8.0: newdev's
# UpdateDriverForPlugAndPlayDevicesA (carried out by Wine's setupapi) runs
# the device installer with the given INF for every device carrying the
# hardware ID, ignores INSTALLFLAG_FORCE ("Unhandled flags 0x1"), and
# returns TRUE whatever happened: with an INF that has no model for the
# adapter it installs nothing and still reports success. So under Wine an
# adapter that is present is always "upgraded": the run ends without a
# window, and after an arrival the dialog shows string 34. The package INF
# written here has a model for the adapter, so that Wine's installer really
# takes its driver from the installation folder (the driver key then names
# the INF and its section), which shows the path and ID the tool passed.
# "Upgrade Device Failed" is reached with newdev disabled
# (WINEDLLOVERRIDES newdev=d): LoadLibrary("newdev") fails.
# shellcheck shell=bash disable=SC2016 # checks of several steps are eval'd texts in single quotes

PACKAGE_DIR_WIN="$TEST_DIR_WIN\\package"
LIBRARY_WIN="$SYSTEM_DIR_WIN\\ZLMSecurity.dll"
STAGED_LIBRARY_WIN="$SYSTEM_DIR_WIN\\ZLMSecurity.new"

# shellcheck disable=SC2059 # the formats are the tool's texts
upgraded_text() { printf "$TEXT_UPGRADED_FORMAT" "$1"; }
# shellcheck disable=SC2059
not_supported_text() { printf "$TEXT_NOT_SUPPORTED_FORMAT" "$1"; }

file_text() { cat "$(unix_path "$1")" 2>/dev/null; }

expect_upgrade_waiting() {
    expect_control_text "$1" 1000 "$TEXT_LOCATING_UPGRADE" &&
        expect_states "$1" 1 0 1 && # Close: disabled
        expect_states "$1" 2 1 1 && # Cancel: enabled
        expect_states "$1" 1002 1 0 # the "Timeout" line: hidden
}

not_supported_adapter() {
    expect_control_text "$1" 1000 "$(not_supported_text "$ADAPTER_NAME")" &&
        expect_states "$1" 1 0 1 &&
        expect_states "$1" 2 1 1
}

upgraded_adapter() {
    expect_control_text "$1" 1000 "$(upgraded_text "$ADAPTER_NAME")" &&
        expect_states "$1" 1 1 1 && # Close: enabled
        expect_states "$1" 2 0 1    # Cancel: disabled
}

# The package's INF for the dual-band adapter in the installation folder
# ("InstallPath"): a model for the adapter's hardware ID whose install
# section writes one value into the driver key.
put_package_inf() {
    local inf
    inf=$(unix_path "$PACKAGE_DIR_WIN\\ntzl11ab.inf")
    mkdir -p "$(dirname "$inf")" || return 1
    printf '%s\r\n' '[Version]' 'Signature="$Windows NT$"' 'Class=Net' "ClassGUID=$NET_CLASS" \
        'Provider=%Zelmar%' 'DriverVer=06/01/2004,3.0.0.1' '' \
        '[Manufacturer]' '%Zelmar%=Zelmar' '' \
        '[Zelmar]' "%DualBand%=DualBand.ndi, $ADAPTER_ID" '' \
        '[DualBand.ndi]' 'AddReg=DualBand.reg' '' '[DualBand.ndi.Services]' '' \
        '[DualBand.reg]' 'HKR,,PackageInf,0,"ntzl11ab.inf"' '' \
        '[Strings]' 'Zelmar="Zelmar"' "DualBand=\"$ADAPTER_NAME\"" >"$inf"
}

# Wine's device installer took the adapter's driver from that INF.
expect_driver_from_package() {
    expect_value "$ADAPTER_DRIVER_KEY" InfPath ntzl11ab.inf &&
        expect_value "$ADAPTER_DRIVER_KEY" InfSection DualBand.ndi &&
        expect_value "$ADAPTER_DRIVER_KEY" PackageInf ntzl11ab.inf
}

# On Windows XP with no adapter: string 30, a refused end of session,
# Cancel, string 31, No, Cancel again, Yes.
upgrade_waiting_winxp() {
    # shellcheck disable=SC2034 # answer is filled by the eval'd check
    local label="winxp, -Upgrade, no adapter" dialog box answer
    reset_machine winxp
    start_tool -Upgrade
    check "$label: the upgrade dialog \"$TEXT_CAPTION\" appears" wait_window dialog "${UPGRADE_DIALOG[@]}" || return
    check "$label: it shows string 30; Close disabled, Cancel enabled, the Timeout line hidden" \
        expect_upgrade_waiting "$dialog"
    check "$label: WM_QUERYENDSESSION is answered FALSE: the session may not end while the dialog is open" \
        eval 'answer=$(probe endsession 5000 --exe tavsetup.exe "${UPGRADE_DIALOG[@]}") &&
              expect_equal "answer" "$answer" "answer 0"'
    check "$label: a click on Cancel" click_control "$dialog" 2 || return
    check "$label: Cancel asks string 31 under \"$TEXT_CAPTION\", buttons Yes and No" \
        eval 'wait_window box "${CONFIRM_BOX[@]}" && expect_control_text "$box" 65535 "$TEXT_CONFIRM_EXIT_UPGRADE" &&
              expect_buttons "$box" "&Yes|&No|"' || return
    check "$label: a click on No" click_control "$box" 7
    check "$label: No closes the question and the dialog goes on waiting" \
        eval 'wait_gone "${CONFIRM_BOX[@]}" && wait_window dialog "${UPGRADE_DIALOG[@]}" &&
              expect_upgrade_waiting "$dialog"'
    check "$label: Escape on the dialog" press_key Escape "${UPGRADE_DIALOG[@]}" || return
    check "$label: string 31 again; Return answers Yes" \
        eval 'wait_window box "${CONFIRM_BOX[@]}" && press_key Return "${CONFIRM_BOX[@]}"' || return
    check "$label: the run ends within 10 s, exit status 0" expect_exit 10
}

# On Windows XP, the adapter arrives while the dialog waits: with no INF for
# it in the installation folder, string 36 and the wait goes on; with the
# INF, the next notification leads to string 34.
upgrade_arrival_winxp() {
    local label="winxp, -Upgrade, adapter inserted later" dialog
    reset_machine winxp
    mkdir -p "$(unix_path "$PACKAGE_DIR_WIN")"
    reg_put "$PRODUCT_KEY" InstallPath "$PACKAGE_DIR_WIN"
    check "$label: an installation folder without the package INF" reg_apply || return
    start_tool -Upgrade
    check "$label: the dialog waits with string 30" \
        eval 'wait_window dialog "${UPGRADE_DIALOG[@]}" && expect_upgrade_waiting "$dialog"' || return
    check "$label: the adapter is entered in Wine's device registry" plant_adapter || return
    check "$label: WM_DEVICECHANGE reaches the dialog" \
        probe devchange 5000 --exe tavsetup.exe "${UPGRADE_DIALOG[@]}" || return
    check "$label: after the 5 s settle, string 36 names the adapter; Close still disabled, Cancel enabled" \
        wait_window_state dialog 15 not_supported_adapter "${UPGRADE_DIALOG[@]}" || return
    check "$label: the package INF ntzl11ab.inf is put in the installation folder" put_package_inf || return
    check "$label: the next WM_DEVICECHANGE reaches the dialog" \
        probe devchange 5000 --exe tavsetup.exe "${UPGRADE_DIALOG[@]}" || return
    check "$label: after the settle, string 34 names the adapter; Close enabled, Cancel disabled" \
        wait_window_state dialog 15 upgraded_adapter "${UPGRADE_DIALOG[@]}" || return
    check "$label: Wine's device installer took the driver from the installation folder's ntzl11ab.inf" \
        expect_driver_from_package
    check "$label: a click on Close ends the run within 10 s, exit status 0" \
        eval 'click_control "$dialog" 1 && expect_exit 10'
}

# On Windows XP with the adapter present and the package INF in place: the
# upgrade runs without a window.
upgrade_present_winxp() {
    local label="winxp, -Upgrade, adapter present"
    reset_machine winxp
    reg_put "$PRODUCT_KEY" InstallPath "$PACKAGE_DIR_WIN"
    check "$label: the adapter is entered; the package INF is in the installation folder" \
        eval 'put_package_inf && plant_adapter' || return
    check "$label: ends by itself without a window, exit status 0 (Wine's update reports success)" run_tool -Upgrade
    check "$label: Wine's device installer took the driver from the installation folder's ntzl11ab.inf" \
        expect_driver_from_package
}

# On Windows XP with newdev unavailable: "Upgrade Device Failed", and the
# run goes on with the later switch (-install).
upgrade_failed_winxp() {
    local label="winxp, -Upgrade -install, newdev disabled" box dialog
    reset_machine winxp
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;newdev=d" start_tool -Upgrade -install
    check "$label: \"$TEXT_UPGRADE_FAILED_BOX\" under the framework's title \"$TEXT_FRAMEWORK_TITLE\", button OK" \
        eval 'wait_window box "${FRAMEWORK_BOX[@]}" && expect_control_text "$box" 65535 "$TEXT_UPGRADE_FAILED_BOX" &&
              expect_buttons "$box" "OK|"' || return
    check "$label: Return on the box" press_key Return "${FRAMEWORK_BOX[@]}" || return
    check "$label: then the install job: its dialog waits with string 1" \
        eval 'wait_window dialog "${INSTALL_DIALOG[@]}" && expect_control_text "$dialog" 1000 "$TEXT_LOCATING"' || return
    check "$label: Escape, then Return (Yes) on string 25, ends the run" \
        eval 'press_key Escape "${INSTALL_DIALOG[@]}" && press_key Return "${CONFIRM_BOX[@]}" && expect_exit 10'
}

# On Windows 98 SE the upgrade points the network class's instances at the
# driver image found in the installation folder; no window.
upgrade_retarget_win98() {
    local label="win98, -Upgrade" matching='PCI\VEN_168C&DEV_0007&SUBSYS_02207E3D&REV_01'
    reset_machine win98
    put_file "$PACKAGE_DIR_WIN\\zelm11a.sys"
    reg_put "$PRODUCT_KEY" InstallPath "$PACKAGE_DIR_WIN"
    reg_put "$NET_CLASS_KEY_9X\\0002" MatchingDeviceId "$matching"
    reg_put "$NET_CLASS_KEY_9X\\0003" MatchingDeviceId "$ADAPTER_ID_9X"
    check "$label: zelm11a.sys in the installation folder; instances of devices 0007 and 0012" reg_apply || return
    check "$label: ends by itself without a window, exit status 0" run_tool -Upgrade
    check "$label: the device-0007 instance gets \"DeviceVxDs\" and \"NTMPDriver\" = zelm11a.sys" \
        eval 'expect_value "$NET_CLASS_KEY_9X\\0002" DeviceVxDs zelm11a.sys &&
              expect_value "$NET_CLASS_KEY_9X\\0002" NTMPDriver zelm11a.sys'
    check "$label: the device-0012 instance is left alone" \
        expect_values "$NET_CLASS_KEY_9X\\0003" absent DeviceVxDs NTMPDriver
}

# -UpgradeFiles: KIND LABEL-SUFFIX, with the library (old|loaded|none) and a
# staged copy in Wine's system folder.
upgradefiles_case() {
    local kind=$1 library=$2 label="$1, -UpgradeFiles, library $2"
    reset_machine "$kind"
    case "$library" in
        old) put_file "$LIBRARY_WIN" 'old library' ;;
        loaded) cp "$TEST_DIR/refusing_installer.dll" "$(unix_path "$LIBRARY_WIN")" ;;
    esac
    put_file "$STAGED_LIBRARY_WIN" 'new library'
    if [ "$library" = loaded ]; then
        check "$label: ZLMSecurity.dll is loaded by a running program" start_holder load "$LIBRARY_WIN" || return
    fi
    check "$label: ends by itself without a window, exit status 0" run_tool -UpgradeFiles
    case "$kind/$library" in
        winxp/*)
            check "$label: on XP both files stay as they were" \
                eval 'expect_equal library "$(file_text "$LIBRARY_WIN")" "old library" &&
                      expect_equal "staged copy" "$(file_text "$STAGED_LIBRARY_WIN")" "new library"'
            ;;
        */old)
            check "$label: ZLMSecurity.dll now holds the staged copy, and ZLMSecurity.new is deleted" \
                eval 'expect_equal library "$(file_text "$LIBRARY_WIN")" "new library" &&
                      expect_no_file "$STAGED_LIBRARY_WIN"'
            ;;
        */loaded)
            check "$label: the library in use cannot be replaced: it stays, and so does the staged copy" \
                eval 'cmp -s "$TEST_DIR/refusing_installer.dll" "$(unix_path "$LIBRARY_WIN")" &&
                      expect_equal "staged copy" "$(file_text "$STAGED_LIBRARY_WIN")" "new library"'
            stop_holder
            ;;
        */none)
            check "$label: the staged copy is deleted and no library is made" \
                expect_files_gone "$STAGED_LIBRARY_WIN" "$LIBRARY_WIN"
            ;;
    esac
}

run_upgrade_cases() {
    echo "# The upgrade jobs"
    upgrade_waiting_winxp
    upgrade_arrival_winxp
    upgrade_present_winxp
    upgrade_failed_winxp
    upgrade_retarget_win98
    wine_divergence "Windows 98 SE's system folder is C:\\WINDOWS\\SYSTEM; Wine's is C:\\windows\\system32 whatever the"
    wine_divergence "version. The tool asks GetSystemDirectory, so the library is put where Wine says."
    upgradefiles_case win98 old
    upgradefiles_case win98 loaded
    upgradefiles_case winme none
    upgradefiles_case winxp old
}
