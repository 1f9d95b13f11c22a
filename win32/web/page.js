// The page around the program: its window frame, the boxes, fullscreen,
// the on-screen keys, and the events that wait for the program's next
// look (the driver's PumpEvents). Loaded before Emscripten's own code.

// What the driver's web_next_event reports; driver.cpp numbers them the same.
const KEY_DOWN = 1;
const KEY_UP = 2;
const CLOSE = 3;
const MINIMISED = 4;
const RESTORED = 5;
const FOCUSED = 6;
const BLURRED = 7;

const page = {
  events: [],
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

page.post = function (event) {
  page.events.push(event);
  if (page.waking) page.waking();
};

page.wait = function (milliseconds) {
  return new Promise((resolve) => {
    if (page.events.length) return resolve();
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

function keyEvent(kind, e) {
  return {kind: kind, code: e.code, key: e.key, repeat: e.repeat, alt: e.altKey, ctrl: e.ctrlKey};
}

addEventListener('keydown', (e) => {
  if (page.boxUp) page.boxKey(e);
}, true);

addEventListener('keydown', (e) => {
  if (page.boxUp || !page.keys.has(e.code)) return;
  // F1 help, F3 find, F5 reload, F7 caret browsing, arrows scrolling: the
  // program's now. With Ctrl, Alt or Meta they stay the browser's.
  if (!e.ctrlKey && !e.altKey && !e.metaKey) e.preventDefault();
  page.post(keyEvent(KEY_DOWN, e));
});

addEventListener('keyup', (e) => {
  if (e.code === page.answeredBy) {
    page.answeredBy = null;
    return;
  }
  if (page.keys.has(e.code)) page.post(keyEvent(KEY_UP, e));
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
  if (tell && !document.hidden) page.post({kind: minimised ? MINIMISED : RESTORED});
};

document.getElementById('minimise').onclick = () => page.setMinimised(!page.minimised, true);
document.getElementById('close').onclick = () => page.post({kind: CLOSE});
page.frame.querySelector('.titlebar').ondblclick = () => page.setMinimised(false, true);

document.addEventListener('visibilitychange', () => {
  if (page.frameWaiter) page.frameWaiter();
  if (document.hidden) page.post({kind: MINIMISED});
  if (!document.hidden && !page.minimised) page.post({kind: RESTORED});
});
addEventListener('focus', () => page.post({kind: FOCUSED}));
addEventListener('blur', () => page.post({kind: BLURRED}));

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

const ICONS = ['', 'i', '?', '!', '\u00d7']; // none, information, question, warning, error

page.box = function (text, caption, yesNo, icon) {
  const dialog = document.getElementById('box');
  dialog.querySelector('h2').textContent = caption;
  dialog.querySelector('p').textContent = text;
  dialog.querySelector('.icon').textContent = ICONS[icon];
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

// The on-screen keys ---------------------------------------------------------------

const strip = document.getElementById('strip');
const touch = matchMedia('(pointer: coarse)').matches;
strip.hidden = !touch;
document.getElementById('keys').onclick = () => {
  strip.hidden = !strip.hidden;
};

for (const button of strip.querySelectorAll('button')) {
  const code = button.dataset.code;
  let timer = null;
  // Held down, it repeats as a held key does: after half a second, 30 times a second.
  function press(repeat) {
    page.post({kind: KEY_DOWN, code: code, key: code, repeat: repeat});
    timer = setTimeout(() => press(true), repeat ? 33 : 500);
  }
  function release() {
    if (timer === null) return;
    clearTimeout(timer);
    timer = null;
    page.post({kind: KEY_UP, code: code, key: code});
  }
  button.onpointerdown = (e) => {
    e.preventDefault();
    button.setPointerCapture(e.pointerId);
    press(false);
  };
  button.onpointerup = release;
  button.onpointercancel = release;
  button.oncontextmenu = (e) => e.preventDefault();
}

// The end ------------------------------------------------------------------------------

function ended(line) {
  page.leaveFullscreen();
  page.keepScreenOn(false);
  page.frame.hidden = true;
  strip.hidden = true;
  document.getElementById('ended-text').textContent = line;
  document.getElementById('ended').hidden = false;
}

Module.onExit = (status) => ended('Orvanel ended with exit status ' + status + '.');
Module.onAbort = () => ended('Orvanel stopped on an error.');
// A fresh run: the question first, the pose at its start.
document.getElementById('again').onclick = () => location.reload();
