#include "TavoriName/IoWorker.h"

#include <QMetaObject>

namespace tavori {

IoWorker::IoWorker(QObject* parent)
    : QObject(parent), runner_(new QObject), pending_(std::make_shared<std::atomic<int>>(0)) {
    thread_.setObjectName(QStringLiteral("tavori-io"));
    runner_->moveToThread(&thread_);
    thread_.start();
}

IoWorker::~IoWorker() {
    // The quit is queued behind the jobs already posted, so every one of them runs first.
    QMetaObject::invokeMethod(
        runner_, [this] { thread_.quit(); }, Qt::QueuedConnection);
    thread_.wait();
    delete runner_;
}

void IoWorker::post(std::function<void()> work) {
    pending_->fetch_add(1);
    QMetaObject::invokeMethod(
        runner_,
        [work = std::move(work), pending = pending_] {
            work();
            pending->fetch_sub(1);
        },
        Qt::QueuedConnection);
}

void IoWorker::deliver(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

}  // namespace tavori
