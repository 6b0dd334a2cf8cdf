#include "Standin.h"

#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "Json.h"
#include "RunLoop.h"

namespace fs = std::filesystem;

namespace testsupport {

bool writeText(const fs::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), std::streamsize(text.size()));
    return bool(out.flush());
}

namespace {

using platform::PropertyList;

std::optional<PropertyList> readPropertyList(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto list = PropertyList::parse(bytes);
    if (!list || !list->isDictionary()) return std::nullopt;
    return std::move(*list);
}

// A configuration's manifest (the stand-in's by default) with `values` put in and its file paths
// made absolute, packed.
std::optional<fs::path> packVariant(const std::map<std::string, PropertyList>& values, fs::path configDirectory,
                                    const fs::path& directory, std::string* error) {
    if (configDirectory.empty()) configDirectory = fs::path(PARLIVO_FIXTURES_DIR) / "standin" / "config";
    auto manifest = readPropertyList(configDirectory / "manifest.plist");
    if (!manifest) {
        *error = "cannot read the manifest of " + configDirectory.string();
        return std::nullopt;
    }
    PropertyList manifestValues = (*manifest)["Values"];
    for (const auto& [key, value] : values) manifestValues.set(key, value);
    manifest->set("Values", manifestValues);
    PropertyList files = (*manifest)["Files"];
    for (auto& [key, value] : *files.asDictionary())
        if (const std::string* path = value.asString()) value = PropertyList((configDirectory / *path).string());
    manifest->set("Files", files);
    if (const std::string* patches = (*manifest)["Patches"].asString())
        manifest->set("Patches", (configDirectory / *patches).string());
    const fs::path manifestPath = directory / "manifest.plist", payload = directory / "standin.payload";
    if (!writeText(manifestPath, manifest->toXml())) {
        *error = "cannot write " + manifestPath.string();
        return std::nullopt;
    }
    ChildProcess pack({{PARLIVO_BIN_DIR "/parlivo-config", "pack", manifestPath.string(), "-o", payload.string()}, {}, {}, {}});
    if (!pack.waitForExit(120) || pack.exitStatus() != 0) {
        *error = "parlivo-config pack failed: " + pack.output();
        return std::nullopt;
    }
    return payload;
}

bool isRecord(const PageRecord& record, std::string_view type, std::string_view name) {
    return record.type == type && (name.empty() || record.name == name);
}

}  // namespace

fs::path makeTemporaryDirectory(std::string_view prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = (fs::path(base && *base ? base : "/tmp") / (std::string(prefix) + ".XXXXXX")).string();
    if (!mkdtemp(pattern.data())) return {};
    return pattern;
}

// --- StandinServer -----------------------------------------------------------------------

StandinServer::StandinServer() : StandinServer(Options{}) {}

StandinServer::StandinServer(Options options) : options_(std::move(options)) {
    workDirectory_ = makeTemporaryDirectory("standin-server");
    fs::path payload = options_.payload.empty() ? fs::path(PARLIVO_BUILD_DIR "/config/standin.payload") : options_.payload;
    if (!options_.values.empty()) {
        auto packed = packVariant(options_.values, options_.configDirectory, workDirectory_, &error_);
        if (!packed) return;
        payload = *packed;
    }
    const fs::path pages =
        options_.pageDirectory.empty() ? fs::path(PARLIVO_FIXTURES_DIR) / "standin" / "page" : options_.pageDirectory;
    std::vector<std::string> argv{PARLIVO_BIN_DIR "/parlivo-config", "serve", "--payload", payload.string(),
                                  "--static", pages.string(), "--page-channel"};
    if (!options_.answers.empty()) {
        std::string answers;
        for (const auto& answer : options_.answers) answers += (answers.empty() ? "" : ",") + answer;
        argv.insert(argv.end(), {"--answers", answers});
    }
    process_ = std::make_unique<ChildProcess>(
        ChildProcess::Options{argv, {}, {}, [this](std::string_view line, bool error) { onLine(line, error); }});
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, deadlineAfter(60), [&] { return port_ != 0 || !process_->running(); });
    if (port_ <= 0) {
        lock.unlock();
        error_ = "parlivo-config serve did not start: " + process_->output();
    }
}

StandinServer::~StandinServer() {
    if (process_) process_->stop(5);
    std::error_code ignored;
    if (!workDirectory_.empty()) fs::remove_all(workDirectory_, ignored);
}

void StandinServer::onLine(std::string_view line, bool error) {
    std::lock_guard lock(mutex_);
    if (error) {
        if (line.find("POST /ParlivoForWhatsApp/") == 0) ++configurationRequests_;
        log_.emplace_back(line);
    } else if (port_ == 0 && !line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) {
        port_ = std::atoi(std::string(line).c_str());
    } else {
        PageRecord record;
        record.index = records_.size();
        record.json = std::string(line);
        std::string parseError;
        auto value = parseJSON(line, &parseError);
        if (!value) {
            record.type = "unreadable";
        } else {
            record.value = std::move(*value);
            record.seq = record.value["seq"].asInt().value_or(0);
            record.type = record.value["type"].stringOr();
            record.name = record.value["name"].stringOr();
        }
        records_.push_back(std::move(record));
    }
    changed_.notify_all();
}

std::string StandinServer::origin() const {
    return "https://127.0.0.1:" + std::to_string(port_);
}

std::string StandinServer::pageURL(std::string_view query) const {
    // "/": the server answers it with index.html, and the program's policy follows it (a path with
    // an extension would be a file download).
    std::string url = origin() + "/";
    if (!query.empty()) url += "?" + std::string(query);
    return url;
}

int64_t StandinServer::post(std::string_view handler, const PropertyList& body) {
    if (!process_) return 0;
    PropertyList command = PropertyList::dictionary();
    command.set("post", std::string(handler));
    command.set("body", body);
    std::lock_guard lock(sendMutex_);
    process_->writeLine(toJSON(command));
    return ++commandsSent_;
}

int64_t StandinServer::eval(std::string_view script) {
    if (!process_) return 0;
    std::lock_guard lock(sendMutex_);
    process_->writeLine("{\"eval\":" + jsonString(script) + "}");
    return ++commandsSent_;
}

std::optional<PageRecord> StandinServer::waitForCommand(int64_t command, double timeoutSeconds) {
    return waitFor(
        [command](const PageRecord& record) {
            return (record.type == "posted" || record.type == "evaluated" || record.type == "error") &&
                   record["command"].asInt() == command;
        },
        timeoutSeconds);
}

std::vector<PageRecord> StandinServer::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

size_t StandinServer::mark() const {
    std::lock_guard lock(mutex_);
    return records_.size();
}

std::optional<PageRecord> StandinServer::waitFor(const RecordMatcher& matcher, double timeoutSeconds, size_t from) {
    std::unique_lock lock(mutex_);
    return waitForRecord(lock, changed_, records_, matcher, timeoutSeconds, from);
}

std::optional<PageRecord> StandinServer::waitForCall(std::string_view name, double timeoutSeconds, size_t from) {
    return waitFor([name](const PageRecord& record) { return isRecord(record, "call", name); }, timeoutSeconds, from);
}

std::optional<PageRecord> StandinServer::waitForEvent(std::string_view event, double timeoutSeconds, size_t from) {
    return waitFor(
        [event](const PageRecord& record) {
            return record.type == "posted" && record["handler"].stringOr() == "eventHandler" &&
                   record["body"].stringOr() == event;
        },
        timeoutSeconds, from);
}

std::optional<PageRecord> StandinServer::waitForReady(double timeoutSeconds, size_t from) {
    return waitFor([](const PageRecord& record) { return record.type == "ready"; }, timeoutSeconds, from);
}

std::vector<PageRecord> StandinServer::calls(std::string_view name, size_t from) const {
    std::lock_guard lock(mutex_);
    std::vector<PageRecord> result;
    for (size_t i = from; i < records_.size(); ++i)
        if (isRecord(records_[i], "call", name)) result.push_back(records_[i]);
    return result;
}

int StandinServer::configurationRequests() const {
    std::lock_guard lock(mutex_);
    return configurationRequests_;
}

std::string StandinServer::log() const {
    std::lock_guard lock(mutex_);
    std::string text;
    for (const auto& line : log_) text += line + "\n";
    return text;
}

// --- HostedProgram -----------------------------------------------------------------------

std::unique_ptr<HostedProgram> HostedProgram::launch(std::vector<std::string> argv, Options options) {
    std::unique_ptr<HostedProgram> program(new HostedProgram);
    argv.insert(argv.end(), options.arguments.begin(), options.arguments.end());
    program->process_ = std::make_unique<ChildProcess>(ChildProcess::Options{std::move(argv), options.environment, {}, {}});
    return program;
}

std::unique_ptr<HostedProgram> HostedProgram::parlivo(const StandinServer& server, Options options) {
    // The program reads its servers from its Info.plist: a private resource folder, the build's
    // files linked in, with an Info.plist that names this server.
    const fs::path resources = makeTemporaryDirectory("parlivo-resources");
    const fs::path built(PARLIVO_RESOURCE_DIR);
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(built, ignored))
        if (entry.path().filename() != "Info.plist")
            fs::create_symlink(entry.path(), resources / entry.path().filename(), ignored);
    auto info = readPropertyList(built / "Info.plist").value_or(PropertyList::dictionary());
    const std::string port = std::to_string(server.port());
    info.set("ParlivoConfigurationHost", "127.0.0.1:" + port);
    info.set("ParlivoConfigurationHost2", "localhost:" + port);
    for (const auto& [key, value] : options.info) info.set(key, value);
    writeText(resources / "Info.plist", info.toXml());
    options.environment.emplace("PARLIVO_RESOURCE_DIR", resources.string());
    auto program = launch({PARLIVO_BIN_DIR "/parlivo-for-whatsapp"}, std::move(options));
    program->resourceDirectory_ = resources;
    return program;
}

std::unique_ptr<HostedProgram> HostedProgram::host(const StandinServer& server, Options options, std::string_view page) {
    options.arguments.insert(options.arguments.begin(), {"--certificate", PARLIVO_BUILD_DIR "/config-tls/server.pem",
                                                         server.origin() + "/" + std::string(page)});
    return launch({PARLIVO_BUILD_DIR "/tests/standin-host"}, std::move(options));
}

HostedProgram::~HostedProgram() {
    if (process_) process_->stop(5);
    std::error_code ignored;
    if (!resourceDirectory_.empty()) fs::remove_all(resourceDirectory_, ignored);
}

}  // namespace testsupport

namespace testsupport {

// --- ProgramHome -------------------------------------------------------------------------

namespace {
constexpr const char* kBundleIdentifier = "net.vantreo.mac.WhatsApp";
}

ProgramHome::ProgramHome() : root_(makeTemporaryDirectory("program-home")) {
    for (const char* folder : {"config", "data", "cache"}) fs::create_directories(root_ / folder);
}

ProgramHome::~ProgramHome() {
    std::error_code ignored;
    // Website data folders are private (0700); they go all the same.
    fs::remove_all(root_, ignored);
}

std::map<std::string, std::string> ProgramHome::environment() const {
    return {{"XDG_CONFIG_HOME", (root_ / "config").string()},
            {"XDG_DATA_HOME", (root_ / "data").string()},
            {"XDG_CACHE_HOME", (root_ / "cache").string()}};
}

HostedProgram::Options ProgramHome::options(HostedProgram::Options options) const {
    for (const auto& [name, value] : environment()) options.environment[name] = value;
    return options;
}

fs::path ProgramHome::settingsFile() const { return root_ / "config" / kBundleIdentifier / "defaults.plist"; }

void ProgramHome::writeSettings(const PropertyList& dictionary) const {
    fs::create_directories(settingsFile().parent_path());
    writeText(settingsFile(), dictionary.toXml());
}

PropertyList ProgramHome::settings() const {
    return readPropertyList(settingsFile()).value_or(PropertyList::dictionary());
}

PropertyList ProgramHome::waitForSetting(const std::string& key, const PropertyList& value, double timeoutSeconds) const {
    const auto deadline = deadlineAfter(timeoutSeconds);
    auto current = settings();
    while (current[key] != value && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        current = settings();
    }
    return current;
}

fs::path ProgramHome::userContentDirectory() const {
    const fs::path folder = root_ / "data" / "Vantreo" / kBundleIdentifier / "UserContent";
    fs::create_directories(folder);
    return folder;
}

fs::path ProgramHome::websiteDataDirectory() const { return root_ / "data" / "Vantreo" / kBundleIdentifier / "WebsiteData"; }

void ProgramHome::recordOpenedURLs(const std::vector<std::string>& schemes) const {
    const fs::path script = root_ / "open-url-recorder.sh";
    const fs::path record = root_ / "opened-urls.txt";
    // One line per URL; the line is written whole, so a reader never sees half of it.
    writeText(script, "#!/bin/sh\nfor url in \"$@\"; do printf '%s\\n' \"$url\" >> '" + record.string() + "'; done\n");
    fs::permissions(script, fs::perms::owner_all);
    std::string mimeTypes, defaults = "[Default Applications]\n";
    for (const auto& scheme : schemes) {
        mimeTypes += "x-scheme-handler/" + scheme + ";";
        defaults += "x-scheme-handler/" + scheme + "=open-url-recorder.desktop\n";
    }
    fs::create_directories(root_ / "data" / "applications");
    writeText(root_ / "data" / "applications" / "open-url-recorder.desktop",
              "[Desktop Entry]\nType=Application\nName=URL recorder\nExec=" + script.string() +
                  " %U\nMimeType=" + mimeTypes + "\n");
    writeText(root_ / "config" / "mimeapps.list", defaults);
}

std::vector<std::string> ProgramHome::openedURLs() const {
    std::ifstream in(root_ / "opened-urls.txt");
    std::vector<std::string> urls;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) urls.push_back(line);
    return urls;
}

std::vector<std::string> ProgramHome::waitForOpenedURLs(size_t count, double timeoutSeconds) const {
    // The recorder is another process writing a file: looked at until it has written enough.
    const auto deadline = deadlineAfter(timeoutSeconds);
    auto urls = openedURLs();
    while (urls.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        urls = openedURLs();
    }
    return urls;
}

// --- Processes ---------------------------------------------------------------------------

std::vector<pid_t> processTree(pid_t root) {
    std::map<pid_t, std::vector<pid_t>> children;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (comm) state ppid ...: comm may hold blanks, so read after its closing parenthesis.
        const size_t close = line.rfind(')');
        if (close == std::string::npos || close + 2 > line.size()) continue;
        std::istringstream rest(line.substr(close + 2));
        std::string state;
        pid_t parent = 0;
        rest >> state >> parent;
        children[parent].push_back(pid_t(std::stol(name)));
    }
    std::vector<pid_t> tree{root};
    for (size_t i = 0; i < tree.size(); ++i)
        for (pid_t child : children[tree[i]]) tree.push_back(child);
    return tree;
}

std::string processName(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

}  // namespace testsupport
