// The driver's half in the page (library.js calls it): the window frame,
// the boxes, fullscreen, the picture's size and its WebGL context, and the
// page's events, which wait here for the program's next look (the driver's
// PumpEvents). Loaded before Emscripten's own code; page.js, the page's own
// parts, after it.

const page = {
  kind: {}, // the numbers of the events the driver reads, given by the driver when it opens
  queue: [], // events not yet taken
  keys: new Set(), // the codes the program reads
  waking: null, // ends the wait for an event under way
  frameWaiter: null, // ends the wait for a frame, which a hidden page never draws
  boxUp: false,
  answeredBy: null, // the code of the key that answered a box: its release is the box's
  lifted: null, // settles when the finger on an on-screen key is lifted
  minimised: false, // by the window's button
  lost: false, // the browser has taken the WebGL context away
  resting: false, // what the program was last told: minimised, or not
  lostTimer: null, // the notice's, while the context is away and the page shows
  wakeLock: null,
  frame: document.getElementById('window'),
  stage: document.getElementById('stage'), // what fullscreen shows
  notice: document.getElementById('lost'),
};

Module.canvas = document.getElementById('canvas');
// The name the layer's refusal line starts with, as on the desktop.
Module.thisProgram = 'orvanel';

page.post = function (event) {
  page.queue.push(event);
  if (page.waking) page.waking();
};

// Resumes the program once a promise of the page settles, with what it
// gave. The program's exit() ends its run by throwing ExitStatus up to
// here: that is its end, not a fault.
page.resume = function (promise, wakeUp) {
  promise.then(wakeUp).catch((thrown) => {
    if (!(thrown instanceof ExitStatus)) throw thrown;
  });
};

page.wait = function (milliseconds) {
  return new Promise((resolve) => {
    if (page.queue.length) return resolve();
    const timer = setTimeout(finish, milliseconds);
    function finish() {
      clearTimeout(timer);
      page.waking = null;
      resolve();
    }
    page.waking = finish;
  });
};

// A hidden page draws no frames: the program goes on after the page's own
// events (a program drawing there without rest would otherwise leave the
// page none).
page.nextFrame = function () {
  return new Promise((resolve) => {
    if (document.hidden) return setTimeout(resolve);
    page.frameWaiter = resolve;
    requestAnimationFrame(() => resolve());
  });
};

// Keys ----------------------------------------------------------------------

// A key by its KeyboardEvent.code, the key it typed, and which of repeat,
// alt and ctrl hold.
page.postKey = function (down, code, key, flags = {}) {
  const kind = down ? page.kind.keyDown : page.kind.keyUp;
  page.post({kind: kind, code: code, key: key, repeat: flags.repeat, alt: flags.alt, ctrl: flags.ctrl});
};

function flagsOf(e) {
  return {repeat: e.repeat, alt: e.altKey, ctrl: e.ctrlKey};
}

addEventListener('keydown', (e) => {
  if (page.boxUp) page.boxKey(e);
}, true);

addEventListener('keydown', (e) => {
  if (page.boxUp || !page.keys.has(e.code)) return;
  // F1 help, F3 find, F5 reload, F7 caret browsing, arrows scrolling: the
  // program's now. With Ctrl, Alt or Meta they stay the browser's.
  if (!e.ctrlKey && !e.altKey && !e.metaKey) e.preventDefault();
  page.postKey(true, e.code, e.key, flagsOf(e));
});

addEventListener('keyup', (e) => {
  if (e.code === page.answeredBy) {
    page.answeredBy = null;
    return;
  }
  if (page.keys.has(e.code)) page.postKey(false, e.code, e.key, flagsOf(e));
});

// The window ------------------------------------------------------------------

// A new window is neither minimised nor resting, until told otherwise.
page.makeWindow = function (title, fullscreen) {
  document.title = title;
  page.frame.querySelector('.title').textContent = title;
  page.frame.classList.toggle('fullscreen', fullscreen !== 0);
  page.resting = false;
  page.rest();
  page.watchSize(!fullscreen);
};

page.freeWindow = function () {
  page.frame.hidden = true;
  page.minimised = false;
  page.frame.classList.remove('minimised');
};

page.setVisible = function (visible) {
  page.frame.hidden = !visible;
  if (visible) page.canvasFocus();
};

page.canvasFocus = function () {
  Module.canvas.focus({preventScroll: true});
};

// The program rests as a minimised window does while its window is
// minimised, the page hidden or the picture taken away; it hears each
// change of that once.
page.rest = function () {
  const resting = page.minimised || document.hidden || page.lost;
  if (resting === page.resting) return;
  page.resting = resting;
  page.post({kind: resting ? page.kind.minimised : page.kind.restored});
};

page.setMinimised = function (minimised) {
  page.minimised = minimised;
  page.frame.classList.toggle('minimised', minimised);
  page.rest();
};

document.getElementById('minimise').onclick = () => page.setMinimised(!page.minimised);
document.getElementById('close').onclick = () => page.post({kind: page.kind.close});
page.frame.querySelector('.titlebar').ondblclick = () => page.setMinimised(false);

document.addEventListener('visibilitychange', () => {
  if (page.frameWaiter) page.frameWaiter();
  page.rest();
  page.watchLost();
});
addEventListener('focus', () => page.post({kind: page.kind.focused}));
addEventListener('blur', () => page.post({kind: page.kind.blurred}));

page.keepScreenOn = async function (on) {
  if (on && !page.wakeLock && navigator.wakeLock) {
    page.wakeLock = navigator.wakeLock.request('screen').catch(() => null);
  }
  if (!on && page.wakeLock) {
    const lock = await page.wakeLock;
    page.wakeLock = null;
    if (lock) lock.release();
  }
};

// The picture's size ----------------------------------------------------------

// The size the page shows the picture at, in the screen's pixels, each time
// it changes: the driver makes it the drawing buffer's size and the
// window's. A minimised window's picture has none. (The CSS size times the
// density: the size in device pixels that some browsers give is not the
// density's where the density is emulated.)
page.sizes = new ResizeObserver((entries) => {
  const shown = entries[entries.length - 1].contentRect;
  const width = Math.round(shown.width * devicePixelRatio);
  const height = Math.round(shown.height * devicePixelRatio);
  if (width && height) page.post({kind: page.kind.resized, width: width, height: height});
});

// Watches the picture afresh, so that its size is heard at least once; or
// not at all, in fullscreen.
page.watchSize = function (watch) {
  page.sizes.disconnect();
  if (watch) page.sizes.observe(Module.canvas);
};

// A new density (zoom, another screen) may leave the CSS size as it was.
(function watchDensity() {
  matchMedia(`(resolution: ${devicePixelRatio}dppx)`).addEventListener('change', () => {
    if (!page.frame.classList.contains('fullscreen')) page.watchSize(true);
    watchDensity();
  }, {once: true});
})();

// The WebGL context: taken away and given back ---------------------------------

Module.canvas.addEventListener('webglcontextlost', (e) => {
  e.preventDefault(); // asks for it back
  page.lost = true;
  page.rest();
  page.watchLost();
});

Module.canvas.addEventListener('webglcontextrestored', () => {
  page.lost = false;
  page.watchLost();
  page.post({kind: page.kind.givenBack}); // the driver builds on it again, then the program wakes
  page.rest();
});

// Ten seconds without the picture while the page shows, and the page says
// so, until the picture is back.
page.watchLost = function () {
  clearTimeout(page.lostTimer);
  if (!page.lost) page.notice.hidden = true;
  else if (!document.hidden && page.notice.hidden) {
    page.lostTimer = setTimeout(() => (page.notice.hidden = false), 10000);
  }
};
document.getElementById('lost-again').onclick = () => location.reload();

// Fullscreen: the drawing keeps its 640x480 and is scaled with bars.
page.enterFullscreen = async function () {
  // A frame that may not go fullscreen is not asked: the browser would log
  // the refusal as a policy violation.
  if (!document.fullscreenEnabled) return false;
  // A finger's touch is the user's say-so only once lifted.
  if (page.lifted) await page.lifted;
  try {
    await page.stage.requestFullscreen({navigationUI: 'hide'});
  } catch (refused) {
    return false;
  }
  // Escape is the program's where the browser lets a page have it.
  try {
    await navigator.keyboard.lock(['Escape']);
  } catch (notAllowed) {}
  return true;
};

page.leaveFullscreen = function () {
  if (navigator.keyboard) navigator.keyboard.unlock();
  if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
};

// Boxes -------------------------------------------------------------------------

page.box = function (text, caption, yesNo, icon, glyph) {
  const dialog = document.getElementById('box');
  dialog.querySelector('h2').textContent = caption;
  dialog.querySelector('p').textContent = text;
  dialog.querySelector('.icon').textContent = glyph;
  dialog.querySelector('.icon').dataset.icon = icon;
  const buttons = dialog.querySelectorAll('button');
  buttons[0].textContent = yesNo ? 'Yes' : 'OK';
  buttons[1].hidden = !yesNo;
  page.boxUp = true;
  dialog.showModal();
  buttons[0].focus();
  return new Promise((resolve) => {
    function answer(index) {
      dialog.close();
      page.boxUp = false;
      page.canvasFocus();
      resolve(index);
    }
    buttons[0].onclick = () => answer(0);
    buttons[1].onclick = () => answer(1);
    dialog.oncancel = (e) => e.preventDefault(); // Escape is answered below
    // The key that answers is the box's alone: neither it nor its release
    // reaches the program once it resumes. Taken before anything else in
    // the page sees it, wherever the focus is.
    page.boxKey = (e) => {
      if (e.code !== 'Enter' && e.code !== 'NumpadEnter' && e.code !== 'Escape') return;
      e.preventDefault();
      e.stopPropagation();
      page.answeredBy = e.code;
      if (e.code === 'Escape' && yesNo) answer(1);
      else answer(0);
    };
  });
};
