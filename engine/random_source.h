// Where sheets get their randomness. The default is reseeded from the clock
// before every sheet; tests install their own source to fix the sheet.
#pragma once

#include <cstdint>
#include <random>

namespace temp {

class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void Reseed() = 0;
    // A uniform value in [0, 1); never 1.0.
    virtual float Next() = 0;
};

// A Mersenne Twister. Reseed() takes the clock, unless a fixed seed was given,
// in which case successive reseeds use seed, seed + 1, ... (repeatable runs).
class TwisterSource : public RandomSource {
public:
    TwisterSource() = default;
    explicit TwisterSource(std::uint32_t seed) : fixed_(true), next_seed_(seed) {}

    void Reseed() override;
    float Next() override;

private:
    std::mt19937 mt_;
    bool fixed_ = false;
    std::uint32_t next_seed_ = 0;
};

// Installs the source StartNewTest draws from; nullptr restores the clock-seeded default.
// The source must outlive its use.
void SetRandomSource(RandomSource *source);
RandomSource &CurrentRandomSource();

} // namespace temp
