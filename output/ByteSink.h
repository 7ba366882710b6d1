// Where the writers put their bytes: a file in the tool, memory in tests. A plain interface
// instead of std::ostream, so that writing a file does not set up the standard library's locale,
// which on a small export costs more memory than everything else the tool adds.
#pragma once

#include <cstddef>
#include <cstdint>

class ByteSink {
public:
    virtual ~ByteSink() = default;

    // Each returns false on failure. After a failure the sink stays failed and every later call
    // fails too, as a stream does.
    virtual bool write(const void* data, size_t size) = 0;
    // The position of the next byte written, counted from the sink's start.
    virtual bool tell(uint64_t& offset) = 0;
    virtual bool seek(uint64_t offset) = 0;
    virtual bool flush() = 0;

    virtual bool good() const = 0;
    // errno as the first failed operation left it; 0 when the sink did not say.
    virtual int error() const = 0;
};
