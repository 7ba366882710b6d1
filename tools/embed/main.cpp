// fontbin-embed: see Embed.h.
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
    // Through the console as UTF-16 where there is one, so that non-ASCII paths show as they are.
    if (!out.empty()) platform::writeOut(out);
    if (!err.empty()) platform::writeErr(err);
    return status;
}
