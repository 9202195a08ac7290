#include "cli/output/TextOutput.h"

namespace zelv4 {

void TextOutput::Write(OutputStream stream, const std::string& text)
{
    std::ostream& to = stream == OutputStream::Out ? m_out : m_err;
    to << text;
    to.flush();
}

}  // namespace zelv4
