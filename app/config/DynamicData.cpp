#include "DynamicData.h"

#include <glib.h>

#include <cstring>
#include <string>

#include "DebugPrint.h"
#include "EncryptionKey.h"
#include "WQApplicationInfo.h"
#include "foundation/Bundle.h"
#include "foundation/MainQueue.h"
#include "foundation/ProcessInfo.h"
#include "foundation/PropertyList.h"
#include "system/Compression.h"
#include "system/Crypto.h"
#include "system/URLSession.h"

namespace parlivo {
namespace {

using platform::PropertyList;

constexpr int64_t productId = 3200;
constexpr const char* propertyListErrorDomain = "platform.PropertyList";


std::string textOf(std::span<const uint8_t> bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// At most `limit` bytes of valid UTF-8 text, cut before a character that would not fit whole.
std::string utf8Prefix(std::string text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

bool parsesAsURL(const std::string& text) {
    return g_uri_is_valid(text.c_str(), G_URI_FLAGS_NONE, nullptr);
}

// Reads every key of the configuration into `values`; false at the first key that is missing,
// of another type, or unusable (script text that is no UTF-8, a URL that does not parse, a patch
// list that does not decode).
bool readValues(const PropertyList& root, ConfigurationValues& values) {
    auto text = [&](const char* key, std::string& out) {
        const std::string* s = root[key].asString();
        if (s) out = *s;
        return s != nullptr;
    };
    auto script = [&](const char* key, std::string& out) {
        const PropertyList::Data* d = root[key].asData();
        if (!d || !isUTF8Text(*d)) return false;
        out = textOf(*d);
        return true;
    };
    auto flag = [&](const char* key, bool& out) {
        auto b = root[key].asBool();
        if (b) out = *b;
        return b.has_value();
    };
    auto integer = [&](const char* key, int64_t& out) {
        auto i = root[key].asInt();
        if (i) out = *i;
        return i.has_value();
    };
    auto url = [&](const char* key, std::string& out) { return text(key, out) && parsesAsURL(out); };

    if (!text("DynamicDataVersion", values.version)) values.version = "-1";
    if (!script("InjectJsStart", values.injectionScriptStart) || !script("InjectJsEnd", values.injectionScriptEnd) ||
        !script("CouldNotConnect", values.couldNotConnect) || !text("UserAgent", values.userAgent) ||
        !flag("AllowMessageSendingFromNotification", values.messageSendingFromNotification) ||
        !flag("AddDraggingOverlay", values.draggingOverlay) || !flag("CustomPageLoading", values.customPageLoading) ||
        !url("PageURL", values.pageURL) || !url("BaseURL", values.baseURL))
        return false;
    int64_t mode = 0;
    if (!integer("MovieFileMode", mode)) return false;
    values.movieFileMode = movieFileModeFromRawValue(mode);
    if (!integer("MovieMaximumFileSize", values.movieMaximumFileSize) ||
        !integer("MovieTargetFileSize", values.movieTargetFileSize) ||
        !integer("MovieMaximumLength", values.movieMaximumLength))
        return false;
    const PropertyList::Array* presets = root["MovieExportPresets"].asArray();
    if (!presets) return false;
    values.movieExportPresets.clear();
    for (const auto& preset : *presets) {
        const std::string* s = preset.asString();
        if (!s) return false;
        values.movieExportPresets.push_back(*s);
    }
    if (!text("MovieRecordPreset", values.movieRecordPreset)) return false;
    values.disableZoom = root["DisableZoom"].asBool().value_or(false);
    values.injectJQuery = root["InjectJQuery"].asBool().value_or(false);
    if (!url("SupportPageURL", values.supportPage) || !url("FAQURL", values.FAQ) ||
        !url("PrivacyURL", values.privacyStatement) || !flag("Send", values.enableSend))
        return false;
    const PropertyList::Data* archive = root["Patches"].asData();
    if (!archive) return false;
    auto patches = TextPatch::unarchiveList(*archive);
    if (!patches) return false;
    values.patches = std::move(*patches);
    return true;
}

}  // namespace

bool isUTF8Text(std::span<const uint8_t> bytes) {
    const uint8_t* p = bytes.data();
    const uint8_t* const end = p + bytes.size();
    while (p < end) {
        // Scripts are mostly ASCII: skip eight such bytes at a time.
        while (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ull) break;
            p += 8;
        }
        if (p == end) break;
        const uint8_t lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        ptrdiff_t continuation;
        uint32_t codePoint;
        if (lead >= 0xC2 && lead <= 0xDF) {
            continuation = 1;
            codePoint = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            continuation = 2;
            codePoint = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            continuation = 3;
            codePoint = lead & 0x07;
        } else {
            return false;
        }
        if (end - p <= continuation) return false;
        for (ptrdiff_t i = 1; i <= continuation; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            codePoint = codePoint << 6 | (p[i] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if (continuation == 2 && (codePoint < 0x800 || (codePoint >= 0xD800 && codePoint <= 0xDFFF))) return false;
        if (continuation == 3 && (codePoint < 0x10000 || codePoint > 0x10FFFF)) return false;
        p += continuation + 1;
    }
    return true;
}

std::optional<MovieFileMode> movieFileModeFromRawValue(int64_t raw) {
    if (raw < 0 || raw > 2) return std::nullopt;
    return MovieFileMode(raw);
}

// --- construction ---

DynamicData::DynamicData(platform::URLSession& session, Servers servers)
    : session_(session), servers_(std::move(servers)) {}

DynamicData& DynamicData::shared() {
    // Never destroyed: completions on the session's queue keep working until exit. The reference
    // is never released, so the object outlives every static destructor.
    static const auto* keeper = [] {
        const auto& bundle = platform::Bundle::main();
        Servers servers{bundle.infoString("ParlivoConfigurationHost").value_or(""),
                        bundle.infoString("ParlivoConfigurationHost2").value_or(""), ""};
        // An installed program reads the payload installed beside its resources (the build's
        // choice, PARLIVO_CONFIG_SOURCE): same client, same checks, no server needed.
        if (auto file = bundle.infoString("ParlivoConfigurationFile"); file && !file->empty()) {
            if (gchar* uri = g_filename_to_uri((bundle.resourcePath() / *file).c_str(), nullptr, nullptr)) {
                servers.bundledPayloadURL = uri;
                g_free(uri);
            }
        }
        // A development build asks the server its environment names, when it names one:
        // scripts/run serves on a free port, and tests point the program at their own servers.
        if (auto host = platform::ProcessInfo::developmentEnvironment("PARLIVO_CONFIG_HOST"); !host.empty()) {
            auto second = platform::ProcessInfo::developmentEnvironment("PARLIVO_CONFIG_HOST2");
            servers = {host, second.empty() ? host : second, ""};
        }
        return new std::shared_ptr<DynamicData>(create(platform::URLSession::shared(), std::move(servers)));
    }();
    return **keeper;
}

std::shared_ptr<DynamicData> DynamicData::create(platform::URLSession& session, Servers servers) {
    return std::shared_ptr<DynamicData>(new DynamicData(session, std::move(servers)));
}

void DynamicData::log(std::string_view line) const {
    tovak::debugPrint(kClassName, line);
    std::function<void(std::string_view)> observer;
    {
        std::lock_guard lock(logMutex_);
        observer = logObserver_;
    }
    if (observer) observer(line);
}

void DynamicData::setLogObserver(std::function<void(std::string_view)> observer) {
    std::lock_guard lock(logMutex_);
    logObserver_ = std::move(observer);
}

std::string DynamicData::applicationVersion() {
    return tovak::WQApplicationInfo::bundleVersionString();
}

// --- download ---

void DynamicData::startDownload() {
    ++cycle_;
    resetValues();
    sendConfigurationRequest(std::nullopt);
}

void DynamicData::resetValues() {
    error.reset();
    errorDescription.reset();
    clearValues();
}

void DynamicData::clearValues() {
    values_.reset();
    injectionScriptStartTaken_ = injectionScriptEndTaken_ = false;
}

bool DynamicData::useAlternateData() {
    return platform::ProcessInfo::hasArgument("-alternate");
}

bool DynamicData::useSecondServer() {
    return platform::ProcessInfo::hasArgument("-server2");
}

std::string DynamicData::configurationBaseURL() const {
    return "https://" + (useSecondServer() ? servers_.secondaryHost : servers_.primaryHost) + "/ParlivoForWhatsApp/";
}

std::string DynamicData::configurationURL() const {
    if (!servers_.bundledPayloadURL.empty()) return servers_.bundledPayloadURL;
    return configurationBaseURL() + applicationVersion() + "/Data/GetDynamicData" +
           (useAlternateData() ? "Alternate" : "") + ".php";
}

void DynamicData::sendConfigurationRequest(std::optional<std::vector<uint8_t>> receiptData) {
    platform::URLRequest request;
    request.url = configurationURL();
    request.method = "POST";
    request.timeoutSeconds = timeout;
    // A payload is never larger than what it may decompress to; a larger answer is cut off.
    request.maximumBodySize = maximumPayloadSize;
    if (!servers_.bundledPayloadURL.empty()) {
        // A file has no request body to take.
        request.method = "GET";
        request.fileURL = true;
    }
    const std::string receipt = receiptData ? platform::Crypto::base64(*receiptData) : std::string();
    // Base64 needs no JSON escaping.
    const std::string body = "{\"receipt-data\":\"" + receipt + "\"}";
    if (!request.fileURL) request.body.assign(body.begin(), body.end());
    log("Downloading Data from " + request.url);

    auto self = shared_from_this();
    const uint64_t cycle = cycle_.load();
    session_.dataTask(std::move(request), [self, cycle](std::optional<std::vector<uint8_t>> data,
                                                        std::optional<platform::URLResponse>,
                                                        std::optional<platform::Error> transportError) {
        self->handleResponse(std::move(data), std::move(transportError), cycle);
    });
}

void DynamicData::handleConfigurationResponse(std::optional<std::vector<uint8_t>> data,
                                              std::optional<platform::Error> transportError) {
    handleResponse(std::move(data), std::move(transportError), cycle_.load());
}

bool DynamicData::isStale(uint64_t cycle) const {
    if (cycle == cycle_.load()) return false;
    log("Dropped the answer of a download that a newer one replaced");
    return true;
}

void DynamicData::handleResponse(std::optional<std::vector<uint8_t>> data,
                                 std::optional<platform::Error> transportError, uint64_t cycle) {
    // Only local values here: the fields belong to the main thread.
    auto self = shared_from_this();
    if (transportError) {
        log("Error Downloading: " + transportError->description());
        platform::MainQueue::async([self, cycle, e = std::move(*transportError)] {
            if (self->isStale(cycle)) return;
            self->error = e;
            self->errorDescription = "Error DD01";
            self->finishDownload(false);
        });
        return;
    }
    if (!data) {
        log("Error Downloading: No valid data");
        platform::MainQueue::async([self, cycle] {
            if (self->isStale(cycle)) return;
            self->errorDescription = "Error DD04";
            self->finishDownload(false);
        });
        return;
    }
    log("Data recieved -> Have to Verify");
    if (isUTF8Text(*data)) {
        // A server's message is shown to the user and logged: only its start is kept.
        std::string text = utf8Prefix(textOf(*data), maximumServerMessageSize);
        log("Data converts to string -> FAIL: " + text);
        platform::MainQueue::async([self, cycle, text = std::move(text)] {
            if (self->isStale(cycle)) return;
            self->errorDescription = "Error DD02: " + text;
            self->finishDownload(false);
        });
        return;
    }
    PayloadCheck check = checkPayload(*data, applicationVersion(), [self](std::string_view line) { self->log(line); });
    if (check.valid) {
        log("Downloaded data verified successfully -> Updating cache");
        platform::MainQueue::async([self, cycle, bytes = std::move(*data)]() mutable {
            if (self->isStale(cycle)) return;
            self->cachedData = std::move(bytes);
            // Values loaded from the old bytes must not outlive them.
            self->clearValues();
            self->notifyDelegate();
        });
        return;
    }
    log("Downloaded data verification failed");
    check.values = {};
    platform::MainQueue::async([self, cycle, check = std::move(check)] {
        if (self->isStale(cycle)) return;
        self->applyCheckFailure(check);
        if (!self->errorDescription) self->errorDescription = "Error DD03";
        self->finishDownload(false);
    });
}

void DynamicData::notifyDelegate() {
    if (delegate) delegate->handleConfigurationResult(true);
}

void DynamicData::finishDownload(bool success) {
    if (success) {
        if (delegate) delegate->handleConfigurationResult(true);
        return;
    }
    retryCount += 1;
    if (retryCount <= 2) {
        log("Retrying: " + std::to_string(retryCount) + " of " + std::to_string(totalRetryCount));
        startDownload();
        return;
    }
    retryCount = 0;
    if (delegate) delegate->handleConfigurationResult(false);
}

// --- payload ---

PayloadCheck DynamicData::checkPayload(std::span<const uint8_t> data, const std::string& applicationVersion,
                                       const std::function<void(std::string_view)>& log) {
    auto say = [&](std::string_view line) {
        if (log) log(line);
    };
    PayloadCheck check;
    auto failWith = [&](const char* code, bool replacesError, std::optional<platform::Error> e = std::nullopt) {
        check.errorDescription = code;
        check.replacesError = replacesError;
        check.error = std::move(e);
        return check;
    };

    say("Decrypting");
    platform::Error stepError;
    auto plaintext = platform::Crypto::aes128CbcDecrypt(data, EncryptionKey::key(), EncryptionKey::iv(), &stepError);
    if (!plaintext) {
        say("Decryption failed");
        return failWith("Error DD11", true, stepError);
    }
    say("Decryption Successful");
    say("Decompressing");
    auto inflated = platform::Compression::decompress(*plaintext, maximumPayloadSize, &stepError);
    if (!inflated) {
        say("Decompression Failed");
        return failWith("Error DD13", true, stepError);
    }
    if (inflated->empty()) {
        say("Decompression Failed");
        return failWith("Error DD12", true);
    }

    auto root = PropertyList::parse(*inflated);
    if (!root) return failWith("Error DD15", true, platform::Error{propertyListErrorDomain, 1, root.error().message});
    if (!root->isDictionary()) return failWith("Error DD14", true);
    say("Deserialization Successful");

    auto productMatches = [&] { return (*root)["ProductId"].asInt() == productId; };
    auto versionMatches = [&] {
        const std::string* v = (*root)["Version"].asString();
        return v && *v == applicationVersion;
    };
    if (!productMatches()) return failWith("Error DD16", false);
    if (!versionMatches()) return failWith("Error DD17", false);
    // The second pass covers every key a load needs, so nothing that passes here fails later.
    if (!readValues(*root, check.values)) return failWith("Error DD99", false);
    say("Validation Successful");
    check.valid = true;
    return check;
}

void DynamicData::applyCheckFailure(const PayloadCheck& check) {
    errorDescription = check.errorDescription;
    if (check.replacesError) error = check.error;
}

bool DynamicData::processConfigurationData(std::span<const uint8_t> data, bool loadValues) {
    PayloadCheck check = checkPayload(data, applicationVersion(), [this](std::string_view line) { log(line); });
    if (!check.valid) {
        applyCheckFailure(check);
        return false;
    }
    if (!loadValues) return true;
    storeValues(std::move(check.values));
    return true;
}

void DynamicData::storeValues(ConfigurationValues values) {
    log("Load Values: " + values.version);
    values_ = std::move(values);
    injectionScriptStartTaken_ = injectionScriptEndTaken_ = false;
}

// --- getters ---

void DynamicData::loadIfNeeded() {
    if (values_ || !cachedData) return;
    // Copy first: a load never reads from bytes that a store could replace under it.
    const std::vector<uint8_t> bytes = *cachedData;
    processConfigurationData(bytes, true);
}

template <class T>
std::optional<T> DynamicData::loaded(T ConfigurationValues::*field) {
    loadIfNeeded();
    if (!values_) return std::nullopt;
    return (*values_).*field;
}

std::optional<std::string> DynamicData::takeScript(std::string ConfigurationValues::*script, bool& taken) {
    // A script already handed out loads everything again (when there are bytes to load from).
    if (taken && cachedData) clearValues();
    loadIfNeeded();
    if (!values_ || taken) return std::nullopt;
    taken = true;
    return (*values_).*script;
}

std::optional<std::string> DynamicData::injectionScriptStart() {
    return takeScript(&ConfigurationValues::injectionScriptStart, injectionScriptStartTaken_);
}

std::optional<std::string> DynamicData::injectionScriptEnd() {
    return takeScript(&ConfigurationValues::injectionScriptEnd, injectionScriptEndTaken_);
}

std::optional<std::string> DynamicData::couldNotConnect() { return loaded(&ConfigurationValues::couldNotConnect); }
std::optional<std::string> DynamicData::userAgent() { return loaded(&ConfigurationValues::userAgent); }
std::optional<bool> DynamicData::messageSendingFromNotification() {
    return loaded(&ConfigurationValues::messageSendingFromNotification);
}
std::optional<bool> DynamicData::draggingOverlay() { return loaded(&ConfigurationValues::draggingOverlay); }
std::optional<bool> DynamicData::customPageLoading() { return loaded(&ConfigurationValues::customPageLoading); }
std::optional<std::string> DynamicData::pageURL() { return loaded(&ConfigurationValues::pageURL); }
std::optional<std::string> DynamicData::baseURL() { return loaded(&ConfigurationValues::baseURL); }
std::optional<int64_t> DynamicData::movieMaximumFileSize() { return loaded(&ConfigurationValues::movieMaximumFileSize); }
std::optional<int64_t> DynamicData::movieTargetFileSize() { return loaded(&ConfigurationValues::movieTargetFileSize); }
std::optional<int64_t> DynamicData::movieMaximumLength() { return loaded(&ConfigurationValues::movieMaximumLength); }
std::optional<std::vector<std::string>> DynamicData::movieExportPresets() {
    return loaded(&ConfigurationValues::movieExportPresets);
}
std::optional<std::string> DynamicData::movieRecordPreset() { return loaded(&ConfigurationValues::movieRecordPreset); }
std::optional<bool> DynamicData::injectJQuery() { return loaded(&ConfigurationValues::injectJQuery); }
std::optional<std::string> DynamicData::FAQ() { return loaded(&ConfigurationValues::FAQ); }
std::optional<bool> DynamicData::enableSend() { return loaded(&ConfigurationValues::enableSend); }
std::optional<std::vector<TextPatch>> DynamicData::patches() { return loaded(&ConfigurationValues::patches); }

std::optional<MovieFileMode> DynamicData::movieFileMode() {
    // Out of range reads as no value, like an unloaded one.
    return loaded(&ConfigurationValues::movieFileMode).value_or(std::nullopt);
}

}  // namespace parlivo
