// The shape check of a session document. It walks the same objects and lists as the loader,
// so that a refused document is refused before the current session is closed.
#include "io/SessionStructure.h"

#include <QJsonArray>
#include <QJsonValue>

namespace Tervane3 {

namespace {

QString typeName(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a boolean");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("nothing");
}

QString element(const QString& path, int index)
{
    return QStringLiteral("%1[%2]").arg(path).arg(index);
}

QString member(const QString& path, const char* key)
{
    if (path.isEmpty())
        return QLatin1String(key);
    return path + QLatin1Char('.') + QLatin1String(key);
}

QString wrongType(const QString& path, const QJsonValue& value, const char* expected)
{
    return QStringLiteral("%1 is %2, not %3").arg(path, typeName(value), QLatin1String(expected));
}

// Each checker returns the first problem found, empty when there is none.

// A key that may be missing; when present it must be an object.
QString checkOptionalObject(const QJsonObject& parent, const char* key, const QString& parentPath)
{
    const QJsonValue value = parent.value(QLatin1String(key));
    if (value.isUndefined() || value.isObject())
        return QString();
    return wrongType(member(parentPath, key), value, "an object");
}

// A key that may be missing; when present an array whose elements pass `checkElement`.
template<typename ElementCheck>
QString checkOptionalArray(const QJsonObject& parent, const char* key, const QString& parentPath,
                           ElementCheck checkElement)
{
    const QJsonValue value = parent.value(QLatin1String(key));
    const QString path = member(parentPath, key);
    if (value.isUndefined())
        return QString();
    if (!value.isArray())
        return wrongType(path, value, "an array");
    const QJsonArray array = value.toArray();
    for (int i = 0; i < array.size(); ++i) {
        const QString problem = checkElement(array.at(i), element(path, i));
        if (!problem.isEmpty())
            return problem;
    }
    return QString();
}

QString anyElement(const QJsonValue&, const QString&)
{
    return QString();
}

QString plainObject(const QJsonValue& value, const QString& path)
{
    return value.isObject() ? QString() : wrongType(path, value, "an object");
}

QString vertex(const QJsonValue& value, const QString& path)
{
    // The rule reader takes the first two values of each vertex.
    if (!value.isArray())
        return wrongType(path, value, "an [x, y] pair");
    const int size = value.toArray().size();
    if (size < 2)
        return QStringLiteral("%1 has %2 value(s), not an [x, y] pair").arg(path).arg(size);
    return QString();
}

QString rule(const QJsonValue& value, const QString& path)
{
    if (!value.isObject())
        return wrongType(path, value, "an object");
    return checkOptionalArray(value.toObject(), "polygonVertices", path, vertex);
}

QString filter(const QJsonObject& dataset, const QString& datasetPath)
{
    QString problem = checkOptionalObject(dataset, "filter", datasetPath);
    if (!problem.isEmpty() || !dataset.contains(QLatin1String("filter")))
        return problem;
    return checkOptionalArray(dataset.value(QLatin1String("filter")).toObject(), "rules",
                              member(datasetPath, "filter"), rule);
}

QString dataset(const QJsonValue& value, const QString& path)
{
    if (!value.isObject())
        return wrongType(path, value, "an object");
    const QJsonObject object = value.toObject();
    for (const QString& problem : {checkOptionalObject(object, "fingerprint", path), filter(object, path),
                                   checkOptionalArray(object, "groupEnabled", path, plainObject),
                                   checkOptionalArray(object, "ctcChannels", path, anyElement),
                                   checkOptionalArray(object, "spilloverMatrix", path, anyElement)}) {
        if (!problem.isEmpty())
            return problem;
    }
    return QString();
}

QString filterGroup(const QJsonValue& value, const QString& path)
{
    if (!value.isObject())
        return wrongType(path, value, "an object");
    return checkOptionalArray(value.toObject(), "rules", path, rule);
}

} // namespace

QString sessionStructureProblem(const QJsonObject& root)
{
    const QString top;
    for (const QString& problem :
         {checkOptionalObject(root, "mainWindow", top), checkOptionalArray(root, "datasets", top, dataset),
          checkOptionalArray(root, "filterGroups", top, filterGroup),
          checkOptionalArray(root, "combineWindows", top, plainObject),
          checkOptionalArray(root, "statEvalWindows", top, plainObject)}) {
        if (!problem.isEmpty())
            return problem;
    }
    return QString();
}

} // namespace Tervane3
