// Filter-group files.
#include "filters/FilterGroupFile.h"

#include "core/FilterRuleJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Tervane3 {

QByteArray filterGroupsDocument(const std::vector<const FilterGroup*>& groups)
{
    QJsonArray array;
    for (const FilterGroup* group : groups) {
        QJsonArray rules;
        for (const FilterRule& rule : group->rules)
            rules.append(filterRuleToJson(rule));
        QJsonObject object;
        object.insert(QStringLiteral("name"), QString::fromStdString(group->name));
        object.insert(QStringLiteral("rules"), rules);
        array.append(object);
    }
    QJsonObject root;
    root.insert(QStringLiteral("formatVersion"), 1);
    root.insert(QStringLiteral("groups"), array);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

FilterGroupFileContents readFilterGroupsDocument(const QByteArray& bytes)
{
    FilterGroupFileContents contents;
    const QString invalid = QStringLiteral("File is not a valid filter-groups JSON: ");
    if (bytes.size() > kMaxFilterGroupFileBytes) {
        contents.error = QStringLiteral("The file is larger than 16 MiB and is not read as filter groups.");
        return contents;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        contents.error = invalid + parseError.errorString();
        return contents;
    }
    if (!document.isObject()) {
        contents.error = invalid + QStringLiteral("the top level is not an object");
        return contents;
    }
    const QJsonArray groups = document.object().value(QStringLiteral("groups")).toArray();
    if (groups.size() > kMaxFilterGroupsInFile) {
        contents.error = QStringLiteral("The file holds %1 filter groups, more than the %2 that can be imported.")
                             .arg(groups.size())
                             .arg(kMaxFilterGroupsInFile);
        return contents;
    }
    for (const QJsonValue& element : groups) {
        const QJsonObject object = element.toObject();
        FilterGroup group;
        group.name = object.value(QStringLiteral("name")).toString().toStdString();
        if (group.name.empty())
            group.name = "Imported group";
        for (const QJsonValue& rule : object.value(QStringLiteral("rules")).toArray()) {
            group.rules.push_back(filterRuleFromJson(rule.toObject()));
            group.rules.back().propagationId.clear();
        }
        contents.groups.push_back(std::move(group));
    }
    return contents;
}

std::string freeGroupName(const std::string& base, std::unordered_set<std::string>& taken)
{
    std::string candidate = base;
    for (int n = 2; taken.count(candidate) > 0; ++n)
        candidate = base + " (" + std::to_string(n) + ")";
    taken.insert(candidate);
    return candidate;
}

} // namespace Tervane3
