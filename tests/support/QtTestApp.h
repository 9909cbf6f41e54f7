// The one QApplication of a user-interface test suite, made on first use. The suites link
// gtest_main, so they cannot own main(); a fixture calls qttest::App() instead.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QtGlobal>
#include <gtest/gtest.h>

namespace qttest {

inline QApplication& App() {
  if (!QApplication::instance()) {
    // Without a display the tests run on the offscreen platform, as under ctest.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "migwiz-ui-test";
    static char* argv[] = {name, nullptr};
    // Deliberately never freed: destroying it during static destruction can outlive Qt's own
    // globals and crash at exit.
    new QApplication(argc, argv);
  }
  return *static_cast<QApplication*>(QApplication::instance());
}

// Base fixture of the user-interface suites.
class QtTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { App(); }
};

}  // namespace qttest
