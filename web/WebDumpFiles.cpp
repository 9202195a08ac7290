#include "web/WebDumpFiles.h"

#include <cstdint>
#include <emscripten.h>
#include <vector>

#include "core/IspConstants.h"

EM_JS(int, zelv4_offer_download, (const char* name, const std::uint8_t* bytes, std::size_t size),
      { return Module.page.offerDownload(UTF8ToString(name), HEAPU8.slice(bytes, bytes + size)) ? 1 : 0; });

namespace zelv4 {

namespace {

class DumpDownload : public OutputFile {
public:
    explicit DumpDownload(std::string name) : m_name(std::move(name)) { m_bytes.reserve(ISP_IMAGE_SIZE); }

    Expected<void> Write(std::span<const std::uint8_t> bytes) override
    {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return {};
    }

    Expected<void> Commit() override
    {
        if (zelv4_offer_download(m_name.c_str(), m_bytes.data(), m_bytes.size()) != 0)
            return {};
        return Fail(ErrorCode::FileFailed, "the browser did not take the download");
    }

private:
    std::string m_name;
    std::vector<std::uint8_t> m_bytes;
};

}  // namespace

Expected<std::unique_ptr<OutputFile>> WebDumpFiles::Create(const std::string& path)
{
    return std::unique_ptr<OutputFile>(std::make_unique<DumpDownload>(path));
}

}  // namespace zelv4
