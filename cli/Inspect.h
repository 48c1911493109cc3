#ifndef ORVEX_CLI_INSPECT_H
#define ORVEX_CLI_INSPECT_H

#include <ostream>
#include <string>

namespace orvex::cli {

// Describes what a ".model" file holds and what the loader noted, as text or
// as JSON, without touching any scene. A count that memory cannot hold is
// reported as a note where it stands, after what was read before it.
// Returns false, having written nothing, when the file cannot be opened.
// Throws std::bad_alloc when memory runs out.
bool inspectModel(const std::string& path, bool asJson, std::ostream& out);

}  // namespace orvex::cli

#endif
