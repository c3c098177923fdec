// The figures of a Young's-modulus quality assessment: how a set of events falls onto the
// look-up table, how many sit near its lower deformation edge, how sensitive the modulus is
// to the scatter of the deformation, and how much the edge events shift the median.
#pragma once

namespace Tervane3 {

struct EModQualityReport
{
    int total = 0;         // event indices given
    int areaTooSmall = 0;  // scaled area below the table
    int areaTooLarge = 0;  // scaled area above the table
    int deformTooLow = 0;  // below the table in deformation
    int deformTooHigh = 0; // above the table in deformation
    int mapped = 0;        // events that received a modulus
    int nearEdge = 0;      // mapped events close to the lower deformation boundary
    double medianSensitivity = 0.0;
    int highSensitivityCount = 0; // sensitivities above 1.0
    // Mapped events whose sensitivity could be taken (both neighbours inside the table), and
    // 1.4826 x the median absolute deviation of the mapped deformations. Without either the
    // sensitivity figures stand on nothing (they read 0, not a small sensitivity).
    int sensitivityCount = 0;
    double deformationSpread = 0.0;
    double medianEmodulusAll = 0.0;      // kPa
    double medianEmodulusInterior = 0.0; // kPa, mapped events not near the edge
    double bias = 0.0;                   // relative difference of the two medians
    bool valid = false;                  // table and columns were present
};

} // namespace Tervane3
