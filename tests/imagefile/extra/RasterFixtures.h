// Helpers of the raster-format tests: files built byte by byte, pixels read back in top-down
// coordinates, and comparison with a reference decoding (8-bit channels, top row first).
#pragma once

#include "common/TestFiles.h"
#include "imaging/NImageBuffer.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// A file being built: little-endian unless the name says BE.
struct Bytes {
    std::vector<uint8_t> data;

    Bytes& u8(unsigned v)
    {
        data.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Bytes& u16(unsigned v) { return u8(v).u8(v >> 8); }
    Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& u16be(unsigned v) { return u8(v >> 8).u8(v); }
    Bytes& u32be(uint32_t v) { return u16be(v >> 16).u16be(v & 0xFFFF); }
    Bytes& text(const char* s) { return raw(s, strlen(s)); }
    Bytes& raw(const void* p, size_t n)
    {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        data.insert(data.end(), b, b + n);
        return *this;
    }
    Bytes& raw(const std::vector<uint8_t>& v) { return raw(v.data(), v.size()); }
    Bytes& bytes(std::initializer_list<uint8_t> list)
    {
        data.insert(data.end(), list.begin(), list.end());
        return *this;
    }
    Bytes& fill(size_t n, uint8_t v)
    {
        data.insert(data.end(), n, v);
        return *this;
    }
    size_t size() const { return data.size(); }
    void put32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            data[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
};

struct Rgba {
    uint8_t r, g, b, a;
};

inline int PaletteIndexAt(const NImageBuffer& pic, int x, int y)
{
    const uint8_t* row = pic.bits + static_cast<size_t>(pic.height - 1 - y) * pic.stride;
    switch (pic.bpp) {
    case 1:
        return (row[x / 8] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
    case 8:
        return row[x];
    default:
        return -1;
    }
}

// The pixel at (x, y), y = 0 the top row; alpha is 255 below 32 bits.
inline Rgba PixelAt(const NImageBuffer& pic, int x, int y)
{
    const uint8_t* row = pic.bits + static_cast<size_t>(pic.height - 1 - y) * pic.stride;
    if (pic.bpp <= 8) {
        const int i = PaletteIndexAt(pic, x, y);
        return {pic.palette[i][2], pic.palette[i][1], pic.palette[i][0], 255};
    }
    if (pic.bpp == 16) {
        const unsigned p = row[x * 2] | (row[x * 2 + 1] << 8);
        return {kFiveBitExpansion[(p >> 10) & 31], kFiveBitExpansion[(p >> 5) & 31], kFiveBitExpansion[p & 31], 255};
    }
    const int n = pic.bpp / 8;
    const uint8_t* p = row + static_cast<size_t>(x) * n;
    return {p[2], p[1], p[0], static_cast<uint8_t>(n == 4 ? p[3] : 255)};
}

inline std::vector<uint8_t> ReadDataFile(const std::wstring& relative)
{
    std::vector<unsigned char> bytes;
    ReadWholeFile(TestDataPath(relative), bytes);
    return bytes;
}

// Every pixel against a reference of `channels` (3 or 4) bytes a pixel, top row first; colour
// channels may differ by `tolerance`.
inline ::testing::AssertionResult MatchesReference(const NImageBuffer& pic, const std::vector<uint8_t>& reference,
                                                   int channels, int tolerance = 0)
{
    auto within = [tolerance](int a, int b) { return a - b <= tolerance && b - a <= tolerance; };
    if (!pic.valid)
        return ::testing::AssertionFailure() << "picture not valid";
    if (reference.size() != static_cast<size_t>(pic.width) * pic.height * channels)
        return ::testing::AssertionFailure() << "reference holds " << reference.size() << " bytes";
    int wrong = 0;
    std::string first;
    for (int y = 0; y < pic.height; ++y) {
        for (int x = 0; x < pic.width; ++x) {
            const uint8_t* e = reference.data() + (static_cast<size_t>(y) * pic.width + x) * channels;
            const Rgba p = PixelAt(pic, x, y);
            if (!within(p.r, e[0]) || !within(p.g, e[1]) || !within(p.b, e[2]) || (channels == 4 && p.a != e[3])) {
                if (wrong++ == 0) {
                    first = "(" + std::to_string(x) + "," + std::to_string(y) + ") is " + std::to_string(p.r) + " " +
                            std::to_string(p.g) + " " + std::to_string(p.b) + " " + std::to_string(p.a) +
                            ", expected " + std::to_string(e[0]) + " " + std::to_string(e[1]) + " " +
                            std::to_string(e[2]) + (channels == 4 ? " " + std::to_string(e[3]) : "");
                }
            }
        }
    }
    if (wrong)
        return ::testing::AssertionFailure() << wrong << " pixels differ; first " << first;
    return ::testing::AssertionSuccess();
}

// The files named dlv*.tmp in the temporary folder.
inline int CountDlvTempFiles()
{
    wchar_t folder[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, folder);
    std::wstring pattern = std::wstring(folder) + L"dlv*.tmp";
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(pattern.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do {
        ++count;
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return count;
}

inline uint64_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}
