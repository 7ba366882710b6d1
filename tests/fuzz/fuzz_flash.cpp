// Fuzz target: a font file of any layout (raw, or packed as in FuzzInput.h) read by command
// (FB_READ_CALLBACK) through a flash that traps on any read outside the file, against the same
// reader reading it from memory: opening, the structural check, every glyph found and decoded,
// its pixels, the checksums, kerning and text drawn through the text API must agree.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzInput.h"
#include "reader/fontbin_reader.h"
#include "reader/fontbin_text.h"

namespace {

constexpr size_t kPixelBudget = 1u << 17;

int readFlash(void* user, uint32_t offset, uint8_t* dest, uint32_t length) {
    const auto* file = static_cast<const std::vector<uint8_t>*>(user);
    if (length == 0 || offset > file->size() || length > file->size() - offset) __builtin_trap();
    std::memcpy(dest, file->data() + offset, length);
    return 0;
}

// The box decoded, and for the other layouts the cell read pixel by pixel.
std::vector<uint8_t> pixels(const fb_font& f, const fb_glyph& g, size_t& budget) {
    const size_t area = size_t(g.box_w) * g.box_h;
    std::vector<uint8_t> out(area + 1, 0);
    if (area > budget) return out;
    budget -= area;
    out.back() = uint8_t(fb_decode_glyph(&f, &g, out.data(), g.box_w));
    if (!g.compact && size_t(g.rows) * g.cols <= budget)
        for (unsigned y = 0; y < g.rows; ++y)
            for (unsigned x = 0; x < g.cols; ++x) out.push_back(uint8_t(fb_glyph_pixel(&g, x, y)));
    return out;
}

void pixel(void* user, int x, int y, unsigned level, unsigned) {
    *static_cast<uint64_t*>(user) += uint64_t(x * 7919 + y * 104729) * (level + 1u);
}

uint64_t text(const fb_font& font) {
    fb_text t;
    uint64_t sum = 0;
    if (fb_text_init(&t, &font, nullptr) != FB_OK) return 1;
    t.pixel = pixel;
    t.user = &sum;
    fb_text_draw(&t, -3, 2, "AV To\n\xE4\xB8\x80\xE4\xB8\x81, x\xFF", FB_TEXT_NUL, 40,
                 FB_WRAP_WORDS, nullptr);
    return sum;
}

bool same(const fb_glyph& a, const fb_glyph& b) {
    return a.code_point == b.code_point && a.number == b.number && a.offset == b.offset &&
           a.box_x == b.box_x && a.box_y == b.box_y && a.box_w == b.box_w && a.box_h == b.box_h &&
           a.advance == b.advance && a.stream_bit == b.stream_bit && a.extent_x == b.extent_x;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzzing::ExactBuffer file(fuzzing::expandInput(data, size));
    const std::vector<uint8_t> copy(file.data(), file.data() + file.size());
    fb_flash flash{};
    flash.read = readFlash;
    flash.user = const_cast<std::vector<uint8_t>*>(&copy);
    fb_font mem, cmd;
    const fb_error err = fb_open(file.data(), file.size(), &mem);
    if (fb_open_flash(&flash, uint32_t(copy.size()), &cmd) != err) __builtin_trap();
    if (err != FB_OK) return 0;
    if (fb_verify_font(&cmd, nullptr) != fb_verify_font(&mem, nullptr)) __builtin_trap();
    if (text(cmd) != text(mem)) __builtin_trap();
    size_t budget = kPixelBudget;
    std::vector<uint8_t> cache(size ? data[0] * 64u : 0u);
    for (int pass = 0; pass < 2; ++pass) {
        fb_glyph g, h;
        unsigned glyphs = 0;
        for (uint32_t cp = 0; cp <= 0xFFFF && ++glyphs < 0x400; cp = g.code_point + 1) {
            const fb_error e = fb_next_glyph(&mem, cp, &g);
            if (fb_next_glyph(&cmd, cp, &h) != e) __builtin_trap();
            if (e != FB_OK) break;
            size_t left = budget;  // (the same budget for both)
            if (!same(g, h) || pixels(mem, g, budget) != pixels(cmd, h, left)) __builtin_trap();
        }
        int a1 = 0, a2 = 0;
        if (fb_compact_kerning(&mem, 'A', 'V', &a1) != fb_compact_kerning(&cmd, 'A', 'V', &a2) ||
            a1 != a2)
            __builtin_trap();
        // Then with as much of the model and checkpoints in memory as the first byte grants.
        fb_flash_cache(&cmd, cache.data(), cache.size());
    }
    fb_font checked = mem;
    if (fb_check_font(&cmd) != fb_check_font(&checked)) __builtin_trap();
    return 0;
}
