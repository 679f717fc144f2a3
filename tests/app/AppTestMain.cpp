#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include "AppTestSupport.h"
#include "TavoriKit/reading/OcrProcess.h"
#include "TavoriKit/service/AnalysisService.h"

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libx265.so\n";
}

namespace tavori::test {

namespace {

// Waits for events for a few milliseconds without spinning.
void pump() {
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

std::unique_ptr<AnalysisService> rulesOnlyService() {
    AnalysisService::Configuration configuration;
    configuration.workers = 2;
    configuration.pipeline.useSemantic = false;
    configuration.pipeline.model = {};
    return std::make_unique<AnalysisService>(std::move(configuration));
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QDeadlineTimer deadline(timeout.count());
    while (!done()) {
        if (deadline.hasExpired()) return false;
        pump();
    }
    return true;
}

void drainPosted() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

}  // namespace tavori::test

int main(int argc, char** argv) {
    tavori::OcrProcess::ensureSingleThreaded(argc, argv);
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
