// The page: the dialog's controls, its message boxes and progress, the file input,
// and the loader, handed to the programmer (zelv4.js, core in WebAssembly).
import createZelv4 from './zelv4.js';
import { LoaderPort } from './loader.js';

const $ = (id) => document.getElementById(id);
// The nine buttons the operations disable and enable, in the window's order.
const GATED = ['IDC_RECONNECT', 'IDC_AUTO', 'IDC_OPEN_FILE', 'IDC_MASS_ERASE', 'IDC_WRITE', 'IDC_VERIFY', 'IDC_READ',
  'IDC_READ_PROTECT', 'IDC_EXIT_ISP'];
const NEEDS_LOADER = ['IDC_AUTO', 'IDC_MASS_ERASE', 'IDC_WRITE', 'IDC_VERIFY', 'IDC_READ', 'IDC_EXIT_ISP'];
const WAIT_SECONDS = 31;
const DRAW_INTERVAL_MS = 100;
// Where picked files are stored; the programmer opens them by name from here.
const PICKED_DIR = '/picked';

const hidMissing = !window.isSecureContext
  ? 'This page reaches the ZEL-V4 only from a secure address (https://, or http://localhost): browsers offer ' +
    'WebHID nowhere else. Open it from such an address.'
  : !('hid' in navigator)
    ? 'This browser has no WebHID, which the page needs to reach the ZEL-V4 ISP loader. Use Chrome, Edge or ' +
      'Opera on a computer (Windows, macOS, Linux or ChromeOS); Firefox and Safari do not offer it.'
    : '';

let programmer = null;
let busy = false;
let loader = null;
let lastDrawn = 0;

function setStatus(text) {
  $('status').textContent = text;
}

async function describeLoader() {
  if (!loader)
    return;
  const devices = await loader.devices();
  $('loader-state').textContent = devices.length > 0
    ? `ZEL-V4 ISP loader ready (${devices.map((d) => d.productName || '040B:6876').join(', ')})`
    : 'No ZEL-V4 ISP loader: put the chip in ISP mode, plug it in and press Connect.';
}

// One operation at a time: the programmer suspends inside it while it waits.
async function run(call) {
  if (busy || !programmer)
    return;
  busy = true;
  document.body.dataset.state = 'busy';
  try {
    await call();
  } catch (error) {
    setStatus(`The programmer stopped: ${error?.message ?? error}. Reload the page.`);
  } finally {
    busy = false;
    document.body.dataset.state = 'ready';
  }
}

function click(control) {
  run(() => programmer.ccall('zelv4_click', 'number', ['string'], [control], { async: true }));
}

// Stores the file under its own name (so ".hex" in it picks the HEX reader, as
// everywhere), then runs Open File; null: the choice was cancelled.
function openFile(file) {
  run(async () => {
    let name = null;
    if (file) {
      name = file.name.replaceAll('/', '_') || 'unnamed';
      const fs = programmer.FS;
      for (const old of fs.readdir(PICKED_DIR).filter((n) => n !== '.' && n !== '..'))
        fs.unlink(`${PICKED_DIR}/${old}`);
      try {
        const limit = programmer.ccall('zelv4_input_limit', 'number', [], []);
        fs.writeFile(`${PICKED_DIR}/${name}`, new Uint8Array(await file.slice(0, limit).arrayBuffer()));
      } catch {
        // Unreadable (gone since it was chosen): the programmer finds no file and says so.
      }
    }
    await programmer.ccall('zelv4_open_file', null, ['string'], [name], { async: true });
  });
}

const ICONS = ['none', 'information', 'error'];

const page = {
  loader: null,

  showField(control, text) {
    const element = $(control);
    if (element instanceof HTMLSelectElement)
      element.value = text;
    else if (element instanceof HTMLTextAreaElement)
      element.value = text;
    else
      element.textContent = text;
  },

  fieldText(control) {
    const element = $(control);
    return element instanceof HTMLSelectElement || element instanceof HTMLTextAreaElement
      ? element.value
      : element.textContent;
  },

  setButtonsEnabled(enabled) {
    for (const id of GATED) {
      const always = id === 'IDC_RECONNECT' || (hidMissing && NEEDS_LOADER.includes(id));
      $(id).disabled = always || !enabled;
    }
  },

  // Modal until OK (or Escape), as the window's boxes are.
  messageBox(text, caption, icon) {
    const box = $('message');
    $('message-caption').textContent = caption;
    $('message-text').textContent = text;
    box.dataset.icon = ICONS[icon] ?? 'none';
    return new Promise((resolve) => {
      box.addEventListener('close', () => resolve(), { once: true });
      box.showModal();
    });
  },

  sleep(milliseconds) {
    return loader ? loader.waitForArrival(milliseconds) : new Promise((r) => setTimeout(r, milliseconds));
  },

  progress(phase, done, total, ended) {
    const bar = $('IDC_PROGRESS');
    if (ended) {
      bar.hidden = true;
      setStatus('');
      return;
    }
    // A block takes a fraction of a millisecond, and every redraw of the page takes
    // time from the transfers: the bar moves ten times a second.
    if (phase !== 'wait' && done !== 0 && done !== total && performance.now() - lastDrawn < DRAW_INTERVAL_MS)
      return;
    lastDrawn = performance.now();
    bar.hidden = false;
    bar.max = total;
    bar.value = done;
    bar.dataset.phase = phase;
    if (phase === 'wait') {
      setStatus(`Waiting for the ZEL-V4 ISP loader: ${WAIT_SECONDS - done} s left. ` +
        'If the chip was replugged and the browser forgot it, press Connect.');
    } else {
      const verb = { erase: 'Erasing', write: 'Writing', verify: 'Verifying', read: 'Reading' }[phase];
      setStatus(total > 1 ? `${verb}: block ${done} of ${total}` : `${verb}…`);
    }
  },

  offerDownload(name, bytes) {
    const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    const link = document.createElement('a');
    link.href = url;
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60_000);
    return true;
  },

  finished(control, succeeded, detail) {
    document.body.dataset.last = `${control}:${succeeded ? 'ok' : 'failed'}`;
    document.body.dataset.runs = String(Number(document.body.dataset.runs ?? 0) + 1);
    setStatus(detail);
    describeLoader();
  },
};

function wireControls() {
  const input = $('file-input');
  $('IDC_OPEN_FILE').addEventListener('click', () => {
    if (!busy)
      input.click();
  });
  input.addEventListener('change', () => {
    openFile(input.files[0] ?? null);
    input.value = '';
  });
  input.addEventListener('cancel', () => openFile(null));

  for (const id of NEEDS_LOADER)
    $(id).addEventListener('click', () => click(id));

  // A file dropped anywhere on the page is opened as if chosen with Open File.
  const client = $('drop-zone');
  document.body.addEventListener('dragover', (event) => {
    event.preventDefault();
    event.dataTransfer.dropEffect = busy ? 'none' : 'copy';
    client.classList.toggle('dropping', !busy);
  });
  document.body.addEventListener('dragleave', () => client.classList.remove('dropping'));
  document.body.addEventListener('drop', (event) => {
    event.preventDefault();
    client.classList.remove('dropping');
    const file = event.dataTransfer.files[0];
    if (file && !busy)
      openFile(file);
  });

  $('IDC_CONNECT').addEventListener('click', async () => {
    try {
      await loader.connect();
    } catch (error) {
      setStatus(`The browser did not give access to a loader: ${error?.message ?? error}`);
    }
    describeLoader();
  });
}

async function start() {
  wireControls();
  if (hidMissing) {
    $('unsupported').textContent = hidMissing;
    $('unsupported').hidden = false;
    $('loader-state').textContent = 'No WebHID here.';
  } else {
    loader = new LoaderPort(navigator.hid, describeLoader);
    page.loader = loader;
    $('IDC_CONNECT').disabled = false;
    describeLoader();
  }
  if ('serviceWorker' in navigator)
    navigator.serviceWorker.register('sw.js').catch(() => {});

  programmer = await createZelv4({ page });
  programmer.FS.mkdir(PICKED_DIR);
  programmer.FS.chdir(PICKED_DIR);
  page.setButtonsEnabled(true);
  performance.mark('zelv4-ready');
  document.body.dataset.state = 'ready';
}

start().catch((error) => {
  document.body.dataset.state = 'failed';
  setStatus(`The programmer could not be loaded: ${error?.message ?? error}`);
});
