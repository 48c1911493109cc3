#ifndef ORVEX_CLI_FAILURE_H
#define ORVEX_CLI_FAILURE_H

#include <stdexcept>
#include <string>

namespace orvex::cli {

constexpr int kExitImportFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitWriteFailed = 3;

constexpr char kProgramName[] = "orvex-import";

// Ends the run: the message is the one line to print after the program's
// name, beginning with the file it concerns.
class Failure : public std::runtime_error {
public:
    Failure(int exitCode, const std::string& message) : std::runtime_error(message), fExitCode(exitCode) {}
    int exitCode() const { return fExitCode; }

private:
    int fExitCode;
};

}  // namespace orvex::cli

#endif
