// The window's handling of each message: the handlers both platforms share, then the real
// window procedure (Windows) or SDL's event queue (Linux) delivering into them.
#include <gtest/gtest.h>
#include <string>
#ifdef _WIN32
#include <windows.h>
#else
#define SDL_MAIN_HANDLED
#include <SDL.h>
#endif

#include "app/app_state.h"
#include "audio/music_player.h"
#include "cabinet/payload.h"
#include "platform/platform.h"
#include "tests/support/program_window.h"
#include "tests/support/system_cursor.h"
#include "tests/support/test_environment.h"
#include "window/window_events.h"

namespace {

class WindowEvents : public ::testing::Test {
  protected:
    void SetUp() override {
        resetAppState();
        appState.windowWidth = 626;
        appState.windowHeight = 626;
    }
    void TearDown() override { resetAppState(); }
};

struct SizeCase {
    uint32_t width, height;
    int32_t storedWidth, storedHeight;
};

TEST_F(WindowEvents, SizeStoresTheWordsWithAFloorOnTheHeightOnly) {
    const SizeCase cases[] = {
        {640, 480, 640, 480},         {700, 0, 700, 1}, {0, 300, 0, 300}, {0, 0, 0, 1},
        {65535, 65535, 65535, 65535}, // unsigned words, never negative
    };
    for (const SizeCase &c : cases) {
        handleSizeMessage(c.width, c.height);
        EXPECT_EQ(appState.windowWidth, c.storedWidth) << c.width << "x" << c.height;
        EXPECT_EQ(appState.windowHeight, c.storedHeight) << c.width << "x" << c.height;
    }
}

TEST_F(WindowEvents, OnlyEscapeEndsTheLoop) {
    for (uint32_t key : {13u, 32u, 0x100u, 65u}) {
        handleKeyDown(key);
        EXPECT_TRUE(appState.appRunning) << key;
    }
    handleKeyDown(escapeKey);
    EXPECT_FALSE(appState.appRunning);
    EXPECT_TRUE(appState.pollerRunning) << "Escape leaves the poller to the shutdown";
}

TEST_F(WindowEvents, CloseStopsThePollerAndRemovesTheWorkFolderAtOnce) {
    const std::string temporary = scratchFolder("events-temp");
    useTemporaryFolder(temporary);
    ASSERT_TRUE(prepareAdb());
    char work[pathSize];
    copyWorkDir(work, sizeof work);
    handleCloseMessage();
    EXPECT_FALSE(appState.pollerRunning);
    EXPECT_FALSE(appState.appRunning);
    EXPECT_FALSE(pathExists(work));
    // The destroy message that follows at shutdown runs it again harmlessly.
    handleCloseMessage();
    EXPECT_FALSE(appState.appRunning);
    removeTree(temporary);
}

TEST_F(WindowEvents, CursorMovesRewriteTheHoverState) {
    handleMouseMove(562, 30); // on the close icon
    EXPECT_EQ(appState.mouseX, 562);
    EXPECT_EQ(appState.mouseYUp, 626 - 30);
    EXPECT_TRUE(appState.hoverClose);
    handleMouseMove(268, 626 - 68); // the help button's centre
    EXPECT_FALSE(appState.hoverClose);
    EXPECT_TRUE(appState.hoverHelp);
    appState.dragging = true;
    handleButtonUp();
    EXPECT_FALSE(appState.dragging);
    handleButtonUp(); // a release with no drag changes nothing
    EXPECT_FALSE(appState.dragging);
}

// A press outside the controls starts a drag; each move then puts the window's corner at the
// cursor less the offset the press took.
class WindowDrag : public ::testing::Test {
  protected:
    void SetUp() override {
        resetAppState();
        ASSERT_TRUE(openProgramWindow());
    }
    void TearDown() override { closeProgramWindow(); }
    static void settle() {
        for (int i = 0; i < 20; i++) {
            pumpWindowMessages();
            sleepMilliseconds(10);
        }
    }
};

TEST_F(WindowDrag, FollowsTheCursorByItsOffset) {
    void *window = appState.windowHandle.load();
    moveWindow(window, 100, 80);
    settle();
    placeCursor(400, 380); // an empty spot, 300 right and 300 down from the corner
    settle();
    handleMouseMove(300, 300);
    ASSERT_FALSE(appState.hoverClose || appState.hoverSound || appState.hoverHelp);
    handleButtonDown();
    EXPECT_TRUE(appState.dragging);
    EXPECT_EQ(appState.dragOffsetX, 300);
    EXPECT_EQ(appState.dragOffsetY, 300);

    placeCursor(520, 450);
    settle();
    handleMouseMove(300, 300);
    settle();
    int32_t x = 0, y = 0;
    windowScreenPosition(window, &x, &y);
    EXPECT_EQ(x, 220);
    EXPECT_EQ(y, 150);
    handleButtonUp();
    EXPECT_FALSE(appState.dragging);
}

// The user's mouse moves the cursor through the system, not through the program: the drag
// follows it all the same. A hand moving steadily makes equal steps too: after the window has
// followed one, the cursor sits where it sat on the window before, and the next step must still
// move it, with nothing but what the system delivers.
TEST_F(WindowDrag, FollowsTheCursorTheSystemMoved) {
    struct Case {
        const char *name;
        int stepX, stepY, steps;
        bool toldOfEachMove; // the move handler is called as well
    };
    const Case cases[] = {
        {"steps told to the handler", 40, 25, 3, true},
        {"equal steps, only the system's messages", 10, 10, 4, false},
    };
    for (const Case &c : cases) {
        void *window = appState.windowHandle.load();
        moveWindow(window, 100, 80);
        settle();
        moveSystemCursor(400, 380);
        settle();
        handleMouseMove(300, 300);
        handleButtonDown();
        EXPECT_EQ(appState.dragOffsetX, 300) << c.name;
        EXPECT_EQ(appState.dragOffsetY, 300) << c.name;
        for (int step = 1; step <= c.steps; step++) {
            moveSystemCursor(400 + c.stepX * step, 380 + c.stepY * step);
            settle();
            if (c.toldOfEachMove) {
                handleMouseMove(300, 300);
                settle();
            }
            int32_t x = 0, y = 0;
            windowScreenPosition(window, &x, &y);
            EXPECT_EQ(x, 100 + c.stepX * step) << c.name << ", step " << step;
            EXPECT_EQ(y, 80 + c.stepY * step) << c.name << ", step " << step;
        }
        handleButtonUp();
    }
}

TEST_F(WindowDrag, MessagesReachTheHandlersThroughThePlatform) {
#ifdef _WIN32
    HWND window = static_cast<HWND>(appState.windowHandle.load());
    EXPECT_EQ(SendMessageA(window, WM_SIZE, 0, MAKELPARAM(500, 0)), 0);
    EXPECT_EQ(appState.windowWidth, 500);
    EXPECT_EQ(appState.windowHeight, 1);
    EXPECT_EQ(SendMessageA(window, WM_CHAR, 'x', 0), 0);
    EXPECT_EQ(SendMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(451, 30)), 0);
    EXPECT_TRUE(appState.hoverClose) << "the close icon follows the new width";
    appState.dragging = true;
    EXPECT_EQ(SendMessageA(window, WM_RBUTTONUP, 0, 0), 0);
    EXPECT_FALSE(appState.dragging);
    EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, 'A', 0), 0);
    EXPECT_TRUE(appState.appRunning);
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(appState.appRunning);
    EXPECT_FALSE(appState.pollerRunning);
    EXPECT_TRUE(IsWindow(window)) << "the close message does not destroy the window";
#else
    SDL_Window *window = static_cast<SDL_Window *>(appState.windowHandle.load());
    SDL_Event event;
    memset(&event, 0, sizeof event);
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
    event.window.windowID = SDL_GetWindowID(window);
    event.window.data1 = 500;
    event.window.data2 = 0;
    SDL_PushEvent(&event);
    memset(&event, 0, sizeof event);
    event.type = SDL_MOUSEMOTION;
    event.motion.windowID = SDL_GetWindowID(window);
    event.motion.x = 451;
    event.motion.y = 30;
    SDL_PushEvent(&event);
    memset(&event, 0, sizeof event);
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = SDLK_a;
    SDL_PushEvent(&event);
    pumpWindowMessages();
    EXPECT_EQ(appState.windowWidth, 500);
    EXPECT_EQ(appState.windowHeight, 1);
    EXPECT_TRUE(appState.hoverClose) << "the close icon follows the new width";
    EXPECT_TRUE(appState.appRunning);
    sendUserAction(UserAction::CloseMessage);
    pumpWindowMessages();
    EXPECT_FALSE(appState.appRunning);
    EXPECT_FALSE(appState.pollerRunning);
#endif
}

// Either button presses a control; the middle one is not a press at all.
TEST_F(WindowDrag, LeftAndRightButtonsPressAndTheMiddleOneDoesNot) {
    appState.soundMuted = false;
#ifdef _WIN32
    HWND window = static_cast<HWND>(appState.windowHandle.load());
    SendMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(49, 43)); // the sound icon
    SendMessageA(window, WM_RBUTTONDOWN, 0, 0);
    EXPECT_TRUE(appState.soundMuted) << "the right button";
    SendMessageA(window, WM_RBUTTONUP, 0, 0);
    SendMessageA(window, WM_MBUTTONDOWN, 0, 0);
    EXPECT_TRUE(appState.soundMuted) << "the middle button";
    SendMessageA(window, WM_LBUTTONDOWN, 0, 0);
    EXPECT_FALSE(appState.soundMuted) << "the left button";
    SendMessageA(window, WM_LBUTTONUP, 0, 0);
#else
    SDL_Window *window = static_cast<SDL_Window *>(appState.windowHandle.load());
    auto push = [&](Uint32 type, Uint8 button) {
        SDL_Event event;
        memset(&event, 0, sizeof event);
        event.type = type;
        if (type == SDL_MOUSEMOTION) {
            event.motion.windowID = SDL_GetWindowID(window);
            event.motion.x = 49; // the sound icon
            event.motion.y = 43;
        } else {
            event.button.windowID = SDL_GetWindowID(window);
            event.button.button = button;
            event.button.x = 49;
            event.button.y = 43;
        }
        SDL_PushEvent(&event);
        pumpWindowMessages();
    };
    push(SDL_MOUSEMOTION, 0);
    push(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT);
    EXPECT_TRUE(appState.soundMuted) << "the right button";
    push(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT);
    push(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE);
    EXPECT_TRUE(appState.soundMuted) << "the middle button";
    push(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
    EXPECT_FALSE(appState.soundMuted) << "the left button";
    push(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT);
#endif
    EXPECT_FALSE(appState.dragging);
    unmuteMusic();
}

} // namespace
