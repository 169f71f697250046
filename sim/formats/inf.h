// INF files as SetupAPI reads them.
//
// The text is read line by line: ';' starts a comment (outside quotes), a
// '\' at the end of a line joins the next one, "[name]" opens a section
// (names compared without regard to case; sections of the same name are
// merged, as Windows merges them), and every other line is an entry
// "key = field, field, ..." or just "field, field, ...". Fields are split at
// commas outside quotes, trimmed, unquoted ("" inside quotes is one quote
// mark) and %strkey% tokens are replaced from the [Strings] section (%% is
// one percent sign; an unknown token stays as written).
//
// On top of the text: which devices an INF serves ([Manufacturer] entries
// with their models sections, decorated or not), which install section
// applies on a given Windows (.NTx86 / .NT / undecorated), and what the
// install section adds to the driver key (AddReg lines on HKR).
//
// An InfFile owns its parsed text and nothing else; the device model keeps
// the INFs of the drive. Reading never fails: a line that means nothing
// (one before the first section, say) is passed over, as SetupAPI passes
// over it, and a value an INF lacks reads as empty.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/include/types.h"

namespace sim {

struct InfLine {
    std::string key;   // expanded; empty when the line has no '='
    bool hasKey = false;
    std::vector<std::string> fields;
    int lineNumber = 0;  // of the line's first physical line, from 1
};

struct InfSection {
    std::string name;  // as first written
    std::vector<InfLine> lines;
};

// The Windows an INF is read for: the platform decides the decorations
// that apply and whether the INF's signature is accepted.
struct InfPlatform {
    bool nt = true;
    DWORD major = 5;
    DWORD minor = 1;
    // Windows 2000 and the 9x family take no decorations on [Manufacturer]
    // entries; Windows XP does.
    bool modelDecorations = true;
};

// One model of a models section: a device the INF can install.
struct InfModel {
    std::string manufacturer;    // the [Manufacturer] entry's name, expanded
    std::string modelsSection;   // the models section it was found in
    std::string description;     // the model's description, expanded
    std::string installSection;  // as written on the model line
    std::string hardwareId;      // the model's hardware ID
    std::vector<std::string> compatibleIds;
};

class InfFile {
public:
    static InfFile Parse(const std::string& text);

    const InfSection* Section(const std::string& name) const;
    bool HasSection(const std::string& name) const { return Section(name) != nullptr; }
    const std::vector<InfSection>& Sections() const { return sections_; }

    // The first field of the first line of `section` whose key is `key`.
    std::optional<std::string> Value(const std::string& section, const std::string& key) const;

    // [Version] values.
    std::string Signature() const;
    std::string ClassName() const;
    std::string ClassGuid() const;
    std::string Provider() const;
    std::string CatalogFile() const;
    // "DriverVer": the date as "m-d-yyyy" (as Windows stores DriverDate)
    // and the version text; empty when absent.
    std::string DriverDate() const;
    std::string DriverVersion() const;
    // Days since 1 January 1601 of DriverVer's date (0 when absent), for
    // comparing two drivers' dates.
    long DriverDay() const;

    // Whether the INF is meant for the platform at all: "$Windows NT$"
    // only for the NT family; "$Chicago$" and "$Windows 95$" for both.
    bool AcceptedOn(const InfPlatform& platform) const;

    // The models the INF offers on the platform, in file order.
    std::vector<InfModel> Models(const InfPlatform& platform) const;

    // The decorated install section that applies: "<name>.NTx86",
    // "<name>.NT" or "<name>" on NT; "<name>" on the 9x family. Empty when
    // none of them exists.
    std::string InstallSectionFor(const std::string& name, const InfPlatform& platform) const;

    // The AddReg lines of an install section (every section it names, in
    // order) whose root is HKR: the values it writes below the driver key.
    struct RegEntry {
        std::string subKey;  // below the driver key; empty for the key itself
        std::string name;
        DWORD type = 1;
        std::string data;    // raw bytes as the registry stores them
    };
    std::vector<RegEntry> DriverKeyValues(const std::string& installSection) const;

private:
    std::vector<InfSection> sections_;
};

}  // namespace sim
