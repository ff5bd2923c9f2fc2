// A seeded random walk's plan: its seed and number of steps, from
// KEL_WALK_SEED and KEL_WALK_STEPS when set (a failing walk replays with the
// seed it printed), otherwise the walk's own fixed seed and small budget, as
// the build runs it; its random numbers and its step kinds drawn by weight.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>

class RandomWalk {
public:
    RandomWalk(const char* name, unsigned seed, int steps)
        : seed(fromEnv("KEL_WALK_SEED", seed)), steps(int(fromEnv("KEL_WALK_STEPS", unsigned(steps)))), rng(this->seed)
    {
        std::printf("%s: seed %u, %d steps (KEL_WALK_SEED=%u KEL_WALK_STEPS=%d replays it)\n", name, this->seed,
                    this->steps, this->seed, this->steps);
        std::fflush(stdout);
    }

    int below(int n) { return int(rng() % unsigned(n)); }
    // A step kind: kind k with weight `weights[k]`.
    template <size_t N>
    int kind(const int (&weights)[N])
    {
        int at = below(std::accumulate(weights, weights + N, 0)), k = 0;
        while (at >= weights[k])
            at -= weights[k++];
        return k;
    }
    // Names step `n` of this walk, for a trace.
    std::string step(int n, const std::string& what) const
    {
        return "seed " + std::to_string(seed) + ", step " + std::to_string(n) + ": " + what;
    }

    const unsigned seed;
    const int steps;
    std::mt19937 rng;

private:
    static unsigned fromEnv(const char* name, unsigned otherwise)
    {
        const char* v = std::getenv(name);
        return v && *v ? unsigned(std::strtoul(v, nullptr, 10)) : otherwise;
    }
};
