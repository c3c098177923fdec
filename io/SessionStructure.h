// The shape of a session document: every object and list the loader walks must have the
// type the saver writes, checked before a load closes anything. Scalars of the wrong type
// are not looked at here: they read as their defaults.
#pragma once

#include <QJsonObject>
#include <QString>

namespace Tervane3 {

// Empty when the document has the shape of a session file; otherwise where it does not and
// what was found there, e.g. `datasets[2].filter.rules is a string, not an array`. A missing
// key is no fault (its default applies). Checked: "mainWindow" (object); "datasets" (array of
// objects) and in each dataset "fingerprint" and "filter" (objects), the filter's "rules"
// (array of rule objects, each with "polygonVertices" an array of [x, y] arrays),
// "groupEnabled" (array of objects), "ctcChannels" and "spilloverMatrix" (arrays);
// "filterGroups" (array of objects, each with "rules" as above); "combineWindows" and
// "statEvalWindows" (arrays of objects).
QString sessionStructureProblem(const QJsonObject& root);

} // namespace Tervane3
