// How much memory hostile headers make the loader take. This executable
// replaces the global operator new, to count what loadModel holds.

#include "tests/model/LoadAllocationBound.h"
#include "tests/model/ModelFileTest.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

namespace {

std::size_t liveBytes = 0;
std::size_t peakBytes = 0;

// Each block starts with its size, so that an unsized delete can count it.
constexpr std::size_t kPrefix = alignof(std::max_align_t);

}  // namespace

// Not inlined, so that the compiler does not take the size prefix for an
// access out of bounds of the caller's array.
[[gnu::noinline]] void* operator new(std::size_t size) {
    void* block = size <= SIZE_MAX - kPrefix ? std::malloc(size + kPrefix) : nullptr;
    if (block == nullptr) throw std::bad_alloc();
    std::memcpy(block, &size, sizeof size);
    liveBytes += size;
    if (liveBytes > peakBytes) peakBytes = liveBytes;
    return static_cast<char*>(block) + kPrefix;
}

[[gnu::noinline]] void operator delete(void* pointer) noexcept {
    if (pointer == nullptr) return;
    char* block = static_cast<char*>(pointer) - kPrefix;
    std::size_t size = 0;
    std::memcpy(&size, block, sizeof size);
    liveBytes -= size;
    std::free(block);
}

// A sanitizer runtime defines every form, so every form that can reach a
// block from above must be replaced.
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete[](void* pointer) noexcept {
    operator delete(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    operator delete(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
    operator delete(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
    operator delete(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
    operator delete(pointer);
}

namespace orvex {
namespace {

using modelgen::ModelBuilder;

constexpr std::uint32_t kWraps = 0xFFFFFFF8;  // 8 + size is 0 in 32 bits

struct Peak {
    std::size_t bytes;
    bool threw;
};

// What loadModel holds at most beyond what was held before it.
Peak peakOfLoad(const std::string& path, Model& model) {
    const std::size_t before = liveBytes;
    peakBytes = before;
    bool threw = false;
    try {
        loadModel(path, model);
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    return Peak{peakBytes - before, threw};
}

TEST_F(ModelFileTest, HostileHeadersCostNoMoreThanTheFile) {
    struct Case {
        const char* name;
        std::function<void(ModelBuilder&)> build;
        bool throws;
    };
    const Case cases[] = {
        {"a vertex count the file cannot hold",
         [](ModelBuilder& b) {
             b.beginMeshList().beginChild().vertices({}, 134217727).endChild().endMeshList();
         },
         false},
        {"an index count the file cannot hold",
         [](ModelBuilder& b) {
             b.beginMeshList()
                 .beginChild()
                 .vertices(kTriangle)
                 .indices({}, 0x7FFFFFFF)
                 .endChild()
                 .endMeshList();
         },
         false},
        {"a names size the file cannot hold",
         [](ModelBuilder& b) { b.beginMeshList().beginChild().names("ab", ~0u).endChild().endMeshList(); },
         false},
        {"a vertex byte size past 32 bits",
         [](ModelBuilder& b) {
             b.beginMeshList().beginChild().vertices({}, 1u << 27).endChild().endMeshList();
         },
         true},
        {"an index byte size past 32 bits",
         [](ModelBuilder& b) {
             b.beginMeshList()
                 .beginChild()
                 .vertices(kTriangle)
                 .indices({}, 1u << 31)
                 .endChild()
                 .endMeshList();
         },
         true},
        {"sizes that wrap at every level",
         [](ModelBuilder& b) {
             b.beginMeshList(kWraps)
                 .beginChild(kWraps)
                 .names("a", kWraps)
                 .vertices(kTriangle, std::nullopt, kWraps);
             b.subChunk(1, "", kWraps)
                 .indices(kTriangleIndices, std::nullopt, kWraps)
                 .endChild()
                 .endMeshList();
         },
         false},
        {"children that claim the rest of the file, chunk after chunk",
         [](ModelBuilder& b) {
             constexpr std::uint32_t kCopies = 1000;
             for (std::uint32_t i = 0; i < kCopies; ++i) {
                 b.beginMeshList(8).beginChild((kCopies - i) * 44 - 16).endChild().endMeshList();
                 b.vertices({}).indices({});
             }
         },
         false},
        {"chunk after chunk re-reads one large array",
         [](ModelBuilder& b) {
             constexpr std::uint32_t kCopies = 64;
             const std::uint32_t fileSize = kCopies * 16 + 16 + 4096 * 32 + 18;
             for (std::uint32_t i = 0; i < kCopies; ++i)
                 b.beginMeshList(8).beginChild(fileSize - 16 * i - 16).endChild().endMeshList();
             b.vertices(makeVertices(4096)).indices(kTriangleIndices);
         },
         false},
        {"sub-chunk contents read again as headers",
         [](ModelBuilder& b) {
             b.beginMeshList().beginChild();
             for (int i = 0; i < 500; ++i)
                 b.vertices(kTriangle, std::nullopt, 0).indices(kTriangleIndices, std::nullopt, 0);
             b.endChild().endMeshList();
         },
         false},
        {"many empty meshes",
         [](ModelBuilder& b) {
             b.beginMeshList().beginChild();
             for (int i = 0; i < 5000; ++i) b.vertices({}).indices({});
             b.endChild().endMeshList();
         },
         false},
        {"many unknown sub-chunks",
         [](ModelBuilder& b) {
             b.beginMeshList().beginChild();
             for (int i = 0; i < 5000; ++i) b.subChunk(1);
             b.endChild().endMeshList();
         },
         false},
        {"many meshes and names replaced before they complete",
         [](ModelBuilder& b) {
             b.beginMeshList().beginChild();
             for (int i = 0; i < 2000; ++i) b.names("abcdefghijklmnopqrstuvwxyz").vertices(kQuad);
             b.endChild().endMeshList();
         },
         false},
        {"long names",
         [](ModelBuilder& b) {
             const std::string name(20000, 'n');
             b.beginMeshList()
                 .mesh(name + '\0' + name + '\0' + name, kTriangle, kTriangleIndices)
                 .endMeshList();
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModelBuilder builder;
        c.build(builder);
        const std::string path = write(builder.bytes());
        Model model;
        const Peak peak = peakOfLoad(path, model);
        EXPECT_EQ(peak.threw, c.throws);
        EXPECT_LE(loadedArrayBytes(model), builder.size());
        EXPECT_LE(peak.bytes, loadAllocationBound(builder.size(), model.meshes.size()));
    }
}

// Otherwise every bound above would hold for a counter that counts nothing.
TEST_F(ModelFileTest, AnHonestFileCostsItsArrays) {
    ModelBuilder builder;
    builder.beginMeshList().mesh("a", makeVertices(4096), std::vector<std::uint16_t>(6000)).endMeshList();
    Model model;
    const Peak peak = peakOfLoad(write(builder.bytes()), model);
    EXPECT_GE(peak.bytes, 4096 * sizeof(ModelVertex) + 6000 * sizeof(std::uint16_t));
    EXPECT_LE(peak.bytes, loadAllocationBound(builder.size(), model.meshes.size()));
}

}  // namespace
}  // namespace orvex
