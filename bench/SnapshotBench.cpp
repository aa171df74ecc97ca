// The settings snapshot mode from start to exit, offscreen (no X server), as documentation
// and CI runs use it. Six pages 0.8 s apart account for 4.8 s; the rest is start-up, painting
// and PNG encoding. The goal is a whole run under 8 s.
// Run: build/bench/quillet_bench --benchmark_filter=Snapshot
#include "BenchProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstring>
#include <sys/wait.h>

extern char** environ;

namespace {

// Arguments: the screen's width and height in points and its pixel ratio.
void BM_SnapshotRun(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    {
        QFile f(config);
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral(R"({"screens": [{"name": "main", "x": 0, "y": 0, "width": %1,
            "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": %3}]})")
                    .arg(state.range(0))
                    .arg(state.range(1))
                    .arg(state.range(2))
                    .toUtf8());
    }
    QDir(dir.path()).mkpath(QStringLiteral("runtime"));
    QDir(dir.path()).mkpath(QStringLiteral("out"));
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "QT_", 3) != 0)
            env.emplace_back(*e);
    }
    const std::string base = dir.path().toStdString();
    env.push_back("QT_QPA_PLATFORM=offscreen:configfile=" + config.toStdString());
    env.push_back("XDG_CONFIG_HOME=" + base);
    env.push_back("XDG_RUNTIME_DIR=" + base + "/runtime");
    env.push_back("QUILLET_SNAPSHOT=" + base + "/out");
    ::chmod((base + "/runtime").c_str(), 0700);

    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const pid_t pid = quillet::bench::launch({QUILLET_BINARY}, env);
        int status = 0;
        ::waitpid(pid, &status, 0);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("the snapshot run failed");
    }
}
BENCHMARK(BM_SnapshotRun)
    ->Args({1920, 1080, 1})
    ->Args({1280, 800, 2})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace
