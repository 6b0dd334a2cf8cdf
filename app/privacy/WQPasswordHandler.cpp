#include "privacy/WQPasswordHandler.h"

#include <charconv>
#include <map>
#include <memory>

#include "DebugPrint.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "foundation/UserDefaults.h"
#include "foundation/WorkQueue.h"
#include "settings/Keys.h"
#include "system/Crypto.h"

namespace parlivo {

namespace {

using platform::Crypto;

void log(std::string_view message) { tovak::debugPrint(WQPasswordHandler::kClassName, message); }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Lower-case hexadecimal only: the form this store writes.
std::optional<std::vector<std::uint8_t>> bytesFromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexValue(hex[i]), low = hexValue(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return bytes;
}

// The newest setPassword per name: an older one finishing later must not overwrite it.
std::map<std::string, std::uint64_t, std::less<>>& setGenerations() {
    static auto* generations = new std::map<std::string, std::uint64_t, std::less<>>();
    return *generations;
}

// The password travels to the worker in this holder, which wipes it when the last copy goes.
struct Secret {
    std::string text;
    explicit Secret(std::string value) : text(std::move(value)) {}
    ~Secret() { Crypto::cleanse(text); }
};

}  // namespace

std::string WQPasswordHandler::key(std::string_view name) {
    return std::string(keys::passwordHandlerPrefix) + std::string(name);
}

bool WQPasswordHandler::hasPassword(std::string_view name) {
    return platform::UserDefaults::standard().stringForKey(key(name)).has_value();
}

std::optional<std::string> WQPasswordHandler::makeRecord(std::string_view password, std::uint32_t iterations) {
    auto salt = Crypto::randomBytes(saltLength);
    if (!salt) return std::nullopt;
    auto derived = Crypto::pbkdf2HmacSha256(password, *salt, iterations, keyLength);
    if (!derived) return std::nullopt;
    std::string record(scheme);
    record += '$';
    record += std::to_string(iterations);
    record += '$';
    record += Crypto::hexString(*salt);
    record += '$';
    record += Crypto::hexString(*derived);
    return record;
}

std::optional<WQPasswordHandler::Record> WQPasswordHandler::parseRecord(std::string_view text) {
    // scheme $ iterations $ salt $ key, nothing more and nothing less.
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (parts.size() < 5) {
        const auto at = text.find('$', start);
        parts.push_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) break;
        start = at + 1;
    }
    if (parts.size() != 4 || parts[0] != scheme) return std::nullopt;

    Record record;
    const auto& digits = parts[1];
    if (digits.empty() || digits.size() > 10 || digits.front() == '0') return std::nullopt;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), record.iterations);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    if (record.iterations == 0 || record.iterations > maximumIterations) return std::nullopt;

    auto salt = bytesFromHex(parts[2]);
    auto derived = bytesFromHex(parts[3]);
    if (!salt || salt->size() < 8 || salt->size() > 64) return std::nullopt;
    if (!derived || derived->size() != keyLength) return std::nullopt;
    record.salt = std::move(*salt);
    record.derivedKey = std::move(*derived);
    return record;
}

bool WQPasswordHandler::isLegacyDigest(std::string_view text) {
    if (text.size() != 64) return false;
    for (char c : text)
        if (hexValue(c) < 0) return false;
    return true;
}

WQPasswordHandler::Verdict WQPasswordHandler::verify(std::string_view password, std::string_view record) {
    if (password.empty()) return Verdict::noMatch;
    if (isLegacyDigest(record))
        return Crypto::constantTimeEquals(Crypto::sha256Hex(password), record) ? Verdict::matchWithLegacyDigest
                                                                               : Verdict::noMatch;
    auto parsed = parseRecord(record);
    if (!parsed) return Verdict::noMatch;
    auto derived = Crypto::pbkdf2HmacSha256(password, parsed->salt, parsed->iterations, keyLength);
    if (!derived) return Verdict::noMatch;
    const std::string_view fresh(reinterpret_cast<const char*>(derived->data()), derived->size());
    const std::string_view stored(reinterpret_cast<const char*>(parsed->derivedKey.data()), parsed->derivedKey.size());
    return Crypto::constantTimeEquals(fresh, stored) ? Verdict::match : Verdict::noMatch;
}

void WQPasswordHandler::setPassword(std::string password, std::string name, std::function<void(bool)> completion) {
    const std::uint64_t generation = ++setGenerations()[name];
    if (password.empty()) {
        // No password is no protection: nothing is stored (and an older set still in flight no
        // longer counts either: the newest call decides, and it stored nothing).
        platform::MainQueue::async([completion = std::move(completion)] {
            if (completion) completion(false);
        });
        return;
    }
    auto secret = std::make_shared<Secret>(std::move(password));
    platform::WorkQueue::global().async([secret, name = std::move(name), generation,
                                         completion = std::move(completion)]() mutable {
        auto record = makeRecord(secret->text);
        secret.reset();
        platform::MainQueue::async([record = std::move(record), name = std::move(name), generation,
                                    completion = std::move(completion)] {
            const bool current = setGenerations()[name] == generation;
            const bool stored = record && current;
            if (stored) {
                platform::UserDefaults::standard().setString(key(name), *record);
            } else if (!record) {
                platform::systemLog("Could not make a password record: no random bytes", platform::LogLevel::error);
            }
            if (completion) completion(stored);
        });
    });
}

void WQPasswordHandler::checkPassword(std::string password, std::string name, std::function<void(bool)> completion) {
    auto stored = platform::UserDefaults::standard().stringForKey(key(name));
    // The empty text opens nothing, even against a record an earlier version made of it.
    if (!stored || password.empty()) {
        Crypto::cleanse(password);
        platform::MainQueue::async([completion = std::move(completion)] {
            if (completion) completion(false);
        });
        return;
    }
    auto secret = std::make_shared<Secret>(std::move(password));
    platform::WorkQueue::global().async([secret, record = std::move(*stored), name = std::move(name),
                                         completion = std::move(completion)]() mutable {
        const Verdict verdict = verify(secret->text, record);
        std::optional<std::string> upgraded;
        if (verdict == Verdict::matchWithLegacyDigest) upgraded = makeRecord(secret->text);
        secret.reset();
        platform::MainQueue::async([verdict, record = std::move(record), upgraded = std::move(upgraded),
                                    name = std::move(name), completion = std::move(completion)] {
            // The old digest goes only if nobody stored another record while we hashed.
            auto& defaults = platform::UserDefaults::standard();
            if (upgraded && defaults.stringForKey(key(name)) == record) {
                defaults.setString(key(name), *upgraded);
                log("Replaced an unsalted password digest with a salted record");
            }
            if (completion) completion(verdict != Verdict::noMatch);
        });
    });
}

}  // namespace parlivo
