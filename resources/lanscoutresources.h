#pragma once

// Registers the compiled-in images, toolkit configuration and translation catalogues.
// They live in a static library, whose registration code the linker would drop unless
// something refers to it; this call is that reference. Safe to call more than once.
void initLanScoutResources();
