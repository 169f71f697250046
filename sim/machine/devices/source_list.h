// The setup source lists: where SetupAPI looks for installation files.
// The system and user lists are kept in the registry ("Installation
// Sources" below ...\Windows\CurrentVersion\Setup of HKLM and HKCU); a
// temporary list lives here, for this process only, and while it is in
// use it is the only list that changes.
//
// Failures are answered as a Windows error code; the lists are unchanged
// then.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/include/types.h"

namespace sim {

class Machine;

class SourceLists {
public:
    explicit SourceLists(Machine& machine) : machine_(machine) {}

    // SetupSetSourceListA: `flags` of SRCLIST_* bits naming one list.
    DWORD Set(DWORD flags, const std::vector<std::string>& items);
    // SetupAddToSourceListA.
    DWORD Add(DWORD flags, const std::string& source);

    // The current user's list, as stored in the registry.
    std::vector<std::string> UserList() const;

private:
    Machine& machine_;
    std::optional<std::vector<std::string>> temporary_;
};

}  // namespace sim
