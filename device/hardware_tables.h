// The supported adapters: ordered, read-only lists of Plug and Play
// hardware IDs, the driver package file lists, and the one query that
// belongs to the lists themselves.
#pragma once

#include <string_view>

// An ordered list of ANSI strings with its row count. Rows keep the case
// they are written in; every comparison against them ignores case.
struct SupportedIdTable {
    const char* const* rows;
    int count;
    // The length of each row, so that a comparison can pass over rows of
    // another length at once (texts of different lengths are never equal).
    const unsigned char* lengths;
};

// The family prefix of the PCI adapters (16 characters). For product
// profile 2 it is a wildcard: every ID that begins with it is the profile's.
extern const char* const PciFamilyPrefix;
constexpr int kPciFamilyPrefixLength = 16;

extern const SupportedIdTable AbAdapterIds;     // dual-band PCI adapters (3)
extern const SupportedIdTable AAdapterIds;      // 802.11a PCI adapters (8)
extern const SupportedIdTable PciAdapterIds;    // both, dual-band first (11)
extern const SupportedIdTable PcCardIds;        // PC Cards of profile 1 (3)
extern const SupportedIdTable DusklineIds;      // the Duskline PC Card (1)
extern const SupportedIdTable PcCardSearchIds;  // fragments the 9x search looks for with profile 1 (6)

// Driver package files: row 1 the INF, row 2 the driver image, row 3 the
// catalog. Row i of PackageDirs is the folder (below the Windows folder)
// of row i of a package list.
extern const SupportedIdTable APackageFiles;   // 802.11a package
extern const SupportedIdTable AbPackageFiles;  // dual-band package
extern const SupportedIdTable PackageDirs;     // "inf", "system32\drivers"

// Windows' network-adapter class keys below HKEY_LOCAL_MACHINE: one
// sub-key per driver instance ("0003").
extern const char* const NetClassKeyNt;  // Windows 2000 / XP
extern const char* const NetClassKey9x;  // every other kind, NT 4.0 included
// The one of the running Windows (CurrentWindowsKind).
const char* NetClassKeyOfCurrentWindows();

// The store of driver catalogs below the Windows folder (Windows 98 SE).
extern const char* const CatalogFolder;

// INF names of the PC Card packages.
extern const char* const SolvaneInfName;   // "netzl11b.inf"
extern const char* const DusklineInfName;  // "netdl11b.inf"

// Whether `id` equals a row of the table as a whole string, ignoring case.
// `id.data()` must be NUL-terminated at `id.size()`.
bool IsTableRow(const SupportedIdTable& table, std::string_view id);

// Whether `id` (the ID under which Windows installed an adapter's driver)
// belongs to the selected product profile.
bool IsProfileHardwareId(const char* id);
