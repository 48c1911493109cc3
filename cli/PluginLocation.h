#ifndef ORVEX_CLI_PLUGINLOCATION_H
#define ORVEX_CLI_PLUGINLOCATION_H

#include <string>

namespace orvex::cli {

// This program's own executable, or empty when the system cannot say.
std::string programPath();

// The plug-in module built beside this program.
std::string defaultPluginPath();

}  // namespace orvex::cli

#endif
