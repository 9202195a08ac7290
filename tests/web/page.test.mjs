// The web page in Debian's Chromium, on the emulated machine: each case starts
// Chromium as the machine's command, so WebHID reaches the emulated loaders, and
// checks what the page shows against what the loader received.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import * as web from './harness.mjs';

const DEMO_HEX = path.join(web.ROOT, 'examples/demo.hex');
const CHANGED_ADDRESS = 0x1234;

let site;
let revokeLoader;
let scratch;
let demoImage;  // what the native tool makes of demo.hex
let demoChecksum;

before(async () => {
  const missing = web.missingTools();
  assert.deepEqual(missing, [], 'build the wasm and default presets and install chromium (scripts/web-checks does)');
  site = await web.serveSite();
  revokeLoader = web.grantLoader(site.origin);
  scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'zelv4-web-files-'));
  execFileSync(web.ISP, ['image', DEMO_HEX, '-o', path.join(scratch, 'demo.bin')]);
  demoImage = fs.readFileSync(path.join(scratch, 'demo.bin'));
  demoChecksum = execFileSync(web.ISP, ['checksum', DEMO_HEX], { encoding: 'utf8' }).trim();
});

after(async () => {
  revokeLoader?.();
  await site?.close();
  if (scratch)
    fs.rmSync(scratch, { recursive: true, force: true });
});

// Chromium on a machine with these options; the page opened and ready. Returns
// the machine's summary and log once Chromium has been closed.
async function onMachine(options, body, { pageSetup } = {}) {
  const { machine, page } = await web.launch(options, site.origin, { pageSetup });
  let failed = true;
  let ended;
  try {
    await body(page, machine);
    failed = false;
  } finally {
    ended = await machine.stop();
    machine.remove();
    // What Chromium and the machine said, for a failure in CI.
    if (failed)
      console.error(`--- Chromium and the machine on ${options.join(' ')}:\n${ended.stderr.split('\n').slice(-40).join('\n')}`);
  }
  return { summary: web.summary(ended.log), log: ended.log };
}

const field = (page, id) => page.evaluate((control) => {
  const element = document.getElementById(control);
  return 'value' in element && element.tagName !== 'BUTTON' ? element.value : element.textContent;
}, id);
const enabled = (page, id) => page.evaluate((control) => !document.getElementById(control).disabled, id);

function scratchFile(name, contents) {
  const file = path.join(scratch, name);
  fs.writeFileSync(file, contents);
  return file;
}

describe('a machine with one loader', () => {
  test('the page has the dialog\'s controls under their names, and Re-connect off with its reason', async () => {
    await onMachine([], async (page) => {
      const labels = await page.evaluate(() => Object.fromEntries(
        ['IDC_OPEN_FILE', 'IDC_AUTO', 'IDC_RECONNECT', 'IDC_MASS_ERASE', 'IDC_WRITE', 'IDC_VERIFY', 'IDC_READ',
          'IDC_EXIT_ISP'].map((id) => [id, document.getElementById(id).textContent])));
      assert.deepEqual(labels, { IDC_OPEN_FILE: 'Open File', IDC_AUTO: 'Auto', IDC_RECONNECT: 'Re-connect',
        IDC_MASS_ERASE: 'Mass Erase', IDC_WRITE: 'Write', IDC_VERIFY: 'Verify', IDC_READ: 'Read',
        IDC_EXIT_ISP: 'Exit ISP' });
      assert.equal(await field(page, 'IDC_FILE'), '');
      assert.equal(await field(page, 'IDC_CHECKSUM'), '');
      assert.equal(await enabled(page, 'IDC_RECONNECT'), false);
      assert.match(await page.getAttribute('#reconnect-wrap', 'title'), /cannot scan the USB bus/);
      assert.equal(await page.isVisible('#IDC_PROGRESS'), false);

      // Operations gate the buttons: Re-connect stays off after one.
      assert.deepEqual(web.texts(await web.messagesOf(page, () => page.click('#IDC_MASS_ERASE'))),
        ['MassErase Function OK !']);
      assert.equal(await enabled(page, 'IDC_AUTO'), true);
      assert.equal(await enabled(page, 'IDC_RECONNECT'), false);
    });
  });

  test('a firmware file that is not exactly right is refused before anything is sent', async () => {
    const lines = fs.readFileSync(DEMO_HEX, 'utf8').split('\n');
    const badChecksum = [lines[0].slice(0, -2) + (lines[0].endsWith('00') ? '01' : '00'), ...lines.slice(1)];
    const files = [
      scratchFile('bad-checksum.hex', badChecksum.join('\n')),
      scratchFile('cut-short.hex', lines.filter((line) => !line.startsWith(':00000001FF')).join('\n')),
      scratchFile('hex-text.bin', lines.join('\n')),
    ];
    const { summary } = await onMachine([], async (page) => {
      for (const file of files) {
        const opened = await web.messagesOf(page, () => web.chooseFile(page, file));
        assert.deepEqual(opened, [{ text: 'Open file error !!', caption: 'zelv4-writer', icon: 'error',
          role: 'alertdialog' }], file);
        assert.equal(await field(page, 'IDC_FILE'), path.basename(file));
        assert.equal(await field(page, 'IDC_CHECKSUM'), '');
        assert.match(await page.textContent('#status'), /refused/, file);
        assert.deepEqual(web.texts(await web.messagesOf(page, () => page.click('#IDC_AUTO'))), ['Open file error !!']);
      }
    });
    assert.equal(summary.transfers, '0');
  });

  test('without WebHID the page says why, keeps the device buttons off, and still opens files or none', async () => {
    await onMachine([], async (page) => {
      assert.equal(await page.isVisible('#unsupported'), true);
      assert.match(await page.textContent('#unsupported'), /no WebHID/);
      for (const id of ['IDC_CONNECT', 'IDC_AUTO', 'IDC_WRITE', 'IDC_READ'])
        assert.equal(await enabled(page, id), false, id);
      // The checksum needs no device; a file dropped on the page opens as if chosen.
      const text = fs.readFileSync(DEMO_HEX, 'utf8');
      await web.messagesOf(page, () => page.evaluate((contents) => {
        const dropped = new DataTransfer();
        dropped.items.add(new File([contents], 'dropped.hex'));
        document.body.dispatchEvent(new DragEvent('drop', { dataTransfer: dropped, bubbles: true, cancelable: true }));
      }, text));
      assert.equal(await field(page, 'IDC_FILE'), 'dropped.hex');
      assert.equal(await field(page, 'IDC_CHECKSUM'), demoChecksum);
      // Cancelling the file chooser afterwards empties both and says so, as the window does.
      assert.deepEqual(web.texts(await web.messagesOf(page, () => page.dispatchEvent('#file-input', 'cancel'))),
        ['Open file error !!']);
      assert.equal(await field(page, 'IDC_FILE'), '');
      assert.equal(await field(page, 'IDC_CHECKSUM'), '');
    }, { pageSetup: (page) => page.addInitScript(() => delete Navigator.prototype.hid) });
  });
});

test('Open File then Auto programs the flash byte for byte, from a page that went offline', async () => {
  const flash = path.join(scratch, 'auto-flash.bin');
  const { summary } = await onMachine(['--flash-out', flash], async (page) => {
    // Once loaded, the page needs its host no more: not even to open again.
    await page.evaluate(() => navigator.serviceWorker.ready);
    site.offline = true;
    try {
      await page.reload({ waitUntil: 'commit' });
      await web.until(page, () => document.body?.dataset.state === 'ready');
      assert.deepEqual(await web.messagesOf(page, () => web.chooseFile(page, DEMO_HEX)), []);
      assert.equal(await field(page, 'IDC_FILE'), 'demo.hex');
      assert.equal(await field(page, 'IDC_CHECKSUM'), demoChecksum);
      assert.deepEqual(await web.messagesOf(page, () => page.click('#IDC_AUTO')), [{
        text: 'ButtonAuto Function OK !!!', caption: 'zelv4-writer', icon: 'information', role: 'alertdialog' }]);
    } finally {
      site.offline = false;
    }
    assert.equal(await enabled(page, 'IDC_AUTO'), true);
  });
  assert.ok(fs.readFileSync(flash).equals(demoImage), 'the flash differs from the image');
  assert.equal(summary.violations, '0');
  assert.match(summary['last-transfer'], /leave-isp$/);
  // Only the page's own files were ever asked for, and nothing was sent.
  const foreign = site.requests.filter((r) => r.method !== 'GET' ||
    !/^\/(|index\.html|style\.css|app\.js|loader\.js|sw\.js|zelv4\.js|zelv4\.wasm|zelv4-writer\.png)$/.test(r.url));
  assert.deepEqual(foreign, []);
});

test('Verify against a changed byte fails at it; Read downloads the flash as it is', async () => {
  const changed = Buffer.from(demoImage);
  changed[CHANGED_ADDRESS] ^= 0x40;
  const flashIn = scratchFile('changed.bin', changed);
  const { summary } = await onMachine(['--flash-in', flashIn], async (page) => {
    await web.messagesOf(page, () => web.chooseFile(page, DEMO_HEX));
    assert.deepEqual(web.texts(await web.messagesOf(page, () => page.click('#IDC_VERIFY'))), ['Verify Fail !!!']);
    assert.match(await page.textContent('#status'), /0x1234/);

    const download = page.waitForEvent('download');
    assert.deepEqual(web.texts(await web.messagesOf(page, () => page.click('#IDC_READ'))), ['Read Succeeded !']);
    const dump = await download;
    assert.equal(dump.suggestedFilename(), 'zelv4-flash.dmp');
    assert.ok(fs.readFileSync(await dump.path()).equals(changed), 'the dump differs from the flash');
  });
  // Verify read no block past the one holding the difference; Read read them all.
  assert.equal(Number(summary['read-request']), Math.floor(CHANGED_ADDRESS / 32) + 1 + 640);
});

test('a failed transfer and an unplug mid-write end Auto with its failure message', async () => {
  // Transfer 1 is the erase; the blocks written are those before the failing transfer,
  // none after it.
  for (const [loader, written] of [['1-1,fail-at=100', '98'], ['1-1,unplug-at=300:remove', '298']]) {
    const { summary } = await onMachine(['--loader', loader], async (page) => {
      await web.messagesOf(page, () => web.chooseFile(page, DEMO_HEX));
      assert.deepEqual(web.texts(await web.messagesOf(page, () => page.click('#IDC_AUTO'))),
        ['Write Function Fail !!!'], loader);
      assert.equal(await enabled(page, 'IDC_AUTO'), true);
    });
    assert.equal(summary.write, written, loader);
    assert.equal(summary['read-request'], '0', loader);
  }
});

test('Auto waits for the loader: an arrival goes on at once, none ends in the time-out', async () => {
  // A clock that never moves: only the arrival can end the wait. The loader comes
  // 6 s after Chromium starts, well after the page is up and Auto waits.
  const flash = path.join(scratch, 'arrived-flash.bin');
  await onMachine(['--loader', 'none', '--arrive', `1-1,at=6000ms,flash-out=${flash}`], async (page) => {
    await web.messagesOf(page, () => web.chooseFile(page, DEMO_HEX));
    await page.clock.pauseAt(Date.now() + 1000);
    const messages = web.messagesOf(page, () => page.click('#IDC_AUTO'));
    messages.catch(() => {});  // awaited below, after the checks of the wait
    await web.until(page, () => document.getElementById('IDC_PROGRESS').dataset.phase === 'wait');
    assert.match(await page.textContent('#status'), /press Connect/);
    assert.deepEqual(web.texts(await messages), ['ButtonAuto Function OK !!!']);
  }, { pageSetup: (page) => page.clock.install() });
  assert.ok(fs.readFileSync(flash).equals(demoImage), 'the flash differs from the image');

  await onMachine(['--loader', 'none'], async (page) => {
    await web.messagesOf(page, () => web.chooseFile(page, DEMO_HEX));
    await page.clock.pauseAt(Date.now() + 1000);
    const messages = web.messagesOf(page, () => page.click('#IDC_AUTO'));
    messages.catch(() => {});
    // Each of the 31 one-second waits, then its search.
    for (let attempt = 0; attempt < 31; ++attempt) {
      await web.until(page, (n) => {
        const bar = document.getElementById('IDC_PROGRESS');
        return bar.dataset.phase === 'wait' && !bar.hidden && bar.value === n;
      }, attempt);
      await page.clock.runFor(1000);
    }
    assert.deepEqual(await messages, [{ text: 'Time Out !! Please check device and try again.', caption: '',
      icon: 'error', role: 'alertdialog' }]);
  }, { pageSetup: (page) => page.clock.install() });
});

test('a loader with a 65-byte feature report is programmed with reports of that length', async () => {
  const flash = path.join(scratch, 'long-flash.bin');
  const { summary, log } = await onMachine(['--feature-length', '65', '--flash-out', flash], async (page) => {
    await web.messagesOf(page, () => web.chooseFile(page, DEMO_HEX));
    assert.deepEqual(web.texts(await web.messagesOf(page, () => page.click('#IDC_AUTO'))),
      ['ButtonAuto Function OK !!!']);
  });
  assert.ok(fs.readFileSync(flash).equals(demoImage), 'the flash differs from the image');
  assert.equal(summary.violations, '0');
  assert.equal(summary.transfers, '1922');
  assert.doesNotMatch(log, / len=(?!65 )\d+ /);
});
