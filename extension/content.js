// The isolated half of the page's scripting: it owns the port to the
// extension's worker (the page's own script cannot reach extension APIs)
// and passes JSON texts between it and page.js through events on the
// document. A port that went (the native host ended) is opened anew by the
// next message.
'use strict';

(() => {
  const TO_BRIDGE = 'pullbay:to-bridge';
  const FROM_BRIDGE = 'pullbay:from-bridge';
  let port = null;

  const deliver = (message) => {
    document.dispatchEvent(new CustomEvent(FROM_BRIDGE, { detail: JSON.stringify(message) }));
  };

  // Parts of a message above native messaging's 1 MiB limit, joined again.
  const parts = new Map();
  const receive = (from, message) => {
    if (message && message.hostGone !== undefined) {
      // Forgotten before the page hears of it, so its next call reconnects.
      if (port === from) {
        port = null;
        parts.clear();
        deliver(message);
      }
      return;
    }
    if (message && typeof message.part === 'number') {
      const joined = (parts.get(message.part) || '') + message.data;
      if (message.more) {
        parts.set(message.part, joined);
        return;
      }
      parts.delete(message.part);
      message = JSON.parse(joined);
    }
    deliver(message);
  };

  const connect = () => {
    const opened = chrome.runtime.connect({ name: 'pullbay' });
    opened.onMessage.addListener((message) => receive(opened, message));
    opened.onDisconnect.addListener(() =>
      receive(opened, { hostGone: 'the connection to the extension closed' }));
    return opened;
  };

  document.addEventListener(TO_BRIDGE, (event) => {
    if (typeof event.detail !== 'string') {
      return;
    }
    let message;
    try {
      message = JSON.parse(event.detail);
    } catch (ignored) {
      return;
    }
    if (!port) {
      port = connect();
    }
    port.postMessage(message);
  });
})();
