// The 8.3 aliases the drive keeps beside long names, and the short form of
// a path (GetShortPathNameA).
//
// FAT, the file system of Windows 95 / 98 / Me, gives every entry a short
// name: the long name itself in upper case when it fits 8.3, else an alias
// made from it ("Program Files" -> "PROGRA~1"), numbered ~1, ~2, ... in the
// order the entries were made. NTFS, on the NT family, makes an alias only
// for a name that does not fit 8.3 (a fitting name, in any case, is its own
// short name); it numbers the first four aliases of a basis the same way
// and then takes two characters of the name, four hex digits of a checksum
// and ~1. The checksum here is a simple one of the long name, not the one
// Windows uses, so such an alias has the right shape but other digits.
// Lookups find an entry by either name.
#include <cstring>

#include "sim/base/text.h"
#include "sim/machine/filesystem/internals.h"
#include "sim/machine/machine.h"

namespace sim {

using Internals = FileSystemInternals;

namespace {

constexpr size_t kBaseLength = 8;
constexpr size_t kExtensionLength = 3;
// NTFS numbers this many aliases of one basis before it hashes.
constexpr unsigned kNtfsNumberedAliases = 4;
constexpr size_t kNtfsHashedPrefix = 2;
constexpr unsigned kChecksumFactor = 0x25;
constexpr unsigned kChecksumMask = 0xFFFF;
constexpr int kChecksumDigits = 4;

// Characters a long name may hold that a short name may not: FAT puts an
// underscore in their place.
bool ReplacedInShortNames(char c) { return c != '\0' && std::strchr("+,;=[]", c) != nullptr; }

// What an alias is made from: the base (before the last dot, other dots
// and blanks dropped) cut to 8, the extension (after the last dot) cut to
// 3, both in upper case. `fits` when nothing was dropped, replaced or cut:
// the name is then a valid 8.3 name itself.
struct Basis {
    std::string base;
    std::string extension;
    bool fits = true;
};

Basis BasisOf(const std::string& name) {
    Basis b;
    const size_t start = name.find_first_not_of('.');
    if (start != 0) b.fits = false;
    const std::string rest = start == std::string::npos ? std::string() : name.substr(start);
    const size_t lastDot = rest.rfind('.');
    auto convert = [&](const std::string& in, size_t limit) {
        std::string out;
        for (char c : in) {
            if (c == ' ' || c == '.') {
                b.fits = false;
                continue;
            }
            if (out.size() == limit) {
                b.fits = false;
                continue;
            }
            if (ReplacedInShortNames(c)) {
                b.fits = false;
                c = '_';
            }
            out += UpperChar(c);
        }
        return out;
    };
    b.base = convert(lastDot == std::string::npos ? rest : rest.substr(0, lastDot), kBaseLength);
    b.extension = lastDot == std::string::npos ? std::string() : convert(rest.substr(lastDot + 1), kExtensionLength);
    if (b.base.empty()) {
        b.base = "_";
        b.fits = false;
    }
    return b;
}

std::string Joined(const std::string& base, const std::string& extension) {
    return extension.empty() ? base : base + "." + extension;
}

std::string Checksum(const std::string& name) {
    unsigned sum = 0;
    for (char c : name) sum = sum * kChecksumFactor + static_cast<unsigned char>(UpperChar(c));
    return Hex(sum & kChecksumMask, kChecksumDigits);
}

// Whether a sibling of `self` in `folder` answers to `shortName` already.
bool Taken(const FileSystem::Node& folder, const FileSystem::Node* self, const std::string& shortName) {
    for (const auto& sibling : folder.children) {
        if (sibling.get() == self) continue;
        if (EqualNoCase(Internals::ShortName(*sibling), shortName)) return true;
    }
    return false;
}

// "~n" at the end of the base, which is cut to make room.
std::string Numbered(const std::string& base, const std::string& extension, unsigned n) {
    const std::string tail = "~" + std::to_string(n);
    return Joined(base.substr(0, kBaseLength - tail.size()) + tail, extension);
}

}  // namespace

std::string Internals::ShortName(const FileSystem::Node& n) { return n.alias.empty() ? n.name : n.alias; }

std::string Internals::MakeAlias(const FileSystem& fs, const FileSystem::Node& folder, const std::string& name,
                                 const FileSystem::Node* self) {
    const Basis b = BasisOf(name);
    const bool fat = !fs.machine_.IsNt();
    if (b.fits) return fat ? Joined(b.base, b.extension) : std::string();
    for (unsigned n = 1;; ++n) {
        std::string candidate;
        if (fat || n <= kNtfsNumberedAliases) {
            candidate = Numbered(b.base, b.extension, n);
        } else {
            const std::string hashed = b.base.substr(0, kNtfsHashedPrefix) + Checksum(name);
            candidate = Numbered(hashed, b.extension, n - kNtfsNumberedAliases);
        }
        if (!Taken(folder, self, candidate)) return candidate;
    }
}

bool Internals::FitsShortName(const std::string& name) { return BasisOf(name).fits; }

Result<std::string> FileSystem::ShortPath(std::string_view path) const {
    const ParsedPath p = ParsePath(path, false);
    if (p.error) return WinError{p.error};
    const Internals::Located found = Internals::Locate(*this, p);
    if (found.error) return WinError{found.error};
    // The drive as the caller wrote it, then each name in its short form.
    const std::string given(path);
    std::string out = given.size() >= 2 && given[1] == ':' ? given.substr(0, 2) : std::string();
    out += "\\";
    std::shared_ptr<Node> folder = root_;
    for (size_t i = 0; i < p.parts.size(); ++i) {
        const std::shared_ptr<Node> entry = Internals::Child(*folder, p.parts[i]);
        if (i > 0) out += "\\";
        // NTFS answers a name that is a valid short name already as it was
        // written; FAT answers with the name its directory entry holds.
        const bool keepAsWritten = machine_.IsNt() && Internals::FitsShortName(p.parts[i]);
        out += keepAsWritten ? p.parts[i] : Internals::ShortName(*entry);
        folder = entry;
    }
    if (p.trailingSlash && !p.parts.empty()) out += "\\";
    return out;
}

std::optional<std::string> FileSystem::LongPath(std::string_view path) const {
    const Internals::Located found = Internals::Locate(*this, ParsePath(path, false));
    if (found.error) return std::nullopt;
    return Internals::FullPath(*found.node);
}

}  // namespace sim
