// Reading an INF: its lines (through the shared line reader), sections,
// fields and [Strings] substitution, and what the tool and the device
// model ask of it (models, decorations, install sections, AddReg values).
// Nothing here fails: a malformed line reads as what SetupAPI would make
// of it, and a missing value as empty.
#include "sim/formats/inf.h"

#include <cstdio>
#include <cstdlib>
#include <map>

#include "sim/base/bytes.h"
#include "sim/base/text.h"
#include "sim/formats/lines.h"

namespace sim {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// SetupAPI's lines: ';' starts a comment outside quotes, and a '\' that
// ends what is left joins the next line. Each joined line keeps the
// number of its first physical line.
const LineRules kInfLineRules = [] {
    LineRules rules;
    rules.backslashJoins = true;
    rules.comment = ';';
    rules.commentPlace = LineRules::CommentPlace::OutsideQuotes;
    return rules;
}();

// One field as written: its raw text, split off at commas outside quotes.
std::vector<std::string> SplitRawFields(const std::string& text) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (c == ',' && !quoted) {
            fields.push_back(field);
            field.clear();
            continue;
        }
        field += c;
    }
    fields.push_back(field);
    return fields;
}

// Trims blanks outside quotes and removes the quotes ("" inside quotes is
// a quote mark).
std::string Unquote(const std::string& raw) {
    size_t begin = 0;
    size_t end = raw.size();
    while (begin < end && IsBlank(raw[begin])) ++begin;
    while (end > begin && IsBlank(raw[end - 1])) --end;
    std::string out;
    bool quoted = false;
    for (size_t i = begin; i < end; ++i) {
        const char c = raw[i];
        if (c == '"') {
            if (quoted && i + 1 < end && raw[i + 1] == '"') {
                out += '"';
                ++i;
                continue;
            }
            quoted = !quoted;
            continue;
        }
        out += c;
    }
    return out;
}

using StringTable = std::map<std::string, std::string>;  // upper-cased key -> value

std::string Substitute(const std::string& text, const StringTable& strings) {
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t open = text.find('%', pos);
        if (open == std::string::npos) {
            out += text.substr(pos);
            break;
        }
        out += text.substr(pos, open - pos);
        const size_t close = text.find('%', open + 1);
        if (close == std::string::npos) {
            out += text.substr(open);
            break;
        }
        if (close == open + 1) {
            out += '%';
        } else {
            const std::string key = text.substr(open + 1, close - open - 1);
            auto it = strings.find(Upper(key));
            out += it != strings.end() ? it->second : text.substr(open, close - open + 1);
        }
        pos = close + 1;
    }
    return out;
}

// The key part of a line: the text before the first '=' outside quotes.
bool SplitKey(const std::string& text, std::string* key, std::string* rest) {
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') quoted = !quoted;
        if (text[i] == '=' && !quoted) {
            *key = text.substr(0, i);
            *rest = text.substr(i + 1);
            return true;
        }
    }
    *rest = text;
    return false;
}

// A decoration of a [Manufacturer] entry ("NT", "NTx86", "NTx86.5.1", ...):
// whether it applies to the platform, and how closely (lower is closer).
bool DecorationScore(const std::string& decoration, const InfPlatform& platform, long* score) {
    if (!StartsWithNoCase(decoration, "NT")) return false;
    if (!platform.nt) return false;
    std::vector<std::string> parts;
    std::string part;
    for (char c : decoration.substr(2)) {
        if (c == '.') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    long value = 0;
    const std::string& architecture = parts[0];
    if (architecture.empty()) {
        value += 1;
    } else if (!EqualNoCase(architecture, "x86")) {
        return false;
    }
    if (parts.size() >= 2 && !parts[1].empty()) {
        const unsigned long major = std::strtoul(parts[1].c_str(), nullptr, 0);
        const unsigned long minor =
            parts.size() >= 3 && !parts[2].empty() ? std::strtoul(parts[2].c_str(), nullptr, 0) : 0;
        if (major > platform.major || (major == platform.major && minor > platform.minor)) return false;
        // A version closer to the running one wins.
        value +=
            static_cast<long>((platform.major - major) * 100 + (major == platform.major ? platform.minor - minor : 0)) *
            10;
    } else {
        value += 100000;
    }
    *score = value;
    return true;
}

// Days since 1 January 1601 of a proleptic Gregorian date.
long DaysOf(int year, int month, int day) {
    // Days from civil (Howard Hinnant's algorithm), shifted to 1601.
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yoe = year - era * 400;
    const long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 584694;  // 584694: days from 0000-03-01 to 1601-01-01
}

}  // namespace

InfFile InfFile::Parse(const std::string& text) {
    InfFile inf;
    const std::vector<TextLine> lines = ReadLines(text, kInfLineRules);

    // First pass: sections with raw entries; [Strings] is read first so that
    // every other line can be expanded, wherever [Strings] lies.
    struct RawLine {
        std::string text;
        int number;
    };
    std::vector<std::pair<std::string, std::vector<RawLine>>> raw;
    for (const TextLine& line : lines) {
        const std::string trimmed = Trim(line.text);
        if (trimmed.empty()) continue;
        if (trimmed[0] == '[') {
            const size_t close = trimmed.find(']');
            std::string name = Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            raw.push_back({name, {}});
            continue;
        }
        if (raw.empty()) continue;  // lines before the first section are ignored
        raw.back().second.push_back({trimmed, line.number});
    }

    StringTable strings;
    for (const auto& [name, entries] : raw) {
        if (!EqualNoCase(name, "Strings")) continue;
        for (const RawLine& entry : entries) {
            std::string key;
            std::string rest;
            if (!SplitKey(entry.text, &key, &rest)) continue;
            strings[Upper(Unquote(key))] = Unquote(rest);
        }
    }

    for (const auto& [name, entries] : raw) {
        InfSection* section = nullptr;
        for (InfSection& existing : inf.sections_) {
            if (EqualNoCase(existing.name, name)) section = &existing;
        }
        if (!section) {
            inf.sections_.push_back({name, {}});
            section = &inf.sections_.back();
        }
        const bool isStrings = EqualNoCase(name, "Strings");
        for (const RawLine& entry : entries) {
            InfLine line;
            line.lineNumber = entry.number;
            std::string key;
            std::string rest;
            line.hasKey = SplitKey(entry.text, &key, &rest);
            if (line.hasKey) line.key = isStrings ? Unquote(key) : Substitute(Unquote(key), strings);
            for (const std::string& field : SplitRawFields(rest)) {
                const std::string value = Unquote(field);
                line.fields.push_back(isStrings ? value : Substitute(value, strings));
            }
            section->lines.push_back(std::move(line));
        }
    }
    return inf;
}

const InfSection* InfFile::Section(const std::string& name) const {
    for (const InfSection& section : sections_) {
        if (EqualNoCase(section.name, name)) return &section;
    }
    return nullptr;
}

std::optional<std::string> InfFile::Value(const std::string& section, const std::string& key) const {
    const InfSection* found = Section(section);
    if (!found) return std::nullopt;
    for (const InfLine& line : found->lines) {
        if (line.hasKey && EqualNoCase(line.key, key)) {
            return line.fields.empty() ? std::string() : line.fields[0];
        }
    }
    return std::nullopt;
}

std::string InfFile::Signature() const { return Value("Version", "Signature").value_or(""); }
std::string InfFile::ClassName() const { return Value("Version", "Class").value_or(""); }
std::string InfFile::ClassGuid() const { return Value("Version", "ClassGUID").value_or(""); }
std::string InfFile::Provider() const { return Value("Version", "Provider").value_or(""); }
std::string InfFile::CatalogFile() const { return Value("Version", "CatalogFile").value_or(""); }

std::string InfFile::DriverDate() const {
    const std::string date = Value("Version", "DriverVer").value_or("");
    if (date.empty()) return "";
    int month = 0;
    int day = 0;
    int year = 0;
    if (std::sscanf(date.c_str(), "%d/%d/%d", &month, &day, &year) != 3) return "";
    return std::to_string(month) + "-" + std::to_string(day) + "-" + std::to_string(year);
}

std::string InfFile::DriverVersion() const {
    const InfSection* version = Section("Version");
    if (!version) return "";
    for (const InfLine& line : version->lines) {
        if (line.hasKey && EqualNoCase(line.key, "DriverVer")) return line.fields.size() > 1 ? line.fields[1] : "";
    }
    return "";
}

long InfFile::DriverDay() const {
    const std::string date = Value("Version", "DriverVer").value_or("");
    int month = 0;
    int day = 0;
    int year = 0;
    if (std::sscanf(date.c_str(), "%d/%d/%d", &month, &day, &year) != 3) return 0;
    return DaysOf(year, month, day);
}

bool InfFile::AcceptedOn(const InfPlatform& platform) const {
    const std::string signature = Signature();
    if (EqualNoCase(signature, "$Windows NT$")) return platform.nt;
    return EqualNoCase(signature, "$Chicago$") || EqualNoCase(signature, "$Windows 95$");
}

std::vector<InfModel> InfFile::Models(const InfPlatform& platform) const {
    std::vector<InfModel> models;
    const InfSection* manufacturers = Section("Manufacturer");
    if (!manufacturers || !AcceptedOn(platform)) return models;
    for (const InfLine& entry : manufacturers->lines) {
        if (entry.fields.empty() || entry.fields[0].empty()) continue;
        // "name" alone names both the manufacturer and its models section.
        const std::string manufacturer = entry.hasKey ? entry.key : entry.fields[0];
        const std::string base = entry.fields[0];
        std::string chosen = base;
        if (platform.modelDecorations && entry.fields.size() > 1) {
            long best = -1;
            for (size_t i = 1; i < entry.fields.size(); ++i) {
                long score = 0;
                if (!DecorationScore(entry.fields[i], platform, &score)) continue;
                if (best < 0 || score < best) {
                    best = score;
                    chosen = base + "." + entry.fields[i];
                }
            }
        }
        const InfSection* section = Section(chosen);
        if (!section) continue;
        for (const InfLine& line : section->lines) {
            if (!line.hasKey || line.fields.size() < 2) continue;
            InfModel model;
            model.manufacturer = manufacturer;
            model.modelsSection = section->name;
            model.description = line.key;
            model.installSection = line.fields[0];
            model.hardwareId = line.fields[1];
            for (size_t i = 2; i < line.fields.size(); ++i) {
                if (!line.fields[i].empty()) model.compatibleIds.push_back(line.fields[i]);
            }
            if (model.hardwareId.empty()) continue;
            models.push_back(std::move(model));
        }
    }
    return models;
}

std::string InfFile::InstallSectionFor(const std::string& name, const InfPlatform& platform) const {
    if (platform.nt) {
        for (const char* suffix : {".NTx86", ".NT"}) {
            if (const InfSection* s = Section(name + suffix)) return s->name;
        }
    }
    if (const InfSection* s = Section(name)) return s->name;
    return "";
}

std::vector<InfFile::RegEntry> InfFile::DriverKeyValues(const std::string& installSection) const {
    std::vector<RegEntry> out;
    const InfSection* install = Section(installSection);
    if (!install) return out;
    for (const InfLine& directive : install->lines) {
        if (!directive.hasKey || !EqualNoCase(directive.key, "AddReg")) continue;
        for (const std::string& name : directive.fields) {
            const InfSection* section = Section(name);
            if (!section) continue;
            for (const InfLine& line : section->lines) {
                const std::vector<std::string>& f = line.fields;
                if (line.hasKey || f.empty() || !EqualNoCase(f[0], "HKR")) continue;
                RegEntry entry;
                entry.subKey = f.size() > 1 ? f[1] : "";
                entry.name = f.size() > 2 ? f[2] : "";
                unsigned long long flags = 0;
                if (f.size() > 3 && !f[3].empty()) ParseNumber(f[3], flags);
                if (flags & 0x10) continue;  // FLG_ADDREG_KEYONLY: the key alone
                if (flags & 0x4) continue;   // FLG_ADDREG_DELVAL: nothing to add
                const unsigned long long type = flags & 0xFFFF0001ULL;
                if (type == 0x10001) {  // FLG_ADDREG_TYPE_DWORD
                    unsigned long long value = 0;
                    if (f.size() > 4) ParseNumber(f[4], value);
                    entry.type = 4;
                    entry.data = Le32(static_cast<DWORD>(value));
                } else if (type == 0x10000) {  // FLG_ADDREG_TYPE_MULTI_SZ
                    entry.type = 7;
                    for (size_t i = 4; i < f.size(); ++i) entry.data += f[i] + '\0';
                    entry.data += '\0';
                } else if (type & 0x1) {  // FLG_ADDREG_BINVALUETYPE: hex bytes
                    entry.type = type == 1 ? 3 : static_cast<DWORD>(type >> 16);
                    for (size_t i = 4; i < f.size(); ++i) {
                        entry.data += static_cast<char>(std::strtoul(f[i].c_str(), nullptr, 16) & 0xFF);
                    }
                } else {
                    entry.type = type == 0x20000 ? 2 : 1;  // FLG_ADDREG_TYPE_EXPAND_SZ or REG_SZ
                    entry.data = (f.size() > 4 ? f[4] : std::string()) + '\0';
                }
                out.push_back(std::move(entry));
            }
        }
    }
    return out;
}

}  // namespace sim
