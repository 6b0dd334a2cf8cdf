#include "media/FFmpegArgumentPolicy.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace parlivo {

namespace {

namespace fs = std::filesystem;

// The plain types a page's input or output file may have.
constexpr auto kDataTypes = std::to_array<std::string_view>({
    "aac", "m4a", "mp4", "mov", "3gp", "mp3",  "ogg", "oga", "opus", "wav", "webm",
    "weba", "mkv", "mka", "flac", "amr", "jpg", "jpeg", "png", "webp", "gif"});

// Demuxers that read one self-contained file: no playlists (hls, dash), no lists of other
// files (concat, ffmetadata), no devices, no generators (lavfi).
constexpr auto kDemuxers = std::to_array<std::string_view>({"aac",      "mov",      "mp3",       "ogg",       "wav",
                                                     "matroska", "flac",     "amr",       "image2",    "jpeg_pipe",
                                                     "png_pipe", "webp_pipe", "gif"});

// Muxers that write one file: no tee, segment, hls or image sequences of several files.
constexpr auto kMuxers = std::to_array<std::string_view>({"adts", "ipod", "mp4",      "mov",  "3gp",    "mp3",
                                                   "ogg",  "oga",  "opus",     "wav",  "webm",   "matroska",
                                                   "flac", "amr",  "image2",   "mjpeg", "gif",   "webp"});

// Filters that neither read nor write anything but the stream they are given.
constexpr auto kFilters = std::to_array<std::string_view>({
    "volume", "aresample", "atempo",   "aformat", "asetrate", "highpass", "lowpass", "loudnorm",
    "dynaudnorm", "afade",  "silenceremove", "anull", "atrim", "asetpts",  "scale",   "fps",
    "format", "crop",       "transpose", "hflip",  "vflip",    "fade",     "null",    "setsar",
    "setdar", "pad",        "trim",      "setpts", "acompressor"});

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& list, std::string_view value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLower(char c) { return c >= 'a' && c <= 'z'; }
bool isAlnum(char c) { return isDigit(c) || isLower(c) || (c >= 'A' && c <= 'Z'); }

bool allOf(std::string_view text, bool (*accept)(char)) {
    return !text.empty() && std::all_of(text.begin(), text.end(), accept);
}

bool digits(std::string_view text, std::size_t maxLength) { return text.size() <= maxLength && allOf(text, isDigit); }

// "123" or "12.5", at most `maxIntegerDigits` before the point and 6 after it.
bool decimal(std::string_view text, std::size_t maxIntegerDigits) {
    const auto point = text.find('.');
    if (point == std::string_view::npos) return digits(text, maxIntegerDigits);
    return digits(text.substr(0, point), maxIntegerDigits) && digits(text.substr(point + 1), 6);
}

std::optional<double> parseDecimal(std::string_view text) {
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

enum class Kind {
    flag,        // no value
    codec,       // a codec name or "copy"
    bitrate,     // 64000, 64k, 1.5M
    integer,     // -?digits
    number,      // -?decimal
    word,        // preset, profile, pixel format, sample format, channel layout
    strictness,  // -strict's levels
    flags,       // +faststart, frag_keyframe+empty_moov
    duration,    // [[hh:]mm:]ss[.frac], at most maximumDuration
    rate,        // 25, 29.97, 30000/1001
    size,        // 640x480
    aspect,      // 16:9, 4/3, 1.777
    map,         // 0, 0:a, 0:v:0, 0:1?
    mapMetadata, // -1 or 0
    demuxer,
    muxer,
    filterGraph,
};

enum Side : unsigned { input = 1, output = 2, anywhere = 3 };

struct Option {
    std::string_view name;
    Kind kind;
    unsigned sides;
    bool streamSpecifier;  // may carry ":a", ":v:0", ...
};

constexpr auto kOptions = std::to_array<Option>({
    {"y", Kind::flag, anywhere, false},
    {"hide_banner", Kind::flag, anywhere, false},
    {"nostdin", Kind::flag, anywhere, false},
    {"nostats", Kind::flag, anywhere, false},
    {"loglevel", Kind::word, anywhere, false},
    {"v", Kind::word, anywhere, false},
    {"f", Kind::demuxer, input, false},
    {"f", Kind::muxer, output, false},
    {"ss", Kind::duration, anywhere, false},
    {"t", Kind::duration, anywhere, false},
    {"to", Kind::duration, anywhere, false},
    {"vn", Kind::flag, output, false},
    {"an", Kind::flag, output, false},
    {"sn", Kind::flag, output, false},
    {"dn", Kind::flag, output, false},
    {"shortest", Kind::flag, output, false},
    {"c", Kind::codec, output, true},
    {"codec", Kind::codec, output, true},
    {"acodec", Kind::codec, output, false},
    {"vcodec", Kind::codec, output, false},
    {"b", Kind::bitrate, output, true},
    {"ab", Kind::bitrate, output, false},
    {"vb", Kind::bitrate, output, false},
    {"maxrate", Kind::bitrate, output, true},
    {"minrate", Kind::bitrate, output, true},
    {"bufsize", Kind::bitrate, output, true},
    {"ar", Kind::integer, output, true},
    {"ac", Kind::integer, output, true},
    {"aq", Kind::number, output, false},
    {"q", Kind::number, output, true},
    {"qscale", Kind::number, output, true},
    {"crf", Kind::number, output, true},
    {"compression_level", Kind::integer, output, true},
    {"g", Kind::integer, output, true},
    {"threads", Kind::integer, output, false},
    {"frames", Kind::integer, output, true},
    {"vframes", Kind::integer, output, false},
    {"aframes", Kind::integer, output, false},
    {"preset", Kind::word, output, true},
    {"tune", Kind::word, output, true},
    {"profile", Kind::word, output, true},
    {"pix_fmt", Kind::word, output, true},
    {"sample_fmt", Kind::word, output, true},
    {"channel_layout", Kind::word, output, true},
    {"vbr", Kind::word, output, true},
    {"application", Kind::word, output, true},
    {"strict", Kind::strictness, output, true},
    {"movflags", Kind::flags, output, false},
    {"r", Kind::rate, output, true},
    {"s", Kind::size, output, true},
    {"aspect", Kind::aspect, output, true},
    {"map", Kind::map, output, false},
    {"map_metadata", Kind::mapMetadata, output, false},
    {"af", Kind::filterGraph, output, false},
    {"vf", Kind::filterGraph, output, false},
    {"filter", Kind::filterGraph, output, true},
    {"id3v2_version", Kind::integer, output, false},
});

const Option* findOption(std::string_view name, Side side) {
    for (const auto& option : kOptions)
        if (option.name == name && (option.sides & side)) return &option;
    return nullptr;
}

// ":a", ":v:0", ":0": a stream type and/or an index, nothing that selects by metadata.
bool isStreamSpecifier(std::string_view spec) {
    if (spec.empty()) return false;
    const auto colon = spec.find(':');
    const std::string_view first = spec.substr(0, colon);
    const bool firstIsType = first.size() == 1 && std::string_view("avsdt").find(first[0]) != std::string_view::npos;
    if (colon == std::string_view::npos) return firstIsType || digits(first, 2);
    return firstIsType && digits(spec.substr(colon + 1), 2);
}

bool isWord(std::string_view value) {
    if (value.empty() || value.size() > 32 || !isAlnum(value[0])) return false;
    return std::all_of(value.begin(), value.end(),
                       [](char c) { return isAlnum(c) || c == '_' || c == '+' || c == '.' || c == '-'; });
}

bool isCodec(std::string_view value) {
    return value.size() <= 32 && allOf(value, [](char c) { return isAlnum(c) || c == '_'; });
}

bool isBitrate(std::string_view value) {
    if (!value.empty() && (value.back() == 'k' || value.back() == 'K' || value.back() == 'M')) value.remove_suffix(1);
    return decimal(value, 9);
}

bool isSigned(std::string_view value, bool allowFraction) {
    if (!value.empty() && value[0] == '-') value.remove_prefix(1);
    return allowFraction ? decimal(value, 9) : digits(value, 9);
}

std::optional<double> durationSeconds(std::string_view value) {
    // [[hh:]mm:]ss[.frac]
    double total = 0;
    int parts = 0;
    while (true) {
        const auto colon = value.find(':');
        const std::string_view part = value.substr(0, colon);
        if (++parts > 3) return std::nullopt;
        if (colon == std::string_view::npos) {
            if (!decimal(part, 7)) return std::nullopt;
            const auto seconds = parseDecimal(part);
            if (!seconds) return std::nullopt;
            return total * 60 + *seconds;
        }
        if (!digits(part, 2)) return std::nullopt;
        total = total * 60 + *parseDecimal(part);
        value.remove_prefix(colon + 1);
    }
}

bool isRate(std::string_view value) {
    const auto slash = value.find('/');
    if (slash == std::string_view::npos) return decimal(value, 4);
    return digits(value.substr(0, slash), 6) && digits(value.substr(slash + 1), 6);
}

// At most 8192 a side: larger frames only serve to exhaust memory.
bool isSize(std::string_view value) {
    const auto x = value.find('x');
    if (x == std::string_view::npos || !digits(value.substr(0, x), 4) || !digits(value.substr(x + 1), 4)) return false;
    return *parseDecimal(value.substr(0, x)) <= 8192 && *parseDecimal(value.substr(x + 1)) <= 8192;
}

bool isAspect(std::string_view value) {
    const auto separator = value.find_first_of(":/");
    if (separator == std::string_view::npos) return decimal(value, 5);
    return digits(value.substr(0, separator), 5) && digits(value.substr(separator + 1), 5);
}

bool isMap(std::string_view value) {
    if (!value.empty() && value.back() == '?') value.remove_suffix(1);
    if (value == "0") return true;
    return value.starts_with("0:") && isStreamSpecifier(value.substr(2));
}

bool isFlags(std::string_view value) {
    if (value.empty() || value.size() > 64) return false;
    return std::all_of(value.begin(), value.end(), [](char c) { return isLower(c) || c == '_' || c == '+' || c == '-'; });
}

// A chain of allowlisted filters, "name" or "name=arguments", separated by commas. No quotes,
// escapes, labels or several chains: without them ffmpeg splits the text where we do, so
// every filter it makes is one we looked at.
bool isFilterGraph(std::string_view graph) {
    if (graph.empty()) return false;
    const bool plain = std::all_of(graph.begin(), graph.end(), [](char c) {
        return isAlnum(c) || std::string_view("_=:.,+-*/()").find(c) != std::string_view::npos;
    });
    if (!plain) return false;
    while (true) {
        const auto comma = graph.find(',');
        const std::string_view filter = graph.substr(0, comma);
        const std::string_view name = filter.substr(0, filter.find('='));
        if (!contains(kFilters, name)) return false;
        if (comma == std::string_view::npos) return true;
        graph.remove_prefix(comma + 1);
    }
}

bool acceptsValue(Kind kind, std::string_view value) {
    switch (kind) {
        case Kind::flag: return true;
        case Kind::codec: return isCodec(value);
        case Kind::bitrate: return isBitrate(value);
        case Kind::integer: return isSigned(value, false);
        case Kind::number: return isSigned(value, true);
        case Kind::word: return isWord(value);
        case Kind::strictness:
            return isSigned(value, false) ||
                   contains(std::array<std::string_view, 5>{"very", "strict", "normal", "unofficial", "experimental"},
                            value);
        case Kind::flags: return isFlags(value);
        case Kind::duration: {
            const auto seconds = durationSeconds(value);
            return seconds && *seconds <= FFmpegArgumentPolicy::maximumDuration;
        }
        case Kind::rate: return isRate(value);
        case Kind::size: return isSize(value);
        case Kind::aspect: return isAspect(value);
        case Kind::map: return isMap(value);
        case Kind::mapMetadata: return value == "-1" || value == "0";
        case Kind::demuxer: return contains(kDemuxers, value);
        case Kind::muxer: return contains(kMuxers, value);
        case Kind::filterGraph: return isFilterGraph(value);
    }
    return false;
}

constexpr const char* maximumAllocation = "268435456";  // 256 MiB

std::optional<std::vector<std::string>> refuse(std::string* why, std::string reason) {
    if (why) *why = std::move(reason);
    return std::nullopt;
}

}  // namespace

bool FFmpegArgumentPolicy::isAllowedDataType(std::string_view type) { return contains(kDataTypes, type); }

const std::string& FFmpegArgumentPolicy::inputFormatWhitelist() {
    static const std::string list = [] {
        std::string joined;
        for (auto name : kDemuxers) joined.append(joined.empty() ? "" : ",").append(name);
        return joined;
    }();
    return list;
}

std::string FFmpegArgumentPolicy::fileArgument(const fs::path& path) {
    std::error_code ignored;
    return "file:" + fs::absolute(path, ignored).string();
}

std::optional<std::vector<std::string>> FFmpegArgumentPolicy::arguments(
    const platform::PropertyList::Array& parameters, const fs::path& input, const fs::path& output,
    std::uintmax_t outputSizeLimit, std::string* why) {
    if (parameters.size() > maximumArguments) return refuse(why, "too many arguments");

    std::vector<std::string_view> tokens;
    for (const auto& element : parameters)
        if (const std::string* text = element.asString()) {
            if (text->size() > maximumArgumentLength) return refuse(why, "argument too long");
            tokens.push_back(*text);
        }

    std::vector<std::string> inputOptions, outputOptions;
    enum class Stage { beforeInput, afterInput, afterOutput } stage = Stage::beforeInput;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::string_view token = tokens[i];
        if (stage == Stage::afterOutput) return refuse(why, "arguments after the output file");
        if (token == "-i") {
            if (stage != Stage::beforeInput) return refuse(why, "a second input");
            if (i + 1 >= tokens.size() || tokens[i + 1] != "%i") return refuse(why, "an input other than %i");
            stage = Stage::afterInput;
            ++i;
            continue;
        }
        if (token == "%o") {
            if (stage != Stage::afterInput) return refuse(why, "the output file before the input");
            stage = Stage::afterOutput;
            continue;
        }
        if (token.size() < 2 || token[0] != '-') return refuse(why, "a file or value out of place: " + std::string(token));

        const std::string_view spelled = token.substr(1);
        const auto colon = spelled.find(':');
        const std::string_view name = spelled.substr(0, colon);
        const Side side = stage == Stage::beforeInput ? Side::input : Side::output;
        const Option* option = findOption(name, side);
        if (!option) return refuse(why, "an option that is not allowed: " + std::string(token));
        if (colon != std::string_view::npos &&
            (!option->streamSpecifier || !isStreamSpecifier(spelled.substr(colon + 1))))
            return refuse(why, "a stream specifier that is not allowed: " + std::string(token));

        auto& into = side == Side::input ? inputOptions : outputOptions;
        into.emplace_back(token);
        if (option->kind == Kind::flag) continue;
        if (i + 1 >= tokens.size() || !acceptsValue(option->kind, tokens[i + 1]))
            return refuse(why, "a value that is not allowed for " + std::string(token));
        into.emplace_back(tokens[++i]);
    }
    if (stage != Stage::afterOutput) return refuse(why, "no input (-i %i) or no output (%o)");

    // -max_alloc bounds each single allocation (a frame, a packet), so sizes in filter
    // expressions or in the input cannot make one huge buffer.
    std::vector<std::string> args{"-nostdin", "-hide_banner", "-loglevel", "error", "-max_alloc", maximumAllocation,
                                  "-protocol_whitelist", "file", "-format_whitelist", inputFormatWhitelist()};
    args.insert(args.end(), inputOptions.begin(), inputOptions.end());
    args.insert(args.end(), {"-i", fileArgument(input)});
    args.insert(args.end(), outputOptions.begin(), outputOptions.end());
    args.insert(args.end(), {"-fs", std::to_string(outputSizeLimit), "-y", fileArgument(output)});
    return args;
}

}  // namespace parlivo
