// Process set-up shared by every Windows-side test: the same apartment, Media
// Foundation, locale and factories that start-up gives the program.
#include <windows.h>
#include <mfapi.h>

#include <gtest/gtest.h>

#include <clocale>

#include "app/Startup.h"

namespace {

class ProgramEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        MFStartup(MF_VERSION, MFSTARTUP_FULL);
        std::setlocale(LC_ALL, ".UTF8");
        CreateFactories();
    }
};

// Registered before main runs, so it applies whichever test file is linked first.
const ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ProgramEnvironment);

}  // namespace
