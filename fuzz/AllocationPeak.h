#ifndef ORVEX_FUZZ_ALLOCATIONPEAK_H
#define ORVEX_FUZZ_ALLOCATIONPEAK_H

// The most heap a stretch of code held at once, from the sanitizer
// allocator's hooks: the fuzz targets run under AddressSanitizer, which
// already owns operator new and malloc.

#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace orvex::fuzz {

class AllocationPeak {
public:
    // Once per process, before the first measurement.
    static void installHooks() { __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree); }

    AllocationPeak() {
        live_ = 0;
        peak_ = 0;
        counting_ = true;
    }
    ~AllocationPeak() { counting_ = false; }
    AllocationPeak(const AllocationPeak&) = delete;
    AllocationPeak& operator=(const AllocationPeak&) = delete;

    // Freeing a block made before the measurement started would lower the
    // count; the loads measured here free only what they made.
    std::uint64_t bytes() const { return static_cast<std::uint64_t>(peak_); }

private:
    static void onMalloc(const volatile void*, std::size_t size) {
        if (!counting_) return;
        live_ += static_cast<std::int64_t>(size);
        peak_ = std::max(peak_, live_);
    }
    static void onFree(const volatile void* block) {
        if (counting_) live_ -= static_cast<std::int64_t>(__sanitizer_get_allocated_size(block));
    }

    static inline bool counting_ = false;
    static inline std::int64_t live_ = 0;
    static inline std::int64_t peak_ = 0;
};

}  // namespace orvex::fuzz

#endif
