// Small helpers shared by all test executables: relative tolerances and the guard for
// Qt warnings a test expects (every other Qt warning fails the running test).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace Tervane3::Test {

// |actual - expected| <= relTol * max(|expected|, 1e-300), or both NaN.
::testing::AssertionResult nearRel(double actual, double expected, double relTol);

#define EXPECT_NEAR_REL(actual, expected, relTol) \
    EXPECT_TRUE(::Tervane3::Test::nearRel((actual), (expected), (relTol)))

// While an instance lives, Qt warnings are counted instead of failing the test.
class ExpectQtWarnings
{
public:
    ExpectQtWarnings();
    ~ExpectQtWarnings();
    int count() const;
    std::string lastMessage() const;

    ExpectQtWarnings(const ExpectQtWarnings&) = delete;
    ExpectQtWarnings& operator=(const ExpectQtWarnings&) = delete;
};

} // namespace Tervane3::Test
