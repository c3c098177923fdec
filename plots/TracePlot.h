// The fluorescence traces of the current event, one curve per channel.
//
// First version: the empty plot with its fixed look; channels and curves come with the
// trace display.
#pragma once

#include <qwt_plot.h>

namespace Tervane3 {

class TracePlot : public QwtPlot
{
public:
    explicit TracePlot(QWidget* parent = nullptr);
    ~TracePlot() override;
};

} // namespace Tervane3
