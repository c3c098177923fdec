// Update check against a loopback server: version comparison, each reply kind with and
// without the silent flag, the request itself, redirects and network failures.
#include "services/IsolatedSettings.h"
#include "services/LoopbackHttpServer.h"
#include "services/ServiceEndpoints.h"
#include "services/UpdateChecker.h"
#include "support/TestSupport.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>

#include <memory>

namespace Tervane3 {
namespace {

const QByteArray documentPath = "/media/public_001/Downloads/Tervane_3/tervane3_latest.json";

// The tests spy on the network manager's finished(QNetworkReply*) to know that a reply
// was handled even when the checker stays silent.
const int replyTypeRegistered = qRegisterMetaType<QNetworkReply*>();

TEST(UpdateCheckerVersion, CurrentVersion)
{
    EXPECT_EQ(UpdateChecker::currentVersion(), QStringLiteral("3.2.97"));
}

TEST(UpdateCheckerVersion, ParseTable)
{
    struct Case {
        const char* text;
        QStringList segments;
    };
    const Case cases[] = {
        {"3.2.97", {"3", "2", "97"}},
        {"3.3.0-beta", {"3", "3", "0"}},
        {"3.2.97.1", {"3", "2", "97", "1"}},
        {"03.002.0097", {"3", "2", "97"}},
        {"0.0", {"0", "0"}},
        {"3.", {"3"}},
        {"3..4", {"3"}},
        {"3.a.4", {"3"}},
        {"12345678901234567890.1", {"12345678901234567890", "1"}},
        // No leading numeric segment: not a version number.
        {"v3.3.0", {}},
        {"V3", {}},
        {"latest", {}},
        {"", {}},
        {" 3.3", {}},
        {".3", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(UpdateChecker::parseVersion(QString::fromUtf8(c.text)), c.segments);
    }
}

TEST(UpdateCheckerVersion, CompareAgainstCurrentTable)
{
    struct Case {
        const char* published;
        int expected; // sign of compare(published, 3.2.97)
    };
    const Case cases[] = {
        {"3.2.100", 1}, // numeric, not textual ("100" < "97" as text)
        {"3.10.0", 1},  // likewise for the second segment
        {"3.2.97.1", 1},
        {"3.2.97.0", 1}, // more segments with equal common ones is newer
        {"4", 1},
        {"3.3.0-beta", 1},
        {"99999999999999999999", 1},
        {"3.2.97", 0},
        {"3.2.097", 0},
        {"3.2.97-rc1", 0},
        {"3.2.96", -1},
        {"3.2.9", -1},
        {"3.2", -1},
        {"3", -1},
        {"2.99.99", -1},
        {"0.0.0.0.1", -1},
    };
    const QStringList current = UpdateChecker::parseVersion(UpdateChecker::currentVersion());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.published);
        const QStringList published = UpdateChecker::parseVersion(QString::fromUtf8(c.published));
        const int forward = UpdateChecker::compareVersions(published, current);
        const int backward = UpdateChecker::compareVersions(current, published);
        EXPECT_EQ((forward > 0) - (forward < 0), c.expected);
        EXPECT_EQ((backward > 0) - (backward < 0), -c.expected);
    }
}

TEST(UpdateCheckerEndpoint, SettingOverridesDefault)
{
    Tervane3::Test::IsolatedSettings settings;
    const QUrl fallback = ServiceEndpoints::defaultUpdateUrl();
    EXPECT_EQ(fallback.scheme(), QStringLiteral("https"));
    EXPECT_EQ(fallback.path(), QString::fromLatin1(documentPath));
    EXPECT_EQ(ServiceEndpoints::defaultDownloadPage().path(), QStringLiteral("/downloads"));
    EXPECT_EQ(ServiceEndpoints::defaultDownloadPage().scheme(), QStringLiteral("https"));
    EXPECT_EQ(ServiceEndpoints::updateUrl(), fallback);

    struct Case {
        const char* stored;
        bool used;
    };
    const Case cases[] = {
        {"http://127.0.0.1:8080/v.json", true},
        {"https://mirror.example.org/latest.json", true},
        {"", false},
        {"   ", false},
        {"relative/path.json", false},
        {"not a url at all", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        QSettings().setValue(
            QString::fromLatin1(ServiceEndpoints::updateUrlKey), QString::fromUtf8(c.stored));
        EXPECT_EQ(
            ServiceEndpoints::updateUrl(), c.used ? QUrl(QString::fromUtf8(c.stored)) : fallback);
    }
    ServiceEndpoints::setUpdateUrl(QUrl());
    EXPECT_FALSE(QSettings().contains(QString::fromLatin1(ServiceEndpoints::updateUrlKey)));
}

// One check against the loopback server and the signals it produced.
class UpdateCheckerLoopback : public ::testing::Test {
protected:
    void SetUp() override
    {
        ServiceEndpoints::setUpdateUrl(server.url(QString::fromLatin1(documentPath)));
    }

    void serve(
        int status, const QByteArray& body, const QByteArray& contentType = "application/json")
    {
        Tervane3::Test::LoopbackHttpServer::Reply reply;
        reply.status = status;
        reply.body = body;
        reply.contentType = contentType;
        server.setReply(documentPath, reply);
    }

    // Runs one check and waits until its reply has been handled.
    void runCheck(bool silent)
    {
        auto* network = checker.findChild<QNetworkAccessManager*>();
        ASSERT_NE(network, nullptr);
        QSignalSpy handled(network, &QNetworkAccessManager::finished);
        checker.check(silent);
        ASSERT_TRUE(handled.wait(10000));
    }

    Tervane3::Test::IsolatedSettings settings;
    Tervane3::Test::LoopbackHttpServer server;
    UpdateChecker checker;
    QSignalSpy available{&checker, &UpdateChecker::updateAvailable};
    QSignalSpy upToDate{&checker, &UpdateChecker::upToDate};
    QSignalSpy failed{&checker, &UpdateChecker::checkFailed};
};

TEST_F(UpdateCheckerLoopback, ReplyTable)
{
    const QString defaultPage = ServiceEndpoints::defaultDownloadPage().toString();
    const QString unreadable
        = QStringLiteral("Could not read version information from the server.");
    const QString unrecognized
        = QStringLiteral("The server returned an unrecognized version string.");
    enum class Outcome { Available, UpToDate, Failed, Nothing };
    struct Case {
        const char* name;
        QByteArray body;
        bool silent;
        Outcome outcome;
        QStringList arguments;
    };
    const Case cases[] = {
        {"newer", R"({"version":"3.3.0","url":"https://example.org/get","notes":"Faster plots"})",
            false, Outcome::Available, {"3.3.0", "https://example.org/get", "Faster plots"}},
        {"newer silent",
            R"({"version":"3.3.0","url":"https://example.org/get","notes":"Faster plots"})", true,
            Outcome::Available, {"3.3.0", "https://example.org/get", "Faster plots"}},
        {"newer numerically, text kept as received", R"({"version":"3.10.0-beta"})", false,
            Outcome::Available, {"3.10.0-beta", defaultPage, ""}},
        {"url and notes of the wrong type", R"({"version":"4.0","url":17,"notes":["x"]})", false,
            Outcome::Available, {"4.0", defaultPage, ""}},
        {"same version", R"({"version":"3.2.97","url":"https://example.org/get"})", false,
            Outcome::UpToDate, {"3.2.97"}},
        {"same version silent", R"({"version":"3.2.97"})", true, Outcome::Nothing, {}},
        {"older version", R"({"version":"3.1.5"})", false, Outcome::UpToDate, {"3.2.97"}},
        {"word instead of version", R"({"version":"latest"})", false, Outcome::Failed,
            {unrecognized}},
        {"word instead of version silent", R"({"version":"latest"})", true, Outcome::Nothing, {}},
        {"v prefix", R"({"version":"v3.3.0"})", false, Outcome::Failed, {unrecognized}},
        {"version missing", R"({"url":"https://example.org/get"})", false, Outcome::Failed,
            {unrecognized}},
        {"version is a number", R"({"version":4})", false, Outcome::Failed, {unrecognized}},
        {"html page", "<html><body>Maintenance</body></html>", false, Outcome::Failed,
            {unreadable}},
        {"html page silent", "<html><body>Maintenance</body></html>", true, Outcome::Nothing, {}},
        {"array at top level", R"([{"version":"9.9.9"}])", false, Outcome::Failed, {unreadable}},
        {"empty body", "", false, Outcome::Failed, {unreadable}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serve(200, c.body);
        available.clear();
        upToDate.clear();
        failed.clear();
        runCheck(c.silent);
        ASSERT_EQ(available.count(), c.outcome == Outcome::Available ? 1 : 0);
        ASSERT_EQ(upToDate.count(), c.outcome == Outcome::UpToDate ? 1 : 0);
        ASSERT_EQ(failed.count(), c.outcome == Outcome::Failed ? 1 : 0);
        QSignalSpy* spy = c.outcome == Outcome::Available ? &available
            : c.outcome == Outcome::UpToDate              ? &upToDate
            : c.outcome == Outcome::Failed                ? &failed
                                                          : nullptr;
        if (!spy)
            continue;
        QStringList arguments;
        for (const QVariant& v : spy->at(0))
            arguments << v.toString();
        EXPECT_EQ(arguments, c.arguments);
    }
}

TEST_F(UpdateCheckerLoopback, RequestCarriesUserAgentAndPath)
{
    serve(200, R"({"version":"3.2.97"})");
    runCheck(false);
    ASSERT_EQ(server.requests().size(), 1);
    const auto& request = server.requests().at(0);
    EXPECT_EQ(request.method, QByteArray("GET"));
    EXPECT_EQ(request.path, documentPath);
    EXPECT_EQ(request.headers.value("user-agent"), QByteArray("Tervane3/3.2.97"));
}

TEST_F(UpdateCheckerLoopback, HttpErrorStatus)
{
    // A newer version in the body of an error page must not count.
    serve(500, R"({"version":"9.0.0"})");
    runCheck(true);
    EXPECT_EQ(available.count() + upToDate.count() + failed.count(), 0);
    runCheck(false);
    ASSERT_EQ(failed.count(), 1);
    EXPECT_FALSE(failed.at(0).at(0).toString().isEmpty());
    EXPECT_EQ(available.count(), 0);
}

TEST_F(UpdateCheckerLoopback, RedirectOnSameSchemeIsFollowed)
{
    Tervane3::Test::LoopbackHttpServer::Reply moved;
    moved.status = 302;
    moved.location = server.url(QStringLiteral("/moved.json")).toEncoded();
    server.setReply(documentPath, moved);
    Tervane3::Test::LoopbackHttpServer::Reply document;
    document.body = R"({"version":"3.4.1"})";
    server.setReply("/moved.json", document);

    QSignalSpy waitAvailable(&checker, &UpdateChecker::updateAvailable);
    checker.check(false);
    ASSERT_TRUE(waitAvailable.wait(10000));
    EXPECT_EQ(waitAvailable.at(0).at(0).toString(), QStringLiteral("3.4.1"));
    EXPECT_EQ(server.requests().size(), 2);
}

TEST_F(UpdateCheckerLoopback, EachReplyKeepsItsOwnSilentFlag)
{
    serve(200, R"({"version":"3.2.97"})");
    QSignalSpy handled(
        checker.findChild<QNetworkAccessManager*>(), &QNetworkAccessManager::finished);
    checker.check(true);
    checker.check(false);
    checker.check(true);
    for (int i = 0; i < 100 && handled.count() < 3; ++i)
        handled.wait(100);
    ASSERT_EQ(handled.count(), 3);
    EXPECT_EQ(upToDate.count(), 1);
    EXPECT_EQ(failed.count(), 0);
}

TEST(UpdateCheckerNetwork, ConnectionRefused)
{
    Tervane3::Test::IsolatedSettings settings;
    ServiceEndpoints::setUpdateUrl(
        Tervane3::Test::LoopbackHttpServer::closedPortUrl(QStringLiteral("/v.json")));
    UpdateChecker checker;
    QSignalSpy handled(
        checker.findChild<QNetworkAccessManager*>(), &QNetworkAccessManager::finished);
    QSignalSpy failed(&checker, &UpdateChecker::checkFailed);
    QSignalSpy available(&checker, &UpdateChecker::updateAvailable);
    QSignalSpy upToDate(&checker, &UpdateChecker::upToDate);

    checker.check(true);
    ASSERT_TRUE(handled.wait(10000));
    EXPECT_EQ(failed.count(), 0);

    checker.check(false);
    ASSERT_TRUE(failed.wait(10000));
    EXPECT_FALSE(failed.at(0).at(0).toString().isEmpty());
    EXPECT_EQ(available.count() + upToDate.count(), 0);
}

} // namespace
} // namespace Tervane3
