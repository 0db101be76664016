#include "fonts.h"

#include <cmath>
#include <cwchar>

namespace qelvara::win {

namespace {

int CALLBACK Found(const LOGFONTW *, const TEXTMETRICW *, DWORD, LPARAM found) {
    *reinterpret_cast<bool *>(found) = true;
    return 0;
}

bool HasTraditionalGlyphs(std::u16string_view family) {
    LOGFONTW query{};
    query.lfCharSet = CHINESEBIG5_CHARSET;
    const std::wstring name = Wide(family.substr(0, LF_FACESIZE - 1));
    std::wcscpy(query.lfFaceName, name.c_str());
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &query, Found, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// The first of the face's families with Traditional Chinese glyphs. None
// has them: the font mapper picks a face that does, for the charset.
std::u16string FirstInstalled(form::Face face) {
    const auto families = form::Families(face, form::Platform::Windows);
    for (const std::u16string_view family : families)
        if (HasTraditionalGlyphs(family))
            return std::u16string(family);
    return families.empty() ? std::u16string() : std::u16string(families.front());
}

} // namespace

std::u16string FamilyOf(form::Face face) {
    // Fonts are not installed while the program runs: one look per face.
    static std::u16string found[4];
    std::u16string &family = found[static_cast<int>(face)];
    if (family.empty())
        family = FirstInstalled(face);
    return family;
}

HFONT CreateFormFont(const form::Font &wanted, unsigned dpi) {
    LOGFONTW font{};
    if (wanted.face == form::Face::Default) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
        return CreateFontIndirectW(&metrics.lfMessageFont);
    }
    // A negative height is the em, not the cell: points at dpi.
    font.lfHeight = -static_cast<LONG>(std::lround(wanted.points * dpi / 72.0));
    font.lfWeight = wanted.bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = CHINESEBIG5_CHARSET;
    font.lfOutPrecision = OUT_TT_PRECIS;
    font.lfQuality = CLEARTYPE_QUALITY;
    const std::wstring family = Wide(FamilyOf(wanted.face).substr(0, LF_FACESIZE - 1));
    std::wcscpy(font.lfFaceName, family.c_str());
    return CreateFontIndirectW(&font);
}

} // namespace qelvara::win
