# What the cases expect: the tool's texts as winprobe prints them (a line
# break is \n, a quote \"), the windows to look for, the registry keys.
# shellcheck disable=SC2034 # used by the case files

TEXT_CAPTION='Tavarin Device Setup'
TEXT_LOCATING='Locating a valid device, if you have not inserted the device please do so now.'
TEXT_LOCATING+=' Make sure you have administrative rights to install devices.'
# printf format: the device's name goes in place of %s.
TEXT_INSTALLED_FORMAT='The device driver for your \\"%s\\" has been properly installed.'
TEXT_UNSUPPORTED='This application will only run under:\nWindows98SE,\nWindowsME, \nWindows2000, \n&WindowsXP.'
TEXT_CONFIRM_EXIT='The device was not properly \ninstalled do you still wish to exit?'
TEXT_INF_NOT_FOUND='The .inf file was not found\nin the installation directory.'

# winprobe filters: the install dialog holds the instructions text (1000);
# a message box's text control is 65535.
INSTALL_DIALOG=(--caption "$TEXT_CAPTION" --control 1000)
CONFIRM_BOX=(--caption "$TEXT_CAPTION" --control 65535)
EMPTY_CAPTION_BOX=(--caption "" --control 65535)

W32NDIS5_KEY="$SERVICES_KEY\\W32NDIS5"
W32NDIS5_PLAIN_PATH='C:\windows\system32\W32NDIS5.sys'
W32NDIS5_REPAIRED_PATH='\??\C:\windows\system32\W32NDIS5.sys'
SETUP_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Setup'

# The uninstall dialog (strings 16, 17, 18, 21, 22).
TEXT_UNINSTALL_CAPTION='Tavarin Device Uninstall'
TEXT_WILL_REMOVE='The following device will be removed, click \"Remove\" to remove it.'
TEXT_NO_DEVICE='No device was found to remove.'
TEXT_REMOVING='Please wait, attempting to remove the selected device.'
TEXT_REMOVED='The device was succesfully removed.'
TEXT_REMOVED_SUFFIX=' ( REMOVED )'
TEXT_REMOVE_FAILED='There was an error in removing the device. Please removing using the window Device Manager.'
# The upgrade dialog (strings 30, 31, 34, 36) and the run's own box.
TEXT_LOCATING_UPGRADE='Locating a valid device to upgrade, if you have not inserted the device please do so now.'
TEXT_CONFIRM_EXIT_UPGRADE='The device was not properly upgraded.\nDo you still wish to exit?'
TEXT_UPGRADED_FORMAT='The device driver for your \\"%s\\" has been properly upgraded.'
# (printf formats: a line break the way winprobe prints it is \\n here.)
TEXT_NOT_SUPPORTED_FORMAT='The following device has been detected: \\"%s\\"\\n\\nThe driver for the device is not supported'
TEXT_NOT_SUPPORTED_FORMAT+=' on this Driver Installation. If you have a device that is supported, please insert it now,'
TEXT_NOT_SUPPORTED_FORMAT+=' otherwise click Cancel.'
TEXT_UPGRADE_FAILED_BOX='Upgrade Device Failed'
# A box shown with the framework's default title: the program's name.
TEXT_FRAMEWORK_TITLE='tavsetup'

# The uninstall dialog holds the Remove button (1006); the upgrade dialog is
# laid out as the install dialog.
UNINSTALL_DIALOG=(--caption "$TEXT_UNINSTALL_CAPTION" --control 1006)
UPGRADE_DIALOG=("${INSTALL_DIALOG[@]}")
FRAMEWORK_BOX=(--caption "$TEXT_FRAMEWORK_TITLE" --control 65535)

# Shortcuts and the Start Menu group of the utility and of the Solvane
# 802.11a application.
UTILITY_SHORTCUT='Tavarin 802.11.lnk'
UTILITY_HELP_SHORTCUT='Tavarin 802.11 Help.lnk'
SOLVANE_SHORTCUT='Solvane 802.11a.lnk'
SOLVANE_HELP_SHORTCUT='Solvane 802.11a Help.lnk'
START_MENU_GROUP='Zelmar'
SOLVANE_KEY='HKLM\Software\Zelmar\SolvaneApp'
SOLVANE_UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Solvane 802.11a'
SECURITY_KEY='HKLM\Software\Zelmar\SolvaneSecurity'
PROFILE_B_KEY='HKLM\Software\Zelmar\SolvaneAppB'
