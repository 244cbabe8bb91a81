#pragma once
// Classification of the command-line path by its extension.
//
// Contract: the rows of the extension table are tried in order and the first
// one whose extension is the exact end of the path wins; only the all-lower and
// all-upper forms exist (".Png" matches nothing). The file-name part is what
// follows the folder part and its one separating backslash (everything after a
// drive root's backslash; the whole path when there is no folder part).
// Paths of kPathChars characters or more cannot fit the 512-character buffers
// of the state and are classified as None with every output left empty.
// Pure: no Windows types, nothing looked up on disk.
#include <cstddef>
#include "app/ViewMode.h"

constexpr size_t kPathChars = 512;  // every path buffer: 511 characters and a terminator

// The container a video extension names. The video opening compares it with the
// container the file's first bytes show.
enum class ContainerFamily { Unknown, IsoMedia, Matroska, Avi, Asf };

// One extension the viewer knows, in its only two spellings, with what it opens
// and, for a video, the container it names (Unknown for images, and for
// ".mpeg"/".mpg", whose program streams are never renamed).
struct ExtensionRow {
    const wchar_t* lower;  // ".jpeg"
    const wchar_t* upper;  // ".JPEG"
    ViewMode mode;
    ContainerFamily container;
};

// Every extension, in the order classification tries them. The folder listing
// and the container check read the same rows.
extern const ExtensionRow kExtensionTable[];
extern const size_t kExtensionCount;

// The row one of whose spellings is exactly `extension` (the dot included);
// null for anything else, mixed case included.
const ExtensionRow* FindExtension(const wchar_t* extension);

struct ClassifiedPath {
    ViewMode mode = ViewMode::None;
    wchar_t startFileName[kPathChars] = {};  // file-name part, every mode
    wchar_t filePath[kPathChars] = {};       // folder (ImageFolder) or whole path (AnimatedGif, Video)
    wchar_t diskPath[kPathChars] = {};       // Video only: the whole path
    wchar_t videoExtension[kPathChars] = {}; // Video only: lower-case extension, e.g. ".mp4"
};

// Folder part of a path as PathRemoveFileSpecW leaves it: everything before the
// last backslash, keeping the backslash of a drive root ("C:\"), and empty for a
// bare name. Returns its length in characters.
size_t FolderPartLength(const wchar_t* path, size_t length);

// Classifies `path` (null for "no argument") into `out`. Returns out.mode.
ViewMode ClassifyPath(const wchar_t* path, ClassifiedPath& out);
