// fontbin-inspect: see Inspect.h.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/inspect/Inspect.h"

int main(int argc, char** argv) {
    std::vector<std::string> args = platform::startProcess(argc, argv);
    if (!args.empty()) args.erase(args.begin());
    inspect::Result result = inspect::run(args);
    platform::writeOut(result.out);
    if (!result.err.empty()) platform::writeErr(result.err);
    return result.status;
}
