// The driver's calls into the page (driver.cpp declares them). The ones
// that wait hand the browser its turn with Asyncify and resume the program
// when the page's promise settles; page.js keeps the state.
mergeInto(LibraryManager.library, {
  web_take_keys: function (codes) {
    for (const code of UTF8ToString(codes).split(' ')) page.keys.add(code);
  },
  web_next_event: function (code, key, size, flags) {
    const e = page.events.shift();
    if (!e) return 0;
    stringToUTF8(e.code || '', code, size);
    stringToUTF8(e.key || '', key, size);
    HEAP32[flags >> 2] = (e.repeat ? 1 : 0) | (e.alt ? 2 : 0) | (e.ctrl ? 4 : 0);
    return e.kind;
  },
  web_wait: function (milliseconds) {
    return Asyncify.handleSleep(function (wakeUp) {
      page.wait(milliseconds).then(() => wakeUp(0));
    });
  },
  web_present: function () {
    return Asyncify.handleSleep(function (wakeUp) {
      page.nextFrame().then(() => wakeUp(0));
    });
  },
  web_enter_fullscreen: function () {
    return Asyncify.handleSleep(function (wakeUp) {
      page.enterFullscreen().then((entered) => wakeUp(entered ? 1 : 0));
    });
  },
  web_leave_fullscreen: function () {
    page.leaveFullscreen();
  },
  web_box: function (text, caption, yesNo, icon) {
    return Asyncify.handleSleep(function (wakeUp) {
      page.box(UTF8ToString(text), UTF8ToString(caption), yesNo, icon).then(wakeUp);
    });
  },
  web_make_window: function (title, fullscreen) {
    page.makeWindow(UTF8ToString(title), fullscreen);
  },
  web_free_window: function () {
    page.freeWindow();
  },
  web_set_visible: function (visible) {
    page.setVisible(visible);
  },
  web_set_cursor_shown: function (shown) {
    page.stage.classList.toggle('nocursor', !shown);
  },
  web_keep_screen_on: function (on) {
    page.keepScreenOn(on);
  },
});
