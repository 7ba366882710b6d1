#include "driver/OutputFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

std::string systemReason(int error) {
    return error ? std::string(std::strerror(error)) : std::string("write failed");
}

}  // namespace

OutputFile::OutputFile(fs::path target) : target_(std::move(target)) {
    // Same folder as the target, so the final rename never crosses file systems.
    temp_ = target_;
    temp_ += ".tmp" + std::to_string(platform::processId());
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
    file_ = platform::openFile(temp_, "wb");
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
    const int64_t position = platform::fileTell(file_);
    if (position < 0) return fail(errno);
    offset = static_cast<uint64_t>(position);
    return true;
}

bool OutputFile::seek(uint64_t offset) {
    if (!good()) return false;
    errno = 0;
    const int result = platform::fileSeek(file_, offset);
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
    if (!platform::replaceFile(temp_, target_, error)) return false;
    committed_ = true;
    return true;
}
