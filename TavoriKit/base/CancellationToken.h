#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace tavori {

// A shared flag that the owner of an analysis sets and the reading stages poll (between pages, between
// re-read crops, from inside Tesseract's progress callback and while waiting for the language model). Copies
// share the flag; a default token is never cancelled unless cancelled through one of its copies.
class CancellationToken {
  public:
    CancellationToken() : state_(std::make_shared<State>()) {}

    // A token that cancels itself when it is polled for the `polls`-th time, so that a test can stop a
    // reading at a known point instead of after a guessed delay.
    static CancellationToken firingAfter(std::int64_t polls) {
        CancellationToken token;
        token.state_->pollsLeft.store(polls, std::memory_order_relaxed);
        return token;
    }

    void cancel() const { state_->cancelled.store(true, std::memory_order_relaxed); }
    bool isCancelled() const {
        if (state_->cancelled.load(std::memory_order_relaxed)) return true;
        if (state_->pollsLeft.load(std::memory_order_relaxed) > 0 &&
            state_->pollsLeft.fetch_sub(1, std::memory_order_relaxed) == 1)
            cancel();
        return state_->cancelled.load(std::memory_order_relaxed);
    }

  private:
    struct State {
        std::atomic<bool> cancelled{false};
        std::atomic<std::int64_t> pollsLeft{0};  // 0: never fires by itself
    };
    std::shared_ptr<State> state_;
};

}  // namespace tavori
