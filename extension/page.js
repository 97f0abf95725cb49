// The control in the page's own world. Every object element that names the
// control (by ProgID, CLSID or MIME type, as the host program's --page
// does) gets the control's button in its place and the control's scripting
// surface, backed by a control in the native host:
//
//   await el.DownloadFileAdd('text/plain', 12, 'a.txt', 'files/a.txt');  // methods
//   await el.Download();             // resolves when the run has ended
//   await el.get('DownloadFileCount'); await el.get('DownloadFileUrl', 0);
//   await el.put('TimeOut', 5000);   // (name, value) or (name, index, value)
//   el.addEventListener('DownloadComplete', (e) => e.detail.result);
//   el.onDownloadComplete = (result) => { ... };   // the classic assignment
//
// Calls return Promises (a page cannot call a native host synchronously);
// a failed HRESULT rejects with an Error whose hr holds it. If the native
// host ends, pending calls reject and the next call starts a new control.
'use strict';

(() => {
  const TO_BRIDGE = 'pullbay:to-bridge';
  const FROM_BRIDGE = 'pullbay:from-bridge';
  const PROG_ID = 'velmora.pullbay.701';
  const CLSID = '6e3b1a52-94c7-4d1e-8f20-3a5c7b9d1e01';
  const MIME_TYPE = 'application/x-velmora-pullbay';
  const METHODS = ['DownloadFileAdd', 'DownloadFileRemove', 'DownloadFileList', 'Download',
    'ClearFileList', 'SkipCurrent', 'SkipAll'];
  // The events with their parameters' names, which name the fields of detail.
  const EVENTS = {
    DownloadComplete: ['result'],
    DownloadItemComplete: ['downloadResult', 'page', 'url', 'fileName', 'mimeType', 'fileSize'],
    DownloadStep: ['DownloadStep'],
    InitComplete: [],
    Progress: ['PercentTotal', 'PercentCurrent', 'Index'],
    Error: ['Code', 'Description', 'HttpCode', 'page', 'url', 'Index'],
    DownloadFileCountChange: [],
  };
  const STEP_STARTED = 0;

  const htmlTrim = (text) => text.replace(/^[ \t\n\f\r]+|[ \t\n\f\r]+$/g, '');
  // Only A-Z fold, as the control compares names.
  const asciiLower = (text) => text.replace(/[A-Z]/g, (ch) => ch.toLowerCase());

  const classIdNamesControl = (value) => {
    const text = asciiLower(htmlTrim(value));
    if (text.startsWith('progid:')) {
      return htmlTrim(text.slice(7)) === PROG_ID;
    }
    if (text.startsWith('clsid:')) {
      let guid = htmlTrim(text.slice(6));
      if (guid.startsWith('{') && guid.endsWith('}')) {
        guid = guid.slice(1, -1);
      }
      return guid === CLSID;
    }
    return false;
  };

  const namesControl = (element) => {
    if (!(element instanceof HTMLObjectElement)) {
      return false;
    }
    for (const attribute of element.attributes) {
      const value = htmlTrim(attribute.value);
      if (attribute.name === 'classid' && classIdNamesControl(value)) {
        return true;
      }
      if (attribute.name === 'type' &&
          asciiLower(htmlTrim(value.split(';')[0])) === MIME_TYPE) {
        return true;
      }
      if (asciiLower(value) === PROG_ID) {
        return true;
      }
    }
    return false;
  };

  // The param children at any depth, but not those of a nested object.
  const paramsOf = (element) => {
    const params = [];
    const walk = (node) => {
      for (const child of node.children) {
        if (child instanceof HTMLObjectElement) {
          continue;
        }
        if (child instanceof HTMLParamElement) {
          const name = child.getAttribute('name');
          if (name) {
            params.push([name, child.getAttribute('value') || '']);
          }
        }
        walk(child);
      }
    };
    walk(element);
    return params;
  };

  // Decimal pixels of a width or height attribute; null otherwise.
  const pixelExtent = (element, name) => {
    const text = htmlTrim(element.getAttribute(name) || '');
    return /^[0-9]+$/.test(text) ? Number(text) : null;
  };

  const paramValue = (params, name) => {
    let found = null;
    for (const [key, value] of params) {
      if (asciiLower(key) === asciiLower(name)) {
        found = value;  // a later param of the same name wins
      }
    }
    return found;
  };

  // ---- the connection, shared by the page's controls ----------------------

  let nextControl = 1;
  const controls = new Map();  // number -> record

  const send = (message) => {
    document.dispatchEvent(new CustomEvent(TO_BRIDGE, { detail: JSON.stringify(message) }));
  };

  class PullbayError extends Error {
    constructor(message, hr) {
      super(message);
      this.name = 'PullbayError';
      this.hr = hr;
    }
  }

  const hex = (hr) => '0x' + (hr >>> 0).toString(16).toUpperCase().padStart(8, '0');

  document.addEventListener(FROM_BRIDGE, (event) => {
    let message;
    try {
      message = JSON.parse(event.detail);
    } catch (ignored) {
      return;
    }
    if (message.hostGone !== undefined) {
      for (const record of controls.values()) {
        record.lost('Pullbay\'s native host ended (' + message.hostGone + ')');
      }
      return;
    }
    const record = controls.get(message.control);
    if (record) {
      record.receive(message);
    }
  });

  // ---- one control --------------------------------------------------------

  const records = new WeakMap();  // element -> record

  class ControlRecord {
    constructor(element) {
      this.element = element;
      this.number = 0;
      this.state = 'closed';  // closed, opening, open, refused
      this.queue = [];  // messages waiting for the open
      this.pending = new Map();  // request id -> {resolve, reject, name}
      this.nextId = 1;
      this.params = paramsOf(element);
      this.running = false;
      this.buildButton();
    }

    // The button in the element's place: the element shows its fallback
    // content, which the button is, at the element's width and height.
    buildButton() {
      const width = pixelExtent(this.element, 'width');
      const height = pixelExtent(this.element, 'height');
      const box = document.createElement('span');
      box.setAttribute('data-pullbay', '');
      box.style.cssText = 'display:inline-block !important;position:relative !important;' +
        'box-sizing:border-box !important;vertical-align:bottom;' +
        'width:' + (width !== null ? width : 300) + 'px !important;' +
        'height:' + (height !== null ? height : 150) + 'px !important;';
      const color = paramValue(this.params, 'BackgroundColor');
      box.style.backgroundColor = color || '#ffffff';
      const shadow = box.attachShadow({ mode: 'open' });
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = paramValue(this.params, 'ButtonDownloadText') || 'Download';
      button.style.cssText = 'position:absolute;left:0;top:0;width:100%;height:100%;' +
        'margin:0;font:inherit;';
      button.addEventListener('click', () => {
        this.element.Download().catch(() => {});
      });
      shadow.appendChild(button);
      this.button = button;
      this.box = box;
      this.enabled = true;
      this.element.appendChild(box);
      this.showState();
    }

    showState() {
      this.button.disabled = this.running || !this.enabled || this.state === 'refused';
    }

    // After a put of ButtonDownloadText the button is text-sized and centred.
    relabel(text) {
      this.button.textContent = text;
      this.button.style.cssText = 'position:absolute;left:50%;top:50%;' +
        'transform:translate(-50%,-50%);padding:5px 7px;margin:0;font:inherit;';
    }

    ensureOpen() {
      if (this.state === 'open' || this.state === 'opening') {
        return;
      }
      this.number = nextControl++;
      controls.set(this.number, this);
      this.state = 'opening';
      this.params = paramsOf(this.element);
      send({
        control: this.number,
        open: {
          params: this.params,
          cookie: document.cookie,
          width: this.box.offsetWidth,
          height: this.box.offsetHeight,
        },
      });
    }

    request(message, name) {
      return new Promise((resolve, reject) => {
        const id = this.nextId++;
        this.pending.set(id, { resolve, reject, name });
        const full = Object.assign({ control: 0, id }, message);
        if (this.state === 'refused') {
          this.state = 'closed';  // asked again: the answer may have changed
        }
        this.ensureOpen();
        if (this.state === 'open') {
          full.control = this.number;
          send(full);
        } else {
          this.queue.push(full);
        }
      });
    }

    receive(message) {
      if (message.opened !== undefined) {
        if (message.opened) {
          this.state = 'open';
          for (const queued of this.queue.splice(0)) {
            queued.control = this.number;
            send(queued);
          }
        } else {
          this.state = 'refused';
          this.queue = [];
          this.failAll(new PullbayError('Pullbay refused this page: ' + message.error, null));
        }
        this.showState();
        return;
      }
      if (message.id !== undefined && this.pending.has(message.id)) {
        const call = this.pending.get(message.id);
        this.pending.delete(message.id);
        if (message.hr < 0) {
          call.reject(new PullbayError(call.name + ' failed with ' + hex(message.hr) +
            (message.error ? ': ' + message.error : ''), message.hr));
        } else {
          call.resolve(message.value);
        }
        return;
      }
      if (message.event !== undefined) {
        this.fire(message.event, message.args || []);
        return;
      }
      if (message.dialog !== undefined || message.dialogClosed !== undefined ||
          message.progress !== undefined || message.notice !== undefined ||
          message.answer !== undefined) {
        // The dialogs of a page that was allowed to answer them (a test setup).
        const detail = Object.assign({}, message);
        delete detail.control;
        this.element.dispatchEvent(new CustomEvent('pullbaydialog', { detail }));
        return;
      }
      if (message.closed) {
        this.lost('the control was closed');
      }
      if (message.error !== undefined && message.id === undefined) {
        console.warn('Pullbay:', message.error);
      }
    }

    fire(name, args) {
      if (name === 'DownloadStep' && args[0] === STEP_STARTED) {
        this.running = true;
        this.showState();
      } else if (name === 'DownloadComplete') {
        this.running = false;
        this.showState();
      }
      const detail = { args };
      (EVENTS[name] || []).forEach((parameter, index) => {
        detail[parameter] = args[index];
      });
      this.element.dispatchEvent(new CustomEvent(name, { detail }));
      const handler = this.element['on' + name];
      if (typeof handler === 'function') {
        try {
          handler.apply(this.element, args);
        } catch (failure) {
          setTimeout(() => { throw failure; });  // reported, never stops the others
        }
      }
    }

    failAll(error) {
      const calls = [...this.pending.values()];
      this.pending.clear();
      for (const call of calls) {
        call.reject(error);
      }
    }

    // The native host or the control went: the next call opens a new one.
    lost(reason) {
      controls.delete(this.number);
      this.state = 'closed';
      this.queue = [];
      this.running = false;
      this.failAll(new PullbayError(reason, null));
      this.showState();
    }
  }

  const recordOf = (element) => {
    if (!namesControl(element)) {
      throw new TypeError('this object element does not hold the Pullbay control');
    }
    let record = records.get(element);
    if (!record) {
      record = new ControlRecord(element);
      records.set(element, record);
    }
    return record;
  };

  // ---- the scripting surface, on every object element ---------------------

  const surface = {
    get(name, index) {
      const message = { get: String(name) };
      if (index !== undefined) {
        message.index = index;
      }
      return recordOf(this).request(message, 'get ' + name);
    },
    put(name, ...rest) {
      const record = recordOf(this);
      const message = { put: String(name), value: rest[rest.length - 1] };
      if (rest.length > 1) {
        message.index = rest[0];
      }
      return record.request(message, 'put ' + name).then((value) => {
        if (asciiLower(String(name)) === 'buttondownloadtext') {
          record.relabel(String(message.value));
        } else if (asciiLower(String(name)) === 'enabled') {
          record.enabled = Boolean(message.value);
          record.showState();
        }
        return value;
      });
    },
    // Answers a dialog of a page allowed to answer them ("pullbaydialog" events).
    answerDialog(answer) {
      const record = recordOf(this);
      return new Promise((resolve, reject) => {
        if (record.state !== 'open') {
          reject(new PullbayError('no open control to answer', null));
          return;
        }
        send(Object.assign({}, answer, { control: record.number }));
        resolve();
      });
    },
  };
  for (const method of METHODS) {
    surface[method] = function (...args) {
      return recordOf(this).request({ call: method, args }, method);
    };
  }
  for (const [name, member] of Object.entries(surface)) {
    Object.defineProperty(HTMLObjectElement.prototype, name, {
      value: member, writable: true, configurable: true, enumerable: false,
    });
  }

  // ---- finding the page's controls ----------------------------------------

  const adopt = (root) => {
    const candidates = root instanceof HTMLObjectElement ? [root] :
      (root.querySelectorAll ? root.querySelectorAll('object') : []);
    for (const element of candidates) {
      if (namesControl(element) && !records.has(element)) {
        recordOf(element).ensureOpen();
      }
    }
  };
  const start = () => {
    adopt(document);
    new MutationObserver((mutations) => {
      for (const mutation of mutations) {
        for (const node of mutation.addedNodes) {
          if (node.nodeType === Node.ELEMENT_NODE) {
            adopt(node);
          }
        }
        for (const node of mutation.removedNodes) {
          const removed = node.nodeType !== Node.ELEMENT_NODE ? [] :
            (node instanceof HTMLObjectElement ? [node] : [...node.querySelectorAll('object')]);
          for (const element of removed) {
            const record = records.get(element);
            if (record && record.state === 'open' && !element.isConnected) {
              send({ control: record.number, close: true });
            }
          }
        }
      }
    }).observe(document.documentElement, { childList: true, subtree: true });
  };
  if (document.readyState === 'loading') {
    document.addEventListener('DOMContentLoaded', start, { once: true });
  } else {
    start();
  }
})();
