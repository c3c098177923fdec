// The dataset drag payload: its MIME type and bytes, and which payloads name a dataset.
#include "app/DatasetDragPayload.h"

#include <gtest/gtest.h>

#include <QMimeData>

#include <memory>

namespace Tervane3 {
namespace {

const QString mimeType = QStringLiteral("application/x-tervane3-dataset");

TEST(DatasetDragPayloadTest, CarriesTheIdAsDecimalTextTwice)
{
    for (const int id : {0, 7, 42, 123456789}) {
        SCOPED_TRACE(id);
        std::unique_ptr<QMimeData> data(DatasetDragPayload::create(id));
        EXPECT_TRUE(data->hasFormat(mimeType));
        EXPECT_EQ(data->data(mimeType), QByteArray::number(id));
        EXPECT_TRUE(data->hasText());
        EXPECT_EQ(data->text(), QString::number(id));
        EXPECT_TRUE(DatasetDragPayload::hasDataset(data.get()));
        EXPECT_EQ(DatasetDragPayload::datasetId(data.get()), id);
    }
}

TEST(DatasetDragPayloadTest, OnlyPlainDigitsNameADataset)
{
    struct Case
    {
        const char* bytes;
        int expected;
    };
    const Case cases[] = {
        {"0", 0},        {"3", 3},           {"007", 7},    {"", -1},   {"-1", -1},
        {"+5", -1},      {" 5", -1},         {"5 ", -1},    {"5\n", -1}, {"0x1F", -1},
        {"12a", -1},     {"1.0", -1},        {"9999999999", -1}, {"\xd9\xa3", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        QMimeData data;
        data.setData(mimeType, QByteArray(c.bytes));
        EXPECT_EQ(DatasetDragPayload::datasetId(&data), c.expected);
    }
}

TEST(DatasetDragPayloadTest, PlainTextOrNothingIsNoDataset)
{
    QMimeData textOnly;
    textOnly.setText(QStringLiteral("5"));
    EXPECT_FALSE(DatasetDragPayload::hasDataset(&textOnly));
    EXPECT_EQ(DatasetDragPayload::datasetId(&textOnly), -1);
    EXPECT_FALSE(DatasetDragPayload::hasDataset(nullptr));
    EXPECT_EQ(DatasetDragPayload::datasetId(nullptr), -1);
}

} // namespace
} // namespace Tervane3
