// The standard devices of the NT family: an Intel 845 / ICH4 ACPI desktop
// on Windows 2000 and XP, and the legacy driver nodes of Windows NT 4.0.
#include <string>
#include <vector>

#include "sim/base/text.h"
#include "sim/machine/devices/standard_devices.h"

namespace sim::standard {

namespace {

// Which machines carry a row.
enum : unsigned {
    kXp = 1u << 0,
    k2000 = 1u << 1,
    kBoth = kXp | k2000,
    kGone = 1u << 2,        // known to the registry, no longer present
    kProfileOff = 1u << 3,  // disabled in the current hardware profile
};

// A device with its IDs written out. `hardware` is a '|' list; "" is a
// value holding only the terminator of an empty list; null is no value.
struct Row {
    unsigned on;
    const char* id;
    const char* hardware;
    const char* compatible;
    const char* desc;
    const char* mfg;
    const char* cls;
    const char* service;
    const char* inf;  // null: no driver
    const char* section;
};

const Row kRows[] = {
    // The computer and its ACPI devices.
    {kBoth, "ROOT\\ACPI_HAL\\0000", "acpiapic_up", nullptr, "ACPI Uniprocessor PC", "(Standard computers)", "Computer",
     nullptr, "hal.inf", "ACPIAPIC_UP_HAL"},
    {kBoth, "ACPI_HAL\\PNP0C08\\0", "ACPI_HAL\\PNP0C08|*PNP0C08", nullptr, "Microsoft ACPI-Compliant System",
     "Microsoft", "System", "ACPI", "acpi.inf", "ACPI_Inst"},
    {kXp, "ACPI\\GenuineIntel_-_x86_Family_15_Model_2\\_0",
     "ACPI\\GenuineIntel_-_x86_Family_15_Model_2|*GenuineIntel_-_x86_Family_15_Model_2|"
     "ACPI\\GenuineIntel_-_x86_Family_15|*GenuineIntel_-_x86_Family_15|ACPI\\GenuineIntel_-_x86|*GenuineIntel_-_x86",
     nullptr, "Intel(R) Pentium(R) 4 CPU 2.40GHz", "Intel", "Processor", "intelppm", "cpu.inf", "IntelPPM_Inst.NT"},
    {kBoth, "ACPI\\FixedButton\\2&daba3ff&0", "ACPI\\FixedButton|*FixedButton", nullptr, "ACPI Fixed Feature Button",
     "(Standard system devices)", "System", nullptr, "machine.inf", "NO_DRV"},
    {kBoth, "ACPI\\PNP0C0C\\2&daba3ff&0", "ACPI\\PNP0C0C|*PNP0C0C", nullptr, "ACPI Power Button",
     "(Standard system devices)", "System", nullptr, "machine.inf", "NO_DRV"},
    {kBoth, "ACPI\\PNP0A03\\0", "ACPI\\PNP0A03|*PNP0A03", nullptr, "PCI bus", "(Standard system devices)", "System",
     "pci", "machine.inf", "PCI_DRV"},
    {kBoth, "ACPI\\PNP0000\\4&1d401fb5&0", "ACPI\\PNP0000|*PNP0000", nullptr, "Programmable interrupt controller",
     "(Standard system devices)", "System", nullptr, "machine.inf", "NO_DRV"},
    {kBoth, "ACPI\\PNP0100\\4&1d401fb5&0", "ACPI\\PNP0100|*PNP0100", nullptr, "System timer",
     "(Standard system devices)", "System", nullptr, "machine.inf", "NO_DRV"},
    {kBoth, "ACPI\\PNP0200\\4&1d401fb5&0", "ACPI\\PNP0200|*PNP0200", nullptr, "Direct memory access controller",
     "(Standard system devices)", "System", nullptr, "machine.inf", "NO_DRV"},
    {kBoth, "ACPI\\PNP0B00\\4&1d401fb5&0", "ACPI\\PNP0B00|*PNP0B00", nullptr, "System CMOS/real time clock",
     "(Standard system devices)", "System", nullptr, "machine.inf", "NO_DRV"},
    {kBoth, "ACPI\\PNP0800\\4&1d401fb5&0", "ACPI\\PNP0800|*PNP0800", nullptr, "System speaker",
     "(Standard system devices)", "System", nullptr, "machine.inf", "NO_DRV"},
    {kBoth, "ACPI\\PNP0C04\\4&1d401fb5&0", "ACPI\\PNP0C04|*PNP0C04", nullptr, "Numeric data processor",
     "(Standard system devices)", "System", nullptr, "machine.inf", "NO_DRV"},
    {kBoth, "ACPI\\PNP0C02\\0", "ACPI\\PNP0C02|*PNP0C02", nullptr, "Motherboard resources", "(Standard system devices)",
     "System", nullptr, "machine.inf", "NO_DRV"},
    {kBoth, "ACPI\\PNP0C02\\1", "ACPI\\PNP0C02|*PNP0C02", nullptr, "Motherboard resources", "(Standard system devices)",
     "System", nullptr, "machine.inf", "NO_DRV"},
    {kBoth, "ACPI\\PNP0303\\4&1d401fb5&0", "ACPI\\PNP0303|*PNP0303", nullptr,
     "Standard 101/102-Key or Microsoft Natural PS/2 Keyboard", "(Standard keyboards)", "Keyboard", "i8042prt",
     "keyboard.inf", "STANDARD_Inst"},
    {kBoth, "ACPI\\PNP0F13\\4&1d401fb5&0", "ACPI\\PNP0F13|*PNP0F13", nullptr, "PS/2 Compatible Mouse",
     "(Standard mouse types)", "Mouse", "i8042prt", "msmouse.inf", "PS2_Inst"},
    {kBoth, "ACPI\\PNP0501\\1", "ACPI\\PNP0501|*PNP0501", nullptr, "Communications Port", "(Standard port types)",
     "Ports", "Serial", "msports.inf", "ComPort"},
    {kBoth | kProfileOff, "ACPI\\PNP0501\\2", "ACPI\\PNP0501|*PNP0501", nullptr, "Communications Port",
     "(Standard port types)", "Ports", "Serial", "msports.inf", "ComPort"},
    {kBoth, "ACPI\\PNP0401\\4&1d401fb5&0", "ACPI\\PNP0401|*PNP0401", nullptr, "ECP Printer Port",
     "(Standard port types)", "Ports", "Parport", "msports.inf", "LptPort"},
    {kBoth, "ACPI\\PNP0700\\4&1d401fb5&0", "ACPI\\PNP0700|*PNP0700", nullptr, "Standard floppy disk controller",
     "(Standard floppy disk controllers)", "fdc", "fdc", "fdc.inf", "fdc_install"},
    // Drives, channels and volumes.
    {kBoth, "PCIIDE\\IDEChannel\\4&3ada7b1&0&0", "Internal_IDE_Channel", "Internal_IDE_Channel", "Primary IDE Channel",
     "(Standard IDE ATA/ATAPI controllers)", "hdc", "atapi", "mshdc.inf", "atapi_Inst_primary"},
    {kBoth, "PCIIDE\\IDEChannel\\4&3ada7b1&0&1", "Internal_IDE_Channel", "Internal_IDE_Channel",
     "Secondary IDE Channel", "(Standard IDE ATA/ATAPI controllers)", "hdc", "atapi", "mshdc.inf",
     "atapi_Inst_secondary"},
    {kBoth, "IDE\\DiskST380011A_____________________3.06____\\5&1d3ce45c&0&0.0.0",
     "IDE\\DiskST380011A_____________________3.06____|IDE\\ST380011A_____________________3.06____|"
     "IDE\\DiskST380011A_____________________|ST380011A_____________________3.06____|GenDisk",
     "GenDisk", "ST380011A", "(Standard disk drives)", "DiskDrive", "disk", "disk.inf", "disk_install"},
    {kBoth, "IDE\\CdRomLITE-ON_DVDRW_SOHW-812S___________G_S0____\\5&2c8ed734&0&0.0.0",
     "IDE\\CdRomLITE-ON_DVDRW_SOHW-812S___________G_S0____|IDE\\LITE-ON_DVDRW_SOHW-812S___________G_S0____|"
     "IDE\\CdRomLITE-ON_DVDRW_SOHW-812S___________|LITE-ON_DVDRW_SOHW-812S___________G_S0____|GenCdRom",
     "GenCdRom", "LITE-ON DVDRW SOHW-812S", "(Standard CD-ROM drives)", "CDROM", "Cdrom", "cdrom.inf", "cdrom_install"},
    {kBoth, "FDC\\GENERIC_FLOPPY_DRIVE\\5&2d1f6b5f&0&0", "FDC\\GENERIC_FLOPPY_DRIVE", "GenFloppyDisk",
     "Floppy disk drive", "(Standard floppy disk drives)", "FloppyDisk", "flpydisk", "flpydisk.inf",
     "flpydisk_install"},
    {kBoth, "STORAGE\\Volume\\1&30a96598&0&Signature5CF7D2AEOffset7E00Length12A1A2A600", "STORAGE\\Volume", nullptr,
     "Generic volume", "Microsoft", "Volume", nullptr, "volume.inf", "volume_install"},
    {kBoth, "STORAGE\\Volume\\1&30a96598&0&Signature5CF7D2AEOffset12A1A32A00Length6FBD6C8E00", "STORAGE\\Volume",
     nullptr, "Generic volume", "Microsoft", "Volume", nullptr, "volume.inf", "volume_install"},
    // USB: root hubs, a mouse, and a memory stick plugged in once.
    {kBoth, "USB\\ROOT_HUB\\4&1a55b2d8&0",
     "USB\\ROOT_HUB&VID8086&PID24C2&REV0001|USB\\ROOT_HUB&VID8086&PID24C2|USB\\ROOT_HUB", nullptr, "USB Root Hub",
     "(Standard USB Host Controller)", "USB", "usbhub", "usbport.inf", "ROOTHUB.Dev"},
    {kBoth, "USB\\ROOT_HUB\\4&2e3c7a81&0",
     "USB\\ROOT_HUB&VID8086&PID24C4&REV0001|USB\\ROOT_HUB&VID8086&PID24C4|USB\\ROOT_HUB", nullptr, "USB Root Hub",
     "(Standard USB Host Controller)", "USB", "usbhub", "usbport.inf", "ROOTHUB.Dev"},
    {kBoth, "USB\\ROOT_HUB\\4&3b6c19f2&0",
     "USB\\ROOT_HUB&VID8086&PID24C7&REV0001|USB\\ROOT_HUB&VID8086&PID24C7|USB\\ROOT_HUB", nullptr, "USB Root Hub",
     "(Standard USB Host Controller)", "USB", "usbhub", "usbport.inf", "ROOTHUB.Dev"},
    {kXp, "USB\\ROOT_HUB20\\4&27b1f0d4&0",
     "USB\\ROOT_HUB20&VID8086&PID24CD&REV0001|USB\\ROOT_HUB20&VID8086&PID24CD|USB\\ROOT_HUB20", nullptr, "USB Root Hub",
     "(Standard USB HUBs)", "USB", "usbhub", "usbport.inf", "ROOTHUB20.Dev"},
    {kBoth, "USB\\VID_046D&PID_C016\\5&2b5ac8c4&0&1", "USB\\Vid_046d&Pid_c016&Rev_0340|USB\\Vid_046d&Pid_c016",
     "USB\\Class_03&SubClass_01&Prot_02|USB\\Class_03&SubClass_01|USB\\Class_03", "USB Human Interface Device",
     "(Standard system devices)", "HIDClass", "HidUsb", "input.inf", "HID_Inst.NT"},
    {kBoth, "HID\\VID_046D&PID_C016\\6&34f2d1a5&0&0000",
     "HID\\Vid_046d&Pid_c016&Rev_0340|HID\\Vid_046d&Pid_c016|HID_DEVICE_SYSTEM_MOUSE|HID_DEVICE_UP:0001_U:0002|"
     "HID_DEVICE",
     nullptr, "HID-compliant mouse", "Microsoft", "Mouse", "mouhid", "msmouse.inf", "HID_Mouse_Inst.NT"},
    {kXp | kGone, "USB\\VID_0781&PID_5150\\20041100001234567890",
     "USB\\Vid_0781&Pid_5150&Rev_0010|USB\\Vid_0781&Pid_5150",
     "USB\\Class_08&SubClass_06&Prot_50|USB\\Class_08&SubClass_06|USB\\Class_08", "USB Mass Storage Device",
     "Compatible USB storage device", "USB", "USBSTOR", "usbstor.inf", "USBSTOR_BULK"},
    {kXp | kGone, "USBSTOR\\Disk&Ven_SanDisk&Prod_Cruzer_Mini&Rev_0.1\\20041100001234567890&0",
     "USBSTOR\\DiskSanDisk_Cruzer_Mini_____0.1_|USBSTOR\\DiskSanDisk_Cruzer_Mini_____|USBSTOR\\DiskSanDisk_|"
     "USBSTOR\\SanDisk_Cruzer_Mini_____0|SanDisk_Cruzer_Mini_____0|USBSTOR\\GenDisk|GenDisk",
     "USBSTOR\\Disk|USBSTOR\\RAW", "SanDisk Cruzer Mini USB Device", "(Standard disk drives)", "DiskDrive", "disk",
     "disk.inf", "disk_install"},
    // Display and monitor.
    {kBoth, "DISPLAY\\Default_Monitor\\4&2b8260c3&0&80861100&00&02", "Monitor\\Default_Monitor", nullptr,
     "Plug and Play Monitor", "(Standard monitor types)", "Monitor", nullptr, "monitor.inf", "PnPMonitor.Install"},
    // Software devices and the media placeholders Windows installs itself.
    {kBoth, "ROOT\\SYSTEM\\0000", "SW\\{b7eafdc0-a680-11d0-96d8-00aa0051e51d}", nullptr,
     "Plug and Play Software Device Enumerator", "(Standard system devices)", "System", "swenum", "machine.inf",
     "SWENUM"},
    {kXp, "ROOT\\SYSTEM\\0001", "root\\mssmbios", nullptr, "Microsoft System Management BIOS Driver",
     "(Standard system devices)", "System", "mssmbios", "machine.inf", "MSSMBIOS_DRV"},
    {kBoth, "ROOT\\SYSTEM\\0002", "ROOT\\RDPDR", nullptr, "Terminal Server Device Redirector",
     "(Standard system devices)", "System", "rdpdr", "machine.inf", "RDPDR"},
    {kBoth, "ROOT\\DMIO\\0000", "ROOT\\DMIO", nullptr, "Logical Disk Manager", "(Standard system devices)", "System",
     "dmio", "machine.inf", "DMIO_DRV"},
    {kBoth, "ROOT\\FTDISK\\0000", "ROOT\\FTDISK", nullptr, "Volume Manager", "(Standard system devices)", "System",
     "ftdisk", "machine.inf", "FTDISK_DRV"},
    {kBoth, "ROOT\\RDP_KBD\\0000", "ROOT\\RDP_KBD", nullptr, "Terminal Server Keyboard Driver", "(Standard keyboards)",
     "Keyboard", "TermDD", "machine.inf", "RDP_KBD"},
    {kBoth, "ROOT\\RDP_MOU\\0000", "ROOT\\RDP_MOU", nullptr, "Terminal Server Mouse Driver", "(Standard mouse types)",
     "Mouse", "TermDD", "machine.inf", "RDP_MOU"},
    {kBoth, "ROOT\\MEDIA\\0000", "MS_MMACM", nullptr, "Audio Codecs", "(Standard system devices)", "MEDIA", nullptr,
     "wave.inf", "MS_MMACM"},
    {kBoth, "ROOT\\MEDIA\\0001", "MS_MMDRV", nullptr, "Legacy Audio Drivers", "(Standard system devices)", "MEDIA",
     nullptr, "wave.inf", "MS_MMDRV"},
    {kBoth, "ROOT\\MEDIA\\0002", "MS_MMMCI", nullptr, "Media Control Devices", "(Standard system devices)", "MEDIA",
     nullptr, "wave.inf", "MS_MMMCI"},
    {kBoth, "ROOT\\MEDIA\\0003", "MS_MMVID", nullptr, "Legacy Video Capture Devices", "(Standard system devices)",
     "MEDIA", nullptr, "wave.inf", "MS_MMVID"},
    {kBoth, "ROOT\\MEDIA\\0004", "MS_MMVCD", nullptr, "Video Codecs", "(Standard system devices)", "MEDIA", nullptr,
     "wave.inf", "MS_MMVCD"},
    {kBoth, "SW\\{b7eafdc0-a680-11d0-96d8-00aa0051e51d}\\{9B365890-165F-11D0-A195-0020AFD156E4}",
     "SW\\{b7eafdc0-a680-11d0-96d8-00aa0051e51d}\\{9B365890-165F-11D0-A195-0020AFD156E4}", nullptr,
     "Microsoft Kernel System Audio Device", "Microsoft", "MEDIA", "sysaudio", "wdmaudio.inf", "WDM_SYSAUDIO"},
    {kBoth, "SW\\{b7eafdc0-a680-11d0-96d8-00aa0051e51d}\\{CD171DE3-69E5-11D2-B56D-0000F8754380}",
     "SW\\{b7eafdc0-a680-11d0-96d8-00aa0051e51d}\\{CD171DE3-69E5-11D2-B56D-0000F8754380}", nullptr,
     "Microsoft WINMM WDM Audio Compatibility Driver", "Microsoft", "MEDIA", "wdmaud", "wdmaudio.inf", "WDM_WDMAUD"},
    {kBoth, "SW\\{b7eafdc0-a680-11d0-96d8-00aa0051e51d}\\{EEC12DB6-AD9C-4168-8658-B03DAEF417FE}",
     "SW\\{b7eafdc0-a680-11d0-96d8-00aa0051e51d}\\{EEC12DB6-AD9C-4168-8658-B03DAEF417FE}", nullptr,
     "Microsoft Kernel Wave Audio Mixer", "Microsoft", "MEDIA", "kmixer", "wdmaudio.inf", "WDM_KMIXER"},
    // Left by an installer that failed: a "HardwareID" holding only the
    // terminator of an empty list, no class installer ran, no driver.
    {kBoth, "ROOT\\UNKNOWN\\0000", "", nullptr, "", "", "Unknown", nullptr, nullptr, nullptr},
};

// PCI functions: their IDs are made as the PCI bus makes them.
struct PciRow {
    unsigned on;
    const char* location;  // the bus's part of the instance ID
    const char* vendor;
    const char* device;
    const char* subsystem;
    const char* revision;
    const char* classCode;  // six hex digits
    const char* desc;
    const char* mfg;
    const char* cls;
    const char* service;
    const char* inf;
    const char* section;
};

const PciRow kPciRows[] = {
    {kBoth, "3&61aaa01&0&00", "8086", "1A30", "80881043", "04", "060000",
     "Intel(R) 82845 Processor to I/O Controller - 1A30", "Intel", "System", nullptr, "machine.inf", "NO_DRV"},
    {kBoth, "3&61aaa01&0&08", "8086", "1A31", "00000000", "04", "060400",
     "Intel(R) 82845 Processor to AGP Controller - 1A31", "Intel", "System", nullptr, "machine.inf", "PCI_DRV"},
    {kBoth, "3&61aaa01&0&E8", "8086", "24C2", "80891043", "01", "0C0300",
     "Intel(R) 82801DB/DBM USB Universal Host Controller - 24C2", "Intel", "USB", "usbuhci", "usbport.inf", "UHCI.Dev"},
    {kBoth, "3&61aaa01&0&E9", "8086", "24C4", "80891043", "01", "0C0300",
     "Intel(R) 82801DB/DBM USB Universal Host Controller - 24C4", "Intel", "USB", "usbuhci", "usbport.inf", "UHCI.Dev"},
    {kBoth, "3&61aaa01&0&EA", "8086", "24C7", "80891043", "01", "0C0300",
     "Intel(R) 82801DB/DBM USB Universal Host Controller - 24C7", "Intel", "USB", "usbuhci", "usbport.inf", "UHCI.Dev"},
    {kXp, "3&61aaa01&0&EF", "8086", "24CD", "80891043", "01", "0C0320",
     "Intel(R) 82801DB/DBM USB 2.0 Enhanced Host Controller - 24CD", "Intel", "USB", "usbehci", "usbport.inf",
     "EHCI.Dev"},
    {kBoth, "3&61aaa01&0&F0", "8086", "244E", "00000000", "81", "060400", "Intel(R) 82801 PCI Bridge - 244E", "Intel",
     "System", nullptr, "machine.inf", "PCI_DRV"},
    {kBoth, "3&61aaa01&0&F8", "8086", "24C0", "00000000", "01", "060100",
     "Intel(R) 82801DB LPC Interface Controller - 24C0", "Intel", "System", "isapnp", "machine.inf", "ISA_DRV"},
    {kBoth, "3&61aaa01&0&F9", "8086", "24CB", "80891043", "01", "01018A",
     "Intel(R) 82801DB Ultra ATA Storage Controller - 24CB", "Intel", "hdc", "intelide", "mshdc.inf", "intelide_Inst"},
    {kBoth, "3&61aaa01&0&FB", "8086", "24C3", "80891043", "01", "0C0500",
     "Intel(R) 82801DB/DBM SMBus Controller - 24C3", "Intel", "System", nullptr, "machine.inf", "NO_DRV"},
    {kBoth, "3&61aaa01&0&FD", "8086", "24C5", "80A61043", "01", "040100", "Intel(r) 82801DB/DBM AC'97 Audio Controller",
     "Intel", "MEDIA", "ac97intc", "wdma_int.inf", "INTELAC97"},
    {kBoth, "4&2b8260c3&0&0008", "10DE", "0110", "00000000", "B2", "030000", "NVIDIA GeForce2 MX/MX 400", "NVIDIA",
     "Display", "nv", "nv4_disp.inf", "nv4_GF"},
    {kBoth, "4&1f7dbc9f&0&40F0", "8086", "103A", "80F81043", "81", "020000", "Intel(R) PRO/100 VE Network Connection",
     "Intel", "Net", "E100B", "net8255x.inf", "E103A.ndi"},
};

// Network adapters Windows installs itself, with the interfaces they have.
struct NetRow {
    unsigned on;
    const char* id;
    const char* componentId;
    const char* desc;
    const char* service;
    const char* netCfgInstanceId;
};

const NetRow kNetRows[] = {
    {kBoth, "ROOT\\MS_PTIMINIPORT\\0000", "ms_ptiminiport", "Direct Parallel", "Raspti",
     "{5CB6B3A0-4AF2-4E36-A2D5-0B2E8C1F6D11}"},
    {kBoth, "ROOT\\MS_L2TPMINIPORT\\0000", "ms_l2tpminiport", "WAN Miniport (L2TP)", "Rasl2tp",
     "{8E301A52-AFFA-4F49-B9CA-C79096A1A056}"},
    {kBoth, "ROOT\\MS_PPTPMINIPORT\\0000", "ms_pptpminiport", "WAN Miniport (PPTP)", "PptpMiniport",
     "{2A0D9A51-3F61-4E6B-97D2-8C6E1B40F2A7}"},
    {kXp, "ROOT\\MS_PPPOEMINIPORT\\0000", "ms_pppoeminiport", "WAN Miniport (PPPOE)", "RasPppoe",
     "{B3F1C4E8-1D27-4A9C-8E65-3D0F7A2B9C44}"},
    {kBoth, "ROOT\\MS_NDISWANIP\\0000", "ms_ndiswanip", "WAN Miniport (IP)", "NdisWan",
     "{C8A7E1D2-6B93-45F0-A1C4-7E2D95B0F368}"},
    {kXp, "ROOT\\MS_PSCHEDMP\\0000", "ms_pschedmp", "Packet Scheduler Miniport", "PSched",
     "{3F9E2B71-C0D4-4A58-B6E3-91A7D2C8E504}"},
    {kXp, "ROOT\\MS_PSCHEDMP\\0001", "ms_pschedmp", "Packet Scheduler Miniport", "PSched",
     "{E14C7A93-58B2-4D06-9F71-2C3B8E6D0A95}"},
};

// Non-Plug and Play drivers and services, by service name, with the name
// their node gives them; the last ones are not running.
struct LegacyRow {
    const char* service;
    const char* desc;
    bool running;
};

const LegacyRow kLegacyRows[] = {
    {"AFD", "AFD Networking Support Environment", true},
    {"Beep", "Beep", true},
    {"dmboot", "dmboot", true},
    {"dmload", "dmload", true},
    {"Fips", "Fips", true},
    {"Gpc", "Generic Packet Classifier", true},
    {"IPNAT", "IP Network Address Translator", true},
    {"IPSec", "IPSEC driver", true},
    {"KSecDD", "KSecDD", true},
    {"mnmdd", "mnmdd", true},
    {"MountMgr", "MountMgr", true},
    {"NDIS", "NDIS System Driver", true},
    {"NdisTapi", "Remote Access NDIS TAPI Driver", true},
    {"Ndisuio", "NDIS Usermode I/O Protocol", true},
    {"NDProxy", "NDProxy", true},
    {"NetBT", "NetBios over Tcpip", true},
    {"Null", "Null", true},
    {"PartMgr", "PartMgr", true},
    {"ParVdm", "ParVdm", true},
    {"RasAcd", "Remote Access Auto Connection Driver", true},
    {"RDPCDD", "RDPCDD", true},
    {"Tcpip", "TCP/IP Protocol Driver", true},
    {"VgaSave", "VgaSave", true},
    {"VolSnap", "VolSnap", true},
    {"Wanarp", "Remote Access IP ARP Driver", true},
    {"Cdfs", "Cdfs", false},
    {"Fastfat", "Fastfat", false},
};

// The services of Windows NT 4.0 that have a node.
const LegacyRow kNt4LegacyRows[] = {
    {"Afd", "Afd", true},           {"atapi", "atapi", true},       {"Beep", "Beep", true},
    {"Cdfs", "Cdfs", true},         {"Cdrom", "Cdrom", true},       {"Disk", "Disk", true},
    {"Floppy", "Floppy", true},     {"i8042prt", "i8042prt", true}, {"Kbdclass", "Kbdclass", true},
    {"Mouclass", "Mouclass", true}, {"NetBIOS", "NetBIOS", true},   {"NetBT", "NetBT", true},
    {"Null", "Null", true},         {"Parallel", "Parallel", true}, {"ParVdm", "ParVdm", true},
    {"Rdr", "Rdr", true},           {"Scsiprnt", "Scsiprnt", true}, {"Scsiscan", "Scsiscan", true},
    {"Serial", "Serial", true},     {"Srv", "Srv", true},           {"Tcpip", "Tcpip", true},
    {"VgaSave", "VgaSave", true},   {"E100B", "E100B", true},       {"Fastfat", "Fastfat", false},
};

Device FromRow(const Row& row) {
    Device device;
    device.id = row.id;
    device.hasHardwareIds = row.hardware != nullptr;
    if (row.hardware) device.hardwareIds = SplitBars(row.hardware);
    if (row.compatible) device.compatibleIds = SplitBars(row.compatible);
    device.desc = row.desc;
    device.mfg = row.mfg;
    device.className = row.cls;
    device.service = row.service ? row.service : "";
    if (row.inf) {
        device.inf = row.inf;
        device.section = row.section;
        device.matching = device.hardwareIds.empty() ? std::string() : Lower(device.hardwareIds.front());
    }
    device.present = !(row.on & kGone);
    device.profileDisabled = (row.on & kProfileOff) != 0;
    if (row.hardware && !*row.hardware) device.configFlags = 0x40;  // CONFIGFLAG_FAILEDINSTALL
    return device;
}

Device FromPciRow(const PciRow& row) {
    const std::string venDev = std::string("PCI\\VEN_") + row.vendor + "&DEV_" + row.device;
    const std::string subsys = std::string("&SUBSYS_") + row.subsystem;
    const std::string rev = std::string("&REV_") + row.revision;
    const std::string cc = row.classCode;
    Device device;
    device.id = venDev + subsys + rev + "\\" + row.location;
    device.hardwareIds = {venDev + subsys + rev, venDev + subsys, venDev + "&CC_" + cc,
                          venDev + "&CC_" + cc.substr(0, 4)};
    device.compatibleIds = {venDev + rev,
                            venDev,
                            std::string("PCI\\VEN_") + row.vendor + "&CC_" + cc,
                            std::string("PCI\\VEN_") + row.vendor + "&CC_" + cc.substr(0, 4),
                            std::string("PCI\\VEN_") + row.vendor,
                            "PCI\\CC_" + cc,
                            "PCI\\CC_" + cc.substr(0, 4)};
    device.desc = row.desc;
    device.mfg = row.mfg;
    device.className = row.cls;
    device.service = row.service ? row.service : "";
    device.inf = row.inf;
    device.section = row.section;
    device.matching = Lower(venDev);
    return device;
}

Device LegacyNode(const LegacyRow& row) {
    Device device;
    device.id = "ROOT\\LEGACY_" + Upper(row.service) + "\\0000";
    device.hasHardwareIds = false;
    device.desc = row.desc;
    device.className = "LegacyDriver";
    device.service = row.service;
    device.legacy = true;
    device.present = row.running;
    return device;
}

}  // namespace

std::vector<Device> NtDevices(WindowsVersion version) {
    std::vector<Device> out;
    if (version == WindowsVersion::NT4) {
        for (const LegacyRow& row : kNt4LegacyRows) out.push_back(LegacyNode(row));
        return out;
    }
    const unsigned machine = version == WindowsVersion::Win2000 ? k2000 : kXp;
    for (const Row& row : kRows) {
        if (row.on & machine) out.push_back(FromRow(row));
    }
    for (const PciRow& row : kPciRows) {
        if (!(row.on & machine)) continue;
        Device device = FromPciRow(row);
        if (device.className == "Net") device.netCfgInstanceId = "{7A3E5C19-2B4D-4F80-9E61-D5C3A8B7F042}";
        out.push_back(std::move(device));
    }
    for (const NetRow& row : kNetRows) {
        if (!(row.on & machine)) continue;
        Device device;
        device.id = row.id;
        device.hardwareIds = {row.componentId};
        device.desc = row.desc;
        device.mfg = "Microsoft";
        device.className = "Net";
        device.service = row.service;
        device.inf = "netrasa.inf";
        device.section = Upper(row.componentId).substr(3) + ".ndi";
        device.matching = row.componentId;
        device.netCfgInstanceId = row.netCfgInstanceId;
        out.push_back(std::move(device));
    }
    for (const LegacyRow& row : kLegacyRows) out.push_back(LegacyNode(row));
    return out;
}

}  // namespace sim::standard
