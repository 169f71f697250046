#include "device/hardware_tables.h"

#include <cstring>
#include <string>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "sys/text.h"

namespace {

// Dual-band rows first, then the 802.11a rows: AbAdapterIds and AAdapterIds
// are runs of this one list.
const char* const kPciRows[] = {
    "PCI\\VEN_168C&DEV_0012&SUBSYS_1022168C",
    "PCI\\VEN_168C&DEV_0012&SUBSYS_0A007E3D",
    "PCI\\VEN_168C&DEV_0012&SUBSYS_AA007E3D",
    "pci\\ven_168c&dev_0007",
    "PCI\\VEN_168C&DEV_0007&SUBSYS_01007E3D",
    "PCI\\VEN_168C&DEV_0007&SUBSYS_01107E3D",
    "PCI\\VEN_168C&DEV_0007&SUBSYS_02007E3D",
    "PCI\\VEN_168C&DEV_0007&SUBSYS_02207E3D",
    "PCI\\VEN_168C&DEV_0007&SUBSYS_03007E3D",
    "PCI\\VEN_168C&DEV_1107",
    "PCI\\VEN_168C&DEV_0007&SUBSYS_01107E3D&REV_01",
};

const char* const kPcCardRows[] = {
    "pcmcia\\intersil-hfa384x/ieee-ca62",
    "pcmcia\\zelmar-solvane_802.11b/lan_pc_card-5d2e",
    "PCMCIA\\ACTIONTEC-PRISM_Wireless_LAN_PC_Card-0BAF",
};

const char* const kDusklineRows[] = {
    "pcmcia\\ZELMAR-Duskline-DS/LAN_PC_CARD-B7C1",
};

const char* const kPcCardSearchRows[] = {
    "pcmcia\\zelmar-solvane_802.11b",
    "pcmcia\\intersil-hfa384x/ieee-ca62",
    "pcmcia\\ZELMAR-Duskline-DS/LAN_PC_CARD-B7C1",
    "PCMCIA\\ACTIONTEC-PRISM_Wireless_LAN_PC_Card-0BAF",
    "PCMCIA\\ACTIONTEC-PRISM_Wireless_LAN_PC_Card-1668-0101",
    "PCMCIA\\ACTIONTEC-1668-0101",
};

const char* const kAPackageRows[] = {"netzl11a.inf", "zelm11a.sys", "netzl11a.cat"};
const char* const kAbPackageRows[] = {"ntzl11ab.inf", "ntzl11ab.sys", "ntzl11ab.cat"};
const char* const kPackageDirRows[] = {"inf", "system32\\drivers"};

}  // namespace

const char* const PciFamilyPrefix = "PCI\\VEN_168C&DEV";

const SupportedIdTable AbAdapterIds = {kPciRows, 3};
const SupportedIdTable AAdapterIds = {kPciRows + 3, 8};
const SupportedIdTable PciAdapterIds = {kPciRows, 11};
const SupportedIdTable PcCardIds = {kPcCardRows, 3};
const SupportedIdTable DusklineIds = {kDusklineRows, 1};
const SupportedIdTable PcCardSearchIds = {kPcCardSearchRows, 6};

const SupportedIdTable APackageFiles = {kAPackageRows, 3};
const SupportedIdTable AbPackageFiles = {kAbPackageRows, 3};
const SupportedIdTable PackageDirs = {kPackageDirRows, 2};

const char* const NetClassKeyNt = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
const char* const NetClassKey9x = "System\\CurrentControlSet\\Services\\Class\\Net";

const char* NetClassKeyOfCurrentWindows() {
    return IsWin2000OrXP(CurrentWindowsKind) ? NetClassKeyNt : NetClassKey9x;
}

const char* const CatalogFolder = "SYSTEM\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";

const char* const SolvaneInfName = "netzl11b.inf";
const char* const DusklineInfName = "netdl11b.inf";

bool IsProfileHardwareId(const char* id) {
    if (!id) return false;
    if (ProductProfile == kPciProfile) {
        // The first 16 characters (all of a shorter ID) against the prefix.
        const std::string head(id, BoundedLength(id, kPciFamilyPrefixLength));
        if (SameText(head.c_str(), PciFamilyPrefix)) return true;
    }
    for (int i = 0; i < ProfileIdCount; ++i) {
        if (SameText(id, ProfileIdList[i])) return true;
    }
    return false;
}
