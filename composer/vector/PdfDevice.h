#pragma once

#include "composer/encode/Formats.h"
#include "composer/save/ByteOutput.h"
#include "composer/vector/Device.h"

#include <memory>

namespace morvaleth {

// A PDF of one page holding the run's stamps as vector shapes, written into
// the output as the stamps come (only appending, so a pipe takes it too):
//
// - The page is the picture at the options' resolution, or at 96 pixels to
//   the inch without one; one pixel of the picture is one unit of the page's
//   drawing, y downwards.
// - A scrap is its polygon filled by the even-odd rule and its outline one
//   pixel wide, through the pixels' centres, as the raster draws it.
// - A character is text in its face at the place, size and turn the raster
//   gives it: the face embedded once, as a subset of the glyphs the page uses
//   (TrueType or OpenType outlines, by HarfBuzz's subsetter), with a map back
//   to the characters, so that the page reads, searches and copies as the
//   letter. A glyph that stands for other characters than the first it was
//   seen with (a missing-glyph box, a shaped cluster) carries its characters
//   itself (ActualText).
// - A bold cutting is thickened as the raster thickens it, which no reader
//   does to a font: its glyphs go into a font of their own made of the
//   thickened outlines (Type 3), and stay text. So do the glyphs of a face
//   whose format cannot be subset (Type 1, bitmaps) and of an instance of a
//   variable face.
// - A face whose licence forbids embedding (OS/2 fsType: restricted, bitmaps
//   only, or no subsetting) is not embedded: its glyphs are drawn as outlines, each
//   written once and placed wherever it is used, without text; the options'
//   warning is told once for the face.
//
// Memory stays small whatever the letter's length: the page's drawing is
// compressed into the output as it comes, and the outlines are held only
// until a megabyte of them waits. A device dropped before Finish has written
// an incomplete file, which the save then removes.
std::unique_ptr<StampDevice> PdfDevice(ByteOutput& output, const OutputOptions& options);

} // namespace morvaleth
