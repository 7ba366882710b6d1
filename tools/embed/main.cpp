// fontbin-embed: see Embed.h.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/embed/Embed.h"

int main(int argc, char** argv) {
    // As the other tools: a file-size limit fails a write instead of killing the process (which
    // would leave its temporary files behind), and Windows arguments arrive as UTF-8.
    std::vector<std::string> args = platform::startProcess(argc, argv);
    if (!args.empty()) args.erase(args.begin());
    std::string out, err;
    const int status = embed::run(args, out, err);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    std::fwrite(err.data(), 1, err.size(), stderr);
    return status;
}
