#include "device/hardware_tables.h"

#include <cstring>
#include <string>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "sys/text.h"

namespace {

// Dual-band rows first, then the 802.11a rows: AbAdapterIds and AAdapterIds
// are runs of this one list.
constexpr const char* kPciRows[] = {
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

constexpr const char* kPcCardRows[] = {
    "pcmcia\\intersil-hfa384x/ieee-ca62",
    "pcmcia\\zelmar-solvane_802.11b/lan_pc_card-5d2e",
    "PCMCIA\\ACTIONTEC-PRISM_Wireless_LAN_PC_Card-0BAF",
};

constexpr const char* kDusklineRows[] = {
    "pcmcia\\ZELMAR-Duskline-DS/LAN_PC_CARD-B7C1",
};

constexpr const char* kPcCardSearchRows[] = {
    "pcmcia\\zelmar-solvane_802.11b",
    "pcmcia\\intersil-hfa384x/ieee-ca62",
    "pcmcia\\ZELMAR-Duskline-DS/LAN_PC_CARD-B7C1",
    "PCMCIA\\ACTIONTEC-PRISM_Wireless_LAN_PC_Card-0BAF",
    "PCMCIA\\ACTIONTEC-PRISM_Wireless_LAN_PC_Card-1668-0101",
    "PCMCIA\\ACTIONTEC-1668-0101",
};

constexpr const char* kAPackageRows[] = {"netzl11a.inf", "zelm11a.sys", "netzl11a.cat"};
constexpr const char* kAbPackageRows[] = {"ntzl11ab.inf", "ntzl11ab.sys", "ntzl11ab.cat"};
constexpr const char* kPackageDirRows[] = {"inf", "system32\\drivers"};

constexpr size_t TextLength(const char* text) {
    size_t length = 0;
    while (text[length] != '\0') ++length;
    return length;
}

template <size_t N>
struct RowLengths {
    unsigned char values[N] = {};
};

template <size_t N>
constexpr RowLengths<N> LengthsOf(const char* const (&rows)[N]) {
    RowLengths<N> out;
    for (size_t i = 0; i < N; ++i) out.values[i] = static_cast<unsigned char>(TextLength(rows[i]));
    return out;
}

constexpr auto kPciLengths = LengthsOf(kPciRows);
constexpr auto kPcCardLengths = LengthsOf(kPcCardRows);
constexpr auto kDusklineLengths = LengthsOf(kDusklineRows);
constexpr auto kPcCardSearchLengths = LengthsOf(kPcCardSearchRows);
constexpr auto kAPackageLengths = LengthsOf(kAPackageRows);
constexpr auto kAbPackageLengths = LengthsOf(kAbPackageRows);
constexpr auto kPackageDirLengths = LengthsOf(kPackageDirRows);

}  // namespace

const char* const PciFamilyPrefix = "PCI\\VEN_168C&DEV";

const SupportedIdTable AbAdapterIds = {kPciRows, 3, kPciLengths.values};
const SupportedIdTable AAdapterIds = {kPciRows + 3, 8, kPciLengths.values + 3};
const SupportedIdTable PciAdapterIds = {kPciRows, 11, kPciLengths.values};
const SupportedIdTable PcCardIds = {kPcCardRows, 3, kPcCardLengths.values};
const SupportedIdTable DusklineIds = {kDusklineRows, 1, kDusklineLengths.values};
const SupportedIdTable PcCardSearchIds = {kPcCardSearchRows, 6, kPcCardSearchLengths.values};

const SupportedIdTable APackageFiles = {kAPackageRows, 3, kAPackageLengths.values};
const SupportedIdTable AbPackageFiles = {kAbPackageRows, 3, kAbPackageLengths.values};
const SupportedIdTable PackageDirs = {kPackageDirRows, 2, kPackageDirLengths.values};

const char* const NetClassKeyNt = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
const char* const NetClassKey9x = "System\\CurrentControlSet\\Services\\Class\\Net";

const char* NetClassKeyOfCurrentWindows() {
    return IsWin2000OrXP(CurrentWindowsKind) ? NetClassKeyNt : NetClassKey9x;
}

const char* const CatalogFolder = "SYSTEM\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";

const char* const SolvaneInfName = "netzl11b.inf";
const char* const DusklineInfName = "netdl11b.inf";

bool IsTableRow(const SupportedIdTable& table, std::string_view id) {
    for (int row = 0; row < table.count; ++row) {
        // Texts of different lengths are never equal: only rows of the ID's
        // length are compared, which spares the comparison for nearly every
        // ID of every other device a search walks past.
        if (table.lengths[row] == id.size() && SameText(id.data(), table.rows[row])) return true;
    }
    return false;
}

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
