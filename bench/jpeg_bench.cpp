// JPEG decoding through the load factory: a 12-megapixel photo-like JPEG decoded at full size and
// with the preview flag (the thumbnail path). Prints milliseconds and megapixels per second.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench/BenchClock.h"
#include "imagefile/FormatRegistry.h"
#include "imagefile/ImageFactory.h"
#include "imagefile/ImageOptions.h"
#include "imagefile/NImageFile.h"
#include "imaging/NImageBuffer.h"

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

void Paint(NImageBuffer& picture)
{
    uint32_t seed = 7;
    for (int y = 0; y < picture.height; ++y) {
        uint8_t* row = picture.bits + static_cast<size_t>(y) * picture.stride;
        for (int x = 0; x < picture.width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            int noise = static_cast<int>(seed >> 29) - 4;
            row[x * 3 + 0] = static_cast<uint8_t>(std::clamp(x * 255 / kWidth + noise, 0, 255));
            row[x * 3 + 1] = static_cast<uint8_t>(std::clamp(y * 255 / kHeight + noise, 0, 255));
            row[x * 3 + 2] = static_cast<uint8_t>(std::clamp(((x / 40) ^ (y / 40)) * 60 % 256 + noise, 0, 255));
        }
    }
}

}  // namespace

int wmain()
{
    wchar_t folder[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, folder);
    std::wstring path = std::wstring(folder) + L"vst_jpeg_bench.jpg";

    NImageBuffer picture;
    if (!picture.Create(kWidth, kHeight, 24, 0)) {
        std::printf("cannot create the test picture\n");
        return 1;
    }
    Paint(picture);
    ImageSaveOptions options;
    if (SaveImageFile(&picture, path.c_str(), FT_JPG, &options) != 0) {
        std::printf("cannot write the test JPEG\n");
        return 1;
    }
    picture.Destroy();

    std::printf("JPEG %dx%d (%.1f MP), quality %d\n", kWidth, kHeight, kWidth * kHeight / 1e6, options.jpegQuality);
    std::printf("%-22s %10s %10s %14s\n", "load", "best ms", "median ms", "source MP/s");
    for (int preview = 0; preview <= 1; ++preview) {
        double times[7];
        int w = 0, h = 0;
        for (double& t : times) {
            NImageFile* file = nullptr;
            const double start = BenchSeconds();
            NRESULT r = LoadImageFile(&file, path.c_str(), static_cast<uint8_t>(preview), 1, nullptr, FT_JPG);
            t = (BenchSeconds() - start) * 1000.0;
            if (r != 0 || !file) {
                std::printf("load failed: %d\n", static_cast<int>(r));
                delete file;
                return 1;
            }
            w = file->picture.width;
            h = file->picture.height;
            delete file;
        }
        std::sort(std::begin(times), std::end(times));
        std::printf("%-10s -> %4dx%-4d %10.1f %10.1f %14.1f\n", preview ? "preview" : "full", w, h, times[0], times[3],
                    kWidth * kHeight / 1e3 / times[0]);
    }
    DeleteFileW(path.c_str());
    return 0;
}
