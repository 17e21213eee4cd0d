#pragma once
// Real discrete Fourier transform in the packed layout of the split-radix rdft routine.
//
// For n a power of two (4 .. 4096 here), with Rk = sum_j a[j] cos(2 pi j k / n) and
// Ik = sum_j a[j] sin(2 pi j k / n) (the sine sum taken with a plus sign):
//  - forward (isgn = +1) leaves a[0] = R0, a[1] = R(n/2), a[2k] = Rk, a[2k+1] = Ik, 0 < k < n/2;
//  - inverse (isgn = -1) takes that layout back; it is unscaled, so forward then
//    inverse returns n/2 times the input.
// RealFft (RealFft.h) does the work, with the shared transform of each length. ip and w
// are accepted for the routine's signature and not used: a call with ip[0] = 0 is always
// right for the n passed. a may have any alignment (an unaligned array goes through an
// aligned per-thread copy, so the result does not depend on it). n must be a power of two from 2 to
// 65536, RangeError otherwise. Safe to call from several threads at once.

#include <cstdint>

namespace kestrelon {

void rdft(int32_t n, int32_t isgn, double* a, int32_t* ip, double* w);

} // namespace kestrelon
