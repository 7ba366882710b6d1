#include "driver/OutputFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "platform/platform.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string systemReason(int error) {
    return error ? std::string(std::strerror(error)) : std::string("write failed");
}

long processId() {
#ifdef _WIN32
    return 0;
#else
    return static_cast<long>(getpid());
#endif
}

}  // namespace

OutputFile::OutputFile(fs::path target) : target_(std::move(target)) {
    // Same folder as the target, so the final rename never crosses file systems.
    temp_ = target_;
    temp_ += ".tmp" + std::to_string(processId());
}

OutputFile::~OutputFile() {
    if (opened_ && !committed_) {
        close();
        std::error_code ec;
        fs::remove(temp_, ec);
    }
}

void OutputFile::close() {
    if (file_ == nullptr) return;
    if (std::fclose(file_) != 0) fail(errno);
    file_ = nullptr;
}

bool OutputFile::fail(int error) {
    // The first failure's reason: later calls would overwrite errno.
    if (!failed_) error_ = error;
    failed_ = true;
    return false;
}

bool OutputFile::open(std::string& error) {
    errno = 0;
#ifdef _WIN32
    file_ = _wfopen(temp_.c_str(), L"wb");
#else
    file_ = std::fopen(temp_.c_str(), "wb");
#endif
    if (file_ == nullptr) {
        error = systemReason(errno);
        return false;
    }
    std::setvbuf(file_, buffer_, _IOFBF, sizeof buffer_);
    opened_ = true;
    return true;
}

bool OutputFile::write(const void* data, size_t size) {
    if (!good()) return false;
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size) return fail(errno);
    return true;
}

bool OutputFile::tell(uint64_t& offset) {
    if (!good()) return false;
    errno = 0;
#ifdef _WIN32
    const long long position = _ftelli64(file_);
#else
    const off_t position = ftello(file_);
#endif
    if (position < 0) return fail(errno);
    offset = static_cast<uint64_t>(position);
    return true;
}

bool OutputFile::seek(uint64_t offset) {
    if (!good()) return false;
    errno = 0;
#ifdef _WIN32
    const int result = _fseeki64(file_, static_cast<long long>(offset), SEEK_SET);
#else
    const int result = fseeko(file_, static_cast<off_t>(offset), SEEK_SET);
#endif
    if (result != 0) return fail(errno);
    return true;
}

bool OutputFile::flush() {
    if (!good()) return false;
    errno = 0;
    if (std::fflush(file_) != 0) return fail(errno);
    return true;
}

bool OutputFile::commit(std::string& error) {
    flush();
    close();
    if (failed_ || !opened_) {
        error = systemReason(error_);
        return false;
    }
    if (platform::isDirectory(target_)) {
        error = "a directory of that name exists";
        return false;
    }
    std::error_code ec;
    fs::rename(temp_, target_, ec);
    if (ec) {
        error = ec.message();
        return false;
    }
    committed_ = true;
    return true;
}
