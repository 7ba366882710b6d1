// An output file that appears under its name only once it is complete: the bytes go to a
// temporary file in the same folder, which replaces the target on commit. A failed run leaves
// the previous file untouched and no partial file behind. Plain C stdio underneath: a file
// stream would set up the standard library's locale, a large share of a small run's memory.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "output/ByteSink.h"

class OutputFile : public ByteSink {
public:
    explicit OutputFile(std::filesystem::path target);
    ~OutputFile() override;  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file. On failure `error` holds a one-line reason.
    bool open(std::string& error);
    // Flushes, closes and renames over the target. On failure `error` holds a one-line reason.
    bool commit(std::string& error);

    const std::filesystem::path& target() const { return target_; }

    bool write(const void* data, size_t size) override;
    bool tell(uint64_t& offset) override;
    bool seek(uint64_t offset) override;
    bool flush() override;
    bool good() const override { return file_ != nullptr && !failed_; }
    int error() const override { return error_; }

private:
    bool fail(int error);
    void close();

    std::filesystem::path target_;
    std::filesystem::path temp_;
    std::FILE* file_ = nullptr;
    bool opened_ = false;
    bool committed_ = false;
    bool failed_ = false;
    int error_ = 0;
    char buffer_[1 << 16];
};
