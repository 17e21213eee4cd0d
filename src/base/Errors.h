#pragma once
// The runtime errors of Kestrelon's engine and drawing code.
//
// They end the command that raised them; the window and the command line catch
// kestrelon::Error at the command boundary and show its message() to the person (in
// the window's or the command line's language, base/Message.h). what() is that text
// in the language installed when the error was made.
// File and user-input problems are not exceptions: the readers and writers
// return them as results with a Message that says why.

#include <cmath>
#include <stdexcept>
#include <string>

#include "base/Message.h"

namespace kestrelon {

class Error : public std::runtime_error {
public:
    explicit Error(Message message)
        : std::runtime_error(message.text().toStdString())
        , FMessage(std::move(message))
    {
    }
    // A text from code that has no message code yet (shown as it is).
    explicit Error(const std::string& what)
        : Error(Message(MessageCode::Internal, what))
    {
    }
    const Message& message() const { return FMessage; }

private:
    Message FMessage;
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

// The message of an IntOverflowError about `what` (a code naming the quantity, or a text).
inline Message intOverflow(const MessageArg& what)
{
    return Message(MessageCode::IntOverflow, {what});
}

// a * b, or IntOverflowError naming `what` (a MessageCode or a text) when it does not fit
// in T. `what` becomes an argument only then: the checks cost nothing else.
template <class T, class W> T checkedMul(T a, T b, const W& what)
{
    T r;
    if (__builtin_mul_overflow(a, b, &r))
        throw IntOverflowError(intOverflow(MessageArg(what)));
    return r;
}

// a + b, or IntOverflowError naming `what` when it does not fit in T.
template <class T, class W> T checkedAdd(T a, T b, const W& what)
{
    T r;
    if (__builtin_add_overflow(a, b, &r))
        throw IntOverflowError(intOverflow(MessageArg(what)));
    return r;
}

// x itself, or FloatError naming `what` when x is infinite or NaN.
template <class W> double checkedFinite(double x, const W& what)
{
    if (!std::isfinite(x))
        throw FloatError(Message(MessageCode::FloatOverflow, {MessageArg(what)}));
    return x;
}

} // namespace kestrelon
