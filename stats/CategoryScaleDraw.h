// The x axis of a comparison plot: category names at the whole-number positions.
#pragma once

#include <qwt_scale_draw.h>

#include <QStringList>

namespace Tervane3 {

class CategoryScaleDraw : public QwtScaleDraw
{
public:
    explicit CategoryScaleDraw(const QStringList& names);

    // The name at the position rounded half away from zero; empty outside the names.
    QwtText label(double value) const override;

private:
    QStringList categoryNames;
};

} // namespace Tervane3
