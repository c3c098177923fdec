// Reader of the look-up-table text format: comment lines starting with "#", one header line
// naming the columns, whitespace-separated rows "area deformation modulus [more...]", and an
// optional metadata block between "BEGIN METADATA" and "END METADATA" whose lines, without
// their leading "#", form a JSON object.
#include "calc/LutData.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>

#include <cmath>

namespace Tervane3 {

namespace {

struct ParseState
{
    LutData data;
    LutReadNotes notes;
    QString metadataBuffer;
    bool inBlock = false;
    bool headerSeen = false;
};

bool isNonFiniteWord(const QString& field)
{
    static const QRegularExpression word(QStringLiteral("^[+-]?(nan|inf|infinity)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    return word.match(field).hasMatch();
}

// A simulation value from the metadata: a JSON number, or a text holding a number, above
// zero. Anything else would scale every modulus by zero or infinity, so it is refused.
void takeSimulationValue(const QJsonObject& object, const char* key, double& target,
                         LutReadNotes& notes)
{
    const QString name = QString::fromLatin1(key);
    if (!object.contains(name))
        return;
    const QJsonValue value = object.value(name);
    double number = std::nan("");
    if (value.isDouble()) {
        number = value.toDouble();
    } else if (value.isString()) {
        bool ok = false;
        const double converted = value.toString().trimmed().toDouble(&ok);
        if (ok)
            number = converted;
    }
    if (std::isfinite(number) && number > 0.0) {
        target = number;
        return;
    }
    notes.warnings.push_back("metadata value \"" + std::string(key)
                             + "\" is not a number above zero; the default "
                             + QString::number(target, 'g', 6).toStdString() + " is used");
}

void parseMetadataBlock(ParseState& state)
{
    static const QRegularExpression hashes(QStringLiteral("^#\\s*"),
                                           QRegularExpression::MultilineOption);
    QString text = state.metadataBuffer;
    text.remove(hashes);
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (!document.isObject())
        return;
    const QJsonObject object = document.object();
    takeSimulationValue(object, "channel_width", state.data.channelWidth, state.notes);
    takeSimulationValue(object, "flow_rate", state.data.flowRate, state.notes);
    takeSimulationValue(object, "fluid_viscosity", state.data.viscosity, state.notes);
}

void parseRow(const QString& line, ParseState& state)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList parts = line.split(blanks, Qt::SkipEmptyParts);
    if (parts.size() <= 2)
        return;
    double values[3];
    bool allConverted = true;
    bool nonFinite = false;
    for (int k = 0; k < 3; ++k) {
        bool ok = false;
        values[k] = parts[k].toDouble(&ok);
        if (!ok) {
            // An overflowing number converts to infinity with ok false.
            allConverted = false;
            nonFinite = nonFinite || std::isinf(values[k]) || isNonFiniteWord(parts[k]);
        } else if (!std::isfinite(values[k])) {
            nonFinite = true;
        }
    }
    if (nonFinite) {
        ++state.notes.nonFiniteRows;
        return;
    }
    if (!allConverted)
        return;
    state.data.area.push_back(values[0]);
    state.data.deform.push_back(values[1]);
    state.data.emodulus.push_back(values[2]);
}

void parseLine(const QString& line, ParseState& state)
{
    if (line.contains(QLatin1String("BEGIN METADATA"))) {
        state.metadataBuffer.clear();
        state.inBlock = true;
        return;
    }
    if (line.contains(QLatin1String("END METADATA"))) {
        parseMetadataBlock(state);
        state.inBlock = false;
        return;
    }
    if (state.inBlock) {
        state.metadataBuffer += line.startsWith(QLatin1Char('#')) ? line.mid(1) : line;
        state.metadataBuffer += QLatin1Char('\n');
        return;
    }
    if (line.startsWith(QLatin1Char('#')) || line.trimmed().isEmpty())
        return;
    if (!state.headerSeen
        && (line.contains(QLatin1String("area")) || line.contains(QLatin1String("deform")))) {
        state.headerSeen = true;
        return;
    }
    parseRow(line, state);
}

LutData parseStream(QTextStream& stream, LutReadNotes* notes)
{
    ParseState state;
    QString line;
    while (stream.readLineInto(&line))
        parseLine(line, state);
    if (state.notes.nonFiniteRows > 0) {
        state.notes.warnings.push_back(std::to_string(state.notes.nonFiniteRows)
                                       + " row(s) with non-finite values skipped");
    }
    if (state.inBlock)
        state.notes.warnings.push_back("metadata block without \"END METADATA\"; the lines "
                                       "after \"BEGIN METADATA\" were not read as rows");
    if (notes)
        *notes = state.notes;
    return std::move(state.data);
}

} // namespace

LutData LutData::parse(const QString& text, LutReadNotes* notes)
{
    QString copy = text;
    QTextStream stream(&copy, QIODevice::ReadOnly);
    return parseStream(stream, notes);
}

std::optional<LutData> LutData::readFile(const QString& path, LutReadNotes* notes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    return parseStream(stream, notes);
}

} // namespace Tervane3
