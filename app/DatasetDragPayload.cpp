// The drag payload of a dataset.
#include "app/DatasetDragPayload.h"

#include <QByteArray>
#include <QMimeData>
#include <QString>

namespace Tervane3::DatasetDragPayload {

QMimeData* create(int datasetId)
{
    auto* data = new QMimeData;
    const QByteArray text = QByteArray::number(datasetId);
    data->setData(QString::fromLatin1(mimeType), text);
    data->setText(QString::fromLatin1(text));
    return data;
}

bool hasDataset(const QMimeData* data)
{
    return data && data->hasFormat(QString::fromLatin1(mimeType));
}

int datasetId(const QMimeData* data)
{
    if (!hasDataset(data))
        return -1;
    const QByteArray bytes = data->data(QString::fromLatin1(mimeType));
    // Strict: no sign, blanks or other characters that a lenient number parser would take,
    // and short enough not to overflow an int.
    if (bytes.isEmpty() || bytes.size() > 9)
        return -1;
    for (const char c : bytes) {
        if (c < '0' || c > '9')
            return -1;
    }
    return bytes.toInt();
}

} // namespace Tervane3::DatasetDragPayload
