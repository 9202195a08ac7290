#include "web/WebHidTransport.h"

#include <emscripten.h>

// Both copy the buffer before the first await: memory may grow while they wait.
EM_ASYNC_JS(int, zelv4_hid_send, (const std::uint8_t* report, std::size_t length),
            { return (await Module.page.loader.send(HEAPU8.slice(report, report + length))) ? 1 : 0; });

// The page hands back exactly length - 1 bytes (the reply without its report ID),
// or null for a failed or short transfer.
EM_ASYNC_JS(int, zelv4_hid_receive, (std::uint8_t * report, std::size_t length), {
    const reply = await Module.page.loader.receive(HEAPU8[report], length);
    if (!reply)
        return 0;
    HEAPU8.set(reply, report + 1);
    return 1;
});

namespace zelv4 {

bool WebHidTransport::SetFeature(const std::uint8_t* report, std::size_t length)
{
    return length > 0 && zelv4_hid_send(report, length) != 0;
}

bool WebHidTransport::GetFeature(std::uint8_t* report, std::size_t length)
{
    return length > 0 && zelv4_hid_receive(report, length) != 0;
}

}  // namespace zelv4
