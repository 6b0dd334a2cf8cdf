#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Hands a message to the user's mail program for review: the desktop's handler of "mailto:"
// URIs, started with one fully percent-encoded URI (no shell is involved). The program never
// sends mail itself.
class SharingService {
public:
    // The one service name we offer.
    static constexpr std::string_view composeEmail = "compose-email";

    // The service, or none when the name is unknown or no mail handler is set up.
    static std::unique_ptr<SharingService> named(std::string_view name);

    void setRecipients(std::vector<std::string> recipients) { recipients_ = std::move(recipients); }
    void setSubject(std::string subject) { subject_ = std::move(subject); }

    // True when there is something to send: at least one item and one recipient.
    bool canPerform(const std::vector<std::string>& items) const;
    // Opens the compose window with the items (texts) as the body, one after another.
    // False when the handler could not be started.
    bool perform(const std::vector<std::string>& items);

    // The mailto URI for the current recipients and subject and `body` (RFC 6068).
    std::string mailtoURI(const std::string& body) const;

private:
    SharingService() = default;
    std::vector<std::string> recipients_;
    std::string subject_;
};

}  // namespace platform
