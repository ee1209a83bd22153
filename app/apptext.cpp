#include "apptext.h"

namespace touchdrill {

std::string applicationTitle(std::string_view executablePath)
{
    std::string_view name = executablePath;
    if (const auto slash = name.find_last_of('/'); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    name = name.substr(0, name.find('.'));
    std::string title(name);
    // Only ASCII letters change case, so a UTF-8 name stays whole.
    for (std::size_t i = 1; i < title.size(); ++i)
        if (title[i] >= 'A' && title[i] <= 'Z')
            title[i] = static_cast<char>(title[i] - 'A' + 'a');
    return title;
}

std::string withFinalStop(std::string message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        message += '.';
    return message;
}

} // namespace touchdrill
