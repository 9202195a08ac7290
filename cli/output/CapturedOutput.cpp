#include "cli/output/CapturedOutput.h"

namespace zelv4 {

void CapturedOutput::Write(OutputStream stream, const std::string& text)
{
    m_texts.push_back({stream, text});
}

std::string CapturedOutput::Text() const
{
    std::string text;
    for (const OutputText& piece : m_texts)
        text += piece.text;
    return text;
}

std::string CapturedOutput::Text(OutputStream stream) const
{
    std::string text;
    for (const OutputText& piece : m_texts)
        if (piece.stream == stream)
            text += piece.text;
    return text;
}

}  // namespace zelv4
