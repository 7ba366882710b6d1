// Entry point: hands the arguments, as UTF-8, to the run.
#include <csignal>
#include <string>
#include <vector>

#include "driver/Run.h"
#include "platform/platform.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(platform::wideToUtf8(argv[i]));
    return runFontbin(args);
}
#else
int main(int argc, char** argv) {
    // A file-size limit must fail the write with an error we can report, not kill the process.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::string> args(argv, argv + argc);
    return runFontbin(args);
}
#endif
