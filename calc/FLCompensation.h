// Fluorescence crosstalk compensation (columns fl<N>_max_ctc).
// Not available in this build yet: the entry point refuses with a message on the error
// stream and stores nothing. The interface is the one the main window and its
// calculation requests use.
#pragma once

#include <QObject>

#include <armadillo>

#include <vector>

namespace Tervane3 {

class RTDCReader;

class FLCompensation : public QObject
{
    Q_OBJECT

public:
    explicit FLCompensation(QObject* parent = nullptr);

    // Removes the crosstalk between the channels through the inverse of the spillover matrix
    // and stores fl<N>_max_ctc for every channel; false for a singular or mis-sized matrix.
    bool compute(RTDCReader* reader, const std::vector<int>& channels, const arma::mat& spillover);

signals:
    // Percentage 0..100 of the dataset in work.
    void progressChanged(int percent);
};

} // namespace Tervane3
