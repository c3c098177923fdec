// What the reader says about files it cannot use: the reason a file would not open, in plain
// words, for every kind of failure; the structure walk the probe runs before the
// application opens a file; the probe's findings and their text form.
#include "core/MeasurementProbe.h"
#include "core/RTDCReader.h"

#include "ReaderFileTest.h"
#include "support/DamagedCopy.h"
#include "support/RtdcFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace Tervane3;
using namespace Tervane3::Test;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

using RTDCReaderChecksTest = ReaderFileTest;

// Overwrites one byte of a file.
void patchByte(const std::string& file, std::size_t at, char value)
{
    std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
    bytes.seekp(static_cast<std::streamoff>(at));
    bytes.put(value);
}

std::size_t findOnce(const std::string& file, const std::string& text)
{
    const std::vector<char> bytes = readFileBytes(file);
    const std::string content(bytes.begin(), bytes.end());
    const std::size_t at = content.find(text);
    EXPECT_NE(at, std::string::npos) << text;
    EXPECT_EQ(content.find(text, at + 1), std::string::npos) << text;
    return at;
}

TEST(OpenFailureReasonTest, EachKindHasItsSentence)
{
    struct Case
    {
        const char* name;
        OpenFailureFacts facts;
        const char* reason;
    };
    OpenFailureFacts missing;
    missing.exists = false;
    OpenFailureFacts folder;
    folder.isFolder = true;
    OpenFailureFacts locked;
    locked.readable = false;
    OpenFailureFacts empty;
    OpenFailureFacts text;
    text.size = 5;
    OpenFailureFacts truncated;
    truncated.size = 4096;
    truncated.hdf5Signature = true;
    truncated.truncated = true;
    OpenFailureFacts damaged = truncated;
    damaged.truncated = false;
    const Case cases[] = {
        {"missing", missing, "The file does not exist."},
        {"folder", folder, "It is a folder, not a measurement file."},
        {"no permission", locked, "There is no permission to read the file."},
        {"empty", empty, "The file is empty (0 bytes)."},
        {"not HDF5", text, "It is not an HDF5 file, so it cannot be an RT-DC measurement."},
        {"truncated", truncated,
         "The file is truncated: it ends before the size its header records (an incomplete copy or download)."},
        {"damaged", damaged, "The file is damaged: its HDF5 header cannot be read."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(describeOpenFailure(c.facts), c.reason);
    }
}

// The reasons of real files that will not open, as the reader gives them after open().
TEST_F(RTDCReaderChecksTest, OpenFailuresNameTheirReason)
{
    writeCompleteFixture(path("complete.rtdc"));
    const std::vector<char> bytes = readFileBytes(path("complete.rtdc"));
    writeFileBytes(path("truncated.rtdc"), std::vector<char>(bytes.begin(), bytes.begin() + 3000));
    writeFileBytes(path("empty.rtdc"), {});
    writeNonHdf5File(path("text.rtdc"));
    // The signature stays, the superblock behind it is garbage.
    std::vector<char> header = bytes;
    std::fill(header.begin() + 8, header.begin() + 64, '\x5a');
    writeFileBytes(path("header.rtdc"), header);
    // A user block of 512 bytes before the signature: still recognised as HDF5.
    std::vector<char> shifted(512 + header.size(), '\0');
    std::copy(header.begin(), header.end(), shifted.begin() + 512);
    writeFileBytes(path("shifted.rtdc"), shifted);
    std::filesystem::create_directory(path("folder.rtdc"));
    struct Case
    {
        const char* file;
        const char* reason;
    };
    const Case cases[] = {
        {"missing.rtdc", "The file does not exist."},
        {"folder.rtdc", "It is a folder, not a measurement file."},
        {"empty.rtdc", "The file is empty (0 bytes)."},
        {"text.rtdc", "It is not an HDF5 file, so it cannot be an RT-DC measurement."},
        {"truncated.rtdc",
         "The file is truncated: it ends before the size its header records (an incomplete copy or download)."},
        {"header.rtdc", "The file is damaged: its HDF5 header cannot be read."},
        {"shifted.rtdc", "The file is damaged: its HDF5 header cannot be read."},
    };
    RTDCReader reader;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        CaptureStderr();
        EXPECT_FALSE(reader.open(path(c.file)));
        GetCapturedStderr();
        EXPECT_EQ(reader.openError(), c.reason);
    }
    ASSERT_TRUE(reader.open(path("complete.rtdc")));
    EXPECT_EQ(reader.openError(), "");
}

TEST_F(RTDCReaderChecksTest, SoundFileHasNoProblems)
{
    writeCompleteFixture(path("complete.rtdc"));
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path("complete.rtdc")));
    reader.readMetadata();
    CaptureStderr();
    EXPECT_EQ(reader.checkStructure(), std::vector<std::string>{});
    EXPECT_EQ(GetCapturedStderr(), "");
    // Derived traces are no stored datasets and are not looked for in the file.
    reader.addDerivedTrace("fl1_raw_rf", "fl1_raw");
    EXPECT_EQ(reader.checkStructure(), std::vector<std::string>{});
    RTDCReader closed;
    EXPECT_TRUE(closed.checkStructure().empty());
}

// Damage the probe must find without reading whole columns: a chunk index that cannot be
// read (the column itself would fail or worse when cached), and metadata that breaks off.
TEST_F(RTDCReaderChecksTest, DamagedChunkIndexAndMetadataAreFound)
{
    {
        RtdcFixture f(path("index.rtdc"));
        f.addColumn<double>("deform", {0.1, 0.2, 0.3, 0.4}, true);
        f.addColumn<double>("area_um", {1, 2, 3, 4});
    }
    // The chunk index is a version-1 B-tree: "TREE", then its node type, 1 for chunks (the
    // group's own name index is one of type 0).
    const std::string chunkTree("TREE\x01", 5);
    patchByte(path("index.rtdc"), findOnce(path("index.rtdc"), chunkTree) + 4, '\x07');
    {
        RtdcFixture f(path("metadata.rtdc"));
        f.addColumn<double>("deform", {0.1, 0.2});
        f.addDoubleAttribute("setup:flow rate", 0.06);
        f.addStringAttribute("experiment:sample", "damaged header");
    }
    // An attribute message of an unknown version: the attribute table cannot be built.
    const std::string name("setup:flow rate", sizeof("setup:flow rate"));
    patchByte(path("metadata.rtdc"), findOnce(path("metadata.rtdc"), name) - 8, '\x63');

    struct Case
    {
        const char* file;
        const char* problem;
    };
    const Case cases[] = {
        {"index.rtdc", "The feature 'deform' is damaged ("},
        {"metadata.rtdc", "The metadata broke off after 0 of 2 attributes."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        RTDCReader reader;
        CaptureStderr();
        ASSERT_TRUE(reader.open(path(c.file)));
        reader.readMetadata();
        const std::vector<std::string> problems = reader.checkStructure();
        GetCapturedStderr();
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0].rfind(c.problem, 0), 0u) << problems[0];
        // The probe refuses such a file with that sentence.
        CaptureStderr();
        const ProbeFindings findings = probeMeasurement(path(c.file));
        GetCapturedStderr();
        EXPECT_FALSE(findings.usable);
        EXPECT_EQ(findings.reason, problems[0]);
    }
}

// Catches the HDF5 library following a damaged reference of a variable-length text (it
// crashed the application now and then, and the probe only by chance): the reference is
// checked against the heap as stored, the text is refused with its reason, the other
// attributes are read, and nothing crashes. Each case damages the one heap of the file,
// which holds the sample name (object 1) as "Damaged sample".
TEST_F(RTDCReaderChecksTest, DamagedTextReferencesAreRefusedBeforeTheLibraryFollowsThem)
{
    struct Case
    {
        const char* name;
        std::size_t offset; // from the heap's signature "GCOL"
        char value;
        const char* problem;
    };
    // The heap: "GCOL", version, 3 reserved bytes, its size (8 bytes); then each object's
    // number (2 bytes), reference count (2), 4 reserved bytes, size (8) and bytes.
    const Case cases[] = {
        {"object renumbered", 16, '\x05', "its text is missing from its heap"},
        {"object longer than the text", 24, '\x30', "its length does not match its text"},
        {"object shorter than the text", 24, '\x03', "its length does not match its text"},
        {"signature", 0, 'X', "it points to no heap"},
        {"heap size beyond the file", 15, '\x7f', "its heap is damaged"},
        {"object size beyond the heap", 31, '\x01', "its heap is damaged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = path("text.rtdc");
        {
            RtdcFixture f(file);
            f.addColumn<double>("deform", {0.1, 0.2});
            f.addDoubleAttribute("setup:flow rate", 0.06);
            f.addStringAttribute("experiment:sample", "Damaged sample", StringKind::VariableUtf8);
            f.addStringAttribute("setup:medium", "fixed text", StringKind::FixedNullTerminated);
        }
        patchByte(file, findOnce(file, "GCOL") + c.offset, c.value);
        RTDCReader reader;
        ASSERT_TRUE(reader.open(file));
        std::vector<std::string> lines;
        setReaderMessageSink([&lines](const std::string& line) { lines.push_back(line); });
        CaptureStderr();
        const Metadata metadata = reader.readMetadata();
        const std::vector<std::string> problems = reader.checkStructure();
        GetCapturedStderr();
        setReaderMessageSink(nullptr);
        EXPECT_EQ(metadata.allEntries.count("experiment:sample"), 0u);
        EXPECT_EQ(metadata.value("setup", "flow rate"), "0.060000");
        EXPECT_EQ(metadata.value("setup", "medium"), "fixed text");
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0], "The metadata attribute 'experiment:sample' cannot be read (the text is damaged: "
                                   + std::string(c.problem) + ").");
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find(c.problem), std::string::npos) << lines[0];
    }
    // The same file undamaged reads whole.
    {
        RtdcFixture f(path("sound.rtdc"));
        f.addStringAttribute("experiment:sample", "Sound sample", StringKind::VariableUtf8);
        f.addStringAttribute("experiment:date", "", StringKind::VariableUtf8);
    }
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path("sound.rtdc")));
    const Metadata metadata = reader.readMetadata();
    EXPECT_EQ(metadata.value("experiment", "sample"), "Sound sample");
    EXPECT_EQ(metadata.allEntries.count("experiment:date"), 1u);
    EXPECT_EQ(reader.checkStructure(), std::vector<std::string>{});
}

TEST_F(RTDCReaderChecksTest, ProbeFindingsOfSoundAndUnopenableFiles)
{
    writeCompleteFixture(path("complete.rtdc"));
    const ProbeFindings sound = probeMeasurement(path("complete.rtdc"));
    EXPECT_TRUE(sound.usable);
    EXPECT_EQ(sound.reason, "");
    EXPECT_EQ(sound.events, 6u);
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path("complete.rtdc")));
    EXPECT_EQ(sound.features, reader.featureNames().size());

    CaptureStderr();
    const ProbeFindings missing = probeMeasurement(path("missing.rtdc"));
    GetCapturedStderr();
    EXPECT_FALSE(missing.usable);
    EXPECT_EQ(missing.reason, "The file does not exist.");
}

TEST(ProbeFindingsTextTest, RoundTripAndCutOffOutput)
{
    ProbeFindings refused;
    refused.reason = "The feature 'a' is damaged (line\nbreak).";
    refused.events = 12;
    refused.features = 3;
    refused.messages = {"Error caching features: H5Gget_info failed", "second\rline"};
    ProbeFindings usable;
    usable.usable = true;
    usable.events = 1000000;
    usable.features = 53;
    for (const ProbeFindings& original : {refused, usable}) {
        ProbeFindings back;
        ASSERT_TRUE(parseProbeFindings(formatProbeFindings(original), back));
        EXPECT_EQ(back.usable, original.usable);
        EXPECT_EQ(back.events, original.events);
        EXPECT_EQ(back.features, original.features);
        EXPECT_EQ(back.messages.size(), original.messages.size());
    }
    ProbeFindings back;
    ASSERT_TRUE(parseProbeFindings(formatProbeFindings(refused), back));
    EXPECT_EQ(back.reason, "The feature 'a' is damaged (line break).");
    EXPECT_EQ(back.messages[1], "second line");
    // A child that died before its verdict leaves no verdict line.
    EXPECT_FALSE(parseProbeFindings("message Error opening file\nevents 3\n", back));
    EXPECT_FALSE(parseProbeFindings("", back));
}

} // namespace
