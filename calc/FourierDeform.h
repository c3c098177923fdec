// Deformation from the Fourier decomposition of each cell's contour.
// Not available in this build yet: the entry point refuses with a message on the error
// stream and stores nothing. The interface is the one the main window and its
// calculation requests use.
#pragma once

#include <QObject>

#include <atomic>

namespace Tervane3 {

class RTDCReader;

class FourierDeform : public QObject
{
    Q_OBJECT

public:
    explicit FourierDeform(QObject* parent = nullptr);

    // Analyses every event's contour and stores deform_odd, deform_even and deform_fc.
    bool compute(RTDCReader* reader);

    // Set from any thread to stop the run in work; cleared when a run starts.
    std::atomic<bool> cancelRequested{false};

signals:
    // Percentage 0..100 of the dataset in work.
    void progressChanged(int percent);
};

} // namespace Tervane3
