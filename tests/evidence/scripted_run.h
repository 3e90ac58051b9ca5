// The tool's logic driven through one scripted session on the demo's module: every page
// ticked, the configuration read, changed and written, each image loaded, written and read
// back, the outputs and the CNC processor worked, and the firmware updated. Every view call
// and every feature report goes into one text log, so that two builds of the tool can be
// compared line by line.
#pragma once

#include <filesystem>
#include <ostream>

// Every entry of the form table, one line each: what both windows are built from.
void dump_form_table(std::ostream& out);

// Runs the session with its image files in `scratch` (created, left behind) and writes the log.
void run_scripted_session(const std::filesystem::path& scratch, std::ostream& log);
