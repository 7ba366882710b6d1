// Fonts read by command (FB_READ_CALLBACK): files the real tool wrote, on every layout and with
// their width files, read through a simulated SPI flash that counts its commands and refuses any
// read outside the file, must give what the same reader gives from memory: every glyph's record
// and pixels, the kerning, the widths, the checksums and the text API's drawing. Damaged copies
// must fail the same way, without a read outside the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "reader/fontbin_reader.h"
#include "reader/fontbin_text.h"
#include "support/Sandbox.h"

namespace {

namespace fs = std::filesystem;

// A file in SPI NOR flash: each read is one command of a few address bytes and `length` data
// bytes. A read that leaves the file is refused and counted.
struct SimFlash {
    const std::vector<uint8_t>* file = nullptr;
    size_t commands = 0, bytes = 0, outside = 0;
    static int read(void* user, uint32_t offset, uint8_t* dest, uint32_t length) {
        auto* s = static_cast<SimFlash*>(user);
        ++s->commands, s->bytes += length;
        if (length == 0 || offset > s->file->size() || length > s->file->size() - offset) {
            ++s->outside;
            return 1;
        }
        std::memcpy(dest, s->file->data() + offset, length);
        return 0;
    }
};

// A file opened both ways.
struct Both {
    const std::vector<uint8_t>& bytes;
    SimFlash sim;
    fb_flash flash{};
    fb_font mem{}, cmd{};
    fb_error memErr, cmdErr;
    explicit Both(const std::vector<uint8_t>& b) : bytes(b) {
        sim.file = &bytes;
        flash.read = SimFlash::read;
        flash.user = &sim;
        memErr = fb_open(bytes.data(), bytes.size(), &mem);
        cmdErr = fb_open_flash(&flash, uint32_t(bytes.size()), &cmd);
    }
};

auto fields(const fb_glyph& g) {
    return std::make_tuple(g.code_point, g.number, g.offset, g.size, g.trimmed, g.rows, g.cols,
                           g.extent_x, g.extent_y, g.box_x, g.box_y, g.box_w, g.box_h, g.advance,
                           g.stream_bit, g.stream_bits);
}

std::vector<int> pixels(const fb_font& f, const fb_glyph& g, fb_error* err) {
    std::vector<uint8_t> box(size_t(g.box_w) * g.box_h + 1);
    *err = fb_decode_glyph(&f, &g, box.data(), g.box_w);
    std::vector<int> out(box.begin(), box.end());
    if (!g.compact)
        for (unsigned y = 0; y < g.rows; ++y)
            for (unsigned x = 0; x < g.cols; ++x) out.push_back(int(fb_glyph_pixel(&g, x, y)));
    return out;
}

// Every code point looked up both ways: the same error, or the same record and pixels; then
// (for an undamaged file) the walk through the glyphs. Returns the glyphs found.
size_t expectSameGlyphs(Both& b, const std::string& what, bool walk = true) {
    size_t n = 0;
    fb_glyph g, h;
    for (uint32_t cp = 0; cp <= 0xFFFF; ++cp) {
        const fb_error err = fb_find_glyph(&b.mem, cp, &g);
        EXPECT_EQ(fb_find_glyph(&b.cmd, cp, &h), err) << what << " U+" << std::hex << cp;
        if (err != FB_OK) continue;
        ++n;
        EXPECT_EQ(fields(h), fields(g)) << what << " U+" << std::hex << cp;
        fb_error e1, e2;
        EXPECT_EQ(pixels(b.cmd, h, &e2), pixels(b.mem, g, &e1)) << what << " U+" << std::hex << cp;
        EXPECT_EQ(e2, e1) << what;
    }
    for (uint32_t cp = 0; walk && fb_next_glyph(&b.mem, cp, &g) == FB_OK; cp = g.code_point + 1) {
        EXPECT_EQ(fb_next_glyph(&b.cmd, cp, &h), FB_OK);
        EXPECT_EQ(h.code_point, g.code_point);
    }
    return n;
}

using PixelMap = std::map<std::pair<int, int>, unsigned>;
void putPixel(void* user, int x, int y, unsigned level, unsigned) {
    (*static_cast<PixelMap*>(user))[{x, y}] = level;
}

PixelMap drawText(const fb_font& f, const fb_advances* adv) {
    static const std::string text = "Hello, AVATAR To 世界。你好「中文」 a-b ，！（一）";
    PixelMap out;
    fb_text t;
    EXPECT_EQ(fb_text_init(&t, &f, adv), FB_OK);
    t.pixel = putPixel;
    t.user = &out;
    fb_text_draw(&t, 1, 2, text.data(), text.size(), 60, FB_WRAP_WORDS, nullptr);
    return out;
}

struct Written {
    std::vector<uint8_t> font, adv;
};

// The real tool on a real font: ASCII and some CJK, with advance widths (and kerning).
Written runTool(const char* fontPath, const std::string& fontSet) {
    testing_support::ToolSandbox box;
    box.addFont(fontPath, "font.ttc");
    box.writeConfig(
        R"({"customerVals": [{"firstVal": "0x20", "range": "95"}, {"firstVal": "0x3001", "range": "2"},
        {"firstVal": "0x300C", "range": "2"}, {"firstVal": "0x4E00", "range": "1"},
        {"firstVal": "0x4E16", "range": "1"}, {"firstVal": "0x4E2D", "range": "1"},
        {"firstVal": "0x4F60", "range": "1"}, {"firstVal": "0x597D", "range": "1"},
        {"firstVal": "0x6587", "range": "1"}, {"firstVal": "0x754C", "range": "1"},
        {"firstVal": "0xFF01", "range": "1"}, {"firstVal": "0xFF08", "range": "2"},
        {"firstVal": "0xFF0C", "range": "1"}], "fontSet": {"font": "font.ttc", "advances": true, )" +
        fontSet + "}}");
    const auto run = box.run({"FontConfig.json"});
    EXPECT_EQ(run.status, 0) << fontSet << ": " << run.err;
    Written w;
    for (const auto& entry : fs::directory_iterator(box.project())) {
        const std::string name = entry.path().filename().string();
        if (name.find("_font.bin") != std::string::npos ||
            name.find("_compact.bin") != std::string::npos)
            w.font = testing_support::readBytes(entry.path());
        if (name.find("_adv.bin") != std::string::npos)
            w.adv = testing_support::readBytes(entry.path());
    }
    return w;
}

TEST(Flash, EveryLayoutReadsAsFromMemory) {
    const std::string dejavu = FONTBIN_TEST_FONT_DEJAVU, microhei = FONTBIN_TEST_FONT_MICROHEI;
    const struct Case {
        const std::string& font;
        const char* fontSet;
        const char* older = nullptr;  // instead, a compact file of version 1 or 2 (fuzz seeds)
    } cases[] = {
        {dejavu,
         R"("fontSize": 16, "renderMode": 1, "indexMethod": 0, "crop": 0, "kerning": true)"},
        {microhei, R"("fontSize": 16, "renderMode": 2, "indexMethod": 1, "crop": 0)"},
        {microhei, R"("fontSize": 16, "renderMode": 4, "crop": 1)"},
        {dejavu, R"("fontSize": 13, "renderMode": 8, "scanMode": "v", "italic": 1, "crop": 1)"},
        {microhei, R"("fontSize": 16, "renderMode": 1, "compact": true)"},
        {dejavu, "", "cjk16_1_full.bin"},        // version 1
        {dejavu, "", "latin9_8.bin"},            // version 1, 8 bpp
        {dejavu, "", "latin9_1_v2_kerned.bin"},  // version 2, kerning
        {dejavu, R"("fontSize": 24, "renderMode": 4, "compact": true, "kerning": true)"},
        {microhei, R"("fontSize": 12, "renderMode": 8, "compact": true)"},
        {microhei, R"("fontSize": 16, "renderMode": 2, "compact": true)"},
    };
    for (const Case& c : cases) {
        const Written w =
            c.older ? Written{testing_support::readBytes(fs::path(FONTBIN_SOURCE_DIR) /
                                                         "tests/fuzz/corpus/compact" / c.older),
                              {}}
                    : runTool(c.font.c_str(), c.fontSet);
        const std::vector<uint8_t>& bytes = w.font;
        Both b(bytes);
        ASSERT_EQ(b.memErr, FB_OK) << c.fontSet;
        ASSERT_EQ(b.cmdErr, FB_OK) << c.fontSet;
        EXPECT_EQ(fb_check_font(&b.cmd), fb_check_font(&b.mem)) << c.fontSet;
        const bool compact = b.mem.layout == FB_LAYOUT_COMPACT;
        EXPECT_GT(expectSameGlyphs(b, c.fontSet), 3u);
        uint32_t failed[2] = {1, 1};
        EXPECT_EQ(fb_verify_font(&b.cmd, &failed[0]), fb_verify_font(&b.mem, &failed[1]));
        EXPECT_EQ(failed[0], failed[1]);
        // The width file (the other layouts) and the kerning, read by command too.
        SimFlash advSim;
        advSim.file = &w.adv;
        fb_flash advFlash{};
        advFlash.read = SimFlash::read;
        advFlash.user = &advSim;
        fb_advances memAdv{}, cmdAdv{};
        const bool widths = !compact;
        if (widths) {
            ASSERT_EQ(fb_open_advances(w.adv.data(), w.adv.size(), &b.mem, &memAdv), FB_OK);
            ASSERT_EQ(fb_open_advances_flash(&advFlash, uint32_t(w.adv.size()), &b.cmd, &cmdAdv),
                      FB_OK)
                << cmdAdv.error_detail;
            for (uint32_t cp = 0; cp <= 0xFFFF; ++cp) {
                unsigned w1 = 0, w2 = 0;
                EXPECT_EQ(fb_advance(&cmdAdv, &b.cmd, cp, &w2),
                          fb_advance(&memAdv, &b.mem, cp, &w1));
                EXPECT_EQ(w2, w1);
            }
        }
        for (uint32_t l = 0x20; l < 0x7F; ++l)
            for (uint32_t r = 0x20; r < 0x7F; ++r) {
                int a1 = 9, a2 = 9;
                if (widths)
                    EXPECT_EQ(fb_kerning(&cmdAdv, l, r, &a2), fb_kerning(&memAdv, l, r, &a1));
                else
                    EXPECT_EQ(fb_compact_kerning(&b.cmd, l, r, &a2),
                              fb_compact_kerning(&b.mem, l, r, &a1));
                EXPECT_EQ(a2, a1);
            }
        const PixelMap want = drawText(b.mem, widths ? &memAdv : nullptr);
        EXPECT_GT(want.size(), 20u) << c.fontSet;
        EXPECT_EQ(drawText(b.cmd, widths ? &cmdAdv : nullptr), want) << c.fontSet;
        if (compact) {
            // With parts of the file in the caller's memory, from none through a line or a few
            // to all: the same once more, in no more commands as the memory grows. The model is
            // kept first, whole or not; what is short of a part becomes lines.
            const size_t all = fb_flash_cache_bytes(&b.cmd), model = b.mem.compact.model_size;
            std::vector<size_t> sizes = {3, 40, 300, model - 1, model + 100, all + 40};
            std::sort(sizes.begin(), sizes.end());
            size_t before = b.sim.commands;
            for (const size_t size : sizes) {
                std::vector<uint8_t> cache(size);
                EXPECT_LE(fb_flash_cache(&b.cmd, cache.data(), cache.size()), size);
                EXPECT_EQ(b.flash.model != nullptr, size >= model) << c.fontSet << " " << size;
                // (Lines of 16 to 128 bytes, and a 4-byte tag each.)
                if (size < model && size >= all - model + 132) {
                    EXPECT_NE(b.flash.lines, nullptr) << size;
                }
                if (size >= all) {
                    EXPECT_EQ(b.flash.lines, nullptr) << size;
                }
                const size_t from = b.sim.commands;
                expectSameGlyphs(b, c.fontSet + (" cache " + std::to_string(size)), false);
                const size_t spent = b.sim.commands - from;
                EXPECT_LE(spent, before) << c.fontSet << " cache " << size;
                before = spent;
                EXPECT_EQ(drawText(b.cmd, nullptr), want) << c.fontSet;
            }
        }
        EXPECT_EQ(b.sim.outside + advSim.outside, 0u) << c.fontSet;
        EXPECT_EQ(b.flash.failed, 0u);
    }
}

TEST(Flash, DamagedFilesFailAsFromMemoryWithoutReadingOutside) {
    const Written compact =
        runTool(FONTBIN_TEST_FONT_DEJAVU,
                R"("fontSize": 16, "renderMode": 2, "compact": true, "kerning": true)");
    const Written trimmed =
        runTool(FONTBIN_TEST_FONT_DEJAVU, R"("fontSize": 16, "renderMode": 1, "crop": 1)");
    std::mt19937 random(25);
    for (const std::vector<uint8_t>* file : {&compact.font, &trimmed.font})
        for (int k = 0; k < 150; ++k) {
            std::vector<uint8_t> bytes = *file;
            if (k % 10 == 9) {
                bytes.resize(random() % bytes.size());
            } else {
                // Bytes of the header and tables more often than of the data.
                for (int n = 0; n < 3; ++n) {
                    const size_t at =
                        random() % (k % 2 ? bytes.size() : std::min<size_t>(bytes.size(), 2000));
                    bytes[at] = uint8_t(random());
                }
            }
            Both b(bytes);
            const std::string what = "variant " + std::to_string(k);
            EXPECT_EQ(b.cmdErr, b.memErr) << what;
            if (b.memErr == FB_OK) {
                expectSameGlyphs(b, what, false);
                EXPECT_EQ(fb_verify_font(&b.cmd, nullptr), fb_verify_font(&b.mem, nullptr));
                EXPECT_EQ(drawText(b.cmd, nullptr), drawText(b.mem, nullptr)) << what;
                EXPECT_EQ(fb_check_font(&b.cmd), fb_check_font(&b.mem)) << what;
            }
            EXPECT_EQ(b.sim.outside, 0u) << what;
        }
}

}  // namespace
