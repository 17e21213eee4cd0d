#pragma once
// A QGuiApplication for the whole test program (painting text needs one), created
// on the offscreen platform unless the environment names another.

namespace kestrelon::test {
void ensureGuiApplication();
} // namespace kestrelon::test
