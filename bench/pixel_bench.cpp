// Throughput of the main pixel operations on a 24-megapixel picture, on one thread and on all.
// Prints megapixels per second per operation.
#include <windows.h>
#include <omp.h>

#include <cstdio>
#include <algorithm>
#include <functional>
#include <string_view>
#include <vector>

#include "bench/BenchClock.h"
#include "imaging/NImageBuffer.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

// A photo-like test picture: smooth gradients with a little noise, so quantisers and
// dithering have real work to do.
void Paint(NImageBuffer& picture)
{
    uint32_t seed = 12345;
    for (int y = 0; y < picture.height; ++y) {
        uint8_t* row = picture.bits + static_cast<size_t>(y) * picture.stride;
        for (int x = 0; x < picture.width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            int noise = static_cast<int>(seed >> 28) - 8;
            uint8_t* p = row + x * (picture.bpp / 8);
            p[0] = static_cast<uint8_t>(std::clamp(x * 255 / kWidth + noise, 0, 255));
            p[1] = static_cast<uint8_t>(std::clamp(y * 255 / kHeight + noise, 0, 255));
            p[2] = static_cast<uint8_t>(std::clamp((x + y) * 255 / (kWidth + kHeight) - noise, 0, 255));
            if (picture.bpp == 32)
                p[3] = static_cast<uint8_t>((x ^ y) & 0xFF);
        }
    }
}

double Seconds(const std::function<bool()>& op)
{
    const double start = BenchSeconds();
    const bool ok = op();
    const double elapsed = BenchSeconds() - start;
    if (!ok)
        std::printf("  (operation failed)\n");
    return elapsed;
}

struct Case {
    const char* name;
    int sourceBpp;
    std::function<bool(NImageBuffer&, const NImageBuffer&)> run;  // (working copy, 32-bit overlay)
};

}  // namespace

int wmain()
{
    NImageBuffer source, overlay;
    if (!source.Create(kWidth, kHeight, 24, 0) || !overlay.Create(kWidth, kHeight, 32, 0)) {
        std::printf("cannot create the %dx%d test pictures\n", kWidth, kHeight);
        return 1;
    }
    Paint(source);
    Paint(overlay);

    std::vector<Case> cases = {
        {"24 -> 1 bpp, error diffusion", 24, [](NImageBuffer& p, const NImageBuffer&) { return p.ConvertToBpp(1, true); }},
        {"24 -> 4 bpp, 16 colours dithered", 24, [](NImageBuffer& p, const NImageBuffer&) { return p.ConvertToBpp(4, true); }},
        {"24 -> 8 bpp, quantise to 256", 24, [](NImageBuffer& p, const NImageBuffer&) { return p.ConvertToBpp(8, true); }},
        {"filter table 1..12 (per filter)", 24, [](NImageBuffer& p, const NImageBuffer&) {
             bool ok = true;
             for (int i = 1; i <= 12; ++i)
                 ok = p.ApplyFilter(i) && ok;
             return ok;
         }},
        {"alpha blend 32 over 24", 24, [](NImageBuffer& p, const NImageBuffer& o) {
             AlphaBlendImageInto(p, o, 0, 0, 255);
             return true;
         }},
        {"quarter turn", 24, [](NImageBuffer& p, const NImageBuffer&) { return p.Rotate90Clockwise(); }},
    };

    const int all = omp_get_num_procs();
    const double megapixels = double(kWidth) * kHeight / 1e6;
    std::printf("picture %dx%d (%.1f MP), %d processors\n", kWidth, kHeight, megapixels, all);
    std::printf("%-36s %14s %14s\n", "operation", "1 thread MP/s", "all MP/s");
    for (const Case& c : cases) {
        double mps[2] = {};
        int threads[2] = {1, all};
        for (int t = 0; t < 2; ++t) {
            omp_set_num_threads(threads[t]);
            NImageBuffer work;
            work.Copy(source);
            double s = Seconds([&] { return c.run(work, overlay); });
            int repeats = std::string_view(c.name).starts_with("filter table") ? 12 : 1;
            mps[t] = megapixels * repeats / s;
        }
        std::printf("%-36s %14.1f %14.1f\n", c.name, mps[0], mps[1]);
    }
    return 0;
}
