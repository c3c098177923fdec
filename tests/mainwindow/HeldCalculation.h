// Holds the calculation worker before a dataset of a run (after the run's own cancel test,
// before the dataset's work starts), so a test can click while the run stands at a known
// place. Release it and let the run end before the object goes: the hook refers to it.
#pragma once

#include "MainWindowTestAccess.h"

#include "calc/CalculationRun.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <future>
#include <optional>

namespace Tervane3::Test {

class HeldCalculation
{
public:
    // Holds before the target at position `at` of the run, or before every target.
    explicit HeldCalculation(std::optional<size_t> at = std::nullopt)
    {
        setCalculationTargetHook([this, at](size_t index) {
            if (at && index != *at)
                return;
            holding = true;
            released.wait_for(std::chrono::seconds(20));
        });
    }
    ~HeldCalculation()
    {
        release();
        setCalculationTargetHook(nullptr);
    }
    HeldCalculation(const HeldCalculation&) = delete;
    HeldCalculation& operator=(const HeldCalculation&) = delete;

    // True once the worker waits in the hook.
    bool waitHeld()
    {
        return waitUntil([this] { return holding.load(); });
    }
    void release()
    {
        if (!releasedOnce) {
            releasedOnce = true;
            gate.set_value();
        }
    }

private:
    std::atomic<bool> holding{false};
    std::promise<void> gate;
    std::shared_future<void> released = gate.get_future().share();
    bool releasedOnce = false;
};

} // namespace Tervane3::Test
