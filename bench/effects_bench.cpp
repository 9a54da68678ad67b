// Effects benchmark: megapixels per second of the stack blur (two radii), the unsharp mask, the
// twirl and dehaze (on the full picture and on the reduced work copy) on a camera-sized picture (a
// 24-bit BMP given on the command line, else a made-up 6000 x 4000 one), on one thread and on all
// threads. With --magick-ms (ImageMagick's times for the equivalent -blur, -unsharp and -swirl on
// the same picture, one thread and all threads, in the order of the operations, measured by
// run_effects_bench.sh) it prints ImageMagick's figures and the ratios too; operations without an
// ImageMagick equivalent leave those columns empty and take no times from the list.
//
// Usage: effects_bench [picture.bmp] [--runs N] [--magick-ms B1 B1all B2 B2all U Uall T Tall]
#include <omp.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <vector>

#include "bench/BenchSupport.h"
#include "effects/BlurCompositions.h"
#include "effects/Distortions.h"
#include "effects/Dehaze.h"
#include "effects/StackBlur.h"
#include "imaging/NImageBuffer.h"

namespace {

struct Operation {
    const char* name;
    const char* magick;  // ImageMagick's equivalent, as run_effects_bench.sh calls it; null: none
    std::function<bool(NImageBuffer&)> run;
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const wchar_t* path = nullptr;
    int runs = 3;
    std::vector<double> magick;  // one and all threads per operation
    bool haveMagick = false;
    for (int i = 1; i < argc; ++i) {
        if (!wcscmp(argv[i], L"--runs") && i + 1 < argc) {
            runs = std::max(1, _wtoi(argv[++i]));
        } else if (!wcscmp(argv[i], L"--magick-ms")) {
            while (i + 1 < argc && iswdigit(argv[i + 1][0]))
                magick.push_back(_wtof(argv[++i]));
            haveMagick = true;
        } else {
            path = argv[i];
        }
    }

    NImageBuffer picture;
    if (path ? !LoadBmp24(path, picture) : !MakeBenchPicture(picture)) {
        fprintf(stderr, "cannot load or make the picture\n");
        return 1;
    }
    const double megapixels = static_cast<double>(picture.width) * picture.height / 1e6;
    const int allThreads = omp_get_max_threads();
    printf("picture %dx%d (%.1f MP), 24 bpp; best of %d runs; 1 and %d threads\n\n", picture.width, picture.height,
           megapixels, runs, allThreads);

    // The stack blur of radius r has the variance of a Gaussian of sigma^2 = ((r + 1)^2 - 1) / 6;
    // the unsharp mask's 5 x 5 mean that of sigma^2 = 2.
    const Operation operations[] = {
        {"StackBlur radius 10", "-blur 0x4.47", [](NImageBuffer& p) { return StackBlur(p, 10); }},
        {"StackBlur radius 40", "-blur 0x16.73", [](NImageBuffer& p) { return StackBlur(p, 40); }},
        {"UnsharpMask 1 pass, 0.5, 3", "-unsharp 0x1.414+0.5+0.0118",
         [](NImageBuffer& p) { return UnsharpMask(p, 1, 0.5f, 3); }},
        // Turn at the centre 10^2 / 100 = 1 rad = 57.3 degrees, fading to 0 at 150 % of the smaller
        // half side, which is the larger half side of 6000 x 4000 as -swirl has it (its fall-off
        // is the square of ours, the cube).
        {"Twirl 10, radius 150 %", "-swirl 57.3", [](NImageBuffer& p) { return Twirl(p, 10, 150, 0, 0); }},
        {"Dehaze guided radius 20", nullptr, [](NImageBuffer& p) { return Dehaze(p, false, 20, nullptr); }},
        {"Dehaze radius 20, reduced", nullptr, [](NImageBuffer& p) { return Dehaze(p, true, 20, nullptr); }},
    };
    printf("%-28s %9s %9s %9s %9s", "operation", "1 thr ms", "MP/s", "all ms", "MP/s");
    if (haveMagick)
        printf("   %-28s %9s %9s %9s %9s %7s %7s", "ImageMagick", "1 thr ms", "MP/s", "all ms", "MP/s", "x 1thr",
               "x all");
    printf("\n");

    bool allDone = true;
    NImageBuffer work;
    int index = 0;
    for (const Operation& op : operations) {
        double ms[2] = {};
        bool done = true;
        for (int t = 0; t < 2 && done; ++t) {
            omp_set_num_threads(t == 0 ? 1 : allThreads);
            done = Time(runs, ms[t], [&] { return op.run(work); }, [&] { return work.Copy(picture); });
        }
        omp_set_num_threads(allThreads);
        // ImageMagick's times come in the order of the operations that have an equivalent.
        const double* magickMs =
            op.magick && static_cast<size_t>(index) + 1 < magick.size() ? magick.data() + index : nullptr;
        if (op.magick)
            index += 2;
        if (!done) {
            printf("%-28s failed\n", op.name);
            allDone = false;
            continue;
        }
        printf("%-28s %9.0f %9.1f %9.0f %9.1f", op.name, ms[0], megapixels * 1000 / ms[0], ms[1],
               megapixels * 1000 / ms[1]);
        if (haveMagick && magickMs) {
            const double one = magickMs[0], all = magickMs[1];
            printf("   %-28s %9.0f %9.1f %9.0f %9.1f %7.2f %7.2f", op.magick, one, megapixels * 1000 / one, all,
                   megapixels * 1000 / all, one / ms[0], all / ms[1]);
        }
        printf("\n");
        fflush(stdout);
    }
    if (haveMagick)
        printf("\nx 1thr, x all: our speed as a multiple of ImageMagick's (above 1: faster); empty: no equivalent\n");
    return allDone ? 0 : 1;
}
