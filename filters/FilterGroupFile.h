// Filter-group files (.tn3fg): JSON text with "formatVersion" 1 and "groups", one object per
// group with "name" and "rules" (rule objects as in session files). Ids and the datasets'
// switches are not stored: imported groups get new ids and start off everywhere.
//
// A file is hostile input: it is refused above 16 MiB or with more than 1000 groups, values
// of the wrong type take their defaults, and imported rules carry no propagation id.
#pragma once

#include "filters/FilterGroup.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <unordered_set>
#include <vector>

namespace Tervane3 {

constexpr qint64 kMaxFilterGroupFileBytes = 16 * 1024 * 1024;
constexpr int kMaxFilterGroupsInFile = 1000;

// The document of these groups, in this order, as indented UTF-8 JSON.
QByteArray filterGroupsDocument(const std::vector<const FilterGroup*>& groups);

struct FilterGroupFileContents
{
    // Empty when the file was read; else the text to show (the file is refused whole).
    QString error;
    // In file order, ids -1; an empty or missing name is "Imported group"; the rules
    // without propagation ids.
    std::vector<FilterGroup> groups;
};
FilterGroupFileContents readFilterGroupsDocument(const QByteArray& bytes);

// The first of base, "base (2)", "base (3)", ... that `taken` does not hold (exact,
// case-sensitive); added to `taken`.
std::string freeGroupName(const std::string& base, std::unordered_set<std::string>& taken);

} // namespace Tervane3
