// An output file that appears under its name only once it is complete: the bytes go to a
// temporary file in the same folder, which replaces the target on commit. A failed run leaves
// the previous file untouched and no partial file behind.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

class OutputFile {
public:
    explicit OutputFile(std::filesystem::path target);
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file. On failure `error` holds a one-line reason.
    bool open(std::string& error);
    std::ostream& stream() { return out_; }
    // Flushes, closes and renames over the target. On failure `error` holds a one-line reason.
    bool commit(std::string& error);

    const std::filesystem::path& target() const { return target_; }

private:
    std::filesystem::path target_;
    std::filesystem::path temp_;
    std::ofstream out_;
    bool opened_ = false;
    bool committed_ = false;
    char buffer_[1 << 16];
};
