// Table caches and the "emodulus" column. Scaling from the simulation to the measurement:
// with s = w_lut / w, a measured area A sits at the table area s² A, and a table modulus
// E_lut becomes (η / η_lut) · E_lut · (s³ · (Q / Q_lut)).
#include "calc/EModulus.h"

#include "calc/EModulusViscosity.h"
#include "core/RTDCReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <iostream>
#include <limits>

namespace Tervane3 {

const char* const EModulus::lutFileName = "LUT_LE_2D_FEM.txt";

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// One line per message, written in one piece so that lines of two threads do not mix.
void printLine(const std::string& text)
{
    std::cerr << ("EModulus: " + text + "\n") << std::flush;
}

void report(std::vector<std::string>* messages, const std::string& text)
{
    printLine(text);
    if (messages)
        messages->push_back(text);
}

QString applicationDirectory()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

} // namespace

EModulus::EModulus(QObject* parent)
    : QObject(parent)
{
}

EModulus::~EModulus() = default;

// ---- look-up tables ------------------------------------------------------------------

std::vector<QString> EModulus::lutSearchPaths()
{
    const QString base = applicationDirectory();
    const QString name = QString::fromLatin1(lutFileName);
    std::vector<QString> paths;
    for (const char* folder :
         {"/data/", "/../Resources/data/", "/../data/", "/../../data/", "/../../../data/"})
        paths.push_back(base + QString::fromLatin1(folder) + name);
    return paths;
}

bool EModulus::setLutFile(int lutId, const QString& path)
{
    std::lock_guard<std::mutex> lock(cacheMutex);
    if (lutCache.count(lutId) != 0)
        return false;
    lutFiles[lutId] = path;
    return true;
}

void EModulus::loadLut(int lutId)
{
    std::lock_guard<std::mutex> lock(cacheMutex);
    loadLutLocked(lutId);
}

void EModulus::buildTriangulation(int lutId)
{
    std::lock_guard<std::mutex> lock(cacheMutex);
    buildTriangulationLocked(lutId);
}

void EModulus::loadLutLocked(int lutId)
{
    if (lutCache.count(lutId) != 0)
        return;
    QString path;
    const auto registered = lutFiles.find(lutId);
    if (registered != lutFiles.end()) {
        path = registered->second;
        if (!QFileInfo::exists(path)) {
            printLine("LUT file not found: " + path.toStdString());
            return;
        }
    } else if (lutId == 0) {
        for (const QString& candidate : lutSearchPaths()) {
            if (QFileInfo::exists(candidate)) {
                path = candidate;
                break;
            }
        }
        if (path.isEmpty()) {
            printLine(std::string("LUT file not found: ") + lutFileName + " (searched from "
                      + applicationDirectory().toStdString() + ")");
            return;
        }
    } else {
        return;
    }

    LutReadNotes notes;
    std::optional<LutData> data = LutData::readFile(path, &notes);
    if (!data)
        return;
    for (const std::string& warning : notes.warnings)
        printLine(QFileInfo(path).fileName().toStdString() + ": " + warning);
    lutCache.emplace(lutId, std::move(*data));
}

void EModulus::buildTriangulationLocked(int lutId)
{
    if (triangulationCache.count(lutId) != 0)
        return;
    loadLutLocked(lutId);
    const auto table = lutCache.find(lutId);
    if (table == lutCache.end() || table->second.rowCount() < 3)
        return;
    std::optional<LutTriangulation> built = LutTriangulation::build(table->second);
    if (!built) {
        // Printed once: the plots ask again on every update.
        if (untriangulableReported.insert(lutId).second)
            printLine("the look-up table spans no area or deformation range; it cannot be "
                      "triangulated");
        return;
    }
    triangulationCache.emplace(lutId, std::move(*built));
}

const LutData* EModulus::lut(int lutId) const
{
    std::lock_guard<std::mutex> lock(cacheMutex);
    const auto it = lutCache.find(lutId);
    return it == lutCache.end() ? nullptr : &it->second;
}

const LutTriangulation* EModulus::triangulation(int lutId) const
{
    std::lock_guard<std::mutex> lock(cacheMutex);
    const auto it = triangulationCache.find(lutId);
    return it == triangulationCache.end() ? nullptr : &it->second;
}

EModulus::Tables EModulus::tables(int lutId)
{
    std::lock_guard<std::mutex> lock(cacheMutex);
    buildTriangulationLocked(lutId);
    const auto data = lutCache.find(lutId);
    const auto triangles = triangulationCache.find(lutId);
    if (data == lutCache.end() || triangles == triangulationCache.end())
        return {};
    return {&data->second, &triangles->second};
}

double EModulus::interpolate(const LutTriangulation& triangulation, double area, double deform)
{
    return triangulation.interpolate(area, deform);
}

double EModulus::pixelationOffset(double area, double pixelSize)
{
    const double ratio = 0.34 / pixelSize;
    const double x = -area * (ratio * ratio);
    return 0.0012 + 0.02 * std::exp(x / 7.1) + 0.01 * std::exp(x / 38.6)
           + 0.005 * std::exp(x / 296.0);
}

double EModulus::correctPixelation(double deform, double area, double pixelSize)
{
    return deform - pixelationOffset(area, pixelSize);
}

// ---- the "emodulus" column -------------------------------------------------------------

bool EModulus::compute(RTDCReader* reader, const EModulusParams& params,
                       std::vector<std::string>* messages)
{
    if (!reader)
        return false;
    if (!reader->hasFeature("area_um") || !reader->hasFeature(params.deformFeature))
        return false;
    // The reader keeps these columns alive while another thread replaces them.
    const std::vector<double>& area = reader->getFeature("area_um");
    const std::vector<double>& deform = reader->getFeature(params.deformFeature);
    const std::vector<double>* temperatures = nullptr;
    if (params.temperatureSource == EModulusParams::TemperaturePerEvent
        && reader->hasFeature("temp"))
        temperatures = &reader->getFeature("temp");

    std::vector<double> result;
    if (!computeColumn(area, deform, temperatures, params, result, messages))
        return false;
    reader->setFeature("emodulus", std::move(result));
    return true;
}

bool EModulus::computeColumn(const std::vector<double>& area, const std::vector<double>& deform,
                             const std::vector<double>* temperatures,
                             const EModulusParams& params, std::vector<double>& result,
                             std::vector<std::string>* messages)
{
    result.clear();
    const std::string problem = params.measurementProblem(params.pixelationCorrection);
    if (!problem.empty()) {
        report(messages, problem + "; no Young's modulus computed");
        return false;
    }
    const Tables table = tables(params.lutId);
    if (!table.triangulation) {
        report(messages, "failed to build LUT triangulation");
        return false;
    }
    const size_t n = area.size();
    if (n == 0 || deform.size() != n)
        return false;

    const bool perEvent = params.temperatureSource == EModulusParams::TemperaturePerEvent
                          && temperatures && temperatures->size() == n;
    double commonViscosity = nan;
    if (!perEvent) {
        const std::string warning = params.temperatureWarning(params.effectiveTemperature());
        if (!params.viscosityUsable(params.effectiveTemperature())) {
            report(messages, warning + "; no Young's modulus computed");
            return false;
        }
        if (!warning.empty())
            report(messages, warning);
        commonViscosity = params.viscosity(params.effectiveTemperature());
    }

    const LutData& lut = *table.data;
    const LutTriangulation& triangulation = *table.triangulation;
    const double s = lut.channelWidth / params.channelWidth;
    const double areaScale = s * s;
    const double geometryScale = s * s * s * (params.flowRate / lut.flowRate);

    double rangeLow = 0.0;
    double rangeHigh = 0.0;
    const bool hasRange = viscosityTemperatureRange(params.viscosityModel, rangeLow, rangeHigh);

    result.assign(n, nan);
    size_t mapped = 0;
    size_t unusableTemperatures = 0;
    size_t outOfRangeTemperatures = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i % 256 == 0) {
            if (cancelRequested.load(std::memory_order_relaxed)) {
                result.clear();
                return false;
            }
            emit progressChanged(static_cast<int>(i * 100 / n));
        }
        const double a = area[i];
        double d = deform[i];
        if (params.pixelationCorrection)
            d = correctPixelation(d, a, params.pixelSize);
        const double tableModulus = triangulation.interpolate(areaScale * a, d);
        if (std::isnan(tableModulus))
            continue;
        double eta = commonViscosity;
        if (perEvent) {
            const double celsius = (*temperatures)[i];
            if (!params.viscosityUsable(celsius)) {
                ++unusableTemperatures;
                continue;
            }
            if (hasRange && !(celsius >= rangeLow && celsius <= rangeHigh))
                ++outOfRangeTemperatures;
            eta = params.viscosity(celsius);
        }
        result[i] = (eta / lut.viscosity) * tableModulus * geometryScale;
        ++mapped;
    }
    emit progressChanged(100);

    if (unusableTemperatures > 0)
        report(messages, std::to_string(unusableTemperatures)
                             + " event(s) have a temperature at which the viscosity model gives "
                               "no usable value; they get no Young's modulus");
    if (outOfRangeTemperatures > 0)
        report(messages, std::to_string(outOfRangeTemperatures)
                             + " event(s) have a temperature outside the range of the "
                               "viscosity model");
    if (mapped == 0) {
        report(messages, "no event lies inside the look-up table; nothing stored");
        result.clear();
        return false;
    }
    return true;
}

// ---- isoelastic lines ----------------------------------------------------------------

std::vector<IsoelasticLine> EModulus::isoelastics(const EModulusParams& params)
{
    static constexpr double tableModuli[] = {0.2, 0.3, 0.4, 0.5, 0.6, 0.7,
                                             0.9, 1.2, 1.5, 2.0, 3.0};
    constexpr int areaSteps = 150;
    constexpr int scanSteps = 50;
    constexpr int bisectionSteps = 40;
    constexpr double tolerance = 1e-8;

    std::vector<IsoelasticLine> lines;
    // Called on every plot update: unusable records give no lines and no message.
    if (!params.measurementProblem(true).empty()
        || !params.viscosityUsable(params.effectiveTemperature()))
        return lines;
    const Tables table = tables(0);
    if (!table.triangulation)
        return lines;
    const LutData& lut = *table.data;
    const LutTriangulation& triangulation = *table.triangulation;

    const double eta = params.viscosity(params.effectiveTemperature());
    const double s = lut.channelWidth / params.channelWidth;
    const double e = s * s;
    const double f = s * s * s * ((params.flowRate / lut.flowRate) * (eta / lut.viscosity));
    const double aMin = (1.0 / e) * triangulation.areaMin;
    const double aMax = (1.0 / e) * triangulation.areaMax;
    const double step = (aMax - aMin) / areaSteps;
    // A step that is not a positive number would never end the walk along the area axis.
    if (!(std::isfinite(step) && step > 0.0) || !std::isfinite(aMin) || !std::isfinite(f))
        return lines;
    const double dMin = triangulation.deformMin;
    const double dStep = (triangulation.deformMax - dMin) / scanSteps;

    for (double modulus : tableModuli) {
        IsoelasticLine line;
        line.modulus = modulus * f;
        // The count bounds the walk also where rounding makes a + step == a.
        int count = 0;
        for (double a = aMin; a <= aMax && count <= areaSteps + 1; a += step, ++count) {
            const double u = a * e;
            const auto lookup = [&triangulation, u](double d) {
                return triangulation.interpolate(u, d);
            };
            double lowValue = lookup(dMin);
            double lo = dMin;
            double hi = dMin;
            bool bracketed = false;
            for (int i = 1; i <= scanSteps; ++i) {
                hi = dMin + i * dStep;
                const double value = lookup(hi);
                if (!std::isnan(lowValue) && !std::isnan(value)
                    && (value - modulus) * (lowValue - modulus) <= 0.0) {
                    bracketed = true;
                    break;
                }
                lo = hi;
                lowValue = value;
            }
            if (!bracketed)
                continue;
            double loValue = lookup(lo);
            if (!std::isnan(loValue)) {
                for (int k = 0; k < bisectionSteps; ++k) {
                    const double mid = (hi + lo) * 0.5;
                    const double value = lookup(mid);
                    if (std::isnan(value))
                        break;
                    if ((value - modulus) * (loValue - modulus) <= 0.0) {
                        hi = mid;
                    } else {
                        lo = mid;
                        loValue = value;
                    }
                    if (std::fabs(hi - lo) < tolerance)
                        break;
                }
            }
            line.points.emplace_back(a, (hi + lo) * 0.5 + pixelationOffset(a, params.pixelSize));
        }
        if (line.points.size() >= 2)
            lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace Tervane3
