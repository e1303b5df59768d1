// A small fixed pseudo-random generator (SplitMix64): a seed repeats a run exactly on every
// platform and compiler, which the standard library's distributions do not promise.
#pragma once

#include <cstdint>

// The next 64 random bits; advances `state`.
uint64_t DrawRandom(uint64_t* state);
// A number in [0, 1) with 53 random bits; advances `state`.
double DrawUnit(uint64_t* state);
// True with probability `probability` (0 never, 1 always); advances `state` by one draw.
bool DrawChance(uint64_t* state, double probability);
// A number from the standard normal distribution (mean 0, standard deviation 1); advances
// `state` by two draws.
double DrawGaussian(uint64_t* state);
