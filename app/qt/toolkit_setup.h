// What the toolkit itself does beyond the tool's window: its own texts, its settings, and the
// one command-line answer both executables give.
#pragma once

// When the arguments ask for --version, prints "<program> <version>" to standard output and
// returns true; the caller then ends without opening a display. Call before the application
// object exists, so that it works where there is no display at all.
bool print_version_if_asked(int argc, char** argv);

// Qt's own texts (the standard buttons of the boxes, the file dialogs) in Russian, the tool's
// language, whatever the user's locale; the file dialogs are always Qt's own, which these
// texts reach, never the desktop's. Without Qt's translation files they stay in English.
void use_russian_toolkit_texts();

// Keeps the toolkit from keeping anything between runs: the file dialog stores its history,
// last folder and layout in the user's settings (~/.config/QtProject.conf) when it closes.
void keep_no_toolkit_settings();
