// The block routines behind the eight row converters: a block copy, the
// red-blue exchange of the 32-bit BGR layout, the two 24-bit layouts and the
// four 16-bit layouts. Each works through the row in blocks with the widest
// SIMD set that the build targets, then converts the pixels left over one at
// a time. The set is chosen here, when compiling, from the compiler's
// predefined macros (FLYOVER_SIMD may name one of the levels below instead);
// nothing probes the processor at run time. Every level writes the same
// bytes, exactly count pixels' worth, at any alignment of either pointer, and
// never reads a source pixel past count.
#include "ptc.h"

#include <string.h>

#define FLYOVER_SIMD_NONE 0   // plain C++
#define FLYOVER_SIMD_MMX 1    // 64-bit MMX registers, ends with EMMS
#define FLYOVER_SIMD_SSE2 2
#define FLYOVER_SIMD_SSSE3 3  // SSE2 plus a byte shuffle for the BGR and 24-bit layouts
#define FLYOVER_SIMD_AVX2 4   // 256-bit blocks in front of the SSSE3 ones

#ifndef FLYOVER_SIMD
#if defined(__AVX2__)
#define FLYOVER_SIMD FLYOVER_SIMD_AVX2
#elif defined(__SSSE3__)
#define FLYOVER_SIMD FLYOVER_SIMD_SSSE3
#elif defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define FLYOVER_SIMD FLYOVER_SIMD_SSE2
#elif defined(__MMX__)
#define FLYOVER_SIMD FLYOVER_SIMD_MMX
#else
#define FLYOVER_SIMD FLYOVER_SIMD_NONE
#endif
#endif

#if FLYOVER_SIMD >= FLYOVER_SIMD_AVX2
#include <immintrin.h>
#elif FLYOVER_SIMD >= FLYOVER_SIMD_SSSE3
#include <tmmintrin.h>
#elif FLYOVER_SIMD >= FLYOVER_SIMD_SSE2
#include <emmintrin.h>
#elif FLYOVER_SIMD == FLYOVER_SIMD_MMX
#include <mmintrin.h>
#endif

namespace {

// The lane constants, as 64-bit values; the wider levels repeat them in
// every 64-bit lane.
[[maybe_unused]] const uint64_t mmx_rgb888_mask = 0x00FFFFFF00FFFFFFull;  // clears two top bytes
[[maybe_unused]] const uint64_t mmx_bgr888_rb = 0x00FF00FF00FF00FFull;    // red and blue, halves exchanged
[[maybe_unused]] const uint64_t mmx_bgr888_g = 0x0000FF000000FF00ull;     // green
[[maybe_unused]] const uint64_t mmx_rgb565_b = 0x000000F8000000F8ull;     // top five bits of blue
[[maybe_unused]] const uint64_t mmx_rgb565_g = 0x0000FC000000FC00ull;     // top six bits of green
[[maybe_unused]] const uint64_t mmx_rgb565_r = 0x00F8000000F80000ull;     // top five bits of red
[[maybe_unused]] const uint64_t mmx_rgb555_rb = 0x00F800F800F800F8ull;    // blue and red at once
[[maybe_unused]] const uint64_t mmx_rgb555_g = 0x0000F8000000F800ull;     // top five bits of green
[[maybe_unused]] const uint64_t mmx_rgb555_mul = 0x2000000820000008ull;   // B * 8 + R * 0x2000
[[maybe_unused]] const uint64_t mmx_bgr555_mul = 0x0008200000082000ull;   // B * 0x2000 + R * 8
[[maybe_unused]] const uint64_t mmx_rgb565_mul = 0x2000000420000004ull;   // B * 4 + R * 0x2000
[[maybe_unused]] const uint64_t mmx_bgr565_mul = 0x0004200000042000ull;   // B * 0x2000 + R * 4

// --- One pixel at a time: the left-over pixels, and every pixel without SIMD.

inline uint32_t load32(const uint8_t *p)
{
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

inline void store32(uint8_t *p, uint32_t v) { memcpy(p, &v, 4); }

inline void store16(uint8_t *p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// Red and blue exchanged, top byte 0.
inline uint32_t swap_rb(uint32_t p)
{
    return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16);
}

inline uint32_t rgb565(uint32_t p)
{
    const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return (((r << 8) | (b >> 3)) & 0xF81F) + (((g << 8) >> 5) & 0x07E0);
}

inline uint32_t bgr565(uint32_t p)
{
    const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return (((b << 8) | (r >> 3)) & 0xF81F) + (((g << 8) >> 5) & 0x07E0);
}

inline uint32_t rgb555(uint32_t p)
{
    return ((p >> 3) & 0x001F) | ((p >> 6) & 0x03E0) | ((p >> 9) & 0x7C00);
}

inline uint32_t bgr555(uint32_t p)
{
    return ((p >> 19) & 0x001F) | ((p >> 6) & 0x03E0) | ((p << 7) & 0x7C00);
}

// --- Lane helpers of each level.

#if FLYOVER_SIMD >= FLYOVER_SIMD_SSE2
inline __m128i load128(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
inline void store128(uint8_t *p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }
inline __m128i splat128(uint64_t v) { return _mm_set1_epi64x(static_cast<long long>(v)); }

// Four pixels with red and blue exchanged and the top byte cleared.
#if FLYOVER_SIMD >= FLYOVER_SIMD_SSSE3
inline __m128i swap_rb(__m128i p)
{
    return _mm_shuffle_epi8(p, _mm_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1));
}
#else
// Without a byte shuffle: the two 16-bit halves of each lane change places,
// which brings blue up to bits 16-23 and red down to bits 0-7, and green
// stays where it is. Two word shuffles make the exchange in fewer
// instructions than two shifts and an OR, which need copies of the pixels.
inline __m128i swap_rb(__m128i p)
{
    const __m128i halves = _mm_shufflehi_epi16(_mm_shufflelo_epi16(p, 0xB1), 0xB1);
    return _mm_or_si128(_mm_and_si128(halves, splat128(mmx_bgr888_rb)), _mm_and_si128(p, splat128(mmx_bgr888_g)));
}
#endif

// Four pixels to their 5-6-5 values in bits 5-20 of their 32-bit lanes: one
// multiply-add of the masked blue and red halves puts them at bits 5-9 and
// 16-20 (mmx_rgb565_mul) or the other way round (mmx_bgr565_mul), and the top
// six bits of green already sit at bits 10-15.
inline __m128i lanes565(__m128i p, __m128i mul)
{
    const __m128i product = _mm_madd_epi16(_mm_and_si128(p, splat128(mmx_rgb555_rb)), mul);
    return _mm_or_si128(product, _mm_and_si128(p, splat128(mmx_rgb565_g)));
}

// Four pixels to four 5-5-5 values in the low 16 bits of their lanes.
inline __m128i lanes555(__m128i p, __m128i mul)
{
    const __m128i product = _mm_madd_epi16(_mm_and_si128(p, splat128(mmx_rgb555_rb)), mul);
    return _mm_srli_epi32(_mm_or_si128(product, _mm_and_si128(p, splat128(mmx_rgb555_g))), 6);
}
#endif

#if FLYOVER_SIMD >= FLYOVER_SIMD_AVX2
inline __m256i load256(const uint8_t *p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)); }
inline void store256(uint8_t *p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v); }
inline __m256i splat256(uint64_t v) { return _mm256_set1_epi64x(static_cast<long long>(v)); }

// The same lanes as lanes565 and lanes555, eight pixels at a time.
inline __m256i lanes565(__m256i p, __m256i mul)
{
    const __m256i product = _mm256_madd_epi16(_mm256_and_si256(p, splat256(mmx_rgb555_rb)), mul);
    return _mm256_or_si256(product, _mm256_and_si256(p, splat256(mmx_rgb565_g)));
}

inline __m256i lanes555(__m256i p, __m256i mul)
{
    const __m256i product = _mm256_madd_epi16(_mm256_and_si256(p, splat256(mmx_rgb555_rb)), mul);
    return _mm256_srli_epi32(_mm256_or_si256(product, _mm256_and_si256(p, splat256(mmx_rgb555_g))), 6);
}

// The packs work within 128-bit halves; this puts their quarters in order.
inline __m256i in_order(__m256i packed) { return _mm256_permute4x64_epi64(packed, 0xD8); }
#endif

#if FLYOVER_SIMD == FLYOVER_SIMD_MMX
inline __m64 load64(const uint8_t *p)
{
    __m64 v;
    memcpy(&v, p, 8);
    return v;
}
inline void store64(uint8_t *p, __m64 v) { memcpy(p, &v, 8); }
inline __m64 splat64(uint64_t v) { return _mm_set_pi32(static_cast<int>(v >> 32), static_cast<int>(v)); }

// The same exchange as without SSSE3, two pixels at a time, with shifts:
// plain MMX has no word shuffle.
inline __m64 swap_rb(__m64 p)
{
    const __m64 halves = _mm_or_si64(_mm_slli_pi32(p, 16), _mm_srli_pi32(p, 16));
    return _mm_or_si64(_mm_and_si64(halves, splat64(mmx_bgr888_rb)), _mm_and_si64(p, splat64(mmx_bgr888_g)));
}

// Four pixels to four 5-6-5 values in the low 16 bits of their 32-bit lanes
// (at most 0x07FF, so a signed pack keeps them) and the five bits that go to
// the top of each value, at bits 19-23 (an unsigned byte pack moves them to
// bits 11-15). rgb: red on top; otherwise blue.
inline void lanes565(__m64 p, bool rgb, __m64 *low, __m64 *top)
{
    const __m64 g = _mm_and_si64(p, splat64(mmx_rgb565_g));
    const __m64 b = _mm_and_si64(p, splat64(mmx_rgb565_b));
    const __m64 r = _mm_and_si64(p, splat64(mmx_rgb565_r));
    if (rgb) {
        *low = _mm_srli_pi32(_mm_or_si64(_mm_slli_pi32(b, 2), g), 5);
        *top = r;
    } else {
        *low = _mm_srli_pi32(_mm_or_si64(_mm_srli_pi32(r, 14), g), 5);
        *top = _mm_slli_si64(b, 16);
    }
}

inline __m64 lanes555(__m64 p, __m64 mul)
{
    const __m64 product = _mm_madd_pi16(_mm_and_si64(p, splat64(mmx_rgb555_rb)), mul);
    return _mm_srli_pi32(_mm_or_si64(product, _mm_and_si64(p, splat64(mmx_rgb555_g))), 6);
}
#endif

// --- The two 24-bit layouts, with one body: bytes B,G,R (rgb888) or, with
// bgr set, R,G,B (bgr888). The byte shuffles pick each pixel's three bytes in
// the layout's order; without them, the BGR layout has red and blue exchanged
// in its lanes first and is then packed like the other.

void convert_24(uint8_t *d, const uint8_t *s, uint32_t n, bool bgr)
{
#if FLYOVER_SIMD >= FLYOVER_SIMD_SSSE3
    // The three colour bytes of each of four pixels, in the layout's order,
    // to the first twelve bytes of a 128-bit lane; its last four are zero.
    const __m128i pack = bgr ? _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)
                             : _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
#endif
#if FLYOVER_SIMD >= FLYOVER_SIMD_AVX2
    // Both 128-bit halves packed the same way; then the six filled 32-bit
    // lanes of each of the four registers to their places in three stores,
    // which blends join: 24 + 8 | 16 + 16 | 8 + 24 bytes.
    const __m256i pack2 = _mm256_broadcastsi128_si256(pack);
    const __m256i place0 = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 0, 0);
    const __m256i place1 = _mm256_setr_epi32(2, 4, 5, 6, 0, 0, 0, 1);
    const __m256i place2 = _mm256_setr_epi32(5, 6, 0, 0, 0, 1, 2, 4);
    const __m256i place3 = _mm256_setr_epi32(0, 0, 0, 1, 2, 4, 5, 6);
    for (; n >= 32; n -= 32, s += 128, d += 96) {
        const __m256i a = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load256(s), pack2), place0);
        const __m256i b = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load256(s + 32), pack2), place1);
        const __m256i c = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load256(s + 64), pack2), place2);
        const __m256i e = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(load256(s + 96), pack2), place3);
        store256(d, _mm256_blend_epi32(a, b, 0xC0));
        store256(d + 32, _mm256_blend_epi32(b, c, 0xF0));
        store256(d + 64, _mm256_blend_epi32(c, e, 0xFC));
    }
#endif
#if FLYOVER_SIMD >= FLYOVER_SIMD_SSSE3
    // Sixteen pixels to 48 bytes: each store joins the end of one packed
    // register to the start of the next.
    for (; n >= 16; n -= 16, s += 64, d += 48) {
        const __m128i v0 = _mm_shuffle_epi8(load128(s), pack), v1 = _mm_shuffle_epi8(load128(s + 16), pack);
        const __m128i v2 = _mm_shuffle_epi8(load128(s + 32), pack), v3 = _mm_shuffle_epi8(load128(s + 48), pack);
        store128(d, _mm_or_si128(v0, _mm_slli_si128(v1, 12)));
        store128(d + 16, _mm_or_si128(_mm_srli_si128(v1, 4), _mm_slli_si128(v2, 8)));
        store128(d + 32, _mm_or_si128(_mm_srli_si128(v2, 8), _mm_slli_si128(v3, 4)));
    }
#elif FLYOVER_SIMD >= FLYOVER_SIMD_SSE2
    // Each 64-bit half closes the gap of its first pixel's top byte, which
    // leaves six bytes and two zeros; the halves are stored eight bytes
    // each, six bytes apart, so that every store's two zeros are overwritten
    // by the next one. The loop stops while the last store still falls
    // within the row (three bytes per pixel, fourteen for a block).
    const __m128i first = _mm_set1_epi64x(0x0000000000FFFFFFll);
    const __m128i second = _mm_set1_epi64x(0x00FFFFFF00000000ll);
    for (; n >= 5; n -= 4, s += 16, d += 12) {
        const __m128i v = bgr ? swap_rb(load128(s)) : load128(s);
        const __m128i halves = _mm_or_si128(_mm_and_si128(v, first), _mm_srli_epi64(_mm_and_si128(v, second), 8));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(d), halves);
        _mm_storeh_pi(reinterpret_cast<__m64 *>(d + 6), _mm_castsi128_ps(halves));
    }
#elif FLYOVER_SIMD == FLYOVER_SIMD_MMX
    // Four pixels to one 64-bit and one 32-bit store.
    const __m64 mask = splat64(mmx_rgb888_mask);
    const __m64 zero = _mm_setzero_si64();
    for (; n >= 4; n -= 4, s += 16, d += 12) {
        const __m64 a = bgr ? swap_rb(load64(s)) : _mm_and_si64(load64(s), mask);
        const __m64 b = bgr ? swap_rb(load64(s + 8)) : _mm_and_si64(load64(s + 8), mask);
        const __m64 q0 = _mm_unpacklo_pi32(a, zero), q1 = _mm_unpackhi_pi32(a, zero);
        const __m64 q2 = _mm_unpacklo_pi32(b, zero), q3 = _mm_unpackhi_pi32(b, zero);
        store64(d, _mm_or_si64(_mm_or_si64(q0, _mm_slli_si64(q1, 24)), _mm_slli_si64(b, 48)));
        const int last = _mm_cvtsi64_si32(_mm_or_si64(_mm_srli_si64(q2, 16), _mm_slli_si64(q3, 8)));
        memcpy(d + 8, &last, 4);
    }
    _mm_empty();
#endif
    const int first_byte = bgr ? 2 : 0, last_byte = bgr ? 0 : 2;
    for (; n > 0; --n, s += 4, d += 3) {
        d[0] = s[first_byte];
        d[1] = s[1];
        d[2] = s[last_byte];
    }
}

// --- The 5-6-5 and 5-5-5 routines, each pair with one body.

void convert_565(uint8_t *d, const uint8_t *s, uint32_t n, bool rgb)
{
    [[maybe_unused]] const uint64_t mul = rgb ? mmx_rgb565_mul : mmx_bgr565_mul;
#if FLYOVER_SIMD >= FLYOVER_SIMD_AVX2
    // Values of at most 0xFFFF: the unsigned 32-to-16-bit pack keeps them.
    for (const __m256i m = splat256(mul); n >= 16; n -= 16, s += 64, d += 32) {
        const __m256i low = _mm256_srli_epi32(lanes565(load256(s), m), 5);
        const __m256i high = _mm256_srli_epi32(lanes565(load256(s + 32), m), 5);
        store256(d, in_order(_mm256_packus_epi32(low, high)));
    }
#endif
#if FLYOVER_SIMD >= FLYOVER_SIMD_SSE2
    // SSE2 packs 32-bit lanes with signed saturation only, so each value is
    // sign-extended from its 16 bits first, which that pack keeps.
    for (const __m128i m = splat128(mul); n >= 8; n -= 8, s += 32, d += 16) {
        const __m128i low = _mm_srai_epi32(_mm_slli_epi32(lanes565(load128(s), m), 11), 16);
        const __m128i high = _mm_srai_epi32(_mm_slli_epi32(lanes565(load128(s + 16), m), 11), 16);
        store128(d, _mm_packs_epi32(low, high));
    }
#elif FLYOVER_SIMD == FLYOVER_SIMD_MMX
    for (; n >= 4; n -= 4, s += 16, d += 8) {
        __m64 low0, top0, low1, top1;
        lanes565(load64(s), rgb, &low0, &top0);
        lanes565(load64(s + 8), rgb, &low1, &top1);
        store64(d, _mm_or_si64(_mm_packs_pi32(low0, low1), _mm_packs_pu16(top0, top1)));
    }
#endif
    for (; n > 0; --n, s += 4, d += 2)
        store16(d, rgb ? rgb565(load32(s)) : bgr565(load32(s)));
#if FLYOVER_SIMD == FLYOVER_SIMD_MMX
    _mm_empty();
#endif
}

// The two 5-5-5 layouts differ only in the multiplier that places red and
// blue, and in the matching formula for the left-over pixels.
void convert_bgr555_cheat(uint8_t *d, const uint8_t *s, uint32_t n, bool bgr)
{
    [[maybe_unused]] const uint64_t mul = bgr ? mmx_bgr555_mul : mmx_rgb555_mul;
#if FLYOVER_SIMD >= FLYOVER_SIMD_AVX2
    for (const __m256i m = splat256(mul); n >= 16; n -= 16, s += 64, d += 32)
        store256(d, in_order(_mm256_packs_epi32(lanes555(load256(s), m), lanes555(load256(s + 32), m))));
#endif
#if FLYOVER_SIMD >= FLYOVER_SIMD_SSE2
    for (const __m128i m = splat128(mul); n >= 8; n -= 8, s += 32, d += 16)
        store128(d, _mm_packs_epi32(lanes555(load128(s), m), lanes555(load128(s + 16), m)));
#elif FLYOVER_SIMD == FLYOVER_SIMD_MMX
    for (const __m64 m = splat64(mul); n >= 8; n -= 8, s += 32, d += 16) {
        store64(d, _mm_packs_pi32(lanes555(load64(s), m), lanes555(load64(s + 8), m)));
        store64(d + 8, _mm_packs_pi32(lanes555(load64(s + 16), m), lanes555(load64(s + 24), m)));
    }
#endif
    for (; n > 0; --n, s += 4, d += 2)
        store16(d, bgr ? bgr555(load32(s)) : rgb555(load32(s)));
#if FLYOVER_SIMD == FLYOVER_SIMD_MMX
    _mm_empty();
#endif
}

}  // namespace

// --- Entry points. Those of the two BGR layouts are not in the shared
// header; the converters declare them where they call them.

void mmx_memcpy(void *destination, const void *source, uint32_t bytes)
{
#if FLYOVER_SIMD >= FLYOVER_SIMD_SSE2
    uint8_t *d = static_cast<uint8_t *>(destination);
    const uint8_t *s = static_cast<const uint8_t *>(source);
    uint32_t n = bytes;
#if FLYOVER_SIMD >= FLYOVER_SIMD_AVX2
    for (; n >= 128; n -= 128, s += 128, d += 128) {
        const __m256i a = load256(s), b = load256(s + 32), c = load256(s + 64), e = load256(s + 96);
        store256(d, a);
        store256(d + 32, b);
        store256(d + 64, c);
        store256(d + 96, e);
    }
#endif
    for (; n >= 64; n -= 64, s += 64, d += 64) {
        const __m128i a = load128(s), b = load128(s + 16), c = load128(s + 32), e = load128(s + 48);
        store128(d, a);
        store128(d + 16, b);
        store128(d + 32, c);
        store128(d + 48, e);
    }
    for (; n >= 16; n -= 16, s += 16, d += 16)
        store128(d, load128(s));
    for (; n > 0; --n)
        *d++ = *s++;
#else
    // Without SSE2, MMX included: a copy does no arithmetic, and GCC moves
    // 64-bit values that no MMX instruction works on through integer
    // registers (and the stack) instead; the C library's copy is faster.
    memcpy(destination, source, bytes);
#endif
}

extern "C" void mmx_convert_32_to_32_bgr888(uint8_t *destination, const uint32_t *source, uint32_t count)
{
    uint8_t *d = destination;
    const uint8_t *s = reinterpret_cast<const uint8_t *>(source);
    uint32_t n = count;
#if FLYOVER_SIMD >= FLYOVER_SIMD_AVX2
    // The byte shuffle of swap_rb on eight pixels at once.
    const __m256i swap = _mm256_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1,
                                          2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1);
    for (; n >= 32; n -= 32, s += 128, d += 128) {
        const __m256i a = load256(s), b = load256(s + 32), c = load256(s + 64), e = load256(s + 96);
        store256(d, _mm256_shuffle_epi8(a, swap));
        store256(d + 32, _mm256_shuffle_epi8(b, swap));
        store256(d + 64, _mm256_shuffle_epi8(c, swap));
        store256(d + 96, _mm256_shuffle_epi8(e, swap));
    }
#endif
#if FLYOVER_SIMD >= FLYOVER_SIMD_SSE2
    // Four registers per pass, all loaded before any is stored, as in the
    // copy: fewer passes, and the loads run ahead of the stores.
    for (; n >= 16; n -= 16, s += 64, d += 64) {
        const __m128i a = load128(s), b = load128(s + 16), c = load128(s + 32), e = load128(s + 48);
        store128(d, swap_rb(a));
        store128(d + 16, swap_rb(b));
        store128(d + 32, swap_rb(c));
        store128(d + 48, swap_rb(e));
    }
    for (; n >= 4; n -= 4, s += 16, d += 16)
        store128(d, swap_rb(load128(s)));
#elif FLYOVER_SIMD == FLYOVER_SIMD_MMX
    for (; n >= 4; n -= 4, s += 16, d += 16) {
        const __m64 a = load64(s), b = load64(s + 8);
        store64(d, swap_rb(a));
        store64(d + 8, swap_rb(b));
    }
    _mm_empty();
#endif
    for (; n > 0; --n, s += 4, d += 4)
        store32(d, swap_rb(load32(s)));
}

void mmx_convert_32_to_24_rgb888(uint8_t *destination, const uint32_t *source, uint32_t count)
{
    convert_24(destination, reinterpret_cast<const uint8_t *>(source), count, false);
}

extern "C" void mmx_convert_32_to_24_bgr888(uint8_t *destination, const uint32_t *source, uint32_t count)
{
    convert_24(destination, reinterpret_cast<const uint8_t *>(source), count, true);
}

void mmx_convert_32_to_16_rgb565(uint8_t *destination, const uint32_t *source, uint32_t count)
{
    convert_565(destination, reinterpret_cast<const uint8_t *>(source), count, true);
}

void mmx_convert_32_to_16_bgr565(uint8_t *destination, const uint32_t *source, uint32_t count)
{
    convert_565(destination, reinterpret_cast<const uint8_t *>(source), count, false);
}

void mmx_convert_32_to_16_rgb555(uint8_t *destination, const uint32_t *source, uint32_t count)
{
    convert_bgr555_cheat(destination, reinterpret_cast<const uint8_t *>(source), count, false);
}

void mmx_convert_32_to_16_bgr555(uint8_t *destination, const uint32_t *source, uint32_t count)
{
    convert_bgr555_cheat(destination, reinterpret_cast<const uint8_t *>(source), count, true);
}
