#pragma once
// A fuzz target's invariant: a broken one ends the run, named.

#include <cstdio>
#include <cstdlib>

inline void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}
