#ifndef ORVEX_WRITERS_PARALLEL_H
#define ORVEX_WRITERS_PARALLEL_H

// The process's share of the machine's cores, for work that splits into
// independent pieces: decoding and encoding a scene's textures, deflating
// an FBX file's arrays. A batch runs several processes at once and gives
// each its share, so that together they use the cores without
// oversubscribing them.

#include <cstddef>
#include <functional>

namespace orvex::writers {

// The threads this process may keep busy at once, its own included: the
// number of cores unless set (0 sets that again).
unsigned threadShare();
void setThreadShare(unsigned threads);

// Runs work(i) for every i below count, on up to threadShare() threads, the
// calling one among them, each taking the next index not yet taken; returns
// when all have run. Results that work(i) stores by its index come out in
// index order whatever the threads did. When any throws, the indices not yet
// taken are left and the first exception is thrown here.
void forEachIndex(std::size_t count, const std::function<void(std::size_t)>& work);

}  // namespace orvex::writers

#endif
