// The quicksort shared by every vector: middle pivot held as a value, Hoare partitioning with an exchange
// also when I = J, not stable. Take (Mid) fixes the pivot, Cmp (I) compares element I with it, Exch (I, J)
// swaps two elements. The smaller part is sorted by recursion and the larger one by the loop, so the stack
// stays O(log n); the parts are independent, so the result equals sorting the left part first. The scans
// never leave L..R, even when a comparison is inconsistent (for instance a NaN against ordinary numbers).
#pragma once

#include <cstdint>

template <class TakePivot, class CompareToPivot, class Swap>
void QuickSortRange(int32_t L, int32_t R, bool Ascending, TakePivot& Take, CompareToPivot& Cmp, Swap& Exch) {
  while (L < R) {
    int32_t I = L;
    int32_t J = R;
    Take(static_cast<int32_t>((static_cast<int64_t>(L) + R) / 2));
    do {
      if (Ascending) {
        while (I < R && Cmp(I) < 0) ++I;
        while (J > L && Cmp(J) > 0) --J;
      } else {
        while (I < R && Cmp(I) > 0) ++I;
        while (J > L && Cmp(J) < 0) --J;
      }
      if (I <= J) {
        Exch(I, J);
        ++I;
        --J;
      }
    } while (I <= J);
    if (J - L < R - I) {
      if (L < J) QuickSortRange(L, J, Ascending, Take, Cmp, Exch);
      L = I;
    } else {
      if (I < R) QuickSortRange(I, R, Ascending, Take, Cmp, Exch);
      R = J;
    }
  }
}
