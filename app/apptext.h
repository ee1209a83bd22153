// Texts the window derives: the application title and the error box's final full stop.
#pragma once

#include <string>
#include <string_view>

namespace touchdrill {

// The executable's file name up to its first '.', every character after the first in lower case.
std::string applicationTitle(std::string_view executablePath);

// The error box appends "." when the message is not empty and its last byte is above '.':
// a message ending in a Japanese character gets it, one ending in '.', ')' or a blank does not.
std::string withFinalStop(std::string message);

} // namespace touchdrill
