// The page's own parts around the program: the on-screen keys, which press
// the program's keys as the keyboard does (shown at first on touch screens,
// a list of the keys in their place elsewhere), and the end screen with its
// exit status. Loaded after driver.js.

const strip = document.getElementById('strip');
const keysButton = document.getElementById('keys');

function showKeys(shown) {
  strip.hidden = !shown;
  keysButton.setAttribute('aria-expanded', String(shown));
}

showKeys(matchMedia('(pointer: coarse)').matches);
keysButton.onclick = () => showKeys(strip.hidden);

for (const button of strip.querySelectorAll('button')) {
  const code = button.dataset.code;
  let timer = null, lift = null;
  // Held down, it repeats as a held key does: after half a second, 30 times a second.
  function press(repeat) {
    page.postKey(true, code, code, {repeat: repeat});
    timer = setTimeout(() => press(true), repeat ? 33 : 500);
  }
  function release() {
    if (timer === null) return;
    clearTimeout(timer);
    timer = null;
    page.postKey(false, code, code);
    if (lift) lift();
  }
  button.onpointerdown = (e) => {
    e.preventDefault();
    button.setPointerCapture(e.pointerId);
    // A finger's press is the user's gesture (which fullscreen asks for) only
    // once lifted; a mouse's already is.
    if (e.pointerType !== 'mouse') page.lifted = new Promise((r) => (lift = r));
    press(false);
  };
  button.onpointerup = release;
  button.onpointercancel = release;
  button.oncontextmenu = (e) => e.preventDefault();
}

function ended(line) {
  page.leaveFullscreen();
  page.keepScreenOn(false);
  page.frame.hidden = true;
  document.getElementById('side').hidden = true;
  document.getElementById('ended-text').textContent = line;
  document.getElementById('ended').hidden = false;
}

Module.onExit = (status) => ended('Orvanel ended with exit status ' + status + '.');
Module.onAbort = () => ended('Orvanel stopped on an error.');
// A fresh run: the question first, the pose at its start.
document.getElementById('again').onclick = () => location.reload();
