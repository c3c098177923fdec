// Small look-up tables for the Young's-modulus tests, written by the tests themselves into a
// temporary folder in the text format of the shipped table.
#pragma once

#include "calc/EModulusParams.h"
#include "calc/LutData.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTextStream>

#include <functional>
#include <string>
#include <vector>

namespace Tervane3::Test {

// The metadata block of the fixture tables: simulated in a 20 µm channel at 0.16 µL/s in a
// medium of 1.002 mPa·s. Written over several lines, as a generator writes it.
inline constexpr char tableMetadata[] =
    "{\n  \"channel_width\": 20.0,\n  \"flow_rate\": 0.16,\n  \"fluid_viscosity\": 1.002\n}";

// A measurement in the fixture tables' own conditions (channel, flow rate, a manual viscosity
// equal to the table's), so every scale factor is 1; tests change what they vary.
inline EModulusParams tableConditions()
{
    EModulusParams p;
    p.viscosityModel = EModulusParams::ModelManual;
    p.medium = EModulusParams::MediumOther;
    p.manualViscosity = 1.002;
    p.channelWidth = 20.0;
    p.flowRate = 0.16;
    p.pixelSize = 0.34;
    return p;
}

struct LutRow
{
    double area;
    double deform;
    double modulus;
};

// The text of a table file: a metadata block (when json is not empty) with "# " before every
// line, a comment, the header and one row per line with 17 significant digits.
inline QString lutText(const std::vector<LutRow>& rows, const std::string& json = std::string())
{
    QString text;
    QTextStream out(&text);
    if (!json.empty()) {
        out << "# BEGIN METADATA\n";
        for (const QString& line : QString::fromStdString(json).split(QLatin1Char('\n')))
            out << "# " << line << "\n";
        out << "# END METADATA\n";
    }
    out << "# simulated cells\n";
    out << "area_um deform emodulus\n";
    for (const LutRow& row : rows) {
        out << QString::number(row.area, 'g', 17) << ' ' << QString::number(row.deform, 'g', 17)
            << ' ' << QString::number(row.modulus, 'g', 17) << '\n';
    }
    return text;
}

inline QString writeLutFile(const QTemporaryDir& dir, const QString& name,
                            const std::vector<LutRow>& rows, const std::string& json = std::string())
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(lutText(rows, json).toUtf8());
    return path;
}

// Rows on the grid areas x deforms (area outer, deformation inner) with modulus f(a, d).
inline std::vector<LutRow> gridTable(const std::vector<double>& areas,
                                     const std::vector<double>& deforms,
                                     const std::function<double(double, double)>& f)
{
    std::vector<LutRow> rows;
    for (double a : areas) {
        for (double d : deforms)
            rows.push_back({a, d, f(a, d)});
    }
    return rows;
}

// first, first + step, ..., count values.
inline std::vector<double> steps(double first, double step, int count)
{
    std::vector<double> values;
    for (int i = 0; i < count; ++i)
        values.push_back(first + step * i);
    return values;
}

inline LutData toLutData(const std::vector<LutRow>& rows)
{
    LutData data;
    for (const LutRow& row : rows) {
        data.area.push_back(row.area);
        data.deform.push_back(row.deform);
        data.emodulus.push_back(row.modulus);
    }
    return data;
}

} // namespace Tervane3::Test
