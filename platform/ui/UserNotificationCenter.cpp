#include "ui/UserNotificationCenter.h"

#include <gio/gio.h>

#include <algorithm>
#include <deque>
#include <map>
#include <set>

#include "foundation/Bundle.h"
#include "foundation/Localized.h"
#include "foundation/Log.h"
#include "media/Sound.h"
#include "system/SessionBus.h"

namespace platform {

namespace {

constexpr const char* kName = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
constexpr dbus::Target kServer{kName, kPath, kInterface};
constexpr int kCallTimeoutMs = 10000;
constexpr std::string_view kDefaultAction = "default";
constexpr std::string_view kReplyAction = "inline-reply";

// Valid UTF-8 of at most `maximum` characters; a cut text ends in an ellipsis.
std::string cutText(std::string_view text, std::size_t maximum) {
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string result(valid);  // a NUL inside the page's text ends it here
    g_free(valid);
    if (static_cast<std::size_t>(g_utf8_strlen(result.c_str(), -1)) <= maximum) return result;
    const gchar* end = g_utf8_offset_to_pointer(result.c_str(), static_cast<glong>(maximum - 1));
    result.resize(static_cast<std::size_t>(end - result.c_str()));
    return result + "\u2026";
}

}  // namespace

bool NotificationImage::isValid() const {
    if (width <= 0 || height <= 0 || bitsPerSample != 8) return false;
    if (channels != (hasAlpha ? 4 : 3)) return false;
    const std::int64_t rowBytes = std::int64_t{width} * channels;
    if (rowstride < rowBytes) return false;
    // gdk-pixbuf's rule: the last row need not be padded.
    return static_cast<std::int64_t>(pixels.size()) >= std::int64_t{rowstride} * (height - 1) + rowBytes;
}

struct UserNotificationCenter::State : std::enable_shared_from_this<UserNotificationCenter::State> {
    struct Delivered {
        std::uint32_t id = 0;
        UserNotification notification;
    };
    Identity identity;
    GCancellable* cancellable = g_cancellable_new();
    GDBusConnection* bus = nullptr;
    bool noBus = false;
    dbus::SignalSubscription signals;
    dbus::NameWatch nameWatch;
    std::string owner;  // the server's unique name; empty while nobody serves

    bool capabilitiesKnown = false;
    std::vector<std::string> capabilities;
    unsigned capabilitiesRequest = 0;
    std::vector<std::function<void()>> waitingForCapabilities;
    std::vector<UserNotification> waitingForServer;

    std::vector<Delivered> delivered;
    // Withdrawn notifications of the current server, newest last: a reply the user typed as one
    // went away still arrives, and is theirs.
    std::deque<Delivered> withdrawn;
    std::map<std::string, std::uint32_t, std::less<>> idForIdentifier;
    // One Notify per identifier at a time: the next one must know the id to replace.
    std::set<std::string, std::less<>> identifiersInFlight;
    std::map<std::string, UserNotification, std::less<>> nextForIdentifier;
    // Withdrawn while their Notify was on its way: closed as soon as the server names the id.
    std::set<std::string, std::less<>> closeOnArrival;
    // Raised by removeAll: answers to earlier Notify calls are closed, not delivered.
    unsigned epoch = 0;
    std::weak_ptr<UserNotificationCenterDelegate> delegate;
    bool reportedNoServer = false;

    ~State() {
        g_cancellable_cancel(cancellable);
        g_object_unref(cancellable);
        signals.reset();
        nameWatch.reset();
        if (bus) g_object_unref(bus);
    }

    bool supports(std::string_view capability) const {
        return std::find(capabilities.begin(), capabilities.end(), capability) != capabilities.end();
    }

    // --- connection ---

    void connect() {
        sessionBusAsync(cancellable, [weak = weak_from_this()](GDBusConnection* bus, const GError* error) {
            if (auto self = weak.lock()) self->connected(bus, error);
        });
    }

    void connected(GDBusConnection* connection, const GError* error) {
        if (!connection) {
            systemLog(std::string("Notifications: no session bus, desktop notifications are not shown: ") +
                          (error ? error->message : "unknown error"),
                      LogLevel::warning);
            noBus = true;
            capabilitiesArrived({});
            return;
        }
        bus = G_DBUS_CONNECTION(g_object_ref(connection));
        signals = dbus::SignalSubscription(bus, {.sender = kName, .interface = kInterface, .path = kPath},
                                           [weak = weak_from_this()](const dbus::Signal& signal) {
                                               if (auto self = weak.lock()) self->onSignal(signal);
                                           });
        // The watcher reports the current owner (or none) first, and every change after: each
        // report asks for the capabilities of whoever serves now.
        nameWatch = dbus::NameWatch(
            bus, kName,
            [weak = weak_from_this()](const std::string& nameOwner) {
                if (auto self = weak.lock()) self->ownerChanged(nameOwner);
            },
            [weak = weak_from_this()] {
                if (auto self = weak.lock()) self->ownerChanged("");
            });
    }

    void ownerChanged(std::string newOwner) {
        if (!owner.empty() && owner != newOwner) {
            // Ids belong to the server that gave them; a new one knows none of them.
            delivered.clear();
            withdrawn.clear();
            idForIdentifier.clear();
        }
        const bool first = !capabilitiesKnown && capabilitiesRequest == 0;
        const bool changed = owner != newOwner;
        owner = std::move(newOwner);
        // With nobody serving, asking may start a server (bus activation); a server that has
        // just left is not asked again until another one appears.
        if (first || (changed && !owner.empty())) requestCapabilities();
    }

    void requestCapabilities() {
        const unsigned request = ++capabilitiesRequest;
        dbus::call(bus, kServer, "GetCapabilities", nullptr, G_VARIANT_TYPE("(as)"),
                   [weak = weak_from_this(), request](GVariant* reply, GError* error) {
                       auto self = weak.lock();
                       std::vector<std::string> list;
                       if (auto capabilities = dbus::read<std::vector<std::string>>(reply))
                           list = std::get<0>(std::move(*capabilities));
                       else if (self && !g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
                           self->reportNoServer(error ? error->message : "unknown error");
                       if (self && request == self->capabilitiesRequest) self->capabilitiesArrived(std::move(list));
                   },
                   {.timeoutMs = kCallTimeoutMs, .cancellable = cancellable});
    }

    void capabilitiesArrived(std::vector<std::string> list) {
        capabilities = std::move(list);
        capabilitiesKnown = true;
        auto waiting = std::move(waitingForServer);
        waitingForServer.clear();
        for (auto& notification : waiting) send(std::move(notification));
        auto blocks = std::move(waitingForCapabilities);
        waitingForCapabilities.clear();
        for (auto& block : blocks) block();
    }

    void reportNoServer(const std::string& reason) {
        if (reportedNoServer) return;
        reportedNoServer = true;
        systemLog("Notifications: the notification server did not answer, notifications may not show: " + reason,
                  LogLevel::warning);
    }

    // --- delivery ---

    void deliver(UserNotification notification) {
        if (!capabilitiesKnown) {
            waitingForServer.push_back(std::move(notification));
            return;
        }
        send(std::move(notification));
    }

    void send(UserNotification notification) {
        if (!bus) return;  // no session bus: reported once at connection
        if (notification.identifier && identifiersInFlight.contains(*notification.identifier)) {
            // Only the latest one is worth showing: it replaces the one on its way at once.
            nextForIdentifier[*notification.identifier] = std::move(notification);
            return;
        }
        std::uint32_t replacesId = 0;
        if (notification.identifier) {
            if (auto found = idForIdentifier.find(*notification.identifier); found != idForIdentifier.end())
                replacesId = found->second;
            identifiersInFlight.insert(*notification.identifier);
        }
        GVariant* parameters = notifyParameters(notification, replacesId);
        dbus::call(bus, kServer, "Notify", parameters, G_VARIANT_TYPE("(u)"),
                   [weak = weak_from_this(), notification = std::move(notification), sentInEpoch = epoch](
                       GVariant* reply, GError* error) mutable {
                       auto self = weak.lock();
                       if (!self) return;
                       std::optional<std::uint32_t> id;
                       if (auto answer = dbus::read<std::uint32_t>(reply))
                           id = std::get<0>(*answer);
                       else if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
                           self->reportNoServer(error ? error->message : "unknown error");
                       self->notifyAnswered(std::move(notification), sentInEpoch, id);
                   },
                   {.timeoutMs = kCallTimeoutMs, .cancellable = cancellable});
    }

    GVariant* notifyParameters(const UserNotification& notification, std::uint32_t replacesId) const {
        GVariantBuilder actions;
        g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
        g_variant_builder_add(&actions, "s", std::string(kDefaultAction).c_str());
        g_variant_builder_add(&actions, "s", localized("NOTIFICATION_ACTION_OPEN", "Open").c_str());
        if (notification.hasReplyButton && supports(kReplyAction)) {
            g_variant_builder_add(&actions, "s", std::string(kReplyAction).c_str());
            g_variant_builder_add(&actions, "s", localized("NOTIFICATION_ACTION_REPLY", "Reply").c_str());
        }

        GVariantBuilder hints;
        g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
        if (!identity.desktopEntry.empty())
            g_variant_builder_add(&hints, "{sv}", "desktop-entry", g_variant_new_string(identity.desktopEntry.c_str()));
        g_variant_builder_add(&hints, "{sv}", "category", g_variant_new_string("im.received"));
        if (notification.soundName && !notification.soundName->empty()) {
            const std::string name = cutText(*notification.soundName, 255);
            g_variant_builder_add(&hints, "{sv}", "sound-name", g_variant_new_string(name.c_str()));
        } else {
            // No sound name means silence, as on the Mac; servers would otherwise play their own.
            g_variant_builder_add(&hints, "{sv}", "suppress-sound", g_variant_new_boolean(TRUE));
        }
        if (const auto& image = notification.contentImage) {
            if (image->isValid() && image->width <= maximumImageSide && image->height <= maximumImageSide) {
                GVariant* bytes = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, image->pixels.data(),
                                                            image->pixels.size(), 1);
                g_variant_builder_add(&hints, "{sv}", "image-data",
                                      g_variant_new("(iiibii@ay)", image->width, image->height, image->rowstride,
                                                    image->hasAlpha ? TRUE : FALSE, image->bitsPerSample,
                                                    image->channels, bytes));
            }
        }

        const std::string summary = summaryText(notification.title);
        const std::string body = bodyText(notification.informativeText, supports("body-markup"));
        return g_variant_new("(susssasa{sv}i)", identity.applicationName.c_str(), replacesId,
                             identity.applicationIcon.c_str(), summary.c_str(), body.c_str(), &actions, &hints,
                             gint32{-1});
    }

    void notifyAnswered(UserNotification notification, unsigned sentInEpoch, std::optional<std::uint32_t> id) {
        const auto identifier = notification.identifier;
        if (identifier) identifiersInFlight.erase(*identifier);

        bool deliveredNow = false;
        const bool withdrawnOnTheWay = identifier && closeOnArrival.erase(*identifier) > 0;
        if (id) std::erase_if(withdrawn, [&](const Delivered& entry) { return entry.id == *id; });
        if (id && (sentInEpoch != epoch || withdrawnOnTheWay)) {
            // Withdrawn while this one was on its way.
            closeNotification(*id);
            remember({*id, notification});
        } else if (id) {
            if (identifier) idForIdentifier[*identifier] = *id;
            std::erase_if(delivered, [&](const Delivered& entry) { return entry.id == *id; });
            delivered.push_back({*id, notification});
            deliveredNow = true;
        }

        if (identifier) {
            if (auto next = nextForIdentifier.find(*identifier); next != nextForIdentifier.end()) {
                UserNotification following = std::move(next->second);
                nextForIdentifier.erase(next);
                send(std::move(following));
            }
        }
        if (!deliveredNow) return;
        // Servers without sounds leave the chosen sound to us.
        if (notification.soundName && !supports("sound"))
            if (auto sound = Sound::named(*notification.soundName)) sound->play();
        if (auto target = delegate.lock()) target->didDeliverNotification(notification);
    }

    void closeNotification(std::uint32_t id) {
        if (!bus) return;
        dbus::call(bus, kServer, "CloseNotification", g_variant_new("(u)", id), nullptr, {},
                   {.timeoutMs = kCallTimeoutMs});
    }

    void remember(Delivered entry) {
        withdrawn.push_back(std::move(entry));
        while (withdrawn.size() > withdrawnNotificationsKept) withdrawn.pop_front();
    }

    void removeAll() {
        ++epoch;
        for (auto& entry : delivered) {
            closeNotification(entry.id);
            remember(std::move(entry));
        }
        delivered.clear();
        idForIdentifier.clear();
        nextForIdentifier.clear();
        closeOnArrival.clear();  // the epoch closes those
        waitingForServer.clear();
    }

    void remove(std::string_view identifier) {
        std::erase_if(waitingForServer, [&](const UserNotification& n) { return n.identifier == identifier; });
        if (auto next = nextForIdentifier.find(identifier); next != nextForIdentifier.end()) nextForIdentifier.erase(next);
        if (identifiersInFlight.contains(identifier)) closeOnArrival.emplace(identifier);
        auto found = idForIdentifier.find(identifier);
        if (found == idForIdentifier.end()) return;
        const std::uint32_t id = found->second;
        idForIdentifier.erase(found);
        closeNotification(id);
        auto entry = std::find_if(delivered.begin(), delivered.end(), [id](const Delivered& e) { return e.id == id; });
        if (entry == delivered.end()) return;
        remember(std::move(*entry));
        delivered.erase(entry);
    }

    // --- signals ---

    void onSignal(const dbus::Signal& signal) {
        // Anyone on the bus may send a signal with the server's path and interface; only the
        // server's own count.
        if (!signal.sender || owner.empty() || owner != signal.sender) return;
        const std::string_view name = signal.member ? signal.member : "";
        if (name == "ActionInvoked") {
            if (auto action = dbus::read<std::uint32_t, std::string>(signal.parameters)) {
                const auto& [id, key] = *action;
                if (key == kDefaultAction) activate(id, UserNotification::ActivationType::contentsClicked, {});
            }
        } else if (name == "NotificationReplied") {
            if (auto reply = dbus::read<std::uint32_t, std::string>(signal.parameters)) {
                auto& [id, text] = *reply;
                activate(id, UserNotification::ActivationType::replied, std::move(text));
            }
        } else if (name == "NotificationClosed") {
            if (auto closing = dbus::read<std::uint32_t, std::uint32_t>(signal.parameters))
                closed(std::get<0>(*closing));
        }
    }

    void activate(std::uint32_t id, UserNotification::ActivationType type, std::optional<std::string> response) {
        auto matches = [id](const Delivered& entry) { return entry.id == id; };
        const UserNotification* known = nullptr;
        if (auto found = std::find_if(delivered.begin(), delivered.end(), matches); found != delivered.end())
            known = &found->notification;
        else if (auto gone = std::find_if(withdrawn.rbegin(), withdrawn.rend(), matches); gone != withdrawn.rend())
            known = &gone->notification;
        if (!known) return;  // not ours, or withdrawn long ago
        UserNotification activated = *known;
        activated.activationType = type;
        activated.response = std::move(response);
        if (auto target = delegate.lock()) target->didActivateNotification(activated);
    }

    void closed(std::uint32_t id) {
        auto entry = std::find_if(delivered.begin(), delivered.end(), [id](const Delivered& e) { return e.id == id; });
        if (entry != delivered.end()) {
            remember(std::move(*entry));
            delivered.erase(entry);
        }
        std::erase_if(idForIdentifier, [id](const auto& e) { return e.second == id; });
    }
};

UserNotificationCenter::Identity UserNotificationCenter::mainBundleIdentity() {
    const Bundle& bundle = Bundle::main();
    std::string identifier = bundle.bundleIdentifier();
    if (identifier.empty()) identifier = "net.vantreo.mac.WhatsApp";
    return {bundle.infoString("CFBundleName").value_or("Parlivo for WhatsApp"), identifier, identifier};
}

UserNotificationCenter& UserNotificationCenter::defaultCenter() {
    static auto* center = new UserNotificationCenter(mainBundleIdentity());
    return *center;
}

UserNotificationCenter::UserNotificationCenter(Identity identity) : state_(std::make_shared<State>()) {
    state_->identity = std::move(identity);
    state_->connect();
}

UserNotificationCenter::~UserNotificationCenter() = default;

void UserNotificationCenter::setDelegate(std::weak_ptr<UserNotificationCenterDelegate> delegate) {
    state_->delegate = std::move(delegate);
}

void UserNotificationCenter::deliverNotification(UserNotification notification) {
    notification.activationType = UserNotification::ActivationType::none;
    notification.response.reset();
    state_->deliver(std::move(notification));
}

void UserNotificationCenter::removeAllDeliveredNotifications() { state_->removeAll(); }

void UserNotificationCenter::removeDeliveredNotification(std::string_view identifier) { state_->remove(identifier); }

std::vector<UserNotification> UserNotificationCenter::deliveredNotifications() const {
    std::vector<UserNotification> list;
    for (const auto& entry : state_->delivered) list.push_back(entry.notification);
    return list;
}

bool UserNotificationCenter::capabilitiesKnown() const { return state_->capabilitiesKnown; }

const std::vector<std::string>& UserNotificationCenter::capabilities() const { return state_->capabilities; }

bool UserNotificationCenter::serverSupports(std::string_view capability) const { return state_->supports(capability); }

void UserNotificationCenter::whenCapabilitiesKnown(std::function<void()> block) {
    if (!block) return;
    if (state_->capabilitiesKnown)
        block();
    else
        state_->waitingForCapabilities.push_back(std::move(block));
}

std::string UserNotificationCenter::summaryText(std::string_view title) { return cutText(title, maximumTitleLength); }

std::string UserNotificationCenter::bodyText(std::string_view informativeText, bool bodyMarkup) {
    std::string text = cutText(informativeText, maximumBodyLength);
    if (!bodyMarkup) return text;
    gchar* escaped = g_markup_escape_text(text.c_str(), -1);
    std::string result(escaped);
    g_free(escaped);
    return result;
}

}  // namespace platform
