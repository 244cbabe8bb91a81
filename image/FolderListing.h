#pragma once
// Listing the command-line image's folder in natural order.
#include "app/PlayerState.h"

// Lists the images of state.filePath (the folder part of the command-line
// path; empty for a bare file name, which lists the current folder) into
// imagePaths, imageNames and one empty slot each in imageBitmaps, sorted with
// NaturalLess, and sets currentIndex to the entry named exactly
// startFileName. True when that entry exists. UI thread, once, before the
// prefetch thread starts. Entries whose path would not fit a path buffer are
// left out.
bool ListFolderImages(PlayerState& state);

// The natural order with the C runtime's iswdigit and the system's Unicode
// simple lower case (LCMapStringEx, invariant locale) as the fold, whatever C
// runtime is linked: true when a comes strictly before b.
bool NaturalLess(const wchar_t* a, const wchar_t* b);
