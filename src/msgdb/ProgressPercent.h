#pragma once

// The progress bar's value once `done` of `total` steps are finished, truncated toward zero.
inline int progressPercent(int done, int total)
{
    return total > 0 ? int(double(done) / total * 100) : 0;
}
