// The ZEL-V4 ISP loader as WebHID gives it to the page: the permission (Connect,
// or a policy of a managed browser), the device the operations open, its feature
// reports, and arrivals for Auto's wait.
export const LOADER_FILTER = { vendorId: 0x040b, productId: 0x6876 };

const matches = (device) => device.vendorId === LOADER_FILTER.vendorId && device.productId === LOADER_FILTER.productId;

// Bytes of the feature report with this ID as the descriptor declares it, found
// in any collection; 0 when it declares none.
function featureBytes(collections, reportId) {
  for (const collection of collections ?? []) {
    const report = (collection.featureReports ?? []).find((r) => r.reportId === reportId);
    if (report) {
      const bits = report.items.reduce((sum, item) => sum + item.reportSize * item.reportCount, 0);
      return Math.ceil(bits / 8);
    }
    const inChild = featureBytes(collection.children, reportId);
    if (inChild > 0)
      return inChild;
  }
  return 0;
}

export class LoaderPort {
  constructor(hid, onChange) {
    this.hid = hid;
    this.onChange = onChange;
    this.device = null;
    this.chosen = null;
    this.arrivals = new Set();
    this.lastError = '';
    hid.addEventListener('connect', (event) => {
      if (matches(event.device))
        this.arrived();
    });
    hid.addEventListener('disconnect', (event) => {
      if (matches(event.device))
        this.onChange();
    });
  }

  arrived() {
    for (const wake of this.arrivals)
      wake();
    this.onChange();
  }

  // The browser's chooser, limited to the loader. Needs a click.
  async connect() {
    const [device] = await this.hid.requestDevice({ filters: [LOADER_FILTER] });
    if (device) {
      this.chosen = device;
      this.arrived();
    }
    return device ?? null;
  }

  async devices() {
    return (await this.hid.getDevices()).filter(matches);
  }

  // Opens the loader: the one chosen last with Connect while it is there, else the
  // first the browser lets the page use. Its feature report length, report ID byte
  // included; -1 when there is none or it cannot be opened.
  async open() {
    try {
      const devices = await this.devices();
      const device = devices.includes(this.chosen) ? this.chosen : devices[0];
      if (!device)
        return -1;
      if (!device.opened)
        await device.open();
      this.device = device;
      return featureBytes(device.collections, 0) + 1;
    } catch (error) {
      this.lastError = String(error?.message ?? error);
      return -1;
    }
  }

  async close() {
    const device = this.device;
    this.device = null;
    try {
      if (device?.opened)
        await device.close();
    } catch {
      // An unplugged device may refuse to close; it is gone all the same.
    }
  }

  // report: report ID, then the report's bytes.
  async send(report) {
    try {
      await this.device.sendFeatureReport(report[0], report.subarray(1));
      return true;
    } catch (error) {
      this.lastError = String(error?.message ?? error);
      return false;
    }
  }

  // The reply without its report ID: exactly length - 1 bytes, or null.
  async receive(reportId, length) {
    try {
      const reply = await this.device.receiveFeatureReport(reportId);
      if (reply.byteLength < length - 1)
        return null;
      return new Uint8Array(reply.buffer, reply.byteOffset, length - 1);
    } catch (error) {
      this.lastError = String(error?.message ?? error);
      return null;
    }
  }

  // Resolves after `milliseconds`, or as soon as a loader arrives or is chosen.
  waitForArrival(milliseconds) {
    return new Promise((resolve) => {
      const wake = () => {
        clearTimeout(timer);
        this.arrivals.delete(wake);
        resolve();
      };
      const timer = setTimeout(wake, milliseconds);
      this.arrivals.add(wake);
    });
  }
}
