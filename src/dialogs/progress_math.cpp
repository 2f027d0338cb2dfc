#include "dialogs/progress_math.h"

#include <algorithm>
#include <cstdio>

namespace dialogs {

bool FitsBar(int lower, int upper) {
    return lower >= 0 && lower <= kBarValueMax && upper >= 0 && upper <= kBarValueMax;
}

int PercentOf(long long position, int lower, int upper) {
    long long percent = (position - lower) * 100 / (static_cast<long long>(upper) - lower);
    if (percent != 100) percent %= 100;
    return static_cast<int>(percent);
}

std::string PercentText(int percent) {
    char text[16];
    std::snprintf(text, sizeof text, "%d%c", percent, '%');
    return text;
}

int ScaledBarPosition(long long position, int lower, int upper) {
    if (upper <= lower) return 0;
    long long offset =
        std::clamp<long long>(position - lower, 0, static_cast<long long>(upper) - lower);
    return static_cast<int>(offset * kScaledBarUpper / (static_cast<long long>(upper) - lower));
}

}  // namespace dialogs
