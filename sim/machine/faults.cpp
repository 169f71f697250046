#include "sim/machine/faults.h"

#include "sim/base/text.h"

namespace sim {

void Faults::Add(FaultRequest request) { requests_.push_back(std::move(request)); }

DWORD Faults::Take(std::string_view call, std::string_view object) {
    for (auto it = requests_.begin(); it != requests_.end(); ++it) {
        if (it->call != call) continue;
        if (!it->object.empty() && !EqualNoCase(it->object, object)) continue;
        const DWORD error = it->error;
        if (it->once) requests_.erase(it);
        return error;
    }
    return 0;
}

}  // namespace sim
