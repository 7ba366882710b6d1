// Text mapping files (hexadecimal values, the Unicode side of each line is selected) and binary
// cst files (little-endian 16-bit code points).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A mapping line is seen through a 600-byte buffer: at most this many characters count.
constexpr size_t kMappingLineLimit = 599;

// Marks the code points of a mapping file. Always returns 0; a file that cannot be opened marks
// nothing. `problem` receives one line for a file that cannot be opened, has lines longer than
// 599 characters (cut) or values outside U+0000..U+FFFF (skipped); otherwise it stays empty.
int loadMappingFile(const std::filesystem::path& path, uint16_t* charIndex,
                    std::string* problem = nullptr);

// Marks every 16-bit little-endian value of a cst file; an odd last byte is ignored. Returns 0,
// or -2 when the file cannot be opened (nothing marked).
int loadCstFile(const std::filesystem::path& path, uint16_t* charIndex,
                std::string* problem = nullptr);

// The same two readers over a file image already in memory (`name` only labels problems).
void applyMappingImage(const uint8_t* bytes, size_t size, uint16_t* charIndex,
                       const std::string& name, std::string* problem = nullptr);
void applyCstImage(const uint8_t* bytes, size_t size, uint16_t* charIndex, const std::string& name,
                   std::string* problem = nullptr);

// Marks every character of a UTF-8 text file: each code point that occurs, the space included.
// A file that starts with a UTF-16 byte-order mark (FF FE or FE FF) is read as UTF-16 of that
// byte order. Line ends (CR, LF) and a leading byte-order mark are not characters. Invalid UTF-8
// (or UTF-16) and code points beyond U+FFFF are skipped; `problems` receives one line for each of
// the two kinds (how many, and where the first one is), or one line for a file that cannot be
// opened.
void loadTextFile(const std::filesystem::path& path, uint16_t* charIndex,
                  std::vector<std::string>* problems = nullptr);
void applyTextImage(const uint8_t* bytes, size_t size, uint16_t* charIndex, const std::string& name,
                    std::vector<std::string>* problems = nullptr);

// ---- The pieces of the mapping reader, exposed for testing -----------------------------------

// One formatted extraction of a signed 32-bit integer in hexadecimal mode from [pos, end), as an
// input stream with std::hex does it in the classic locale: white space skipped, optional sign,
// optional "0x"/"0X", then hexadecimal digits. Returns false when the stream would be left
// failed. `value` is written like the stream writes it: untouched when nothing but white space
// was left, 0 when the field has no digit, INT32_MAX / INT32_MIN when the value does not fit,
// the value otherwise. `pos` moves past what the stream consumed.
bool extractHexInt(const char*& pos, const char* end, int32_t& value);

// The value a mapping line leaves in its code-point variable: 0xFFFF (nothing) unless the line
// starts with "0x" in either case; then one value is read, or, when a further "0x" follows, two
// values of which the second is kept, the second only when the first read succeeded. The line is
// taken up to its first NUL byte. The caller marks the result only when it is 0..0xFFFE.
int32_t mappingLineValue(const char* line, size_t length);
