// The Young's-modulus calculator: owns the look-up tables and their triangulations and
// derives from them the feature "emodulus" of a dataset, the isoelastic lines of a plot and
// the figures of the quality assessment.
//
// Threads: one object serves the calculation worker (compute) and the GUI thread
// (isoelastics, assessQuality) at the same time. The two caches are filled under one mutex,
// at most once per table id, and an entry never changes or goes away while the object
// lives, so the references handed out stay valid and are read without the lock.
#pragma once

#include "calc/EModQualityReport.h"
#include "calc/EModulusParams.h"
#include "calc/IsoelasticLine.h"
#include "calc/LutData.h"
#include "calc/LutTriangulation.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace Tervane3 {

class RTDCReader;

class EModulus : public QObject
{
    Q_OBJECT

public:
    // Table id 0 names the file "LUT_LE_2D_FEM.txt" in the application's data folders.
    static const char* const lutFileName;

    explicit EModulus(QObject* parent = nullptr);
    ~EModulus() override;

    // Computes "emodulus" (kPa, NaN outside the table) for every event of the reader and
    // stores it with RTDCReader::setFeature. False, with nothing stored, when the reader is
    // null or lacks "area_um" or params.deformFeature, when the record has no usable channel
    // width, flow rate, pixel size (with pixelation correction) or viscosity, when there is
    // no table, when the columns are empty or of different lengths, and when no event maps.
    // Reasons and warnings go to the standard error stream ("EModulus: ...") and, without
    // the prefix, to messages when given. Runs on a worker thread; emits progressChanged.
    // Also false, with nothing stored, when cancelRequested is set before the last event.
    bool compute(RTDCReader* reader, const EModulusParams& params,
                 std::vector<std::string>* messages = nullptr);

    // The same on plain columns: fills result with one modulus per event (left empty when
    // false is returned). temperatures is used only for TemperaturePerEvent and only when
    // it has one value per event.
    bool computeColumn(const std::vector<double>& area, const std::vector<double>& deform,
                       const std::vector<double>* temperatures, const EModulusParams& params,
                       std::vector<double>& result, std::vector<std::string>* messages = nullptr);

    // Lines of equal modulus for the measurement the record describes (table id 0), in
    // (area µm², deformation) with the pixelation offset added. Empty without a table and
    // when the channel width, flow rate, pixel size or viscosity is unusable.
    std::vector<IsoelasticLine> isoelastics(const EModulusParams& params);

    // The quality figures for the given events, from "area_um" and "deform" with the
    // pixelation offset and the record's temperature. The zero report (valid false) when the
    // reader is null, lacks a column, there is no table or the record is unusable.
    EModQualityReport assessQuality(RTDCReader* reader, const EModulusParams& params,
                                    const std::vector<int>& eventIndices);
    EModQualityReport assessQuality(const std::vector<double>& area,
                                    const std::vector<double>& deform,
                                    const EModulusParams& params,
                                    const std::vector<int>& eventIndices);

    // ---- look-up tables ------------------------------------------------------------
    // Reads table lutId from the given file instead of searching the data folders (a test's
    // table, or the user's own one under a new id). False when that id already has a table:
    // a cached table never changes.
    bool setLutFile(int lutId, const QString& path);
    // The candidate paths of table 0, in the order they are tried.
    static std::vector<QString> lutSearchPaths();

    // Set from any thread to stop compute after the block of events in work; only the
    // start of the next run clears it.
    std::atomic<bool> cancelRequested{false};

    void loadLut(int lutId);
    void buildTriangulation(int lutId);
    // The cached entries, or null. Valid as long as this object.
    const LutData* lut(int lutId) const;
    const LutTriangulation* triangulation(int lutId) const;
    static double interpolate(const LutTriangulation& triangulation, double area, double deform);

    // 0.0012 + 0.02 e^(x/7.1) + 0.01 e^(x/38.6) + 0.005 e^(x/296), x = -area (0.34/pixelSize)^2:
    // what the camera's pixelation adds to the measured deformation.
    static double pixelationOffset(double area, double pixelSize);
    static double correctPixelation(double deform, double area, double pixelSize);

signals:
    void progressChanged(int percent);

private:
    struct Tables
    {
        const LutData* data = nullptr;
        const LutTriangulation* triangulation = nullptr;
    };
    // Loads and triangulates under the lock; both null when either is missing.
    Tables tables(int lutId);
    void loadLutLocked(int lutId);
    void buildTriangulationLocked(int lutId);

    mutable std::mutex cacheMutex;
    std::map<int, LutData> lutCache;
    std::map<int, LutTriangulation> triangulationCache;
    std::map<int, QString> lutFiles;
    std::set<int> untriangulableReported;
};

} // namespace Tervane3
