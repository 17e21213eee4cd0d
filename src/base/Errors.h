#pragma once
// The runtime errors of Kestrelon's engine and drawing code.
//
// They end the command that raised them; the window and the command line catch
// kestrelon::Error at the command boundary and show what() to the person.
// File and user-input problems are not exceptions: the readers and writers
// return them as results with a readable reason.

#include <cmath>
#include <stdexcept>
#include <string>

namespace kestrelon {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Size or index arithmetic that does not fit its integer type.
class IntOverflowError : public Error {
public:
    using Error::Error;
};

// A negative array length.
class RangeError : public Error {
public:
    using Error::Error;
};

// Floating-point overflow, division by zero or an invalid operation. C++ does
// not trap, so the places where one can arise check explicitly.
class FloatError : public Error {
public:
    using Error::Error;
};

// a * b, or IntOverflowError naming `what` when it does not fit in T.
template <class T>
T checkedMul(T a, T b, const char* what)
{
    T r;
    if (__builtin_mul_overflow(a, b, &r))
        throw IntOverflowError(std::string("integer overflow: ") + what);
    return r;
}

// a + b, or IntOverflowError naming `what` when it does not fit in T.
template <class T>
T checkedAdd(T a, T b, const char* what)
{
    T r;
    if (__builtin_add_overflow(a, b, &r))
        throw IntOverflowError(std::string("integer overflow: ") + what);
    return r;
}

// x itself, or FloatError naming `what` when x is infinite or NaN.
inline double checkedFinite(double x, const char* what)
{
    if (!std::isfinite(x))
        throw FloatError(std::string("floating-point overflow: ") + what);
    return x;
}

} // namespace kestrelon
