// The TSV table of an export (see TsvEventWriter.h). Rows are formatted in blocks on worker
// threads (std::to_chars, no locale) and written in order from the calling thread.
#include "io/TsvEventWriter.h"

#include "core/Metadata.h"
#include "core/ParallelFor.h"
#include "core/RTDCReader.h"
#include "io/ExportNaming.h"

#include <QDate>
#include <QFile>

#include <charconv>

namespace Tervane3 {

std::string escapeTsvComment(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out;
}

namespace {

constexpr size_t kRowsPerBlock = 2048;

// Appends the rows [begin, end) of the selection to out.
void formatRows(std::string& out, const std::vector<const std::vector<double>*>& columns,
                const std::vector<int>& selection, size_t begin, size_t end)
{
    char number[32];
    for (size_t row = begin; row < end; ++row) {
        const int index = selection[row];
        for (size_t c = 0; c < columns.size(); ++c) {
            if (c > 0)
                out += '\t';
            const std::vector<double>& column = *columns[c];
            if (index < 0 || static_cast<size_t>(index) >= column.size())
                continue;
            const auto result = std::to_chars(number, number + sizeof number,
                                              column[static_cast<size_t>(index)],
                                              std::chars_format::general, 17);
            out.append(number, result.ptr);
        }
        out += '\n';
    }
}

bool writeAll(QFile& file, const std::string& text)
{
    return file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
}

} // namespace

TsvWriteResult writeEventsTsv(const QString& path, const RTDCReader& reader, const Metadata& metadata,
                              const QString& displayName, const std::vector<std::string>& features,
                              const std::vector<int>& selection)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return TsvWriteResult::OpenFailed;

    std::string head = "# Tervane3 TSV Export\n";
    head += "# export:date = " + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")).toStdString() + "\n";
    head += "# export:event count = " + std::to_string(selection.size()) + "\n";
    const std::string changed = changedSampleName(metadata, displayName);
    if (!changed.empty())
        head += "# export:changed sample name = " + escapeTsvComment(changed) + "\n";
    for (const auto& [name, value] : metadata.allEntries)
        head += "# " + escapeTsvComment(name) + " = " + escapeTsvComment(value) + "\n";
    head += "#\n";
    std::vector<const std::vector<double>*> columns;
    for (size_t i = 0; i < features.size(); ++i) {
        if (i > 0)
            head += '\t';
        head += escapeTsvComment(reader.featureLabel(features[i]));
        columns.push_back(&reader.getFeature(features[i]));
    }
    head += '\n';
    if (!writeAll(file, head))
        return TsvWriteResult::WriteFailed;

    // A round of blocks is formatted in parallel, then written in order.
    const size_t blocksPerRound = static_cast<size_t>(workerThreadCount()) * 2;
    std::vector<std::string> blocks(blocksPerRound);
    for (size_t first = 0; first < selection.size(); first += blocksPerRound * kRowsPerBlock) {
        const size_t rows = std::min(selection.size() - first, blocksPerRound * kRowsPerBlock);
        const size_t count = (rows + kRowsPerBlock - 1) / kRowsPerBlock;
        parallelFor(count, 1, [&](size_t begin, size_t end) {
            for (size_t b = begin; b < end; ++b) {
                blocks[b].clear();
                const size_t from = first + b * kRowsPerBlock;
                formatRows(blocks[b], columns, selection, from, std::min(from + kRowsPerBlock, first + rows));
            }
        });
        for (size_t b = 0; b < count; ++b) {
            if (!writeAll(file, blocks[b]))
                return TsvWriteResult::WriteFailed;
        }
    }
    if (!file.flush())
        return TsvWriteResult::WriteFailed;
    file.close();
    return file.error() == QFileDevice::NoError ? TsvWriteResult::Written : TsvWriteResult::WriteFailed;
}

} // namespace Tervane3
