#include "web/WebIspDevice.h"

#include <emscripten.h>

// The feature report length of the loader the page opened, report ID byte
// included; -1 when there is none to open.
EM_ASYNC_JS(int, zelv4_loader_open, (), { return await Module.page.loader.open(); });
EM_ASYNC_JS(void, zelv4_loader_close, (), { await Module.page.loader.close(); });
// Ends early when the browser reports a loader (its connect event, or Connect pressed).
EM_ASYNC_JS(void, zelv4_loader_wait, (unsigned milliseconds), { await Module.page.sleep(milliseconds); });

namespace zelv4 {

IspSearchNotes WebIspDevice::FindIspDevice()
{
    const int length = zelv4_loader_open();
    m_open = length >= 0;
    // Like the native search, a failed one keeps the last device's length.
    if (m_open)
        m_length = static_cast<std::uint16_t>(length);
    return {};
}

void WebIspDevice::WaitForIspDevice(std::chrono::milliseconds timeout, const std::function<bool()>& /*stop*/)
{
    zelv4_loader_wait(static_cast<unsigned>(timeout.count()));
}

void WebIspDevice::CloseIspDevice()
{
    if (!m_open)
        return;
    zelv4_loader_close();
    m_open = false;
}

}  // namespace zelv4
