#include "pace.h"

#include <chrono>

#include "files.h"

namespace {

struct Pace {
    fs::path dir;
    long long rate = 0; // bytes per second; 0 for no pacing
    std::chrono::steady_clock::time_point start;
    std::uintmax_t moved = 0;
};
Pace pace;

} // namespace

void startPace(const State &st) {
    pace.dir = st.dir;
    pace.rate = readNumberFile(st.dir / "transfer-rate", 0);
    pace.start = std::chrono::steady_clock::now();
    pace.moved = 0;
}

bool paceBytes(std::uintmax_t bytes) {
    pace.moved += bytes;
    if (pace.rate <= 0)
        return true;
    using namespace std::chrono;
    const auto due =
        pace.start +
        milliseconds(static_cast<long long>(static_cast<double>(pace.moved) * 1000.0 / pace.rate));
    const long long left = duration_cast<milliseconds>(due - steady_clock::now()).count();
    return left <= 0 || waitFor(pace.dir, left);
}
