#include "WQFileType.h"

#include "foundation/FileType.h"

namespace tovak {

using platform::FileType;

WQFileType::WQFileType(std::string uti, std::string mimeType, std::string fileExtension)
    : uti_(std::move(uti)), mimeType_(std::move(mimeType)), fileExtension_(std::move(fileExtension)) {}

WQFileType WQFileType::fromUTI(std::string_view uti) {
    return WQFileType(std::string(uti), MIMETypeFromUTI(uti), FileExtensionFromUTI(uti));
}

WQFileType WQFileType::fromMIMEType(std::string_view mimeType) {
    std::string uti = UTIFromMIMEType(mimeType);
    std::string extension = FileExtensionFromUTI(uti);
    return WQFileType(std::move(uti), std::string(mimeType), std::move(extension));
}

WQFileType WQFileType::fromFileExtension(std::string_view fileExtension) {
    return WQFileType(UTIFromFileExtension(fileExtension), MIMETypeFromFileExtension(fileExtension),
                      std::string(fileExtension));
}

WQFileType WQFileType::fromURL(const std::filesystem::path& fileURL) {
    // As the Mac reads a path extension: what follows the last dot of the last component,
    // where a leading dot alone (".profile") is no extension.
    const std::string name = fileURL.filename().string();
    const size_t dot = name.rfind('.');
    const std::string extension = (dot == std::string::npos || dot == 0) ? std::string() : name.substr(dot + 1);
    return fromFileExtension(extension);
}

bool WQFileType::conformsTo(std::string_view uti) const { return FileType::conformsTo(uti_, uti); }

std::string WQFileType::MIMETypeFromUTI(std::string_view uti) {
    return FileType::preferredMIMEType(uti).value_or("application/octet-stream");
}

std::string WQFileType::MIMETypeFromFileExtension(std::string_view fileExtension) {
    auto uti = FileType::utiForExtension(fileExtension);
    if (!uti) return "application/octet-stream";
    return MIMETypeFromUTI(*uti);
}

std::string WQFileType::UTIFromFileExtension(std::string_view fileExtension) {
    return FileType::utiForExtension(fileExtension).value_or("public.data");
}

std::string WQFileType::UTIFromMIMEType(std::string_view mimeType) {
    return FileType::utiForMIMEType(mimeType).value_or("public.data");
}

std::string WQFileType::FileExtensionFromUTI(std::string_view uti) {
    return FileType::preferredExtension(uti).value_or("bin");
}

}  // namespace tovak
