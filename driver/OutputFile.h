// Output files that appear under their names only once complete, through the platform's
// FileReplacement (a temporary file made exclusively beside the target, renamed over it). A
// failed run leaves the previous files untouched and no partial file behind. Plain C stdio
// underneath: a file stream would set up the standard library's locale, a large share of a
// small run's memory.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "output/ByteSink.h"
#include "platform/platform.h"

class OutputFile : public ByteSink {
public:
    explicit OutputFile(std::filesystem::path target);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file. On failure `error` holds a one-line reason.
    bool open(std::string& error);
    // Flushes and closes the temporary file: a write that failed shows here at the latest.
    bool close(std::string& error);
    // Closes and renames over the target, on its own. On failure `error` holds a one-line reason.
    bool commit(std::string& error);

    const std::filesystem::path& target() const { return file_.target(); }
    platform::FileReplacement& replacement() { return file_; }

    bool write(const void* data, size_t size) override;
    bool tell(uint64_t& offset) override;
    bool seek(uint64_t offset) override;
    bool flush() override;
    bool good() const override { return file_.stream() != nullptr && !failed_; }
    int error() const override { return error_; }

private:
    bool fail(int error);

    platform::FileReplacement file_;
    bool failed_ = false;
    int error_ = 0;
    char buffer_[1 << 16];
};

// The outputs of one run, replaced together: each is written completely under its temporary
// name first, and only when all are complete are they renamed over their targets.
class OutputSet {
public:
    // A new output of the set, open for writing; null, with the reason in `error`, when its
    // temporary file cannot be made or its target cannot be replaced.
    OutputFile* add(const std::filesystem::path& target, std::string& error);
    // Renames every output over its target, in the order added, and removes `removals` (earlier
    // files that no longer belong with the new ones), all or none. On failure `failed` is the
    // file that could not be written or removed and `error` says why, and that the files
    // already changed were put back.
    bool commit(const std::vector<std::filesystem::path>& removals, std::filesystem::path& failed,
                std::string& error);

private:
    std::vector<std::unique_ptr<OutputFile>> files_;
};
