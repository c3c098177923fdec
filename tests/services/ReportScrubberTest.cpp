// Feedback reports carry no file paths or sample names: what the program knows is replaced,
// then any other absolute path and file: address; web addresses and plain words stay.
#include "services/ReportScrubber.h"

#include <gtest/gtest.h>

namespace Tervane3 {
namespace {

TEST(ReportScrubber, Table)
{
    ReportSecrets secrets;
    secrets.paths = QStringList{QStringLiteral("/data/day one/blood sample.rtdc"), QStringLiteral("/data/day one")};
    secrets.names = QStringList{QStringLiteral("blood sample.rtdc"), QStringLiteral("Donor 7"), QStringLiteral("A")};
    struct Case {
        const char* name;
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"known path with blanks", "Failed to open: /data/day one/blood sample.rtdc (truncated)",
         "Failed to open: <path> (truncated)"},
        {"known folder", "Scanning /data/day one for files", "Scanning <path> for files"},
        {"file name alone", "Opened blood sample.rtdc", "Opened <name>"},
        {"sample name", "Plot of Donor 7: 12 events", "Plot of <name>: 12 events"},
        {"a short name only as a whole word", "A and Area and A.", "<name> and Area and <name>."},
        {"unknown absolute path", "cannot read /home/lab/x.rtdc now", "cannot read <path> now"},
        {"quoted path ends at the quote", "file \"/srv/m/y.rtdc\" gone", "file \"<path>\" gone"},
        {"drive-letter path", "at C:\\Users\\lab\\m.rtdc ok", "at <path> ok"},
        {"file address", "open file:///tmp/a%20b.rtdc failed", "open <path> failed"},
        {"single component stays", "in /tmp only", "in /tmp only"},
        {"web address stays", "see https://downloads.example/x/y", "see https://downloads.example/x/y"},
        {"units stay", "0.16 uL/s at 20 um/px", "0.16 uL/s at 20 um/px"},
        {"nothing to do", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(scrubReportText(QString::fromUtf8(c.in), secrets).toStdString(), c.out);
    }
}

} // namespace
} // namespace Tervane3
