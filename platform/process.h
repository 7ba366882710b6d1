// The process and its console: arguments, the executable's path, output streams.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// ---- Process --------------------------------------------------------------------------------

// The command-line arguments as UTF-8 (on Windows taken from the wide command line, so that
// names outside the ANSI code page survive), and the process set up for a run: a file-size
// limit then fails a write with an error we can report instead of killing the process, and an
// interrupt removes the temporaries (removeTemporariesOnInterrupt).
std::vector<std::string> startProcess(int argc, char** argv);

// The running executable's own path as the operating system reports it (follows PATH lookup
// and symlinks), or nothing when it cannot tell.
std::optional<std::filesystem::path> executablePath();

// The file of Thai words that libthai breaks Thai text with, as the C library's fopen takes a
// path: on Windows thbrk.tri beside the executable, which the package ships (in the ANSI code
// page, or as the short name when the ANSI code page cannot spell the folder); empty elsewhere,
// where libthai reads the system's own (Debian's libthai-data).
std::string thaiDictionaryPath();

// ---- Console --------------------------------------------------------------------------------
// All output goes through the narrow stdio streams as UTF-8; wide streams are never used, so
// narrow and wide output can never mix on one stream. On a Windows console, whose code page is
// rarely UTF-8, the text is written as UTF-16 through the console itself instead, so that
// non-ASCII paths show as they are.

// Writes `text` to standard output as it is (no line end added) and flushes.
void writeOut(const std::string& text);
// Writes one line to standard error (a line end is added) and flushes.
void writeErrLine(const std::string& text);
// Writes `text` to standard error as it is and flushes (for a self-updating progress line).
void writeErr(const std::string& text);
// True when standard error is a terminal.
bool stderrIsTerminal();
// True when standard output is a terminal.
bool stdoutIsTerminal();

// True when the console window closes as this process ends: on Windows, when the process is
// the only one on its console (started by a double-click, or by dropping a file on the
// program) and that console is its standard input and output. False elsewhere.
bool consoleClosesWithProcess();
// Waits until a key is pressed on the console (keys pressed before are dropped).
void waitForKey();

}  // namespace platform
