// The editor's bitmaps, painted from source at build time by the artwork
// generator (tools/artwork) and compiled in as PNG data: into this library on
// Linux, into the DLL's resources (type DATA) on Windows.
#pragma once

// Registers every bitmap (ids 10000-10066) with the toolkit's resource
// registry. Call it before loading bitmaps (the editor does in its open): it
// also keeps the linker from dropping the data out of the static library.
// Idempotent and cheap; GUI thread.
void registerMorvelithArtwork();
