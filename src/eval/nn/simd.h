// The vector layer of the network code: 16 signed 16-bit values at a time
// for inference, 8 single-precision values at a time for the trainer.
// Two backends with identical results: Avx2 (256-bit registers) and Scalar
// (plain loops, the portable build's path). The kernels are templates over
// a backend and never touch instructions directly, so tests can run both in
// one binary and compare them bit for bit.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>

#ifdef __AVX2__
#include <immintrin.h>
#endif

namespace simd {

constexpr int LANES = 16;   // 16-bit values per vector
constexpr int FLANES = 8;   // floats per vector

struct Scalar {
    struct Vec16 { int16_t v[LANES]; };
    struct Vec32 { uint32_t v[8]; };  // unsigned: the 32-bit sums wrap like the vector lanes

    static Vec16 load(const int16_t* p) {
        Vec16 r;
        std::copy(p, p + LANES, r.v);
        return r;
    }
    static void store(int16_t* p, const Vec16& a) { std::copy(a.v, a.v + LANES, p); }

    static int16_t saturate(int x) { return int16_t(std::clamp(x, -32768, 32767)); }
    static Vec16 adds(const Vec16& a, const Vec16& b) {
        Vec16 r;
        for (int i = 0; i < LANES; i++) r.v[i] = saturate(a.v[i] + b.v[i]);
        return r;
    }
    static Vec16 subs(const Vec16& a, const Vec16& b) {
        Vec16 r;
        for (int i = 0; i < LANES; i++) r.v[i] = saturate(a.v[i] - b.v[i]);
        return r;
    }
    // Leaky activation: negative values are divided by 64, truncating toward zero.
    static Vec16 leaky(const Vec16& a) {
        Vec16 r;
        for (int i = 0; i < LANES; i++) r.v[i] = a.v[i] < 0 ? int16_t((a.v[i] + 63) >> 6) : a.v[i];
        return r;
    }

    static Vec32 zero32() { return Vec32{}; }
    // sum += pairwise products, as the multiply-add instruction forms them.
    static Vec32 madd(const Vec32& sum, const Vec16& a, const Vec16& b) {
        Vec32 r;
        for (int i = 0; i < 8; i++) {
            uint32_t p0 = uint32_t(a.v[2 * i] * b.v[2 * i]);
            uint32_t p1 = uint32_t(a.v[2 * i + 1] * b.v[2 * i + 1]);
            r.v[i] = sum.v[i] + p0 + p1;
        }
        return r;
    }
    static int32_t hsum(const Vec32& a) {
        uint32_t s = 0;
        for (uint32_t x : a.v) s += x;
        return int32_t(s);
    }

    struct VecF { float v[FLANES]; };
    static VecF loadf(const float* p) {
        VecF r;
        std::copy(p, p + FLANES, r.v);
        return r;
    }
    static void storef(float* p, const VecF& a) { std::copy(a.v, a.v + FLANES, p); }
    static VecF setf(float x) {
        VecF r;
        std::fill(r.v, r.v + FLANES, x);
        return r;
    }
    static VecF addf(const VecF& a, const VecF& b) {
        VecF r;
        for (int i = 0; i < FLANES; i++) r.v[i] = a.v[i] + b.v[i];
        return r;
    }
    static VecF mulf(const VecF& a, const VecF& b) {
        VecF r;
        for (int i = 0; i < FLANES; i++) r.v[i] = a.v[i] * b.v[i];
        return r;
    }
    // a * b + c with one rounding, as the fused instruction does it.
    static VecF fmaddf(const VecF& a, const VecF& b, const VecF& c) {
        VecF r;
        for (int i = 0; i < FLANES; i++) r.v[i] = std::fma(a.v[i], b.v[i], c.v[i]);
        return r;
    }
    static VecF maxf(const VecF& a, const VecF& b) {
        VecF r;
        for (int i = 0; i < FLANES; i++) r.v[i] = a.v[i] > b.v[i] ? a.v[i] : b.v[i];
        return r;
    }
    // Per lane: x > 0 ? if_positive : otherwise.
    static VecF select_positive(const VecF& x, const VecF& if_positive, const VecF& otherwise) {
        VecF r;
        for (int i = 0; i < FLANES; i++) r.v[i] = x.v[i] > 0 ? if_positive.v[i] : otherwise.v[i];
        return r;
    }
    // Lanes added in the vector backend's order: halves, then pairs.
    static float hsumf(const VecF& a) {
        float h[4];
        for (int i = 0; i < 4; i++) h[i] = a.v[i] + a.v[i + 4];
        const float p0 = h[0] + h[2], p1 = h[1] + h[3];
        return p0 + p1;
    }
};

#ifdef __AVX2__
struct Avx2 {
    using Vec16 = __m256i;
    using Vec32 = __m256i;

    static Vec16 load(const int16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void store(int16_t* p, Vec16 a) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), a); }
    static Vec16 adds(Vec16 a, Vec16 b) { return _mm256_adds_epi16(a, b); }
    static Vec16 subs(Vec16 a, Vec16 b) { return _mm256_subs_epi16(a, b); }
    // For x < 0, (x + 63) >> 6 >= x; for x >= 0 it is <= x (or wraps negative
    // near the top), so the maximum picks the right branch without a blend.
    static Vec16 leaky(Vec16 a) {
        return _mm256_max_epi16(a, _mm256_srai_epi16(_mm256_add_epi16(a, _mm256_set1_epi16(63)), 6));
    }
    static Vec32 zero32() { return _mm256_setzero_si256(); }
    static Vec32 madd(Vec32 sum, Vec16 a, Vec16 b) { return _mm256_add_epi32(sum, _mm256_madd_epi16(a, b)); }
    static int32_t hsum(Vec32 a) {
        __m128i s = _mm_add_epi32(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1));
        s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
        s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
        return _mm_cvtsi128_si32(s);
    }

    using VecF = __m256;
    static VecF loadf(const float* p) { return _mm256_loadu_ps(p); }
    static void storef(float* p, VecF a) { _mm256_storeu_ps(p, a); }
    static VecF setf(float x) { return _mm256_set1_ps(x); }
    static VecF addf(VecF a, VecF b) { return _mm256_add_ps(a, b); }
    static VecF mulf(VecF a, VecF b) { return _mm256_mul_ps(a, b); }
    static VecF fmaddf(VecF a, VecF b, VecF c) { return _mm256_fmadd_ps(a, b, c); }
    static VecF maxf(VecF a, VecF b) { return _mm256_max_ps(a, b); }
    static VecF select_positive(VecF x, VecF if_positive, VecF otherwise) {
        return _mm256_blendv_ps(otherwise, if_positive, _mm256_cmp_ps(x, _mm256_setzero_ps(), _CMP_GT_OQ));
    }
    static float hsumf(VecF a) {
        __m128 s = _mm_add_ps(_mm256_castps256_ps128(a), _mm256_extractf128_ps(a, 1));
        s = _mm_add_ps(s, _mm_movehl_ps(s, s));                 // lanes 0+2, 1+3
        s = _mm_add_ss(s, _mm_shuffle_ps(s, s, 0x55));          // (0+2) + (1+3)
        return _mm_cvtss_f32(s);
    }
};
using Native = Avx2;
constexpr bool NATIVE_IS_VECTOR = true;
#else
using Native = Scalar;
constexpr bool NATIVE_IS_VECTOR = false;
#endif

}  // namespace simd
