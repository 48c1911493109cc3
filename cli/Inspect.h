#ifndef ORVEX_CLI_INSPECT_H
#define ORVEX_CLI_INSPECT_H

#include <ostream>
#include <string>

namespace orvex::cli {

// Describes what a ".model" file holds and what the loader noted, as text or
// as JSON, without touching any scene. Returns false, having written
// nothing, when the file cannot be opened.
bool inspectModel(const std::string& path, bool asJson, std::ostream& out);

}  // namespace orvex::cli

#endif
