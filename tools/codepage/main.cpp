// fontbin-codepage OUTDIR CP [CP...]: writes OUTDIR/c_<CP>.nls for each code-page number, in the
// layout fontbin reads from its CodePage folder, computed from the C library's converters.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/platform.h"
#include "tools/codepage/CodePageTable.h"
#include "tools/common/CommandLine.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] = "usage: fontbin-codepage OUTDIR CP [CP...]";

// A code-page number: decimal digits only, 1..65535.
bool parseCodePage(const std::string& text, uint32_t& codePage) {
    unsigned value = 0;
    if (!tool::parseDecimal(text, 5, value) || value == 0 || value > 0xFFFF) return false;
    codePage = value;
    return true;
}

// A reader never sees half a table, and a link or device of that name is refused.
bool writeFile(const fs::path& target, const std::vector<uint8_t>& bytes, std::string& error) {
    platform::FileReplacement out(target);
    std::string reason;
    if (!out.create(reason) ||
        std::fwrite(bytes.data(), 1, bytes.size(), out.stream()) != bytes.size() ||
        !out.commit(reason)) {
        error =
            "cannot write " + platform::pathToUtf8(target) + (reason.empty() ? "" : ": ") + reason;
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        platform::writeErrLine(kUsage);
        return 2;
    }
    std::vector<uint32_t> codePages;
    for (int i = 2; i < argc; ++i) {
        uint32_t cp = 0;
        if (!parseCodePage(argv[i], cp)) {
            platform::writeErrLine(std::string("fontbin-codepage: bad code-page number \"") +
                                   argv[i] + "\" (expected 1..65535)");
            return 2;
        }
        codePages.push_back(cp);
    }
    const fs::path outDir = platform::pathFromUtf8(argv[1]);
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!platform::isDirectory(outDir)) {
        platform::writeErrLine("fontbin-codepage: cannot create output folder \"" +
                               std::string(argv[1]) + "\"" + (ec ? ": " + ec.message() : ""));
        return 1;
    }
    for (uint32_t cp : codePages) {
        std::string error;
        std::optional<codepage::GeneratedTable> table = codepage::buildCodePageTable(cp, error);
        if (!table) {
            platform::writeErrLine("fontbin-codepage: warning: skipping " + std::to_string(cp) +
                                   ": " + error);
            continue;
        }
        const fs::path target = outDir / ("c_" + std::to_string(cp) + ".nls");
        if (!writeFile(target, table->image, error)) {
            platform::writeErrLine("fontbin-codepage: " + error);
            return 1;
        }
    }
    return 0;
}
