// Shared test helpers.
#include "support/TestSupport.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace Tervane3::Test {

namespace {
std::atomic<int> expectDepth{0};
std::atomic<int> expectedCount{0};
std::mutex lastMutex;
std::string lastText;
} // namespace

::testing::AssertionResult nearRel(double actual, double expected, double relTol)
{
    if (std::isnan(actual) && std::isnan(expected))
        return ::testing::AssertionSuccess();
    if (std::isinf(expected) && actual == expected)
        return ::testing::AssertionSuccess();
    const double scale = std::max(std::abs(expected), 1e-300);
    if (std::abs(actual - expected) <= relTol * scale)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "actual " << actual << " differs from expected " << expected << " by more than "
           << relTol << " relative";
}

ExpectQtWarnings::ExpectQtWarnings()
{
    expectedCount = 0;
    ++expectDepth;
}

ExpectQtWarnings::~ExpectQtWarnings()
{
    --expectDepth;
}

int ExpectQtWarnings::count() const
{
    return expectedCount;
}

std::string ExpectQtWarnings::lastMessage() const
{
    std::lock_guard<std::mutex> lock(lastMutex);
    return lastText;
}

// Called by the message handler of TestMain.cpp.
bool consumeExpectedWarning(const std::string& text)
{
    if (expectDepth.load() <= 0)
        return false;
    ++expectedCount;
    std::lock_guard<std::mutex> lock(lastMutex);
    lastText = text;
    return true;
}

} // namespace Tervane3::Test
