// fontbin-embed: turns a font bitmap file (and its advance-width file, when there is one) into C
// source that a firmware build compiles in, and lists the inputs of a fontbin run for build
// systems that rerun it when one of them changes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace embed {

constexpr int kOk = 0;
constexpr int kFailed = 1;  // unreadable or damaged input, or an output that cannot be written
constexpr int kUsage = 2;

// Why `name` cannot be the symbol of the arrays: not a C identifier, a keyword of some C
// standard or of C++, reserved (a leading underscore), or taken by <stdint.h>, <stddef.h>, the
// reader or the output itself; the same for the names made from it (NAME_size, NAME_adv,
// NAME_adv_size, the NAME_HAS_ADVANCES macro). Empty when it can.
std::string symbolProblem(const std::string& name);
bool isCIdentifier(const std::string& name);
// The standard header ("stdio.h") that declares or defines `name`, or null: every name of the C
// standard library (C89 to C23 and Annex K) and, `withFamilies`, the families its headers
// reserve by prefix (E..., SIG..., PRI..., atomic_..., ...).
const char* cLibraryHeader(const std::string& name, bool withFamilies);
// The symbol made from a file name: its name without folders and without the extension, each
// character outside ASCII written as u and its code in hex ("字体" gives u5b57u4f53), every other
// character that cannot appear in an identifier replaced by '_', and "font_" in front when it
// does not start with a letter.
std::string symbolFromFileName(const std::string& path);

struct Source {
    std::string header;             // OUT.h
    bool advancesRejected = false;  // the error is the advance widths', not the font file's
};

// Checks `font` (and `advances`, the width file beside it, when there is one) with the device
// reader and makes the header. Empty `error` on success.
Source makeSource(const std::string& font, const std::string* advances, const std::string& fileName,
                  const std::string& symbol, std::string& error);
// Writes OUT.c to `out`, the arrays a block at a time. `headerName` is the name by which it
// includes OUT.h. False when a write fails.
bool writeSource(std::FILE* out, const std::string& font, const std::string* advances,
                 const std::string& fileName, const std::string& headerName,
                 const std::string& symbol);

// Every file a fontbin run on `configPath` reads, with the working directory `workDir` and the
// tool's own folder `toolDir`: the configuration, setting.ini, the code-page, mapping, cst and
// text files it names, and the font files it may open (the font, the empty-cell fallback font
// and the fallback fonts). A file that does not exist is represented by the folder it
// would appear in, so that creating it is seen as a change.
std::vector<std::string> runInputs(const std::string& configPath, const std::string& workDir,
                                   const std::string& toolDir);

// A make-style dependency file: `target` depends on `inputs`. Empty, with the reason in
// `error`, when a path holds a character neither make nor ninja can read (a line break).
std::string depfileText(const std::string& target, const std::vector<std::string>& inputs,
                        std::string& error);

// The whole tool on its arguments (without the program name); messages go to `err`.
int run(const std::vector<std::string>& args, std::string& out, std::string& err);

}  // namespace embed
