#pragma once
// The real container of a video file, recognised from its first bytes, and the
// path under which Media Foundation is to open it.
//
// Contract: four container families are recognised by fixed signatures, tested
// in table order, the first match deciding:
//   1. ISO base media (MP4, QuickTime): bytes 4..7 are "ftyp"          -> ".mp4"
//   2. WebM / Matroska: bytes 0..3 are 1A 45 DF A3 (EBML)              -> ".webm"
//   3. AVI: bytes 0..3 "RIFF" and bytes 8..11 "AVI "                   -> ".avi"
//   4. ASF (Windows Media): bytes 0..15 are the ASF header object GUID -> ".wmv"
// The extensions that already fit a family are those the extension table gives
// it; when the extension that classification recorded (always lower case, ".mp4", ".webm", ...) is not one
// of them, the recorded extension at the end of the path is replaced by the
// family's corrected one. Nothing else of the path changes. A header shorter
// than 32 bytes is zero-filled by the caller, so a signature can only match
// bytes the file really has. Unrecognised content (an MPEG program stream, a
// RIFF WAVE file) changes nothing.
// Pure: no Windows types, no file access.
#include <cstddef>
#include <cstdint>

#include "app/Classify.h"

constexpr size_t kSniffBytes = 32;  // how much of the file's start is examined


// The family of the first table row whose signature matches `header`
// (kSniffBytes bytes, zero-filled past the end of the file).
ContainerFamily SniffContainer(const uint8_t (&header)[kSniffBytes]);

// The extension a file of a recognised family is opened under: the first one
// the extension table gives that family (".mp4", ".webm", ".avi", ".wmv");
// null for Unknown.
const wchar_t* CorrectedExtensionOf(ContainerFamily family);

// Rewrites the extension at the end of `filePath` (a kPathChars buffer) when
// the container in `header` does not fit `videoExtension`. Returns true when
// filePath was changed. The path is left alone when the container is unknown
// or fits, when videoExtension is empty or is not the end of the path (in
// either case: classification matched ".MP4" or ".mp4"), and when the corrected
// path would not fit the buffer.
bool CorrectExtensionForContainer(wchar_t (&filePath)[kPathChars], const wchar_t* videoExtension,
                                  const uint8_t (&header)[kSniffBytes]);
