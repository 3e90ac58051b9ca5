// The firmware images lirvan-cli carries: the build's own (the file the build was given, built
// into the executable; none when it was given none) and the demo's generated one.
#pragma once

#include "cli/cli.h"

CarriedImage carried_firmware();
// A deterministic stand-in for the simulated module of --demo: a banner that says what it is,
// then a byte ramp, 248488 bytes, reported with the version of the build's image (or 4.36).
CarriedImage demo_firmware();
