#pragma once

#include <cctype>
#include <string>

namespace zelv4::test {

// A parametrised test's name from its case's label: letters and digits, '_' for the rest.
struct LabelName {
    template <typename Info>
    std::string operator()(const Info& info) const
    {
        std::string name = info.param.label;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    }
};

}  // namespace zelv4::test
