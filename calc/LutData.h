// The Young's-modulus look-up table as read from its text file: simulated (area,
// deformation) -> modulus rows plus the channel width, flow rate and viscosity of the
// simulation, taken from the file's JSON metadata block. A plain value.
#pragma once

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace Tervane3 {

// What reading a table noticed besides its rows. The caller decides where it is shown.
struct LutReadNotes
{
    // Rows dropped because one of their three numbers is "nan" or infinite.
    int nonFiniteRows = 0;
    // One sentence per problem: non-finite rows, unusable metadata values, a metadata block
    // that never ends.
    std::vector<std::string> warnings;
};

struct LutData
{
    std::vector<double> area;     // µm², one per accepted row, in file order
    std::vector<double> deform;   // deformation of each row
    std::vector<double> emodulus; // kPa
    double channelWidth = 20.0;   // µm, of the simulation
    double flowRate = 0.16;       // µL/s
    double viscosity = 1.002;     // mPa·s

    size_t rowCount() const { return area.size(); }

    // Parses the text of a table file. Rows need three finite numbers (point as decimal
    // separator, whatever the locale); a metadata value that is not a number above zero
    // leaves that simulation value at its default and adds a warning.
    static LutData parse(const QString& text, LutReadNotes* notes = nullptr);
    // Reads a table file as UTF-8 text; nothing when the file cannot be opened.
    static std::optional<LutData> readFile(const QString& path, LutReadNotes* notes = nullptr);
};

} // namespace Tervane3
