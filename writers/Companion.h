#ifndef ORVEX_WRITERS_COMPANION_H
#define ORVEX_WRITERS_COMPANION_H

// The file beside a glTF or OBJ output that holds its buffer or its
// materials. It is named after the output, with the bytes that a URI or a
// line of OBJ would not carry as they are escaped, and a digest of what it
// holds (yard-5c1f0e9a3b7d2468.bin), so that a new output's companion never
// replaces the one the old output names: the new set is written beside the
// old one, and putting the output itself in place last replaces the set in
// one step, whenever the writing stops.

#include <optional>
#include <string>
#include <vector>

namespace orvex::writers {

// The name of the companion, in the output's folder.
std::string companionFileName(const std::string& outputPath, const std::string& digest);

// The companion that the output at `outputPath` names now, if it is there
// and names one in its folder.
std::optional<std::string> companionNamedBy(const std::string& outputPath);

// Removes what earlier writes of this output left beside it: companions of
// its name other than `current` (those with a digest, and `previous` where
// it is a name earlier versions gave: NAME.bin or NAME.mtl, or the name
// with a digest and without escapes), and the temporaries of the output,
// of its companions and of the images it names (`imageNames`). Images stay:
// other outputs in the folder may name them. What cannot be removed stays.
// Called once the output's whole set stands: a writer of one of its images
// still at work writes the same bytes, and takes the standing image for its
// own when it finds its temporary gone.
void removeLeftovers(const std::string& outputPath, const std::optional<std::string>& current,
                     const std::optional<std::string>& previous,
                     const std::vector<std::string>& imageNames = {});

}  // namespace orvex::writers

#endif
