// fontbin-embed: see Embed.h.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/embed/Embed.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string out, err;
    const int status = embed::run(args, out, err);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    std::fwrite(err.data(), 1, err.size(), stderr);
    return status;
}
