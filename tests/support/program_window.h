// The program's real window and GL context, for tests that need them, and the user's ways of
// ending the program, sent from another thread as the system would deliver them.
#pragma once

#include <gtest/gtest.h>
#include <string>

// Creates the window, its GL context (current on this thread) and every GL object.
bool openProgramWindow();
// Releases them again and puts the shared state back; the window class is forgotten too, so
// the next window can register it anew.
void closeProgramWindow();
void forgetWindowClass();

enum class UserAction { CloseMessage, EscapeKey, DestroyMessage };
void sendUserAction(UserAction action);

// Minimises the program's window as the user would (on Linux, where no window manager may run to
// iconify it, the window is hidden, which is what a window manager does to an iconified one).
void minimiseProgramWindow();

// The window the system knows by the program's class and title (Windows), or by its title.
bool programWindowIsShown();

// Makes the next window registration fail, and undoes that.
void breakWindowRegistration();
void mendWindowRegistration();

// Puts the cursor at a screen position.
void placeCursor(int x, int y);

// Reads the frame just drawn (key colour included) and saves it as a PNG.
bool saveFrame(const std::string &path, int width, int height);

// Suites whose tests share one real program window with its GL context current.
class ProgramWindowSuite : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { windowOpened = openProgramWindow(); }
    static void TearDownTestSuite() {
        if (windowOpened)
            closeProgramWindow();
        windowOpened = false;
    }
    void SetUp() override {
        ASSERT_TRUE(windowOpened) << "the window and its GL context could not be made";
    }
    static bool windowOpened;
};
