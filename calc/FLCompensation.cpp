// One pass over the events with a small dense matrix-vector product each; the inverse is
// computed once per dataset. NaN or infinite maxima of one channel make every output of
// that event non-finite (through the product), never a plausible number.
#include "calc/FLCompensation.h"

#include "calc/FluorescenceChannels.h"
#include "core/RTDCReader.h"

#include <iostream>

namespace Tervane3 {

namespace {

bool fail(std::vector<std::string>* messages, const std::string& text)
{
    std::cerr << ("FLCompensation: " + text + "\n") << std::flush;
    if (messages)
        messages->push_back(text);
    return false;
}

} // namespace

FLCompensation::FLCompensation(QObject* parent)
    : QObject(parent)
{
}

std::string FLCompensation::inputFeature(const RTDCReader& reader, int channel)
{
    const std::string refined = channelFeature(channel, "_max_rf");
    return reader.isComputedFeature(refined) ? refined : channelFeature(channel, "_max");
}

bool FLCompensation::compute(RTDCReader* reader, const std::vector<int>& channels,
                             const arma::mat& spillover, std::vector<std::string>* messages)
{
    const size_t n = channels.size();
    if (!reader || n < 2)
        return false;
    if (spillover.n_rows != n || spillover.n_cols != n)
        return fail(messages, "the spillover matrix does not match the " + std::to_string(n) + " channels");
    const size_t events = static_cast<size_t>(reader->eventCount());
    if (events == 0)
        return fail(messages, "the dataset has no events");

    arma::mat inverse;
    if (!arma::inv(inverse, spillover))
        return fail(messages, "spillover matrix is singular");

    // The reader keeps a column alive when another thread replaces it meanwhile.
    std::vector<const std::vector<double>*> inputs;
    for (int channel : channels) {
        const std::string name = inputFeature(*reader, channel);
        const std::vector<double>& column = reader->getFeature(name);
        if (column.size() < events) {
            return fail(messages, "the column " + name + " holds " + std::to_string(column.size())
                                      + " values for " + std::to_string(events) + " events");
        }
        inputs.push_back(&column);
    }

    std::vector<std::vector<double>> outputs(n, std::vector<double>(events));
    std::vector<double> x(n);
    for (size_t i = 0; i < events; ++i) {
        if (i % 256 == 0)
            emit progressChanged(static_cast<int>(i * 100 / events));
        for (size_t k = 0; k < n; ++k)
            x[k] = (*inputs[k])[i];
        for (size_t r = 0; r < n; ++r) {
            double y = 0.0;
            for (size_t k = 0; k < n; ++k)
                y += inverse(r, k) * x[k];
            outputs[r][i] = y;
        }
        if (cancelRequested.load(std::memory_order_relaxed))
            return false;
    }
    for (size_t k = 0; k < n; ++k)
        reader->setFeature(channelFeature(channels[k], "_max_ctc"), std::move(outputs[k]));
    emit progressChanged(100);
    return true;
}

} // namespace Tervane3
