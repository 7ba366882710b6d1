// fontbin-embed: turns a font bitmap file (and its advance-width file, when there is one) into C
// source that a firmware build compiles in, and lists the inputs of a fontbin run for build
// systems that rerun it when one of them changes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace embed {

constexpr int kOk = 0;
constexpr int kFailed = 1;  // unreadable or damaged input, or an output that cannot be written
constexpr int kUsage = 2;

// True for a C identifier that is not a keyword of C99 or C++.
bool isCIdentifier(const std::string& name);
// The symbol made from a file name: its name without folders and without the extension, every
// character that cannot appear in an identifier replaced by '_', and "font_" in front when it
// does not start with a letter.
std::string symbolFromFileName(const std::string& path);

struct Source {
    std::string header;             // OUT.h
    std::string source;             // OUT.c
    bool advancesRejected = false;  // the error is the advance widths', not the font file's
};

// Checks `font` (and `advances`, the width file beside it, when there is one) with the device
// reader and writes the C text.
// `headerName` is the name by which the .c includes the .h. Empty `error` on success.
Source makeSource(const std::vector<uint8_t>& font, const std::vector<uint8_t>* advances,
                  const std::string& fileName, const std::string& headerName,
                  const std::string& symbol, std::string& error);

// Every file a fontbin run on `configPath` reads, with the working directory `workDir` and the
// tool's own folder `toolDir`: the configuration, setting.ini, the code-page, mapping, cst and
// text files it names, and the font files it may open (the font, the empty-cell fallback font
// and the fallback fonts). A file that does not exist is represented by the folder it
// would appear in, so that creating it is seen as a change.
std::vector<std::string> runInputs(const std::string& configPath, const std::string& workDir,
                                   const std::string& toolDir);

// A make-style dependency file: `target` depends on `inputs`.
std::string depfileText(const std::string& target, const std::vector<std::string>& inputs);

// The whole tool on its arguments (without the program name); messages go to `err`.
int run(const std::vector<std::string>& args, std::string& out, std::string& err);

}  // namespace embed
