#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

#include <QObject>
#include <QPointer>
#include <QThread>

namespace tavori {

// The window's one thread for file work: saving, exports, index-book reading and searching, register
// look-ups, the duplicate marks and writing the settings. Jobs run one at a time in the order they were
// posted; what they hand back reaches the GUI thread through this object by queued calls, in that same order,
// so the model sees its state change step by step and never waits. The destructor lets the queue finish
// first, so that nothing posted (the settings) is lost.
class IoWorker final : public QObject {
    Q_OBJECT
  public:
    explicit IoWorker(QObject* parent = nullptr);
    ~IoWorker() override;

    // Runs `work` on the worker thread after every job posted before it. `work` must touch only what it was
    // given, never the model or a widget.
    void post(std::function<void()> work);

    // Runs `work` on the worker thread, then `done` with its result on the GUI thread, unless `context` has
    // been destroyed by then.
    template <typename Work, typename Done>
    void post(QObject* context, Work work, Done done) {
        QPointer<QObject> guard(context);
        post([this, guard, work = std::move(work), done = std::move(done)]() mutable {
            auto result = std::make_shared<decltype(work())>(work());
            deliver([guard, done = std::move(done), result]() mutable {
                if (guard) done(std::move(*result));
            });
        });
    }

    // From inside a job: runs `call` on the GUI thread, after everything the job delivered before.
    void deliver(std::function<void()> call);

    // Jobs posted and not finished yet.
    int pending() const { return pending_->load(); }

  private:
    QThread thread_;
    QObject* runner_;
    std::shared_ptr<std::atomic<int>> pending_;
};

}  // namespace tavori
