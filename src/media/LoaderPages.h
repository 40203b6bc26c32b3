// The pages of the loaded libraries that only the dynamic loader reads.
//
// Each shared library (and the program) begins with a read-only segment
// holding its headers and its symbol and relocation tables. The loader reads
// it once, when it links the library in, and the pages then stay in the
// resident set for the whole run: about 20 MB with the libraries a player
// pulls in through Qt, GStreamer and libav, most of it relocation tables
// never read again. ReleaseLoaderPages hands those pages back to the
// kernel. They were never written, so nothing is lost: a later symbol
// lookup (a plugin loaded for the next file) reads what it needs again
// from the page cache. Libraries whose code the loader had to patch
// (text relocations) and the parts of a segment that are made read-only
// only after linking are left alone.
#pragma once

#include <cstddef>

// Returns how many bytes were handed back.
size_t ReleaseLoaderPages();
