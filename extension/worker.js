// The extension's service worker: one native host process per page. Each
// page's content script opens a port here; the worker opens a native port
// for it (the browser starts one bridge process per native port) and
// relays messages both ways. The page's origin and address are taken from
// the port's sender, which the browser fills in, and are written over
// whatever the message says: a page can never claim another origin.
'use strict';

const HOST_NAME = 'com.velmora.pullbay';

chrome.runtime.onConnect.addListener((page) => {
  const sender = page.sender || {};
  const origin = sender.origin;
  const address = sender.url;
  let native = null;
  try {
    native = chrome.runtime.connectNative(HOST_NAME);
  } catch (failure) {
    page.postMessage({ hostGone: String(failure && failure.message || failure) });
    page.disconnect();
    return;
  }
  native.onMessage.addListener((message) => page.postMessage(message));
  native.onDisconnect.addListener(() => {
    const reason = chrome.runtime.lastError ? chrome.runtime.lastError.message : 'it exited';
    try {
      page.postMessage({ hostGone: reason });
      page.disconnect();
    } catch (ignored) {
      // The page went first.
    }
  });
  page.onMessage.addListener((message) => {
    if (message === null || typeof message !== 'object' || Array.isArray(message)) {
      return;
    }
    message.origin = origin;
    message.page = address;
    native.postMessage(message);
  });
  page.onDisconnect.addListener(() => native.disconnect());
});
