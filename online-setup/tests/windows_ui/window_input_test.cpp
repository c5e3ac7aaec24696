#include "windows_ui/window_input.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

using namespace std::chrono_literals;

// kChecking: the location is accepted and the package is checked before the
// setup starts.
enum class State { kNotStarted, kRunning, kChecking, kInstalling, kStopped, kDone };

struct Input : testing::Test {
  SharedStatus status;
  WindowState window;
  std::atomic<bool> pause{false};
  int box_reads = 0;
  std::u16string box_text = u"  E:\\Apps\\Quarvel\u3000";

  std::function<std::u16string()> read_box() {
    return [this] {
      ++box_reads;
      return box_text;
    };
  }

  void enter(State state) {
    status.running =
        state == State::kRunning || state == State::kChecking || state == State::kInstalling;
    status.location_accepted = state == State::kChecking;
    status.installing = state == State::kInstalling;
    status.finished = state == State::kDone;
    window.preview = state == State::kNotStarted;
    pause = false;
  }
};

TEST_F(Input, MainButtonAndCloseDoWhatEachStateAllows) {
  const struct {
    State state;
    WindowEffect button;
    bool button_pauses;
    bool close_destroys;
    bool close_pauses;
  } cases[] = {
      {State::kNotStarted, WindowEffect::kNothing, false, true, false},
      {State::kRunning, WindowEffect::kNothing, true, true, true},
      {State::kChecking, WindowEffect::kNothing, true, true, true},
      {State::kInstalling, WindowEffect::kNothing, false, false, false},
      {State::kStopped, WindowEffect::kStartWorker, false, true, false},
      {State::kDone, WindowEffect::kDestroyWindow, false, true, false},
  };
  for (const auto& c : cases) {
    const int state = static_cast<int>(c.state);
    enter(c.state);
    EXPECT_EQ(press_main_button(status, window, pause), c.button) << state;
    EXPECT_EQ(pause.load(), c.button_pauses) << state;
    enter(c.state);
    EXPECT_EQ(on_close_request(status, pause), c.close_destroys) << state;
    EXPECT_EQ(pause.load(), c.close_pauses) << state;
  }
}

TEST_F(Input, OnlyEnterAndSpaceActAsTheMainButton) {
  EXPECT_TRUE(is_main_button_key(13));
  EXPECT_TRUE(is_main_button_key(32));
  for (const uintptr_t key : {9u, 27u, 65u, 0x10Du, 0x120u})
    EXPECT_FALSE(is_main_button_key(key));
}

TEST(MainButtonKeys, AKeyPressesTheButtonOnlyWhenItWentDownAndUpOnTheMainWindow) {
  MainButtonKeys keys;
  keys.key_down(13, true);
  keys.key_down(13, true);  // auto-repeat
  EXPECT_TRUE(keys.key_up(13));
  EXPECT_FALSE(keys.key_up(13)) << "one press, one action";
  keys.key_down(32, true);
  EXPECT_FALSE(keys.key_up(13)) << "another key's release";
  EXPECT_TRUE(keys.key_up(32));
  keys.key_down(13, false);  // Enter in the folder dialog or the location box
  EXPECT_FALSE(keys.key_up(13));
  keys.key_down(32, true);
  keys.key_down(32, false);
  EXPECT_FALSE(keys.key_up(32)) << "the last press was elsewhere";
  keys.key_down(13, true);
  keys.forget();
  EXPECT_FALSE(keys.key_up(13));
  keys.key_down(65, true);
  EXPECT_FALSE(keys.key_up(65));
  keys.key_down(13, false);       // Enter in the box, which hands the focus back
  keys.key_down(13, true, true);  // and goes on repeating on the main window
  EXPECT_FALSE(keys.key_up(13)) << "a repeat belongs to where the key went down";
}

TEST_F(Input, EnterInTheBoxHandsTheFocusBackAndOnTheBrowseButtonPressesIt) {
  EXPECT_EQ(on_dialog_ok(status, window, FocusStop::kLocationBox), WindowEffect::kFocusMainWindow);
  EXPECT_EQ(on_dialog_ok(status, window, FocusStop::kMainButton), WindowEffect::kNothing);
  EXPECT_EQ(on_dialog_ok(status, window, FocusStop::kBrowseButton), WindowEffect::kPickFolder);
  EXPECT_TRUE(window.editing) << "as a click: the countdown waits for the dialog";
  enter(State::kInstalling);
  EXPECT_EQ(on_dialog_ok(status, window, FocusStop::kBrowseButton), WindowEffect::kNothing);
}

TEST_F(Input, LocationBoxNotificationsTrackFocusEditTimeAndTrimmedText) {
  const struct {
    uint32_t notification;
    bool editing_before;
    bool editing_after;
    const char* install_dir_after;
  } cases[] = {
      {kEditSetFocus, false, true, "D:\\Quarvel"},
      {kEditKillFocus, true, false, "D:\\Quarvel"},
      {kEditChange, true, true, "E:\\Apps\\Quarvel"},
      {0x0400 /* EN_UPDATE */, false, false, "D:\\Quarvel"},
  };
  for (const auto& c : cases) {
    enter(State::kRunning);
    window.install_dir = "D:\\Quarvel";
    window.editing = c.editing_before;
    window.last_edit = 1s;
    box_reads = 0;
    EXPECT_EQ(on_control_command(status, window, 10, c.notification, 42s, read_box()),
              WindowEffect::kNothing);
    EXPECT_EQ(window.last_edit, 42s) << c.notification;
    EXPECT_EQ(window.editing, c.editing_after) << c.notification;
    EXPECT_EQ(window.install_dir, c.install_dir_after) << c.notification;
    EXPECT_EQ(box_reads, c.notification == kEditChange ? 1 : 0) << c.notification;
  }
}

TEST_F(Input, BrowseClickSetsEditingAndAsksForThePicker) {
  for (const State state : {State::kNotStarted, State::kRunning, State::kStopped}) {
    enter(state);
    window.editing = false;
    EXPECT_EQ(on_control_command(status, window, 11, kButtonClicked, 5s, read_box()),
              WindowEffect::kPickFolder);
    EXPECT_TRUE(window.editing);
  }
  enter(State::kRunning);
  window.editing = false;
  EXPECT_EQ(on_control_command(status, window, 11, 6 /* BN_SETFOCUS */, 5s, read_box()),
            WindowEffect::kNothing);
  EXPECT_FALSE(window.editing);
}

TEST_F(Input, OnceTheLocationIsAcceptedEveryControlNotificationIsIgnored) {
  for (const State state : {State::kChecking, State::kInstalling}) {
    enter(state);
    window.install_dir = "D:\\Quarvel";
    window.last_edit = 1s;
    for (const auto& [id, notification] :
         {std::pair{10, kEditSetFocus}, std::pair{10, kEditChange}, std::pair{10, kEditKillFocus},
          std::pair{11, kButtonClicked}}) {
      EXPECT_EQ(on_control_command(status, window, id, notification, 9s, read_box()),
                WindowEffect::kNothing);
    }
    EXPECT_EQ(window.install_dir, "D:\\Quarvel");
    EXPECT_EQ(window.last_edit, 1s);
    EXPECT_FALSE(window.editing);
    EXPECT_EQ(box_reads, 0);
  }
}

TEST_F(Input, OtherControlIdsAreIgnored) {
  enter(State::kRunning);
  window.last_edit = 1s;
  for (const int id : {1, 2, 12}) {
    EXPECT_EQ(on_control_command(status, window, id, kButtonClicked, 9s, read_box()),
              WindowEffect::kNothing);
  }
  EXPECT_EQ(window.last_edit, 1s);
  EXPECT_FALSE(window.editing);
}

TEST_F(Input, BoxTextIsTrimmedOfUnicodeWhiteSpaceAndRepaired) {
  EXPECT_EQ(install_dir_from_box_text(u"\t D:\\My Apps\\Quarvel \r\n"), "D:\\My Apps\\Quarvel");
  EXPECT_EQ(install_dir_from_box_text(u"\u3000\u00A0\u2003D:\\Q\u2028\u0085"), "D:\\Q");
  EXPECT_EQ(install_dir_from_box_text(u"   "), "");
  EXPECT_EQ(install_dir_from_box_text(u"\u200BD:\\Q"), "\u200BD:\\Q") << "not white space";
  EXPECT_EQ(install_dir_from_box_text(std::u16string(u"D:\\") + char16_t(0xD800)), "D:\\\uFFFD");
}

TEST_F(Input, TimerEnablesTheControlsOnlyOutsideInstallingAndDone) {
  const struct {
    State state;
    bool enabled;
  } cases[] = {{State::kNotStarted, true},  {State::kRunning, true}, {State::kChecking, false},
               {State::kInstalling, false}, {State::kStopped, true}, {State::kDone, false}};
  for (const auto& c : cases) {
    enter(c.state);
    window.finished_at.reset();
    const TimerEffect effect = on_timer_tick(status, window, 10s);
    EXPECT_EQ(effect.controls_enabled, c.enabled) << static_cast<int>(c.state);
    EXPECT_FALSE(effect.destroy_window);
    EXPECT_EQ(window.finished_at.has_value(), c.state == State::kDone);
  }
}

// Leaving the window mid-edit and coming back: the editing goes on in the box.
TEST_F(Input, AnActivatedWindowGivesTheFocusBackToTheControlThatHadIt) {
  const struct {
    std::optional<FocusStop> focus;  // when the window was deactivated
    bool controls_enabled;           // when it is activated again
    FocusStop back_to;
    bool countdown_restarts;
  } cases[] = {
      {FocusStop::kLocationBox, true, FocusStop::kLocationBox, false},
      {FocusStop::kLocationBox, false, FocusStop::kMainButton, true},
      {FocusStop::kBrowseButton, true, FocusStop::kBrowseButton, false},
      {FocusStop::kMainButton, true, FocusStop::kMainButton, false},
      {std::nullopt, true, FocusStop::kMainButton, false},
  };
  for (const auto& c : cases) {
    const int focus = c.focus ? static_cast<int>(*c.focus) : -1;
    window.last_edit = 1s;
    on_window_deactivated(window, c.focus);
    EXPECT_EQ(window.focus_when_deactivated, c.focus) << focus;
    EXPECT_EQ(on_window_activated(window, c.controls_enabled, 7s), c.back_to) << focus;
    EXPECT_FALSE(window.focus_when_deactivated) << focus;
    EXPECT_EQ(window.last_edit, c.countdown_restarts ? 7s : 1s) << focus;
  }
}

TEST_F(Input, DoneClosesTheWindowOnTheFirstTickMoreThan1600MsAfterItWasFirstSeen) {
  enter(State::kDone);
  EXPECT_FALSE(on_timer_tick(status, window, 10s).destroy_window);
  EXPECT_EQ(window.finished_at, 10s);
  EXPECT_FALSE(on_timer_tick(status, window, 11s).destroy_window);
  EXPECT_FALSE(on_timer_tick(status, window, 11600ms).destroy_window);
  EXPECT_FALSE(on_timer_tick(status, window, 11600ms + 999999ns).destroy_window)
      << "whole milliseconds";
  EXPECT_TRUE(on_timer_tick(status, window, 11601ms).destroy_window);
  EXPECT_EQ(window.finished_at, 10s) << "taken on the first tick only";
}

TEST_F(Input, DoneInPreviewNeverClosesByItself) {
  enter(State::kDone);
  window.preview = true;
  EXPECT_FALSE(on_timer_tick(status, window, 1s).destroy_window);
  EXPECT_FALSE(on_timer_tick(status, window, 100s).destroy_window);
  EXPECT_FALSE(window.finished_at.has_value());
}

TEST_F(Input, ThePickerEditsWhileOpenAndRestartsTheCountdownWhenItCloses) {
  window.last_edit = 1s;
  begin_folder_pick(window);
  EXPECT_TRUE(window.editing);
  EXPECT_EQ(window.last_edit, 1s);
  end_folder_pick(window, 30s);
  EXPECT_FALSE(window.editing);
  EXPECT_EQ(window.last_edit, 30s);
}

TEST_F(Input, APickedFolderGetsAQuarvelFolderAndInvalidUtf16IsRefused) {
  EXPECT_EQ(install_dir_from_picked_folder(u"D:\\Apps"), "D:\\Apps\\Quarvel");
  EXPECT_EQ(install_dir_from_picked_folder(u"D:\\"), "D:\\Quarvel");
  EXPECT_EQ(install_dir_from_picked_folder(u"D:\\apps\\quarvel"), "D:\\apps\\quarvel");
  EXPECT_EQ(install_dir_from_picked_folder(u"D:\\软件"), "D:\\软件\\Quarvel");
  EXPECT_EQ(install_dir_from_picked_folder(u"D:\\\U0001F600"), "D:\\\U0001F600\\Quarvel");
  for (const char16_t bad : {char16_t(0xD83D), char16_t(0xDE00)}) {
    EXPECT_FALSE(install_dir_from_picked_folder(std::u16string(u"D:\\a") + bad).has_value());
    EXPECT_FALSE(install_dir_from_picked_folder(std::u16string(u"D:\\") + bad + u"b").has_value());
  }
}

TEST(FocusOrder, TabCyclesBoxBrowseAndMainButtonPassingOverDisabledControls) {
  using F = FocusStop;
  const struct {
    std::optional<FocusStop> from;
    bool backwards, enabled;
    FocusStop to;
  } cases[] = {
      {F::kLocationBox, false, true, F::kBrowseButton},
      {F::kBrowseButton, false, true, F::kMainButton},
      {F::kMainButton, false, true, F::kLocationBox},
      {F::kLocationBox, true, true, F::kMainButton},
      {F::kMainButton, true, true, F::kBrowseButton},
      {F::kBrowseButton, true, true, F::kLocationBox},
      {std::nullopt, false, true, F::kLocationBox},
      {std::nullopt, true, true, F::kMainButton},
      {F::kMainButton, false, false, F::kMainButton},
      {F::kBrowseButton, true, false, F::kMainButton},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(next_focus_stop(c.from, c.backwards, c.enabled), c.to)
        << (c.from ? static_cast<int>(*c.from) : -1) << c.backwards << c.enabled;
  }
}

}  // namespace
}  // namespace quarvel
