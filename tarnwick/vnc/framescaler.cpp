#include "tarnwick/vnc/framescaler.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TW_FRAME_SCALER_AVX2 1
#endif

namespace VNC {

namespace {

constexpr int kFixedOne = 1 << 16;
constexpr int kFixedHalf = 1 << 15;
constexpr int kGroup = 8;

// One channel pair at a time, as the painter's own blend: two 8-bit
// channels in each half word, weights out of 256, truncated.
inline quint32 blend(quint32 a, quint32 b, int weight)
{
    const quint32 inverse = quint32(256 - weight);
    const quint32 rb = (((a & 0xff00ffu) * inverse + (b & 0xff00ffu) * quint32(weight)) >> 8) & 0xff00ffu;
    const quint32 ag = (((a >> 8) & 0xff00ffu) * inverse + ((b >> 8) & 0xff00ffu) * quint32(weight)) & 0xff00ff00u;
    return rb | ag;
}

} // namespace

bool FrameScaler::available()
{
#ifdef TW_FRAME_SCALER_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
#else
    return false;
#endif
}

bool FrameScaler::writesInto(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32
           || format == QImage::Format_ARGB32_Premultiplied;
}

bool FrameScaler::prepare(const QSize& source, const QSize& target)
{
    if (m_ready && source == m_source && target == m_target)
        return true;
    m_ready = false;
    m_source = source;
    m_target = target;
    // Widened (or kept) across, at least two groups wide: eight target
    // pixels then read at most eight neighbouring source pixels.
    if (!available() || source.width() < 2 * kGroup + 1 || source.height() < 1 || target.width() < source.width()
        || target.height() < 1)
        return false;

    // The painter's steps: the first pixel's centre mapped back, then a
    // truncated 16.16 step per pixel across; each row's centre mapped back
    // on its own.
    const double across = double(source.width()) / target.width();
    const double down = double(source.height()) / target.height();
    auto sample = [](Samples& s, int count, int limit, auto position) {
        s.low.resize(size_t(count));
        s.high.resize(size_t(count));
        s.weight.resize(size_t(count));
        for (int i = 0; i < count; ++i) {
            const int fixed = position(i);
            const int whole = fixed >> 16;
            const size_t k = size_t(i);
            s.low[k] = std::clamp(whole, 0, limit - 1);
            s.high[k] = std::clamp(whole + 1, 0, limit - 1);
            // Where both are one pixel (at an edge) it alone counts.
            s.weight[k] = s.low[k] == s.high[k] ? 0 : (fixed & 0xffff) >> 8;
        }
    };
    const int firstAcross = int(across * 0.5 * kFixedOne) - kFixedHalf;
    const int stepAcross = int(across * kFixedOne);
    sample(m_columns, target.width(), source.width(), [&](int x) { return firstAcross + x * stepAcross; });
    sample(m_rows, target.height(), source.height(),
           [&](int y) { return int(down * (y + 0.5) * kFixedOne) - kFixedHalf; });

    // The leading groups whose eight pixels (and the pixel right of the
    // last) lie within eight of the first's and inside the row.
    m_groups.clear();
    for (int x = 0; x + kGroup <= target.width(); x += kGroup) {
        const int base = m_columns.low[size_t(x)];
        if (m_columns.low[size_t(x + kGroup - 1)] - base >= kGroup || base + kGroup + 1 > source.width())
            break;
        Group g;
        for (int k = 0; k < kGroup; ++k)
            g.left[k] = m_columns.low[size_t(x + k)] - base;
        // Unpacked halves: the low one holds pixels 0, 1 and 4, 5, the high
        // one 2, 3 and 6, 7, four channels each.
        const int low[4] = {0, 1, 4, 5};
        const int high[4] = {2, 3, 6, 7};
        for (int j = 0; j < 4; ++j) {
            for (int c = 0; c < 4; ++c) {
                g.weightLow[j * 4 + c] = qint16(m_columns.weight[size_t(x + low[j])]);
                g.weightHigh[j * 4 + c] = qint16(m_columns.weight[size_t(x + high[j])]);
                g.inverseLow[j * 4 + c] = qint16(256 - g.weightLow[j * 4 + c]);
                g.inverseHigh[j * 4 + c] = qint16(256 - g.weightHigh[j * 4 + c]);
            }
        }
        g.base = base;
        m_groups.push_back(g);
    }
    m_blend.assign(size_t(source.width()), 0);
    m_ready = true;
    return true;
}

void FrameScaler::scaleRows(const QImage& source, int first, int end, QImage& out, QPoint origin) const
{
    if (!m_ready || source.size() != m_source || source.format() != QImage::Format_RGB32 || !writesInto(out.format())
        || origin.x() < 0 || origin.x() + m_target.width() > out.width())
        return;
    first = std::max({first, 0, -origin.y()});
    end = std::min({end, m_target.height(), out.height() - origin.y()});
    if (first < end)
        scaleRowsAvx2(source, first, end, out, origin);
}

#ifdef TW_FRAME_SCALER_AVX2

// a * (256 - w) + b * w, >> 8, on unpacked 16-bit channels.
__attribute__((target("avx2"))) static inline __m256i mix(__m256i a, __m256i b, __m256i inverse, __m256i weight)
{
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, inverse), _mm256_mullo_epi16(b, weight)), 8);
}

__attribute__((target("avx2"))) void FrameScaler::scaleRowsAvx2(const QImage& source, int first, int end, QImage& out,
                                                                QPoint origin) const
{
    // Through the pixels' own address: scanLine() would detach an image
    // that shares them, and a painter's device must stay the one painted.
    uchar* const outBits = const_cast<uchar*>(out.constBits());
    const qsizetype outStride = out.bytesPerLine();
    const int width = m_source.width();
    const __m256i zero = _mm256_setzero_si256();
    for (int y = first; y < end; ++y) {
        const size_t r = size_t(y);
        const auto* upper = reinterpret_cast<const quint32*>(source.constScanLine(m_rows.low[r]));
        const auto* lower = reinterpret_cast<const quint32*>(source.constScanLine(m_rows.high[r]));
        const int w = m_rows.weight[r];
        // Down first: the two source rows blended into one.
        const quint32* row = upper;
        if (w != 0) {
            const __m256i weight = _mm256_set1_epi16(qint16(w));
            const __m256i inverse = _mm256_set1_epi16(qint16(256 - w));
            quint32* blended = m_blend.data();
            int x = 0;
            for (; x + kGroup <= width; x += kGroup) {
                const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(upper + x));
                const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lower + x));
                const __m256i lo = mix(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero), inverse, weight);
                const __m256i hi = mix(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero), inverse, weight);
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(blended + x), _mm256_packus_epi16(lo, hi));
            }
            for (; x < width; ++x)
                blended[x] = blend(upper[x], lower[x], w);
            row = blended;
        }
        // Then across, eight target pixels at a time from the blended row.
        auto* target = reinterpret_cast<quint32*>(outBits + (origin.y() + y) * outStride) + origin.x();
        int x = 0;
        for (const Group& g : m_groups) {
            const auto* lanes = reinterpret_cast<const __m256i*>(&g);
            const __m256i left = _mm256_permutevar8x32_epi32(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + g.base)), _mm256_load_si256(lanes));
            const __m256i right = _mm256_permutevar8x32_epi32(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + g.base + 1)), _mm256_load_si256(lanes));
            const __m256i lo = mix(_mm256_unpacklo_epi8(left, zero), _mm256_unpacklo_epi8(right, zero),
                                   _mm256_load_si256(lanes + 2), _mm256_load_si256(lanes + 1));
            const __m256i hi = mix(_mm256_unpackhi_epi8(left, zero), _mm256_unpackhi_epi8(right, zero),
                                   _mm256_load_si256(lanes + 4), _mm256_load_si256(lanes + 3));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + x), _mm256_packus_epi16(lo, hi));
            x += kGroup;
        }
        for (; x < m_target.width(); ++x) {
            const size_t c = size_t(x);
            target[x] = blend(row[m_columns.low[c]], row[m_columns.high[c]], m_columns.weight[c]);
        }
    }
}

// R, G, B, A bytes to the B, G, R, A of a little-endian RGB32 word, alpha
// set: the frame buffer's pixels are opaque, an RGB32 pixel must be.
__attribute__((target("avx2"))) static void copyRgbaRows(const QImage& source, const QRect& rect, QImage& out)
{
    const __m256i order = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15, 2, 1, 0, 3, 6, 5, 4, 7,
                                           10, 9, 8, 11, 14, 13, 12, 15);
    const __m256i opaque = _mm256_set1_epi32(int(0xff000000u));
    // Detached first where its pixels are shared, as any write to an image.
    uchar* const outBits = out.bits();
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        const auto* from = reinterpret_cast<const quint32*>(source.constScanLine(y)) + rect.left();
        auto* to = reinterpret_cast<quint32*>(outBits + y * out.bytesPerLine()) + rect.left();
        int x = 0;
        for (; x + kGroup <= rect.width(); x += kGroup) {
            const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + x));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + x),
                                _mm256_or_si256(_mm256_shuffle_epi8(p, order), opaque));
        }
        for (; x < rect.width(); ++x) {
            const quint32 p = from[x];
            to[x] = 0xff000000u | ((p & 0xffu) << 16) | (p & 0xff00u) | ((p >> 16) & 0xffu);
        }
    }
}

bool FrameScaler::copyRgba(const QImage& source, const QRect& rect, QImage& out)
{
    if (!available() || (source.format() != QImage::Format_RGBA8888 && source.format() != QImage::Format_RGBX8888)
        || out.format() != QImage::Format_RGB32 || source.size() != out.size() || !source.rect().contains(rect))
        return false;
    if (!rect.isEmpty())
        copyRgbaRows(source, rect, out);
    return true;
}

#else

void FrameScaler::scaleRowsAvx2(const QImage&, int, int, QImage&, QPoint) const {}

bool FrameScaler::copyRgba(const QImage&, const QRect&, QImage&)
{
    return false;
}

#endif

} // namespace VNC
