// Metadata of the .rtdc reader: the root attributes as texts, filed by section, the stored
// polygon filters, and the instrument flag that selects instrument-specific labels.
#include "core/RTDCReader.h"

#include "core/Hdf5Lock.h"
#include "core/RTDCReaderPrivate.h"

#include <cstring>
#include <exception>
#include <fstream>
#include <functional>
#include <mutex>

namespace Tervane3 {

using namespace Hdf5Detail;

namespace {

const char polygonEnding[] = " polygon points";
constexpr std::size_t polygonEndingLength = sizeof(polygonEnding) - 1; // 15

// Owns an HDF5 type id made with the C interface.
struct TypeId
{
    hid_t id;
    explicit TypeId(hid_t value) : id(value) {}
    ~TypeId()
    {
        if (id >= 0)
            H5Tclose(id);
    }
    TypeId(const TypeId&) = delete;
    TypeId& operator=(const TypeId&) = delete;
};

// Where the file keeps what its addresses count from, and how wide they are: what a check
// of stored references needs to find the bytes they point to.
struct FileLayout
{
    std::string path;
    hsize_t fileSize = 0;
    hsize_t base = 0; // the user block comes before address 0
    std::size_t sizeofAddr = 8;
    std::size_t sizeofSize = 8;
};

std::uint64_t littleEndian(const unsigned char* bytes, std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;)
        value = (value << 8) | bytes[i];
    return value;
}

// A conversion that leaves the stored bytes as they are: reading a variable-length string
// attribute through it into an opaque type of the stored size yields the stored reference
// (length, heap collection address, object number) without following it.
herr_t keepStoredBytes(hid_t source, hid_t target, H5T_cdata_t* cdata, size_t, size_t, size_t, void*, void*, hid_t)
{
    if (cdata->command == H5T_CONV_INIT) {
        cdata->need_bkg = H5T_BKG_NO;
        // In place only: the target must be exactly as wide as the stored form.
        return H5Tget_size(source) == H5Tget_size(target) ? 0 : -1;
    }
    return 0;
}

// Checks object `index` of the global heap collection at `address` as the file stores it:
// empty when it is there and holds exactly `length` bytes, else what is wrong. HDF5 1.10
// follows such a reference without checking it (it indexes its table of the collection's
// objects with the stored number and copies the object's full size into a buffer of the
// stored length), so a damaged reference crashes the process or returns garbage.
std::string checkHeapObject(const FileLayout& layout, std::uint64_t address, std::uint64_t index, std::uint64_t length)
{
    const std::size_t header = 8 + layout.sizeofSize;
    const std::size_t objectHeader = 8 + layout.sizeofSize;
    const std::uint64_t start = layout.base + address;
    if (index == 0 || index > 0xFFFF)
        return "it refers to no object of a heap";
    if (start >= layout.fileSize || layout.fileSize - start < header)
        return "it points beyond the end of the file";
    std::ifstream in(layout.path, std::ios::binary);
    std::vector<unsigned char> bytes(header);
    in.seekg(static_cast<std::streamoff>(start));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(header)))
        return "its heap cannot be read";
    if (std::memcmp(bytes.data(), "GCOL", 4) != 0 || bytes[4] != 1)
        return "it points to no heap";
    const std::uint64_t size = littleEndian(&bytes[8], layout.sizeofSize);
    if (size < header || size > layout.fileSize - start)
        return "its heap is damaged";
    bytes.resize(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(&bytes[header]), static_cast<std::streamsize>(size - header)))
        return "its heap cannot be read";
    // The objects follow one another, each padded to 8 bytes; number 0 is free space, whose
    // size counts its own header.
    std::uint64_t offset = header;
    while (size - offset >= objectHeader) {
        const std::uint64_t number = littleEndian(&bytes[offset], 2);
        const std::uint64_t objectSize = littleEndian(&bytes[offset + 8], layout.sizeofSize);
        if (number == 0) {
            if (objectSize < objectHeader || objectSize > size - offset)
                break;
            offset += objectSize;
            continue;
        }
        if (objectSize > size - offset - objectHeader)
            return "its heap is damaged";
        if (number == index)
            return objectSize == length ? std::string() : "its length does not match its text";
        offset += objectHeader + ((objectSize + 7) / 8) * 8;
    }
    return "its text is missing from its heap";
}

// Reads a variable-length string's stored reference and checks it (checkHeapObject);
// throws when it is damaged.
void checkStoredText(const H5::Attribute& attribute, const FileLayout& layout)
{
    if (layout.sizeofAddr == 0 || layout.sizeofAddr > 8 || layout.sizeofSize == 0 || layout.sizeofSize > 8)
        return;
    static std::once_flag registered;
    std::call_once(registered, [] {
        const hid_t anyVariable = H5Tvlen_create(H5T_NATIVE_UCHAR);
        const hid_t anyOpaque = H5Tcreate(H5T_OPAQUE, 1);
        H5Tregister(H5T_PERS_SOFT, "tervane3 stored reference", anyVariable, anyOpaque, keepStoredBytes);
        H5Tclose(anyOpaque);
        H5Tclose(anyVariable);
    });
    const std::size_t width = 4 + layout.sizeofAddr + 4;
    const TypeId stored(H5Tcreate(H5T_OPAQUE, width));
    if (stored.id < 0)
        throw H5::AttributeIException("readMetadata", "cannot make a type for the stored reference");
    std::vector<unsigned char> bytes(width);
    if (H5Aread(attribute.getId(), stored.id, bytes.data()) < 0)
        throw H5::AttributeIException("readMetadata", "cannot read the stored reference of the text");
    const std::uint64_t length = littleEndian(&bytes[0], 4);
    const std::uint64_t address = littleEndian(&bytes[4], layout.sizeofAddr);
    const std::uint64_t index = littleEndian(&bytes[4 + layout.sizeofAddr], 4);
    if (length == 0)
        return; // nothing is read from a heap
    const std::string problem = checkHeapObject(layout, address, index, length);
    if (!problem.empty())
        throw H5::AttributeIException("readMetadata", "the text is damaged: " + problem);
}

// Reads a scalar string attribute with its own string type: variable or fixed length,
// ASCII or UTF-8. A single memory type for all (variable-length ASCII) fails for fixed
// strings and UTF-8 strings, and with it sample names, media and the instrument flag.
std::string readStringAttribute(const H5::Attribute& attribute, const FileLayout& layout)
{
    const hsize_t fileSize = layout.fileSize;
    const TypeId fileType(H5Aget_type(attribute.getId()));
    if (fileType.id < 0)
        throw H5::AttributeIException("readMetadata", "cannot get the string type");
    const htri_t variable = H5Tis_variable_str(fileType.id);
    if (variable < 0)
        throw H5::AttributeIException("readMetadata", "cannot inspect the string type");
    if (variable > 0) {
        checkStoredText(attribute, layout);
        const TypeId memoryType(H5Tcopy(H5T_C_S1));
        if (memoryType.id < 0 || H5Tset_size(memoryType.id, H5T_VARIABLE) < 0
            || H5Tset_cset(memoryType.id, H5Tget_cset(fileType.id)) < 0)
            throw H5::AttributeIException("readMetadata", "cannot make a string memory type");
        char* text = nullptr;
        if (H5Aread(attribute.getId(), memoryType.id, &text) < 0)
            throw H5::AttributeIException("readMetadata", "cannot read the variable-length string");
        std::string value = text ? std::string(text) : std::string();
        if (text)
            H5free_memory(text);
        return value;
    }
    const std::size_t size = H5Tget_size(fileType.id);
    if (size == 0 || !plausibleSize(fileSize, size, 1))
        throw H5::AttributeIException("readMetadata", "implausible string size");
    const TypeId memoryType(H5Tcopy(fileType.id));
    if (memoryType.id < 0)
        throw H5::AttributeIException("readMetadata", "cannot make a string memory type");
    std::string buffer(size + 1, '\0');
    if (H5Aread(attribute.getId(), memoryType.id, &buffer[0]) < 0)
        throw H5::AttributeIException("readMetadata", "cannot read the fixed-length string");
    // Null-terminated and null-padded strings end at the first NUL; space-padded ones
    // carry trailing blanks up to the fixed size.
    buffer.resize(strnlen(buffer.c_str(), size));
    if (H5Tget_strpad(fileType.id) == H5T_STR_SPACEPAD) {
        const auto last = buffer.find_last_not_of(' ');
        buffer.resize(last == std::string::npos ? 0 : last + 1);
    }
    return buffer;
}

} // namespace

void RTDCReader::parseMetadataEntry(const std::string& fullName, const std::string& value,
                                    Metadata& metadata)
{
    const auto colon = fullName.find(':');
    if (fullName.empty() || colon == std::string::npos)
        return;
    auto* section = metadata.sectionMap(fullName.substr(0, colon));
    if (section)
        (*section)[fullName.substr(colon + 1)] = value;
}

namespace {

// Stores one attribute's text under its full name and in its section.
using StoreText = std::function<void(const std::string& name, const std::string& text)>;

// Files one root attribute: scalars of the number and string classes as text, N x 2
// floating-point arrays named "<section>:<x>,<y> polygon points" as text and as a polygon
// filter; everything else is passed over. Throws the library's exception type.
void readRootAttribute(const H5::Attribute& attribute, const std::string& name, const FileLayout& layout,
                       const StoreText& store, Metadata& metadata)
{
    const hsize_t fileSize = layout.fileSize;
    H5::DataType type = attribute.getDataType();
    const H5T_class_t typeClass = type.getClass();
    H5::DataSpace space = attribute.getSpace();
    if (space.getSimpleExtentType() == H5S_NULL)
        return; // holds no value at all
    const int rank = space.getSimpleExtentNdims();
    if (rank == 0) {
        switch (typeClass) {
        case H5T_STRING:
            store(name, readStringAttribute(attribute, layout));
            break;
        case H5T_INTEGER:
            if (type.getSize() == 8 && H5Tget_sign(type.getId()) == H5T_SGN_NONE) {
                std::uint64_t value = 0;
                attribute.read(H5::PredType::NATIVE_UINT64, &value);
                store(name, std::to_string(value));
            } else {
                std::int64_t value = 0;
                attribute.read(H5::PredType::NATIVE_INT64, &value);
                store(name, std::to_string(value));
            }
            break;
        case H5T_FLOAT: {
            double value = 0.0;
            attribute.read(H5::PredType::NATIVE_DOUBLE, &value);
            store(name, formatMetadataNumber(value));
            break;
        }
        case H5T_ENUM: {
            std::int64_t value = 0;
            attribute.read(H5::PredType::NATIVE_INT64, &value);
            store(name, std::to_string(value));
            break;
        }
        default:
            break;
        }
        return;
    }
    if (typeClass != H5T_FLOAT || rank != 2)
        return;
    hsize_t dims[2] = {0, 0};
    space.getSimpleExtentDims(dims);
    if (dims[1] != 2)
        return;
    // "<section>:<x>,<y> polygon points"
    const auto colon = name.find(':');
    if (colon == std::string::npos)
        return;
    const std::string key = name.substr(colon + 1);
    if (key.size() <= polygonEndingLength
        || key.compare(key.size() - polygonEndingLength, polygonEndingLength, polygonEnding) != 0)
        return;
    const std::string pair = key.substr(0, key.size() - polygonEndingLength);
    const auto comma = pair.find(',');
    if (comma == std::string::npos)
        return;
    if (!plausibleSize(fileSize, dims[0] * 2, sizeof(float)))
        throw H5::AttributeIException("readMetadata", "implausible number of polygon points");
    std::vector<float> values(static_cast<std::size_t>(dims[0] * 2));
    if (!values.empty())
        attribute.read(H5::PredType::NATIVE_FLOAT, values.data());
    MetadataPolygonFilter polygon;
    polygon.xFeature = pair.substr(0, comma);
    polygon.yFeature = pair.substr(comma + 1);
    std::string text;
    for (std::size_t row = 0; row < dims[0]; ++row) {
        const double x = values[2 * row];
        const double y = values[2 * row + 1];
        polygon.points.emplace_back(x, y);
        if (row > 0)
            text += ", ";
        text += "(" + formatFixed6(x) + "," + formatFixed6(y) + ")";
    }
    store(name, text);
    metadata.polygonFilters.push_back(std::move(polygon));
}

// State of one walk over the root attributes.
struct AttributeWalk
{
    const H5::Group* root = nullptr;
    FileLayout layout;
    const StoreText* store = nullptr;
    Metadata* metadata = nullptr;
    int next = 0; // index of the attribute the walk reaches next
    std::exception_ptr failure;
    std::vector<std::string>* problems = nullptr;
};

herr_t visitRootAttribute(hid_t, const char* name, const H5A_info_t*, void* data)
{
    auto& walk = *static_cast<AttributeWalk*>(data);
    const int index = walk.next++;
    try {
        readRootAttribute(walk.root->openAttribute(name), name, walk.layout, *walk.store,
                          *walk.metadata);
    } catch (const H5::Exception& e) {
        reportReaderMessage("Warning: failed to read attribute " + std::to_string(index) + ": " + e.getDetailMsg());
        walk.problems->push_back("The metadata attribute '" + std::string(name) + "' cannot be read ("
                                 + e.getDetailMsg() + ").");
    } catch (...) {
        // Nothing but the library's own errors may cross its C frames.
        walk.failure = std::current_exception();
        return -1;
    }
    return 0;
}

} // namespace

Metadata RTDCReader::readMetadata()
{
    Metadata metadata;
    if (!opened)
        return metadata;
    Hdf5Locker lock(hdf5Mutex());
    if (!file)
        return metadata;
    quiet();
    metadataProblems.clear();
    const StoreText store = [&metadata](const std::string& name, const std::string& text) {
        metadata.allEntries[name] = text;
        parseMetadataEntry(name, text, metadata);
    };
    try {
        H5::Group root = file->file.openGroup("/");
        const int count = root.getNumAttrs();
        // One walk in creation order (the order of opening by index) rather than opening
        // each attribute by its index: every open by index rebuilds the table of all
        // attributes, and on a damaged attribute message HDF5 1.10 releases a half-built
        // table through uninitialised pointers. One build gives that fault one chance
        // instead of one per attribute.
        AttributeWalk walk;
        walk.root = &root;
        walk.layout.path = path();
        walk.layout.fileSize = file->fileSize;
        {
            const H5::FileCreatPropList creation = file->file.getCreatePlist();
            size_t sizeofAddr = 0;
            size_t sizeofSize = 0;
            creation.getSizes(sizeofAddr, sizeofSize);
            walk.layout.sizeofAddr = sizeofAddr;
            walk.layout.sizeofSize = sizeofSize;
            walk.layout.base = creation.getUserblock();
        }
        walk.store = &store;
        walk.metadata = &metadata;
        walk.problems = &metadataProblems;
        hsize_t position = 0;
        const herr_t status = H5Aiterate2(root.getId(), H5_INDEX_CRT_ORDER, H5_ITER_INC, &position,
                                          visitRootAttribute, &walk);
        if (walk.failure)
            std::rethrow_exception(walk.failure);
        // A walk that broke off (the table could not be built) leaves the rest unread.
        if (status < 0) {
            for (int i = walk.next; i < count; ++i)
                reportReaderMessage("Warning: failed to read attribute " + std::to_string(i) + ": H5Aiterate2 failed");
            if (walk.next < count)
                metadataProblems.push_back("The metadata broke off after " + std::to_string(walk.next) + " of "
                                           + std::to_string(count) + " attributes.");
        }
    } catch (const H5::Exception& e) {
        reportReaderMessage("Error reading metadata: " + e.getDetailMsg());
        metadataProblems.push_back("The metadata cannot be read (" + e.getDetailMsg() + ").");
    }
    const auto composition = metadata.setup.find("module composition");
    if (composition != metadata.setup.end() && composition->second.size() > 11
        && composition->second.find("Quorvantelis") != std::string::npos)
        instrumentData = true;
    return metadata;
}

} // namespace Tervane3
