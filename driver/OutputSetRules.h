// What a run decides about the files around its outputs before it writes: which of them it must
// never write (its own inputs), and which earlier outputs of the same name go with the new set.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "charset/CharacterTables.h"

// A file the run reads, with what it is to the run ("the configuration", "the font", ...).
struct RunInput {
    std::filesystem::path path;
    std::string what;
};

// Why `output` may not be written: it is one of `inputs` (the same file, however spelt or
// linked). Empty when it is none of them.
std::string inputCollision(const std::filesystem::path& output,
                           const std::vector<RunInput>& inputs);

// Every output name of one base name.
struct OutputNames {
    std::string base;
    std::filesystem::path fontFile;
    std::filesystem::path compactFile;
    std::filesystem::path listFile;
    std::filesystem::path advanceFile;
    std::filesystem::path stringsFile;
};

// Earlier outputs of the base name that a run does not write, and that no longer belong with the
// files it does: removed with the new set, each with a line for the user.
struct EarlierOutputs {
    std::vector<std::filesystem::path> remove;
    std::vector<std::string> notes;
};

// An earlier font file (fixed or trimmed layout) or compact file still belongs beside a new
// list file when the characters it was made for are exactly the new selection: the code points
// of its records; for the trimmed layout, whose file has no record for a character without ink,
// the list of its width file, or else of the earlier list file when that agrees with it (holds
// every record's character, and as many as the file says were selected). One whose characters
// cannot be told (damaged, or disagreeing) is taken as not matching. A width file goes with its
// font file, and always when the run writes a new font file without widths. A string table
// goes when the run writes none: its glyphs were those of the font file the run replaces.
EarlierOutputs earlierOutputs(const OutputNames& names, bool compact, bool writesAdvances,
                              bool writesStrings, const CharacterTables& tables);
