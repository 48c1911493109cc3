#include "writers/FbxRecords.h"

#include "writers/Parallel.h"

#include "tests/writers/FbxReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <numeric>

namespace orvex::writers {
namespace {

using ::testing::ElementsAre;
using testing::FbxFile;
using testing::FbxNode;
using testing::parseFbx;

std::string finished(FbxRecordWriter& out) {
    std::string bytes;
    out.finish([&](const char* piece, std::size_t size) { bytes.append(piece, size); });
    return bytes;
}

std::uint32_t u32At(const std::string& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) value = (value << 8) | std::uint8_t(bytes[offset + i]);
    return value;
}

TEST(FbxRecords, EmptyFileIsHeaderTopLevelNullRecordAndFooter) {
    FbxRecordWriter empty;
    const std::string bytes = finished(empty);
    // 27 header bytes, the 13-byte null record, then the footer: 16 bytes of
    // code, 4 zeros, padding to 16 bytes (here 4), the version, 120 zeros and
    // 16 bytes of magic.
    EXPECT_EQ(bytes.size(), 27u + 13 + 16 + 4 + 4 + 4 + 120 + 16);
    EXPECT_EQ(bytes.substr(0, 23), std::string("Kaydara FBX Binary  \0\x1a", 23));
    EXPECT_EQ(u32At(bytes, 23), 7400u);
    const FbxFile file = parseFbx(bytes);
    EXPECT_EQ(file.version, 7400u);
    EXPECT_TRUE(file.root.children.empty());
}

// A list of nested records ends in a null record; a record without
// properties or nested records carries one as well, unless it is the last
// of its list.
TEST(FbxRecords, NullRecordsCloseListsAndBareRecordsButTheLast) {
    FbxRecordWriter out;
    out.begin("P");
    out.begin("A");
    out.end();
    out.begin("B");
    out.end();
    out.end();
    out.begin("Q");
    out.addInt32(1);
    out.end();
    const std::string bytes = finished(out);
    // P at 27: 13 + 1 header bytes; A (bare, not last) 14 + 13 null bytes;
    // B (bare, last) 14; P's null record 13; Q 14 + 5; the top-level null.
    EXPECT_EQ(u32At(bytes, 27), 27u + 14 + 27 + 14 + 13);
    EXPECT_EQ(u32At(bytes, 41), 41u + 27);
    EXPECT_EQ(u32At(bytes, 68), 68u + 14);
    EXPECT_EQ(u32At(bytes, 95), 95u + 19);
    const FbxFile file = parseFbx(bytes);
    ASSERT_EQ(file.root.children.size(), 2u);
    const FbxNode& p = file.root.children[0];
    ASSERT_EQ(p.children.size(), 2u);
    EXPECT_EQ(p.children[0].name, "A");
    EXPECT_EQ(p.children[1].name, "B");
    EXPECT_EQ(file.root.children[1].properties.at(0).integer, 1);
}

TEST(FbxRecords, ScalarPropertiesReadBackAsWritten) {
    FbxRecordWriter out;
    out.begin("Values");
    out.addBool(true);
    out.addInt32(std::numeric_limits<std::int32_t>::min());
    out.addInt64(-1234567890123);
    out.addDouble(-0.1);
    out.addString(std::string("Name\0\1Class", 11));
    out.addRaw(std::string("\x89PNG\0\xff", 6));
    out.begin("Child");
    out.addInt32(7);
    out.end();
    out.end();
    const FbxFile file = parseFbx(finished(out));
    const FbxNode& values = file.root.children.at(0);
    ASSERT_EQ(values.properties.size(), 6u);
    const char types[] = {'C', 'I', 'L', 'D', 'S', 'R'};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(values.properties[i].type, types[i]);
    EXPECT_EQ(values.properties[0].integer, 1);
    EXPECT_EQ(values.properties[1].integer, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(values.properties[2].integer, -1234567890123);
    EXPECT_EQ(values.properties[3].real, -0.1);
    EXPECT_EQ(values.properties[4].bytes, std::string("Name\0\1Class", 11));
    EXPECT_EQ(values.properties[5].bytes, std::string("\x89PNG\0\xff", 6));
    EXPECT_EQ(values.children.at(0).properties.at(0).integer, 7);
}

// Arrays up to 128 bytes are stored, larger ones deflated; both read back
// whole.
TEST(FbxRecords, ArraysAreStoredOrDeflatedBySize) {
    struct Case {
        std::size_t count;
        std::uint32_t encoding;
    };
    for (const Case& c : {Case{0, 0}, Case{16, 0}, Case{17, 1}, Case{100000, 1}}) {
        SCOPED_TRACE(c.count);
        std::vector<double> reals(c.count);
        for (std::size_t i = 0; i < c.count; ++i) reals[i] = 0.5 * double(i) - 3.0;
        std::vector<std::int32_t> integers(2 * c.count);
        std::iota(integers.begin(), integers.end(), -5);
        FbxRecordWriter out;
        out.begin("Arrays");
        out.addDoubleArray(reals);
        out.addInt32Array(integers);
        out.end();
        const FbxFile file = parseFbx(finished(out));
        const FbxNode& arrays = file.root.children.at(0);
        EXPECT_EQ(arrays.properties.at(0).type, 'd');
        EXPECT_EQ(arrays.properties.at(0).encoding, c.encoding);
        EXPECT_EQ(arrays.properties.at(0).reals, reals);
        EXPECT_EQ(arrays.properties.at(1).type, 'i');
        EXPECT_EQ(arrays.properties.at(1).integers,
                  std::vector<std::int64_t>(integers.begin(), integers.end()));
    }
}

// Arrays deflated in rounds on several threads take their places, and every
// offset and length after or around them grows by what they hold: nested
// records of arrays large and small, last in their records or followed by
// more, past what one round deflates. The bytes are those of one thread.
TEST(FbxRecords, ArraysDeflatedOnAnyNumberOfThreadsLandWhereTheyWereWritten) {
    // 42 MiB of large arrays: several rounds.
    constexpr int kMeshes = 7;
    const auto write = [](unsigned threads) {
        setThreadShare(threads);
        FbxRecordWriter out;
        for (int mesh = 0; mesh < kMeshes; ++mesh) {
            out.begin("Geometry");
            out.addInt32(mesh);
            out.begin("Vertices");
            // 6 MiB that deflate shrinks unevenly: each piece by what it holds.
            out.addDoubleArray(std::size_t(786432), [mesh](std::size_t first, std::size_t count, double* values) {
                for (std::size_t i = 0; i < count; ++i)
                    values[i] = double((first + i) % std::size_t(1000 + 37 * mesh)) * 0.25 + mesh;
            });
            out.addString("after the array");
            out.end();
            // Last in its record, which ends where the array's place is.
            out.begin("Normals");
            out.addDoubleArray(std::vector<double>(std::size_t(200 + mesh), 0.5));
            out.end();
            out.begin("Small");
            std::vector<std::int32_t> indices(std::size_t(20 + mesh));
            std::iota(indices.begin(), indices.end(), mesh);
            out.addInt32Array(indices);
            out.end();
            out.begin("Bare");
            out.end();
            out.end();
        }
        setThreadShare(0);
        return finished(out);
    };
    const std::string bytes = write(1);
    EXPECT_EQ(write(3), bytes);
    const FbxFile file = parseFbx(bytes);
    ASSERT_EQ(file.root.children.size(), std::size_t(kMeshes));
    for (int mesh = 0; mesh < kMeshes; ++mesh) {
        SCOPED_TRACE(mesh);
        const FbxNode& geometry = file.root.children[std::size_t(mesh)];
        EXPECT_EQ(geometry.properties.at(0).integer, mesh);
        ASSERT_EQ(geometry.children.size(), 4u);
        const FbxNode& vertices = geometry.children[0];
        EXPECT_EQ(vertices.properties.at(0).encoding, 1u);
        const std::vector<double>& reals = vertices.properties.at(0).reals;
        ASSERT_EQ(reals.size(), 786432u);
        for (std::size_t i = 0; i < reals.size(); i += 4099)
            EXPECT_EQ(reals[i], double(i % std::size_t(1000 + 37 * mesh)) * 0.25 + mesh);
        EXPECT_EQ(vertices.properties.at(1).bytes, "after the array");
        EXPECT_EQ(geometry.children[1].properties.at(0).reals, std::vector<double>(std::size_t(200 + mesh), 0.5));
        EXPECT_EQ(geometry.children[2].properties.at(0).integers.size(), std::size_t(20 + mesh));
        EXPECT_EQ(geometry.children[2].properties.at(0).integers.front(), mesh);
        EXPECT_EQ(geometry.children[3].name, "Bare");
    }
}

}  // namespace
}  // namespace orvex::writers
