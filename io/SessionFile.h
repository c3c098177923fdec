// The session file (.TN3): JSON text that records the working state of the main window
// (datasets by path with their plot settings, own filters, calculation flags and group
// switches; the filter groups; the tool windows' own objects), never measurement data.
// Everything here is free of widgets: the main window gathers and applies the state, these
// functions turn it into JSON and back, check fingerprints and write files safely.
#pragma once

#include "core/EventFilter.h"
#include "filters/FilterGroup.h"

#include <QByteArray>
#include <QDir>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace Tervane3 {

struct DatasetEntry;
class RTDCReader;

inline constexpr int sessionFormatVersion = 1;
// A session file is a few kilobytes per dataset; anything larger (an .rtdc chosen under
// "All Files") is refused unread.
inline constexpr qint64 sessionMaxFileBytes = 64LL * 1024 * 1024;
// Group ids a session file may carry (the counter never comes near).
inline constexpr int sessionMaxGroupId = 99999;

// The first 12 hexadecimal digits of SHA-256 over the file's own feature names (sorted,
// concatenated; computed columns left out, so a dataset saved after a calculation matches
// its freshly opened file).
QString computeFeatureHash(const RTDCReader& reader);

struct DatasetFingerprint
{
    std::int64_t fileSize = 0;
    std::int64_t eventCount = 0;
    QString featureHash;

    bool operator==(const DatasetFingerprint& other) const
    {
        return fileSize == other.fileSize && eventCount == other.eventCount && featureHash == other.featureHash;
    }
};
// Size of the file at `path` (0 when missing), the reader's events and its feature hash.
DatasetFingerprint fingerprintOf(const RTDCReader& reader, const QString& path);
QJsonObject fingerprintToJson(const DatasetFingerprint& fingerprint);
// Missing keys give 0, 0 and "".
DatasetFingerprint fingerprintFromJson(const QJsonObject& object);

// The dataset's own filter: "enabled", "combineMode" ("AND" for 0, "NOT" otherwise), "rules".
QJsonObject filterToJson(const EventFilter& filter);
// Enabled only when "enabled" is true; combine mode 1 for exactly "NOT"; rules in order.
EventFilter filterFromJson(const QJsonObject& object);

// The path as stored: relative to the session folder ('/' separators, ".." allowed), the
// absolute path when no relative one exists.
QString sessionRelativePath(const QString& filePath, const QDir& sessionFolder);
// The absolute path of a stored one (an absolute one stays as it is).
QString sessionAbsolutePath(const QString& storedPath, const QDir& sessionFolder);

// One dataset object. `duplicateOfIndex` is the list position of the first earlier dataset
// sharing the reader, -1 for none.
QJsonObject datasetToJson(const DatasetEntry& dataset, const QDir& sessionFolder, int duplicateOfIndex);
// Sets the saved state of a dataset object on an entry (names, plot settings, current
// event, calculation flags, crosstalk channels and matrix, own filter, group switches).
// Values outside their range take the default: contour mode 0..2 and scale modes 0..2,
// finite fractions in 0..1, an event index of -1 or more.
void applyDatasetJson(DatasetEntry& dataset, const QJsonObject& object);

QJsonObject filterGroupToJson(const FilterGroup& group);
// The groups of a "filterGroups" array in order; ids outside 0 .. sessionMaxGroupId or
// repeated are dropped, as are elements that are not objects.
std::vector<FilterGroup> filterGroupsFromJson(const QJsonValue& array);

// Reads a session file whole: nullopt with `error` set to the box text ("Failed to read
// session file: …", "Invalid session file: …") when it cannot be read, is too large or is
// not JSON. A document that is not an object parses but has version 0.
struct SessionDocument
{
    QJsonObject root;
    int version = 0; // 0 when missing, not a whole number or not positive
};
std::optional<SessionDocument> readSessionFile(const QString& path, QString* error);

// Writes the document through a save file (write, check, commit): the old file stays as it
// was unless the new one is complete. False on any failure.
bool writeSessionFile(const QString& path, const QJsonObject& root);
// Test seam: when set, called after the content was written and before the commit; false
// makes the save fail there.
void setSessionWriteCheckForTesting(std::function<bool()> check);

} // namespace Tervane3
