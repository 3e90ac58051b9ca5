#include "app/win32/widgets.h"

#include <array>

namespace {

// Each font role names the faces it takes, first found first.
struct FontChoice {
    std::array<const wchar_t*, 4> faces;
    int pixels;
    bool bold;
    bool fixed;
};
constexpr FontChoice font_choice(FontRole role)
{
    switch (role) {
    case FontRole::heading: return {{L"Tahoma", L"Segoe UI", L"DejaVu Sans", nullptr}, 13, true, false};
    case FontRole::list: return {{L"Consolas", L"Courier New", L"DejaVu Sans Mono", L"Liberation Mono"}, 12, false, true};
    case FontRole::bit_row: return {{L"Consolas", L"Courier New", L"DejaVu Sans Mono", L"Liberation Mono"}, 13, false, true};
    case FontRole::ui: break;
    }
    return {{L"Tahoma", L"Segoe UI", L"DejaVu Sans", nullptr}, 11, false, false};
}

int CALLBACK note_found(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool face_exists(const wchar_t* face)
{
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(query.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(dc, &query, note_found, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

}  // namespace

HFONT make_form_font(FontRole role, double scale)
{
    const FontChoice choice = font_choice(role);
    LOGFONTW font{};
    font.lfHeight = -static_cast<LONG>(choice.pixels * scale + 0.5);
    font.lfWeight = choice.bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = RUSSIAN_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    font.lfPitchAndFamily = choice.fixed ? FIXED_PITCH | FF_MODERN : VARIABLE_PITCH | FF_SWISS;
    for (const wchar_t* face : choice.faces) {
        if (face != nullptr && face_exists(face)) {
            lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
            break;
        }
    }
    return CreateFontIndirectW(&font);
}

DWORD static_alignment(Align align)
{
    switch (align) {
    case Align::centre: return SS_CENTER | SS_CENTERIMAGE;
    case Align::right: return SS_RIGHT | SS_CENTERIMAGE;
    case Align::left_bottom: return SS_LEFT;  // wraps from the top; no bottom alignment here
    case Align::left: break;
    }
    return SS_LEFTNOWORDWRAP | SS_CENTERIMAGE;
}
