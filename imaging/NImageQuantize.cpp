#include "imaging/NImageQuantize.h"

#include "imaging/NImageBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

size_t RowStride(int width, int bpp)
{
    return ((static_cast<size_t>(width) * static_cast<size_t>(bpp) + 31) >> 5) * 4;
}

// Caps the size of pictures handed to the quantisers so that no byte count can overflow.
bool SizeAccepted(int width, int height)
{
    return width > 0 && height > 0 && width <= 0x100000 && height <= 0x100000;
}

void Unpack555(uint16_t word, uint8_t& red, uint8_t& green, uint8_t& blue)
{
    red = kFiveBitExpansion[(word >> 10) & 31];
    green = kFiveBitExpansion[(word >> 5) & 31];
    blue = kFiveBitExpansion[word & 31];
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Octree quantiser

struct NImageQuantize::Node {
    bool isLeaf = false;
    uint32_t pixelCount = 0;
    uint32_t redSum = 0;
    uint32_t greenSum = 0;
    uint32_t blueSum = 0;
    Node* children[8] = {};
    Node* nextReducible = nullptr;
};

NImageQuantize::NImageQuantize(int maxColours_, int colourBits_)
    : maxColours(std::max(maxColours_, 16)),
      requestedColours(maxColours_),
      colourBits(std::clamp(colourBits_, 1, 8))
{
}

NImageQuantize::~NImageQuantize()
{
    FreeNode(root);
}

void NImageQuantize::FreeNode(Node* node)
{
    if (!node)
        return;
    for (Node* child : node->children)
        FreeNode(child);
    delete node;
}

void NImageQuantize::InsertColour(uint8_t red, uint8_t green, uint8_t blue)
{
    Node** slot = &root;
    for (int level = 0;; ++level) {
        if (!*slot) {
            Node* node = new (std::nothrow) Node;
            if (!node)
                return;
            if (level == colourBits) {
                node->isLeaf = true;
                ++leafCount;
            } else {
                node->nextReducible = reducibleNodes[level];
                reducibleNodes[level] = node;
            }
            *slot = node;
        }
        Node* node = *slot;
        if (node->isLeaf) {
            ++node->pixelCount;
            node->redSum += red;
            node->greenSum += green;
            node->blueSum += blue;
            return;
        }
        const int shift = 7 - level;
        const int index = (((red >> shift) & 1) << 2) | (((green >> shift) & 1) << 1) | ((blue >> shift) & 1);
        slot = &node->children[index];
    }
}

bool NImageQuantize::ReduceTree()
{
    int level = colourBits - 1;
    while (level > 0 && !reducibleNodes[level])
        --level;
    Node* node = reducibleNodes[level];
    if (!node)
        return false;
    reducibleNodes[level] = node->nextReducible;
    node->nextReducible = nullptr;

    uint32_t children = 0;
    for (Node*& child : node->children) {
        if (!child)
            continue;
        node->pixelCount += child->pixelCount;
        node->redSum += child->redSum;
        node->greenSum += child->greenSum;
        node->blueSum += child->blueSum;
        FreeNode(child);
        child = nullptr;
        ++children;
    }
    node->isLeaf = true;
    leafCount -= children;
    ++leafCount;
    return true;
}

bool NImageQuantize::AddPixels(const uint8_t* rows, int width, int height, int bpp, const uint8_t* palette)
{
    if (!rows || !SizeAccepted(width, height))
        return false;
    if (bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return false;
    if ((bpp == 4 || bpp == 8) && !palette)
        return false;
    const size_t stride = RowStride(width, bpp);

    auto add = [this](uint8_t red, uint8_t green, uint8_t blue) {
        InsertColour(red, green, blue);
        while (leafCount > static_cast<uint32_t>(maxColours) && ReduceTree()) {
        }
    };

    if (bpp == 4 || bpp == 8) {
        // Top row first, each row from its right end.
        for (int line = height - 1; line >= 0; --line) {
            const uint8_t* row = rows + static_cast<size_t>(line) * stride;
            for (int x = width - 1; x >= 0; --x) {
                const int index = bpp == 8 ? row[x] : (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
                const uint8_t* entry = palette + index * 3;
                add(entry[0], entry[1], entry[2]);
            }
        }
        return true;
    }

    for (int line = 0; line < height; ++line) {
        const uint8_t* row = rows + static_cast<size_t>(line) * stride;
        for (int x = 0; x < width; ++x) {
            if (bpp == 16) {
                uint8_t red, green, blue;
                Unpack555(static_cast<uint16_t>(row[2 * x] | (row[2 * x + 1] << 8)), red, green, blue);
                add(red, green, blue);
            } else {
                const uint8_t* pixel = row + static_cast<size_t>(x) * (bpp / 8);
                add(pixel[2], pixel[1], pixel[0]);
            }
        }
    }
    return true;
}

int NImageQuantize::GetPalette(RGBQUAD* entries) const
{
    if (!entries)
        return 0;
    struct Leaf {
        uint32_t red, green, blue, count;
    };
    std::vector<Leaf> leaves;
    auto walk = [&leaves](auto&& self, const Node* node) -> void {
        if (!node)
            return;
        if (node->isLeaf) {
            const uint32_t count = node->pixelCount ? node->pixelCount : 1;
            leaves.push_back({node->redSum / count, node->greenSum / count, node->blueSum / count, node->pixelCount});
            return;
        }
        for (const Node* child : node->children)
            self(self, child);
    };
    walk(walk, root);

    const int found = static_cast<int>(leaves.size());
    if (requestedColours >= 16 || requestedColours >= found) {
        const int written = std::min(found, maxColours);
        for (int i = 0; i < written; ++i) {
            entries[i].rgbBlue = static_cast<BYTE>(leaves[i].blue);
            entries[i].rgbGreen = static_cast<BYTE>(leaves[i].green);
            entries[i].rgbRed = static_cast<BYTE>(leaves[i].red);
        }
        return written;
    }

    // Fewer entries than leaves: each entry is the weighted mean of a run of leaves.
    const int wanted = std::max(requestedColours, 0);
    for (int i = 0; i < wanted; ++i) {
        const int first = i * found / wanted;
        const int end = (i + 1) * found / wanted;
        uint64_t red = 0, green = 0, blue = 0, count = 0;
        for (int k = first; k < end; ++k) {
            red += static_cast<uint64_t>(leaves[k].red) * leaves[k].count;
            green += static_cast<uint64_t>(leaves[k].green) * leaves[k].count;
            blue += static_cast<uint64_t>(leaves[k].blue) * leaves[k].count;
            count += leaves[k].count;
        }
        if (count == 0)
            count = 1;
        entries[i].rgbBlue = static_cast<BYTE>(blue / count);
        entries[i].rgbGreen = static_cast<BYTE>(green / count);
        entries[i].rgbRed = static_cast<BYTE>(red / count);
    }
    return wanted;
}

// ---------------------------------------------------------------------------------------------
// Histogram quantiser

namespace {

constexpr int kCells = 32 * 32 * 32;

struct Cell {
    int paletteIndex;  // -1 until the nearest entry was searched
    uint16_t count;    // saturates at 65535
};

struct Box {
    int redMin, redMax, greenMin, greenMax, blueMin, blueMax;
    int redMean, greenMean, blueMean;
    int weight;
};

inline int CellIndex(int red5, int green5, int blue5)
{
    return (red5 << 10) | (green5 << 5) | blue5;
}

class Histogram {
public:
    bool Init()
    {
        cells.reset(new (std::nothrow) Cell[kCells]);
        if (!cells)
            return false;
        for (int i = 0; i < kCells; ++i)
            cells[i] = {-1, 0};
        for (int i = 0; i < 256; ++i)
            squares[i] = i * i;
        return true;
    }

    void Count(int red5, int green5, int blue5)
    {
        Cell& cell = cells[CellIndex(red5, green5, blue5)];
        if (cell.count < 65535)
            ++cell.count;
    }

    void Shrink(Box& box) const
    {
        const int rLo = std::max(box.redMin, 0), rHi = std::min(box.redMax, 31);
        const int gLo = std::max(box.greenMin, 0), gHi = std::min(box.greenMax, 31);
        const int bLo = std::max(box.blueMin, 0), bHi = std::min(box.blueMax, 31);
        int newRedMin = 31, newRedMax = 0, newGreenMin = 31, newGreenMax = 0, newBlueMin = 31, newBlueMax = 0;
        uint64_t total = 0, redSum = 0, greenSum = 0, blueSum = 0;
        for (int r = rLo; r <= rHi; ++r)
            for (int g = gLo; g <= gHi; ++g)
                for (int b = bLo; b <= bHi; ++b) {
                    const uint32_t count = cells[CellIndex(r, g, b)].count;
                    if (count == 0)
                        continue;
                    newRedMin = std::min(newRedMin, r);
                    newRedMax = std::max(newRedMax, r);
                    newGreenMin = std::min(newGreenMin, g);
                    newGreenMax = std::max(newGreenMax, g);
                    newBlueMin = std::min(newBlueMin, b);
                    newBlueMax = std::max(newBlueMax, b);
                    total += count;
                    redSum += static_cast<uint64_t>(count) * r;
                    greenSum += static_cast<uint64_t>(count) * g;
                    blueSum += static_cast<uint64_t>(count) * b;
                }
        box.redMin = newRedMin;
        box.redMax = newRedMax;
        box.greenMin = newGreenMin;
        box.greenMax = newGreenMax;
        box.blueMin = newBlueMin;
        box.blueMax = newBlueMax;
        if (total == 0) {
            box.redMean = box.greenMean = box.blueMean = 0;
            box.weight = 0;
            return;
        }
        box.redMean = static_cast<int>(redSum / total);
        box.greenMean = static_cast<int>(greenSum / total);
        box.blueMean = static_cast<int>(blueSum / total);
        const bool single = newRedMin == newRedMax && newGreenMin == newGreenMax && newBlueMin == newBlueMax;
        box.weight = single ? 1 : static_cast<int>(std::min<uint64_t>(total, 65535));
    }

    // Index of the palette entry nearest to the colour, looked up once per 5-bit cell.
    int Nearest(int red, int green, int blue, const int* palRed, const int* palGreen, const int* palBlue)
    {
        Cell& cell = cells[CellIndex(red >> 3, green >> 3, blue >> 3)];
        if (cell.paletteIndex >= 0)
            return cell.paletteIndex;
        int best = 0;
        int bestDistance = 0x7FFFFFFF;
        for (int k = 0; k < 256; ++k) {
            const int distance = squares[std::abs(palRed[k] - red)] + squares[std::abs(palGreen[k] - green)] +
                                 squares[std::abs(palBlue[k] - blue)];
            if (distance < bestDistance) {
                bestDistance = distance;
                best = k;
            }
        }
        cell.paletteIndex = best;
        return best;
    }

    std::unique_ptr<Cell[]> cells;
    int squares[256];
};

void BuildBoxes(Histogram& histogram, Box* boxes)
{
    static const int kCorners[8][3] = {{0, 0, 0},    {31, 0, 0},   {0, 31, 0},  {0, 0, 31},
                                       {31, 31, 0},  {0, 31, 31},  {31, 0, 31}, {31, 31, 31}};
    for (int i = 0; i < 8; ++i) {
        const int r = kCorners[i][0], g = kCorners[i][1], b = kCorners[i][2];
        histogram.cells[CellIndex(r, g, b)].count = 0;
        boxes[i] = {r, r, g, g, b, b, r, g, b, 1};
    }
    boxes[8] = {0, 31, 0, 31, 0, 31, 0, 0, 0, 0};
    histogram.Shrink(boxes[8]);

    for (int i = 9; i < 256; ++i) {
        int chosen = 8;
        for (int k = 9; k < i; ++k)
            if (boxes[k].weight > boxes[chosen].weight)
                chosen = k;
        Box& old = boxes[chosen];
        Box& fresh = boxes[i];
        fresh = old;

        const int redRange = old.redMax - old.redMin;
        const int greenRange = old.greenMax - old.greenMin;
        const int blueRange = old.blueMax - old.blueMin;
        int *oldMin, *oldMax, *freshMin, *freshMax, mean;
        if (redRange >= greenRange && redRange >= blueRange) {
            oldMin = &old.redMin, oldMax = &old.redMax, freshMin = &fresh.redMin, freshMax = &fresh.redMax;
            mean = old.redMean;
        } else if (greenRange >= blueRange) {
            oldMin = &old.greenMin, oldMax = &old.greenMax, freshMin = &fresh.greenMin, freshMax = &fresh.greenMax;
            mean = old.greenMean;
        } else {
            oldMin = &old.blueMin, oldMax = &old.blueMax, freshMin = &fresh.blueMin, freshMax = &fresh.blueMax;
            mean = old.blueMean;
        }
        const int bottom = *oldMin, top = *oldMax;
        if (top - bottom == 2) {
            *oldMin = top;
            *freshMax = bottom;
        } else if (mean < top) {
            *oldMax = mean;
            *freshMin = mean + 1;
        } else {
            *oldMax = mean - 1;
            *freshMin = mean;
        }
        histogram.Shrink(fresh);
        histogram.Shrink(old);
    }
}

}  // namespace

uint8_t* QuantizeTo256(const uint8_t* rows, int width, int height, int bpp, uint8_t* palette)
{
    if (!rows || !palette || (bpp != 16 && bpp != 24 && bpp != 32) || !SizeAccepted(width, height))
        return nullptr;
    const size_t inStride = RowStride(width, bpp);
    const size_t outStride = (static_cast<size_t>(width) + 3) & ~static_cast<size_t>(3);

    Histogram histogram;
    if (!histogram.Init())
        return nullptr;
    std::unique_ptr<Box[]> boxes(new (std::nothrow) Box[256]);
    const size_t errorSlots = 3 * (static_cast<size_t>(width) + 2);
    std::unique_ptr<float[]> errorA(new (std::nothrow) float[errorSlots]);
    std::unique_ptr<float[]> errorB(new (std::nothrow) float[errorSlots]);
    std::unique_ptr<uint8_t, decltype(&free)> out(static_cast<uint8_t*>(malloc(outStride * height)), &free);
    if (!boxes || !errorA || !errorB || !out)
        return nullptr;

    auto readPixel = [&](const uint8_t* row, int x, int& red, int& green, int& blue) {
        if (bpp == 16) {
            uint8_t r, g, b;
            Unpack555(static_cast<uint16_t>(row[2 * x] | (row[2 * x + 1] << 8)), r, g, b);
            red = r, green = g, blue = b;
        } else {
            const uint8_t* pixel = row + static_cast<size_t>(x) * (bpp / 8);
            red = pixel[2], green = pixel[1], blue = pixel[0];
        }
    };

    for (int line = 0; line < height; ++line) {
        const uint8_t* row = rows + line * inStride;
        for (int x = 0; x < width; ++x) {
            int red, green, blue;
            readPixel(row, x, red, green, blue);
            histogram.Count(red >> 3, green >> 3, blue >> 3);
        }
    }

    BuildBoxes(histogram, boxes.get());
    int palRed[256], palGreen[256], palBlue[256];
    for (int i = 0; i < 256; ++i) {
        const Box& box = boxes[i];
        palRed[i] = ((box.redMin + box.redMax) >> 1) * 255 / 31;
        palGreen[i] = ((box.greenMin + box.greenMax) >> 1) * 255 / 31;
        palBlue[i] = ((box.blueMin + box.blueMax) >> 1) * 255 / 31;
    }

    // Serpentine Floyd-Steinberg mapping; error slot x + 1 belongs to column x.
    std::fill_n(errorA.get(), errorSlots, 0.0f);
    float* current = errorA.get();
    float* next = errorB.get();
    for (int line = 0; line < height; ++line) {
        std::fill_n(next, errorSlots, 0.0f);
        const uint8_t* row = rows + line * inStride;
        uint8_t* outRow = out.get() + line * outStride;
        std::fill(outRow + width, outRow + outStride, 0);
        const bool forward = (line & 1) == 0;
        const int step = forward ? 1 : -1;
        for (int n = 0; n < width; ++n) {
            const int x = forward ? n : width - 1 - n;
            int source[3];
            readPixel(row, x, source[0], source[1], source[2]);
            float* here = current + 3 * (x + 1);
            float value[3];
            for (int c = 0; c < 3; ++c)
                value[c] = std::clamp(static_cast<float>(source[c]) + here[c], 0.0f, 255.0f);
            const int k = histogram.Nearest(static_cast<int>(value[0]), static_cast<int>(value[1]),
                                            static_cast<int>(value[2]), palRed, palGreen, palBlue);
            outRow[x] = static_cast<uint8_t>(k);
            const int chosen[3] = {palRed[k], palGreen[k], palBlue[k]};
            float* ahead = current + 3 * (x + 1 + step);
            float* below = next + 3 * (x + 1);
            float* belowBehind = next + 3 * (x + 1 - step);
            float* belowAhead = next + 3 * (x + 1 + step);
            for (int c = 0; c < 3; ++c) {
                const float e = (value[c] - static_cast<float>(chosen[c])) / 16.0f;
                ahead[c] += 7.0f * e;
                below[c] += 5.0f * e;
                belowBehind[c] += 3.0f * e;
                belowAhead[c] += e;
            }
        }
        std::swap(current, next);
    }

    for (int i = 0; i < 256; ++i) {
        palette[3 * i] = static_cast<uint8_t>(palRed[i]);
        palette[3 * i + 1] = static_cast<uint8_t>(palGreen[i]);
        palette[3 * i + 2] = static_cast<uint8_t>(palBlue[i]);
    }
    return out.release();
}

// ---------------------------------------------------------------------------------------------
// 5-6-5 pre-dither

void BuildDither565Tables(Dither565Tables& tables)
{
    for (int v = 0; v < 256; ++v) {
        tables.red[v] = v - ((v + 4) & ~7);
        tables.blue[v] = v - ((v + 4) & ~7);
        tables.green[v] = v - ((v + 2) & ~3);
    }
}

bool Dither565Rows(const Dither565Tables& tables, uint8_t* rows, int width, int height, int bpp, int stride)
{
    if (!rows || (bpp != 24 && bpp != 32) || !SizeAccepted(width, height))
        return false;
    const int step = bpp / 8;
    if (stride < 0 || static_cast<size_t>(stride) < static_cast<size_t>(width) * step)
        return false;
    const int* table[3] = {tables.blue, tables.green, tables.red};
    for (int line = 0; line < height; ++line) {
        uint8_t* pixel = rows + static_cast<size_t>(line) * stride;
        int error[3] = {0, 0, 0};
        for (int x = 0; x < width; ++x, pixel += step) {
            for (int c = 0; c < 3; ++c) {
                const int v = std::clamp(pixel[c] + ((12 * error[c] + 8) >> 4), 0, 255);
                error[c] = table[c][v];
                if (c == 1)
                    pixel[c] = static_cast<uint8_t>(v < 254 ? v + 2 : v);
                else
                    pixel[c] = static_cast<uint8_t>(v < 252 ? v + 4 : v);
            }
        }
    }
    return true;
}
