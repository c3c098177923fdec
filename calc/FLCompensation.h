// Fluorescence crosstalk compensation: for every event, the channels' true maxima are
// M⁻¹ · x, where x holds the measured maxima of all channels and M is the spillover matrix
// (entry (i, k): the share of channel k's signal seen in channel i). Stores fl<N>_max_ctc.
//
// Threads: compute() runs on the calculation worker or, for the re-application of a
// restored session, on the GUI thread; never on two threads at once. cancelRequested may be
// set from any thread.
#pragma once

#include <QObject>

#include <armadillo>

#include <atomic>
#include <string>
#include <vector>

namespace Tervane3 {

class RTDCReader;

class FLCompensation : public QObject
{
    Q_OBJECT

public:
    explicit FLCompensation(QObject* parent = nullptr);

    // Compensates every event of one dataset and stores fl<N>_max_ctc for each channel, in
    // channel order. The input of channel N is fl<N>_max_rf when a refinement computed it in
    // this run of the program, else fl<N>_max. False, with nothing stored, when the reader
    // is null or has no events, there are fewer than two channels, the matrix is not n x n
    // or singular, an input column is missing or shorter than the event count, or the run
    // was cancelled. The reason goes to the standard error stream ("FLCompensation: ...")
    // and, without the prefix, to messages when given.
    bool compute(RTDCReader* reader, const std::vector<int>& channels, const arma::mat& spillover,
                 std::vector<std::string>* messages = nullptr);

    // The input column compute() reads for a channel.
    static std::string inputFeature(const RTDCReader& reader, int channel);

    // Set from any thread to stop the run in work after the event it is on. Whoever starts a
    // run clears it beforehand; compute() never does, or a stop asked for while the run was
    // being started would be lost.
    std::atomic<bool> cancelRequested{false};

signals:
    // Percentage 0..100 of the dataset in work, every 256 events and 100 at the end.
    void progressChanged(int percent);
};

} // namespace Tervane3
