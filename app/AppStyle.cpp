// Palette and style sheet of the application.
#include "app/AppStyle.h"

#include "resources/Resources.h"

#include <QApplication>
#include <QColor>
#include <QStyleFactory>

namespace Tervane3 {

QPalette AppStyle::palette()
{
    QPalette p;
    const auto all = [&p](QPalette::ColorRole role, const QColor& color) {
        p.setBrush(QPalette::All, role, QBrush(color));
    };
    const QColor text(35, 38, 46);
    all(QPalette::Window, QColor(245, 246, 248));
    all(QPalette::WindowText, text);
    all(QPalette::Base, Qt::white);
    all(QPalette::AlternateBase, QColor(240, 242, 245));
    all(QPalette::ToolTipBase, QColor(255, 255, 255));
    all(QPalette::ToolTipText, text);
    all(QPalette::Text, text);
    all(QPalette::Button, QColor(238, 240, 243));
    all(QPalette::ButtonText, text);
    all(QPalette::BrightText, QColor(210, 60, 60));
    all(QPalette::Link, QColor(0, 171, 173));
    all(QPalette::Highlight, QColor(0, 171, 173));
    all(QPalette::HighlightedText, Qt::white);
    all(QPalette::Light, QColor(255, 255, 255));
    all(QPalette::Midlight, QColor(235, 237, 240));
    all(QPalette::Mid, QColor(200, 203, 208));
    all(QPalette::Dark, QColor(160, 164, 170));
    all(QPalette::Shadow, QColor(120, 124, 130));
    const QColor disabled(160, 164, 170);
    p.setBrush(QPalette::Disabled, QPalette::Text, QBrush(disabled));
    p.setBrush(QPalette::Disabled, QPalette::ButtonText, QBrush(disabled));
    p.setBrush(QPalette::Disabled, QPalette::WindowText, QBrush(disabled));
    return p;
}

QString AppStyle::styleSheet()
{
    return QStringLiteral(R"css(
QMainWindow, QDialog { background-color: #f5f6f8; }
QToolTip { background-color: #ffffff; color: #23262e; border: 1px solid #c8cbd0; padding: 4px 8px; border-radius: 4px; }
QMenuBar { background-color: #f5f6f8; border-bottom: 1px solid #dcdee2; padding: 2px 0; }
QMenuBar::item { padding: 5px 10px; border-radius: 4px; }
QMenuBar::item:selected { background-color: #e4e6ea; }
QMenu { background-color: #ffffff; border: 1px solid #d0d2d6; border-radius: 6px; padding: 4px 0; }
QMenu::item { padding: 6px 28px 6px 20px; }
QMenu::item:selected { background-color: #a6d7d5; color: #00abad; }
QMenu::separator { height: 1px; background-color: #e4e6ea; margin: 4px 12px; }
QPushButton { background-color: #eaecef; border: 1px solid #c8cbd0; border-radius: 5px; padding: 5px 14px; min-height: 20px; }
QPushButton:hover { background-color: #dfe1e5; border-color: #b0b4ba; }
QPushButton:pressed { background-color: #d0d3d8; }
QPushButton:disabled { background-color: #f0f1f3; color: #a0a4aa; border-color: #dcdee2; }
QComboBox { border: 1px solid #c8cbd0; border-radius: 5px; padding: 4px 4px 4px 8px; background-color: #ffffff; min-height: 20px; }
QComboBox:hover { border-color: #00abad; }
QComboBox::drop-down { border: none; width: 1px; }
QComboBox QAbstractItemView { background-color: #ffffff; border: 1px solid #d0d2d6; border-radius: 4px; selection-background-color: #a6d7d5; selection-color: #00abad; }
QCheckBox { spacing: 6px; }
QCheckBox::indicator { width: 16px; height: 16px; border-radius: 3px; border: 1px solid #b0b4ba; background-color: #ffffff; }
QCheckBox::indicator:checked { background-color: #00abad; border-color: #00abad; image: url(:/checkmark.svg); }
QCheckBox::indicator:hover { border-color: #00abad; }
QSpinBox, QDoubleSpinBox { border: 1px solid #c8cbd0; border-radius: 5px; padding: 2px 4px; background-color: #ffffff; min-height: 20px; }
QSpinBox:hover, QDoubleSpinBox:hover { border-color: #00abad; }
QSpinBox::up-button, QDoubleSpinBox::up-button { subcontrol-origin: border; subcontrol-position: top right; width: 20px; border-left: 1px solid #dcdee2; border-top-right-radius: 4px; background-color: #eaecef; }
QSpinBox::up-button:hover, QDoubleSpinBox::up-button:hover { background-color: #dfe1e5; }
QSpinBox::up-arrow, QDoubleSpinBox::up-arrow { image: url(:/arrow-up.svg); width: 10px; height: 10px; }
QSpinBox::down-button, QDoubleSpinBox::down-button { subcontrol-origin: border; subcontrol-position: bottom right; width: 20px; border-left: 1px solid #dcdee2; border-bottom-right-radius: 4px; background-color: #eaecef; }
QSpinBox::down-button:hover, QDoubleSpinBox::down-button:hover { background-color: #dfe1e5; }
QSpinBox::down-arrow, QDoubleSpinBox::down-arrow { image: url(:/arrow-down.svg); width: 10px; height: 10px; }
QGroupBox { font-weight: 600; border: 1px solid #dcdee2; border-radius: 6px; margin-top: 8px; padding-top: 14px; }
QGroupBox::title { subcontrol-origin: margin; left: 12px; padding: 0 4px; }
QDockWidget { font-weight: 600; titlebar-close-icon: none; }
QDockWidget::title { background-color: #eceef1; padding: 6px 10px; border-bottom: 1px solid #dcdee2; }
QTreeWidget, QListWidget { border: 1px solid #dcdee2; border-radius: 5px; background-color: #ffffff; alternate-background-color: #f8f9fa; }
QTreeWidget::item, QListWidget::item { padding: 3px 4px; }
QTreeWidget::item:selected, QListWidget::item:selected { background-color: #a6d7d5; color: #00abad; }
QHeaderView::section { background-color: #eceef1; border: none; border-right: 1px solid #dcdee2; border-bottom: 1px solid #dcdee2; padding: 5px 8px; font-weight: 600; }
QScrollBar:vertical { background-color: transparent; width: 10px; margin: 0; }
QScrollBar::handle:vertical { background-color: #c0c4ca; border-radius: 5px; min-height: 30px; }
QScrollBar::handle:vertical:hover { background-color: #a0a4aa; }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }
QScrollBar:horizontal { background-color: transparent; height: 10px; margin: 0; }
QScrollBar::handle:horizontal { background-color: #c0c4ca; border-radius: 5px; min-width: 30px; }
QScrollBar::handle:horizontal:hover { background-color: #a0a4aa; }
QScrollBar::add-line:horizontal, QScrollBar::sub-line:horizontal { width: 0; }
QSplitter::handle { background-color: #dcdee2; }
QSplitter::handle:horizontal { width: 2px; }
QSplitter::handle:vertical { height: 2px; }
QTabWidget::pane { border: 1px solid #dcdee2; border-radius: 5px; background-color: #ffffff; }
QTabBar::tab { background-color: #eaecef; border: 1px solid #dcdee2; border-bottom: none; border-top-left-radius: 5px; border-top-right-radius: 5px; padding: 6px 14px; margin-right: 2px; }
QTabBar::tab:selected { background-color: #ffffff; border-bottom: 2px solid #00abad; }
QLineEdit { border: 1px solid #c8cbd0; border-radius: 5px; padding: 4px 8px; background-color: #ffffff; min-height: 20px; }
QLineEdit:hover, QLineEdit:focus { border-color: #00abad; }
QProgressBar { border: 1px solid #dcdee2; border-radius: 5px; text-align: center; background-color: #eceef1; }
QProgressBar::chunk { background-color: #00abad; border-radius: 4px; }
)css");
}

void AppStyle::apply(QApplication& app)
{
    initResources();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(palette());
    app.setStyleSheet(styleSheet());
}

} // namespace Tervane3
