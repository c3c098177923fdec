// An exported .rtdc file as an independent reader sees it: h5py, run by Debian's own python3,
// describes every dataset and attribute, which must match the instrument layout and the
// source's values read through our reader. Skipped with a message where python3 or h5py
// is missing.
#include "ExportTestSupport.h"
#include "app/ScriptedPrompts.h"
#include "io/EventExport.h"
#include "support/RtdcFixture.h"
#include "support/RuleBuilders.h"
#include "support/StandInHost.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>

namespace Tervane3 {
namespace fx = ::Tervane3::Test;
namespace {

std::vector<double> numbers(const QJsonValue& value)
{
    std::vector<double> out;
    for (const QJsonValue& v : value.toArray())
        out.push_back(v.isDouble() ? v.toDouble() : std::nan(""));
    return out;
}

std::vector<qint64> dims(const QJsonValue& value)
{
    std::vector<qint64> out;
    for (const QJsonValue& v : value.toArray())
        out.push_back(static_cast<qint64>(v.toDouble()));
    return out;
}

TEST(RtdcExportH5pyTest, IndependentReaderSeesTheInstrumentLayout)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string source = dir.filePath(QStringLiteral("source.rtdc")).toStdString();
    fx::writeCompleteFixture(source);
    fx::StandInHost host;
    host.entries.push_back(fx::openEntry(source, 0, QStringLiteral("renamed")));
    ASSERT_TRUE(host.entries[0]);
    DatasetEntry& entry = *host.entries[0];
    entry.filter.addRule(fx::rangeRule("deform", 0.015, 0.045)); // events 1, 2, 3

    ExportOptions options;
    options.features = {"deform", "area_um", "frame", "fl2_max"};
    options.images = options.masks = options.traces = true;
    ScriptedPromptsGuard prompts;
    ASSERT_TRUE(EventExporter(host, nullptr).exportDataset(entry, options));
    const QString exported = dir.filePath(QStringLiteral("TN3export_source.rtdc"));

    QProcess python;
    python.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"),
                                             QStringLiteral("PATH=$(getconf PATH) exec python3 \"$0\" \"$1\""),
                                             QStringLiteral(TERVANE3_DESCRIBE_SCRIPT), exported});
    ASSERT_TRUE(python.waitForFinished(60000));
    const QByteArray output = python.readAllStandardOutput();
    if (python.exitCode() == 127 || python.exitCode() == 77)
        GTEST_SKIP() << "Debian's python3 with h5py is needed: " << output.toStdString()
                     << python.readAllStandardError().toStdString();
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QJsonObject description = QJsonDocument::fromJson(output).object();
    const QJsonObject datasets = description.value(QStringLiteral("datasets")).toObject();
    const QJsonObject attributes = description.value(QStringLiteral("attributes")).toObject();
    const std::vector<int> selection = {1, 2, 3};

    // Scalars: float64, contiguous, uncompressed, the source's values ("frame" too).
    for (const std::string& name : options.features) {
        SCOPED_TRACE(name);
        const QJsonObject set = datasets.value(QString::fromStdString("/events/" + name)).toObject();
        EXPECT_EQ(set.value(QStringLiteral("dtype")).toString().toStdString(), "<f8");
        EXPECT_EQ(dims(set.value(QStringLiteral("shape"))), (std::vector<qint64>{3}));
        EXPECT_TRUE(set.value(QStringLiteral("chunks")).isNull());
        EXPECT_TRUE(set.value(QStringLiteral("compression")).isNull());
        const std::vector<double>& column = entry.reader->getFeature(name);
        std::vector<double> expected;
        for (int i : selection)
            expected.push_back(column[static_cast<size_t>(i)]);
        EXPECT_EQ(numbers(set.value(QStringLiteral("values"))), expected);
    }
    // Per-event data: one chunk per event, gzip level 4.
    struct PerEvent
    {
        const char* path;
        const char* dtype;
        std::vector<qint64> shape;
        std::vector<qint64> chunks;
    };
    const PerEvent perEvent[] = {
        {"/events/image", "|u1", {3, 4, 5}, {1, 4, 5}},
        {"/events/mask", "|u1", {3, 4, 5}, {1, 4, 5}},
        {"/events/trace/fl1_raw", "<f4", {3, 8}, {1, 8}},
        {"/events/trace/fl1_median", "<f4", {3, 8}, {1, 8}},
        {"/events/trace/fl2_raw", "<f4", {3, 8}, {1, 8}},
    };
    for (const PerEvent& p : perEvent) {
        SCOPED_TRACE(p.path);
        const QJsonObject set = datasets.value(QLatin1String(p.path)).toObject();
        EXPECT_EQ(set.value(QStringLiteral("dtype")).toString().toStdString(), p.dtype);
        EXPECT_EQ(dims(set.value(QStringLiteral("shape"))), p.shape);
        EXPECT_EQ(dims(set.value(QStringLiteral("chunks"))), p.chunks);
        EXPECT_EQ(set.value(QStringLiteral("compression")).toString().toStdString(), "gzip");
        EXPECT_EQ(set.value(QStringLiteral("level")).toInt(), 4);
    }
    // Pixels and samples as the source has them (image (e, r, c) = 20 e + 5 r + c).
    const std::vector<double> pixels = numbers(datasets.value(QStringLiteral("/events/image")).toObject().value(QStringLiteral("values")));
    ASSERT_EQ(pixels.size(), 60u);
    EXPECT_EQ(pixels[0], 20.0);
    EXPECT_EQ(pixels[59], 20.0 * 3 + 5 * 3 + 4);
    const std::vector<double> raw = numbers(datasets.value(QStringLiteral("/events/trace/fl1_raw")).toObject().value(QStringLiteral("values")));
    ASSERT_EQ(raw.size(), 24u);
    EXPECT_EQ(raw[0], 100.0 * 1 - 50);
    EXPECT_EQ(raw[23], 100.0 * 3 + 7 - 50);

    // Metadata: variable-length strings; the stored polygon float32 N x 2.
    for (const auto& [name, text] : entry.metadata.allEntries) {
        SCOPED_TRACE(name);
        const QJsonObject attribute = attributes.value(QString::fromStdString(name)).toObject();
        if (name == "online_filter:area_um,deform polygon points") {
            EXPECT_EQ(attribute.value(QStringLiteral("kind")).toString().toStdString(), "<f4");
            EXPECT_EQ(dims(attribute.value(QStringLiteral("shape"))), (std::vector<qint64>{3, 2}));
            continue;
        }
        EXPECT_EQ(attribute.value(QStringLiteral("kind")).toString().toStdString(), "vlen-str");
        EXPECT_TRUE(dims(attribute.value(QStringLiteral("shape"))).empty());
        EXPECT_EQ(attribute.value(QStringLiteral("value")).toString().toStdString(), text);
    }
    EXPECT_EQ(attributes.value(QStringLiteral("export:event count")).toObject().value(QStringLiteral("value")).toString(),
              QStringLiteral("3"));
    EXPECT_EQ(attributes.value(QStringLiteral("export:changed sample name")).toObject().value(QStringLiteral("value")).toString(),
              QStringLiteral("renamed"));
    EXPECT_EQ(attributes.value(QStringLiteral("offline_filter:deform min")).toObject().value(QStringLiteral("value")).toString(),
              QStringLiteral("0.015000"));
}

} // namespace
} // namespace Tervane3
