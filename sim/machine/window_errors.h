// How a run of the tool on the emulator can end other than by the tool
// returning: it waits for something that will never come, or Windows ends
// the session under it. Scenario runners and tests catch these.
#pragma once

#include <stdexcept>
#include <string>

namespace sim {

// The tool waits in a message loop (or a wait) and nothing can ever happen
// again, or nothing has happened for longer than the idle limit with no
// user action left to come. The message says which dialog is open and what
// it shows.
class ScenarioStalled : public std::runtime_error {
public:
    explicit ScenarioStalled(const std::string& what) : std::runtime_error(what) {}
};

// Every window of the tool agreed to end the session and got WM_ENDSESSION;
// Windows now ends the process, so the tool's code does not run on.
class SessionEnded : public std::runtime_error {
public:
    explicit SessionEnded(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace sim
