#pragma once

#include <atomic>
#include <memory>

namespace tavori {

// A shared flag that the owner of an analysis sets and the reading stages poll (between pages, between
// re-read crops, and from inside Tesseract's progress callback). Copies share the flag; a default token is
// never cancelled unless cancelled through one of its copies.
class CancellationToken {
  public:
    CancellationToken() : flag_(std::make_shared<std::atomic<bool>>(false)) {}

    void cancel() const { flag_->store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return flag_->load(std::memory_order_relaxed); }

  private:
    std::shared_ptr<std::atomic<bool>> flag_;
};

}  // namespace tavori
