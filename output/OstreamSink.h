// A ByteSink over a std::ostream, for tests and benchmarks that collect the bytes in memory or
// need a stream that fails on purpose. The tool itself writes through driver/OutputFile.
#pragma once

#include <cerrno>
#include <ostream>

#include "output/ByteSink.h"

class OstreamSink : public ByteSink {
public:
    explicit OstreamSink(std::ostream& out) : out_(out) {}

    bool write(const void* data, size_t size) override {
        if (size != 0) {
            out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        }
        return check();
    }
    bool tell(uint64_t& offset) override {
        const std::streampos position = out_.tellp();
        if (position == std::streampos(-1)) return fail();
        offset = static_cast<uint64_t>(static_cast<std::streamoff>(position));
        return true;
    }
    bool seek(uint64_t offset) override {
        out_.seekp(static_cast<std::streamoff>(offset));
        return check();
    }
    bool flush() override {
        out_.flush();
        return check();
    }
    bool good() const override { return failed_ ? false : !out_.fail(); }
    int error() const override { return error_; }

private:
    bool check() {
        if (out_.fail()) return fail();
        return !failed_;
    }
    bool fail() {
        if (!failed_) error_ = errno;
        failed_ = true;
        return false;
    }

    std::ostream& out_;
    bool failed_ = false;
    int error_ = 0;
};
