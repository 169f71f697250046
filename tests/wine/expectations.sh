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
