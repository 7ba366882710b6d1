// Small helpers for the selection tests: a private temporary folder, files written into it, and
// the set of marked code points of a table.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "charset/CharacterTables.h"

class TempDir {
public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("fontbin-charset-") +
                           (info ? info->test_suite_name() : "x") + "-" +
                           (info ? info->name() : "y");
        for (char& ch : name) {
            if (ch == '/') ch = '_';
        }
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

    std::filesystem::path write(const std::string& name, const std::string& bytes) const {
        std::filesystem::path file = path_ / name;
        std::ofstream out(file, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }
    std::filesystem::path write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        return write(name, std::string(bytes.begin(), bytes.end()));
    }

private:
    std::filesystem::path path_;
};

// A fresh marking table: every slot 0xFFFF.
inline std::vector<uint16_t> freshIndex() {
    return std::vector<uint16_t>(kCodePointCount, 0xFFFF);
}

// The marked code points, ascending.
inline std::vector<uint32_t> marked(const std::vector<uint16_t>& index) {
    std::vector<uint32_t> out;
    for (uint32_t c = 0; c < index.size(); ++c) {
        if (index[c] != 0xFFFF) out.push_back(c);
    }
    return out;
}

inline size_t markedCount(const std::vector<uint16_t>& index) {
    return marked(index).size();
}

// Wide text from ASCII/UTF-8 bytes of a path on this machine (test paths are ASCII).
inline std::wstring wide(const std::filesystem::path& path) {
    return path.wstring();
}
