// Maya IFF reading: tiles raw and run-length coded, placed bottom-up, clipped to the picture;
// refused compressions and chunks; tiles whose corners make no tile.
#include "imagefile/extra/NImageFileIFF2.h"

#include "RasterFixtures.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Chunks padded to a multiple of 4 bytes; group sizes count the group type.
Bytes MayaChunk(const char* id, const Bytes& body)
{
    Bytes b;
    b.text(id).u32be(static_cast<uint32_t>(body.size())).raw(body.data);
    while (b.size() % 4)
        b.u8(0);
    return b;
}

Bytes MayaGroup(const char* type, std::initializer_list<Bytes> chunks)
{
    Bytes inner;
    inner.text(type);
    for (const Bytes& c : chunks)
        inner.raw(c.data);
    Bytes b;
    b.text("FOR4").u32be(static_cast<uint32_t>(inner.size())).raw(inner.data);
    return b;
}

Bytes TileHeader(uint32_t width, uint32_t height, uint32_t flags, unsigned tiles, uint32_t compression)
{
    Bytes b;
    b.u32be(width).u32be(height).u16be(1).u16be(1).u32be(flags).u16be(0).u16be(tiles).u32be(compression);
    return b;
}

Bytes Corners(unsigned x1, unsigned y1, unsigned x2, unsigned y2)
{
    return Bytes().u16be(x1).u16be(y1).u16be(x2).u16be(y2);
}

// A raw tile of one colour: pixels stored as alpha, blue, green, red (4 channels) or blue,
// green, red (3 channels).
Bytes RawTile(unsigned x1, unsigned y1, unsigned x2, unsigned y2, unsigned channels, Rgba colour)
{
    Bytes b = Corners(x1, y1, x2, y2);
    const unsigned pixels = (x2 - x1 + 1) * (y2 - y1 + 1);
    for (unsigned i = 0; i < pixels; ++i) {
        if (channels == 4)
            b.u8(colour.a);
        b.u8(colour.b).u8(colour.g).u8(colour.r);
    }
    return b;
}

NRESULT LoadBytes(NImageFileIFF2& iff, const TestDir& dir, const Bytes& file)
{
    const std::wstring path = dir.File(L"maya.iff");
    if (!WriteWholeFile(path, file.data))
        return NR_FILE_ERROR;
    return iff.Load(path.c_str(), 0, 0, nullptr);
}

bool Same(Rgba a, Rgba b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

}  // namespace

TEST(IffMayaFormat, TwoTilesSideBySideFillTheirHalves)
{
    const Rgba left{200, 10, 20, 255};
    const Rgba right{5, 150, 250, 128};
    Bytes file = MayaGroup("CIMG", {MayaChunk("TBHD", TileHeader(8, 4, 3, 2, 0)),
                                    MayaGroup("TBMP", {MayaChunk("RGBA", RawTile(0, 0, 3, 3, 4, left)),
                                                       MayaChunk("RGBA", RawTile(4, 0, 7, 3, 4, right))})});
    TestDir dir;
    NImageFileIFF2 iff;
    ASSERT_EQ(LoadBytes(iff, dir, file), NR_OK);
    ASSERT_EQ(iff.picture.bpp, 32);
    EXPECT_EQ(iff.fullWidth, 8);
    EXPECT_EQ(iff.fullHeight, 4);
    for (int y = 0; y < 4; ++y) {
        EXPECT_TRUE(Same(PixelAt(iff.picture, 0, y), left));
        EXPECT_TRUE(Same(PixelAt(iff.picture, 3, y), left));
        EXPECT_TRUE(Same(PixelAt(iff.picture, 4, y), right));
        EXPECT_TRUE(Same(PixelAt(iff.picture, 7, y), right));
    }
    EXPECT_EQ(iff.GetConsumedSize(), file.size());
    EXPECT_EQ(iff.GetFormatId(), FT_IFF2);
}

TEST(IffMayaFormat, RunLengthTilesMatchRawOnesAndRowsCountFromTheBottom)
{
    // A 3-channel 4 x 2 picture; one compressed tile. Planes come blue, green, red; the bottom
    // row (y = 0 in the tile) is red 10, the top row red 20.
    Bytes planes;
    planes.u8(0x80 | 7).u8(1);                 // blue: 8 times 1
    planes.u8(7).bytes({2, 2, 2, 2, 3, 3, 3, 3});   // green: a literal of 8
    planes.u8(0x80 | 3).u8(10).u8(0x80 | 10).u8(20);   // red: 4 x 10, then a run of 11 cut at 4
    Bytes tile = Corners(0, 0, 3, 1);
    tile.raw(planes.data);
    Bytes file = MayaGroup("CIMG", {MayaChunk("TBHD", TileHeader(4, 2, 1, 1, 1)),
                                    MayaGroup("TBMP", {MayaChunk("RGBA", tile)})});
    TestDir dir;
    NImageFileIFF2 iff;
    ASSERT_EQ(LoadBytes(iff, dir, file), NR_OK);
    ASSERT_EQ(iff.picture.bpp, 24);
    const Rgba bottom = PixelAt(iff.picture, 2, 1);
    const Rgba top = PixelAt(iff.picture, 2, 0);
    EXPECT_EQ(bottom.r, 10);
    EXPECT_EQ(bottom.g, 2);
    EXPECT_EQ(bottom.b, 1);
    EXPECT_EQ(top.r, 20);
    EXPECT_EQ(top.g, 3);
}

TEST(IffMayaFormat, TilesAreClippedAndBrokenTilesSkipped)
{
    const Rgba colour{90, 80, 70, 255};
    Bytes file = MayaGroup(
        "CIMG", {MayaChunk("TBHD", TileHeader(4, 4, 1, 4, 0)),
                 MayaGroup("TBMP", {MayaChunk("RGBA", RawTile(2, 2, 9, 9, 3, colour)),    // past the corner
                                    MayaChunk("RGBA", Corners(3, 0, 1, 0)),               // x2 < x1
                                    MayaChunk("RGBA", Bytes().u16be(0)),                  // no corners
                                    MayaChunk("ZBUF", Corners(0, 0, 0, 0).fill(4, 0))})});
    TestDir dir;
    NImageFileIFF2 iff;
    ASSERT_EQ(LoadBytes(iff, dir, file), NR_OK);
    EXPECT_EQ(PixelAt(iff.picture, 3, 0).r, 90);   // buffer row 3 is the top
    EXPECT_EQ(PixelAt(iff.picture, 2, 1).g, 80);
    EXPECT_EQ(PixelAt(iff.picture, 1, 0).r, 0);
    EXPECT_EQ(PixelAt(iff.picture, 3, 3).r, 0);
}

TEST(IffMayaFormat, RefusalsAndShortFiles)
{
    TestDir dir;
    NImageFileIFF2 iff;
    const Rgba colour{1, 2, 3, 4};
    Bytes compression2 = MayaGroup("CIMG", {MayaChunk("TBHD", TileHeader(2, 2, 3, 1, 2))});
    EXPECT_EQ(LoadBytes(iff, dir, compression2), NR_COMPRESSION_NOT_SUPPORTED);

    Bytes stranger = MayaGroup("CIMG", {MayaChunk("TBHD", TileHeader(2, 2, 3, 1, 0)),
                                        MayaGroup("TBMP", {MayaChunk("XXXX", Bytes().fill(8, 0))})});
    EXPECT_EQ(LoadBytes(iff, dir, stranger), NR_WRONG_PICTURE_FORMAT);
    EXPECT_FALSE(iff.picture.valid);
    EXPECT_EQ(LoadBytes(iff, dir, MayaGroup("CIMG", {MayaChunk("TBHD", TileHeader(2, 2, 3, 1, 0))})), NR_DECODE_FAILED);
    EXPECT_FALSE(iff.picture.valid);

    EXPECT_EQ(LoadBytes(iff, dir, MayaGroup("ILBM", {})), NR_NOT_THIS_FORMAT);
    EXPECT_EQ(LoadBytes(iff, dir, Bytes().text("FOR4")), NR_NOT_THIS_FORMAT);
    EXPECT_EQ(LoadBytes(iff, dir, MayaGroup("CIMG", {MayaChunk("FVER", Bytes().fill(4, 0))})), NR_DECODE_FAILED);
    EXPECT_EQ(LoadBytes(iff, dir, MayaGroup("CIMG", {MayaChunk("TBHD", TileHeader(0, 2, 3, 1, 0))})),
              NR_PICTURE_CREATE_FAILED);

    // Tiles that the file does not hold: the picture keeps what was read, and the whole file
    // counts as consumed.
    Bytes missing = MayaGroup("CIMG", {MayaChunk("TBHD", TileHeader(4, 2, 3, 3, 0)),
                                       MayaGroup("TBMP", {MayaChunk("RGBA", RawTile(0, 0, 1, 1, 4, colour))})});
    ASSERT_EQ(LoadBytes(iff, dir, missing), NR_OK);
    EXPECT_TRUE(Same(PixelAt(iff.picture, 1, 1), colour));
    EXPECT_EQ(iff.GetConsumedSize(), missing.size());

    // A raw tile whose chunk claims more than the file holds.
    Bytes cut = MayaGroup("CIMG", {MayaChunk("TBHD", TileHeader(4, 2, 3, 1, 0)),
                                   MayaGroup("TBMP", {Bytes().text("RGBA").u32be(0x7FFFFFF0).raw(Corners(0, 0, 3, 1).data).fill(8, 7)})});
    ASSERT_EQ(LoadBytes(iff, dir, cut), NR_OK);
    EXPECT_EQ(PixelAt(iff.picture, 0, 1).r, 7);
    EXPECT_EQ(iff.GetConsumedSize(), cut.size());

    EXPECT_EQ(iff.Load(dir.File(L"missing.iff").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);
}
