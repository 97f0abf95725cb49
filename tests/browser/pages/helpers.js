// What the browser tests' pages share: every event of a control recorded in
// order, and the page's own answers to the control's dialogs (the bridge
// lets an origin answer them only when it was installed with
// --page-dialogs).
'use strict';
window.recorded = [];
window.record = (element) => {
  for (const name of ['DownloadComplete', 'DownloadItemComplete', 'DownloadStep', 'InitComplete',
    'Progress', 'Error', 'DownloadFileCountChange']) {
    element.addEventListener(name, (event) => {
      window.recorded.push({ control: element.id, name, detail: event.detail });
    });
  }
  element.addEventListener('pullbaydialog', (event) => {
    window.recorded.push({ control: element.id, name: 'dialog', detail: event.detail });
  });
};
// Confirms every file, picks the folder, and closes the completion dialog.
window.answerDialogs = (element, folder) => {
  element.addEventListener('pullbaydialog', (event) => {
    const dialog = event.detail;
    const answers = {
      Confirmation: { ok: true },
      BrowseForFolder: { folder },
      DownloadComplete: { button: 'OK' },
      MessageBox: { button: dialog.buttons === 'YesNo' ? 'No' : 'OK' },
      FileExists: { action: 'Overwrite' },
    };
    if (dialog.dialog && answers[dialog.dialog]) {
      element.answerDialog(Object.assign({ answer: dialog.dialogId }, answers[dialog.dialog]));
    }
  });
};
