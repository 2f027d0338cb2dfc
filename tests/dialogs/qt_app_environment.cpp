// The QApplication of a window test binary, made once before the first test: offscreen unless the
// caller chose a platform, with the program's resources and interface font, as the program has
// them.

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "framework/accessibility.h"
#include "framework/app.h"
#include "res/resources.h"

namespace {

class QtAppEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
        fw::InstallInterfaceFont();
        fw::InstallAccessibility();
        RegisterResources();
    }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[16] = "dialogs_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

const testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new QtAppEnvironment);

}  // namespace
