// Box blur of a 24-bpp picture: repeated vertical and horizontal running-sum passes whose cost
// per byte does not depend on the radius. Edge pixels repeat beyond the picture.
#include "imaging/NImageBuffer.h"

#include <cstdint>
#include <memory>
#include <new>

namespace {

// Windows of up to this many samples divide through a lookup table (256 * window bytes);
// wider windows divide directly.
constexpr int64_t kMaxTableWindow = 4097;

class WindowMean {
public:
    explicit WindowMean(int64_t window) : window_(window)
    {
        if (window_ <= kMaxTableWindow) {
            size_t entries = static_cast<size_t>(256 * window_);
            table_.reset(new (std::nothrow) uint8_t[entries]);
            if (table_)
                for (size_t i = 0; i < entries; ++i)
                    table_[i] = static_cast<uint8_t>(static_cast<int64_t>(i) / window_);
        }
    }
    bool Ready() const { return window_ > kMaxTableWindow || table_ != nullptr; }
    uint8_t operator()(int64_t sum) const
    {
        return table_ ? table_[sum] : static_cast<uint8_t>(sum / window_);
    }

private:
    int64_t window_;
    std::unique_ptr<uint8_t[]> table_;
};

int64_t ClampIndex(int64_t index, int64_t count)
{
    return index < 0 ? 0 : (index >= count ? count - 1 : index);
}

// Sum of sample(clamp(k)) for k = -radius .. radius over count samples, in O(count).
template <typename Sample>
int64_t FirstWindowSum(int64_t radius, int64_t count, Sample sample)
{
    int64_t sum = (radius + 1) * sample(0);
    int64_t inside = radius < count - 1 ? radius : count - 1;
    for (int64_t k = 1; k <= inside; ++k)
        sum += sample(k);
    if (radius > count - 1)
        sum += (radius - (count - 1)) * sample(count - 1);
    return sum;
}

}  // namespace

bool NImageBuffer::BoxBlur(int radius, int passes)
{
    if (!valid || bpp != 24 || radius < 1)
        return false;

    const int64_t r = radius;
    const int64_t w = width;
    const int64_t h = height;
    const size_t rowStride = static_cast<size_t>(stride);
    const size_t rowBytes = static_cast<size_t>(width) * 3;

    WindowMean mean(2 * r + 1);
    std::unique_ptr<uint8_t[]> temporary(new (std::nothrow) uint8_t[rowStride * height]);
    std::unique_ptr<int64_t[]> sums(new (std::nothrow) int64_t[rowBytes]);
    std::unique_ptr<size_t[]> entering(new (std::nothrow) size_t[width]);
    std::unique_ptr<size_t[]> leaving(new (std::nothrow) size_t[width]);
    if (!mean.Ready() || !temporary || !sums || !entering || !leaving)
        return false;
    for (int64_t x = 0; x < w; ++x) {
        entering[x] = static_cast<size_t>(ClampIndex(x + r, w)) * 3;
        leaving[x] = static_cast<size_t>(ClampIndex(x - r - 1, w)) * 3;
    }

    GdiFlush();
    uint8_t* picture = bits;
    uint8_t* work = temporary.get();
    if (passes < 1)
        passes = 1;
    for (int pass = 0; pass < passes; ++pass) {
        // Vertical half: every byte column of the picture into the work rows.
        for (size_t i = 0; i < rowBytes; ++i)
            sums[i] = FirstWindowSum(r, h, [&](int64_t y) { return picture[y * rowStride + i]; });
        for (int64_t y = 0; y < h; ++y) {
            uint8_t* out = work + y * rowStride;
            if (y > 0) {
                const uint8_t* enteringRow = picture + ClampIndex(y + r, h) * rowStride;
                const uint8_t* leavingRow = picture + ClampIndex(y - r - 1, h) * rowStride;
                for (size_t i = 0; i < rowBytes; ++i)
                    sums[i] += enteringRow[i] - leavingRow[i];
            }
            for (size_t i = 0; i < rowBytes; ++i)
                out[i] = mean(sums[i]);
        }

        // Horizontal half: every row of the work rows back into the picture.
        for (int64_t y = 0; y < h; ++y) {
            const uint8_t* in = work + y * rowStride;
            uint8_t* out = picture + y * rowStride;
            for (int channel = 0; channel < 3; ++channel) {
                int64_t sum = FirstWindowSum(r, w, [&](int64_t x) { return in[x * 3 + channel]; });
                out[channel] = mean(sum);
                for (int64_t x = 1; x < w; ++x) {
                    sum += in[entering[x] + channel] - in[leaving[x] + channel];
                    out[x * 3 + channel] = mean(sum);
                }
            }
        }
    }
    return true;
}
