// Base of the reader tests: a temporary folder for the tiny measurement files each test
// writes, and the HDF5 library's own error printing switched off, since the reader reports
// errors itself and the tests read those lines.
#pragma once

#include <H5Cpp.h>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

namespace Tervane3::Test {

class ReaderFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        H5::Exception::dontPrint();
    }
    // A file name inside the test's folder.
    std::string path(const std::string& name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }

    QTemporaryDir dir;
};

} // namespace Tervane3::Test
