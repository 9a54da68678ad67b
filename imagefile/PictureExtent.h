// PictureExtent: where a picture that starts at byte 0 of a ByteSource ends, found by walking its
// format's structure (chunks, boxes, directories, segment lengths) without decoding it.
//
// Each scanned format class has a static FindExtent(ByteSource&) that answers one of:
//   Complete  the structure is whole and ends at `end` (<= the source's size). Loading the first
//             `end` bytes gives the same picture and the same consumed size as loading the
//             picture with any bytes after it: the loader reads nothing past `end` that matters.
//   Broken    no loader of the format can make a picture of these bytes (a header the loader
//             itself refuses, a structure that cannot hold a picture).
//   Unknown   the walk cannot tell (the structure runs past the source, or is damaged in a way
//             the loader might still read around).
// The recovery scan writes a Complete candidate at exactly its extent, drops a Broken one without
// writing anything, and gives an Unknown one its old length of one read block. Loaders whose
// consumed size is the picture's structural end use the same walk over their file.
#pragma once

#include <cstdint>

#include "imagefile/ByteSource.h"

struct PictureExtent {
    enum class Kind : uint8_t { Unknown, Complete, Broken };
    Kind kind = Kind::Unknown;
    uint64_t end = 0;

    static PictureExtent Complete(uint64_t end) { return {Kind::Complete, end}; }
    static PictureExtent Broken() { return {Kind::Broken, 0}; }
    static PictureExtent Unknown() { return {Kind::Unknown, 0}; }
    bool IsComplete() const { return kind == Kind::Complete; }
    bool IsBroken() const { return kind == Kind::Broken; }
};

// Walks over a picture at most this long; no real picture of any scanned format is longer.
inline constexpr uint64_t kLargestPicture = uint64_t{2} << 30;
