// The dataset row of the combine plot window and its reorder drag.
#include "windows/CombineDatasetWidget.h"

#include "app/Prompts.h"
#include "core/RTDCReader.h"

#include <QApplication>
#include <QComboBox>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace Tervane3 {

namespace {

const QString kNormalComboSheet = QStringLiteral("QComboBox { padding: 2px 6px; min-height: 0; }");
const QString kWarningComboSheet =
    QStringLiteral("QComboBox { padding: 2px 6px; min-height: 0; background-color: #fff8e1; border: 1px solid #f9a825; }");

QComboBox* makeScaleCombo(QWidget* parent, int mode, const char* name)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->addItems({QStringLiteral("Linear"), QStringLiteral("Log"), QStringLiteral("PseudoLog")});
    combo->setStyleSheet(kNormalComboSheet);
    combo->setCurrentIndex(mode >= 0 && mode < combo->count() ? mode : 0);
    return combo;
}

QComboBox* makeFeatureCombo(QWidget* parent, const std::vector<std::string>& keys, const RTDCReader* reader,
                            const std::string& selected, const char* name)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setMinimumWidth(100);
    combo->setStyleSheet(kNormalComboSheet);
    for (const std::string& key : keys) {
        const std::string label = reader ? reader->featureLabel(key) : key;
        combo->addItem(QString::fromStdString(label), QString::fromStdString(key));
    }
    const int found = combo->findData(QString::fromStdString(selected), Qt::UserRole,
                                      Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found >= 0)
        combo->setCurrentIndex(found);
    return combo;
}

void selectKey(QComboBox* combo, const std::string& key)
{
    const int found = combo->findData(QString::fromStdString(key), Qt::UserRole,
                                      Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found >= 0)
        combo->setCurrentIndex(found);
}

} // namespace

void setLogScaleWarning(QComboBox* scaleCombo, qint64 hiddenCount)
{
    if (!scaleCombo || scaleCombo->count() < 2)
        return;
    if (hiddenCount > 0) {
        scaleCombo->setItemText(1, QStringLiteral("Log ⚠"));
        scaleCombo->setStyleSheet(kWarningComboSheet);
        scaleCombo->setToolTip(QStringLiteral("%1 point%2 with value ≤ 0 not shown (cannot be drawn on a log axis)")
                                   .arg(hiddenCount)
                                   .arg(hiddenCount == 1 ? QString() : QStringLiteral("s")));
    } else {
        scaleCombo->setItemText(1, QStringLiteral("Log"));
        scaleCombo->setStyleSheet(kNormalComboSheet);
        scaleCombo->setToolTip(QString());
    }
}

CombineDatasetWidget::CombineDatasetWidget(const CombineDatasetEntry& entry,
                                           const std::vector<std::string>& featureKeys,
                                           const RTDCReader* reader, QWidget* parent)
    : QWidget(parent)
    , id(entry.datasetId)
    , color(entry.color)
{
    setAcceptDrops(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);

    auto* top = new QHBoxLayout;
    colorButton = new QPushButton(this);
    colorButton->setObjectName(QStringLiteral("colorButton"));
    colorButton->setFixedSize(20, 20);
    applyColorStyle();
    nameLabel = new QLabel(this);
    nameLabel->setObjectName(QStringLiteral("nameLabel"));
    nameLabel->setTextFormat(Qt::PlainText);
    removeButton = new QPushButton(QStringLiteral("×"), this);
    removeButton->setObjectName(QStringLiteral("removeButton"));
    removeButton->setFixedSize(20, 24);
    removeButton->setStyleSheet(QStringLiteral(
        "QPushButton { padding: 0; min-height: 24px; min-width: 20px; max-width: 20px; font-size: 16px; "
        "color: #606468; border-radius: 4px; }"
        "QPushButton:hover { color: #d32f2f; background-color: #fde8e8; border-color: #d32f2f; }"));
    top->addWidget(colorButton);
    top->addWidget(nameLabel, 1);
    top->addWidget(removeButton);
    layout->addLayout(top);

    auto* xRow = new QHBoxLayout;
    xRow->setContentsMargins(0, 0, 0, 0);
    dragHandle = new QLabel(QStringLiteral("≡"), this);
    dragHandle->setObjectName(QStringLiteral("dragHandle"));
    dragHandle->setFixedWidth(20);
    dragHandle->setAlignment(Qt::AlignCenter);
    dragHandle->setCursor(Qt::OpenHandCursor);
    dragHandle->setToolTip(QStringLiteral("Drag to reorder"));
    dragHandle->setStyleSheet(QStringLiteral("QLabel { color: #888; font-size: 14px; }"));
    xCombo = makeFeatureCombo(this, featureKeys, reader, entry.xFeature, "xFeatureCombo");
    xScale = makeScaleCombo(this, entry.scaleXMode, "xScaleCombo");
    xRow->addWidget(dragHandle);
    xRow->addWidget(new QLabel(QStringLiteral("X:"), this));
    xRow->addWidget(xCombo, 1);
    xRow->addWidget(xScale);
    layout->addLayout(xRow);

    auto* yRow = new QHBoxLayout;
    yRow->setContentsMargins(0, 0, 0, 0);
    auto* spacer = new QWidget(this);
    spacer->setFixedWidth(dragHandle->width());
    yCombo = makeFeatureCombo(this, featureKeys, reader, entry.yFeature, "yFeatureCombo");
    yScale = makeScaleCombo(this, entry.scaleYMode, "yScaleCombo");
    yRow->addWidget(spacer);
    yRow->addWidget(new QLabel(QStringLiteral("Y:"), this));
    yRow->addWidget(yCombo, 1);
    yRow->addWidget(yScale);
    layout->addLayout(yRow);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    connect(colorButton, &QPushButton::clicked, this, &CombineDatasetWidget::onColorButtonClicked);
    connect(removeButton, &QPushButton::clicked, this, &CombineDatasetWidget::removeRequested);
    for (QComboBox* combo : {xCombo, yCombo, xScale, yScale})
        connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                &CombineDatasetWidget::settingsChanged);

    for (QWidget* child : findChildren<QWidget*>()) {
        child->setAcceptDrops(true);
        child->installEventFilter(this);
    }
}

CombineDatasetWidget::~CombineDatasetWidget() = default;

CombineDatasetEntry CombineDatasetWidget::settings() const
{
    CombineDatasetEntry entry;
    entry.datasetId = id;
    entry.xFeature = xCombo->currentData(Qt::UserRole).toString().toStdString();
    entry.yFeature = yCombo->currentData(Qt::UserRole).toString().toStdString();
    entry.color = color;
    entry.scaleXMode = xScale->currentIndex();
    entry.scaleYMode = yScale->currentIndex();
    return entry;
}

void CombineDatasetWidget::setDisplayName(const QString& name)
{
    nameLabel->setText(name);
}

void CombineDatasetWidget::setFeatures(const std::string& xKey, const std::string& yKey)
{
    const QSignalBlocker blockX(xCombo);
    const QSignalBlocker blockY(yCombo);
    selectKey(xCombo, xKey);
    selectKey(yCombo, yKey);
}

void CombineDatasetWidget::setScaleModes(int xMode, int yMode)
{
    const QSignalBlocker blockX(xScale);
    const QSignalBlocker blockY(yScale);
    if (xMode >= 0 && xMode < xScale->count())
        xScale->setCurrentIndex(xMode);
    if (yMode >= 0 && yMode < yScale->count())
        yScale->setCurrentIndex(yMode);
}

void CombineDatasetWidget::applyColorStyle()
{
    colorButton->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid #888;").arg(color.name()));
}

void CombineDatasetWidget::onColorButtonClicked()
{
    // The prompt is modal: a refresh of the window may replace this row meanwhile.
    const QPointer<CombineDatasetWidget> self(this);
    // The dialog belongs to the window: deleting this row must not delete the dialog while it runs.
    const QColor chosen = prompts().getColor(window(), color, QStringLiteral("Dataset Color"));
    if (!self || !chosen.isValid())
        return;
    color = chosen;
    applyColorStyle();
    emit settingsChanged();
}

int CombineDatasetWidget::reorderSourceId(const QMimeData* data, const QObject* source,
                                          const CombineDatasetWidget* row)
{
    const QString format = QString::fromLatin1(combineReorderMimeType);
    if (!data || !row || !source || source != row->window() || !data->hasFormat(format))
        return -1;
    bool ok = false;
    const int sourceId = QString::fromUtf8(data->data(format)).toInt(&ok, 10);
    return ok && sourceId >= 0 && sourceId != row->id ? sourceId : -1;
}

void CombineDatasetWidget::startDrag()
{
    // The drag belongs to the window, not to this row: a refresh during the drag may delete
    // the row while QDrag::exec still runs.
    QPointer<CombineDatasetWidget> self(this);
    auto* drag = new QDrag(window());
    auto* payload = new QMimeData;
    payload->setData(QString::fromLatin1(combineReorderMimeType), QByteArray::number(id));
    drag->setMimeData(payload);
    drag->exec(Qt::MoveAction);
    drag->deleteLater();
    if (self)
        self->dragHandle->setCursor(Qt::OpenHandCursor);
}

bool CombineDatasetWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == dragHandle) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                dragStartPos = mouse->pos();
                dragHandle->setCursor(Qt::ClosedHandCursor);
            }
            return false;
        }
        case QEvent::MouseButtonRelease:
            dragHandle->setCursor(Qt::OpenHandCursor);
            return false;
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if ((mouse->buttons() & Qt::LeftButton) &&
                (mouse->pos() - dragStartPos).manhattanLength() >= QApplication::startDragDistance()) {
                startDrag();
                return true;
            }
            return false;
        }
        default:
            break;
        }
    }
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (reorderSourceId(drag->mimeData(), drag->source(), this) >= 0) {
            drag->acceptProposedAction();
            return true;
        }
        return false;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        auto* child = qobject_cast<QWidget*>(watched);
        const QPoint pos = child ? child->mapTo(this, drop->pos()) : drop->pos();
        return handleDrop(drop, pos);
    }
    default:
        return false;
    }
}

void CombineDatasetWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (reorderSourceId(event->mimeData(), event->source(), this) >= 0)
        event->acceptProposedAction();
    else
        event->ignore();
}

void CombineDatasetWidget::dragMoveEvent(QDragMoveEvent* event)
{
    if (reorderSourceId(event->mimeData(), event->source(), this) >= 0)
        event->acceptProposedAction();
    else
        event->ignore();
}

void CombineDatasetWidget::dropEvent(QDropEvent* event)
{
    if (!handleDrop(event, event->pos()))
        event->ignore();
}

bool CombineDatasetWidget::handleDrop(QDropEvent* event, const QPoint& pos)
{
    const int sourceId = reorderSourceId(event->mimeData(), event->source(), this);
    if (sourceId < 0)
        return false;
    event->acceptProposedAction();
    emit dropReceived(sourceId, this, pos.y() < height() / 2);
    return true;
}

} // namespace Tervane3
