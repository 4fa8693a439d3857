#pragma once

// What the fuzz targets share: a check that stops the run like a crash, and a
// file in memory for the readers that take a path.

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// A broken invariant is a finding as much as an overrun: libFuzzer keeps the
// input that led here.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

namespace vantor::fuzz {

// The readers open files by name; a memory file under /proc/self/fd keeps
// millions of inputs off the disk.
class MemoryFile {
public:
    explicit MemoryFile(const char* name) : fd_(memfd_create(name, 0)) {
        if (fd_ < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    ~MemoryFile() { ::close(fd_); }

    const std::string& path() const { return path_; }

    void assign(const std::uint8_t* data, std::size_t size) {
        FUZZ_CHECK(::ftruncate(fd_, 0) == 0);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            FUZZ_CHECK(n > 0);
            done += static_cast<std::size_t>(n);
        }
    }

    std::vector<std::uint8_t> contents() const {
        struct stat st {};
        FUZZ_CHECK(::fstat(fd_, &st) == 0);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            FUZZ_CHECK(n > 0);
            done += static_cast<std::size_t>(n);
        }
        return bytes;
    }

private:
    int fd_;
    std::string path_;
};

}  // namespace vantor::fuzz
