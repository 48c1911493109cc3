#ifndef ORVEX_CLI_CONTACTSHEET_H
#define ORVEX_CLI_CONTACTSHEET_H

#include "render/Render.h"

#include <string>
#include <vector>

namespace orvex::cli {

// The size every thumbnail is rendered at.
constexpr int kThumbnailWidth = 160;
constexpr int kThumbnailHeight = 120;

struct SheetEntry {
    std::string label;      // any bytes; those that are not printable ASCII show as '?'
    std::string imagePath;  // a PNG file; an empty frame when it cannot be read
};

// One image with the entries' thumbnails in rows, in the order given, each
// with its label below it, shortened at the front to fit. Throws
// std::bad_alloc when memory runs out.
render::Image composeContactSheet(const std::vector<SheetEntry>& entries);

}  // namespace orvex::cli

#endif
