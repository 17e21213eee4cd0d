#include "GuiEnvironment.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

namespace kestrelon::test {

namespace {

class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ensureGuiApplication(); }
    void TearDown() override
    {
        delete FApp;
        FApp = nullptr;
    }
    static QGuiApplication* FApp;
};

QGuiApplication* GuiEnvironment::FApp = nullptr;

[[maybe_unused]] ::testing::Environment* const gEnvironment
    = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

} // namespace

void ensureGuiApplication()
{
    if (QGuiApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kestrelon-tests";
    static char* argv[] = {name, nullptr};
    GuiEnvironment::FApp = new QGuiApplication(argc, argv);
}

} // namespace kestrelon::test
