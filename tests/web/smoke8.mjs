import * as h from '/work/wt-web/tests/web/harness.mjs';
const site = await h.serveSite();
const revoke = h.grantLoader(site.origin);
const m = await h.startMachine(['--flash-in', '/tmp/demo.bin']);
try {
  const page = await h.openPage(m.context, site.origin);
  await h.messagesOf(page, () => h.chooseFile(page, '/work/wt-web/examples/demo.hex'));
  for (let i = 0; i < 3; ++i) {
  const raw = await page.evaluate(async () => {
    const devices = await navigator.hid.getDevices();
    const d = devices[0]; await d.open();
    const req = new Uint8Array(40);
    const t1 = performance.now();
    for (let b = 0; b < 640; ++b) { req[0] = 0xAA; req[1] = (b*32)>>8; req[2] = (b*32)&255; await d.sendFeatureReport(0, req); await d.receiveFeatureReport(0); }
    const t2 = performance.now();
    await d.close();
    return [t2 - t1];
  });
  console.log('raw verify', raw);
  const t = await page.evaluate(async () => {
    const box = document.getElementById('message');
    const p = new Promise((resolve) => new MutationObserver((_, o) => { if (box.open) { o.disconnect(); resolve(performance.now()); } }).observe(box, { attributes: true }));
    const t0 = performance.now(); document.getElementById('IDC_VERIFY').click(); return (await p) - t0; });
  console.log('page verify', t, await page.textContent('#message-text'));
  await h.messagesOf(page, () => page.click('#message-ok'));
  }
} finally {
  await m.stop();
  revoke(); await site.close();
}
