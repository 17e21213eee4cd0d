#pragma once
// Messages as the command line shows them, for tests that look at what a message says.

#include <QString>

#include "base/Message.h"

inline QString en(const kestrelon::Message& m)
{
    return m.text(kestrelon::Language::English);
}

// A text that is one already (so that a check reads the same for both).
inline QString en(const QString& s)
{
    return s;
}
