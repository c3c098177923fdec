// One dataset in a category of the statistical evaluation, with its replicate identifiers.
#pragma once

#include <QString>

#include <string>

namespace Tervane3 {

struct CategoryEntry
{
    int datasetId = -1;
    // The dataset's display name, kept up to date by renames.
    QString name;
    // The experiment's "sample" text when the entry was made; searched by the ID detection.
    std::string sample;
    // Replicate identifiers; 0 = not assigned, valid above 0. The technical replicate is
    // shown but takes part in no grouping.
    int numberId = 0;
    int bioRepId = 0;
    int techRepId = 0;
};

} // namespace Tervane3
