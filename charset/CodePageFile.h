// Binary code-page tables in the layout of the Windows NLS files: every code point that the
// table converts to something other than its default character is selected.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// Offsets and sizes of the fields the loader reads (all little-endian).
constexpr size_t kCodePageHeaderSize = 28;     // header words up to and including mbSectionWords
constexpr size_t kCodePageMinimumSize = 540;   // header plus the 256-entry mbTable
constexpr uint8_t kCodePageHeaderByte = 0x0D;  // headerWords: 13

// Marks the code points of the table at `path`. Results:
//   0  read and applied
//  -1  cannot be opened (missing, a directory, unreadable)
//  -2  the first byte is not 0x0D
//  -3  shorter than 540 bytes, or the length differs from 28 + 2m + 65536 x maxCharSize
// Nothing is marked unless the result is 0. When `problem` is given it receives one line naming
// the file and what is wrong with it, or stays empty.
int loadCodePageFile(const std::filesystem::path& path, uint16_t* charIndex,
                     std::string* problem = nullptr);

// The same checks and marks over a file image already in memory (`name` only labels problems).
int applyCodePageImage(const uint8_t* data, size_t size, uint16_t* charIndex,
                       const std::string& name, std::string* problem = nullptr);
