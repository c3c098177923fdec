// One row of a combine plot window's dataset list: colour button, name, remove button, the
// drag handle for reordering, and the x/y feature and scale choices of the dataset.
//
// Rows are thrown away and made anew on every rebuild of the list, possibly while one of
// them is inside a modal prompt or a drag (a refresh of the main window arrives then): the
// window deletes rows with deleteLater, and a row re-checks that it still exists (guarded
// pointer) after its colour prompt and after its drag.
#pragma once

#include "windows/CombineDatasetEntry.h"

#include <QPoint>
#include <QWidget>

#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QMimeData;
class QPushButton;

namespace Tervane3 {

class RTDCReader;

// The drag type of a row being reordered. The payload is the row's dataset id as decimal
// text; the drag's source object is the row's window (the drag outlives a replaced row).
inline constexpr const char* combineReorderMimeType = "application/x-combine-dataset-reorder";

// Shows or clears the "Log ⚠" warning of a scale combo for `hiddenCount` values <= 0.
void setLogScaleWarning(QComboBox* scaleCombo, qint64 hiddenCount);

class CombineDatasetWidget : public QWidget
{
    Q_OBJECT

public:
    // Feature combos list `featureKeys` in order, labelled by the reader (the key itself
    // without a reader), and select the entry's features (the first item when missing).
    CombineDatasetWidget(const CombineDatasetEntry& entry, const std::vector<std::string>& featureKeys,
                         const RTDCReader* reader, QWidget* parent = nullptr);
    ~CombineDatasetWidget() override;

    int datasetId() const { return id; }
    // The row's current choices.
    CombineDatasetEntry settings() const;
    void setDisplayName(const QString& name);

    // Select without emitting settingsChanged; a key or mode not offered leaves its combo.
    void setFeatures(const std::string& xKey, const std::string& yKey);
    void setScaleModes(int xMode, int yMode);

    QComboBox* xScaleCombo() const { return xScale; }
    QComboBox* yScaleCombo() const { return yScale; }

    // The dataset id of the row dragged onto `row`, or -1 when the drag is no reorder from
    // another row of the same window (source: the drag's source object).
    static int reorderSourceId(const QMimeData* data, const QObject* source, const CombineDatasetWidget* row);

signals:
    void settingsChanged();
    void removeRequested();
    void dropReceived(int sourceDatasetId, CombineDatasetWidget* target, bool before);

public slots:
    void onColorButtonClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void applyColorStyle();
    // Emits dropReceived for a reorder drop at `pos` (row coordinates); false when the drop
    // is not a reorder from another row.
    bool handleDrop(QDropEvent* event, const QPoint& pos);
    void startDrag();

    int id = -1;
    QColor color;
    QPoint dragStartPos;
    QPushButton* colorButton = nullptr;
    QLabel* nameLabel = nullptr;
    QPushButton* removeButton = nullptr;
    QLabel* dragHandle = nullptr;
    QComboBox* xCombo = nullptr;
    QComboBox* yCombo = nullptr;
    QComboBox* xScale = nullptr;
    QComboBox* yScale = nullptr;
};

} // namespace Tervane3
