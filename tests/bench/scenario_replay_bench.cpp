// Replaying the Windows XP example scenario: the tool waits for the card
// with its 4 s poll and 5 s settle on the virtual clock, so a run takes far
// less wall time than the time it simulates. The counter "sim_per_wall" is
// that ratio (simulated seconds per second of wall time).
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/scenario/runner/scenario_run.h"
#include "sim/scenario/scenario.h"

namespace {

const std::string kExample = std::string(TAV_EXAMPLES_DIR) + "/xp-card-inserted";

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// Runs the scenario text over the example's registry and drive, timing
// only the run itself (loading reads the host's files).
void Replay(benchmark::State& state, const std::string& scenarioText) {
    const std::string registry = ReadText(kExample + "/registry.reg");
    const std::string drive = kExample + "/drive";
    double simulatedSeconds = 0;
    double wallSeconds = 0;
    for (auto _ : state) {
        sim::ScenarioLoad load = sim::BuildScenario(scenarioText, registry, drive);
        if (!load) {
            state.SkipWithError(load.error.c_str());
            break;
        }
        const auto start = std::chrono::steady_clock::now();
        const sim::ScenarioRun run = sim::RunScenario(*load.scenario);
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
        if (run.outcome != sim::ScenarioRun::Outcome::Completed) {
            state.SkipWithError("the replay did not complete");
            break;
        }
        state.SetIterationTime(wall.count());
        wallSeconds += wall.count();
        simulatedSeconds += static_cast<double>(load.scenario->machine->clock.Now()) / 1000.0;
    }
    if (wallSeconds > 0) {
        state.counters["simulated_s"] = simulatedSeconds / static_cast<double>(state.iterations());
        state.counters["sim_per_wall"] = simulatedSeconds / wallSeconds;
    }
}

// The example as shipped: card in at 12 s, reported at 17 s, Close at 20 s.
void ReplayXpExample(benchmark::State& state) { Replay(state, ReadText(kExample + "/scenario.txt")); }

// The same machine with the card inserted after ten minutes of polling.
void ReplayXpExampleLongWait(benchmark::State& state) {
    std::string text = ReadText(kExample + "/scenario.txt");
    text = Replace(text, "at 12s arrive card", "at 10m arrive card");
    text = Replace(text, "at 20s click Close", "at 608s click Close");
    Replay(state, text);
}

BENCHMARK(ReplayXpExample)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ReplayXpExampleLongWait)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
