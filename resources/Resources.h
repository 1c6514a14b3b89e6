#pragma once

namespace ostrel {
// Registers the program's pictures (":/icons/...", drive and folder icons,
// tool-button glyphs), which live in a static library and so are not
// registered by themselves. Safe to call again.
void initResources();
} // namespace ostrel
