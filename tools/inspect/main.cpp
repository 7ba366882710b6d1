// fontbin-inspect: see Inspect.h.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/inspect/Inspect.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    inspect::Result result = inspect::run(args);
    std::fwrite(result.out.data(), 1, result.out.size(), stdout);
    std::fflush(stdout);
    std::fwrite(result.err.data(), 1, result.err.size(), stderr);
    return result.status;
}
