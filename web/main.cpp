// The page's entry points, called from app.js with ccall (async: the operations
// suspend while they wait on the browser).
#include <emscripten.h>
#include <optional>
#include <string>

#include "core/ImageFile.h"
#include "web/WebPage.h"

namespace {

zelv4::WebPage& Page()
{
    static zelv4::WebPage page;
    return page;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int zelv4_click(const char* control)
{
    return Page().Click(control) ? 1 : 0;
}

// name: the file's name in the current directory; null when the choice was cancelled.
EMSCRIPTEN_KEEPALIVE void zelv4_open_file(const char* name)
{
    Page().OpenFile(name != nullptr ? std::optional<std::string>(name) : std::nullopt);
}

// How much of a picked file the page needs to store: the readers look at no more
// (one byte past it tells that a file goes on).
EMSCRIPTEN_KEEPALIVE double zelv4_input_limit()
{
    return static_cast<double>(zelv4::HEX_MAX_INPUT_BYTES + 1);
}

}  // extern "C"
