// The standard devices of Windows 98 SE and Me: a PnP-BIOS desktop with an
// Intel 440BX chipset, as HKLM\Enum and the Config Manager see it.
#include <cstdio>
#include <string>
#include <vector>

#include "sim/machine/devices/standard_devices.h"

namespace sim::standard {

namespace {

// A device of HKLM\Enum. The IDs are comma lists as the 9x family keeps
// them; `node` false: no Config Manager node (the device is not present).
struct Row {
    bool node;
    const char* key;
    const char* hardware;
    const char* compatible;
    const char* desc;
    const char* mfg;
    const char* cls;
    const char* inf;  // null: no driver
    const char* section;
    const char* devLoader;
};

// The 440BX functions' IDs: the PCI bus of the 9x family reports the
// subsystem and revision forms first.
#define BX_PCI(dev, rev, func) "PCI\\VEN_8086&DEV_" dev "&SUBSYS_00000000&REV_" rev "\\BUS_00&DEV_" func
#define BX_IDS(dev, rev)                                                           \
    "PCI\\VEN_8086&DEV_" dev "&SUBSYS_00000000&REV_" rev ",PCI\\VEN_8086&DEV_" dev \
    "&SUBSYS_00000000,PCI\\VEN_8086&DEV_" dev "&REV_" rev ",PCI\\VEN_8086&DEV_" dev
#define IDE_PARENT "PCI&VEN_8086&DEV_7111&SUBSYS_00000000&REV_01&BUS_00&DEV_07&FUNC_01"

const Row kRows[] = {
    {true, "Root\\*PNP0C00\\0000", "*PNP0C00", nullptr, "Plug and Play BIOS", "(Standard system devices)", "System",
     "MACHINE.INF", "NODRV", "*CONFIGMG"},
    {true, "BIOS\\*PNP0C01\\0C", "*PNP0C01", nullptr, "System board", "(Standard system devices)", "System",
     "MACHINE.INF", "NODRV", nullptr},
    {true, "BIOS\\*PNP0A03\\0D", "*PNP0A03", nullptr, "PCI bus", "(Standard system devices)", "System", "MACHINE.INF",
     "PCI_DRV", "*CONFIGMG"},
    {true, "BIOS\\*PNP0000\\00", "*PNP0000", nullptr, "Programmable interrupt controller", "(Standard system devices)",
     "System", "MACHINE.INF", "NODRV", nullptr},
    {true, "BIOS\\*PNP0100\\01", "*PNP0100", nullptr, "System timer", "(Standard system devices)", "System",
     "MACHINE.INF", "NODRV", nullptr},
    {true, "BIOS\\*PNP0200\\02", "*PNP0200", nullptr, "Direct memory access controller", "(Standard system devices)",
     "System", "MACHINE.INF", "NODRV", nullptr},
    {true, "BIOS\\*PNP0B00\\03", "*PNP0B00", nullptr, "System CMOS/real time clock", "(Standard system devices)",
     "System", "MACHINE.INF", "NODRV", nullptr},
    {true, "BIOS\\*PNP0800\\04", "*PNP0800", nullptr, "System speaker", "(Standard system devices)", "System",
     "MACHINE.INF", "NODRV", nullptr},
    {true, "BIOS\\*PNP0C04\\05", "*PNP0C04", nullptr, "Numeric data processor", "(Standard system devices)", "System",
     "MACHINE.INF", "NODRV", nullptr},
    {true, "BIOS\\*PNP0C02\\0E", "*PNP0C02", nullptr, "Motherboard resources", "(Standard system devices)", "System",
     "MACHINE.INF", "NODRV", nullptr},
    {true, "ISAPNP\\READDATAPORT\\0", "ISAPNP\\READDATAPORT", nullptr,
     "IO read data port for ISA Plug and Play enumerator", "(Standard system devices)", "System", "MACHINE.INF",
     "NODRV", nullptr},
    {true, BX_PCI("7190", "03", "00&FUNC_00"), BX_IDS("7190", "03"), nullptr,
     "Intel 82443BX Pentium(r) II Processor to PCI bridge", "Intel", "System", "MACHINE.INF", "NODRV", nullptr},
    {true, BX_PCI("7191", "03", "01&FUNC_00"), BX_IDS("7191", "03"), nullptr,
     "Intel 82443BX Pentium(r) II Processor to AGP controller", "Intel", "System", "MACHINE.INF", "PCI_DRV",
     "*CONFIGMG"},
    {true, BX_PCI("7110", "02", "07&FUNC_00"), BX_IDS("7110", "02"), nullptr,
     "Intel 82371AB/EB PCI to ISA bridge (ISA mode)", "Intel", "System", "MACHINE.INF", "ISA_DRV", "*CONFIGMG"},
    {true, BX_PCI("7113", "02", "07&FUNC_03"), BX_IDS("7113", "02"), nullptr,
     "Intel 82371AB/EB Power Management Controller", "Intel", "System", "MACHINE.INF", "NODRV", nullptr},
    {true, BX_PCI("7111", "01", "07&FUNC_01"), BX_IDS("7111", "01"), nullptr,
     "Intel 82371AB/EB PCI Bus Master IDE Controller", "Intel", "hdc", "MSHDC.INF", "PIIX4_DUAL", "*IOS"},
    {true, "MF\\CHILD0000\\" IDE_PARENT, "MF\\PCI_IDE_CHILD0000", "*PNP0600", "Primary IDE controller (dual fifo)",
     "(Standard hard disk drivers)", "hdc", "MSHDC.INF", "ESDI_506_DUAL", "*IOS"},
    {true, "MF\\CHILD0001\\" IDE_PARENT, "MF\\PCI_IDE_CHILD0001", "*PNP0600", "Secondary IDE controller (dual fifo)",
     "(Standard hard disk drivers)", "hdc", "MSHDC.INF", "ESDI_506_DUAL", "*IOS"},
    {true, "ESDI\\GENERIC_IDE__DISK_TYPE47_\\MF&CHILD0000&" IDE_PARENT, "GENERIC_IDE__DISK_TYPE47_,GenDisk", nullptr,
     "GENERIC IDE  DISK TYPE47", "(Standard disk drives)", "DiskDrive", "DISKDRV.INF", "DiskInstall", "*IOS"},
    {true, "SCSI\\LITE-ON_LTN486S_________YDS6\\MF&CHILD0001&" IDE_PARENT,
     "LITE-ON_LTN486S_________YDS6,LITE-ON_LTN486S_________,GenCD", nullptr, "LITE-ON LTN486S",
     "(Standard CD-ROM drives)", "CDROM", "CDROM.INF", "cdrom_install", "*IOS"},
    {true, BX_PCI("7112", "01", "07&FUNC_02"), BX_IDS("7112", "01"), "PCI\\CC_0C0300",
     "Intel 82371AB/EB PCI to USB Universal Host Controller", "Intel", "USB", "USB.INF", "PIIX4.Dev", "*ntkern"},
    {true, "USB\\ROOT_HUB\\0", "USB\\ROOT_HUB", nullptr, "USB Root Hub", "(Standard USB Host Controller)", "USB",
     "USB.INF", "ROOTHUB.Dev", "*ntkern"},
    {true, "BIOS\\*PNP0700\\06", "*PNP0700", nullptr, "Standard Floppy Disk Controller",
     "(Standard floppy disk controllers)", "fdc", "MSHDC.INF", "FDC", "*IOS"},
    {true, "FLOP\\GENERIC_NEC__FLOPPY_DISK_\\BIOS&*PNP0700&06", "GENERIC_NEC__FLOPPY_DISK_,GenFloppyDisk", nullptr,
     "GENERIC NEC  FLOPPY DISK", "(Standard disk drives)", "DiskDrive", "DISKDRV.INF", "DiskInstall", "*IOS"},
    {true, "BIOS\\*PNP0501\\07", "*PNP0501", nullptr, "Communications Port (COM1)", "(Standard port types)", "Ports",
     "MSPORTS.INF", "ComPort", "*vcomm"},
    {true, "BIOS\\*PNP0501\\08", "*PNP0501", nullptr, "Communications Port (COM2)", "(Standard port types)", "Ports",
     "MSPORTS.INF", "ComPort", "*vcomm"},
    {true, "BIOS\\*PNP0400\\09", "*PNP0400", nullptr, "Printer Port (LPT1)", "(Standard port types)", "Ports",
     "MSPORTS.INF", "LptPort", "*vcomm"},
    {true, "BIOS\\*PNP0303\\0A", "*PNP0303", nullptr, "Standard 101/102-Key or Microsoft Natural Keyboard",
     "(Standard keyboard types)", "Keyboard", "KEYBOARD.INF", "STANDARD_Inst", "*vkd"},
    {true, "BIOS\\*PNP0F13\\0B", "*PNP0F13", nullptr, "Standard PS/2 Port Mouse", "(Standard mouse types)", "Mouse",
     "MSMOUSE.INF", "PS2_Inst", nullptr},
    {true, "PCI\\VEN_10DE&DEV_002D&SUBSYS_00000000&REV_15\\BUS_01&DEV_00&FUNC_00",
     "PCI\\VEN_10DE&DEV_002D&SUBSYS_00000000&REV_15,PCI\\VEN_10DE&DEV_002D&SUBSYS_00000000,"
     "PCI\\VEN_10DE&DEV_002D&REV_15,PCI\\VEN_10DE&DEV_002D",
     "PCI\\CC_030000", "NVIDIA RIVA TNT2 Model 64", "NVIDIA", "Display", "NVATAB.INF", "NVTNT2M64", "*vdd,*vflatd"},
    {true, "MONITOR\\DEFAULT_MONITOR\\0001", "Monitor\\Default_Monitor", nullptr, "Default Monitor",
     "(Standard monitor types)", "Monitor", "MONITOR.INF", "Unknown.Install", nullptr},
    {true, "PCI\\VEN_1274&DEV_1371&SUBSYS_13711274&REV_06\\BUS_00&DEV_0F&FUNC_00",
     "PCI\\VEN_1274&DEV_1371&SUBSYS_13711274&REV_06,PCI\\VEN_1274&DEV_1371&SUBSYS_13711274,"
     "PCI\\VEN_1274&DEV_1371&REV_06,PCI\\VEN_1274&DEV_1371",
     "PCI\\CC_040100", "Creative AudioPCI (ES1371,ES1373) (WDM)", "Creative", "MEDIA", "WDMA_ENS.INF", "ES1371",
     "*ntkern"},
    {true, "SW\\{B7EAFDC0-A680-11D0-96D8-00AA0051E51D}\\{9B365890-165F-11D0-A195-0020AFD156E4}",
     "SW\\{B7EAFDC0-A680-11D0-96D8-00AA0051E51D}\\{9B365890-165F-11D0-A195-0020AFD156E4}", nullptr,
     "Microsoft Kernel System Audio Device", "Microsoft", "MEDIA", "WDMAUDIO.INF", "WDM_SYSAUDIO", "*ntkern"},
    {true, "SW\\{B7EAFDC0-A680-11D0-96D8-00AA0051E51D}\\{CD171DE3-69E5-11D2-B56D-0000F8754380}",
     "SW\\{B7EAFDC0-A680-11D0-96D8-00AA0051E51D}\\{CD171DE3-69E5-11D2-B56D-0000F8754380}", nullptr,
     "Microsoft WINMM WDM Audio Compatibility Driver", "Microsoft", "MEDIA", "WDMAUDIO.INF", "WDM_WDMAUD", "*ntkern"},
    {true, "ROOT\\NET\\0000", "*PNP8387", nullptr, "Dial-Up Adapter", "Microsoft", "Net", "NETDIAL.INF", "PPPMAC.ndi",
     nullptr},
    {true, "NETWORK\\MSTCP\\0000", "MSTCP", nullptr, "TCP/IP", "Microsoft", "NetTrans", "NETTRANS.INF", "MSTCP.ndi",
     nullptr},
    {true, "NETWORK\\VREDIR\\0000", "VREDIR", nullptr, "Client for Microsoft Networks", "Microsoft", "NetClient",
     "NETCLI.INF", "VREDIR.ndi", nullptr},
    // Devices once attached and gone since: keys without a node.
    {false, "LPTENUM\\HEWLETT-PACKARDDESKJET_8E9C\\LPT1",
     "LPTENUM\\HEWLETT-PACKARDDESKJET_8E9C,HEWLETT-PACKARDDESKJET_8E9C", nullptr, "HP DeskJet 690C", "HP", "Printer",
     nullptr, nullptr, nullptr},
    {false, "USB\\VID_046D&PID_C00E\\5&1A2B8C3F&0&1", "USB\\VID_046D&PID_C00E&REV_1100,USB\\VID_046D&PID_C00E",
     "USB\\CLASS_03&SUBCLASS_01&PROT_02,USB\\CLASS_03&SUBCLASS_01,USB\\CLASS_03", "USB Human Interface Device",
     "(Standard system devices)", "HID", "HIDDEV.INF", "HID_Inst", "*ntkern"},
};

// The network adapters' miniports: the Dial-Up Adapter's is an NDIS 3 VxD,
// named in "DeviceVxDs" alone (an NDIS 5 miniport is named in "NTMPDriver"
// too).
struct NetDriverFile {
    const char* key;
    const char* deviceVxDs;
};
const NetDriverFile kNetDriverFiles[] = {{"ROOT\\NET\\0000", "pppmac.vxd"}};

#undef BX_PCI
#undef BX_IDS
#undef IDE_PARENT

// The devnodes of present devices, as Windows 98 names them: addresses of
// its node structures, in creation order.
constexpr unsigned long kFirstNode = 0xC2930040;
constexpr unsigned long kNodeStep = 0xC0;

std::vector<std::string> SplitComma(const char* text) {
    std::vector<std::string> out;
    std::string item;
    for (const char* p = text;; ++p) {
        if (*p == ',' || *p == '\0') {
            if (!item.empty()) out.push_back(item);
            item.clear();
            if (*p == '\0') break;
        } else {
            item += *p;
        }
    }
    return out;
}

}  // namespace

std::vector<Device> NineXDevices(WindowsVersion) {
    std::vector<Device> out;
    unsigned long node = kFirstNode;
    for (const Row& row : kRows) {
        Device device;
        device.id = row.key;
        device.hardwareIds = SplitComma(row.hardware);
        if (row.compatible) device.compatibleIds = SplitComma(row.compatible);
        device.desc = row.desc;
        device.mfg = row.mfg;
        device.className = row.cls;
        if (row.inf) {
            device.inf = row.inf;
            device.section = row.section;
            device.matching = device.hardwareIds.front();
            device.devLoader = row.devLoader ? row.devLoader : "";
            for (const NetDriverFile& file : kNetDriverFiles) {
                if (device.id == file.key) device.deviceVxDs = file.deviceVxDs;
            }
        }
        device.present = row.node;
        if (row.node) {
            char name[16];
            std::snprintf(name, sizeof name, "%08lX", node);
            device.cmNode = name;
            node += kNodeStep;
        }
        out.push_back(std::move(device));
    }
    return out;
}

std::vector<std::string> NineXNodesWithoutDevice() {
    // The tree's root, the node Windows reserves for itself, and one being
    // torn down: they come first in the Config Manager's order.
    return {"C0001000", "C0001080", "C2930000"};
}

}  // namespace sim::standard
