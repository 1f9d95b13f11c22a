// The driver's half in the page (library.js calls it): the window frame,
// the boxes, fullscreen, and the page's events, which wait here for the
// program's next look (the driver's PumpEvents). Loaded before Emscripten's
// own code; page.js, the page's own parts, after it.

const page = {
  kind: {}, // the numbers of the events the driver reads, given by the driver when it opens
  queue: [], // events not yet taken
  keys: new Set(), // the codes the program reads
  waking: null, // ends the wait for an event under way
  frameWaiter: null, // ends the wait for a frame, which a hidden page never draws
  boxUp: false,
  answeredBy: null, // the code of the key that answered a box: its release is the box's
  minimised: false,
  wakeLock: null,
  frame: document.getElementById('window'),
  stage: document.getElementById('stage'),
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

page.nextFrame = function () {
  return new Promise((resolve) => {
    if (document.hidden) return resolve();
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

page.makeWindow = function (title, fullscreen) {
  document.title = title;
  page.frame.querySelector('.title').textContent = title;
  page.frame.classList.toggle('fullscreen', fullscreen !== 0);
};

page.freeWindow = function () {
  page.frame.hidden = true;
  page.setMinimised(false, false);
};

page.setVisible = function (visible) {
  page.frame.hidden = !visible;
  if (visible) page.canvasFocus();
};

page.canvasFocus = function () {
  Module.canvas.focus({preventScroll: true});
};

page.setMinimised = function (minimised, tell) {
  page.minimised = minimised;
  page.frame.classList.toggle('minimised', minimised);
  if (tell && !document.hidden) {
    page.post({kind: minimised ? page.kind.minimised : page.kind.restored});
  }
};

document.getElementById('minimise').onclick = () => page.setMinimised(!page.minimised, true);
document.getElementById('close').onclick = () => page.post({kind: page.kind.close});
page.frame.querySelector('.titlebar').ondblclick = () => page.setMinimised(false, true);

document.addEventListener('visibilitychange', () => {
  if (page.frameWaiter) page.frameWaiter();
  if (document.hidden) page.post({kind: page.kind.minimised});
  if (!document.hidden && !page.minimised) page.post({kind: page.kind.restored});
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

// Fullscreen: the drawing keeps its 640x480 and is scaled with bars.
page.enterFullscreen = async function () {
  // A frame that may not go fullscreen is not asked: the browser would log
  // the refusal as a policy violation.
  if (!document.fullscreenEnabled) return false;
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
