// Mosaic and stylised effects benchmark: milliseconds and megapixels per second of the pixelation
// (small blocks and one block as wide as the picture), the dot mosaic, the seamless tile and the
// oil paint on a camera-sized picture (a 24-bit BMP given on the command line, else a made-up
// 6000 x 4000 one), on all threads.
//
// Usage: mosaic_bench [picture.bmp] [--runs N]
#include <omp.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>

#include "bench/BenchSupport.h"
#include "effects/Mosaic.h"
#include "effects/StylisedEffects.h"
#include "imaging/NImageBuffer.h"

namespace {

struct Operation {
    const char* name;
    std::function<bool(NImageBuffer&)> run;
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const wchar_t* path = nullptr;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        if (!wcscmp(argv[i], L"--runs") && i + 1 < argc)
            runs = std::max(1, _wtoi(argv[++i]));
        else
            path = argv[i];
    }

    NImageBuffer picture;
    if (path ? !LoadBmp24(path, picture) : !MakeBenchPicture(picture)) {
        fprintf(stderr, "cannot load or make the picture\n");
        return 1;
    }
    const double megapixels = static_cast<double>(picture.width) * picture.height / 1e6;
    printf("picture %dx%d (%.1f MP), 24 bpp; best of %d runs; %d threads\n\n", picture.width, picture.height,
           megapixels, runs, omp_get_max_threads());

    const Operation operations[] = {
        {"Pixelate 8", [](NImageBuffer& p) { return Pixelate(p, 8); }},
        {"Pixelate whole width", [](NImageBuffer& p) { return Pixelate(p, p.width); }},
        {"DotMosaic 16", [](NImageBuffer& p) { return DotMosaic(p, 16); }},
        {"MakeTileable", MakeTileable},
        {"OilPaint radius 2", [](NImageBuffer& p) { return OilPaint(p, 2); }},
        {"SubpixelPattern", SubpixelPattern},
    };
    printf("%-24s %9s %9s\n", "operation", "ms", "MP/s");
    bool allDone = true;
    NImageBuffer work;
    for (const Operation& op : operations) {
        double ms = 0;
        if (!Time(runs, ms, [&] { return op.run(work); }, [&] { return work.Copy(picture); })) {
            printf("%-24s failed\n", op.name);
            allDone = false;
            continue;
        }
        printf("%-24s %9.0f %9.1f\n", op.name, ms, megapixels * 1000 / ms);
        fflush(stdout);
    }
    return allDone ? 0 : 1;
}
