// Element arithmetic as the vectors define it. Integers: every result wraps modulo 2^width, signed division
// truncates toward zero, the minimum divided by -1 gives the minimum, and division by zero raises
// EDivByZero instead of trapping; the work is done in an unsigned type at least 32 bits wide, because
// signed overflow (and the promotion of 16-bit products to int) is undefined in C++. Floating point: the
// operation is done in long double and the result stored in the element's format.
#pragma once

#include <cstdint>
#include <type_traits>

#include "core/VectOps.h"

template <class T>
using TWrapType = std::conditional_t<(sizeof(T) < 4), uint32_t, std::make_unsigned_t<T>>;

template <class T>
constexpr T WrapAdd(T A, T B) {
  return static_cast<T>(static_cast<TWrapType<T>>(A) + static_cast<TWrapType<T>>(B));
}

template <class T>
constexpr T WrapSub(T A, T B) {
  return static_cast<T>(static_cast<TWrapType<T>>(A) - static_cast<TWrapType<T>>(B));
}

template <class T>
constexpr T WrapMul(T A, T B) {
  return static_cast<T>(static_cast<TWrapType<T>>(A) * static_cast<TWrapType<T>>(B));
}

template <class T>
constexpr T WrapNeg(T A) {
  return static_cast<T>(TWrapType<T>{0} - static_cast<TWrapType<T>>(A));
}

// |A| with the minimum staying the minimum (its negation wraps).
template <class T>
constexpr T WrapAbs(T A) {
  if constexpr (std::is_signed_v<T>) return A < 0 ? WrapNeg(A) : A;
  return A;
}

// Truncating division; raises EDivByZero for B = 0.
template <class T>
T SafeDiv(T A, T B) {
  if (B == 0) throw EDivByZero();
  if constexpr (std::is_signed_v<T>) {
    if (B == -1) return WrapNeg(A);
  }
  return static_cast<T>(A / B);
}

// The four element operations for any element type, integer or floating point.
template <class T>
T ElemAdd(T A, T B) {
  if constexpr (std::is_floating_point_v<T>)
    return static_cast<T>(static_cast<long double>(A) + B);
  else
    return WrapAdd(A, B);
}

template <class T>
T ElemSub(T A, T B) {
  if constexpr (std::is_floating_point_v<T>)
    return static_cast<T>(static_cast<long double>(A) - B);
  else
    return WrapSub(A, B);
}

template <class T>
T ElemMul(T A, T B) {
  if constexpr (std::is_floating_point_v<T>)
    return static_cast<T>(static_cast<long double>(A) * B);
  else
    return WrapMul(A, B);
}

template <class T>
T ElemDiv(T A, T B) {
  if constexpr (std::is_floating_point_v<T>)
    return static_cast<T>(static_cast<long double>(A) / B);
  else
    return SafeDiv(A, B);
}
