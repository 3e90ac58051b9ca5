// The Win32 window's look and the little helpers of its controls: text between UTF-8 (the
// sources' texts) and UTF-16 (the API's), the fixed fonts and the alignments of the static
// texts. The screen's density is screen_density.h's.
#pragma once

#include <windows.h>

#include <string>

#include "app/form.h"
#include "define/wide_text.h"  // widen, narrow

// The window's font for a font role at a scale. The window has a fixed layout in pixels, so
// its fonts have fixed pixel heights too, as in the Linux window.
HFONT make_form_font(FontRole role, double scale);

// The static-control style of a text's alignment.
DWORD static_alignment(Align align);
