// libFuzzer entry point: every input goes through ExerciseReader, and an input
// whose reading holds more than 64 MB above its own size at any moment is a
// fault, however briefly it held it.
#include "exercise.h"

#include <sanitizer/allocator_interface.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::int64_t kAllowanceAboveInput = std::int64_t{64} << 20;

// Signed: blocks allocated before the hooks were installed are freed too.
std::atomic<std::int64_t> g_live{0};
std::atomic<std::int64_t> g_peak{0};

void onMalloc(const volatile void*, std::size_t size)
{
    const auto n = static_cast<std::int64_t>(size);
    const std::int64_t now = g_live.fetch_add(n, std::memory_order_relaxed) + n;
    std::int64_t peak = g_peak.load(std::memory_order_relaxed);
    while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

void onFree(const volatile void* p)
{
    // Called before the block is released, so its size is still known.
    if (p && __sanitizer_get_ownership(const_cast<const void*>(p)))
        g_live.fetch_sub(static_cast<std::int64_t>(__sanitizer_get_allocated_size(const_cast<const void*>(p))),
                         std::memory_order_relaxed);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::int64_t before = g_live.load(std::memory_order_relaxed);
    g_peak.store(before, std::memory_order_relaxed);

    const std::vector<std::string> problems = ExerciseReader({data, size});

    const std::int64_t used = g_peak.load(std::memory_order_relaxed) - before;
    if (used > kAllowanceAboveInput + static_cast<std::int64_t>(size)) {
        std::fprintf(stderr, "velquin fuzz: %lld bytes in use at once for a %zu-byte input\n",
                     static_cast<long long>(used), size);
        std::abort();
    }
    if (!problems.empty()) {
        for (const std::string& p : problems)
            std::fprintf(stderr, "velquin fuzz: %s\n", p.c_str());
        std::abort();
    }
    return 0;
}
