// Brightness, texture, radial-profile, spectral and focus features of each cell's image.
// Not available in this build yet: the entry point refuses with a message on the error
// stream and stores nothing. The interface is the one the main window and its
// calculation requests use.
#pragma once

#include <QObject>

#include <atomic>

#include <string>
#include <vector>

namespace Tervane3 {

class RTDCReader;

class ImageFeatures : public QObject
{
    Q_OBJECT

public:
    explicit ImageFeatures(QObject* parent = nullptr);

    // Computes the image features of every event from its image within its mask.
    bool compute(RTDCReader* reader);

    // Keys of the features compute() stores; empty while the calculator is not available.
    static std::vector<std::string> featureNames();

    // Set from any thread to stop the run in work; cleared when a run starts.
    std::atomic<bool> cancelRequested{false};

signals:
    // Percentage 0..100 of the dataset in work.
    void progressChanged(int percent);
};

} // namespace Tervane3
