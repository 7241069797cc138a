// SPDX-License-Identifier: Apache-2.0
// Fractions and common divisors for the AM screen's tiling.
#include "TAVIK_AmiTbl.h"

// a/b in lowest terms: the last convergent h/k of its continued fraction,
// h(i) = q(i) h(i-1) + h(i-2), k(i) = q(i) k(i-1) + k(i-2).
void reduce_frac(int64_t a, int64_t b, int64_t *numerator, int64_t *denominator) {
  int64_t h = 1, hPrev = 0;  // h(-1), h(-2)
  int64_t k = 0, kPrev = 1;  // k(-1), k(-2)
  while (b != 0) {
    const int64_t q = a / b;
    const int64_t r = a % b;
    const int64_t hNext = q * h + hPrev;
    const int64_t kNext = q * k + kPrev;
    hPrev = h;
    h = hNext;
    kPrev = k;
    k = kNext;
    a = b;
    b = r;
  }
  *numerator = h;
  *denominator = k;
}

int64_t gcd(int64_t a, int64_t b) {
  if (b == 0) return a;
  if (a == 0) return b;
  int64_t num = 0, den = 0;
  reduce_frac(a, b, &num, &den);
  return a / num;
}
