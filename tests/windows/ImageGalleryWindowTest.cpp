// The image gallery window on a stand-in host over fixture files: pages, the cutout size
// and its fallbacks, the filter, follow-active, removal, export, and the background tasks
// (coalesced renders, stale results never shown, stale automatic limits, failing tasks).
#include "app/ScriptedPrompts.h"
#include "core/PoolRun.h"
#include "support/FilterRules.h"
#include "support/RtdcFixture.h"
#include "support/StandInHost.h"
#include "windows/GalleryGridWidget.h"
#include "windows/ImageGalleryWindow.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace Tervane3 {

class ImageGalleryWindowTestAccess
{
public:
    static PoolWatcher* renderWatcher(ImageGalleryWindow& w) { return w.renderWatcher; }
    static bool busy(ImageGalleryWindow& w)
    {
        return w.renderRunning || w.autoContrastRunning || w.renderPending;
    }
    static std::pair<int, int> autoLimits(ImageGalleryWindow& w) { return {w.autoLow, w.autoHigh}; }
    static bool autoValid(ImageGalleryWindow& w) { return w.autoContrastValid; }
};

namespace {

using Access = ImageGalleryWindowTestAccess;

bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

struct Measurement
{
    int events = 10;
    int height = 20;
    int width = 30;
    std::function<int(int)> grey = [](int) { return 100; };
    std::vector<double> sizeX; // empty: no column
    std::vector<double> sizeY;
    bool positions = true;
    bool images = true;
    std::string pixelSizeText; // empty: a numeric 0.5
};

void write(const std::string& path, const Measurement& m)
{
    ::Tervane3::Test::RtdcFixture file(path);
    std::vector<double> index(static_cast<size_t>(m.events));
    for (int i = 0; i < m.events; ++i)
        index[static_cast<size_t>(i)] = i;
    file.addColumn("area_um", index);
    if (m.images) {
        std::vector<std::uint8_t> pixels;
        for (int k = 0; k < m.events; ++k)
            pixels.insert(pixels.end(), static_cast<size_t>(m.height * m.width), static_cast<std::uint8_t>(m.grey(k)));
        file.addFrames("image", pixels, static_cast<hsize_t>(m.events), static_cast<hsize_t>(m.height),
                       static_cast<hsize_t>(m.width));
    }
    if (m.positions) {
        file.addColumn("pos_x", std::vector<double>(static_cast<size_t>(m.events), m.width * 0.25));
        file.addColumn("pos_y", std::vector<double>(static_cast<size_t>(m.events), m.height * 0.25));
    }
    if (!m.sizeX.empty())
        file.addColumn("size_x", m.sizeX);
    if (!m.sizeY.empty())
        file.addColumn("size_y", m.sizeY);
    if (m.pixelSizeText.empty())
        file.addDoubleAttribute("imaging:pixel size", 0.5);
    else
        file.addStringAttribute("imaging:pixel size", m.pixelSizeText);
}

class ImageGalleryWindowTest : public ::testing::Test
{
protected:
    DatasetEntry* add(const std::string& name, const Measurement& m, const QString& display = QString())
    {
        const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
        write(path, m);
        return host.addDataset(path, display.isEmpty() ? QString::fromStdString(name) : display);
    }
    template <typename T> T* child(QWidget& w, const char* name)
    {
        return w.findChild<T*>(QString::fromLatin1(name));
    }
    QString info(ImageGalleryWindow& w) { return child<QLabel>(w, "galleryInfoLabel")->text(); }
    QString page(ImageGalleryWindow& w) { return child<QLabel>(w, "galleryPageLabel")->text(); }
    bool settle(ImageGalleryWindow& w)
    {
        return waitUntil([&] { return !Access::busy(w); });
    }
    // Event ids shown in the grid, in place order.
    std::vector<int> shownIds(ImageGalleryWindow& w)
    {
        std::vector<int> ids;
        for (QLabel* label : child<GalleryGridWidget>(w, "galleryGrid")->ids())
            if (!label->isHidden() && !label->text().isEmpty())
                ids.push_back(label->text().toInt());
        return ids;
    }
    int shownImages(ImageGalleryWindow& w)
    {
        int n = 0;
        for (QLabel* label : child<GalleryGridWidget>(w, "galleryGrid")->images())
            n += !label->isHidden() && !label->pixmap(Qt::ReturnByValue).isNull();
        return n;
    }

    QTemporaryDir dir;
    ::Tervane3::Test::StandInHost host;
    ScriptedPromptsGuard prompts;
};

TEST_F(ImageGalleryWindowTest, PagesOf250Events)
{
    Measurement m;
    m.events = 250;
    m.height = 4;
    m.width = 4;
    add("a.rtdc", m);
    ImageGalleryWindow w(&host, 0);
    ASSERT_TRUE(settle(w));
    auto* prev = child<QPushButton>(w, "galleryPrevButton");
    auto* next = child<QPushButton>(w, "galleryNextButton");
    EXPECT_EQ(page(w), QStringLiteral("1 / 3"));
    EXPECT_FALSE(prev->isEnabled());
    EXPECT_EQ(shownIds(w).size(), 100u);
    next->click();
    next->click();
    ASSERT_TRUE(settle(w));
    EXPECT_EQ(page(w), QStringLiteral("3 / 3"));
    EXPECT_FALSE(next->isEnabled());
    EXPECT_TRUE(prev->isEnabled());
    // The last page: 50 cutouts in the 10 x 10 grid, ids 200..249.
    const std::vector<int> ids = shownIds(w);
    ASSERT_EQ(ids.size(), 50u);
    EXPECT_EQ(ids.front(), 200);
    EXPECT_EQ(ids.back(), 249);
    EXPECT_EQ(child<GalleryGridWidget>(w, "galleryGrid")->columnCount(), 10);
    // A new page size starts again at page 1, here 5 x 5.
    child<QComboBox>(w, "galleryPageSizeCombo")->setCurrentIndex(0);
    ASSERT_TRUE(settle(w));
    EXPECT_EQ(page(w), QStringLiteral("1 / 10"));
    EXPECT_EQ(child<GalleryGridWidget>(w, "galleryGrid")->columnCount(), 5);
    EXPECT_EQ(shownIds(w).size(), 25u);
    // Hiding the ids renders the page again without them.
    child<QCheckBox>(w, "galleryShowIdsCheck")->setChecked(false);
    ASSERT_TRUE(settle(w));
    EXPECT_TRUE(shownIds(w).empty());
    EXPECT_EQ(shownImages(w), 25);
}

TEST_F(ImageGalleryWindowTest, CutoutSizeAndItsFallbacks)
{
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> sizeX(100);
    for (int i = 0; i < 100; ++i)
        sizeX[static_cast<size_t>(i)] = i + 1;
    struct Case {
        const char* name;
        std::vector<double> sizeX;
        std::vector<double> sizeY;
        std::string pixelSize;
        bool images;
        const char* expected;
    };
    const Case cases[] = {
        // 99th percentile of 1..100 um is 99: 198 px + 2 x 5; 10 um: 20 + 10.
        {"sizes at 0.5 um/px", sizeX, std::vector<double>(100, 10.0), "", true, "100 events \u00B7 cutout 208 \u00D7 30 px"},
        {"no size columns: the image", {}, {}, "", true, "100 events \u00B7 cutout 30 \u00D7 20 px"},
        {"non-finite sizes: the image", std::vector<double>(100, inf), std::vector<double>(100, NAN), "", true,
         "100 events \u00B7 cutout 30 \u00D7 20 px"},
        // A pixel size that is no number or zero counts as 0.34 um/px: 10 / 0.34 -> 30 + 10.
        {"text pixel size", std::vector<double>(100, 10.0), std::vector<double>(100, 10.0), "abc", true,
         "100 events \u00B7 cutout 40 \u00D7 40 px"},
        {"zero pixel size", std::vector<double>(100, 10.0), std::vector<double>(100, 10.0), "0", true,
         "100 events \u00B7 cutout 40 \u00D7 40 px"},
        {"no sizes, no images", {}, {}, "", false, "100 events \u00B7 cutout 64 \u00D7 64 px"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Measurement m;
        m.events = 100;
        m.sizeX = c.sizeX;
        m.sizeY = c.sizeY;
        m.pixelSizeText = c.pixelSize;
        m.images = c.images;
        DatasetEntry* entry = add("size" + std::to_string(n++) + ".rtdc", m);
        ASSERT_NE(entry, nullptr);
        ImageGalleryWindow w(&host, entry->id);
        ASSERT_TRUE(settle(w));
        EXPECT_EQ(info(w), QString::fromUtf8(c.expected));
        EXPECT_EQ(shownImages(w), c.images ? 100 : 0);
    }
}

TEST_F(ImageGalleryWindowTest, EventsFollowTheFilterAndItsSwitch)
{
    Measurement m;
    m.events = 30;
    DatasetEntry* entry = add("f.rtdc", m);
    host.groupRules[entry->id] = {rangeRule("area_um", 10, 14)};
    ImageGalleryWindow w(&host, entry->id);
    ASSERT_TRUE(settle(w));
    EXPECT_EQ(shownIds(w), (std::vector<int>{10, 11, 12, 13, 14}));
    entry->filter.setEnabled(false);
    w.refresh();
    ASSERT_TRUE(settle(w));
    EXPECT_EQ(shownIds(w).size(), 30u);
    // A filter that passes nothing: no events, no page.
    entry->filter.setEnabled(true);
    entry->filter.addRule(rangeRule("area_um", 100, 200));
    w.refresh();
    ASSERT_TRUE(settle(w));
    EXPECT_EQ(info(w), QStringLiteral("No events to display."));
    EXPECT_EQ(page(w), QStringLiteral("0 / 0"));
    EXPECT_EQ(shownImages(w), 0);
}

TEST_F(ImageGalleryWindowTest, FollowActiveRenameAndRemoval)
{
    Measurement m;
    DatasetEntry* a = add("a.rtdc", m, QStringLiteral("A"));
    DatasetEntry* b = add("b.rtdc", m, QStringLiteral("B"));
    ImageGalleryWindow first(&host, a->id);
    ImageGalleryWindow second(&host, b->id);
    auto* name = child<QLabel>(first, "galleryNameLabel");
    EXPECT_EQ(name->text(), QStringLiteral("A"));
    first.onActiveDatasetChanged(b->id);
    EXPECT_EQ(first.shownDatasetId(), a->id);
    host.activeId = b->id;
    child<QCheckBox>(first, "galleryFollowActiveCheck")->setChecked(true);
    EXPECT_EQ(first.shownDatasetId(), b->id);
    first.onActiveDatasetChanged(a->id);
    EXPECT_EQ(first.shownDatasetId(), a->id);
    first.renameDataset(a->id, QStringLiteral("A renamed"));
    EXPECT_EQ(name->text(), QStringLiteral("A renamed"));
    second.renameDataset(a->id, QStringLiteral("no"));
    EXPECT_EQ(child<QLabel>(second, "galleryNameLabel")->text(), QStringLiteral("B"));

    // Removing a dataset closes only the gallery that shows it.
    QSignalSpy firstClosed(&first, &ImageGalleryWindow::windowClosed);
    QSignalSpy secondClosed(&second, &ImageGalleryWindow::windowClosed);
    first.removeDataset(a->id);
    second.removeDataset(a->id);
    EXPECT_EQ(firstClosed.count(), 1);
    EXPECT_EQ(secondClosed.count(), 0);

    // A dataset that is gone.
    ImageGalleryWindow lost(&host, 42);
    EXPECT_EQ(child<QLabel>(lost, "galleryNameLabel")->text(), QStringLiteral("(dataset not found)"));
    EXPECT_EQ(info(lost), QStringLiteral("No events to display."));
}

TEST_F(ImageGalleryWindowTest, ManualContrastAndPageLimits)
{
    Measurement m;
    DatasetEntry* entry = add("c.rtdc", m);
    ImageGalleryWindow w(&host, entry->id);
    ASSERT_TRUE(settle(w));
    child<QComboBox>(w, "galleryContrastCombo")->setCurrentIndex(2);
    auto* lo = child<QSpinBox>(w, "galleryLowSpin");
    auto* hi = child<QSpinBox>(w, "galleryHighSpin");
    EXPECT_TRUE(lo->isEnabled());
    hi->setValue(150);
    lo->setValue(200);
    EXPECT_EQ(hi->value(), 201);

    // A page of more than 64 million pixels is not rendered.
    child<QCheckBox>(w, "galleryAutoCutoutCheck")->setChecked(false);
    child<QComboBox>(w, "galleryPageSizeCombo")->setCurrentIndex(2);
    child<QSpinBox>(w, "galleryWidthSpin")->setValue(1024);
    child<QSpinBox>(w, "galleryHeightSpin")->setValue(1024);
    ASSERT_TRUE(settle(w));
    EXPECT_EQ(info(w), QStringLiteral("Page too large: choose fewer events per page or a smaller cutout."));
    EXPECT_EQ(shownImages(w), 0);
}

TEST_F(ImageGalleryWindowTest, ExportNameAndFailure)
{
    Measurement m;
    m.events = 300;
    m.height = m.width = 4;
    DatasetEntry* entry = add("e.rtdc", m, QStringLiteral("S1"));
    ImageGalleryWindow w(&host, entry->id);
    ASSERT_TRUE(settle(w));
    child<QPushButton>(w, "galleryNextButton")->click();
    child<QPushButton>(w, "galleryNextButton")->click();
    ASSERT_TRUE(settle(w));
    // A folder that cannot exist: a regular file stands in its place.
    const QString blocker = dir.filePath(QStringLiteral("blocker"));
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    prompts->answerFiles({blocker + QStringLiteral("/page")});
    child<QPushButton>(w, "galleryExportButton")->click();
    ASSERT_GE(prompts->calls().size(), 2u);
    EXPECT_EQ(prompts->calls().at(0).title, QStringLiteral("Export Gallery Page"));
    EXPECT_EQ(prompts->calls().at(0).text, QStringLiteral("gallery_S1_p3.png"));
    EXPECT_EQ(prompts->last()->title, QStringLiteral("Export failed"));
    EXPECT_EQ(prompts->last()->text, QStringLiteral("Could not write PNG to:\n") + blocker + QStringLiteral("/page.png"));

    prompts->clear();
    const QString good = dir.filePath(QStringLiteral("page"));
    prompts->answerFiles({good});
    child<QPushButton>(w, "galleryExportButton")->click();
    EXPECT_EQ(prompts->count(ScriptedPrompts::Kind::Message), 0);
    QImage written(good + QStringLiteral(".png"));
    EXPECT_FALSE(written.isNull());
}

// Renders through a seam that holds each call until released, and counts the calls.
struct HeldRenders
{
    std::atomic<int> started{0};
    std::atomic<int> released{0};
    std::atomic<bool> throwFirst{false};

    ImageGalleryWindow::RenderFunction function()
    {
        return [this](GalleryRenderInput input, std::shared_ptr<RTDCReader> reader,
                      std::shared_ptr<std::atomic<bool>> stop) {
            const int call = ++started;
            while (released.load() < call)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (call == 1 && throwFirst)
                throw std::runtime_error("render failed");
            GalleryRenderResult result = renderGalleryPage(std::move(input), std::move(reader), std::move(stop));
            // The first render marks its cells, so a test sees whether it was ever shown.
            if (call == 1)
                for (GalleryCell& cell : result.cells)
                    cell.eventIndex += 100000;
            return result;
        };
    }
};

// Makes the gallery follow `entry` as the active dataset and waits until its first render is
// held by `held`.
bool startHeldRender(ImageGalleryWindow& w, HeldRenders& held, const DatasetEntry& entry,
                     ::Tervane3::Test::StandInHost& host)
{
    w.setRenderFunction(held.function());
    host.activeId = entry.id;
    w.findChild<QCheckBox*>(QStringLiteral("galleryFollowActiveCheck"))->setChecked(true);
    return waitUntil([&] { return held.started == 1; });
}

TEST_F(ImageGalleryWindowTest, RequestsDuringARenderGiveOneMoreAndTheFirstIsNeverShown)
{
    Measurement m;
    DatasetEntry* entry = add("r.rtdc", m);
    ImageGalleryWindow w(&host, -1);
    HeldRenders held;
    ASSERT_TRUE(startHeldRender(w, held, *entry, host));
    EXPECT_EQ(info(w), QStringLiteral("Rendering\u2026"));
    auto* ids = child<QCheckBox>(w, "galleryShowIdsCheck");
    for (int i = 0; i < 5; ++i)
        ids->setChecked(!ids->isChecked()); // five requests; ends unchecked
    ids->setChecked(true);                   // a sixth, leaving ids on
    held.released = 1;
    ASSERT_TRUE(waitUntil([&] { return held.started == 2; }));
    // The first result arrived meanwhile and was dropped.
    EXPECT_TRUE(shownIds(w).empty());
    held.released = 2;
    ASSERT_TRUE(settle(w));
    EXPECT_EQ(held.started, 2);
    const std::vector<int> shown = shownIds(w);
    ASSERT_EQ(shown.size(), 10u);
    EXPECT_EQ(shown.front(), 0);
}

TEST_F(ImageGalleryWindowTest, ClearedGridDropsTheRenderInFlight)
{
    // Regression: a render started for the old event list used to be shown after the list
    // had been emptied (a filter passing nothing).
    Measurement m;
    DatasetEntry* entry = add("g.rtdc", m);
    ImageGalleryWindow w(&host, -1);
    HeldRenders held;
    ASSERT_TRUE(startHeldRender(w, held, *entry, host));
    entry->filter.addRule(rangeRule("area_um", 100, 200));
    w.refresh();
    held.released = 1;
    ASSERT_TRUE(settle(w));
    EXPECT_EQ(held.started, 1);
    EXPECT_EQ(shownImages(w), 0);
    EXPECT_EQ(info(w), QStringLiteral("No events to display."));
}

TEST_F(ImageGalleryWindowTest, AutomaticLimitsBelongToTheShownDataset)
{
    // Regression: after a follow-active switch the automatic limits of the old dataset were
    // taken for the new one when its task was still running.
    Measurement dark;
    dark.grey = [](int k) { return k < 5 ? 50 : 200; };
    Measurement grey;
    grey.grey = [](int) { return 100; };
    DatasetEntry* a = add("dark.rtdc", dark);
    DatasetEntry* b = add("grey.rtdc", grey);
    ImageGalleryWindow w(&host, a->id);
    ASSERT_TRUE(settle(w));
    child<QCheckBox>(w, "galleryFollowActiveCheck")->setChecked(true);
    child<QComboBox>(w, "galleryContrastCombo")->setCurrentIndex(1); // starts the task for A
    w.onActiveDatasetChanged(b->id);                                  // before its result arrives
    ASSERT_TRUE(settle(w));
    ASSERT_TRUE(Access::autoValid(w));
    EXPECT_EQ(Access::autoLimits(w), std::make_pair(100, 101));
    EXPECT_EQ(child<QSpinBox>(w, "galleryLowSpin")->value(), 100);
    w.onActiveDatasetChanged(a->id);
    ASSERT_TRUE(settle(w));
    EXPECT_EQ(Access::autoLimits(w), std::make_pair(50, 200));
    // Manual starts from the automatic range.
    child<QComboBox>(w, "galleryContrastCombo")->setCurrentIndex(2);
    EXPECT_EQ(child<QSpinBox>(w, "galleryHighSpin")->value(), 200);
}

TEST_F(ImageGalleryWindowTest, FailedRenderKeepsTheWindowUsable)
{
    Measurement m;
    DatasetEntry* entry = add("x.rtdc", m);
    ImageGalleryWindow w(&host, -1);
    HeldRenders held;
    held.throwFirst = true;
    ASSERT_TRUE(startHeldRender(w, held, *entry, host));
    child<QCheckBox>(w, "galleryShowIdsCheck")->setChecked(false); // a pending request
    // The failure is taken by hand here; in the program it reaches the central handler.
    auto* watcher = Access::renderWatcher(w);
    watcher->blockSignals(true);
    held.released = 1;
    watcher->wait();
    EXPECT_ANY_THROW(w.onPageRenderFinished());
    watcher->blockSignals(false);
    // The pending request ran as the next render.
    ASSERT_TRUE(waitUntil([&] { return held.started == 2; }));
    held.released = 2;
    ASSERT_TRUE(settle(w));
    EXPECT_EQ(shownImages(w), 10);
}

TEST_F(ImageGalleryWindowTest, ClosingAfterAFailedRenderDoesNotThrow)
{
    Measurement m;
    DatasetEntry* entry = add("y.rtdc", m);
    auto w = std::make_unique<ImageGalleryWindow>(&host, -1);
    HeldRenders held;
    held.throwFirst = true;
    w->setRenderFunction(held.function());
    host.activeId = entry->id;
    child<QCheckBox>(*w, "galleryFollowActiveCheck")->setChecked(true);
    ASSERT_TRUE(waitUntil([&] { return held.started == 1; }));
    Access::renderWatcher(*w)->blockSignals(true);
    held.released = 1;
    EXPECT_NO_THROW(w->close());
    EXPECT_NO_THROW(w.reset());
}

TEST_F(ImageGalleryWindowTest, ClosingStopsARunningRender)
{
    Measurement m;
    m.events = 400;
    m.height = m.width = 4;
    DatasetEntry* entry = add("big.rtdc", m);
    auto w = std::make_unique<ImageGalleryWindow>(&host, -1);
    HeldRenders held;
    w->setRenderFunction(held.function());
    host.activeId = entry->id;
    child<QCheckBox>(*w, "galleryFollowActiveCheck")->setChecked(true);
    ASSERT_TRUE(waitUntil([&] { return held.started == 1; }));
    held.released = 100;
    w->close();
    EXPECT_FALSE(Access::renderWatcher(*w)->isRunning());
    EXPECT_EQ(held.started, 1);
    w.reset();
    QCoreApplication::processEvents();
}

} // namespace
} // namespace Tervane3
