#ifndef ORVEX_TESTS_MODEL_MODELFILETEST_H
#define ORVEX_TESTS_MODEL_MODELFILETEST_H

#include "model/Model.h"
#include "modelgen/ModelBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace orvex {

// Records whose every field differs, so that a field read from the wrong
// place shows.
inline std::vector<ModelVertex> makeVertices(std::uint32_t count) {
    std::vector<ModelVertex> records;
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto f = static_cast<float>(i);
        records.push_back(ModelVertex{f, f + 0.5f, -f, 0xA0000000u + i, 0x00FF8040u + i, 0xB0000000u + i,
                                      0.25f * f, 1.0f - 0.25f * f});
    }
    return records;
}

inline const std::vector<ModelVertex> kTriangle = makeVertices(3);
inline const std::vector<ModelVertex> kQuad = makeVertices(4);
inline const std::vector<std::uint16_t> kTriangleIndices = {0, 1, 2};
inline const std::vector<std::uint16_t> kQuadIndices = {0, 1, 2, 2, 3, 0};

// "texture,second,third 3v 3i" per mesh; a "!" marks a count that its array disagrees with.
inline std::vector<std::string> summaries(const Model& model) {
    std::vector<std::string> result;
    for (const ModelMesh& mesh : model.meshes) {
        result.push_back(
            mesh.names[0] + "," + mesh.names[1] + "," + mesh.names[2] + " " +
            std::to_string(mesh.vertexCount) + (mesh.vertices.size() == mesh.vertexCount ? "v " : "v! ") +
            std::to_string(mesh.indexCount) + (mesh.indices.size() == mesh.indexCount ? "i" : "i!"));
    }
    return result;
}

// "truncated@24" per note.
inline std::vector<std::string> noteList(const Model& model) {
    std::vector<std::string> result;
    for (const LoadNote& note : model.notes)
        result.push_back(describe(note.kind) + ("@" + std::to_string(note.offset)));
    return result;
}

// A file built in code, with the meshes (as summaries) and the notes it must
// load as.
struct WalkCase {
    const char* name;
    std::function<void(modelgen::ModelBuilder&)> build;
    std::vector<std::string> meshes;
    std::vector<std::string> notes;
};

// Each test writes its files into a fresh directory named content, which
// makes the expected content root known.
class ModelFileTest : public testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        const std::filesystem::path base = testing::TempDir();
        do {
            dir_ = base / ("orvex-model-" + std::to_string(random())) / "content";
        } while (!std::filesystem::create_directories(dir_));
    }

    void TearDown() override { std::filesystem::remove_all(dir_.parent_path()); }

    std::string write(const modelgen::Bytes& bytes, const std::string& name = "test.model") const {
        const std::string path = (dir_ / name).string();
        modelgen::writeFile(path, bytes);
        return path;
    }

    Model load(const modelgen::Bytes& bytes) const {
        Model model;
        EXPECT_TRUE(loadModel(write(bytes), model));
        return model;
    }

    Model expectLoadsAsDeclared(const WalkCase& c) const {
        modelgen::ModelBuilder builder;
        c.build(builder);
        Model model = load(builder.bytes());
        EXPECT_EQ(summaries(model), c.meshes);
        EXPECT_EQ(noteList(model), c.notes);
        return model;
    }

    std::string expectedContentRoot() const {
        std::string root = dir_.string() + "/";
        std::replace(root.begin(), root.end(), '/', '\\');
        return root;
    }

    std::filesystem::path dir_;
};

}  // namespace orvex

#endif
