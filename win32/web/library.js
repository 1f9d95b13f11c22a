// The driver's calls into the page (driver.cpp declares them). The ones
// that wait hand the browser its turn with Asyncify and resume the program
// when the page's promise settles; driver.js keeps the state.
mergeInto(LibraryManager.library, {
  web_take_keys: function (codes) {
    for (const code of UTF8ToString(codes).split(' ')) page.keys.add(code);
  },
  web_next_event: function (code, key, size, repeat, alt, ctrl, width, height) {
    const e = page.queue.shift();
    if (!e) return 0;
    stringToUTF8(e.code || '', code, size);
    stringToUTF8(e.key || '', key, size);
    HEAP32[repeat >> 2] = e.repeat ? 1 : 0;
    HEAP32[alt >> 2] = e.alt ? 1 : 0;
    HEAP32[ctrl >> 2] = e.ctrl ? 1 : 0;
    HEAP32[width >> 2] = e.width || 0;
    HEAP32[height >> 2] = e.height || 0;
    return e.kind;
  },
  web_wait: function (milliseconds) {
    return Asyncify.handleSleep(function (wakeUp) {
      page.resume(page.wait(milliseconds), wakeUp);
    });
  },
  web_present: function () {
    return Asyncify.handleSleep(function (wakeUp) {
      page.resume(page.nextFrame(), wakeUp);
    });
  },
  web_enter_fullscreen: function () {
    return Asyncify.handleSleep(function (wakeUp) {
      page.resume(page.enterFullscreen().then((entered) => (entered ? 1 : 0)), wakeUp);
    });
  },
  web_leave_fullscreen: function () {
    page.leaveFullscreen();
  },
  web_box: function (text, caption, yesNo, icon, glyph) {
    return Asyncify.handleSleep(function (wakeUp) {
      const [t, c, i, g] = [text, caption, icon, glyph].map((pointer) => UTF8ToString(pointer));
      page.resume(page.box(t, c, yesNo, i, g), wakeUp);
    });
  },
  web_make_window: function (title, fullscreen) {
    page.makeWindow(UTF8ToString(title), fullscreen);
  },
  web_free_window: function () {
    page.freeWindow();
  },
  web_size_buffer: function (width, height) {
    Module.canvas.width = width;
    Module.canvas.height = height;
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
