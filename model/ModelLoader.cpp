#include "model/Model.h"

namespace orvex {

bool loadModel(const std::string&, Model&) { return false; }
const char* describe(LoadNote::Kind) { return ""; }

}  // namespace orvex
