// Scale engine: separable resampling of a 24- or 32-bit picture into another of the target size,
// one pass along each axis, the weights taken from a continuous filter kernel. Every byte of a
// pixel is filtered as a channel of its own (a 32-bit picture's alpha byte too).
#pragma once
#include "imaging/NImageBuffer.h"

// A filter kernel: Filter(x) is the weight at the signed distance x (in source pixels at scale 1);
// `support` is the kernel's half-width, widened by the engine when it shrinks.
class NImageScaleFilterGeneric {
public:
    explicit NImageScaleFilterGeneric(double support_) : support(support_) {}
    virtual ~NImageScaleFilterGeneric() = default;
    virtual double Filter(double x) const = 0;

    double support;
};

// 1 for |x| <= support (inclusive), else 0.
class NImageScaleFilterBox : public NImageScaleFilterGeneric {
public:
    explicit NImageScaleFilterBox(double support_ = 0.5) : NImageScaleFilterGeneric(support_) {}
    double Filter(double x) const override;
};

// support - |x| inside the support, else 0.
class NImageScaleFilterBilinear : public NImageScaleFilterGeneric {
public:
    explicit NImageScaleFilterBilinear(double support_ = 1.0) : NImageScaleFilterGeneric(support_) {}
    double Filter(double x) const override;
};

// Mitchell-Netravali cubic of parameters B and C; support 2.
class NImageScaleFilterBicubic : public NImageScaleFilterGeneric {
public:
    NImageScaleFilterBicubic(double b, double c);
    double Filter(double x) const override;

    double p0, p2, p3;      // |x| < 1: p3 |x|^3 + p2 |x|^2 + p0
    double q0, q1, q2, q3;  // 1 <= |x| < 2: q3 |x|^3 + q2 |x|^2 + q1 |x| + q0
};

// Catmull-Rom spline on the signed distance, zero outside (-2, 2).
class NImageScaleFilterCatmullRom : public NImageScaleFilterGeneric {
public:
    explicit NImageScaleFilterCatmullRom(double support_ = 2.0) : NImageScaleFilterGeneric(support_) {}
    double Filter(double x) const override;
};

// sinc(x) sinc(x / support) inside the support; exactly 1 at 0.
class NImageScaleFilterLanczos3 : public NImageScaleFilterGeneric {
public:
    explicit NImageScaleFilterLanczos3(double support_ = 3.0) : NImageScaleFilterGeneric(support_) {}
    double Filter(double x) const override;
};

// Cubic B-spline, zero from |x| = 2.
class NImageScaleFilterBSpline : public NImageScaleFilterGeneric {
public:
    explicit NImageScaleFilterBSpline(double support_ = 2.0) : NImageScaleFilterGeneric(support_) {}
    double Filter(double x) const override;
};

// Blackman window over the support.
class NImageScaleFilterBlackman : public NImageScaleFilterGeneric {
public:
    explicit NImageScaleFilterBlackman(double support_ = 0.5) : NImageScaleFilterGeneric(support_) {}
    double Filter(double x) const override;
};

// One destination position: weights[k] belongs to source index first + k, up to last (inclusive).
struct ScaleContribution {
    double* weights;
    int first;
    int last;
};

// The weights of one axis: `count` entries (the destination size) of `window` weights each.
struct ScaleContributionList {
    ScaleContribution* entries;
    int window;
    unsigned count;
};

// Fills the list for one axis; false (and an empty list) when memory runs out.
bool BuildContributions(ScaleContributionList& out, const NImageScaleFilterGeneric& kernel, unsigned destinationSize,
                        unsigned sourceSize);
void FreeContributions(ScaleContributionList& list);

// Borrows its kernel; the caller deletes it after the engine is done.
class NImageScaleEngine {
public:
    explicit NImageScaleEngine(NImageScaleFilterGeneric* filter_) : filter(filter_) {}
    virtual ~NImageScaleEngine() = default;

    // src: a valid 24- or 32-bit picture; dst: created by the caller at the target size with the
    // same depth. False, dst untouched, when there is no kernel, the pictures do not fit that
    // description, or memory runs out.
    bool Scale(const NImageBuffer& src, NImageBuffer& dst);
    // One axis: every row from src's width to dst's width (heights equal), or every column from
    // src's height to dst's height (widths equal). Equal sizes make dst a copy of src.
    bool ScaleHorizontal(const NImageBuffer& src, NImageBuffer& dst);
    bool ScaleVertical(const NImageBuffer& src, NImageBuffer& dst);

    NImageScaleFilterGeneric* filter;
};
