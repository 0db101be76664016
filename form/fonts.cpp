#include "form.h"

namespace form {

namespace {

// Noto Serif CJK TC (fonts-noto-cjk) first; the AR PL faces are the older
// Debian Ming fonts, then the Windows ones for a shared home directory.
constexpr std::u16string_view kLinuxMing[] = {
    u"Noto Serif CJK TC", u"AR PL UMing TW", u"AR PL Mingti2L Big5",
    u"PMingLiU",          u"MingLiU",        u"Noto Serif CJK HK"};
// Where no sans face has Han glyphs, the Ming face draws them rather than
// whatever fontconfig offers first, which may be Simplified.
constexpr std::u16string_view kLinuxSans[] = {u"Noto Sans CJK TC", u"Microsoft JhengHei",
                                              u"Noto Sans CJK HK", u"DejaVu Sans",
                                              u"AR PL UMing TW"};

// The Traditional Chinese supplemental fonts bring 細明體 and 新細明體;
// Microsoft JhengHei is on every Windows 10 and 11. MS Sans Serif has no Han
// glyphs, so a face is taken only where it has Traditional Chinese ones: the
// buttons get JhengHei. The free faces last, for Wine.
constexpr std::u16string_view kWindowsMing[] = {u"細明體",
                                                u"MingLiU",
                                                u"新細明體",
                                                u"PMingLiU",
                                                u"Microsoft JhengHei",
                                                u"Noto Serif CJK TC",
                                                u"AR PL UMing TW"};
constexpr std::u16string_view kWindowsNewMing[] = {
    u"新細明體",           u"PMingLiU",          u"細明體",        u"MingLiU",
    u"Microsoft JhengHei", u"Noto Serif CJK TC", u"AR PL UMing TW"};
constexpr std::u16string_view kWindowsSans[] = {u"MS Sans Serif", u"Microsoft JhengHei",
                                                u"Noto Sans CJK TC", u"AR PL UMing TW"};

} // namespace

std::span<const std::u16string_view> Families(Face face, Platform platform) {
    if (platform == Platform::Linux) {
        switch (face) {
        case Face::Ming:
        case Face::NewMing:
            return kLinuxMing;
        case Face::Sans:
            return kLinuxSans;
        case Face::Default:
            break;
        }
        return {};
    }
    switch (face) {
    case Face::Ming:
        return kWindowsMing;
    case Face::NewMing:
        return kWindowsNewMing;
    case Face::Sans:
        return kWindowsSans;
    case Face::Default:
        break;
    }
    return {};
}

} // namespace form
