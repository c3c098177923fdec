// Opening a damaged copy of a measurement the way File > Open does (probe, open, caching,
// activation with the plot and the first event) and judging what the user is given: the copy
// is refused with a reason, or it opens, and then what it shows is compared with the intact
// measurement and with the messages that came with it. Shared by the main-window test and
// the damaged-file trial in bench/.
#pragma once

#include "MainWindowTestAccess.h"

#include "core/RTDCReader.h"

#include <QStringList>

#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace Tervane3::Test {

// What a user can see of a measurement: the event count, the feature list and every
// column, the metadata, and the images, masks and traces of the first few events (as the
// event display and a few steps of the event spin box read them).
struct MeasurementContent
{
    std::uint64_t events = 0;
    std::vector<std::string> features;
    std::map<std::string, std::vector<double>> columns;
    std::map<std::string, std::string> metadata;
    std::vector<std::vector<std::uint8_t>> images;
    std::vector<std::vector<std::uint8_t>> masks;
    std::map<std::string, std::vector<std::vector<float>>> traces;
};

inline MeasurementContent readContent(const RTDCReader& reader, const Metadata& metadata,
                                      std::uint64_t shownEvents = 10)
{
    MeasurementContent content;
    content.events = reader.eventCount();
    content.features = reader.fileFeatureNames();
    for (const std::string& name : content.features) {
        if (isScalarFeatureName(name))
            content.columns[name] = reader.getFeature(name);
    }
    content.metadata = metadata.allEntries;
    const std::uint64_t shown = std::min(shownEvents, content.events);
    for (std::uint64_t e = 0; e < shown; ++e) {
        int width = 0;
        int height = 0;
        content.images.push_back(reader.readImage(e, width, height));
        content.masks.push_back(reader.readMask(e, width, height));
    }
    for (const std::string& name : reader.traceNames()) {
        for (std::uint64_t e = 0; e < shown; ++e)
            content.traces[name].push_back(reader.getTrace(name, e));
    }
    return content;
}

// Equal values, NaN equal to NaN.
inline bool sameValues(const std::vector<double>& a, const std::vector<double>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i]))))
            return false;
    }
    return true;
}

// The first part in which the two differ ("event count", "feature list", "column deform",
// "metadata", "images", "masks", "trace fl1_raw"); empty when they show the same.
inline std::string firstDifference(const MeasurementContent& a, const MeasurementContent& b)
{
    if (a.events != b.events)
        return "event count";
    if (a.features != b.features)
        return "feature list";
    for (const auto& [name, column] : a.columns) {
        const auto other = b.columns.find(name);
        if (other == b.columns.end() || !sameValues(column, other->second))
            return "column " + name;
    }
    if (a.metadata != b.metadata)
        return "metadata";
    if (a.images != b.images)
        return "images";
    if (a.masks != b.masks)
        return "masks";
    if (a.traces.size() != b.traces.size())
        return "trace list";
    for (const auto& [name, rows] : a.traces) {
        const auto other = b.traces.find(name);
        if (other == b.traces.end() || other->second != rows)
            return "trace " + name;
    }
    return std::string();
}

struct DamagedCopyResult
{
    enum class Outcome {
        Intact,                // opened, shows what the intact measurement shows
        ChangedWithMessage,    // opened, shows something else, and a warning, a box or the
                               // info line ("No events in ...") said so
        ChangedWithoutMessage, // opened, shows something else, and nothing said so
        Refused,               // "Failed to open: <path>" with a reason on the second line
        RefusedWithoutReason,  // not opened, and no box gave a reason
    };
    Outcome outcome = Outcome::Refused;
    // Refused: the reason line of the box. Changed: the first part that differs.
    QString detail;
    // The texts of the message boxes shown while the copy was opened and shown.
    QStringList boxes;
    // Warnings and message boxes that came while the copy was opened and shown.
    int messages = 0;
};

// Opens the copy through the dialog's road, waits for its caching and compares what it
// shows with `intact`. `messageCount` counts the warnings seen so far (the reader's lines
// reach the log as warnings); `usualMessages` is what an undamaged copy brings (a fixture
// may hold a text column on purpose), and only more than that says something changed. An
// opened copy is removed again when `removeOpened` is set, so that a long trial keeps only
// the intact dataset and the copy in hand.
inline DamagedCopyResult openDamagedCopy(MainWindow& w, const ScriptedPrompts& prompts, const QString& file,
                                         const MeasurementContent& intact, const std::function<int()>& messageCount,
                                         int usualMessages, bool removeOpened)
{
    DamagedCopyResult result;
    const size_t datasetsBefore = w.datasets().size();
    const size_t callsBefore = prompts.calls().size();
    const int messagesBefore = messageCount();
    MainWindowTestAccess::addDataset(w, file);
    waitForCaching(w, 120000);
    const bool opened = w.datasets().size() > datasetsBefore;
    std::string difference;
    if (opened) {
        const DatasetEntry& entry = *w.datasets().back();
        difference = firstDifference(readContent(*entry.reader, entry.metadata), intact);
    }
    for (size_t i = callsBefore; i < prompts.calls().size(); ++i) {
        if (prompts.calls()[i].kind == ScriptedPrompts::Kind::Message)
            result.boxes << prompts.calls()[i].text;
    }
    result.messages = messageCount() - messagesBefore + static_cast<int>(result.boxes.size());
    // A copy that lost its events says so in the info line.
    if (opened && MainWindowTestAccess::infoLabel(w)->text().startsWith(QStringLiteral("No events in ")))
        ++result.messages;
    if (!opened) {
        const QStringList lines = result.boxes.value(0).split(QLatin1Char('\n'));
        const bool reasoned = result.boxes.size() == 1 && lines.size() == 2
                              && lines[0] == QStringLiteral("Failed to open: ") + file && !lines[1].trimmed().isEmpty();
        result.outcome = reasoned ? DamagedCopyResult::Outcome::Refused : DamagedCopyResult::Outcome::RefusedWithoutReason;
        result.detail = lines.value(1);
        return result;
    }
    result.detail = QString::fromStdString(difference);
    if (difference.empty())
        result.outcome = DamagedCopyResult::Outcome::Intact;
    else
        result.outcome = result.messages > usualMessages ? DamagedCopyResult::Outcome::ChangedWithMessage
                                             : DamagedCopyResult::Outcome::ChangedWithoutMessage;
    if (removeOpened)
        w.removeDataset();
    return result;
}

} // namespace Tervane3::Test
