// The RCON password as administrators keep it: the first line of a file, shared by the server and its clients.
#pragma once

#include <string>

namespace sandbox::rcon {

// The file's first line. A line end of either convention, and the byte-order mark some Windows editors put before
// UTF-8 text, are not part of the password. Throws std::runtime_error saying why when the file cannot be read or
// its first line is empty.
std::string ReadPasswordFile(const std::string& path);

}  // namespace sandbox::rcon
