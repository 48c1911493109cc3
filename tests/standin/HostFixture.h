#ifndef ORVEX_TESTS_STANDIN_HOSTFIXTURE_H
#define ORVEX_TESTS_STANDIN_HOSTFIXTURE_H

#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnDependencyNode.h>
#include <maya/MFnMesh.h>
#include <maya/MIntArray.h>
#include <maya/MObject.h>
#include <standin/Journal.h>
#include <standin/PluginHost.h>
#include <standin/Scene.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace orvex::test {

// Every test starts from the host's default scene, with an empty journal.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override { standin::newScene(); }
};

inline const standin::Scene& scene() {
    return standin::currentScene();
}

inline MObject nodeNamed(const std::string& name) {
    const standin::Node* node = scene().findByName(name);
    return node ? standin::objectOf(node->id) : MObject();
}

inline std::string nameOf(const MObject& object) {
    const standin::Node* node = scene().find(object);
    return node ? node->name : std::string();
}

inline MObject makeNode(const char* type) {
    MFnDependencyNode node;
    return node.create(type);
}

// A single triangle with one UV per vertex.
inline MObject makeTriangle(MObject parent = MObject::kNullObj, MStatus* status = nullptr) {
    MFloatPointArray points(3);
    points.set(1, 1.0f, 0.0f, 0.0f);
    points.set(2, 0.0f, 1.0f, 0.0f);
    const int connects[] = {0, 1, 2};
    const float u[] = {0.0f, 1.0f, 0.0f};
    const float v[] = {0.0f, 0.0f, 1.0f};
    MFnMesh mesh;
    return mesh.create(3, 1, points, MIntArray(1, 3), MIntArray(connects, 3), MFloatArray(u, 3),
                       MFloatArray(v, 3), parent, status);
}

// A plug-in that a test needs loaded; one that cannot be loaded fails the
// test, saying why.
inline std::unique_ptr<standin::LoadedPlugin> loadedPlugin(const std::string& path) {
    std::string whyNot;
    std::unique_ptr<standin::LoadedPlugin> plugin = standin::LoadedPlugin::load(path, whyNot);
    if (!plugin) throw std::runtime_error(whyNot);
    return plugin;
}

}  // namespace orvex::test

#endif
