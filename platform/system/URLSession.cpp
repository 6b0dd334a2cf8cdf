#include "URLSession.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string_view>

#include "foundation/Bundle.h"
#include "foundation/Text.h"

namespace platform {
namespace {

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct BodySink {
    std::vector<uint8_t> bytes;
    size_t limit;
};

// True when the transfer failed on a connection that was reset or closed before any of the
// answer arrived, and sending the request again cannot do anything twice.
bool wasResetBeforeAnswer(CURL* h, CURLcode result, const std::string& method) {
    switch (result) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        break;
    default:
        return false;
    }
    long osErrno = 0, headerBytes = 0, requestBytes = 0;
    curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &osErrno);
    curl_easy_getinfo(h, CURLINFO_HEADER_SIZE, &headerBytes);
    curl_easy_getinfo(h, CURLINFO_REQUEST_SIZE, &requestBytes);
    if (headerBytes > 0) return false;
    if (osErrno != 0 && osErrno != ECONNRESET && osErrno != ENOTCONN && osErrno != EPIPE) return false;
    return requestBytes == 0 || method == "GET" || method == "HEAD";
}

size_t appendBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<BodySink*>(user);
    const size_t n = size * count;
    if (n > sink->limit - sink->bytes.size()) return 0;  // aborts the transfer
    sink->bytes.insert(sink->bytes.end(), data, data + n);
    return n;
}

// Transfers under way in the whole process, and whether the process is ending. libcurl and
// OpenSSL must be left alone before the process's exit handlers tear OpenSSL down, or a worker
// still in a handshake crashes the exit.
struct Transfers {
    std::mutex mutex;
    std::condition_variable idle;
    int running = 0;
    std::atomic<bool> ending{false};

    static Transfers& shared() {
        static auto* transfers = new Transfers();  // never destroyed: workers may outlive main
        return *transfers;
    }
};

// Counts one transfer for as long as it lives.
class TransferScope {
public:
    TransferScope() {
        std::lock_guard lock(Transfers::shared().mutex);
        ++Transfers::shared().running;
    }
    ~TransferScope() {
        auto& transfers = Transfers::shared();
        std::lock_guard lock(transfers.mutex);
        if (--transfers.running == 0) transfers.idle.notify_all();
    }
    TransferScope(const TransferScope&) = delete;
    TransferScope& operator=(const TransferScope&) = delete;
};

// Stops the transfer once its request has been cancelled or the process is ending; libcurl asks
// at least about once a second, also while nothing moves.
int abortWhenCancelled(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    if (Transfers::shared().ending.load()) return 1;
    const auto* cancellation = static_cast<const std::atomic<bool>*>(user);
    return cancellation && cancellation->load() ? 1 : 0;
}

// Adds the extra CA to the verification store, after the system's default locations are loaded,
// so both are trusted. Verification itself stays on.
CURLcode addExtraCA(CURL*, void* sslContext, void* user) {
    const auto* path = static_cast<const std::string*>(user);
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    if (!store || X509_STORE_load_file(store, path->c_str()) != 1) return CURLE_SSL_CACERT_BADFILE;
    return CURLE_OK;
}

}  // namespace

// Enough for the page's own fetches beside a download or two; more would only compete for the
// same link.
constexpr unsigned kConcurrentTransfers = 4;

URLSession::URLSession(Configuration configuration)
    : configuration_(std::move(configuration)),
      queue_(std::make_unique<WorkQueue>(configuration_.label)),
      transfers_(std::make_unique<WorkQueue>(configuration_.label + ".transfers", kConcurrentTransfers)) {
    initialiseCurlOnce();
}

URLSession::~URLSession() = default;

bool URLSession::endAllTransfers(double seconds) {
    auto& transfers = Transfers::shared();
    transfers.ending = true;
    std::unique_lock lock(transfers.mutex);
    return transfers.idle.wait_for(lock, std::chrono::duration<double>(seconds),
                                   [&] { return transfers.running == 0; });
}

URLSession& URLSession::shared() {
    // Never destroyed: a completion may still be queued while the process exits.
    static URLSession* session = new URLSession(Configuration{
        Bundle::main().infoString("ParlivoConfigurationCAFile").value_or(std::string()), "URLSession.shared"});
    return *session;
}

void URLSession::dataTask(URLRequest request, Completion completion) {
    transfers_->async([this, request = std::move(request), completion = std::move(completion)]() mutable {
        perform(request, [this, &completion](std::optional<std::vector<uint8_t>> data,
                                              std::optional<URLResponse> response, std::optional<Error> error) {
            queue_->async([completion = std::move(completion), data = std::move(data),
                           response = std::move(response), error = std::move(error)]() mutable {
                completion(std::move(data), std::move(response), std::move(error));
            });
        });
    });
}

Error URLSession::errorForCurlCode(int curlCode, long osErrno, const std::string& detail) {
    long code = URLErrorCode::unknown;
    std::string message = detail.empty() ? curl_easy_strerror(CURLcode(curlCode)) : detail;
    switch (CURLcode(curlCode)) {
    case CURLE_OPERATION_TIMEDOUT:
        code = URLErrorCode::timedOut;
        break;
    case CURLE_COULDNT_RESOLVE_HOST:
        code = URLErrorCode::cannotFindHost;
        break;
    case CURLE_COULDNT_CONNECT:
        code = (osErrno == ENETUNREACH || osErrno == ENETDOWN) ? URLErrorCode::notConnectedToInternet
                                                               : URLErrorCode::cannotConnectToHost;
        break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_USE_SSL_FAILED:
        code = URLErrorCode::secureConnectionFailed;
        break;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_WRITE_ERROR:
        code = URLErrorCode::networkConnectionLost;
        break;
    case CURLE_ABORTED_BY_CALLBACK:
        code = URLErrorCode::cancelled;
        break;
    case CURLE_URL_MALFORMAT:
        code = URLErrorCode::badURL;
        break;
    case CURLE_UNSUPPORTED_PROTOCOL:
        code = URLErrorCode::unsupportedURL;
        break;
    case CURLE_FILE_COULDNT_READ_FILE:
        code = URLErrorCode::fileDoesNotExist;
        break;
    default:
        break;
    }
    return Error{URLErrorDomain, code, std::move(message)};
}

std::optional<std::string> URLSession::requestProblem(const URLRequest& request) {
    // A line break (or NUL) in a header would end it early and start another of the sender's
    // choosing; a method is a token for the same reason.
    auto isToken = [](std::string_view text) {
        return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
        });
    };
    if (!isToken(request.method)) return "the request method is not a token";
    for (const auto& [name, value] : request.headers) {
        if (!isToken(name)) return "the request header name \"" + name + "\" is not a token";
        if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            return "the value of the request header \"" + name + "\" holds a line break";
    }
    return std::nullopt;
}

void URLSession::perform(const URLRequest& request, const Completion& completion) {
    const TransferScope scope;
    if (Transfers::shared().ending.load()) {
        completion(std::nullopt, std::nullopt, Error{URLErrorDomain, URLErrorCode::cancelled, "cancelled"});
        return;
    }
    if (auto problem = requestProblem(request)) {
        completion(std::nullopt, std::nullopt, Error{URLErrorDomain, URLErrorCode::badURL, *problem});
        return;
    }
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        completion(std::nullopt, std::nullopt, Error{URLErrorDomain, URLErrorCode::unknown, "cannot start transfer"});
        return;
    }
    CURL* h = curl.get();
    BodySink body{{}, request.maximumBodySize};
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_slist* headers = nullptr;
    // No "Expect: 100-continue" round trip, and no Content-Type we were not asked for (libcurl
    // would label every body as a form).
    headers = curl_slist_append(headers, "Expect:");
    const bool hasContentType = std::any_of(request.headers.begin(), request.headers.end(), [](const auto& header) {
        return equalsIgnoringCase(header.first, "Content-Type");
    });
    if (!hasContentType) headers = curl_slist_append(headers, "Content-Type:");
    for (const auto& [name, value] : request.headers) headers = curl_slist_append(headers, (name + ": " + value).c_str());
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerGuard(headers, &curl_slist_free_all);

    // Every option must take: a refused one (the protocol rule above all) would otherwise be
    // lost without a word, and the transfer run without it.
    CURLcode refused = CURLE_OK;
    const char* refusedOption = "";
    auto set = [&](CURLoption option, const char* name, auto value) {
        if (refused != CURLE_OK) return;
        if (const CURLcode code = curl_easy_setopt(h, option, value); code != CURLE_OK) {
            refused = code;
            refusedOption = name;
        }
    };
    set(CURLOPT_URL, "URL", request.url.c_str());
    set(CURLOPT_NOSIGNAL, "NOSIGNAL", 1L);
    set(CURLOPT_ERRORBUFFER, "ERRORBUFFER", errorBuffer);
    set(CURLOPT_PROTOCOLS_STR, "PROTOCOLS_STR", request.fileURL ? "file" : "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "REDIR_PROTOCOLS_STR", "https");
    set(CURLOPT_FOLLOWLOCATION, "FOLLOWLOCATION", 1L);
    set(CURLOPT_MAXREDIRS, "MAXREDIRS", 10L);
    set(CURLOPT_TIMEOUT_MS, "TIMEOUT_MS", long(request.timeoutSeconds * 1000));
    set(CURLOPT_CONNECTTIMEOUT_MS, "CONNECTTIMEOUT_MS", long(request.timeoutSeconds * 1000));
    set(CURLOPT_SSL_VERIFYPEER, "SSL_VERIFYPEER", 1L);
    set(CURLOPT_SSL_VERIFYHOST, "SSL_VERIFYHOST", 2L);
    set(CURLOPT_WRITEFUNCTION, "WRITEFUNCTION", &appendBody);
    set(CURLOPT_WRITEDATA, "WRITEDATA", static_cast<void*>(&body));
    set(CURLOPT_HTTPHEADER, "HTTPHEADER", headers);
    if (request.stallTimeoutSeconds > 0) {
        set(CURLOPT_LOW_SPEED_LIMIT, "LOW_SPEED_LIMIT", 1L);
        set(CURLOPT_LOW_SPEED_TIME, "LOW_SPEED_TIME", std::max(1L, long(request.stallTimeoutSeconds + 0.5)));
    }
    if (request.cancellation && request.cancellation->load()) {
        completion(std::nullopt, std::nullopt, Error{URLErrorDomain, URLErrorCode::cancelled, "cancelled"});
        return;
    }
    set(CURLOPT_NOPROGRESS, "NOPROGRESS", 0L);
    set(CURLOPT_XFERINFOFUNCTION, "XFERINFOFUNCTION", &abortWhenCancelled);
    set(CURLOPT_XFERINFODATA, "XFERINFODATA",
        static_cast<void*>(const_cast<std::atomic<bool>*>(request.cancellation.get())));
    if (!configuration_.extraCAFile.empty()) {
        set(CURLOPT_SSL_CTX_FUNCTION, "SSL_CTX_FUNCTION", &addExtraCA);
        set(CURLOPT_SSL_CTX_DATA, "SSL_CTX_DATA", static_cast<const void*>(&configuration_.extraCAFile));
    }
    // An empty body still needs a non-null pointer, or libcurl reads the body from stdin.
    static const char emptyBody[] = "";
    const void* bodyBytes = request.body.empty() ? static_cast<const void*>(emptyBody) : request.body.data();
    if (request.method == "POST") {
        set(CURLOPT_POST, "POST", 1L);
        set(CURLOPT_POSTFIELDS, "POSTFIELDS", bodyBytes);
        set(CURLOPT_POSTFIELDSIZE_LARGE, "POSTFIELDSIZE_LARGE", curl_off_t(request.body.size()));
    } else if (request.method != "GET") {
        set(CURLOPT_CUSTOMREQUEST, "CUSTOMREQUEST", request.method.c_str());
        if (!request.body.empty()) {
            set(CURLOPT_POSTFIELDS, "POSTFIELDS", bodyBytes);
            set(CURLOPT_POSTFIELDSIZE_LARGE, "POSTFIELDSIZE_LARGE", curl_off_t(request.body.size()));
        }
    }
    if (refused != CURLE_OK) {
        completion(std::nullopt, std::nullopt,
                   Error{URLErrorDomain, URLErrorCode::unknown,
                         std::string("cannot configure the transfer (") + refusedOption +
                             "): " + curl_easy_strerror(refused)});
        return;
    }

    const auto started = std::chrono::steady_clock::now();
    CURLcode result = curl_easy_perform(h);
    // A connection the server reset before a byte of its answer came back (a busy server whose
    // accept queue overflowed does this) is tried once more on a new connection: a request that
    // went nowhere, or a GET or HEAD that changes nothing on the server. A POST the server may
    // have read is never sent twice.
    if (result != CURLE_OK && wasResetBeforeAnswer(h, result, request.method) &&
        !(request.cancellation && request.cancellation->load())) {
        const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const long remaining = long((request.timeoutSeconds - spent) * 1000);
        if (request.timeoutSeconds <= 0 || remaining > 0) {
            body.bytes.clear();
            errorBuffer[0] = '\0';
            curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
            if (request.timeoutSeconds > 0) curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, remaining);
            result = curl_easy_perform(h);
        }
    }
    if (result != CURLE_OK) {
        long osErrno = 0;
        curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &osErrno);
        completion(std::nullopt, std::nullopt, errorForCurlCode(result, osErrno, errorBuffer));
        return;
    }
    URLResponse response;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.statusCode);
    char* effective = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective) response.url = effective;
    completion(std::move(body.bytes), response, std::nullopt);
}

}  // namespace platform
