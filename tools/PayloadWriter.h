#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/PropertyList.h"

namespace parlivo::config {

using Bytes = std::vector<uint8_t>;

// The payload format, from the writer's side: binary property list, zstd, AES-128-CBC.
// `seal` keeps the result from reading as UTF-8 text (which the client takes for a server
// message) by adding an ignored "Padding" data item until it does not.
Bytes seal(platform::PropertyList root, std::string_view key, std::string_view iv);
// The inverse, without any validation of the values.
std::optional<platform::PropertyList> open(std::span<const uint8_t> payload, std::string_view key,
                                           std::string_view iv, std::string* error = nullptr);

// The program's own version text, which payloads must carry.
std::string programVersion();

// A manifest (an XML property list) to its payload:
//   "Values":  the plain values of the configuration; a "Version" of "@PROGRAM_VERSION@" becomes
//              the program's version;
//   "Files":   configuration key -> path of a file whose bytes become that data item
//              ("InjectJsStart", "InjectJsEnd", "CouldNotConnect");
//   "Patches": path of a property list, an array of dictionaries with the texts "id",
//              "namePrefix", "before" and "after", archived as the "Patches" item.
// Relative paths are taken from the manifest's folder. The result has passed the program's own
// payload check; on any failure `error` says why.
std::optional<Bytes> packManifest(const std::filesystem::path& manifest, std::string* error);

// A payload as readable text (an XML property list with the scripts as text and the patches
// decoded); none with the program's error code in `error` when the payload fails its check.
std::optional<std::string> dumpPayload(std::span<const uint8_t> payload, std::string* error);

// The origin a configuration names for "the server that serves it" (the stand-in page's
// configuration): port 0 stands for the port the server listens on, as it does for --port.
inline constexpr std::string_view selfOrigin = "https://127.0.0.1:0";
// The payload with every top-level text that is `from` or begins with `from` and a "/", "?" or
// "#" rewritten to begin with `to` instead; the same bytes when no text does; none when the
// payload does not open.
std::optional<Bytes> rebaseOrigin(std::span<const uint8_t> payload, std::string_view from, std::string_view to);

// The same configuration under key material the program does not use (tests of a wrong key).
std::optional<Bytes> resealWithWrongKey(std::span<const uint8_t> payload);

// Every file the tools read (manifests, scripts, patch lists, payloads) is at most this large.
inline constexpr std::uintmax_t maxInputBytes = 64 * 1024 * 1024;
// A regular file of at most maxInputBytes; none (with the reason in `error`) otherwise.
std::optional<Bytes> readFile(const std::filesystem::path& path, std::string* error = nullptr);
bool writeFile(const std::filesystem::path& path, std::span<const uint8_t> bytes);

}  // namespace parlivo::config
