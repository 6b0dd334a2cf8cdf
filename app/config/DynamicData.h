#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "TextPatch.h"
#include "foundation/ProcessInfo.h"
#include "system/Error.h"

namespace platform {
class URLSession;
}

namespace parlivo {

// Whether the bytes are UTF-8 text (NUL characters included, as the platform's string decoding
// takes them). A response that is text is a server message, never a payload.
bool isUTF8Text(std::span<const uint8_t> bytes);

// How recorded and chosen videos are converted.
enum class MovieFileMode : int { raw = 0, fFmpeg = 1, avFoundation = 2 };
// None for any raw value outside 0 to 2.
std::optional<MovieFileMode> movieFileModeFromRawValue(int64_t raw);

class DynamicDataDelegate {
public:
    virtual ~DynamicDataDelegate() = default;
    // True when a verified configuration is in `cachedData`; false when the download finally failed.
    virtual void handleConfigurationResult(bool success) = 0;
};

// Every value a payload carries, as one complete load produces it: the one list of the
// configuration's fields. URLs are kept as their absolute texts, already checked to parse.
struct ConfigurationValues {
    std::string version = "-1";
    std::string injectionScriptStart, injectionScriptEnd, couldNotConnect, userAgent;
    bool messageSendingFromNotification = false, draggingOverlay = false, customPageLoading = false;
    std::string pageURL, baseURL;
    std::optional<MovieFileMode> movieFileMode;
    int64_t movieMaximumFileSize = 0, movieTargetFileSize = 0, movieMaximumLength = 0;
    std::vector<std::string> movieExportPresets;
    std::string movieRecordPreset;
    bool disableZoom = false, injectJQuery = false;
    std::string supportPage, FAQ, privacyStatement;
    bool enableSend = false;
    std::vector<TextPatch> patches;
};

// The outcome of one payload check. On failure `errorDescription` holds the code; `replacesError`
// says whether the failing step has an error object of its own (`error`, possibly none) that
// replaces the client's, or leaves the client's as it was.
struct PayloadCheck {
    bool valid = false;
    std::optional<std::string> errorDescription;
    bool replacesError = false;
    std::optional<platform::Error> error;
    ConfigurationValues values;  // complete when valid
};

// The client of the remote configuration: downloads it at every start of the web client and on
// every reload, verifies it, keeps the verified bytes and loads the values from them on demand.
class DynamicData : public std::enable_shared_from_this<DynamicData> {
public:
    static constexpr std::string_view kClassName = "DynamicData";

    // Host names (with an optional ":port") of the two configuration servers, or the file: URL
    // of a payload installed with the program, which then replaces both.
    struct Servers {
        std::string primaryHost;
        std::string secondaryHost;
        std::string bundledPayloadURL = {};
    };

    // The process-wide instance: the shared URL session and the hosts of the main bundle.
    static DynamicData& shared();
    // A separate client (the payload writer's check, tests).
    static std::shared_ptr<DynamicData> create(platform::URLSession& session, Servers servers);
    virtual ~DynamicData() = default;

    // Decompressed payloads larger than this fail as a decompression error, and no download may
    // be larger either.
    static constexpr size_t maximumPayloadSize = 32 * 1024 * 1024;
    // A server's message (a text answer) is kept in errorDescription up to this many bytes.
    static constexpr size_t maximumServerMessageSize = 1024;

    // --- stored fields (main thread) ---
    // Seconds a request may take: 15, or as much longer as a development build's test run says.
    double timeout = 15.0 * platform::ProcessInfo::testTimeScale();
    std::shared_ptr<DynamicDataDelegate> delegate;
    std::optional<std::vector<uint8_t>> cachedData;
    int64_t retryCount = 0;
    int64_t totalRetryCount = 3;
    std::optional<platform::Error> error;
    std::optional<std::string> errorDescription;

    // --- download ---
    virtual void startDownload();
    virtual void finishDownload(bool success);
    virtual void resetValues();
    void sendConfigurationRequest(std::optional<std::vector<uint8_t>> receiptData);
    // The request's completion, on the URL session's queue: verifies there, then hands the result
    // to the main queue, where every field is written.
    void handleConfigurationResponse(std::optional<std::vector<uint8_t>> data, std::optional<platform::Error> error);
    // The download cycle in flight: every startDownload() begins a new one, and the answer of an
    // earlier request that arrives after that is dropped (a reload replaces the cycle in flight).
    uint64_t currentCycle() const { return cycle_.load(); }
    void notifyDelegate();
    std::string configurationBaseURL() const;
    std::string configurationURL() const;
    static bool useAlternateData();
    static bool useSecondServer();

    // --- payload ---
    // Checks `data` and, with `loadValues`, stores every value; sets the error fields on failure.
    // Runs on the caller's thread and touches this object's fields: call it on the main thread.
    bool processConfigurationData(std::span<const uint8_t> data, bool loadValues);
    // The same check without touching any object: safe on any thread. `log` receives the log lines.
    static PayloadCheck checkPayload(std::span<const uint8_t> data, const std::string& applicationVersion,
                                     const std::function<void(std::string_view)>& log = {});

    // --- values: each loads all values from `cachedData` when its own is unset ---
    std::string version() const { return values_ ? values_->version : "0"; }
    std::optional<std::string> injectionScriptStart();  // one-shot
    std::optional<std::string> injectionScriptEnd();    // one-shot
    std::optional<std::string> couldNotConnect();
    std::optional<std::string> userAgent();
    std::optional<bool> messageSendingFromNotification();
    std::optional<bool> draggingOverlay();
    std::optional<bool> customPageLoading();
    std::optional<std::string> pageURL();
    std::optional<std::string> baseURL();
    std::optional<MovieFileMode> movieFileMode();
    std::optional<int64_t> movieMaximumFileSize();
    std::optional<int64_t> movieTargetFileSize();
    std::optional<int64_t> movieMaximumLength();
    std::optional<std::vector<std::string>> movieExportPresets();
    std::optional<std::string> movieRecordPreset();
    std::optional<bool> injectJQuery();
    std::optional<std::string> FAQ();
    virtual std::optional<bool> enableSend();
    std::optional<std::vector<TextPatch>> patches();
    bool dataLoaded() const { return values_.has_value(); }

    // Receives every log line as well as debug output (tests). It is called on the main thread
    // and on the URL session's queue, so it must be thread-safe; setting it is safe at any time.
    void setLogObserver(std::function<void(std::string_view)> observer);

protected:
    DynamicData(platform::URLSession& session, Servers servers);

private:
    void handleResponse(std::optional<std::vector<uint8_t>> data, std::optional<platform::Error> error, uint64_t cycle);
    bool isStale(uint64_t cycle) const;
    void log(std::string_view line) const;
    void clearValues();
    void storeValues(ConfigurationValues values);
    void applyCheckFailure(const PayloadCheck& check);
    // Loads every value from `cachedData` unless loaded.
    void loadIfNeeded();
    template <class T>
    std::optional<T> loaded(T ConfigurationValues::*field);
    std::optional<std::string> takeScript(std::string ConfigurationValues::*script, bool& taken);
    static std::string applicationVersion();

    platform::URLSession& session_;
    Servers servers_;

    // The values of the last load; none until a getter loads them from `cachedData`.
    std::optional<ConfigurationValues> values_;
    // The start and end scripts are handed out once per load.
    bool injectionScriptStartTaken_ = false, injectionScriptEndTaken_ = false;

    mutable std::mutex logMutex_;
    std::function<void(std::string_view)> logObserver_;
    // Each download cycle's number; a reply of an older cycle is dropped.
    std::atomic<uint64_t> cycle_{0};
};

}  // namespace parlivo
