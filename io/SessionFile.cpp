// Session-file objects, fingerprints and the file itself. GUI thread (the reader's feature
// names are copies, so a caching task may run meanwhile).
#include "io/SessionFile.h"

#include "app/DatasetEntry.h"
#include "core/FilterRuleJson.h"
#include "core/RTDCReader.h"
#include "io/EmodulusSettingsJson.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace Tervane3 {

namespace {

std::function<bool()>& writeCheck()
{
    static std::function<bool()> check;
    return check;
}

// A whole JSON number within [low, high]; anything else gives the fallback (never an
// out-of-range conversion).
int intFromJson(const QJsonValue& value, int fallback, int low, int high)
{
    if (!value.isDouble())
        return fallback;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::floor(number) || number < low || number > high)
        return fallback;
    return static_cast<int>(number);
}

std::int64_t int64FromJson(const QJsonValue& value)
{
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    // Doubles hold whole numbers exactly up to 2^53, far beyond any file size.
    if (!std::isfinite(number) || number != std::floor(number) || std::fabs(number) > 9.0e15)
        return 0;
    return static_cast<std::int64_t>(number);
}

double fractionFromJson(const QJsonValue& value, double fallback)
{
    const double number = numberFromJson(value, fallback);
    return std::isfinite(number) && number >= 0.0 && number <= 1.0 ? number : fallback;
}

QString text(const QJsonValue& value)
{
    return value.toString();
}

} // namespace

QString computeFeatureHash(const RTDCReader& reader)
{
    std::vector<std::string> names = reader.fileFeatureNames();
    std::sort(names.begin(), names.end());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const std::string& name : names)
        hash.addData(name.data(), static_cast<int>(name.size()));
    return QString::fromLatin1(hash.result().toHex()).left(12);
}

DatasetFingerprint fingerprintOf(const RTDCReader& reader, const QString& path)
{
    DatasetFingerprint fingerprint;
    const QFileInfo info(path);
    fingerprint.fileSize = info.exists() ? info.size() : 0;
    fingerprint.eventCount = static_cast<std::int64_t>(reader.eventCount());
    fingerprint.featureHash = computeFeatureHash(reader);
    return fingerprint;
}

QJsonObject fingerprintToJson(const DatasetFingerprint& fingerprint)
{
    QJsonObject object;
    object.insert(QStringLiteral("fileSize"), static_cast<double>(fingerprint.fileSize));
    object.insert(QStringLiteral("eventCount"), static_cast<double>(fingerprint.eventCount));
    object.insert(QStringLiteral("featureHash"), fingerprint.featureHash);
    return object;
}

DatasetFingerprint fingerprintFromJson(const QJsonObject& object)
{
    DatasetFingerprint fingerprint;
    fingerprint.fileSize = int64FromJson(object.value(QStringLiteral("fileSize")));
    fingerprint.eventCount = int64FromJson(object.value(QStringLiteral("eventCount")));
    fingerprint.featureHash = text(object.value(QStringLiteral("featureHash")));
    return fingerprint;
}

QJsonObject filterToJson(const EventFilter& filter)
{
    QJsonObject object;
    object.insert(QStringLiteral("enabled"), filter.isEnabled());
    object.insert(QStringLiteral("combineMode"),
                  filter.combineMode() == 0 ? QStringLiteral("AND") : QStringLiteral("NOT"));
    QJsonArray rules;
    for (const FilterRule& rule : filter.rules)
        rules.append(filterRuleToJson(rule));
    object.insert(QStringLiteral("rules"), rules);
    return object;
}

EventFilter filterFromJson(const QJsonObject& object)
{
    EventFilter filter;
    filter.setEnabled(object.value(QStringLiteral("enabled")).toBool(false));
    filter.setCombineMode(object.value(QStringLiteral("combineMode")).toString() == QLatin1String("NOT") ? 1 : 0);
    for (const QJsonValue& rule : object.value(QStringLiteral("rules")).toArray()) {
        if (rule.isObject())
            filter.addRule(filterRuleFromJson(rule.toObject()));
    }
    return filter;
}

QString sessionRelativePath(const QString& filePath, const QDir& sessionFolder)
{
    const QString absolute = QFileInfo(filePath).absoluteFilePath();
    const QString relative = sessionFolder.relativeFilePath(absolute);
    // On another drive there is no relative path: the result is still absolute.
    return relative.isEmpty() ? absolute : relative;
}

QString sessionAbsolutePath(const QString& storedPath, const QDir& sessionFolder)
{
    if (QFileInfo(storedPath).isAbsolute())
        return storedPath;
    return QDir::cleanPath(sessionFolder.absoluteFilePath(storedPath));
}

QJsonObject datasetToJson(const DatasetEntry& dataset, const QDir& sessionFolder, int duplicateOfIndex)
{
    const QString path = QString::fromStdString(dataset.filePath);
    QJsonObject object;
    object.insert(QStringLiteral("filePath"), sessionRelativePath(path, sessionFolder));
    object.insert(QStringLiteral("displayName"), dataset.displayName);
    object.insert(QStringLiteral("xFeatureName"), QString::fromStdString(dataset.xFeatureName));
    object.insert(QStringLiteral("yFeatureName"), QString::fromStdString(dataset.yFeatureName));
    object.insert(QStringLiteral("colorFeatureName"), QString::fromStdString(dataset.colorFeatureName));
    object.insert(QStringLiteral("currentEventIndex"), dataset.currentEventIndex);
    object.insert(QStringLiteral("contourMode"), dataset.contourMode);
    object.insert(QStringLiteral("contourFraction1"), numberToJson(dataset.contourFraction1));
    object.insert(QStringLiteral("contourFraction2"), numberToJson(dataset.contourFraction2));
    object.insert(QStringLiteral("scaleXMode"), dataset.scaleXMode);
    object.insert(QStringLiteral("scaleYMode"), dataset.scaleYMode);
    object.insert(QStringLiteral("flRefinementApplied"), dataset.flRefinementApplied);
    object.insert(QStringLiteral("ctcApplied"), dataset.ctcApplied);
    object.insert(QStringLiteral("emodApplied"), dataset.emodApplied);
    if (dataset.emodApplied && dataset.emodulusSettings)
        object.insert(QStringLiteral("emodulusSettings"), emodulusSettingsToJson(*dataset.emodulusSettings));
    if (dataset.ctcApplied && !dataset.ctcChannels.empty()) {
        QJsonArray channels;
        for (const int channel : dataset.ctcChannels)
            channels.append(channel);
        object.insert(QStringLiteral("ctcChannels"), channels);
        // A matrix that does not fit the channels is written empty: it loads as channels
        // without a matrix, never as a matrix of the wrong shape.
        const arma::uword n = dataset.ctcChannels.size();
        QJsonArray matrix;
        if (dataset.spilloverMatrix.n_rows == n && dataset.spilloverMatrix.n_cols == n) {
            for (arma::uword row = 0; row < n; ++row)
                for (arma::uword column = 0; column < n; ++column)
                    matrix.append(numberToJson(dataset.spilloverMatrix(row, column)));
        }
        object.insert(QStringLiteral("spilloverMatrix"), matrix);
    }
    object.insert(QStringLiteral("isDuplicate"), duplicateOfIndex >= 0);
    object.insert(QStringLiteral("duplicateOfIndex"), duplicateOfIndex >= 0 ? duplicateOfIndex : -1);
    const DatasetFingerprint fingerprint =
        dataset.reader ? fingerprintOf(*dataset.reader, path) : DatasetFingerprint{QFileInfo(path).size(), 0, QString()};
    object.insert(QStringLiteral("fingerprint"), fingerprintToJson(fingerprint));
    object.insert(QStringLiteral("filter"), filterToJson(dataset.filter));
    if (!dataset.groupEnabled.empty()) {
        // Sorted by id, so the same state always writes the same file.
        std::vector<std::pair<int, bool>> switches(dataset.groupEnabled.begin(), dataset.groupEnabled.end());
        std::sort(switches.begin(), switches.end());
        QJsonArray array;
        for (const auto& [id, enabled] : switches) {
            QJsonObject entry;
            entry.insert(QStringLiteral("groupId"), id);
            entry.insert(QStringLiteral("enabled"), enabled);
            array.append(entry);
        }
        object.insert(QStringLiteral("groupEnabled"), array);
    }
    return object;
}

void applyDatasetJson(DatasetEntry& dataset, const QJsonObject& object)
{
    dataset.displayName = text(object.value(QStringLiteral("displayName")));
    dataset.xFeatureName = text(object.value(QStringLiteral("xFeatureName"))).toStdString();
    dataset.yFeatureName = text(object.value(QStringLiteral("yFeatureName"))).toStdString();
    dataset.colorFeatureName = text(object.value(QStringLiteral("colorFeatureName"))).toStdString();
    dataset.currentEventIndex = intFromJson(object.value(QStringLiteral("currentEventIndex")), -1, -1, 2147483647);
    dataset.contourMode = intFromJson(object.value(QStringLiteral("contourMode")), 0, 0, 2);
    dataset.contourFraction1 = fractionFromJson(object.value(QStringLiteral("contourFraction1")), 0.1);
    dataset.contourFraction2 = fractionFromJson(object.value(QStringLiteral("contourFraction2")), 0.67);
    dataset.scaleXMode = intFromJson(object.value(QStringLiteral("scaleXMode")), 0, 0, 2);
    dataset.scaleYMode = intFromJson(object.value(QStringLiteral("scaleYMode")), 0, 0, 2);
    dataset.flRefinementApplied = object.value(QStringLiteral("flRefinementApplied")).toBool(false);
    dataset.ctcApplied = object.value(QStringLiteral("ctcApplied")).toBool(false);
    dataset.emodApplied = object.value(QStringLiteral("emodApplied")).toBool(false);
    dataset.emodulusSettings.reset();
    if (dataset.emodApplied)
        dataset.emodulusSettings = emodulusSettingsFromJson(object.value(QStringLiteral("emodulusSettings")));
    dataset.ctcChannels.clear();
    dataset.spilloverMatrix.reset();
    if (dataset.ctcApplied && object.contains(QStringLiteral("ctcChannels")) &&
        object.contains(QStringLiteral("spilloverMatrix"))) {
        for (const QJsonValue& channel : object.value(QStringLiteral("ctcChannels")).toArray())
            dataset.ctcChannels.push_back(intFromJson(channel, 0, -2147483647, 2147483647));
        const QJsonArray matrix = object.value(QStringLiteral("spilloverMatrix")).toArray();
        const auto n = static_cast<arma::uword>(dataset.ctcChannels.size());
        if (n > 0 && static_cast<arma::uword>(matrix.size()) == n * n) {
            dataset.spilloverMatrix.set_size(n, n);
            for (arma::uword row = 0; row < n; ++row)
                for (arma::uword column = 0; column < n; ++column)
                    dataset.spilloverMatrix(row, column) =
                        numberFromJson(matrix.at(static_cast<int>(row * n + column)), 0.0);
        }
    }
    dataset.filter = object.contains(QStringLiteral("filter"))
                         ? filterFromJson(object.value(QStringLiteral("filter")).toObject())
                         : [] {
                               EventFilter off;
                               off.setEnabled(false);
                               return off;
                           }();
    dataset.groupEnabled.clear();
    for (const QJsonValue& value : object.value(QStringLiteral("groupEnabled")).toArray()) {
        if (!value.isObject())
            continue;
        const QJsonObject entry = value.toObject();
        dataset.groupEnabled[intFromJson(entry.value(QStringLiteral("groupId")), 0, -2147483647, 2147483647)] =
            entry.value(QStringLiteral("enabled")).toBool(false);
    }
}

QJsonObject filterGroupToJson(const FilterGroup& group)
{
    QJsonObject object;
    object.insert(QStringLiteral("id"), group.id);
    object.insert(QStringLiteral("name"), QString::fromStdString(group.name));
    QJsonArray rules;
    for (const FilterRule& rule : group.rules)
        rules.append(filterRuleToJson(rule));
    object.insert(QStringLiteral("rules"), rules);
    return object;
}

std::vector<FilterGroup> filterGroupsFromJson(const QJsonValue& array)
{
    std::vector<FilterGroup> groups;
    for (const QJsonValue& value : array.toArray()) {
        if (!value.isObject())
            continue;
        const QJsonObject object = value.toObject();
        FilterGroup group;
        group.id = intFromJson(object.value(QStringLiteral("id")), -1, 0, sessionMaxGroupId);
        if (group.id < 0)
            continue;
        if (std::any_of(groups.begin(), groups.end(), [&group](const FilterGroup& other) { return other.id == group.id; }))
            continue;
        group.name = text(object.value(QStringLiteral("name"))).toStdString();
        for (const QJsonValue& rule : object.value(QStringLiteral("rules")).toArray()) {
            if (rule.isObject())
                group.rules.push_back(filterRuleFromJson(rule.toObject()));
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

std::optional<SessionDocument> readSessionFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Failed to read session file: ") + path;
        return std::nullopt;
    }
    if (file.size() > sessionMaxFileBytes) {
        *error = QStringLiteral("Invalid session file: %1\nThe file is larger than 64 MB.").arg(path);
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse);
    if (parse.error != QJsonParseError::NoError) {
        // The parser reports a byte offset just past the character it stopped at; a user
        // finds that character by line and column.
        const int offset = std::clamp(parse.offset - 1, 0, static_cast<int>(bytes.size()));
        const int lineStart = bytes.lastIndexOf('\n', offset - 1) + 1;
        const int line = static_cast<int>(bytes.left(offset).count('\n')) + 1;
        const int column = QString::fromUtf8(bytes.mid(lineStart, offset - lineStart)).size() + 1;
        *error = QStringLiteral("Invalid session file: %1\n%2 at line %3, column %4.")
                     .arg(path, parse.errorString())
                     .arg(line)
                     .arg(column);
        return std::nullopt;
    }
    SessionDocument session;
    if (document.isObject()) {
        session.root = document.object();
        session.version = intFromJson(session.root.value(QStringLiteral("version")), 0, 0, 2147483647);
    }
    return session;
}

bool writeSessionFile(const QString& path, const QJsonObject& root)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);
    if (file.write(bytes) != bytes.size())
        return false;
    if (writeCheck() && !writeCheck()())
        return false;
    return file.commit();
}

void setSessionWriteCheckForTesting(std::function<bool()> check)
{
    writeCheck() = std::move(check);
}

} // namespace Tervane3
