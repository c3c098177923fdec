// The statistics of the statistical summary export, all from one vector of finite values
// sorted ascending, so that one sort per dataset and feature serves every statistic.
#pragma once

#include <cstddef>
#include <vector>

namespace Tervane3 {

struct SummaryValues
{
    size_t n = 0;
    double median = 0.0;
    double iqr = 0.0;        // P(75) - P(25)
    double q1 = 0.0;         // P(25)
    double q3 = 0.0;         // P(75)
    double percentile = 0.0; // P(the chosen percent)
    double mean = 0.0;       // summed in ascending order
    double sd = 0.0;         // sample standard deviation; 0 below two values
    double sem = 0.0;        // sd / sqrt(n); 0 below two values
    double cv = 0.0;         // sd x 100 / |mean| in percent; 0 below two values or for mean 0
    double min = 0.0;
    double max = 0.0;
    double skewness = 0.0;   // population skewness (no small-sample correction); 0 below three
                             // values or without spread
};

// Every value is 0 for an empty vector.
SummaryValues summarizeSorted(const std::vector<double>& sorted, double percent);

} // namespace Tervane3
