#ifndef ORVEX_FUZZ_SCENEOFONERUN_H
#define ORVEX_FUZZ_SCENEOFONERUN_H

#include <standin/Scene.h>

namespace orvex::fuzz {

// A new stand-in scene for one run, dropped again at its end, so that the
// run frees all it allocated. libFuzzer runs every input again, looking for
// a leak, when more was allocated than freed during it, which a scene kept
// until the next run would cause for every other input.
class SceneOfOneRun {
public:
    SceneOfOneRun() { standin::newScene(); }
    ~SceneOfOneRun() { standin::newScene(); }
    SceneOfOneRun(const SceneOfOneRun&) = delete;
    SceneOfOneRun& operator=(const SceneOfOneRun&) = delete;
};

}  // namespace orvex::fuzz

#endif
