#include "driver/OutputFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace fs = std::filesystem;

namespace {

std::string systemReason(int error) {
    return error ? std::string(std::strerror(error)) : std::string("write failed");
}

}  // namespace

OutputFile::OutputFile(fs::path target) : file_(std::move(target)) {}

bool OutputFile::fail(int error) {
    // The first failure's reason: later calls would overwrite errno.
    if (!failed_) error_ = error;
    failed_ = true;
    return false;
}

bool OutputFile::open(std::string& error) {
    if (!file_.create(error)) return false;
    std::setvbuf(file_.stream(), buffer_, _IOFBF, sizeof buffer_);
    return true;
}

bool OutputFile::write(const void* data, size_t size) {
    if (!good()) return false;
    errno = 0;
    if (std::fwrite(data, 1, size, file_.stream()) != size) return fail(errno);
    return true;
}

bool OutputFile::tell(uint64_t& offset) {
    if (!good()) return false;
    errno = 0;
    const int64_t position = platform::fileTell(file_.stream());
    if (position < 0) return fail(errno);
    offset = static_cast<uint64_t>(position);
    return true;
}

bool OutputFile::seek(uint64_t offset) {
    if (!good()) return false;
    errno = 0;
    const int result = platform::fileSeek(file_.stream(), offset);
    if (result != 0) return fail(errno);
    return true;
}

bool OutputFile::flush() {
    if (!good()) return false;
    errno = 0;
    if (std::fflush(file_.stream()) != 0) return fail(errno);
    return true;
}

bool OutputFile::close(std::string& error) {
    if (file_.closed()) return true;
    if (failed_ || !file_.stream()) {
        error = systemReason(error_);
        return false;
    }
    return file_.close(error);
}

bool OutputFile::commit(std::string& error) {
    return close(error) && file_.commit(error);
}

OutputFile* OutputSet::add(const fs::path& target, std::string& error) {
    files_.push_back(std::make_unique<OutputFile>(target));
    if (files_.back()->open(error)) return files_.back().get();
    files_.pop_back();
    return nullptr;
}

bool OutputSet::commit(const std::vector<fs::path>& removals, fs::path& failed,
                       std::string& error) {
    std::vector<platform::FileReplacement*> replacements;
    for (const auto& file : files_) {
        // A write that failed is reported with its own reason, not the close's.
        if (!file->close(error)) {
            failed = file->target();
            return false;
        }
        replacements.push_back(&file->replacement());
    }
    size_t at = 0;
    if (platform::commitAll(replacements, removals, at, error)) return true;
    failed = at < files_.size() ? files_[at]->target() : removals[at - files_.size()];
    return false;
}
