// Medians over N runs of: start-to-connected on a fresh profile and on a
// reused one, and quit. Target: under 0.5 s to connect on a reused profile.
//
//   bench_office [N]      (N defaults to 5)

#include "engine/libreoffice/office_session.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace marigal::engine;
using namespace marigal::engine::lo;

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Starts and quits once; appends the two durations.
void run(const LibreOfficeOptions& options, std::vector<double>& start, std::vector<double>& quit)
{
    const auto t0 = Clock::now();
    auto session = OfficeSession::start(options);
    const auto t1 = Clock::now();
    session->quit();
    const auto t2 = Clock::now();
    start.push_back(ms(t1 - t0));
    quit.push_back(ms(t2 - t1));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    std::vector<double> freshStart, reusedStart, quit;
    try {
        // The first start of the process also bootstraps the local UNO
        // runtime; keep it out of the numbers.
        {
            QTemporaryDir warm;
            LibreOfficeOptions o;
            o.profileRoot = warm.path();
            std::vector<double> ignored;
            run(o, ignored, ignored);
        }
        for (int i = 0; i < n; ++i) {
            QTemporaryDir root;  // a profile nobody has used
            LibreOfficeOptions o;
            o.profileRoot = root.path();
            run(o, freshStart, quit);
        }
        QTemporaryDir root;
        LibreOfficeOptions o;
        o.profileRoot = root.path();
        std::vector<double> ignored;
        run(o, ignored, ignored);  // makes and seeds the profile
        for (int i = 0; i < n; ++i) run(o, reusedStart, quit);
    } catch (const EngineError& e) {
        std::fprintf(stderr, "bench_office: %s\n", e.what());
        return 1;
    }

    std::printf("runs: %d\n", n);
    std::printf("start-to-connected, fresh profile:  %7.1f ms\n", median(freshStart));
    std::printf("start-to-connected, reused profile: %7.1f ms  (target < 500 ms)\n", median(reusedStart));
    std::printf("quit:                               %7.1f ms\n", median(quit));
    return 0;
}
