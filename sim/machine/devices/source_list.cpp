// The setup source lists (SetupSetSourceListA, SetupAddToSourceListA).
#include "sim/machine/devices/source_list.h"

#include <algorithm>
#include <cstring>

#include "sim/base/text.h"
#include "sim/include/windows.h"
#include "sim/machine/devices/device_tree.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"

namespace sim {

namespace {

constexpr const char* kSourceListKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Setup";
constexpr const char* kSourceListValue = "Installation Sources";

// Which list a call means; None for a bad combination of flags.
enum class SourceList { None, System, User, Temporary };

SourceList ListOf(DWORD flags) {
    const DWORD which = flags & (SRCLIST_SYSTEM | SRCLIST_USER | SRCLIST_TEMPORARY | SRCLIST_SYSIFADMIN);
    switch (which) {
        case SRCLIST_SYSTEM:
        case SRCLIST_SYSIFADMIN:  // the tool runs as an administrator
            return SourceList::System;
        case SRCLIST_USER:
            return SourceList::User;
        case SRCLIST_TEMPORARY:
            return SourceList::Temporary;
        default:
            return SourceList::None;
    }
}

// A trailing platform folder ("\i386") is dropped from a source path
// unless the caller asks to keep it.
std::string StripPlatform(const std::string& path, DWORD flags) {
    if (flags & SRCLIST_NOSTRIPPLATFORM) return path;
    for (const char* platform : {"\\i386", "\\x86"}) {
        if (devices::EndsWithNoCase(path, platform)) return path.substr(0, path.size() - std::strlen(platform));
    }
    return path;
}

std::string SourceListPath(SourceList list) {
    return std::string(list == SourceList::System ? "HKEY_LOCAL_MACHINE\\" : "HKEY_CURRENT_USER\\") + kSourceListKey;
}

const char* ListName(SourceList list) { return list == SourceList::User ? "user" : "system"; }

}  // namespace

std::vector<std::string> SourceLists::UserList() const {
    return machine_.registry()
        .GetMultiString(SourceListPath(SourceList::User), kSourceListValue)
        .value_or(std::vector<std::string>{});
}

DWORD SourceLists::Set(DWORD flags, const std::vector<std::string>& list) {
    const SourceList which = ListOf(flags);
    if (which == SourceList::None) return ERROR_INVALID_PARAMETER;
    std::vector<std::string> items;
    std::string text;
    for (const std::string& item : list) {
        items.push_back(StripPlatform(item, flags));
        text += (text.empty() ? "" : "; ") + items.back();
    }
    if (which == SourceList::Temporary) {
        temporary_ = items;
        machine_.Record("device", "SetupSetSourceList temporary: " + text);
        return ERROR_SUCCESS;
    }
    // Setting a stored list ends a temporary one.
    temporary_.reset();
    machine_.registry().SetMultiString(SourceListPath(which), kSourceListValue, items);
    machine_.Record("device", std::string("SetupSetSourceList ") + ListName(which) + ": " + text);
    return ERROR_SUCCESS;
}

DWORD SourceLists::Add(DWORD flags, const std::string& source) {
    const SourceList which = ListOf(flags);
    if (which == SourceList::None) return ERROR_INVALID_PARAMETER;
    const std::string item = StripPlatform(source, flags);
    auto insert = [&](std::vector<std::string>& items) {
        items.erase(
            std::remove_if(items.begin(), items.end(), [&](const std::string& s) { return EqualNoCase(s, item); }),
            items.end());
        if (flags & SRCLIST_APPEND) {
            items.push_back(item);
        } else {
            items.insert(items.begin(), item);
        }
    };
    // While a temporary list is in use, it is the only list that changes.
    if (temporary_ || which == SourceList::Temporary) {
        if (!temporary_) temporary_.emplace();
        insert(*temporary_);
        machine_.Record("device", "SetupAddToSourceList temporary: " + item);
        return ERROR_SUCCESS;
    }
    Registry& registry = machine_.registry();
    std::vector<std::string> items =
        registry.GetMultiString(SourceListPath(which), kSourceListValue).value_or(std::vector<std::string>{});
    insert(items);
    registry.SetMultiString(SourceListPath(which), kSourceListValue, items);
    machine_.Record("device", std::string("SetupAddToSourceList ") + ListName(which) + ": " + item);
    return ERROR_SUCCESS;
}

}  // namespace sim
