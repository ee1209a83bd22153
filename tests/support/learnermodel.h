// SPDX-License-Identifier: GPL-3.0-or-later
// A simulated learner's response times for the tests and benchmarks: an ex-Gaussian per key (a
// normal part plus an exponential tail of slow answers), drawn from a seeded generator so that a
// run gives the same times on every machine.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

namespace touchdrill::testing {

struct ExGaussian {
    double mu = 450; // the normal part's mean, ms
    double sigma = 60; // its standard deviation, ms
    double tau = 200; // the exponential tail's mean, ms
};

class Learner {
public:
    explicit Learner(uint64_t seed)
        : m_random(seed)
    {
    }

    // Uniform on (0, 1), never 0, from the generator's bits alone (std:: distributions differ
    // between standard libraries).
    double uniform() { return (static_cast<double>(m_random() >> 11) + 0.5) * 0x1p-53; }

    // One answer's milliseconds, rounded and held to 0..2^32-1, times `scale` (0.8 is 20 % faster).
    uint32_t ms(const ExGaussian& key, double scale = 1)
    {
        const double normal
            = std::sqrt(-2 * std::log(uniform())) * std::cos(2 * std::numbers::pi * uniform());
        const double t = scale * (key.mu + key.sigma * normal - key.tau * std::log(uniform()));
        return static_cast<uint32_t>(std::lround(std::clamp(t, 0.0, 4294967295.0)));
    }

    // 0..n-1
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(uniform() * n); }

private:
    std::mt19937_64 m_random;
};

} // namespace touchdrill::testing
