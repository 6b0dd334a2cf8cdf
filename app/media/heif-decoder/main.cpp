// parlivo-heif-decoder: one HEIF photo to JPEG, in a process of its own so that a hostile file
// can take no more than this process's limits. The HEIF bytes come on standard input, the JPEG
// goes to standard output. Run by HEIFConversion; not meant to be started by hand.
//
//   parlivo-heif-decoder QUALITY MEMORY_BYTES CPU_SECONDS
//
// MEMORY_BYTES is the address space the work may add to what the process has mapped when it
// starts (its libraries), so the same budget holds wherever they are larger or smaller.
//
// Exit status: 0 with the JPEG written, 2 for a file that is no usable HEIF, 3 for one over the
// bounds (its declared size, libheif's limits, or an allocation that the memory limit refused),
// 64 for a wrong call. A process killed by its CPU limit ends with SIGXCPU or SIGKILL.
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "media/HEIFConversion.h"
#include "media/HEIFDecoding.h"

// GCC says __SANITIZE_ADDRESS__, clang __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define PARLIVO_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PARLIVO_ADDRESS_SANITIZER 1
#endif
#endif

namespace {

constexpr int kExitUnreadable = 2;
constexpr int kExitOverBounds = 3;
constexpr int kExitUsage = 64;

#ifdef PARLIVO_ADDRESS_SANITIZER
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// Set when an allocation failed: the codecs report a refused allocation as an ordinary decode
// error, which is the picture asking for more than the memory limit, not a damaged file.
std::atomic<bool> allocationFailed{false};

template <typename T>
bool parse(std::string_view text, T& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

void setLimit(int resource, rlim_t soft, rlim_t hard) {
    const rlimit limit{soft, hard};
    if (setrlimit(resource, &limit) != 0) std::perror("parlivo-heif-decoder: setrlimit");
}

// The address space mapped now, from /proc/self/statm (its first field, in pages).
std::uint64_t mappedBytes() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) return 0;
    unsigned long long pages = 0;
    if (std::fscanf(statm, "%llu", &pages) != 1) pages = 0;
    std::fclose(statm);
    return pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

// Its own peak resident size (VmHWM), on standard error with the outcome: for the log of
// whoever runs it by hand, and for the benchmark of its memory. Allocates nothing, so it also
// serves when memory has run out.
void reportPeak(const char* outcome) {
    char text[4096];
    long peak = -1;
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        const ssize_t size = ::read(fd, text, sizeof text - 1);
        ::close(fd);
        text[size > 0 ? size : 0] = '\0';
        if (const char* line = std::strstr(text, "VmHWM:")) std::sscanf(line, "VmHWM: %ld", &peak);
    }
    const int length = std::snprintf(text, sizeof text, "parlivo-heif-decoder: %s, peak RSS %ld KiB\n", outcome, peak);
    if (length > 0) [[maybe_unused]] const auto written = ::write(STDERR_FILENO, text, std::size_t(length));
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

// glibc's allocator, watched for failures (C code such as libde265 uses malloc, not new).
// Under AddressSanitizer its own allocator stands here, and failures read as damaged files.
#ifndef PARLIVO_ADDRESS_SANITIZER
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);

namespace {
void* watched(void* result, std::size_t size) {
    if (!result && size > 0) allocationFailed = true;
    return result;
}
}  // namespace

__attribute__((visibility("default"))) void* malloc(std::size_t size) { return watched(__libc_malloc(size), size); }
__attribute__((visibility("default"))) void* calloc(std::size_t count, std::size_t size) {
    return watched(__libc_calloc(count, size), count * size);
}
__attribute__((visibility("default"))) void* realloc(void* pointer, std::size_t size) {
    return watched(__libc_realloc(pointer, size), size);
}
__attribute__((visibility("default"))) void* memalign(std::size_t alignment, std::size_t size) {
    return watched(__libc_memalign(alignment, size), size);
}
__attribute__((visibility("default"))) void* aligned_alloc(std::size_t alignment, std::size_t size) {
    return watched(__libc_memalign(alignment, size), size);
}
__attribute__((visibility("default"))) int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* result = watched(__libc_memalign(alignment, size), size);
    if (!result && size > 0) return ENOMEM;
    *out = result;
    return 0;
}
}
#endif

int main(int argc, char** argv) {
    double quality = 0;
    std::uint64_t memory = 0;
    unsigned cpuSeconds = 0;
    if (argc != 4 || !parse(argv[1], quality) || !parse(argv[2], memory) || !parse(argv[3], cpuSeconds) ||
        cpuSeconds == 0) {
        std::fprintf(stderr, "usage: parlivo-heif-decoder QUALITY MEMORY_BYTES CPU_SECONDS\n");
        return kExitUsage;
    }

    // One malloc arena: each further one reserves 64 MiB of address space, which the limit
    // below would count against the picture.
    mallopt(M_ARENA_MAX, 1);
    setLimit(RLIMIT_CORE, 0, 0);
    setLimit(RLIMIT_CPU, cpuSeconds, cpuSeconds + 1);
    // AddressSanitizer reserves terabytes of shadow address space: under it, only the CPU limit.
    if (memory > 0 && !kAddressSanitizer) {
        const rlim_t limit = mappedBytes() + memory;
        setLimit(RLIMIT_AS, limit, limit);
    }
    // An allocation the limit refuses is the picture asking for too much.
    std::set_new_handler([] {
        reportPeak("out of memory");
        ::_exit(kExitOverBounds);
    });

    std::vector<std::uint8_t> heif;
    std::uint8_t buffer[65536];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return kExitUnreadable;
        if (got == 0) break;
        if (heif.size() + static_cast<std::size_t>(got) > parlivo::HEIFConversion::maximumFileSize)
            return kExitOverBounds;
        heif.insert(heif.end(), buffer, buffer + got);
    }

    const auto result = parlivo::heifdecoding::decodeToJPEG(heif, quality);
    if (result.status != parlivo::heifdecoding::Status::converted) {
        const bool overBounds = result.status == parlivo::heifdecoding::Status::overBounds || allocationFailed;
        std::fprintf(stderr, "%s%s\n", result.message.c_str(), allocationFailed ? " (out of memory)" : "");
        reportPeak(overBounds ? "over the bounds" : "unreadable");
        // Nothing to tear down: the process ends here.
        ::_exit(overBounds ? kExitOverBounds : kExitUnreadable);
    }
    const bool written = writeAll(STDOUT_FILENO, result.jpeg.data(), result.jpeg.size());
    reportPeak(written ? "converted" : "not written");
    ::_exit(written ? 0 : kExitUnreadable);
}
