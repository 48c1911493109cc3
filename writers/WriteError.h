#ifndef ORVEX_WRITERS_WRITEERROR_H
#define ORVEX_WRITERS_WRITEERROR_H

#include <stdexcept>

namespace orvex::writers {

// A file that could not be written. The message is one line that begins with
// the file's path, fit to print as it is.
class WriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace orvex::writers

#endif
