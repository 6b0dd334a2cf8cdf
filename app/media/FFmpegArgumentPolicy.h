#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/PropertyList.h"

namespace parlivo {

// What the page may ask of the ffmpeg program. The page sends an argument list in which "%i"
// and "%o" stand for the input and output files we make; everything else it sends is checked
// against a fixed allowlist of options and values (see docs/ffmpeg-bridge.md), so that a run
// can only read the one input file, only write the one output file, never open a device, a
// network address, a playlist, another file or a filter that reads one. A list that asks for
// anything else is refused as a whole.
class FFmpegArgumentPolicy {
public:
    // Limits a list must keep to.
    static constexpr std::size_t maximumArguments = 128;
    static constexpr std::size_t maximumArgumentLength = 512;
    static constexpr double maximumDuration = 3600;  // seconds, for -t, -to and -ss

    // Whether `type` is one of the plain file types the page's input and output may have
    // ("ogg", "mp3", "m4a", ...). Compared exactly, lower case.
    static bool isAllowedDataType(std::string_view type);

    // The demuxers a page's input may be read with, comma-separated, for -format_whitelist.
    static const std::string& inputFormatWhitelist();

    // The complete argument list for the ffmpeg program (without the program itself) that runs
    // the page's `parameters` on `input` into `output`, writing at most `outputSizeLimit` bytes;
    // none when the list is refused, with the reason in `why`. Elements that are not strings
    // are left out, as they always were.
    static std::optional<std::vector<std::string>> arguments(const platform::PropertyList::Array& parameters,
                                                             const std::filesystem::path& input,
                                                             const std::filesystem::path& output,
                                                             std::uintmax_t outputSizeLimit,
                                                             std::string* why = nullptr);

    // A file path as ffmpeg must get it: absolute, behind the "file:" protocol, so that no
    // name is read as another protocol or an option.
    static std::string fileArgument(const std::filesystem::path& path);
};

}  // namespace parlivo
