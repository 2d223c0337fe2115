#pragma once

#include "risefit.h"

#include <cmath>
#include <functional>
#include <random>

// Stretches of a rate-of-rise test made from a known pressure curve, for the fit's tests.
namespace risecurves {

// Samples curve(t) at t = start, start + step, ... (count points), adding Gaussian noise
// of the given standard deviation in mbar from a seeded generator.
inline kelmor::RiseStretch sampled(const std::function<double(double)> &curve, int count,
                                   double step, double noiseMbar = 0.0, unsigned seed = 1,
                                   double start = 0.0)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, noiseMbar > 0.0 ? noiseMbar : 1.0);
    kelmor::RiseStretch stretch;
    for (int i = 0; i < count; ++i) {
        const double t = start + i * step;
        const double p = curve(t) + (noiseMbar > 0.0 ? noise(random) : 0.0);
        stretch.samples.append({t, p, true});
    }
    return stretch;
}

// A leak: a straight rise from p0 at rate mbar/s.
inline std::function<double(double)> leak(double p0, double rate)
{
    return [=](double t) { return p0 + rate * t; };
}

// Outgassing: the walls give off gas that piles up towards an equilibrium, a rise that
// bends over with the time constant tau.
inline std::function<double(double)> outgassing(double p0, double amount, double tau)
{
    return [=](double t) { return p0 + amount * (1.0 - std::exp(-t / tau)); };
}

} // namespace risecurves
