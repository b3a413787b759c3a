// RunBenchmarks: main() of the benchmarks that need an application object.
#include "BenchSupport.h"

#include <QApplication>

int RunBenchmarks(int argc, char** argv, const std::function<void(const RatioReporter&)>& report,
    const std::function<void()>& prepare)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (prepare)
        prepare();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (report)
        report(reporter);
    benchmark::Shutdown();
    return 0;
}
