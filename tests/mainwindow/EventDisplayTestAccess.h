// Access to the main window's event display, trace plot and metadata view for tests (a
// friend of the window).
#pragma once

#include "mainwindow/MainWindow.h"

#include <QDockWidget>
#include <QSpinBox>
#include <QTableWidget>
#include <QTreeWidget>

namespace Tervane3 {

class EventDisplayTestAccess
{
public:
    static ImageViewer* imageViewer(MainWindow& w) { return w.imageViewer; }
    static TracePlot* tracePlot(MainWindow& w) { return w.tracePlot; }
    static QTableWidget* eventTable(MainWindow& w) { return w.eventDataTable; }
    static QTreeWidget* metadataTree(MainWindow& w) { return w.metadataTree; }
    static QDockWidget* metadataDock(MainWindow& w) { return w.metadataDock; }
    static QSpinBox* eventSpin(MainWindow& w) { return w.eventSpin; }
    static ScatterPlot* scatterPlot(MainWindow& w) { return w.scatterPlot; }
    static CalculationsDockWidget* calculations(MainWindow& w) { return w.calculationsPanel; }
    static std::vector<int>& plottedEventIndices(MainWindow& w) { return w.plottedEventIndices; }
    static int& activeIndex(MainWindow& w) { return w.activeIndex; }

    static void displayEvent(MainWindow& w, int index) { w.displayEvent(index); }
    static void configureTracePlot(MainWindow& w) { w.configureTracePlot(); }
    static void populateMetadataView(MainWindow& w) { w.populateMetadataView(); }
};

} // namespace Tervane3
