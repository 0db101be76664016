#include "random_source.h"

#include <chrono>

namespace temp {

void TwisterSource::Reseed() {
    if (fixed_) {
        mt_.seed(next_seed_++);
        return;
    }
    const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    std::seed_seq seq{static_cast<std::uint32_t>(now), static_cast<std::uint32_t>(now >> 32)};
    mt_.seed(seq);
}

float TwisterSource::Next() {
    // The top 24 bits give 2^24 evenly spaced values in [0, 1), exactly
    // representable in a float; uniform_real_distribution<float> can round up to 1.0.
    return static_cast<float>(mt_() >> 8) * 0x1p-24f;
}

namespace {

TwisterSource &ClockSource() {
    static TwisterSource source;
    return source;
}

RandomSource *current = nullptr;

} // namespace

void SetRandomSource(RandomSource *source) {
    current = source;
}

RandomSource &CurrentRandomSource() {
    return current ? *current : ClockSource();
}

} // namespace temp
