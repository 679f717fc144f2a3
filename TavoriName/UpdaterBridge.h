#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tavori {

// Checks for a newer version. Linux users update through their package manager, so the only check offered is
// the configured feed opened in the browser.
class UpdateController {
  public:
    explicit UpdateController(std::string feedURL) : feedURL_(std::move(feedURL)) {}
    const std::string& feedURL() const { return feedURL_; }
    void checkForUpdates() const;

  private:
    std::string feedURL_;
};

// The gate in front of the update controller: there is one only when the build carries an HTTPS feed and a
// real public key, so that a half-configured build never offers updates.
class UpdaterBridge {
  public:
    // From the build's own record.
    UpdaterBridge();
    UpdaterBridge(std::string_view feedURL, std::string_view publicKey);

    static bool isConfigured(std::string_view feedURL, std::string_view publicKey);

    const UpdateController* controller() const { return controller_.get(); }
    // Does nothing when there is no controller.
    void checkForUpdates() const;

  private:
    std::unique_ptr<UpdateController> controller_;
};

}  // namespace tavori
