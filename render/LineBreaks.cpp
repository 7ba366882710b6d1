#include "render/LineBreaks.h"

#include <linebreak.h>
#include <thai/thbrk.h>
#include <thai/thwbrk.h>

#include <algorithm>
#include <memory>

#include "platform/platform.h"

namespace {

bool isThai(char32_t c) {
    return c >= 0x0E01 && c <= 0x0E5B;
}

// The dictionary is the system's where libthai finds one itself, else the one shipped with fontbin.
struct ThaiBreaker {
    ThBrk* brk = nullptr;
    ThaiBreaker() {
        const std::string dictionary = platform::thaiDictionaryPath();
        brk = th_brk_new(dictionary.empty() ? nullptr : dictionary.c_str());
    }
    ~ThaiBreaker() {
        if (brk) th_brk_delete(brk);
    }
};

// Word breaks inside every stretch of Thai letters, added to `breaks`.
void addThaiBreaks(const std::u32string& text, std::vector<uint32_t>& breaks) {
    static ThaiBreaker thai;  // the dictionary is loaded once per run
    if (!thai.brk) return;
    for (size_t start = 0; start < text.size();) {
        if (!isThai(text[start])) {
            ++start;
            continue;
        }
        size_t end = start;
        while (end < text.size() && isThai(text[end])) ++end;
        std::vector<thwchar_t> run(text.begin() + static_cast<std::ptrdiff_t>(start),
                                   text.begin() + static_cast<std::ptrdiff_t>(end));
        run.push_back(0);
        std::vector<int> positions(end - start + 1);
        const int found =
            th_brk_wc_find_breaks(thai.brk, run.data(), positions.data(), positions.size());
        for (int k = 0; k < found; ++k)
            if (positions[k] > 0 && static_cast<size_t>(positions[k]) < end - start)
                breaks.push_back(static_cast<uint32_t>(start + static_cast<size_t>(positions[k])));
        start = end;
    }
}

}  // namespace

std::vector<uint32_t> lineBreaks(const std::u32string& text, const std::string& language) {
    std::vector<uint32_t> breaks;
    if (text.size() < 2) return breaks;
    static const bool ready = [] {
        init_linebreak();
        return true;
    }();
    (void)ready;
    std::vector<utf32_t> units(text.begin(), text.end());
    std::vector<char> kinds(text.size());
    set_linebreaks_utf32(units.data(), units.size(), language.empty() ? nullptr : language.c_str(),
                         kinds.data());
    // kinds[i] tells whether a line may end after character i.
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (kinds[i] == LINEBREAK_ALLOWBREAK || kinds[i] == LINEBREAK_MUSTBREAK)
            breaks.push_back(static_cast<uint32_t>(i + 1));
    addThaiBreaks(text, breaks);
    std::sort(breaks.begin(), breaks.end());
    breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());
    return breaks;
}
