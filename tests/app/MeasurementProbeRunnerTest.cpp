// The probe run in a child process: the real probe program's verdicts, and what becomes of a
// probe that crashes, hangs, says nothing useful or cannot be found.
#include "app/MeasurementProbeRunner.h"

#include "support/RtdcFixture.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifndef TERVANE3_PROBE_PROGRAM
#error "The test needs the probe program of the build"
#endif

using namespace Tervane3;
using namespace Tervane3::Test;

namespace {

class MeasurementProbeRunnerTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void TearDown() override { setProbeProgram(QString()); }

    // A stand-in probe program: a shell script with the given body.
    QString script(const char* name, const char* body)
    {
        const QString file = dir.filePath(QLatin1String(name));
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("#!/bin/sh\n");
        out.write(body);
        out.close();
        out.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return file;
    }

    QTemporaryDir dir;
};

TEST_F(MeasurementProbeRunnerTest, RealProbeJudgesSoundAndUnusableFiles)
{
    setProbeProgram(QStringLiteral(TERVANE3_PROBE_PROGRAM));
    // A name that a command line would have to encode: the path travels as UTF-8 bytes.
    const QString sound = dir.filePath(QStringLiteral("Probe µ ü\nname.rtdc"));
    writeCompleteFixture(sound.toStdString());
    const ProbeVerdict usable = probeMeasurementFile(sound);
    EXPECT_EQ(usable.outcome, ProbeVerdict::Outcome::Usable) << usable.reason.toStdString();
    EXPECT_EQ(usable.events, 6u);
    EXPECT_TRUE(describeProbeVerdict(sound, usable).startsWith(QStringLiteral("Probe of %1: usable (6 events, ").arg(sound)));

    writeNonHdf5File(dir.filePath(QStringLiteral("text.rtdc")).toStdString());
    const ProbeVerdict refused = probeMeasurementFile(dir.filePath(QStringLiteral("text.rtdc")));
    EXPECT_EQ(refused.outcome, ProbeVerdict::Outcome::Refused);
    EXPECT_EQ(refused.reason, QStringLiteral("It is not an HDF5 file, so it cannot be an RT-DC measurement."));
    EXPECT_EQ(refused.messages, QStringList{QStringLiteral("Error opening file: H5Fopen failed")});
}

TEST_F(MeasurementProbeRunnerTest, WhatTheChildDidBecomesTheVerdict)
{
    struct Case
    {
        const char* name;
        const char* body;
        ProbeVerdict::Outcome outcome;
        const char* reason;
    };
    const Case cases[] = {
        {"crash", "kill -SEGV $$\n", ProbeVerdict::Outcome::Refused,
         "The file is damaged: reading its structure crashed the HDF5 library."},
        {"hang", "exec sleep 30\n", ProbeVerdict::Outcome::Refused,
         "Reading the file did not finish within 0.5 s: the file is damaged in a way that makes the HDF5 "
         "library hang."},
        {"silent", "exit 0\n", ProbeVerdict::Outcome::NotRun, nullptr},
        {"verdict", "cat >/dev/null\nprintf 'events 4\\nfeatures 2\\nrefused Because.\\n'\nexit 1\n",
         ProbeVerdict::Outcome::Refused, "Because."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setProbeProgram(script(c.name, c.body));
        const ProbeVerdict verdict = probeMeasurementFile(dir.filePath(QStringLiteral("any.rtdc")), 500);
        EXPECT_EQ(verdict.outcome, c.outcome);
        if (c.reason) {
            EXPECT_EQ(verdict.reason, QString::fromUtf8(c.reason));
        }
        EXPECT_LT(verdict.milliseconds, 5000);
    }
}

TEST_F(MeasurementProbeRunnerTest, MissingProgramIsNotRun)
{
    const QString missing = dir.filePath(QStringLiteral("nowhere/tervane3-probe"));
    setProbeProgram(missing);
    const ProbeVerdict verdict = probeMeasurementFile(dir.filePath(QStringLiteral("any.rtdc")));
    EXPECT_EQ(verdict.outcome, ProbeVerdict::Outcome::NotRun);
    EXPECT_EQ(describeProbeVerdict(QStringLiteral("f.rtdc"), verdict),
              QStringLiteral("Probe of f.rtdc: not run (the probe program %1 was not found); the file is opened "
                             "unchecked")
                  .arg(missing));
    // Without a path of its own the probe is looked for beside the running executable.
    setProbeProgram(QString());
    EXPECT_TRUE(probeProgram().endsWith(QStringLiteral("/tervane3-probe")));
}

} // namespace
