// The window of a Young's-modulus quality assessment: the figures of one report in four
// groups (coverage, boundary proximity, gradient sensitivity, population bias), each with a
// traffic light, grey for a figure without events behind it. Non-modal; the caller shows it
// and it keeps no data of its own.
#pragma once

#include "calc/EModQualityReport.h"

#include <QDialog>

namespace Tervane3 {

class EModQualityDialog : public QDialog
{
    Q_OBJECT

public:
    EModQualityDialog(const EModQualityReport& report, const QString& datasetName, QWidget* parent = nullptr);
    ~EModQualityDialog() override;

    // "%1 (%2%)": the count and its share of total with one decimal; "n/a" for no total.
    static QString formatCountPercent(int count, int total);
    // A filled circle, green below the first limit, amber below the second, else red.
    static QString trafficLight(double value, double greenBelow, double amberBelow);
    // The circle of a figure that has no events behind it.
    static QString greyLight();
};

} // namespace Tervane3
