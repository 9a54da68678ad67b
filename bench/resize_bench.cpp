// Resize benchmark: a camera-sized picture (a 24-bit BMP given on the command line, else a made-up
// 6000 x 4000 one) to a 200 x 200 thumbnail and to half size, with every ResizeMode, the smooth
// method-less resize and the result window's thumbnail drawing (BltImageFiltered). Prints the best
// of several runs in milliseconds. With --magick-ms <thumbnail> <half> (ImageMagick's times for the
// same two resizes, measured by run_resize_bench.sh) it prints the ratios too.
//
// Usage: resize_bench [picture.bmp] [--runs N] [--magick-ms T H]
#include "bench/BenchSupport.h"
#include "imaging/NImageBuffer.h"

#include <omp.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <vector>

namespace {

const char* kModeNames[12] = {"nearest", "area coverage", "B-spline (raw)", "Gaussian", "area average",
                              "box",     "bilinear",      "bicubic",        "Catmull-Rom", "Lanczos3",
                              "B-spline", "Blackman"};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const wchar_t* path = nullptr;
    int runs = 3;
    double magickThumb = 0, magickHalf = 0;
    for (int i = 1; i < argc; ++i) {
        if (!wcscmp(argv[i], L"--runs") && i + 1 < argc)
            runs = std::max(1, _wtoi(argv[++i]));
        else if (!wcscmp(argv[i], L"--magick-ms") && i + 2 < argc) {
            magickThumb = _wtof(argv[++i]);
            magickHalf = _wtof(argv[++i]);
        } else
            path = argv[i];
    }

    NImageBuffer picture;
    if (path ? !LoadBmp24(path, picture) : !MakeBenchPicture(picture)) {
        fprintf(stderr, "cannot load or make the picture\n");
        return 1;
    }
    const int thumbWidth = picture.width >= picture.height ? 200 : std::max(1, 200 * picture.width / picture.height);
    const int thumbHeight = picture.width >= picture.height ? std::max(1, 200 * picture.height / picture.width) : 200;
    const int halfWidth = picture.width / 2, halfHeight = picture.height / 2;
    printf("picture %dx%d, 24 bpp; thumbnail %dx%d, half %dx%d; best of %d runs; %d threads\n\n", picture.width,
           picture.height, thumbWidth, thumbHeight, halfWidth, halfHeight, runs, omp_get_max_threads());
    printf("%-44s %12s %12s\n", "method", "thumbnail ms", "half ms");

    bool allDone = true;
    auto report = [&](const char* name, const std::function<bool(int, int)>& resize, double* thumbOut) {
        double thumb = 0, half = 0;
        const bool done = Time(runs, thumb, [&] { return resize(thumbWidth, thumbHeight); }) &&
                          Time(runs, half, [&] { return resize(halfWidth, halfHeight); });
        if (!done) {
            printf("%-44s failed\n", name);
            allDone = false;
            return;
        }
        printf("%-44s %12.1f %12.1f\n", name, thumb, half);
        fflush(stdout);
        if (thumbOut)
            *thumbOut = thumb;
    };

    NImageBuffer out;
    double lanczosThumb = 0;
    for (int mode = 0; mode < 12; ++mode) {
        char name[64];
        snprintf(name, sizeof(name), "mode %2d %s", mode, kModeNames[mode]);
        report(name, [&](int w, int h) { return picture.ResizeImageInto(out, w, h, mode, false); },
               mode == 9 ? &lanczosThumb : nullptr);
    }
    report("smooth scaler (ResizeImageReturnNew)",
           [&](int w, int h) { return picture.ResizeImageReturnNew(out, w, h); }, nullptr);
    double windowThumb = 0;
    NImageBuffer canvas;
    report("result window thumbnail (BltImageFiltered)",
           [&](int w, int h) {
               return canvas.Create(w, h, 24, 0) && picture.BltImageFiltered(canvas.dc, 0, 0, w, h, 0) && GdiFlush();
           },
           &windowThumb);

    if (magickThumb > 0 && magickHalf > 0 && windowThumb > 0) {
        printf("\nImageMagick convert -filter Lanczos -resize: thumbnail %.1f ms, half %.1f ms\n", magickThumb,
               magickHalf);
        printf("result window thumbnail: %.2fx ImageMagick's speed (%s)\n", magickThumb / windowThumb,
               windowThumb < magickThumb ? "faster" : "SLOWER");
        if (lanczosThumb > 0)
            printf("mode 9 (Lanczos3) thumbnail: %.2fx ImageMagick's speed\n", magickThumb / lanczosThumb);
    }
    return allDone ? 0 : 1;
}
