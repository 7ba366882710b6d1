#include "driver/OutputFile.h"

#include <cerrno>
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
        out_.close();
        std::error_code ec;
        fs::remove(temp_, ec);
    }
}

bool OutputFile::open(std::string& error) {
    out_.rdbuf()->pubsetbuf(buffer_, sizeof buffer_);
    errno = 0;
    out_.open(temp_, std::ios::binary | std::ios::trunc);
    if (!out_) {
        error = systemReason(errno);
        return false;
    }
    opened_ = true;
    return true;
}

bool OutputFile::commit(std::string& error) {
    errno = 0;
    out_.flush();
    bool good = static_cast<bool>(out_);
    int writeErrno = errno;
    out_.close();
    if (!good || out_.fail()) {
        error = systemReason(writeErrno ? writeErrno : errno);
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
