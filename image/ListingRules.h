#pragma once
// Which directory entries the image folder lists, and how the search pattern
// and each image's path are formed from the folder part of the command-line
// path. Pure: standard library only; the Windows listing applies these rules.
#include <cstddef>

// True when the name's extension (from its last dot to the end, the dot
// included; empty without a dot) is a still image's in the extension table:
// ".jpg" ".JPG" ".jpeg" ".JPEG" ".webp" ".WEBP" ".png" ".PNG". Mixed case such
// as ".Jpg" is not.
bool HasListedImageExtension(const wchar_t* name);

// Whether a directory entry enters the list: visible folders never do; files,
// hidden or not, and hidden folders do when their extension is listed. The
// entries "." and ".." never do (their extension is a lone dot).
bool KeepsFolderEntry(const wchar_t* name, bool isDirectory, bool isHidden);

// The listing's search pattern: the folder followed by "/*". A folder part
// that names no folder of its own is searched where it points, without a
// separator: empty (a bare file name: the current folder) gives "*", a drive
// with no path ("C:", that drive's current folder) gives "C:*", and a lone
// backslash (the root of the current drive) gives "\*"; adding "/" there would
// search the wrong folder, or make "\/" read as a network path. A drive root
// "C:\" keeps its backslash: "C:\/*".
// Writes at most outChars characters with the terminator; false (and an empty
// out) when the pattern would not fit.
bool BuildSearchPattern(const wchar_t* folder, wchar_t* out, size_t outChars);

// An image's path: the folder, a backslash and the name, with the same three
// exceptions as the pattern (no separator after "", "C:" or "\"). A drive root
// gives two backslashes ("C:\\a.png"), which the file system reads as one.
// False (and an empty out) when the path would not fit in outChars.
bool BuildEntryPath(const wchar_t* folder, const wchar_t* name, wchar_t* out, size_t outChars);
