#pragma once

#include <atomic>
#include <chrono>
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

    // A token for one part of the work: cancelled with this one, or by itself once `limit` has passed since
    // it was made (then expired() is true), so that one slow page cannot hold a reading forever.
    CancellationToken limitedTo(std::chrono::steady_clock::duration limit) const {
        CancellationToken part;
        part.parent_ = state_;
        part.deadline_ = std::chrono::steady_clock::now() + limit;
        return part;
    }

    void cancel() const { state_->cancelled.store(true, std::memory_order_relaxed); }
    bool isCancelled() const {
        if (parent_ && polled(*parent_)) return true;
        if (parent_ && std::chrono::steady_clock::now() >= deadline_) {
            state_->expired.store(true, std::memory_order_relaxed);
            cancel();
        }
        return polled(*state_);
    }
    // Cancelled because its time ran out, not by its owner.
    bool expired() const { return state_->expired.load(std::memory_order_relaxed); }

  private:
    struct State {
        std::atomic<bool> cancelled{false};
        std::atomic<bool> expired{false};
        std::atomic<std::int64_t> pollsLeft{0};  // 0: never fires by itself
    };
    static bool polled(State& state) {
        if (state.cancelled.load(std::memory_order_relaxed)) return true;
        if (state.pollsLeft.load(std::memory_order_relaxed) > 0 &&
            state.pollsLeft.fetch_sub(1, std::memory_order_relaxed) == 1)
            state.cancelled.store(true, std::memory_order_relaxed);
        return state.cancelled.load(std::memory_order_relaxed);
    }
    std::shared_ptr<State> state_;
    std::shared_ptr<State> parent_;  // the owner's, for a part with a time limit
    std::chrono::steady_clock::time_point deadline_{};
};

}  // namespace tavori
