# The Solvane 802.11a application's removal (-UninstallSolvane): its
# shortcuts, its program folder, its uninstall entry and its key.
#
# What Wine does, as measured with Wine 8.0: DeleteFileA of a file another
# program holds open without sharing deletion fails, and MoveFileExA with
# MOVEFILE_DELAY_UNTIL_REBOOT then records it in "PendingFileRenameOperations"
# of the Session Manager key, "\??\" before the path and an empty target; a
# folder that still holds that file is recorded the same way.
# shellcheck shell=bash disable=SC2016 # checks of several steps are eval'd texts in single quotes

SOLVANE_FILES=(solvane.exe readme.txt zlmsec.log)
SOLVANE_SHORTCUTS=(
    "$SHELL_STARTUP\\$SOLVANE_SHORTCUT"
    "$SHELL_PROGRAMS\\$START_MENU_GROUP\\$SOLVANE_SHORTCUT"
    "$SHELL_PROGRAMS\\$START_MENU_GROUP\\$SOLVANE_HELP_SHORTCUT"
    "$SHELL_COMMON_STARTUP\\$SOLVANE_SHORTCUT"
    "$SHELL_COMMON_PROGRAMS\\$START_MENU_GROUP\\$SOLVANE_SHORTCUT"
    "$SHELL_COMMON_PROGRAMS\\$START_MENU_GROUP\\$SOLVANE_HELP_SHORTCUT"
)
SOLVANE_OTHER_SHORTCUT="$SHELL_COMMON_PROGRAMS\\$START_MENU_GROUP\\Other Product.lnk"

solvane_file() { printf '%s\\%s' "$SOLVANE_FOLDER_WIN" "$1"; }

# The application as its installer leaves it: the program folder (its
# readme read-only), the shortcuts, the uninstall entry with a sub-key, and
# its key naming the folder.
set_up_solvane() {
    local name path
    for name in "${SOLVANE_FILES[@]}"; do put_file "$(solvane_file "$name")"; done
    chmod a-w "$(unix_path "$(solvane_file readme.txt)")"
    for path in "${SOLVANE_SHORTCUTS[@]}" "$SOLVANE_OTHER_SHORTCUT"; do put_file "$path"; done
    reg_put "$SOLVANE_KEY" ExecPath "$SOLVANE_FOLDER_WIN"
    reg_put "$SOLVANE_UNINSTALL_KEY" DisplayName 'Solvane 802.11a'
    reg_put "$SOLVANE_UNINSTALL_KEY\\Components" Client 1
    reg_apply
}

expect_solvane_shortcuts_gone() {
    expect_files_gone "${SOLVANE_SHORTCUTS[@]}" "$SHELL_PROGRAMS\\$START_MENU_GROUP" &&
        expect_file "$SOLVANE_OTHER_SHORTCUT"
}

expect_solvane_keys_gone() {
    expect_no_key "$SOLVANE_UNINSTALL_KEY" && expect_no_key "$SOLVANE_KEY" && expect_key "$PRODUCT_KEY"
}

# On Windows XP with one of its files held open by a running program.
solvane_in_use_winxp() {
    local label="winxp, -UninstallSolvane, a file in use" held
    held=$(solvane_file zlmsec.log)
    reset_machine winxp
    check "$label: the program folder, shortcuts, uninstall entry and key are in place" set_up_solvane || return
    check "$label: zlmsec.log is held open by a running program that does not share its deletion" \
        start_holder hold "$held" || return
    check "$label: ends by itself without a window, exit status 0" run_tool -UninstallSolvane
    check "$label: the shortcuts and the user's emptied \"$START_MENU_GROUP\" folder are gone; another product's shortcut stays" \
        expect_solvane_shortcuts_gone
    check "$label: solvane.exe and the read-only readme.txt are deleted; the file in use stays" \
        eval 'expect_files_gone "$(solvane_file solvane.exe)" "$(solvane_file readme.txt)" && expect_file "$held"'
    check "$label: PendingFileRenameOperations holds the file in use, then its folder, each with an empty target" \
        expect_value "$SESSION_MANAGER_KEY" PendingFileRenameOperations \
        "\\??\\$held\\0\\0\\??\\$SOLVANE_FOLDER_WIN\\0"
    check "$label: the uninstall entry (with its sub-key) and $SOLVANE_KEY are deleted" expect_solvane_keys_gone
    stop_holder
}

# On Windows 2000 with nothing in use: everything goes at once.
solvane_free_win2k() {
    local label="win2k, -UninstallSolvane, nothing in use"
    reset_machine win2k
    check "$label: the program folder, shortcuts, uninstall entry and key are in place" set_up_solvane || return
    check "$label: ends by itself without a window, exit status 0" run_tool -UninstallSolvane
    check "$label: the program folder is emptied and removed at once" expect_no_file "$SOLVANE_FOLDER_WIN"
    check "$label: nothing is left for the next start (no PendingFileRenameOperations)" \
        expect_no_value "$SESSION_MANAGER_KEY" PendingFileRenameOperations
    check "$label: the shortcuts are gone, another product's stays" expect_solvane_shortcuts_gone
    check "$label: the uninstall entry and $SOLVANE_KEY are deleted" expect_solvane_keys_gone
}

run_solvane_cases() {
    echo "# The Solvane 802.11a application's removal"
    solvane_in_use_winxp
    solvane_free_win2k
}
