#include "image/FolderListing.h"

// Placeholder until folder listing is built.
bool ListFolderImages(PlayerState&) { return false; }
