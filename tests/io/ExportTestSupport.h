// What the export tests share: dataset entries over fixture files (reader open, metadata
// read), and probes of an exported file's HDF5 layout (types, chunks, filters, attribute
// kinds) made with the library's C interface, independent of the writer under test.
#pragma once

#include "app/DatasetEntry.h"
#include "core/Hdf5Lock.h"
#include "core/RTDCReader.h"

#include <H5Cpp.h>

#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace Tervane3::Test {

// An entry as the main window makes it: reader open, metadata read, cached.
inline std::unique_ptr<DatasetEntry> openEntry(const std::string& path, int id = 0,
                                               const QString& displayName = QString())
{
    auto entry = std::make_unique<DatasetEntry>();
    entry->id = id;
    entry->reader = std::make_shared<RTDCReader>();
    if (!entry->reader->open(path))
        return nullptr;
    entry->metadata = entry->reader->readMetadata();
    entry->filePath = path;
    entry->displayName = displayName.isEmpty() ? QString::fromStdString(entry->metadata.value("experiment", "sample"))
                                               : displayName;
    entry->featuresLoaded = true;
    return entry;
}

struct DatasetLayout
{
    bool exists = false;
    H5T_class_t typeClass = H5T_NO_CLASS;
    size_t typeSize = 0;
    bool littleEndian = false;
    bool isSigned = false;
    std::vector<hsize_t> dims;
    H5D_layout_t layout = H5D_LAYOUT_ERROR;
    std::vector<hsize_t> chunk;
    int filters = 0;
    int deflateLevel = -1; // -1: no deflate filter
};

inline DatasetLayout probeDataset(const std::string& file, const std::string& path)
{
    Hdf5Locker lock(hdf5Mutex());
    DatasetLayout out;
    H5::Exception::dontPrint();
    try {
        H5::H5File f(file, H5F_ACC_RDONLY);
        H5::DataSet set = f.openDataSet(path);
        out.exists = true;
        const hid_t type = H5Dget_type(set.getId());
        out.typeClass = H5Tget_class(type);
        out.typeSize = H5Tget_size(type);
        out.littleEndian = H5Tget_order(type) == H5T_ORDER_LE;
        out.isSigned = out.typeClass == H5T_INTEGER && H5Tget_sign(type) == H5T_SGN_2;
        H5Tclose(type);
        H5::DataSpace space = set.getSpace();
        out.dims.resize(static_cast<size_t>(space.getSimpleExtentNdims()));
        space.getSimpleExtentDims(out.dims.data());
        H5::DSetCreatPropList create = set.getCreatePlist();
        out.layout = create.getLayout();
        if (out.layout == H5D_CHUNKED) {
            out.chunk.resize(out.dims.size());
            create.getChunk(static_cast<int>(out.chunk.size()), out.chunk.data());
        }
        out.filters = create.getNfilters();
        for (int i = 0; i < out.filters; ++i) {
            unsigned flags = 0;
            size_t count = 4;
            unsigned values[4] = {0, 0, 0, 0};
            char name[64];
            unsigned config = 0;
            const H5Z_filter_t id = create.getFilter(i, flags, count, values, sizeof name, name, config);
            if (id == H5Z_FILTER_DEFLATE)
                out.deflateLevel = count > 0 ? static_cast<int>(values[0]) : 0;
        }
    } catch (const H5::Exception&) {
    }
    return out;
}

struct AttributeKind
{
    bool exists = false;
    H5T_class_t typeClass = H5T_NO_CLASS;
    bool variableString = false;
    size_t typeSize = 0;
    std::vector<hsize_t> dims; // empty: scalar
};

inline AttributeKind probeAttribute(const std::string& file, const std::string& name)
{
    Hdf5Locker lock(hdf5Mutex());
    AttributeKind out;
    H5::Exception::dontPrint();
    try {
        H5::H5File f(file, H5F_ACC_RDONLY);
        H5::Group root = f.openGroup("/");
        if (!root.attrExists(name))
            return out;
        H5::Attribute attribute = root.openAttribute(name);
        out.exists = true;
        const hid_t type = H5Aget_type(attribute.getId());
        out.typeClass = H5Tget_class(type);
        out.typeSize = H5Tget_size(type);
        out.variableString = out.typeClass == H5T_STRING && H5Tis_variable_str(type) > 0;
        H5Tclose(type);
        H5::DataSpace space = attribute.getSpace();
        out.dims.resize(static_cast<size_t>(space.getSimpleExtentNdims()));
        if (!out.dims.empty())
            space.getSimpleExtentDims(out.dims.data());
    } catch (const H5::Exception&) {
    }
    return out;
}

// Names of the members of a group, empty when it is missing.
inline std::vector<std::string> groupMembers(const std::string& file, const std::string& path)
{
    Hdf5Locker lock(hdf5Mutex());
    std::vector<std::string> names;
    H5::Exception::dontPrint();
    try {
        H5::H5File f(file, H5F_ACC_RDONLY);
        H5::Group group = f.openGroup(path);
        for (hsize_t i = 0; i < group.getNumObjs(); ++i)
            names.push_back(group.getObjnameByIdx(i));
    } catch (const H5::Exception&) {
    }
    return names;
}

} // namespace Tervane3::Test
