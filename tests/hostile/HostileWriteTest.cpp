// Writes that cannot be turned against the user, through the real tools: a target that is an
// input, a link, a device or a folder is refused; a failed write leaves every earlier file; a
// temporary file is never one someone planted; fontbin-embed's C and dependency file are
// usable or refused.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/Sandbox.h"

using testing_support::readFile;
using testing_support::RunResult;
using testing_support::shellQuote;
using testing_support::ToolSandbox;
using testing_support::writeFile;
namespace fs = std::filesystem;

namespace {

const std::string kFont = "DejaVuSans_size16_bits1_font.bin";
const std::string kAdv = "DejaVuSans_size16_bits1_adv.bin";
const std::string kList = "DejaVuSans_size16_bits1_out.cst";

using Check = std::function<bool(const fs::path&)>;
using Prepare = std::function<void(const fs::path&)>;

struct Row {
    const char* fault;
    const char* tool;  // fontbin (the sandbox's copy), fontbin-inspect or fontbin-embed
    std::vector<std::string> args;
    int status;
    std::string message;  // on stderr
    Prepare setup;
    Check after;                  // the files are as they must be
    const char* shell = nullptr;  // POSIX only: shell text before the command
};

bool holds(const fs::path& p, const std::string& bytes) {
    return fs::is_regular_file(fs::symlink_status(p)) && readFile(p) == bytes;
}

#ifndef _WIN32
void earlier(const fs::path& d) {
    for (const char* name : {"a.png", "out.h", "out.c", "victim"}) writeFile(d / name, name);
}

bool untouched(const fs::path& d) {
    return holds(d / "a.png", "a.png") && holds(d / "out.h", "out.h") &&
           holds(d / "out.c", "out.c") && holds(d / "victim", "victim");
}

#endif

bool noHeader(const fs::path& d) {
    return !fs::exists(d / "o.h") && !fs::exists(d / "o.c");
}

}  // namespace

TEST(HostileWrites, EveryToolRefusesUnsafeTargetsAndKeepsEarlierFiles) {
    // clang-format off
    std::vector<Row> rows = {
        {"--png onto the font it reads", "fontbin-inspect", {kFont, "--text", "A", "--png", kFont},
         1, "it is the font file being read", nullptr, nullptr},
        {"--sheet onto the width file", "fontbin-inspect", {kFont, "--sheet", kAdv},
         1, "it is the width file being read", nullptr, nullptr},
        {"--strings onto the font it reads", "fontbin-inspect", {kFont, "--strings", kFont},
         1, "it is the font file being read", nullptr, nullptr},
        {"a symbol C reserves", "fontbin-embed", {kFont, "o", "--symbol", "_Bool"}, 2, "keyword",
         nullptr, noHeader},
        {"a symbol <stdint.h> has", "fontbin-embed", {kFont, "o", "--symbol", "uint8_t"}, 2,
         "<stdint.h>", nullptr, noHeader},
        {"a macro <stddef.h> has", "fontbin-embed", {kFont, "o", "--symbol", "NULL"}, 2,
         "<stddef.h>", nullptr, noHeader},
        {"a stream of <stdio.h>", "fontbin-embed", {kFont, "o", "--symbol", "stdin"}, 2,
         "C standard library's <stdio.h>", nullptr, noHeader},
        {"a macro of <errno.h>", "fontbin-embed", {kFont, "o", "--symbol", "errno"}, 2,
         "<errno.h>", nullptr, noHeader},
        {"a limit of <limits.h>", "fontbin-embed", {kFont, "o", "--symbol", "INT_MAX"}, 2,
         "<limits.h>", nullptr, noHeader},
        {"the macro <assert.h> reads", "fontbin-embed", {kFont, "o", "--symbol", "NDEBUG"}, 2,
         "<assert.h>", nullptr, noHeader},
        {"a float function of <math.h>", "fontbin-embed", {kFont, "o", "--symbol", "sqrtf"}, 2,
         "<math.h>", nullptr, noHeader},
        {"a macro of <stdio.h>", "fontbin-embed", {kFont, "o", "--symbol", "EOF"}, 2, "<stdio.h>",
         nullptr, noHeader},
        {"a family <stdatomic.h> reserves", "fontbin-embed", {kFont, "o", "--symbol", "atomic_font"},
         2, "<stdatomic.h>", nullptr, noHeader},
        {"a predefined macro", "fontbin-embed", {kFont, "o", "--symbol", "__LINE__"}, 2,
         "reserved", nullptr, noHeader},
        {"the output's own macro", "fontbin-embed", {kFont, "o", "--symbol", "FONTBIN_FONT_ALIGN"},
         2, "output itself uses", nullptr, noHeader},
        {"a name of the reader's text API", "fontbin-embed", {kFont, "o", "--symbol", "fb_text_draw"},
         2, "fontbin_reader.h", nullptr, noHeader},
        {"OUT with a quote", "fontbin-embed", {kFont, "o\"x"}, 2, "cannot be included", nullptr,
         nullptr},
        {"OUT without a name", "fontbin-embed", {kFont, ""}, 2, "cannot be included", nullptr,
         [](const fs::path& d) { return !fs::exists(d / ".h"); }},
        {"OUT a folder", "fontbin-embed", {kFont, "sub/"}, 2, "cannot be included", nullptr,
         [](const fs::path& d) { return !fs::exists(d / "sub"); }},
        {"the depfile onto its configuration", "fontbin-embed",
         {"--inputs", "FontConfig.json", "--tool-dir", ".", "--depfile", "FontConfig.json",
          "--target", "t"}, 1, "which is read", nullptr,
         [](const fs::path& d) { return readFile(d / "FontConfig.json").find("crop") != std::string::npos; }},
        {"a configuration named like an output", "fontbin", {kList}, 251,
         "_out.cst: it is the configuration", [](const fs::path& d) { fs::remove(d / kList); fs::copy_file(d / "FontConfig.json", d / kList); },
         [](const fs::path& d) { return readFile(d / kList) == readFile(d / "FontConfig.json"); }},
        {"an output that is the configuration by another name", "fontbin", {"FontConfig.json"}, 251,
         "_adv.bin: it is the configuration", [](const fs::path& d) { fs::remove(d / kAdv); fs::create_hard_link(d / "FontConfig.json", d / kAdv); },
         [](const fs::path& d) { return readFile(d / kAdv).find("crop") != std::string::npos; }},
        {"a width file that cannot be replaced", "fontbin", {"FontConfig.json"}, 251, kAdv,
         [](const fs::path& d) {
             fs::remove(d / kAdv);
             fs::create_directory(d / kAdv);
             writeFile(d / kFont, "earlier");
             writeFile(d / kList, "earlier");
         },
         [](const fs::path& d) { return holds(d / kFont, "earlier") && holds(d / kList, "earlier"); }},
    };
#ifndef _WIN32
    // Links, devices, file-size limits and names with line breaks: POSIX only. The 1 TB file is
    // sparse here, where a Windows runtime would fill it with zeros.
    const Prepare sparse = [](const fs::path& d) {
        writeFile(d / "huge_font.bin", "");
        fs::resize_file(d / "huge_font.bin", 1ull << 40);
    };
    const Prepare linkToVictim = [](const fs::path& d) {
        earlier(d);
        fs::create_symlink("victim", d / "link.png");
        fs::create_symlink("victim", d / "out.h.tmp");
    };
    auto inputs = [](const std::string& config, const std::string& target) {
        return std::vector<std::string>{"--inputs", config, "--tool-dir", ".", "--depfile", "o.d",
                                        "--target", target};
    };
    const Check victimKept = [](const fs::path& d) { return holds(d / "victim", "victim"); };
    const std::vector<Row> posix = {
        {"a 1 TB font file", "fontbin-inspect", {"huge_font.bin"}, 1,
         "more than the 4 GiB a font file may have", sparse, nullptr},
        {"a 1 TB font file", "fontbin-embed", {"huge_font.bin", "o"}, 1,
         "more than the 4 GiB a font file may have", sparse, noHeader},
        {"OUT a device", "fontbin-embed", {kFont, "/dev/null"}, 2, "is a device", nullptr, nullptr},
        {"--png onto a device", "fontbin-inspect", {kFont, "--text", "A", "--png", "/dev/null"}, 1,
         "not a regular file", nullptr, [](const fs::path&) { return fs::is_character_file("/dev/null"); }},
        {"--png onto a link", "fontbin-inspect", {kFont, "--text", "A", "--png", "link.png"}, 1,
         "symbolic link", linkToVictim, untouched},
        {"a PNG that cannot be finished", "fontbin-inspect",
         {kFont, "--text", "ABCDEFGH", "--scale", "32", "--png", "a.png"}, 1, "cannot write a.png",
         earlier, untouched, "ulimit -f 1; "},
        {"OUT.c that cannot be finished", "fontbin-embed", {kFont, "out"}, 1, "cannot write out.c",
         earlier, untouched, "ulimit -f 8; "},
        {"a link planted under the temporary name", "fontbin-embed", {kFont, "out"}, 0, "",
         linkToVictim, victimKept},
        {"a link planted under fontbin's temporary name", "fontbin", {"FontConfig.json"}, 0, "",
         earlier, victimKept, "ln -s victim DejaVuSans_size16_bits1_font.bin.tmp$$ && exec "},
        {"paths make and ninja read", "fontbin-embed", inputs("sp ace#$x/c.json", "o:1"), 0, "",
         [](const fs::path& d) { writeFile(d / "sp ace#$x" / "c.json", "{}"); },
         [](const fs::path& d) {
             const std::string dep = readFile(d / "o.d");
             return dep.rfind("o\\:1:", 0) == 0 && dep.find("/sp\\ ace\\#$$x/c.json") != std::string::npos;
         }},
        {"a path no depfile can hold", "fontbin-embed", inputs("n\nl/c.json", "t"), 1, "line break",
         [](const fs::path& d) { writeFile(d / "n\nl" / "c.json", "{}"); },
         [](const fs::path& d) { return !fs::exists(d / "o.d"); }},
    };
    rows.insert(rows.end(), posix.begin(), posix.end());
    // Files of an earlier run that this user may not remove or replace: root's, in a sticky
    // folder. Found before anything is renamed: the run writes nothing.
    const char* nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    if (geteuid() == 0 && fs::exists("/usr/bin/setpriv")) {
        // Checked before the first rename: nothing of the set is written.
        rows.push_back({"a target this user may not replace", "fontbin", {"FontConfig.json"}, 251,
                        "_font.bin: it is another user's",
                        [](const fs::path& d) {
                            for (const std::string& f : {kFont, kList, kAdv}) fs::remove(d / f);
                            writeFile(d / kFont, "earlier");
                            fs::permissions(d, fs::perms::all | fs::perms::sticky_bit);
                        }, [](const fs::path& d) {
                            return holds(d / kFont, "earlier") && !fs::exists(d / kList) &&
                                   !fs::exists(d / kAdv);
                        }, nobody});
        rows.push_back({"a stale width file this user may not remove", "fontbin", {"FontConfig.json"},
                        251, "cannot remove " , [](const fs::path& d) {
                            writeFile(d / "FontConfig.json", R"({"customerVals": [{"firstVal": "0x41", "range": "26"}],
                                "fontSet": {"font": "DejaVuSans.ttf", "fontSize": 16, "crop": 1}})");
                            fs::remove(d / kFont);
                            fs::remove(d / kList);
                            fs::permissions(d, fs::perms::all | fs::perms::sticky_bit);
                        }, [](const fs::path& d) {
                            return fs::exists(d / kAdv) && !fs::exists(d / kFont) && !fs::exists(d / kList);
                        }, nobody});
    }
#endif
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        ToolSandbox box;
        const fs::path d = box.project();
        box.writeConfig(R"({"customerVals": [{"firstVal": "0x41", "range": "26"}],
            "fontSet": {"font": "DejaVuSans.ttf", "fontSize": 16, "crop": 1, "advances": true}})");
        ASSERT_EQ(box.run({"FontConfig.json"}).status, 0);
        const std::string font = readFile(d / kFont);
        if (row.setup) row.setup(d);
        const fs::path program =
            std::string(row.tool) == "fontbin" ? box.tool() : testing_support::binary(row.tool);
        RunResult r;
        if (row.shell) {
            std::string command = row.shell + shellQuote(program.string());
            for (const std::string& a : row.args) command += " " + shellQuote(a);
            // The unprivileged user may not reach a sandbox below a private folder.
            if (std::string(row.shell).rfind("setpriv", 0) == 0 &&
                testing_support::runShell(std::string(row.shell) + "test -w .", d).status != 0)
                continue;
            r = testing_support::runShell(command, d);
        } else {
            r = testing_support::runProgram(program, row.args, d);
        }
        EXPECT_EQ(r.status, row.status) << r.out << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        if (row.status != 0) {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
        // The tools never change the font file they read.
        if (std::string(row.tool) != "fontbin" && fs::exists(d / kFont)) {
            EXPECT_EQ(readFile(d / kFont), font);
        }
        if (row.after) {
            EXPECT_TRUE(row.after(d));
        }
        fs::permissions(d, fs::perms::sticky_bit, fs::perm_options::remove);
    }
}
