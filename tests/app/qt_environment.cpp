// One QApplication for all widget tests of this program, made before the
// first test and gone after the last.

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { application_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { application_.reset(); }

  private:
    int argc_ = 1;
    char name_[16] = "app_window_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

// Read by LeakSanitizer in the sanitizer build. Fontconfig keeps the font
// patterns it matched for Qt's font fallback until the process ends; Qt never
// hands them back, so they show as leaks of that library, not of this program.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
