// A copy of a byte string that ends exactly at an inaccessible page on POSIX systems and
// Windows, so that a read one byte past its end faults even without AddressSanitizer. Elsewhere
// a plain exact-size heap copy (which AddressSanitizer watches).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#include <unistd.h>
#define FBTEST_GUARD_PAGES 1
#elif defined(_WIN32)
#include <windows.h>
#define FBTEST_GUARD_PAGES 1
#endif

namespace fbtest {

class GuardedBuffer {
public:
    GuardedBuffer(const uint8_t* bytes, size_t size) : size_(size) {
#ifdef FBTEST_GUARD_PAGES
#ifdef _WIN32
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        mapped_ = (size + page_ - 1) / page_ * page_ + page_;
        void* p = VirtualAlloc(nullptr, mapped_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (p != nullptr) {
            base_ = static_cast<uint8_t*>(p);
            DWORD old = 0;
            VirtualProtect(base_ + mapped_ - page_, page_, PAGE_NOACCESS, &old);
            data_ = base_ + mapped_ - page_ - size;
        }
#else
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        mapped_ = (size + page_ - 1) / page_ * page_ + page_;
        void* p =
            mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p != MAP_FAILED) {
            base_ = static_cast<uint8_t*>(p);
            mprotect(base_ + mapped_ - page_, page_, PROT_NONE);
            data_ = base_ + mapped_ - page_ - size;
        }
#endif
#endif
        if (!data_) {
            heap_.reset(new uint8_t[size ? size : 1]);
            data_ = heap_.get();
        }
        if (size) std::memcpy(data_, bytes, size);
    }
    explicit GuardedBuffer(const std::vector<uint8_t>& v) : GuardedBuffer(v.data(), v.size()) {}
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    ~GuardedBuffer() {
#ifdef FBTEST_GUARD_PAGES
#ifdef _WIN32
        if (base_) VirtualFree(base_, 0, MEM_RELEASE);
#else
        if (base_) munmap(base_, mapped_);
#endif
#endif
    }
    const uint8_t* data() const {
        return data_;
    }
    size_t size() const {
        return size_;
    }

private:
    size_t size_ = 0;
    uint8_t* data_ = nullptr;
    std::unique_ptr<uint8_t[]> heap_;
#ifdef FBTEST_GUARD_PAGES
    uint8_t* base_ = nullptr;
    size_t page_ = 0;
    size_t mapped_ = 0;
#endif
};

}  // namespace fbtest
